// The window's port list is read again each time it drops down: an adapter plugged in after
// start-up can be picked, under its stable name too, and the current choice never changes by
// itself. The simulated unit plays the adapter behind a by-id link.

#include "commbar.h"
#include "devicetree.h"
#include "ser2netserver.h"
#include "windowharness.h"

#include <QComboBox>
#include <QLineEdit>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

class TestPortSelector : public QObject
{
    Q_OBJECT
private slots:
    void adapterPluggedInAfterStartUp()
    {
        QTemporaryDir cwd; // no start page there: its error box is only recorded
        QVERIFY(QDir::setCurrent(cwd.path()));
        CFakeDeviceTree tree;
        CWindowHarness h;
        QString error;
        QVERIFY2(h.start(&error), qPrintable(error));
        QVERIFY(h.openWindow());
        QComboBox *ports = h.frame()->commBar()->portSelector();
        const QString name = QStringLiteral("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
        const QString stable = tree.byId(name);
        QCOMPARE(ports->findData(stable), -1);

        auto dropDown = [ports] {
            ports->showPopup();
            ports->hidePopup();
        };
        QVERIFY(tree.link(name, h.unit().slavePath()));
        dropDown();
        QCOMPARE(ports->currentText(), QStringLiteral("Com2"));
        QCOMPARE(h.doc().PortName(), QStringLiteral("Com2"));
        const int index = ports->findData(stable);
        QVERIFY(index >= 0);
        QCOMPARE(ports->itemText(index), name);
        QVERIFY(ports->findData(h.unit().slavePath()) >= 0); // and under its device
        const int count = ports->count();
        dropDown(); // again: the same list, nothing twice
        QCOMPARE(ports->count(), count);
        QCOMPARE(ports->findData(stable), index);

        ports->setCurrentIndex(index);
        QCOMPARE(h.doc().PortName(), stable);
        QVERIFY(h.select(QStringLiteral("Counters|daily")));
        QCOMPARE(h.doc().LastSummary().read, 31);

        // Pulled out while chosen: it stays the choice, ready for when it is back.
        QVERIFY(QFile::remove(stable));
        dropDown();
        QCOMPARE(ports->currentData().toString(), stable);
        QCOMPARE(ports->currentText(), name);
        QCOMPARE(h.doc().PortName(), stable);
        h.stop();
    }

    // A network port typed into the box reads the unit through the device server; in key
    // mode without TLS the status bar says the key crossed the network readable.
    void networkPortTyped()
    {
        QTemporaryDir cwd;
        QVERIFY(QDir::setCurrent(cwd.path()));
        CWindowHarness h;
        QString error;
        QVERIFY2(h.start(&error), qPrintable(error));
        Ser2NetServer server;
        QVERIFY2(server.start(h.unit().slavePath(), Ser2NetServer::Mode::Rfc2217) != 0, qPrintable(server.error()));
        QVERIFY(h.openWindow());
        QComboBox *ports = h.frame()->commBar()->portSelector();
        ports->lineEdit()->selectAll();
        QTest::keyClicks(ports->lineEdit(), server.url());
        QTest::keyClick(ports->lineEdit(), Qt::Key_Return);
        QCOMPARE(h.doc().PortName(), server.url());
        QCOMPARE(ports->currentText(), server.url());
        QVERIFY(h.select(QStringLiteral("Counters|daily")));
        QCOMPARE(h.doc().LastSummary().read, 31);
        QVERIFY(!h.doc().LastSummary().keyReadable);

        QuiloSim::Key key{};
        key.fill(0xFF); // doubled on the way out, undoubled by the server
        h.unit().setUserKey(key);
        QVERIFY(h.doc().SetKeyMode(1, QStringLiteral("FF - FF FF FF FF FF FF - FF")));
        QVERIFY(h.select(QStringLiteral("Counters|monthly")));
        QVERIFY(h.doc().LastSummary().read > 0);
        QCOMPARE(h.doc().LastSummary().failed(), 0);
        QVERIFY(h.doc().LastSummary().keyReadable);
        QVERIFY2(h.frame()->statusBar()->currentMessage().contains(LoadString(Str::NetKeyPlain).arg(server.url())),
                 qPrintable(h.frame()->statusBar()->currentMessage()));
        h.stop();
    }
};

QTEST_MAIN(TestPortSelector)
#include "tst_portselector.moc"

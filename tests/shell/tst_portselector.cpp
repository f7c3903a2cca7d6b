// The window's port list is read again each time it drops down: an adapter plugged in after
// start-up can be picked, under its stable name too, and the current choice never changes by
// itself. The simulated unit plays the adapter behind a by-id link.

#include "commbar.h"
#include "devicetree.h"
#include "windowharness.h"

#include <QComboBox>
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
};

QTEST_MAIN(TestPortSelector)
#include "tst_portselector.moc"

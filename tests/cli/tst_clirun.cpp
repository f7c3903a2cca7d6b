// quilo in-process against the simulated unit on a pseudo-terminal: failures name the record
// and the reason, bad input never reaches the unit, writes are read back.

#include "cliapp.h"
#include "comport.h"
#include "devicetree.h"
#include "simulatedunit.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace QuiloCli;

namespace {

struct Run {
    int exit = -1;
    QString out;
    QString err;
};

Run runQuilo(QStringList args, const QString &port, const QByteArray &answer = {})
{
    QBuffer out;
    QBuffer err;
    QBuffer in;
    in.setData(answer);
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    in.open(QIODevice::ReadOnly);
    args << QStringLiteral("--port") << port;
    Run r;
    r.exit = RunCli(args, CCliStreams{&out, &err, &in, false});
    r.out = QString::fromUtf8(out.data());
    r.err = QString::fromUtf8(err.data());
    return r;
}

QuiloSim::Fault fault(const char *want)
{
    const std::optional<QuiloSim::Fault> f = QuiloSim::parseFault(QString::fromLatin1(want));
    return f.value_or(QuiloSim::Fault{});
}

} // namespace

class TestCliRun : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void failuresNameRecordAndReason_data();
    void failuresNameRecordAndReason();
    void badInputSendsNothing_data();
    void badInputSendsNothing();
    void rawBytesAreTheReplies();
    void writeKeyIsReadBack();
    void writeKeyRefusedOrDeclined();
    void setClockIsReadBack();
    void keyMode();
    void missingPort();
    void silentUnitGivesUp();
    void portsShowAdapters();

private:
    std::unique_ptr<QuiloSim::CSimulatedUnit> m_unit;
};

void TestCliRun::init()
{
    m_unit = std::make_unique<QuiloSim::CSimulatedUnit>();
    QString error;
    QVERIFY2(m_unit->start(&error), qPrintable(error));
}

void TestCliRun::cleanup()
{
    m_unit.reset();
}

void TestCliRun::failuresNameRecordAndReason_data()
{
    QTest::addColumn<QString>("set");
    QTest::addColumn<QString>("faultSpec");
    QTest::addColumn<QString>("failedLine"); // the CSV line of the failed record starts so
    QTest::addColumn<QString>("reason");
    QTest::newRow("daily 5 checksum") << QStringLiteral("daily") << QStringLiteral("198:5=checksum")
                                      << QStringLiteral("5,") << QStringLiteral("bad checksum");
    QTest::newRow("yearly 2 two bytes") << QStringLiteral("yearly") << QStringLiteral("201:2=two")
                                        << QStringLiteral("2,") << QStringLiteral("two-byte reply");
    QTest::newRow("counters length") << QStringLiteral("counters") << QStringLiteral("206=length")
                                     << QStringLiteral("1,") << QStringLiteral("wrong reply length");
    // The engine marks the configuration read whatever its chunks did; the export does not.
    QTest::newRow("config chunk 12") << QStringLiteral("config") << QStringLiteral("202:12=checksum")
                                     << QStringLiteral("1,") << QStringLiteral("1 of 18 parts not read (bad checksum)");
}

void TestCliRun::failuresNameRecordAndReason()
{
    QFETCH(QString, set);
    QFETCH(QString, faultSpec);
    QFETCH(QString, failedLine);
    QFETCH(QString, reason);
    m_unit->addFault(fault(faultSpec.toLatin1().constData()));
    const Run r = runQuilo({QStringLiteral("read"), set, QStringLiteral("-f"), QStringLiteral("csv"),
                            QStringLiteral("-s"), QStringLiteral(",")},
                           m_unit->slavePath());
    QCOMPARE(r.exit, 1);
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    int failed = 0;
    for (const QString &line : lines.mid(1)) {
        if (line.endsWith(QLatin1String(",read")))
            continue;
        ++failed;
        QVERIFY2(line.startsWith(failedLine) && line.endsWith(reason), qPrintable(line));
    }
    QCOMPARE(failed, 1);
    QVERIFY2(r.err.contains(reason), qPrintable(r.err));
}

void TestCliRun::badInputSendsNothing_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("year 2100") << QStringList{QStringLiteral("set-clock"), QStringLiteral("2100-01-01 10:00"), QStringLiteral("--yes")};
    QTest::newRow("key text") << QStringList{QStringLiteral("write-key"), QStringLiteral("LAB"), QStringLiteral("1"),
                                             QStringLiteral("01 - 23 45 67 89 AB CD"), QStringLiteral("--yes")};
    QTest::newRow("row") << QStringList{QStringLiteral("write-key"), QStringLiteral("organizer"), QStringLiteral("33"),
                                        QStringLiteral("0123456789ABCDEF"), QStringLiteral("--yes")};
    QTest::newRow("event") << QStringList{QStringLiteral("read"), QStringLiteral("conf-event"), QStringLiteral("21")};
    QTest::newRow("group") << QStringList{QStringLiteral("read"), QStringLiteral("key-table"), QStringLiteral("XYZ")};
    QTest::newRow("user key") << QStringList{QStringLiteral("read"), QStringLiteral("daily"), QStringLiteral("-k"), QStringLiteral("zz")};
    QTest::newRow("output file") << QStringList{QStringLiteral("read"), QStringLiteral("daily"), QStringLiteral("-o"),
                                                QStringLiteral("/nonexistent-dir/x.csv")};
}

void TestCliRun::badInputSendsNothing()
{
    QFETCH(QStringList, args);
    const Run r = runQuilo(args, m_unit->slavePath());
    QCOMPARE(r.exit, 64);
    QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
    QVERIFY(r.out.isEmpty());
    QTest::qWait(50);
    QVERIFY(m_unit->receivedFrames().isEmpty());
}

void TestCliRun::rawBytesAreTheReplies()
{
    const Run r = runQuilo({QStringLiteral("read"), QStringLiteral("key-logs"), QStringLiteral("SZF"),
                            QStringLiteral("-f"), QStringLiteral("json")},
                           m_unit->slavePath());
    QCOMPARE(r.exit, 0);
    const QJsonArray records = QJsonDocument::fromJson(r.out.toUtf8())
                                   .object()[QStringLiteral("sets")].toArray()[0].toObject()[QStringLiteral("records")]
                                   .toArray();
    QCOMPARE(records.size(), 20);
    for (int i = 0; i < records.size(); ++i) {
        const QJsonObject rec = records[i].toObject();
        QCOMPARE(rec[QStringLiteral("index")].toInt(), 20 + i);
        QCOMPARE(rec[QStringLiteral("raw")].toString().toLatin1(),
                 m_unit->replyData(245, static_cast<std::uint8_t>(i + 1)).toHex());
    }
}

void TestCliRun::writeKeyIsReadBack()
{
    const Run r = runQuilo({QStringLiteral("write-key"), QStringLiteral("LAB"), QStringLiteral("3"),
                            QStringLiteral("01 - 23 45 67 89 AB CD - EF")},
                           m_unit->slavePath(), "y\n");
    QVERIFY2(r.exit == 0, qPrintable(r.err));
    QVERIFY(r.err.contains(QStringLiteral("from ")));
    QVERIFY(r.err.contains(QStringLiteral("The unit holds 01 - 23 45 67 89 AB CD - EF")));
    const QuiloSim::Key expected{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    QCOMPARE(m_unit->state().keyTable[34], expected); // LAB starts at 32; row 3 is entry 35
}

void TestCliRun::writeKeyRefusedOrDeclined()
{
    const QuiloSim::Key before = m_unit->state().keyTable[129];
    // Declined: the old value is read, nothing is written.
    Run r = runQuilo({QStringLiteral("write-key"), QStringLiteral("OMH"), QStringLiteral("2"),
                      QStringLiteral("0000000000000000")},
                     m_unit->slavePath(), "n\n");
    QCOMPARE(r.exit, 1);
    for (const auto &frame : m_unit->receivedFrames())
        QVERIFY(frame.bytes.isEmpty() || std::uint8_t(frame.bytes[0]) != 205);
    // Refused by the unit.
    m_unit->addFault(fault("205:130=refuse"));
    r = runQuilo({QStringLiteral("write-key"), QStringLiteral("OMH"), QStringLiteral("2"),
                  QStringLiteral("0000000000000000"), QStringLiteral("--yes")},
                 m_unit->slavePath());
    QCOMPARE(r.exit, 1);
    QVERIFY2(r.err.contains(QStringLiteral("refused")), qPrintable(r.err));
    QCOMPARE(m_unit->state().keyTable[129], before);
}

void TestCliRun::setClockIsReadBack()
{
    Run r = runQuilo({QStringLiteral("set-clock"), QStringLiteral("2031-02-03"), QStringLiteral("04:05"),
                      QStringLiteral("-y")},
                     m_unit->slavePath());
    QVERIFY2(r.exit == 0, qPrintable(r.err));
    QVERIFY(m_unit->replyData(209, 0).startsWith(QByteArray::fromHex("3102030405"))
            || m_unit->replyData(209, 0).startsWith(QByteArray::fromHex("3102030406")));

    m_unit->addFault(fault("210=refuse"));
    r = runQuilo({QStringLiteral("set-clock"), QStringLiteral("now"), QStringLiteral("-y")}, m_unit->slavePath());
    QCOMPARE(r.exit, 1);
    QVERIFY2(r.err.contains(QStringLiteral("refused")), qPrintable(r.err));
}

void TestCliRun::keyMode()
{
    const QuiloSim::Key key{1, 2, 3, 4, 5, 6, 7, 8};
    m_unit->setUserKey(key);
    Run r = runQuilo({QStringLiteral("read"), QStringLiteral("yearly"), QStringLiteral("-f"), QStringLiteral("json"),
                      QStringLiteral("-k"), QStringLiteral("0102030405060709")},
                     m_unit->slavePath());
    QCOMPARE(r.exit, 1);
    const QJsonArray records = QJsonDocument::fromJson(r.out.toUtf8())
                                   .object()[QStringLiteral("sets")].toArray()[0].toObject()[QStringLiteral("records")]
                                   .toArray();
    QCOMPARE(records.size(), 6);
    for (const auto &rec : records) {
        QCOMPARE(rec.toObject()[QStringLiteral("status")].toInt(), 256);
        QCOMPARE(rec.toObject()[QStringLiteral("result")].toString(), QStringLiteral("key refused"));
    }
    r = runQuilo({QStringLiteral("read"), QStringLiteral("yearly"), QStringLiteral("-k"),
                  QStringLiteral("01 - 02 03 04 05 06 07 - 08")},
                 m_unit->slavePath());
    QVERIFY2(r.exit == 0, qPrintable(r.err));
}

void TestCliRun::missingPort()
{
    const Run r = runQuilo({QStringLiteral("read"), QStringLiteral("all")}, QStringLiteral("/dev/quilo-no-such-port"));
    QCOMPARE(r.exit, 2);
    QVERIFY(r.out.isEmpty());
    QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
    QVERIFY(r.err.contains(QStringLiteral("/dev/quilo-no-such-port")));
    QVERIFY(r.err.contains(QStringLiteral("quilo ports")));
}

void TestCliRun::silentUnitGivesUp()
{
    m_unit->addFault(fault("any=silent"));
    const Run r = runQuilo({QStringLiteral("read"), QStringLiteral("all"), QStringLiteral("-f"), QStringLiteral("json")},
                           m_unit->slavePath());
    QCOMPARE(r.exit, 1);
    QVERIFY2(r.err.contains(QStringLiteral("does not answer")), qPrintable(r.err));
    // What was tried is still written out, marked as failed.
    const QJsonArray sets = QJsonDocument::fromJson(r.out.toUtf8()).object()[QStringLiteral("sets")].toArray();
    QCOMPARE(sets.size(), 3); // counters, date and time, current key: then it gave up
    QCOMPARE(sets[0].toObject()[QStringLiteral("records")].toArray()[0].toObject()[QStringLiteral("result")].toString(),
             QStringLiteral("wrong reply length"));
}

// Each adapter with its stable name beneath it and its latency timer; a timer above 1 ms gets
// the way to lower it, and a stable name the way to map a Com name to it.
void TestCliRun::portsShowAdapters()
{
    CFakeDeviceTree tree;
    const QString slow = QStringLiteral("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    const QString fast = QStringLiteral("usb-FTDI_FT231X_USB_UART_D30A1B2C-if00-port0");
    QVERIFY(tree.plug(QStringLiteral("ttyUSB0"), slow, 16));
    QVERIFY(tree.plug(QStringLiteral("ttyUSB1"), fast, 1));
    CComPort::SetPortMapping(QStringLiteral("Com2"), tree.byId(slow));
    QBuffer out, err, in;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    in.open(QIODevice::ReadOnly);
    const int exit = RunCli({QStringLiteral("ports")}, CCliStreams{&out, &err, &in, false});
    CComPort::ClearPortMappings();
    QCOMPARE(exit, 0);
    const QStringList lines = QString::fromUtf8(out.data()).split(QLatin1Char('\n'));

    const qsizetype usb0 = lines.indexOf(QRegularExpression(QStringLiteral("^  %1 .*latency timer 16 ms +Com2$")
                                                                .arg(QRegularExpression::escape(tree.path(QStringLiteral("dev/ttyUSB0"))))));
    QVERIFY2(usb0 >= 0, qPrintable(lines.join(QLatin1Char('\n'))));
    QCOMPARE(lines.value(usb0 + 1).trimmed(), QStringLiteral("also as ") + tree.byId(slow));
    QVERIFY(lines.value(usb0 + 2).contains(QStringLiteral("latency timer 1 ms")));
    QCOMPARE(lines.value(usb0 + 3).trimmed(), QStringLiteral("also as ") + tree.byId(fast));

    const QStringList hints = lines.filter(QStringLiteral("echo 1 | sudo tee"));
    QCOMPARE(hints.size(), 1);
    QVERIFY(hints[0].startsWith(QStringLiteral("ttyUSB0 holds received bytes for up to 16 ms")));
    QVERIFY(hints[0].contains(QStringLiteral("tee ") + tree.path(QStringLiteral("sys/bus/usb-serial/devices/ttyUSB0/latency_timer"))));
    QCOMPARE(lines.filter(QStringLiteral("QUILO_PORTS=\"Com2=%1\"").arg(tree.byId(slow))).size(), 1);
}

QTEST_GUILESS_MAIN(TestCliRun)
#include "tst_clirun.moc"

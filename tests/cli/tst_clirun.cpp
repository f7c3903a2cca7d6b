// quilo in-process against the simulated unit on a pseudo-terminal: failures name the record
// and the reason, bad input never reaches the unit, writes are read back.

#include "cliapp.h"
#include "cliargs.h"
#include "comport.h"
#include "devicetree.h"
#include "simulatedunit.h"
#include "stringtable.h"
#include "translation.h"

#include <QBuffer>
#include <QFile>
#include <QRegularExpression>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>

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

// quilo in-process without a port (history, compare, show ...), its output into `out` when
// given (a device that fails), else into a buffer.
Run runOffline(const QStringList &args, QIODevice *out = nullptr)
{
    QBuffer buffer;
    QBuffer err;
    QBuffer in;
    buffer.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    in.open(QIODevice::ReadOnly);
    Run r;
    r.exit = RunCli(args, CCliStreams{out ? out : &buffer, &err, &in, false});
    r.out = QString::fromUtf8(buffer.data());
    r.err = QString::fromUtf8(err.data());
    return r;
}

// A unit whose type would retitle the terminal and whose number would clear it, and whose
// name reads as a formula.
void markUnit(QuiloSim::UnitState &s)
{
    s.config.type = QStringLiteral("Q\x1b]0;owned\x07");
    s.config.mfgNo = QStringLiteral("\x1b[2J7\b\x7f");
    s.config.name = QStringLiteral("@SUM(1)");
}

// A character a terminal acts on, line breaks aside.
bool hasControls(const QString &text)
{
    static const QRegularExpression controls(QStringLiteral("[\\x00-\\x09\\x0b-\\x1f\\x7f]"));
    return text.contains(controls);
}

QStringList csvCells(const QString &csv)
{
    QStringList cells;
    for (const QString &line : csv.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        cells << line.split(QLatin1Char(';'));
    return cells;
}

QuiloSim::Fault fault(const char *want)
{
    const std::optional<QuiloSim::Fault> f = QuiloSim::parseFault(QString::fromLatin1(want));
    return f.value_or(QuiloSim::Fault{});
}

int framesOf(const QList<QuiloSim::Frame> &frames, const QByteArray &start)
{
    int n = 0;
    for (const QuiloSim::Frame &f : frames)
        n += f.type == QuiloSim::FrameType::Data && f.bytes.startsWith(start);
    return n;
}

// The process's time zone for one test; the local clock rules follow TZ after tzset().
class CZone
{
public:
    explicit CZone(const char *zone) : m_old(qgetenv("TZ")), m_had(qEnvironmentVariableIsSet("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~CZone()
    {
        if (m_had)
            qputenv("TZ", m_old);
        else
            qunsetenv("TZ");
        tzset();
    }

private:
    QByteArray m_old;
    bool m_had;
};

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
    void damagedWriteAnswer_data();
    void damagedWriteAnswer();
    void setClockOnDaylightSavingDays_data();
    void setClockOnDaylightSavingDays();
    void keyMode();
    void missingPort();
    void silentUnitGivesUp();
    void portsShowAdapters();
    void nothingReadKeepsTheFile();
    void silenceIsJudgedPerSet_data();
    void silenceIsJudgedPerSet();
    void olderUnitIsStillRead();
    void lostPortListsTheRest();
    void failedRecordsCarryNoValues();
    void unitTextIsInert();
    void unitTextInMessagesIsInert_data();
    void unitTextInMessagesIsInert();
    void historyCsvKeepsFigures_data();
    void historyCsvKeepsFigures();
    void unwritableOutput_data();
    void unwritableOutput();
    // last: it leaves the Hungarian translation installed
    void commandsToTypeKeepTheirNames();

private:
    // Two visits of the marked unit in a history of the test's own, the second with a counter
    // lower and another name; the history's file, or empty.
    QString history();

    std::unique_ptr<QuiloSim::CSimulatedUnit> m_unit;
    QTemporaryDir m_dir;
    QString m_history;
    QStringList m_recorded; // what the two reads said
};

QString TestCliRun::history()
{
    if (!m_history.isEmpty())
        return m_history;
    const QString file = m_dir.filePath(QStringLiteral("history.sqlite"));
    QuiloSim::UnitState s = m_unit->state();
    markUnit(s);
    m_unit->setState(s);
    const QStringList readAll{QStringLiteral("read"), QStringLiteral("all"), QStringLiteral("--history"), file};
    Run r = runQuilo(readAll, m_unit->slavePath());
    if (r.exit != 0)
        return QString();
    m_recorded << r.err;
    s.counters.cashOut -= 500;
    s.config.name = QStringLiteral("=1+1");
    m_unit->setState(s);
    r = runQuilo(readAll, m_unit->slavePath());
    if (r.exit != 0)
        return QString();
    m_recorded << r.err;
    m_history = file;
    return m_history;
}

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

// A write whose answer is spoiled: the unit took it (or not), the program reads the value back
// once and says what the unit holds; it never writes a second time.
void TestCliRun::damagedWriteAnswer_data()
{
    QTest::addColumn<bool>("clock");
    QTest::addColumn<QString>("writeFault"); // on the write's answer
    QTest::addColumn<QString>("readFault");  // on every read of the value, empty for none
    QTest::addColumn<int>("exit");
    QTest::addColumn<QString>("says");
    QTest::addColumn<bool>("holdsNew");
    for (const bool clock : {true, false}) {
        const int n = clock ? 5 : 8;
        const QString late = QStringLiteral("late:%1").arg(3 * (100 + 20 * (n + 4)) + 80); // after the time-outs
        const QString what = clock ? QStringLiteral("clock") : QStringLiteral("key");
        const QString holdsNew = clock ? QStringLiteral("holds the new time") : QStringLiteral("holds the new key");
        for (const QString &kind : {QStringLiteral("two"), QStringLiteral("checksum"), QStringLiteral("garbage"),
                                    QStringLiteral("length:-1"), late, QStringLiteral("gap:400")})
            QTest::addRow("%s, %s", qPrintable(what), qPrintable(kind)) << clock << kind << QString() << 0 << holdsNew << true;
        QTest::addRow("%s, no answer, not taken", qPrintable(what))
            << clock << QStringLiteral("silent") << QString() << 1
            << (clock ? QStringLiteral("still holds its old time") : QStringLiteral("still holds the old key")) << false;
        QTest::addRow("%s, two bytes, no read-back", qPrintable(what))
            << clock << QStringLiteral("two") << QStringLiteral("silent") << 1 << QStringLiteral("may hold either") << true;
    }
}

void TestCliRun::damagedWriteAnswer()
{
    QFETCH(bool, clock);
    QFETCH(QString, writeFault);
    QFETCH(QString, readFault);
    QFETCH(int, exit);
    QFETCH(QString, says);
    QFETCH(bool, holdsNew);

    const QuiloSim::Key newKey{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    const QuiloSim::Key oldKey = m_unit->state().keyTable[34]; // LAB row 3
    const QString writeTarget = clock ? QStringLiteral("210") : QStringLiteral("205:35");
    const QString readTarget = clock ? QStringLiteral("209") : QStringLiteral("203:35");
    m_unit->addFault(*QuiloSim::parseFault(writeTarget + QLatin1Char('=') + writeFault));
    if (!readFault.isEmpty())
        m_unit->addFault(*QuiloSim::parseFault(readTarget + QLatin1Char('=') + readFault));

    const QStringList args = clock ? QStringList{QStringLiteral("set-clock"), QStringLiteral("2031-12-28 19:47"),
                                                 QStringLiteral("--yes")}
                                   : QStringList{QStringLiteral("write-key"), QStringLiteral("LAB"), QStringLiteral("3"),
                                                 QStringLiteral("0123456789ABCDEF"), QStringLiteral("--yes")};
    const Run r = runQuilo(args, m_unit->slavePath());
    QVERIFY2(r.exit == exit, qPrintable(r.err));
    QVERIFY2(r.err.contains(says), qPrintable(r.err));
    QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
    QCOMPARE(framesOf(m_unit->receivedFrames(), clock ? QByteArray("\xD2\x00", 2) : QByteArray("\xCD\x23", 2)), 1);

    if (clock) {
        const QByteArray held = m_unit->replyData(209, 0).left(4);
        QCOMPARE(held == QByteArray::fromHex("31122819"), holdsNew);
    } else {
        QCOMPARE(m_unit->state().keyTable[34], holdsNew ? newKey : oldKey);
    }
}

// The unit's clock has no zone: the hour that the local clocks skip in spring, and the one they
// pass twice in autumn, are times like any other for it. Day, hour and minute above 9 show that
// the packed BCD is read back digit for digit.
void TestCliRun::setClockOnDaylightSavingDays_data()
{
    QTest::addColumn<QString>("when");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("spring, skipped hour") << QStringLiteral("2024-03-31 02:30") << QByteArray::fromHex("2403310230")
                                          << QStringLiteral("2024:03:31  /  02:30");
    QTest::newRow("autumn, doubled hour") << QStringLiteral("2024-10-27 02:30") << QByteArray::fromHex("2410270230")
                                          << QStringLiteral("2024:10:27  /  02:30");
    QTest::newRow("two-digit day, hour, minute") << QStringLiteral("2031-12-28 19:47") << QByteArray::fromHex("3112281947")
                                                 << QStringLiteral("2031:12:28  /  19:47");
}

void TestCliRun::setClockOnDaylightSavingDays()
{
    QFETCH(QString, when);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    const CZone zone("Europe/Budapest");
    const Run r = runQuilo({QStringLiteral("set-clock"), when, QStringLiteral("--yes")}, m_unit->slavePath());
    QVERIFY2(r.exit == 0, qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("The unit holds ") + shown) || r.err.contains(QStringLiteral("The unit holds ")
             + shown.left(shown.size() - 1)), qPrintable(r.err));
    QCOMPARE(m_unit->receivedFrames().at(1).bytes.mid(2, 5), bytes); // after the clock's first read
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

QJsonArray setsOf(const Run &r)
{
    return QJsonDocument::fromJson(r.out.toUtf8()).object()[QStringLiteral("sets")].toArray();
}

QStringList resultsOf(const QJsonObject &set)
{
    QStringList results;
    for (const auto &rec : set[QStringLiteral("records")].toArray())
        results << rec.toObject()[QStringLiteral("result")].toString();
    return results;
}

void TestCliRun::silentUnitGivesUp()
{
    m_unit->addFault(fault("any=silent"));
    const Run r = runQuilo({QStringLiteral("read"), QStringLiteral("yearly"), QStringLiteral("-f"), QStringLiteral("json")},
                           m_unit->slavePath());
    QCOMPARE(r.exit, 1);
    QVERIFY2(r.err.contains(QStringLiteral("does not answer")), qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("check the cable")), qPrintable(r.err));
    // What was tried is still written out, marked as failed; the rest was given up.
    const QStringList results = resultsOf(setsOf(r)[0].toObject());
    QCOMPARE(results.size(), 6);
    QCOMPARE(results.count(QStringLiteral("wrong reply length")), 3);
    QCOMPARE(results.count(QStringLiteral("not read")), 3);
}

// A read that brought nothing does not replace an earlier read-out; a new file shows the failures.
void TestCliRun::nothingReadKeepsTheFile()
{
    QTemporaryDir dir;
    const QString earlier = dir.filePath(QStringLiteral("unit.csv"));
    QFile file(earlier);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("earlier\n") > 0);
    file.close();
    m_unit->addFault(fault("any=silent"));
    Run r = runQuilo({QStringLiteral("read"), QStringLiteral("current-key"), QStringLiteral("-o"), earlier}, m_unit->slavePath());
    QCOMPARE(r.exit, 1);
    QVERIFY2(r.err.contains(QStringLiteral("was left as it was")), qPrintable(r.err));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("earlier\n"));
    const QString fresh = dir.filePath(QStringLiteral("new.csv"));
    r = runQuilo({QStringLiteral("read"), QStringLiteral("current-key"), QStringLiteral("-o"), fresh}, m_unit->slavePath());
    QCOMPARE(r.exit, 1);
    QVERIFY(QFile::exists(fresh));
}

// The words follow what came back: nothing at all, or replies that were wrong. A chunked set
// whose chunks all failed says why.
void TestCliRun::silenceIsJudgedPerSet_data()
{
    QTest::addColumn<QStringList>("sets");
    QTest::addColumn<QString>("faultSpec");
    QTest::addColumn<QString>("says");
    QTest::addColumn<QString>("neverSays");
    QTest::addColumn<QString>("result"); // of the first record
    QTest::newRow("one byte short") << QStringList{QStringLiteral("yearly")} << QStringLiteral("201=length:-1")
                                    << QStringLiteral("yearly: 6 of 6 not read") << QStringLiteral("answer")
                                    << QStringLiteral("wrong reply length");
    QTest::newRow("config, silent") << QStringList{QStringLiteral("config")} << QStringLiteral("202=silent")
                                    << QStringLiteral("does not answer") << QString()
                                    << QStringLiteral("no reply to 3 parts in a row, the other 15 were not tried");
    QTest::newRow("config, two bytes") << QStringList{QStringLiteral("config")} << QStringLiteral("202=two")
                                       << QStringLiteral("config: 1 of 1 not read") << QStringLiteral("answer")
                                       << QStringLiteral("all 18 parts failed: two-byte reply");
    QTest::newRow("yearly, every reply late") << QStringList{QStringLiteral("yearly")} << QStringLiteral("201=late:1590")
                                              << QStringLiteral("answers too late for yearly") << QStringLiteral("cable")
                                              << QStringLiteral("wrong reply length");
}

void TestCliRun::silenceIsJudgedPerSet()
{
    QFETCH(QStringList, sets);
    QFETCH(QString, faultSpec);
    QFETCH(QString, says);
    QFETCH(QString, neverSays);
    QFETCH(QString, result);
    m_unit->addFault(fault(faultSpec.toLatin1().constData()));
    const Run r = runQuilo(QStringList{QStringLiteral("read")} + sets + QStringList{QStringLiteral("-f"), QStringLiteral("json")},
                           m_unit->slavePath());
    QCOMPARE(r.exit, 1);
    QVERIFY2(r.err.contains(says), qPrintable(r.err));
    QVERIFY2(neverSays.isEmpty() || !r.err.contains(neverSays), qPrintable(r.err));
    QCOMPARE(resultsOf(setsOf(r)[0].toObject()).value(0), result);
}

// A unit that does not know two commands: those sets are given up, everything else is read.
void TestCliRun::olderUnitIsStillRead()
{
    m_unit->addFault(fault("206=silent"));
    m_unit->addFault(fault("209=silent"));
    const Run r = runQuilo({QStringLiteral("read"), QStringLiteral("all"), QStringLiteral("-f"), QStringLiteral("json")},
                           m_unit->slavePath());
    QCOMPARE(r.exit, 1);
    int read = 0;
    int records = 0;
    for (const auto &set : setsOf(r)) {
        const QStringList results = resultsOf(set.toObject());
        records += int(results.size());
        read += int(results.count(QStringLiteral("read")));
    }
    QCOMPARE(records, 435);
    QCOMPARE(read, 433);
    QVERIFY2(r.err.contains(QStringLiteral("not a single byte back for counters, datetime")), qPrintable(r.err));
    QVERIFY2(!r.err.contains(QStringLiteral("does not answer")), qPrintable(r.err));
}

// The adapter is pulled mid-run: what was read is written, every set after it is listed as not
// read, and the exit status is the port's.
void TestCliRun::lostPortListsTheRest()
{
    m_unit->addFault(fault("any=drop:30"));
    const Run r = runQuilo({QStringLiteral("read"), QStringLiteral("all"), QStringLiteral("-f"), QStringLiteral("json")},
                           m_unit->slavePath());
    QCOMPARE(r.exit, 2);
    const QJsonArray sets = setsOf(r);
    QCOMPARE(sets.size(), 16);
    QStringList results;
    for (const auto &set : sets)
        results += resultsOf(set.toObject());
    QCOMPARE(results.size(), 435);
    QVERIFY(results.count(QStringLiteral("read")) > 0);
    QCOMPARE(results.last(), QStringLiteral("not read"));
}

// A failed record has no values: nothing a spreadsheet would sum, null in JSON, no raw bytes;
// a configuration with one failed chunk blanks that field only.
void TestCliRun::failedRecordsCarryNoValues()
{
    m_unit->addFault(fault("201:2=checksum"));
    Run r = runQuilo({QStringLiteral("read"), QStringLiteral("yearly"), QStringLiteral("-f"), QStringLiteral("csv"),
                      QStringLiteral("-s"), QStringLiteral(",")},
                     m_unit->slavePath());
    QCOMPARE(r.exit, 1);
    QCOMPARE(r.out.split(QLatin1Char('\n')).at(2), QStringLiteral("2,,,,,,bad checksum"));
    r = runQuilo({QStringLiteral("read"), QStringLiteral("yearly"), QStringLiteral("-f"), QStringLiteral("json")},
                 m_unit->slavePath());
    const QJsonObject second = setsOf(r)[0].toObject()[QStringLiteral("records")].toArray()[1].toObject();
    QCOMPARE(second[QStringLiteral("raw")].toString(), QString());
    for (const auto &value : second[QStringLiteral("values")].toObject())
        QVERIFY(value.isNull());
    r = runQuilo({QStringLiteral("read"), QStringLiteral("yearly")}, m_unit->slavePath());
    QVERIFY2(!r.out.contains(QStringLiteral("2000")), qPrintable(r.out));

    m_unit->clearFaults();
    m_unit->addFault(fault("202:12=checksum"));
    r = runQuilo({QStringLiteral("read"), QStringLiteral("config"), QStringLiteral("-f"), QStringLiteral("json")},
                 m_unit->slavePath());
    const QJsonObject config = setsOf(r)[0].toObject()[QStringLiteral("records")].toArray()[0].toObject();
    const QJsonObject values = config[QStringLiteral("values")].toObject();
    int nulls = 0;
    for (const auto &value : values)
        nulls += value.isNull();
    QCOMPARE(nulls, 1);
    QVERIFY(values[QStringLiteral("Name")].isNull());
    QCOMPARE(values[QStringLiteral("Address")].toString(), m_unit->state().config.address);
}

// Text the unit keeps is data: escape sequences do not reach the terminal, formulas do not
// reach the spreadsheet, JSON keeps it exact; amounts stay as they are.
void TestCliRun::unitTextIsInert()
{
    QuiloSim::UnitState state = m_unit->state();
    state.config.name = QStringLiteral("=HYPERLINK(\"x\")");
    state.config.address = QStringLiteral("\x1b]0;owned\x07\x1b[2J");
    state.config.note = QStringLiteral("-5 Ft.");
    state.config.initialIn = static_cast<std::uint32_t>(-5);
    m_unit->setState(state);

    Run r = runQuilo({QStringLiteral("read"), QStringLiteral("config")}, m_unit->slavePath());
    QVERIFY2(r.exit == 0, qPrintable(r.err));
    QVERIFY(!r.out.contains(QChar(0x1b)) && !r.out.contains(QChar(0x07)));
    QVERIFY2(r.out.contains(QStringLiteral("\\x1b]0;owned\\x07\\x1b[2J")), qPrintable(r.out));

    r = runQuilo({QStringLiteral("read"), QStringLiteral("config"), QStringLiteral("-f"), QStringLiteral("csv"),
                  QStringLiteral("-s"), QStringLiteral(";")},
                 m_unit->slavePath());
    const QStringList cells = r.out.split(QLatin1Char('\n')).at(1).split(QLatin1Char(';'));
    QVERIFY2(cells.contains(QStringLiteral("\"'=HYPERLINK(\"\"x\"\")\"")), qPrintable(r.out));
    QVERIFY2(cells.contains(QStringLiteral("'-5 Ft.")), qPrintable(r.out)); // the unit's text
    QVERIFY2(cells.contains(QStringLiteral("-5 Ft.")), qPrintable(r.out));  // the amount

    r = runQuilo({QStringLiteral("read"), QStringLiteral("config"), QStringLiteral("-f"), QStringLiteral("json")},
                 m_unit->slavePath());
    const QJsonObject values =
        setsOf(r)[0].toObject()[QStringLiteral("records")].toArray()[0].toObject()[QStringLiteral("values")].toObject();
    QCOMPARE(values[QStringLiteral("Name")].toString(), state.config.name);
    QCOMPARE(values[QStringLiteral("Address")].toString(), state.config.address);
}

void TestCliRun::unitTextInMessagesIsInert_data()
{
    // HISTORY: the test's history; UNIT: the unit as TYPE/NUMBER
    QTest::addColumn<QStringList>("args");
    QTest::newRow("visit recorded") << QStringList();
    QTest::newRow("read-out already there") << QStringList{QStringLiteral("read"), QStringLiteral("all"), QStringLiteral("--history"),
                                                           QStringLiteral("HISTORY"), QStringLiteral("--port"), QStringLiteral("PORT")};
    QTest::newRow("no such unit") << QStringList{QStringLiteral("history"), QStringLiteral("UNIT-9"), QStringLiteral("--history"),
                                                 QStringLiteral("HISTORY")};
    QTest::newRow("two units compared") << QStringList{QStringLiteral("compare"), QStringLiteral("UNIT"), QStringLiteral("UNIT-9"),
                                                       QStringLiteral("--history"), QStringLiteral("HISTORY")};
}

// The unit's type and number reach the terminal as escapes wherever a line names the unit.
void TestCliRun::unitTextInMessagesIsInert()
{
    QFETCH(QStringList, args);
    const QString file = history();
    QVERIFY(!file.isEmpty());
    QuiloSim::UnitState s = m_unit->state();
    markUnit(s);
    s.counters.cashOut -= 500;
    s.config.name = QStringLiteral("=1+1");
    m_unit->setState(s);
    QString said;
    if (args.isEmpty()) {
        said = m_recorded.join(QString());
        QVERIFY2(said.contains(QStringLiteral("recorded")), qPrintable(said));
    } else {
        args.replaceInStrings(QStringLiteral("HISTORY"), file);
        args.replaceInStrings(QStringLiteral("PORT"), m_unit->slavePath());
        args.replaceInStrings(QStringLiteral("UNIT"), s.config.type + QLatin1Char('/') + s.config.mfgNo);
        const Run r = runOffline(args);
        said = r.err;
    }
    QVERIFY2(!hasControls(said), said.toUtf8().toPercentEncoding(" /:()\n").constData());
    QVERIFY2(said.contains(QStringLiteral("Q\\x1b]0;owned\\x07")) || said.contains(QStringLiteral("\\x1b[2J7\\x08\\x7f")),
             qPrintable(said));
}

void TestCliRun::historyCsvKeepsFigures_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("cell"); // a pattern one cell must match whole
    const QStringList compare{QStringLiteral("compare"), QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("-s"),
                              QStringLiteral(";"), QStringLiteral("--history"), QStringLiteral("HISTORY")};
    const QStringList visits{QStringLiteral("history"), QStringLiteral("UNIT"), QStringLiteral("-f"), QStringLiteral("csv"),
                             QStringLiteral("-s"), QStringLiteral(";"), QStringLiteral("--history"), QStringLiteral("HISTORY")};
    QTest::newRow("a counter that went down") << compare << QStringLiteral("-500 Ft\\.");
    QTest::newRow("the clock's offset") << compare << QStringLiteral("-\\d+ d \\d+ h");
    QTest::newRow("the unit's name before") << compare << QStringLiteral("'@SUM\\(1\\)");
    QTest::newRow("the unit's name after") << compare << QStringLiteral("'=1\\+1");
    QTest::newRow("a visit's offset") << visits << QStringLiteral("-\\d+ d \\d+ h");
}

// The formula guard is for the unit's own texts: figures and durations keep their minus sign.
void TestCliRun::historyCsvKeepsFigures()
{
    QFETCH(QStringList, args);
    QFETCH(QString, cell);
    const QString file = history();
    QVERIFY(!file.isEmpty());
    QuiloSim::UnitState s = m_unit->state();
    markUnit(s);
    args.replaceInStrings(QStringLiteral("HISTORY"), file);
    args.replaceInStrings(QStringLiteral("UNIT"), s.config.type + QLatin1Char('/') + s.config.mfgNo);
    const Run r = runOffline(args);
    QVERIFY2(r.exit == 0 || r.exit == 1, qPrintable(r.err));
    const QStringList cells = csvCells(r.out);
    QVERIFY2(!cells.filter(QRegularExpression(QRegularExpression::anchoredPattern(cell))).isEmpty(), qPrintable(r.out));
    QVERIFY2(cells.filter(QRegularExpression(QStringLiteral("^'-\\d"))).isEmpty(), qPrintable(r.out));
}

void TestCliRun::unwritableOutput_data()
{
    QTest::addColumn<QStringList>("args");
    const QStringList history{QStringLiteral("--history"), QStringLiteral("HISTORY")};
    QTest::newRow("history") << QStringList{QStringLiteral("history")} + history;
    QTest::newRow("a unit's visits") << QStringList{QStringLiteral("history"), QStringLiteral("UNIT")} + history;
    QTest::newRow("compare") << QStringList{QStringLiteral("compare")} + history;
    QTest::newRow("show") << QStringList{QStringLiteral("show"), QStringLiteral("SAVED")};
    QTest::newRow("ports") << QStringList{QStringLiteral("ports")};
    QTest::newRow("completion") << QStringList{QStringLiteral("__complete"), QStringLiteral("read"), QString()};
}

// Standard output on a full disk: every command says so and ends with 74.
void TestCliRun::unwritableOutput()
{
    QFETCH(QStringList, args);
    const QString file = history();
    QVERIFY(!file.isEmpty());
    const QString saved = m_dir.filePath(QStringLiteral("yearly.quilo"));
    if (!QFile::exists(saved))
        QCOMPARE(runQuilo({QStringLiteral("read"), QStringLiteral("yearly"), QStringLiteral("-o"), saved}, m_unit->slavePath()).exit, 0);
    QuiloSim::UnitState s = m_unit->state();
    markUnit(s);
    args.replaceInStrings(QStringLiteral("HISTORY"), file);
    args.replaceInStrings(QStringLiteral("SAVED"), saved);
    args.replaceInStrings(QStringLiteral("UNIT"), s.config.type + QLatin1Char('/') + s.config.mfgNo);
    QFile full(QStringLiteral("/dev/full"));
    QVERIFY(full.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    const Run r = runOffline(args, &full);
    QVERIFY2(r.exit == ExitOutput, qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("standard output failed after 0 of")), qPrintable(r.err));
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

// A message that tells what to type names the group as it is typed, not as the language
// calls it (the organizer group is "szervező" in Hungarian, but typed "organizer").
void TestCliRun::commandsToTypeKeepTheirNames()
{
    QCOMPARE(Quilo::InstallTranslation(QStringLiteral("hu")), QStringLiteral("hu"));
    QVERIFY(LoadString(Str::GroupOrganizer) != QLatin1String("organizer"));
    m_unit->addFault(fault("205:3=two")); // organizer row 3 is key 2, entry 3
    m_unit->addFault(fault("203:3=silent"));
    const Run r = runQuilo({QStringLiteral("write-key"), QStringLiteral("organizer"), QStringLiteral("3"),
                            QStringLiteral("0123456789ABCDEF"), QStringLiteral("--yes")},
                           m_unit->slavePath());
    QCOMPARE(r.exit, 1);
    QVERIFY2(r.err.contains(QStringLiteral("quilo read key-table organizer")), qPrintable(r.err));
    QVERIFY2(!r.err.contains(LoadString(Str::GroupOrganizer)), qPrintable(r.err));
}

QTEST_GUILESS_MAIN(TestCliRun)
#include "tst_clirun.moc"

// Faults on the one-record data sets (read afresh at every call, no status word) and on the
// chunked ones (configuration, configuration event): what a failure leaves in the document,
// what reached the unit, the time taken, and the next read on a healthy line.
#include "faultrows.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace QuiloSim;

namespace {

const Key kUserKey{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};

// The unit's clock at a fixed minute, so the date/time text does not tick during a case.
UnitState stateAt(std::uint32_t seed, const QDateTime &clock)
{
    UnitState s = generateState(seed);
    s.clock.set(clock);
    return s;
}

const QDateTime kClockA(QDate(2030, 1, 2), QTime(3, 4), Qt::UTC);
const QDateTime kClockB(QDate(2031, 5, 6), QTime(7, 8), Qt::UTC);

int summarySlot(int result)
{
    switch (result) {
    case Quilo::ResultNotSent: return 0;
    case Quilo::ResultTwoBytes: return 1;
    case Quilo::ResultWrongLength: return 2;
    case Quilo::ResultBadChecksum: return 3;
    case Quilo::ResultRefused: return 4;
    case Quilo::ResultKeyFailed: return 5;
    default: return 6;
    }
}

QStringList eventTexts(const CConfEventRecord &e)
{
    return ConfigTexts(e.m_config) + QStringList{e.m_in.GetText(), e.m_out.GetText(), e.m_stake.GetText(),
                                                 e.m_win.GetText(), e.m_games.GetText(), e.m_changeTime.GetText()};
}

struct ChunkedSet
{
    const char *name;
    int dataSet;
    int event;      // for configuration events
    int command;
    int chunk;      // the faulted chunk, from 1
    int chunkCount;
};

const ChunkedSet kChunked[] = {
    {"configuration", CTarvelDoc::dsConfig, 0, Quilo::CmdConfig, 8, 18},
    {"event 3", CTarvelDoc::dsConfEvents, 3, Quilo::CmdConfEventFirst + 3, 19, 24},
};

} // namespace

class TestFaultSingle : public QObject
{
    Q_OBJECT

    static QStringList chunkedTexts(CTarvelDoc &doc, int dataSet, int event)
    {
        return dataSet == CTarvelDoc::dsConfig ? ConfigTexts(doc.m_config)
                                               : eventTexts(doc.m_aConfEvents[static_cast<std::size_t>(event)]);
    }
    static int chunkedStatus(CTarvelDoc &doc, int dataSet, int event)
    {
        return dataSet == CTarvelDoc::dsConfig ? doc.m_config.m_nStatus
                                               : doc.m_aConfEvents[static_cast<std::size_t>(event)].m_nStatus;
    }

private slots:
    void oneRecord_data()
    {
        QTest::addColumn<int>("dataSet");
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("result");
        QTest::addColumn<bool>("drops");
        QTest::addColumn<int>("extraMs");
        const struct {
            const char *name;
            int dataSet, command, n;
        } sets[] = {
            {"counters", CTarvelDoc::dsCounters, Quilo::CmdCounters, 26},
            {"date/time", CTarvelDoc::dsDateTime, Quilo::CmdDateTime, 5},
            {"current key", CTarvelDoc::dsCurrentKey, Quilo::CmdKey, 8},
        };
        for (const auto &s : sets)
            for (const FaultRow &f : FaultRows(s.n))
                QTest::addRow("%s, %s", s.name, qPrintable(f.name))
                    << s.dataSet << s.command << s.n << f.kind << f.requestResult << f.dropsLine << f.extraMs;
    }

    // A failed read keeps the earlier value; the summary names the result.
    void oneRecord()
    {
        QFETCH(int, dataSet);
        QFETCH(int, command);
        QFETCH(int, n);
        QFETCH(QString, kind);
        QFETCH(int, result);
        QFETCH(bool, drops);
        QFETCH(int, extraMs);

        CUnitBench bench;
        QVERIFY2(bench.isReady(), qPrintable(bench.error()));
        CTarvelDoc &doc = bench.doc();
        bench.unit().setState(stateAt(7, kClockA));
        doc.m_nDataSet = dataSet;
        doc.ReadDataSet();
        QCOMPARE(doc.LastSummary().read, 1);
        const QStringList before = bench.recordTexts(dataSet);

        bench.unit().setState(stateAt(11, kClockB));
        bench.unit().addFault(*parseFault(QStringLiteral("%1:0=%2").arg(command).arg(kind)));
        bench.takeReceived();
        QElapsedTimer timer;
        timer.start();
        doc.ReadDataSet();
        const qint64 elapsed = timer.elapsed();
        const QStringList after = bench.recordTexts(dataSet);
        const COperationSummary summary = doc.LastSummary();
        const QList<Frame> frames = bench.takeReceived();
        QCOMPARE(doc.ComPort().IsOpen(), 0);

        if (drops)
            QVERIFY2(bench.replug(), qPrintable(bench.error()));
        bench.unit().clearFaults();
        doc.ReadDataSet();
        QCOMPARE(doc.LastSummary().read, 1);
        const QStringList healthy = bench.recordTexts(dataSet);
        QVERIFY2(before != healthy, "the two unit states must differ here");

        QCOMPARE(summary.tried, 1);
        if (result == Quilo::ResultOk) {
            QCOMPARE(summary.read, 1);
            QCOMPARE(after, healthy);
        } else {
            QCOMPARE(summary.read, 0);
            QCOMPARE(summary.failedBy[static_cast<std::size_t>(summarySlot(result))], 1);
            QCOMPARE(after, before);
        }
        QCOMPARE(MalformedFrames(frames), QStringList());
        QCOMPARE(frames.size(), qsizetype(1));
        QCOMPARE(CountFrames(frames, command), 1);
        QVERIFY2(elapsed < SilentReplyMs(n) + extraMs + kSlackMs, qPrintable(QString::number(elapsed)));
    }

    void chunked_data()
    {
        QTest::addColumn<int>("dataSet");
        QTest::addColumn<int>("event");
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("chunk");
        QTest::addColumn<int>("chunkCount");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("result");
        QTest::addColumn<bool>("drops");
        QTest::addColumn<int>("extraMs");
        for (const ChunkedSet &s : kChunked) {
            const int n = Quilo::kChunkLengths[static_cast<std::size_t>(s.chunk - 1)];
            for (const FaultRow &f : FaultRows(n))
                QTest::addRow("%s, %s", s.name, qPrintable(f.name))
                    << s.dataSet << s.event << s.command << s.chunk << s.chunkCount << f.kind << f.requestResult
                    << f.dropsLine << f.extraMs;
        }
    }

    // A failed chunk reads as zeros and the record counts as read; a lost line leaves the
    // record as it was, to be read again once the device is back.
    void chunked()
    {
        QFETCH(int, dataSet);
        QFETCH(int, event);
        QFETCH(int, command);
        QFETCH(int, chunk);
        QFETCH(int, chunkCount);
        QFETCH(QString, kind);
        QFETCH(int, result);
        QFETCH(bool, drops);
        QFETCH(int, extraMs);

        CUnitBench bench;
        QVERIFY2(bench.isReady(), qPrintable(bench.error()));
        CTarvelDoc &doc = bench.doc();
        doc.m_nDataSet = dataSet;
        doc.m_nConfigEvent = event;
        doc.ReadDataSet();
        QCOMPARE(doc.LastSummary().read, chunkCount);
        const QStringList before = chunkedTexts(doc, dataSet, event);

        bench.unit().setState(generateState(11));
        bench.reload(dataSet);
        bench.unit().addFault(*parseFault(QStringLiteral("%1:%2=%3").arg(command).arg(chunk).arg(kind)));
        bench.takeReceived();
        QElapsedTimer timer;
        timer.start();
        doc.ReadDataSet();
        const qint64 elapsed = timer.elapsed();
        const QStringList after = chunkedTexts(doc, dataSet, event);
        const int status = chunkedStatus(doc, dataSet, event);
        const QList<Frame> frames = bench.takeReceived();
        QCOMPARE(doc.ComPort().IsOpen(), 0);

        if (drops)
            QVERIFY2(bench.replug(), qPrintable(bench.error()));
        bench.unit().clearFaults();
        bench.reload(dataSet);
        doc.ReadDataSet();
        QCOMPARE(doc.LastSummary().read, chunkCount);
        const QStringList healthy = chunkedTexts(doc, dataSet, event);
        const QStringList zero = dataSet == CTarvelDoc::dsConfig ? ConfigTexts(CConfigRecord())
                                                                 : eventTexts(CConfEventRecord());
        const auto field = static_cast<qsizetype>(chunk - 1);
        QVERIFY2(before[field] != healthy[field] && healthy[field] != zero[field], "field must tell the cases apart");

        QCOMPARE(MalformedFrames(frames), QStringList());
        if (drops) {
            QCOMPARE(status, 0);
            QCOMPARE(after, before);
            QCOMPARE(CountFrames(frames, command), chunk);
        } else {
            QCOMPARE(status, 0x8000);
            QCOMPARE(CountFrames(frames, command), chunkCount);
            for (qsizetype i = 0; i < after.size(); ++i) {
                const QByteArray where = QByteArray("field ") + QByteArray::number(i + 1);
                if (i == field && result != Quilo::ResultOk)
                    QVERIFY2(after[i] == zero[i], where);
                else
                    QVERIFY2(after[i] == healthy[i], where);
            }
        }
        QVERIFY2(elapsed < SilentReplyMs(Quilo::kChunkLengths[static_cast<std::size_t>(chunk - 1)]) + extraMs + kSlackMs,
                 qPrintable(QString::number(elapsed)));
    }

    // Key mode with a key the unit does not take: no chunk arrives, and the record is neither
    // blanked nor marked read.
    void chunkedWithoutAnyChunk()
    {
        CUnitBench bench;
        QVERIFY2(bench.isReady(), qPrintable(bench.error()));
        CTarvelDoc &doc = bench.doc();
        doc.m_nDataSet = CTarvelDoc::dsConfig;
        doc.ReadDataSet();
        const QStringList before = ConfigTexts(doc.m_config);
        QVERIFY(!before.first().isEmpty());

        bench.reload(CTarvelDoc::dsConfig);
        bench.unit().setUserKey(kUserKey);
        QVERIFY(doc.SetKeyMode(1, QStringLiteral("00 - 00 00 00 00 00 00 - 01")));
        bench.takeReceived();
        doc.ReadDataSet();
        QCOMPARE(doc.LastSummary().failedBy[5], 18);
        QCOMPARE(doc.m_config.m_nStatus, 0);
        QCOMPARE(ConfigTexts(doc.m_config), before);
        const QList<Frame> frames = bench.takeReceived();
        QCOMPARE(CountFrames(frames, Quilo::CmdConfig), 0);

        QVERIFY(doc.SetKeyMode(1, QStringLiteral("01 - 23 45 67 89 AB CD - EF")));
        doc.ReadDataSet();
        QCOMPARE(doc.LastSummary().read, 18);
        QCOMPARE(doc.m_config.m_nStatus, 0x8000);
        QCOMPARE(ConfigTexts(doc.m_config), before);
    }
};

QTEST_GUILESS_MAIN(TestFaultSingle)
#include "tst_faultsingle.moc"

// Faults on per-record data sets: the faulted record gets its result code and keeps what it
// held, the records around it are read as the unit holds them, nothing malformed reaches the
// unit, the time stays within the time-outs, and the next read on a healthy line is whole.
#include "faultrows.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace QuiloSim;

namespace {

const Key kUserKey{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};

struct RecordSet
{
    const char *name;
    int dataSet;
    unsigned first;
    unsigned last;
    int command;
    int firstParam;
    int n;
};

// Small ranges: a silent record costs seconds.
const RecordSet kSets[] = {
    {"yearly", CTarvelDoc::dsYearly, 0, 5, Quilo::CmdYearly, 1, 17},
    {"key table", CTarvelDoc::dsKeyTable, 64, 66, Quilo::CmdKey, 65, 8},
    {"key logs SZF", CTarvelDoc::dsKeyLogs, 20, 22, Quilo::CmdKeyLogSzf, 1, 18},
};

void selectSet(CTarvelDoc &doc, int dataSet, unsigned first, unsigned last)
{
    doc.m_nDataSet = dataSet;
    doc.m_nFirstKey = first;
    doc.m_nLastKey = last;
}

QList<int> statuses(CUnitBench &bench, int dataSet, unsigned first, unsigned last)
{
    CTarvelDoc &d = bench.doc();
    QList<int> out;
    for (unsigned i = first; i <= last; ++i) {
        switch (dataSet) {
        case CTarvelDoc::dsYearly: out << d.m_aYearly[i].m_nStatus; break;
        case CTarvelDoc::dsKeyTable: out << d.m_aKeyTable[i].m_nStatus; break;
        case CTarvelDoc::dsKeyLogs: out << d.m_aKeyLogs[i].m_nStatus; break;
        default: out << -1; break;
        }
    }
    return out;
}

} // namespace

class TestFaultRecords : public QObject
{
    Q_OBJECT

    // Reads the set once from unit state A, switches the unit to state B, arms `fault` and
    // reads again; then reads once more on a healthy line. Returns through the out parameters
    // the texts from A, the texts after the faulted read, its statuses, B's texts and the time.
    struct Run
    {
        QStringList before, after, healthy;
        QList<int> status;
        QList<Frame> frames;
        qint64 elapsedMs = 0;
    };

    static void runFaulted(CUnitBench &bench, int dataSet, unsigned first, unsigned last, const QString &fault,
                           bool drops, Run &run)
    {
        CTarvelDoc &doc = bench.doc();
        selectSet(doc, dataSet, first, last);
        doc.ReadDataSet();
        QCOMPARE(doc.LastSummary().read, static_cast<int>(last - first + 1));
        run.before = bench.recordTexts(dataSet).mid(first, last - first + 1);

        bench.unit().setState(generateState(11));
        if (doc.m_bKeyMode)
            bench.unit().setUserKey(kUserKey);
        bench.reload(dataSet);
        bench.unit().addFault(*parseFault(fault));
        bench.takeReceived();
        QElapsedTimer timer;
        timer.start();
        doc.ReadDataSet();
        run.elapsedMs = timer.elapsed();
        run.frames = bench.takeReceived();
        run.after = bench.recordTexts(dataSet).mid(first, last - first + 1);
        run.status = statuses(bench, dataSet, first, last);
        QCOMPARE(doc.ComPort().IsOpen(), 0);

        // The device is back (or never went): a reload reads everything.
        if (drops)
            QVERIFY2(bench.replug(), qPrintable(bench.error()));
        bench.unit().clearFaults();
        bench.reload(dataSet);
        doc.ReadDataSet();
        QCOMPARE(doc.LastSummary().read, static_cast<int>(last - first + 1));
        run.healthy = bench.recordTexts(dataSet).mid(first, last - first + 1);
    }

private slots:
    void requestFaults_data()
    {
        QTest::addColumn<int>("dataSet");
        QTest::addColumn<unsigned>("first");
        QTest::addColumn<unsigned>("last");
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("faultedParam");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("result");
        QTest::addColumn<bool>("drops");
        QTest::addColumn<int>("extraMs");
        for (const RecordSet &s : kSets) {
            for (const FaultRow &f : FaultRows(s.n)) {
                QTest::addRow("%s, %s", s.name, qPrintable(f.name))
                    << s.dataSet << s.first << s.last << s.command << s.firstParam + 1 << s.n << f.kind
                    << f.requestResult << f.dropsLine << f.extraMs;
            }
        }
    }

    // The fault hits the second record of the range.
    void requestFaults()
    {
        QFETCH(int, dataSet);
        QFETCH(unsigned, first);
        QFETCH(unsigned, last);
        QFETCH(int, command);
        QFETCH(int, faultedParam);
        QFETCH(int, n);
        QFETCH(QString, kind);
        QFETCH(int, result);
        QFETCH(bool, drops);
        QFETCH(int, extraMs);

        CUnitBench bench;
        QVERIFY2(bench.isReady(), qPrintable(bench.error()));
        Run run;
        runFaulted(bench, dataSet, first, last, QStringLiteral("%1:%2=%3").arg(command).arg(faultedParam).arg(kind),
                   drops, run);
        if (QTest::currentTestFailed())
            return;

        const qsizetype faulted = 1;
        QVERIFY2(run.before[faulted] != run.healthy[faulted], "the two unit states must differ here");
        for (qsizetype i = 0; i < run.status.size(); ++i) {
            const QByteArray where = QByteArray("record ") + QByteArray::number(i);
            if (i < faulted || (i == faulted && result == Quilo::ResultOk) || (i > faulted && !drops)) {
                QVERIFY2(run.status[i] == 0x8000, where + " status " + StatusText(run.status[i]).toLatin1());
                QVERIFY2(run.after[i] == run.healthy[i], where);
            } else if (i == faulted) {
                QCOMPARE(run.status[i], 0x8000 + result);
                QVERIFY2(run.after[i] == run.before[i], where + ": a failed record keeps what it held");
            } else {
                // The device is gone: the read ends, the records not reached stay unread for
                // the next read.
                QCOMPARE(run.status[i], 0);
                QVERIFY2(run.after[i] == run.before[i], where);
            }
        }

        QCOMPARE(MalformedFrames(run.frames), QStringList());
        const int expectedRequests = drops ? static_cast<int>(faulted) + 1 : static_cast<int>(run.status.size());
        QCOMPARE(CountFrames(run.frames, command), expectedRequests);
        QCOMPARE(run.frames.size(), static_cast<qsizetype>(expectedRequests));

        const qint64 budget = SilentReplyMs(n) + extraMs + kSlackMs;
        QVERIFY2(run.elapsedMs < budget, qPrintable(QStringLiteral("took %1 ms").arg(run.elapsedMs)));
    }

    void everyReplyLate_data()
    {
        QTest::addColumn<int>("dataSet");
        QTest::addColumn<unsigned>("first");
        QTest::addColumn<unsigned>("last");
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("n");
        QTest::newRow("yearly") << int(CTarvelDoc::dsYearly) << 0u << 5u << int(Quilo::CmdYearly) << 17;
        QTest::newRow("daily") << int(CTarvelDoc::dsDaily) << 0u << 30u << int(Quilo::CmdDaily) << 25;
        QTest::newRow("key table OMH") << int(CTarvelDoc::dsKeyTable) << 128u << 191u << int(Quilo::CmdKey) << 8;
        QTest::newRow("key logs SZF") << int(CTarvelDoc::dsKeyLogs) << 20u << 39u << int(Quilo::CmdKeyLogSzf) << 18;
    }

    // A unit that answers every request just after the program gave up waiting: each reply
    // arrives while the next request waits for its own. No record may take its neighbour's
    // reply; each one fails or holds what the unit holds for it.
    void everyReplyLate()
    {
        QFETCH(int, dataSet);
        QFETCH(unsigned, first);
        QFETCH(unsigned, last);
        QFETCH(int, command);
        QFETCH(int, n);

        CUnitBench bench;
        QVERIFY2(bench.isReady(), qPrintable(bench.error()));
        CTarvelDoc &doc = bench.doc();
        const int lateMs = SilentReplyMs(n) + 30;
        bench.unit().addFault(*parseFault(QStringLiteral("%1=late:%2").arg(command).arg(lateMs)));
        selectSet(doc, dataSet, first, last);
        doc.ReadDataSet();
        const QStringList faulted = bench.recordTexts(dataSet).mid(first, last - first + 1);
        const QList<int> status = statuses(bench, dataSet, first, last);
        QCOMPARE(MalformedFrames(bench.takeReceived()), QStringList());

        // The same records from a healthy unit, once the last late reply is out of the way.
        bench.unit().clearFaults();
        QTest::qWait(lateMs + 300);
        bench.reload(dataSet);
        doc.ReadDataSet();
        QCOMPARE(doc.LastSummary().read, static_cast<int>(last - first + 1));
        const QStringList healthy = bench.recordTexts(dataSet).mid(first, last - first + 1);
        for (qsizetype i = 0; i < status.size(); ++i)
            if (status[i] == 0x8000)
                QVERIFY2(faulted[i] == healthy[i], qPrintable(QStringLiteral("record %1 holds another record's reply").arg(i)));
    }

    void keyFrameFaults_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("drops");
        QTest::addColumn<int>("extraMs");
        for (const FaultRow &f : FaultRows(static_cast<int>(Quilo::kKeyLength))) {
            if (f.frameResult != Quilo::ResultOk)
                QTest::newRow(qPrintable(f.name)) << f.kind << f.dropsLine << f.extraMs;
        }
    }

    // Key mode: a key presentation that fails marks the record 256 and sends no request; the
    // next record presents the key again and is read.
    void keyFrameFaults()
    {
        QFETCH(QString, kind);
        QFETCH(bool, drops);
        QFETCH(int, extraMs);

        CUnitBench bench;
        QVERIFY2(bench.isReady(), qPrintable(bench.error()));
        bench.unit().setUserKey(kUserKey);
        QVERIFY(bench.doc().SetKeyMode(1, QStringLiteral("01 - 23 45 67 89 AB CD - EF")));
        Run run;
        runFaulted(bench, CTarvelDoc::dsYearly, 0, 5, QStringLiteral("205:0=%1,once").arg(kind), drops, run);
        if (QTest::currentTestFailed())
            return;

        QCOMPARE(run.status[0], int(Quilo::ResultKeyFailed));
        QVERIFY(run.after[0] == run.before[0]);
        for (qsizetype i = 1; i < run.status.size(); ++i) {
            if (drops) {
                QCOMPARE(run.status[i], 0);
                QVERIFY(run.after[i] == run.before[i]);
            } else {
                QCOMPARE(run.status[i], 0x8000);
                QVERIFY(run.after[i] == run.healthy[i]);
            }
        }
        QCOMPARE(MalformedFrames(run.frames), QStringList());
        // No request without an accepted key in front of it.
        QCOMPARE(CountFrames(run.frames, Quilo::CmdYearly), drops ? 0 : static_cast<int>(run.status.count(0x8000)));
        if (!run.frames.isEmpty())
            QCOMPARE(static_cast<std::uint8_t>(run.frames.first().bytes[0]), std::uint8_t(Quilo::CmdKeyWrite));

        const qint64 budget = SilentReplyMs(static_cast<int>(Quilo::kKeyLength)) + extraMs + kSlackMs;
        QVERIFY2(run.elapsedMs < budget, qPrintable(QStringLiteral("took %1 ms").arg(run.elapsedMs)));
    }
};

QTEST_GUILESS_MAIN(TestFaultRecords)
#include "tst_faultrecords.moc"

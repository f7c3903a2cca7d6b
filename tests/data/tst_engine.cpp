// The read-out and write-back engine against the simulated unit on a real pseudo-terminal.
#include "simulatedunit.h"
#include "stringtable.h"
#include "tarveldoc.h"

#include <QElapsedTimer>
#include <QtTest>

#include <vector>

using namespace QuiloSim;

namespace {

const Key kUserKey{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
const QString kUserKeyText = QStringLiteral("01 - 23 45 67 89 AB CD - EF");

// Remembers every progress call; can ask to stop after a number of positions.
class ProgressLog : public CProgressSink
{
public:
    struct Call { char what; int a; int b; };
    std::vector<Call> calls;
    int stopAfterPositions = -1;

    void SetRange(int minimum, int maximum) override { calls.push_back({'r', minimum, maximum}); }
    void SetStep(int step) override { calls.push_back({'s', step, 0}); }
    void SetPos(int position) override { calls.push_back({'p', position, 0}); }
    bool StopRequested() override
    {
        if (stopAfterPositions < 0)
            return false;
        int positions = 0;
        for (const Call &c : calls)
            positions += c.what == 'p';
        return positions >= stopAfterPositions;
    }
    std::vector<int> positions() const
    {
        std::vector<int> out;
        for (const Call &c : calls)
            if (c.what == 'p')
                out.push_back(c.a);
        return out;
    }
};

QByteArray frameBytes(std::initializer_list<int> bytes)
{
    QByteArray out;
    for (int b : bytes)
        out.append(static_cast<char>(b));
    return out;
}

} // namespace

class TestEngine : public QObject
{
    Q_OBJECT

    CSimulatedUnit *m_unit = nullptr;
    CTarvelDoc *m_doc = nullptr;
    ProgressLog m_progress;

    // The frames the unit received since the last call, as raw bytes.
    QList<QByteArray> takeReceived()
    {
        QList<QByteArray> out;
        for (const Frame &f : m_unit->receivedFrames())
            out.append(f.bytes);
        m_unit->clearTraffic();
        return out;
    }

private slots:
    void init()
    {
        m_unit = new CSimulatedUnit(generateState(7));
        QString error;
        QVERIFY2(m_unit->start(&error), qPrintable(error));
        m_doc = new CTarvelDoc;
        m_doc->SetPort(m_unit->slavePath());
        m_progress = ProgressLog();
        m_doc->m_pCommBar = &m_progress;
    }
    void cleanup()
    {
        delete m_doc;
        m_doc = nullptr;
        delete m_unit;
        m_unit = nullptr;
    }

    void startsEmptyOnCom2()
    {
        CTarvelDoc doc;
        QCOMPARE(doc.PortName(), QStringLiteral("Com2"));
        QCOMPARE(doc.m_nDataSet, 1);
        QCOMPARE(doc.m_bKeyMode, 0);
        QCOMPARE(doc.m_strUserKey, QStringLiteral("00 - 00 00 00 00 00 00 - 00"));
        for (const auto &r : doc.m_aDaily)
            QCOMPARE(r.m_nStatus, 0);
        for (const auto &k : doc.m_aKeyTable)
            QCOMPARE(k.m_nStatus, 0);
        QCOMPARE(doc.m_config.m_nStatus, 0);
    }

    // The daily log: 31 requests with the right bytes, decoded as the unit holds them, progress
    // 0..30 and back to 0; a second read sends nothing.
    void dailyReadOnceThenCached()
    {
        m_doc->m_nDataSet = CTarvelDoc::dsDaily;
        m_doc->ReadDataSet();
        const QList<QByteArray> frames = takeReceived();
        QCOMPARE(frames.size(), 31);
        for (int i = 0; i < 31; ++i) {
            QCOMPARE(frames[i], frameBytes({0xC6, i + 1}));
            QCOMPARE(m_doc->m_aDaily[i].m_nStatus, 0x8000);
            CDailyRecord expected;
            const QByteArray data = m_unit->replyData(0xC6, static_cast<std::uint8_t>(i + 1));
            expected.Parse(reinterpret_cast<const std::uint8_t *>(data.constData()));
            for (int c = 0; c < 7; ++c)
                QCOMPARE(m_doc->m_aDaily[i].GetColumnText(c), expected.GetColumnText(c));
        }
        QCOMPARE(m_progress.calls.front().what, 'r');
        QCOMPARE(m_progress.calls.front().a, 0);
        QCOMPARE(m_progress.calls.front().b, 31);
        std::vector<int> expectedPositions;
        for (int i = 0; i < 31; ++i)
            expectedPositions.push_back(i);
        expectedPositions.push_back(0);
        QCOMPARE(m_progress.positions(), expectedPositions);
        QCOMPARE(m_doc->LastSummary().read, 31);
        QCOMPARE(m_doc->LastSummary().failed(), 0);

        m_progress.calls.clear();
        m_doc->ReadDataSet();
        QVERIFY(takeReceived().isEmpty());
        QCOMPARE(m_progress.positions().back(), 0);
        QCOMPARE(m_doc->LastSummary().skipped, 31);
    }

    // A bad checksum marks the record done with its code; it is not retried until a reload, and
    // it keeps its earlier content.
    void badChecksumIsNotRetriedUntilReload()
    {
        m_unit->addFault(*parseFault(QStringLiteral("199:5=checksum")));
        m_doc->m_nDataSet = CTarvelDoc::dsMonthly;
        m_doc->ReadDataSet();
        QCOMPARE(m_doc->m_aMonthly[4].m_nStatus, 0x8030);
        QCOMPARE(m_doc->m_aMonthly[4].GetColumnText(0), LoadString(Str::InvalidDate));
        QCOMPARE(m_doc->m_aMonthly[5].m_nStatus, 0x8000);
        QCOMPARE(m_doc->LastSummary().failedBy[3], 1);
        takeReceived();

        m_doc->ReadDataSet();
        QVERIFY(takeReceived().isEmpty());

        m_unit->clearFaults();
        m_doc->m_aMonthly[4].m_nStatus = 0;
        m_doc->ReadDataSet();
        QCOMPARE(takeReceived(), QList<QByteArray>{frameBytes({0xC7, 5})});
        QCOMPARE(m_doc->m_aMonthly[4].m_nStatus, 0x8000);
    }

    // A reload reads the records read before again; it changes a record only when its new
    // reply comes: a port that does not open, or a chunked record whose new read does not
    // complete, leaves what was read as it was.
    void reloadReplacesOnlyWithNewReplies_data()
    {
        QTest::addColumn<int>("dataSet");
        QTest::addColumn<int>("record");
        QTest::addColumn<int>("transactions"); // a reload's frames on a healthy line
        QTest::newRow("daily log") << int(Quilo::dsDaily) << 4 << 31;
        QTest::newRow("key group") << int(Quilo::dsKeyTable) << 60 << 64;
        QTest::newRow("configuration") << int(Quilo::dsConfig) << 0 << 18;
        QTest::newRow("event 3") << int(Quilo::dsConfEvents) << 3 << 24;
    }
    void reloadReplacesOnlyWithNewReplies()
    {
        QFETCH(int, dataSet);
        QFETCH(int, record);
        QFETCH(int, transactions);
        const auto id = static_cast<Quilo::DataSetId>(dataSet);
        const Quilo::ReadRequest request = id == Quilo::dsConfEvents ? Quilo::ReadRequest::Event(record)
                                           : id == Quilo::dsKeyTable ? Quilo::ReadRequest::Records(id, 0, 63)
                                                                     : Quilo::ReadRequest::Set(id);
        m_doc->ReadDataSet(request);
        const CDataField &r = *m_doc->Record(dataSet, static_cast<unsigned>(record));
        QCOMPARE(r.m_nStatus, 0x8000);
        const QByteArray held = m_doc->Meta(dataSet, static_cast<unsigned>(record))->raw;
        const QList<std::int32_t> chunks = m_doc->Meta(dataSet, static_cast<unsigned>(record))->chunkStatus;
        takeReceived();

        m_doc->ReadDataSet(request, true);
        QCOMPARE(takeReceived().size(), transactions);

        if (id == Quilo::dsConfig || id == Quilo::dsConfEvents) {
            m_progress.calls.clear();
            m_progress.stopAfterPositions = 2;
            m_doc->ReadDataSet(request, true); // stopped: the chunked record is not complete
            m_progress.stopAfterPositions = -1;
            QVERIFY(m_doc->LastSummary().stopped);
            QCOMPARE(r.m_nStatus, 0x8000);
            QCOMPARE(m_doc->Meta(dataSet, static_cast<unsigned>(record))->raw, held);
            QCOMPARE(m_doc->Meta(dataSet, static_cast<unsigned>(record))->chunkStatus, chunks);
        }

        m_doc->ReadDataSet(request); // read again on a healthy line
        const QString path = m_unit->slavePath();
        m_doc->SetPort(QStringLiteral("/dev/quilo-no-such-port"));
        m_doc->ReadDataSet(request, true);
        QVERIFY(!m_doc->LastSummary().portOpened);
        QCOMPARE(r.m_nStatus, 0x8000);
        QCOMPARE(m_doc->Meta(dataSet, static_cast<unsigned>(record))->raw, held);
        m_doc->SetPort(path);
    }

    // Key mode: a refused key gives 256 on every record, nothing else is sent, and the next read
    // tries them all again; with the right key every request is preceded by the key frame.
    void keyModeRefusedThenAccepted()
    {
        m_unit->setUserKey(kUserKey);
        QVERIFY(m_doc->SetKeyMode(1, QStringLiteral("00 - 00 00 00 00 00 00 - 01")));
        m_doc->m_nDataSet = CTarvelDoc::dsYearly;
        m_doc->ReadDataSet();
        for (const auto &r : m_doc->m_aYearly)
            QCOMPARE(r.m_nStatus, 256);
        QList<QByteArray> frames = takeReceived();
        QCOMPARE(frames.size(), 6);
        for (const QByteArray &f : frames) {
            QCOMPARE(f.size(), 12);
            QCOMPARE(f.left(2), frameBytes({0xCD, 0x00}));
        }

        QVERIFY(m_doc->SetKeyMode(1, kUserKeyText.toLower()));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(m_doc->m_abUserKey), 8),
                 QByteArray(reinterpret_cast<const char *>(kUserKey.data()), 8));
        m_doc->ReadDataSet();
        frames = takeReceived();
        QCOMPARE(frames.size(), 12);
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(frames[2 * i].mid(2, 8), QByteArray(reinterpret_cast<const char *>(kUserKey.data()), 8));
            QCOMPARE(frames[2 * i + 1], frameBytes({0xC9, i + 1}));
            QCOMPARE(m_doc->m_aYearly[i].m_nStatus, 0x8000);
        }
    }

    void keyModeRejectsMalformedKeyText()
    {
        QVERIFY(!m_doc->SetKeyMode(1, QStringLiteral("01 - 23 45")));
        QCOMPARE(m_doc->m_bKeyMode, 0);
        QCOMPARE(m_doc->m_strUserKey, QStringLiteral("00 - 00 00 00 00 00 00 - 00"));
    }

    void keyRanges_data()
    {
        QTest::addColumn<int>("dataSet");
        QTest::addColumn<unsigned>("first");
        QTest::addColumn<unsigned>("last");
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("firstParam");
        QTest::newRow("key logs OMH") << 2 << 0u << 19u << 246 << 1;
        QTest::newRow("key logs SZF") << 2 << 20u << 39u << 245 << 1;
        QTest::newRow("key table organizer") << 1 << 0u << 31u << 203 << 1;
        QTest::newRow("key table OMH") << 1 << 128u << 191u << 203 << 129;
    }
    void keyRanges()
    {
        QFETCH(int, dataSet);
        QFETCH(unsigned, first);
        QFETCH(unsigned, last);
        QFETCH(int, command);
        QFETCH(int, firstParam);
        m_doc->m_nDataSet = dataSet;
        m_doc->m_nFirstKey = first;
        m_doc->m_nLastKey = last;
        m_doc->ReadDataSet();
        const QList<QByteArray> frames = takeReceived();
        QCOMPARE(frames.size(), static_cast<qsizetype>(last - first + 1));
        for (qsizetype i = 0; i < frames.size(); ++i)
            QCOMPARE(frames[i], frameBytes({command, firstParam + static_cast<int>(i)}));
        QCOMPARE(m_progress.calls.front().a, static_cast<int>(first));
        QCOMPARE(m_progress.calls.front().b, static_cast<int>(last));
        const std::vector<int> positions = m_progress.positions();
        QCOMPARE(positions.front(), static_cast<int>(first));
        QCOMPARE(positions[positions.size() - 2], static_cast<int>(last));
        if (dataSet == 1) {
            const Key k = m_unit->state().keyTable[last];
            QCOMPARE(QByteArray(reinterpret_cast<const char *>(m_doc->m_aKeyTable[last].m_abKey), 8),
                     QByteArray(reinterpret_cast<const char *>(k.data()), 8));
        }
    }

    void emptyOrOversizedRangesStayInBounds()
    {
        m_doc->m_nDataSet = CTarvelDoc::dsKeyTable;
        m_doc->m_nFirstKey = 10;
        m_doc->m_nLastKey = 5;
        m_doc->ReadDataSet();
        QVERIFY(takeReceived().isEmpty());
        m_doc->m_nFirstKey = 190;
        m_doc->m_nLastKey = 500; // cut to the table
        m_doc->ReadDataSet();
        QCOMPARE(takeReceived().size(), 2);
    }

    // Chunked read: a failed chunk reads as zeros, the record still counts as read.
    void configurationWithFailedChunk()
    {
        m_unit->addFault(*parseFault(QStringLiteral("202:12=checksum")));
        m_doc->m_nDataSet = CTarvelDoc::dsConfig;
        m_doc->ReadDataSet();
        const QList<QByteArray> frames = takeReceived();
        QCOMPARE(frames.size(), 18);
        for (int k = 0; k < 18; ++k)
            QCOMPARE(frames[k], frameBytes({0xCA, k + 1}));
        QCOMPARE(m_doc->m_config.m_nStatus, 0x8000);
        QVERIFY(m_doc->m_config.m_name.GetText().isEmpty());
        const Config expected = m_unit->state().config;
        QCOMPARE(m_doc->m_config.m_type.GetText(), expected.type);
        QCOMPARE(m_doc->m_config.m_address.GetText(), expected.address);
        QCOMPARE(m_doc->m_config.m_note.GetText(), expected.note);
        QCOMPARE(m_progress.calls.front().a, 1);
        QCOMPARE(m_progress.calls.front().b, 19);
        QCOMPARE(m_progress.positions().size(), size_t(19));

        m_doc->ReadDataSet(); // done: nothing is sent, the port is not even opened
        QVERIFY(takeReceived().isEmpty());
    }

    void configurationEventUsesItsCommand()
    {
        m_doc->m_nDataSet = CTarvelDoc::dsConfEvents;
        m_doc->m_nConfigEvent = 19;
        m_doc->ReadDataSet();
        const QList<QByteArray> frames = takeReceived();
        QCOMPARE(frames.size(), 24);
        QCOMPARE(frames.last(), frameBytes({244, 24}));
        QCOMPARE(m_doc->m_aConfEvents[19].m_nStatus, 0x8000);
        QCOMPARE(m_doc->m_aConfEvents[19].m_config.m_name.GetText(), m_unit->state().confEvents[19].config.name);
        QCOMPARE(m_doc->m_aConfEvents[0].m_nStatus, 0);
    }

    // The one-record sets are read at every call and keep no status.
    void oneRecordSetsAreReadEveryTime()
    {
        for (int ds : {CTarvelDoc::dsCounters, CTarvelDoc::dsDateTime, CTarvelDoc::dsCurrentKey}) {
            m_doc->m_nDataSet = ds;
            m_doc->ReadDataSet();
            m_doc->ReadDataSet();
            QCOMPARE(takeReceived().size(), 2);
        }
        QCOMPARE(m_doc->m_counters.GetColumnText(6),
                 QString::number(m_unit->state().counters.games));
        QVERIFY(m_progress.calls.empty());
    }

    void unknownSelectorDoesNothing()
    {
        for (int ds : {0, 11, 14, -1}) {
            m_doc->m_nDataSet = ds;
            m_doc->ReadDataSet();
            QVERIFY(m_doc->LastSummary().portName.isEmpty()); // the port was never opened
        }
        QVERIFY(takeReceived().isEmpty());
    }

    // WriteKey: row 3 of the group at 64 is entry 68 on the line; the unit holds it afterwards.
    void writeKeyAddressesEntry()
    {
        m_doc->m_nFirstKey = 64;
        m_doc->m_nLastKey = 127;
        QCOMPARE(m_doc->WriteKey(kUserKeyText, 3), 1);
        const QList<QByteArray> frames = takeReceived();
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames[0].size(), 12);
        QCOMPARE(frames[0].left(2), frameBytes({0xCD, 68}));
        QCOMPARE(m_unit->state().keyTable[67], kUserKey);
        QCOMPARE(m_doc->m_aKeyTable[67].State(), RecordStatus::State::Written);
        QCOMPARE(m_doc->m_aKeyTable[67].GetText(), kUserKeyText);
    }

    // A key the unit did not take, or that never went out, leaves the entry as it was.
    void failedKeyWritesKeepTheEntry_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("missingPort");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("framesSent");
        QTest::newRow("malformed text") << QStringLiteral("01 - 23") << QString() << false << 0x8000 << 0;
        QTest::newRow("refused") << kUserKeyText << QStringLiteral("205:68=refuse") << false << 0x4000 + 64 << 1;
        QTest::newRow("port missing") << kUserKeyText << QString() << true << 0 << 0;
    }
    void failedKeyWritesKeepTheEntry()
    {
        QFETCH(QString, text);
        QFETCH(QString, fault);
        QFETCH(bool, missingPort);
        QFETCH(int, status);
        QFETCH(int, framesSent);
        m_doc->m_nDataSet = CTarvelDoc::dsKeyTable;
        m_doc->m_nFirstKey = 64;
        m_doc->m_nLastKey = 127;
        m_doc->ReadDataSet();
        takeReceived();
        const QString before = m_doc->m_aKeyTable[67].GetText();
        const Key unitBefore = m_unit->state().keyTable[67];
        if (!fault.isEmpty())
            m_unit->addFault(*parseFault(fault));
        if (missingPort)
            m_doc->SetPort(QStringLiteral("/dev/does-not-exist-quilo"));
        QCOMPARE(m_doc->WriteKey(text, 3), 0);
        QCOMPARE(takeReceived().size(), framesSent);
        QCOMPARE(m_doc->m_aKeyTable[67].GetText(), before);
        QCOMPARE(m_doc->m_aKeyTable[67].m_nStatus, status);
        QCOMPARE(m_unit->state().keyTable[67], unitBefore);
    }

    void writeKeyOutsideTheTableSendsNothing()
    {
        m_doc->m_nFirstKey = 128;
        m_doc->m_nLastKey = 191;
        QCOMPARE(m_doc->WriteKey(kUserKeyText, 64), 0);
        QCOMPARE(m_doc->WriteKey(kUserKeyText, -1), 0);
        QVERIFY(takeReceived().isEmpty());
    }

    void writeDateTime()
    {
        const std::uint8_t when[5] = {0x24, 0x06, 0x15, 0x13, 0x45};
        QCOMPARE(m_doc->WriteDateTime(when), 1);
        QCOMPARE(takeReceived(), QList<QByteArray>{frameBytes({0xD2, 0x00, 0x24, 0x06, 0x15, 0x13, 0x45, 0x96, 0xFE})});
        const QDateTime clock = m_unit->state().clock.now();
        QCOMPARE(clock.date(), QDate(2024, 6, 15));
        QCOMPARE(clock.time().hour(), 13);

        m_unit->addFault(*parseFault(QStringLiteral("210=refuse")));
        QCOMPARE(m_doc->WriteDateTime(when), 0);
        QCOMPARE(m_doc->ComPort().IsOpen(), 0);
        m_unit->clearFaults();
        m_unit->addFault(*parseFault(QStringLiteral("210=silent")));
        const std::uint8_t other[5] = {0x25, 0x07, 0x16, 0x14, 0x46};
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(m_doc->WriteDateTime(other), 0);
        QVERIFY(timer.elapsed() >= 3 * (100 + 20 * 9) - 50);
        QCOMPARE(m_doc->LastSummary().readBack, COperationSummary::ReadBack::HoldsOther);
        m_unit->clearFaults();

        m_doc->SetPort(QStringLiteral("/dev/does-not-exist-quilo"));
        QCOMPARE(m_doc->WriteDateTime(when), 0);
        QCOMPARE(m_doc->ComPort().IsOpen(), 0);
        QVERIFY(!m_doc->LastSummary().portOpened);
        QVERIFY(!m_doc->LastSummary().portError.isEmpty());
    }

    // A port change between two reads is used by the second; a missing port changes no status.
    void portChangeBetweenReads()
    {
        const QString unitPath = m_doc->PortName();
        m_doc->SetPort(QStringLiteral("/dev/does-not-exist-quilo"));
        m_doc->m_nDataSet = CTarvelDoc::dsYearly;
        m_doc->ReadDataSet();
        QVERIFY(!m_doc->LastSummary().portOpened);
        QVERIFY(m_progress.calls.empty());
        for (const auto &r : m_doc->m_aYearly)
            QCOMPARE(r.m_nStatus, 0);
        m_doc->SetPort(unitPath);
        m_doc->ReadDataSet();
        QCOMPARE(m_doc->LastSummary().read, 6);
    }

    // A stop request ends the read between two transactions; records not reached stay unread.
    void stopBetweenTransactions()
    {
        m_progress.stopAfterPositions = 5;
        m_doc->m_nDataSet = CTarvelDoc::dsDaily;
        m_doc->ReadDataSet();
        QVERIFY(m_doc->LastSummary().stopped);
        QCOMPARE(m_doc->LastSummary().read, 5);
        QCOMPARE(m_doc->m_aDaily[4].m_nStatus, 0x8000);
        QCOMPARE(m_doc->m_aDaily[5].m_nStatus, 0);
        QCOMPARE(m_progress.positions().back(), 0);
        QCOMPARE(m_doc->ComPort().IsOpen(), 0);
    }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"

// The adapter pulled out during a read: the read ends at once with the rest of the records
// failed, what was read stays, and once the device is back the next read works.
#include "faultrows.h"
#include "ptypeer.h"

#include <QElapsedTimer>
#include <QtTest>

#include <memory>

using namespace QuiloSim;

namespace {

QList<int> dailyStatuses(const CTarvelDoc &doc)
{
    QList<int> out;
    for (const auto &r : doc.m_aDaily)
        out << r.m_nStatus;
    return out;
}

// A daily record of the unit's layout with a recognisable amount.
QByteArray dailyData(int index)
{
    QByteArray d(25, '\0');
    d[0] = 0x24;
    d[1] = 0x05;
    d[2] = static_cast<char>(BinToBcd(index + 1));
    d[3] = static_cast<char>(index + 1); // cash in
    return d;
}

} // namespace

class TestUnplug : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { CComPort::ClearPortMappings(); }

    // The simulated unit's line goes away after some frames: its pseudo-terminal vanishes. The
    // document reads "Com2", mapped to a link that stands for the adapter's /dev/serial/by-id
    // name; the adapter comes back under another device node behind the same link.
    void simulatedLineDropped_data()
    {
        QTest::addColumn<int>("answered");
        QTest::newRow("before the first record") << 0;
        QTest::newRow("half-way") << 12;
        QTest::newRow("at the last record") << 30;
    }
    void simulatedLineDropped()
    {
        QFETCH(int, answered);
        CUnitBench bench;
        QVERIFY2(bench.isReady(), qPrintable(bench.error()));
        CTarvelDoc &doc = bench.doc();
        CComPort::SetPortMapping(QStringLiteral("Com2"), bench.linkPath());
        doc.SetPort(QStringLiteral("Com2"));
        doc.m_nDataSet = CTarvelDoc::dsDaily;
        bench.unit().addFault(*parseFault(QStringLiteral("any=drop:%1").arg(answered)));
        const QString firstNode = bench.unit().slavePath();

        QElapsedTimer timer;
        timer.start();
        doc.ReadDataSet();
        const qint64 elapsed = timer.elapsed();
        QVERIFY2(elapsed < kSlackMs, qPrintable(QString::number(elapsed)));
        QCOMPARE(doc.ComPort().IsOpen(), 0);
        QVERIFY(bench.unit().isLineDropped());

        const QList<int> status = dailyStatuses(doc);
        for (int i = 0; i < 31; ++i) {
            const int expected = i < answered ? 0x8000 : i == answered ? 0x8020 : 0;
            QVERIFY2(status[i] == expected, qPrintable(QStringLiteral("record %1: %2").arg(i).arg(StatusText(status[i]))));
        }
        const QStringList kept = bench.recordTexts(CTarvelDoc::dsDaily);
        QCOMPARE(MalformedFrames(bench.takeReceived()), QStringList());

        // Unplugged still: nothing opens, nothing changes, no time lost.
        bench.unit().stop();
        timer.restart();
        bench.reload(CTarvelDoc::dsDaily);
        doc.ReadDataSet();
        QVERIFY(!doc.LastSummary().portOpened);
        QVERIFY(timer.elapsed() < kSlackMs);
        QCOMPARE(bench.recordTexts(CTarvelDoc::dsDaily), kept);

        // Back, renumbered (the old node is taken meanwhile): the one-record sets read at once,
        // the log after a reload, through the same name.
        PtyPair squatter;
        QVERIFY2(bench.replug(), qPrintable(bench.error()));
        QVERIFY(bench.unit().slavePath() != firstNode);
        doc.m_nDataSet = CTarvelDoc::dsCounters;
        doc.ReadDataSet();
        QCOMPARE(doc.LastSummary().read, 1);
        doc.m_nDataSet = CTarvelDoc::dsDaily;
        doc.ReadDataSet();
        QCOMPARE(doc.LastSummary().read, 31);
        QCOMPARE(MalformedFrames(bench.takeReceived()), QStringList());
        QCOMPARE(doc.LastSummary().portName, QStringLiteral("Com2"));
        const QStringList fresh = bench.recordTexts(CTarvelDoc::dsDaily);
        for (int i = 0; i < answered; ++i)
            QCOMPARE(fresh[i], kept[i]); // what was read before the pull was right
    }

    // The pseudo-terminal's master closed in the middle of a reply: the torn reply fails, the
    // rest of the range is not sent, and a new device works.
    void masterClosedMidReply()
    {
        auto pty = std::make_unique<PtyPair>();
        QVERIFY(pty->isValid());
        constexpr int pullAt = 7;
        PtyPair *raw = pty.get();
        auto peer = std::make_unique<PtyPeer>(*pty, [raw](const QByteArray &frame, int index) -> QList<PeerChunk> {
            const QByteArray reply = PtyPeer::reply(dailyData(static_cast<quint8>(frame[1]) - 1));
            if (index < pullAt)
                return {{0, reply}};
            raw->write(reply.left(10));
            raw->closeMaster();
            return {};
        });

        CTarvelDoc doc;
        doc.SetPort(pty->slavePath());
        doc.m_nDataSet = CTarvelDoc::dsDaily;
        QElapsedTimer timer;
        timer.start();
        doc.ReadDataSet();
        QVERIFY2(timer.elapsed() < kSlackMs, qPrintable(QString::number(timer.elapsed())));
        const QList<int> status = dailyStatuses(doc);
        for (int i = 0; i < 31; ++i) {
            const int expected = i < pullAt ? 0x8000 : i == pullAt ? 0x8020 : 0;
            QVERIFY2(status[i] == expected, qPrintable(QStringLiteral("record %1: %2").arg(i).arg(StatusText(status[i]))));
        }
        QCOMPARE(doc.m_aDaily[pullAt - 1].m_cashIn.m_nValue, std::uint32_t(pullAt));
        QCOMPARE(doc.m_aDaily[pullAt].m_cashIn.m_nValue, 0u); // the torn reply was not taken
        QCOMPARE(peer->frames().size(), qsizetype(pullAt + 1));
        peer->stop();
        peer.reset();
        pty.reset();

        // Another device node, as a re-plugged adapter may get.
        PtyPair again;
        PtyPeer answering(again, [](const QByteArray &frame, int) -> QList<PeerChunk> {
            return {{0, PtyPeer::reply(dailyData(static_cast<quint8>(frame[1]) - 1))}};
        });
        doc.SetPort(again.slavePath());
        for (auto &r : doc.m_aDaily)
            r.m_nStatus = 0;
        doc.ReadDataSet();
        QCOMPARE(doc.LastSummary().read, 31);
        QCOMPARE(doc.m_aDaily[30].m_cashIn.m_nValue, 31u);
        answering.stop();
    }
};

QTEST_GUILESS_MAIN(TestUnplug)
#include "tst_unplug.moc"

#include "framelink.h"
#include "ptypeer.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace Quilo;

namespace {

QByteArray hex(const char *h)
{
    return QByteArray::fromHex(h);
}

QByteArray bytesOf(std::span<const std::uint8_t> s)
{
    return QByteArray(reinterpret_cast<const char *>(s.data()), static_cast<qsizetype>(s.size()));
}

const QByteArray kTime = hex("2406151345");  // 2024-06-15 13:45
const QByteArray kTime2 = hex("2406151346");
const std::uint8_t kKey[8] = {1, 2, 3, 4, 5, 6, 7, 8};

// A line opened on a fresh pty with a unit that answers frame i with replies[i].
struct Rig {
    PtyPair pty;
    CComPort port;
    CFrameLink link;
    PtyPeer peer;

    explicit Rig(QList<QList<PeerChunk>> replies)
        : port(pty.slavePath())
        , link(port)
        , peer(pty, [replies](const QByteArray &, int i) { return i < replies.size() ? replies[i] : QList<PeerChunk>(); })
    {
        port.Open();
    }
};

} // namespace

class TestFrameLink : public QObject
{
    Q_OBJECT
private slots:
    void clockFrameOnTheWire()
    {
        Rig rig({{{0, PtyPeer::reply(kTime, 0xD2, 0)}}});
        const auto *data = reinterpret_cast<const std::uint8_t *>(kTime.constData());
        QCOMPARE(rig.link.SendFrame(CmdSetDateTime, 0, data, 5), int(ResultOk));
        QVERIFY(rig.peer.waitForFrames(1, 2000));
        QCOMPARE(rig.peer.frames().first(), hex("D20024061513459" "6FE"));
    }

    // The reply check after a request for the date and time (5 data bytes, 9 on the wire).
    void replyVerdicts_data()
    {
        QTest::addColumn<QList<PeerChunk>>("unit");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("minMs");

        QByteArray off = PtyPeer::reply(kTime, 0xD1, 0);
        off[8] = static_cast<char>(off[8] + 1);

        QTest::newRow("good") << QList<PeerChunk>{{0, PtyPeer::reply(kTime, 0xD1, 0)}} << int(ResultOk) << 0;
        QTest::newRow("checksum off by one") << QList<PeerChunk>{{0, off}} << int(ResultBadChecksum) << 0;
        // A refusal is only recognised after a data frame.
        QTest::newRow("two bytes, even a refusal's") << QList<PeerChunk>{{0, hex("2eff")}} << int(ResultTwoBytes) << 0;
        QTest::newRow("one byte short") << QList<PeerChunk>{{0, PtyPeer::reply(kTime).left(8)}} << int(ResultWrongLength) << 0;
        QTest::newRow("silence after three attempts") << QList<PeerChunk>{} << int(ResultWrongLength) << 3 * 280 - 20;
        // Far below the 100 ms interval: a busy machine can only widen the gap.
        QTest::newRow("reply split by a short gap")
            << QList<PeerChunk>{{0, PtyPeer::reply(kTime).left(4)}, {10, PtyPeer::reply(kTime).mid(4)}} << int(ResultOk) << 0;
    }

    void replyVerdicts()
    {
        QFETCH(QList<PeerChunk>, unit);
        QFETCH(int, result);
        QFETCH(int, minMs);
        Rig rig({unit});
        QElapsedTimer t;
        t.start();
        QCOMPARE(rig.link.SendRequest(CmdDateTime, 0), int(ResultOk));
        QCOMPARE(rig.link.ReceiveReply(5), result);
        QVERIFY(t.elapsed() >= minMs);
        if (result == ResultOk)
            QCOMPARE(bytesOf(rig.link.Reply(5)), kTime);
    }

    void authenticate_data()
    {
        QTest::addColumn<QList<PeerChunk>>("unit");
        QTest::addColumn<int>("frameResult");
        QTest::addColumn<int>("accepted");

        const QByteArray echo(reinterpret_cast<const char *>(kKey), 8);
        QTest::newRow("acknowledged") << QList<PeerChunk>{{0, PtyPeer::reply(echo, 0xCD, 0)}} << int(ResultOk) << 1;
        QTest::newRow("refused 32 FF") << QList<PeerChunk>{{0, hex("32ff")}} << int(ResultRefused) << 0;
        QTest::newRow("other two bytes") << QList<PeerChunk>{{0, hex("32fe")}} << int(ResultTwoBytes) << 0;
        QTest::newRow("bad checksum") << QList<PeerChunk>{{0, PtyPeer::reply(echo).replace(11, 1, "\x01")}}
                                      << int(ResultBadChecksum) << 0;
    }

    void authenticate()
    {
        QFETCH(QList<PeerChunk>, unit);
        QFETCH(int, frameResult);
        QFETCH(int, accepted);
        {
            Rig rig({unit});
            QCOMPARE(rig.link.SendFrame(CmdKeyWrite, 0, kKey, 8), frameResult);
            QCOMPARE(rig.peer.frames().first(), PtyPeer::reply(QByteArray(reinterpret_cast<const char *>(kKey), 8), 0xCD, 0));
        }
        Rig rig({unit});
        QCOMPARE(rig.link.Authenticate(1, kKey), accepted);
    }

    void keyModeOffSendsNothing()
    {
        Rig rig({});
        QCOMPARE(rig.link.Authenticate(0, kKey), 1);
        QCOMPARE(rig.link.Authenticate(1, nullptr), 0);
        QVERIFY(rig.pty.readAvailable(50).isEmpty());
    }

    // Counts the buffers cannot hold: nothing goes to the unit, nothing is read past the end.
    void oversizeCounts()
    {
        Rig rig({});
        std::uint8_t big[200] = {};
        QCOMPARE(rig.link.SendFrame(CmdKeyWrite, 1, big, CFrameLink::kMaxData + 1), int(ResultNotSent));
        QCOMPARE(rig.link.SendFrame(CmdKeyWrite, 1, nullptr, 8), int(ResultNotSent));
        QVERIFY(rig.pty.readAvailable(50).isEmpty());
        QCOMPARE(rig.link.ReceiveReply(150), int(ResultWrongLength));
        QCOMPARE(rig.link.Reply(150).size(), CFrameLink::kMaxData);
    }

    // Bytes beyond a reply are dropped before the next frame goes out.
    void excessBytesDoNotCorruptNextRecord()
    {
        Rig rig({{{0, PtyPeer::reply(kTime) + hex("aabbcc")}}, {{0, PtyPeer::reply(kTime2)}}});
        QCOMPARE(rig.link.SendRequest(CmdDateTime, 0), 0);
        QCOMPARE(rig.link.ReceiveReply(5), int(ResultOk));
        QCOMPARE(bytesOf(rig.link.Reply(5)), kTime);
        QVERIFY(rig.link.Port().InputFollows(1000)); // the excess has arrived
        QCOMPARE(rig.link.SendRequest(CmdDateTime, 0), 0);
        QCOMPARE(rig.link.ReceiveReply(5), int(ResultOk));
        QCOMPARE(bytesOf(rig.link.Reply(5)), kTime2);
    }

    // A reply to an unanswered request turns up right before the next one: the next record
    // takes the second.
    void lateReplyNotTakenForNextRecord()
    {
        Rig rig({{}, {{0, PtyPeer::reply(kTime) + PtyPeer::reply(kTime2)}}, {{0, PtyPeer::reply(kTime) + hex("00")}}});
        QList<TraceDirection> seen;
        rig.link.SetTraceHook([&seen](const TraceEvent &e) { seen << e.direction; });

        QCOMPARE(rig.link.SendRequest(CmdDateTime, 0), 0);
        QCOMPARE(rig.link.ReceiveReply(5), int(ResultWrongLength));
        QVERIFY(rig.link.ReplyOwed());

        QCOMPARE(rig.link.SendRequest(CmdDateTime, 0), 0);
        QCOMPARE(rig.link.ReceiveReply(5), int(ResultOk));
        QCOMPARE(bytesOf(rig.link.Reply(5)), kTime2);
        QVERIFY(!rig.link.ReplyOwed());
        QCOMPARE(seen, (QList<TraceDirection>{TraceDirection::Sent, TraceDirection::Received, TraceDirection::Sent,
                                              TraceDirection::Discarded, TraceDirection::Received}));

        // Expectation over: a reply with trailing bytes is taken as it is.
        QCOMPARE(rig.link.SendRequest(CmdDateTime, 0), 0);
        QCOMPARE(rig.link.ReceiveReply(5), int(ResultOk));
        QCOMPARE(bytesOf(rig.link.Reply(5)), kTime);
    }

    // The owed reply never comes: the next reply is taken after one quiet interval.
    void lateReplyExpectationEnds()
    {
        Rig rig({{}, {{0, PtyPeer::reply(kTime2)}}});
        QCOMPARE(rig.link.SendRequest(CmdDateTime, 0), 0);
        QCOMPARE(rig.link.ReceiveReply(5), int(ResultWrongLength));
        QCOMPARE(rig.link.SendRequest(CmdDateTime, 0), 0);
        QCOMPARE(rig.link.ReceiveReply(5), int(ResultOk));
        QCOMPARE(bytesOf(rig.link.Reply(5)), kTime2);
        QVERIFY(!rig.link.ReplyOwed());
    }

    // Replies that answer another request than the one in hand never pass for its answer: the
    // owed one is known by its header, and once the unit has shown that it echoes, so is any
    // reply that does not echo. A unit that never echoes keeps the plain length rule.
    void staleReplies_data()
    {
        QTest::addColumn<QList<QList<PeerChunk>>>("unit"); // answers to (C9, 1), (C9, 2), ...
        QTest::addColumn<QList<int>>("results");
        QTest::addColumn<QByteArrayList>("data"); // what a good reply must carry
        QTest::addColumn<int>("discarded");

        const QByteArray a(17, 'a'), b(17, 'b'), c(17, 'c'), x(17, 'x');
        QTest::newRow("owed reply alone: nothing taken")
            << QList<QList<PeerChunk>>{{}, {{0, PtyPeer::reply(a, 0xC9, 1)}}, {{0, PtyPeer::reply(c, 0xC9, 3)}}}
            << QList<int>{ResultWrongLength, ResultWrongLength, ResultOk} << QByteArrayList{{}, {}, c} << 1;
        QTest::newRow("owed reply, ours after a pause")
            << QList<QList<PeerChunk>>{{}, {{0, PtyPeer::reply(a, 0xC9, 1)}, {250, PtyPeer::reply(b, 0xC9, 2)}}}
            << QList<int>{ResultWrongLength, ResultOk} << QByteArrayList{{}, b} << 1;
        QTest::newRow("echoing unit: a foreign header is dropped")
            << QList<QList<PeerChunk>>{{{0, PtyPeer::reply(a, 0xC9, 1)}},
                                       {{0, PtyPeer::reply(x, 0xC9, 7)}, {150, PtyPeer::reply(b, 0xC9, 2)}}}
            << QList<int>{ResultOk, ResultOk} << QByteArrayList{a, b} << 1;
        // Every reply two transactions late: before any echo was seen, each turns up while the
        // request after next is in hand, and is known only as one still unanswered.
        QTest::newRow("two late: the reply to 1 while 3 is in hand")
            << QList<QList<PeerChunk>>{{}, {}, {{0, PtyPeer::reply(a, 0xC9, 1)}}, {{0, PtyPeer::reply(b, 0xC9, 2)}}}
            << QList<int>{ResultWrongLength, ResultWrongLength, ResultWrongLength, ResultWrongLength}
            << QByteArrayList{{}, {}, {}, {}} << 2;
        QTest::newRow("two late, then ours behind it")
            << QList<QList<PeerChunk>>{{}, {}, {{0, PtyPeer::reply(a, 0xC9, 1)}, {250, PtyPeer::reply(c, 0xC9, 3)}}}
            << QList<int>{ResultWrongLength, ResultWrongLength, ResultOk} << QByteArrayList{{}, {}, c} << 1;
        QTest::newRow("torn earlier reply: its request still unanswered")
            << QList<QList<PeerChunk>>{{{0, PtyPeer::reply(a, 0xC9, 1).left(5)}}, {}, {{0, PtyPeer::reply(a, 0xC9, 1)}}}
            << QList<int>{ResultWrongLength, ResultWrongLength, ResultWrongLength} << QByteArrayList{{}, {}, {}} << 1;
        QTest::newRow("a refused request is answered, not outstanding")
            << QList<QList<PeerChunk>>{{{0, hex("36ff")}}, {}, {{0, PtyPeer::reply(c, 0xC9, 1)}}}
            << QList<int>{ResultTwoBytes, ResultWrongLength, ResultOk} << QByteArrayList{{}, {}, c} << 0;
        QTest::newRow("unit that does not echo: headers not judged")
            << QList<QList<PeerChunk>>{{{0, PtyPeer::reply(a, 0, 0)}}, {{0, PtyPeer::reply(b, 0x55, 0x55)}}}
            << QList<int>{ResultOk, ResultOk} << QByteArrayList{a, b} << 0;
    }

    void staleReplies()
    {
        QFETCH(QList<QList<PeerChunk>>, unit);
        QFETCH(QList<int>, results);
        QFETCH(QByteArrayList, data);
        QFETCH(int, discarded);
        Rig rig(unit);
        int dropped = 0;
        rig.link.SetTraceHook([&dropped](const TraceEvent &e) { dropped += e.direction == TraceDirection::Discarded; });
        for (qsizetype i = 0; i < results.size(); ++i) {
            QCOMPARE(rig.link.SendRequest(CmdYearly, static_cast<std::uint8_t>(i + 1)), 0);
            QCOMPARE(rig.link.ReceiveReply(17), results[i]);
            if (results[i] == ResultOk)
                QCOMPARE(bytesOf(rig.link.Reply(17)), data[i]);
        }
        QCOMPARE(dropped, discarded);
    }

    // What the line taught about echoes holds until it is closed: another port may follow.
    void echoIsLearntPerOpenLine()
    {
        const QByteArray a(17, 'a');
        Rig rig({{{0, PtyPeer::reply(a, 0xC9, 1)}}, {{0, PtyPeer::reply(a, 0, 0)}}});
        QCOMPARE(rig.link.SendRequest(CmdYearly, 1), 0);
        QCOMPARE(rig.link.ReceiveReply(17), int(ResultOk));
        QVERIFY(rig.link.UnitEchoes());
        rig.port.Close();
        QCOMPARE(rig.port.Open(), 1);
        QVERIFY(!rig.link.UnitEchoes());
        QCOMPARE(rig.link.SendRequest(CmdYearly, 2), 0);
        QCOMPARE(rig.link.ReceiveReply(17), int(ResultOk));
    }

    // Unanswered requests belong to the line they were sent on, and only so many are kept.
    void outstandingRequests()
    {
        const QByteArray a(5, 'a'), b(5, 'b');
        // 1 + kMaxOutstanding torn replies, then two replies whose headers name the first two.
        const int torn = int(CFrameLink::kMaxOutstanding) + 1;
        QList<QList<PeerChunk>> unit;
        for (int i = 0; i < torn; ++i)
            unit.append({{0, hex("00")}});
        unit.append({{0, PtyPeer::reply(b, 0xD1, 2)}});
        unit.append({{0, PtyPeer::reply(a, 0xD1, 1)}});
        unit.append({{0, hex("00")}});
        unit.append({{0, hex("00")}});
        unit.append({{0, PtyPeer::reply(b, 0xD1, 5)}});
        Rig rig(unit);
        for (int i = 0; i < torn; ++i) {
            QCOMPARE(rig.link.SendRequest(CmdDateTime, static_cast<std::uint8_t>(i + 1)), 0);
            QCOMPARE(rig.link.ReceiveReply(5), int(ResultWrongLength));
        }
        QCOMPARE(rig.link.OutstandingCount(), CFrameLink::kMaxOutstanding);
        // The second is still known; the first, the oldest, was let go for the newest.
        QCOMPARE(rig.link.SendRequest(CmdDateTime, 0x80), 0);
        QCOMPARE(rig.link.ReceiveReply(5), int(ResultWrongLength));
        QCOMPARE(rig.link.DiscardedCount(), 1);
        QCOMPARE(rig.link.SendRequest(CmdDateTime, 0x81), 0);
        QCOMPARE(rig.link.ReceiveReply(5), int(ResultOk));
        QCOMPARE(bytesOf(rig.link.Reply(5)), a);

        // A line opened again starts with none (5 is no longer the owed one either).
        for (std::uint8_t p : {5, 7}) {
            QCOMPARE(rig.link.SendRequest(CmdDateTime, p), 0);
            QCOMPARE(rig.link.ReceiveReply(5), int(ResultWrongLength));
        }
        QVERIFY(rig.link.OutstandingCount() > 0);
        rig.port.Close();
        QCOMPARE(rig.port.Open(), 1);
        QCOMPARE(rig.link.OutstandingCount(), std::size_t{0});
        QCOMPARE(rig.link.SendRequest(CmdDateTime, 6), 0);
        QCOMPARE(rig.link.ReceiveReply(5), int(ResultOk));
        QCOMPARE(bytesOf(rig.link.Reply(5)), b);
    }

    void traceCarriesBytesAndVerdicts()
    {
        Rig rig({{{0, hex("32ff")}}});
        struct Seen {
            TraceDirection direction;
            QByteArray bytes;
            int verdict;
        };
        QList<Seen> seen;
        rig.link.SetTraceHook([&seen](const TraceEvent &e) { seen.append({e.direction, bytesOf(e.bytes), e.verdict}); });
        QCOMPARE(rig.link.Authenticate(1, kKey), 0);
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen[0].direction, TraceDirection::Sent);
        QCOMPARE(seen[0].bytes.size(), 12);
        QCOMPARE(seen[0].verdict, 0);
        QCOMPARE(seen[1].direction, TraceDirection::Received);
        QCOMPARE(seen[1].bytes, hex("32ff"));
        QCOMPARE(seen[1].verdict, int(ResultRefused));
    }
};

QTEST_GUILESS_MAIN(TestFrameLink)
#include "tst_framelink.moc"

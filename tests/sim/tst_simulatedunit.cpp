#include "simulatedunit.h"
#include "pacing.h"
#include "statejson.h"

#include "rawport.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <random>

using namespace QuiloSim;
using namespace Qt::StringLiterals;

namespace {

QByteArray goodReply(const CSimulatedUnit &unit, int cmd, int prm)
{
    return withChecksum(bytesOf({cmd, prm}) + unit.replyData(static_cast<std::uint8_t>(cmd), static_cast<std::uint8_t>(prm)));
}

} // namespace

class TestSimulatedUnit : public QObject
{
    Q_OBJECT

    std::unique_ptr<CSimulatedUnit> m_unit;
    RawPort m_port;

private slots:
    void init()
    {
        m_unit = std::make_unique<CSimulatedUnit>(generateState(21));
        QString error;
        QVERIFY2(m_unit->start(&error), qPrintable(error));
        QVERIFY(m_port.open(m_unit->slavePath()));
    }
    void cleanup()
    {
        m_port.close();
        m_unit.reset();
    }

    void answersOverTheLine_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("param");
        QTest::addColumn<int>("length");
        QTest::newRow("daily 1") << 198 << 1 << 29;
        QTest::newRow("monthly 61") << 199 << 61 << 22;
        QTest::newRow("quarterly 21") << 200 << 21 << 22;
        QTest::newRow("yearly 6") << 201 << 6 << 21;
        QTest::newRow("config note") << 202 << 18 << 68;
        QTest::newRow("config step") << 202 << 14 << 6;
        QTest::newRow("current key") << 203 << 0 << 12;
        QTest::newRow("key 192") << 203 << 192 << 12;
        QTest::newRow("counters") << 206 << 0 << 30;
        QTest::newRow("date log 60") << 224 << 60 << 14;
        QTest::newRow("event 19 change time") << 244 << 24 << 9;
        QTest::newRow("SZF log") << 245 << 20 << 22;
        QTest::newRow("OMH log") << 246 << 1 << 22;
    }
    void answersOverTheLine()
    {
        QFETCH(int, command);
        QFETCH(int, param);
        QFETCH(int, length);
        const QByteArray reply = m_port.transact(bytesOf({command, param}), 100);
        QCOMPARE(reply.size(), length);
        QCOMPARE(reply.toHex(' '), goodReply(*m_unit, command, param).toHex(' '));
        QVERIFY(m_unit->waitForReceived(1, 1000));
        QCOMPARE(m_unit->receivedFrames().constFirst().bytes, bytesOf({command, param}));
        QCOMPARE(m_unit->receivedFrames().constFirst().type, FrameType::Request);
    }

    void silentOutsideTheTable_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("record 0") << bytesOf({198, 0});
        QTest::newRow("record 32") << bytesOf({198, 32});
        QTest::newRow("unknown command") << bytesOf({204, 1});
        QTest::newRow("noise") << bytesOf({0x00, 0x41});
    }
    void silentOutsideTheTable()
    {
        QFETCH(QByteArray, frame);
        QVERIFY(m_port.transact(frame, 100, 300).isEmpty());
        // ...and the line still works.
        QCOMPARE(m_port.transact(bytesOf({209, 0}), 9), goodReply(*m_unit, 209, 0));
    }

    void clockAndKeysAreWrittenOverTheLine()
    {
        const QByteArray clock = QByteArray::fromHex("D2 00 24 06 15 13 45 96 FE"); // the known good frame
        QCOMPARE(m_port.transact(clock, 9), clock);
        QCOMPARE(m_port.transact(bytesOf({209, 0}), 9).mid(2, 5), QByteArray::fromHex("2406151345"));
        const QByteArray write = withChecksum(bytesOf({205, 33, 8, 7, 6, 5, 4, 3, 2, 1}));
        QCOMPARE(m_port.transact(write, 12), write);
        QCOMPARE(m_port.transact(bytesOf({203, 33}), 12).mid(2, 8), bytesOf({8, 7, 6, 5, 4, 3, 2, 1}));
        QCOMPARE(m_unit->state().keyTable[32], (Key{8, 7, 6, 5, 4, 3, 2, 1}));
    }

    void keyModeOverTheLine()
    {
        const QByteArray key = QByteArray::fromHex("A1A2A3A4A5A6A7A8");
        m_unit->setUserKey(Key{0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8});
        const QByteArray keyFrame = withChecksum(bytesOf({205, 0}) + key);
        QVERIFY(m_port.transact(bytesOf({206, 0}), 30, 300).isEmpty());
        QCOMPARE(m_port.transact(keyFrame, 12), keyFrame);
        QCOMPARE(m_port.transact(bytesOf({206, 0}), 30), goodReply(*m_unit, 206, 0));
        QCOMPARE(m_port.transact(withChecksum(bytesOf({205, 0, 0, 0, 0, 0, 0, 0, 0, 0})), 12), bytesOf({0x32, 0xFF}));
    }

    void faultsOnTheLine_data()
    {
        QTest::addColumn<QString>("faultText");
        QTest::addColumn<QString>("expect"); // good, none, length N, two, refusal, checksum
        auto row = [](const char *faultText, const char *expect) { QTest::newRow(faultText) << QString::fromLatin1(faultText) << QString::fromLatin1(expect); };
        row("198=silent", "none");
        row("198:1=two", "two");
        row("any=length", "length 28");
        row("198=length:3", "length 32");
        row("198=checksum", "checksum");
        row("198=garbage", "length 29");
        row("198=garbage:5", "length 5");
        row("198=refuse", "refusal");
        row("199=silent", "good");
        row("198:2=silent", "good");
    }
    void faultsOnTheLine()
    {
        QFETCH(QString, faultText);
        QFETCH(QString, expect);
        m_unit->addFault(*parseFault(faultText));
        const QByteArray good = goodReply(*m_unit, 198, 1);
        const QByteArray got = m_port.transact(bytesOf({198, 1}), 40, 400);
        if (expect == u"good"_s)
            QCOMPARE(got, good);
        else if (expect == u"none"_s)
            QVERIFY(got.isEmpty());
        else if (expect == u"two"_s)
            QCOMPARE(got, bytesOf({198, 1}));
        else if (expect == u"refusal"_s)
            QCOMPARE(got, bytesOf({0x39, 0xFE}));
        else if (expect == u"checksum"_s) {
            QCOMPARE(got.size(), 29);
            QCOMPARE(got.left(27), good.left(27));
            QVERIFY(got != good);
        } else {
            QCOMPARE(got.size(), expect.mid(7).toInt());
            QVERIFY(got != good);
        }
    }

    void onceFaultsHappenOnce()
    {
        m_unit->addFault(*parseFault(u"any=silent,once"_s));
        QVERIFY(m_port.transact(bytesOf({206, 0}), 30, 300).isEmpty());
        QCOMPARE(m_port.transact(bytesOf({206, 0}), 30), goodReply(*m_unit, 206, 0));
        QVERIFY(m_unit->faults().isEmpty());
    }

    void lateAndGappedAnswers()
    {
        m_unit->addFault(*parseFault(u"206=late:300"_s));
        m_unit->addFault(*parseFault(u"198=gap:300"_s));
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(m_port.transact(bytesOf({206, 0}), 30, 2000), goodReply(*m_unit, 206, 0));
        QVERIFY2(timer.elapsed() >= 290, qPrintable(QString::number(timer.elapsed())));
        // The receiver gives up after 150 ms between bytes: it sees the first half only.
        const QByteArray first = m_port.transact(bytesOf({198, 1}), 29, 1000);
        QCOMPARE(first, goodReply(*m_unit, 198, 1).left(14));
        QCOMPARE(first + m_port.receive(29, 1000), goodReply(*m_unit, 198, 1));
    }

    void droppedLineVanishes()
    {
        m_unit->addFault(*parseFault(u"any=drop:2"_s));
        const QString path = m_unit->slavePath();
        QCOMPARE(m_port.transact(bytesOf({206, 0}), 30).size(), 30);
        QCOMPARE(m_port.transact(bytesOf({209, 0}), 9).size(), 9);
        QVERIFY(m_port.transact(bytesOf({206, 0}), 30, 300).isEmpty());
        QVERIFY(m_unit->isLineDropped());
        m_port.close();
        RawPort again;
        QVERIFY(!again.open(path));
    }

    void pacingTakesTheWireTime()
    {
        m_unit->setPacing(true);
        QElapsedTimer timer;
        timer.start();
        const QByteArray reply = m_port.transact(bytesOf({198, 1}), 29);
        const qint64 ms = timer.elapsed();
        QCOMPARE(reply, goodReply(*m_unit, 198, 1));
        // 2 + 29 bytes at 1.04 ms each: 32 ms, never less. A busy machine only adds to it, so the
        // upper bound is loose: it catches a reply paced at a far wrong speed, nothing finer.
        QVERIFY2(ms >= 31 && ms < 2000, qPrintable(QString::number(ms)));
    }

    void pacingDoesNotDrift()
    {
        // A whole daily log: 31 x (2 + 29) bytes, every reply whole and in order, no less than
        // the wire allows. The upper bound is loose (a loaded machine stretches every reply): it
        // catches pacing at a fraction of the speed, not a few per cent.
        m_unit->setPacing(true);
        const std::int64_t start = monotonicNs();
        for (int r = 1; r <= 31; ++r)
            QCOMPARE(m_port.transact(bytesOf({198, r}), 29), goodReply(*m_unit, 198, r));
        const double ms = static_cast<double>(monotonicNs() - start) / 1e6;
        const double wire = 31 * 31 * 10 * 1000.0 / 9600; // 1001 ms
        QVERIFY2(ms >= wire && ms < wire * 5, qPrintable(QString::number(ms)));
    }

    // Behind an adapter's 16 ms latency timer the 30 ms of a daily record's reply arrive in two
    // or three bursts, not byte by byte. A late reader only merges bursts, so this cannot flake.
    void adapterLatencyDeliversInBursts()
    {
        m_unit->setPacing(true);
        m_unit->setAdapterLatencyMs(16);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(m_port.send(bytesOf({198, 1})));
        QByteArray reply;
        int bursts = 0;
        while (reply.size() < 29) {
            const QByteArray part = m_port.receive(29 - reply.size(), 1000, 0);
            if (part.isEmpty())
                break;
            reply += part;
            ++bursts;
        }
        const qint64 ms = timer.elapsed();
        QCOMPARE(reply, goodReply(*m_unit, 198, 1));
        QVERIFY2(bursts >= 1 && bursts <= 3, qPrintable(QString::number(bursts)));
        QVERIFY2(ms >= 31 && ms < 2000, qPrintable(QString::number(ms)));
    }

    void turnaroundDelaysTheAnswer()
    {
        m_unit->setTurnaroundMs(120);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(m_port.transact(bytesOf({209, 0}), 9).size(), 9);
        QVERIFY(timer.elapsed() >= 115);
    }

    void randomBytesThenAGoodFrame()
    {
        std::mt19937 random(99);
        for (int burst = 0; burst < 40; ++burst) {
            QByteArray noise(static_cast<qsizetype>(1 + random() % 200), '\0');
            for (char &c : noise)
                c = static_cast<char>(random());
            QVERIFY(m_port.send(noise));
            m_port.receive(4096, 5, 5); // whatever it answered
        }
        QTest::qWait(150); // the unit drops what is left after 100 ms of silence
        m_port.receive(4096, 200, 50);
        QVERIFY(m_unit->isRunning());
        QCOMPARE(m_port.transact(bytesOf({198, 3}), 29), goodReply(*m_unit, 198, 3));
    }

    void unreadAnswerDoesNotGreetTheNextOpener()
    {
        // The program gives up and closes; the late answer must not be read by the next one.
        m_unit->addFault(*parseFault(u"206=late:150,once"_s));
        QVERIFY(m_port.send(bytesOf({206, 0})));
        m_port.close();
        QTest::qWait(400);
        QVERIFY(m_port.open(m_unit->slavePath()));
        QCOMPARE(m_port.transact(bytesOf({209, 0}), 100, 1000), goodReply(*m_unit, 209, 0));
    }

    void linkIsMadeAndRemoved()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(u"ttyQuilo"_s);
        CSimulatedUnit unit(generateState(2));
        unit.setLinkPath(link);
        QVERIFY(unit.start());
        QCOMPARE(QFileInfo(link).symLinkTarget(), unit.slavePath());
        RawPort port(link);
        QCOMPARE(port.transact(bytesOf({206, 0}), 30), goodReply(unit, 206, 0));
        unit.stop();
        QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
    }

    void trafficLogRecordsBothWays()
    {
        QTemporaryDir dir;
        const QString log = dir.filePath(u"traffic.log"_s);
        CSimulatedUnit unit(generateState(2));
        QVERIFY(unit.setLogFile(log));
        QVERIFY(unit.start());
        RawPort port(unit.slavePath());
        QCOMPARE(port.transact(bytesOf({0x11, 0xC6, 0x01}), 29).size(), 29);
        unit.stop();
        QFile f(log);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        QVERIFY2(text.contains(u"<- noise 11"_s), qPrintable(text));
        QVERIFY2(text.contains(u"<- request C6 01"_s), qPrintable(text));
        QVERIFY2(text.contains(u"-> sent C6 01 "_s), qPrintable(text));
    }

    void stateAndFaultsFromAnotherThread()
    {
        // The test thread changes the unit while it answers; replies stay whole and consistent.
        std::atomic<bool> done{false};
        std::thread changer([&] {
            for (int i = 0; !done; ++i) {
                UnitState s = m_unit->state();
                s.counters.games = static_cast<std::uint32_t>(i);
                m_unit->setState(s);
                m_unit->addFault(*parseFault(u"201=silent,once"_s));
                m_unit->clearFaults();
            }
        });
        for (int i = 0; i < 50; ++i) {
            const QByteArray r = m_port.transact(bytesOf({206, 0}), 30);
            QCOMPARE(r.size(), 30);
            QCOMPARE(r, withChecksum(r.left(28)));
        }
        done = true;
        changer.join();
    }
};

QTEST_GUILESS_MAIN(TestSimulatedUnit)
#include "tst_simulatedunit.moc"

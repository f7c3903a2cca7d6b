#include "framereader.h"

#include <QtTest>

#include <random>

using namespace QuiloSim;
using namespace Qt::StringLiterals;

namespace {

constexpr std::int64_t kMs = 1'000'000;

QString describe(const Frame &f)
{
    return QLatin1String(frameTypeName(f.type)) + QLatin1Char(' ') + QString::fromLatin1(f.bytes.toHex(' ').toUpper());
}

} // namespace

class TestSimFrameReader : public QObject
{
    Q_OBJECT
private slots:
    // Input: "ms:hex bytes" per feed; "ms:" alone is a quiet line checked at that time.
    void cutsFrames_data()
    {
        QTest::addColumn<QStringList>("input");
        QTest::addColumn<QStringList>("expected");
        auto row = [](const char *name, QStringList in, QStringList out) { QTest::newRow(name) << in << out; };
        using L = QStringList;
        row("request", L{u"0:C6 01"_s}, L{u"request C6 01"_s});
        row("request split over two reads", L{u"0:C6"_s, u"50:01"_s}, L{u"request C6 01"_s});
        row("two requests in one read", L{u"0:C6 01 D1 00"_s}, L{u"request C6 01"_s, u"request D1 00"_s});
        row("noise before a request", L{u"0:00 11 C6 01"_s}, L{u"noise 00 11"_s, u"request C6 01"_s});
        row("parameter out of range", L{u"0:C6 00 C7 01"_s}, L{u"unknown C6 00"_s, u"request C7 01"_s});
        row("last event, last chunk", L{u"0:F4 18 F4 19"_s}, L{u"request F4 18"_s, u"unknown F4 19"_s});
        row("key frame", L{u"0:CD 00 01 02 03 04 05 06 07 08 AA BB"_s},
            L{u"data CD 00 01 02 03 04 05 06 07 08 AA BB"_s});
        row("clock frame in pieces", L{u"0:D2 00 24"_s, u"20:06 15 13"_s, u"40:45 96 FE"_s},
            L{u"data D2 00 24 06 15 13 45 96 FE"_s});
        row("pause below the time-out keeps the frame", L{u"0:CD 01 01 02 03"_s, u"90:04 05 06 07 08 AA BB"_s},
            L{u"data CD 01 01 02 03 04 05 06 07 08 AA BB"_s});
        row("pause above the time-out drops it", L{u"0:CD 00 01 02"_s, u"200:C6 01"_s},
            L{u"partial CD 00 01 02"_s, u"request C6 01"_s});
        row("silence drops a partial frame", L{u"0:D2 00 24"_s, u"50:"_s, u"150:"_s}, L{u"partial D2 00 24"_s});
        row("unknown data frame discarded until silence",
            L{u"0:CD C1 C6 01"_s, u"50:C6 01"_s, u"300:"_s, u"400:C6 02"_s},
            L{u"unknown CD C1"_s, u"noise C6 01 C6 01"_s, u"request C6 02"_s});
        row("noise run after a frame", L{u"0:C6 01 FF FF"_s, u"10:00"_s}, L{u"request C6 01"_s, u"noise FF FF"_s, u"noise 00"_s});
    }
    void cutsFrames()
    {
        QFETCH(QStringList, input);
        QFETCH(QStringList, expected);
        CFrameReader reader;
        QStringList got;
        for (const QString &step : input) {
            const qsizetype colon = step.indexOf(QLatin1Char(':'));
            const std::int64_t t = step.left(colon).toLongLong() * kMs;
            const QByteArray bytes = QByteArray::fromHex(step.mid(colon + 1).toLatin1());
            const QList<Frame> frames = bytes.isEmpty() ? reader.expire(t) : reader.feed(bytes, t);
            for (const Frame &f : frames)
                got << describe(f);
        }
        QCOMPARE(got, expected);
    }

    void deadlineOnlyWhilePending()
    {
        CFrameReader reader;
        QVERIFY(!reader.deadline());
        reader.feed(QByteArray::fromHex("C601"), 5 * kMs);
        QVERIFY(!reader.deadline());
        reader.feed(QByteArray::fromHex("CD00"), 7 * kMs);
        QCOMPARE(reader.deadline().value_or(0), 107 * kMs);
        QVERIFY(reader.expire(106 * kMs).isEmpty());
        QCOMPARE(reader.expire(107 * kMs).size(), 1);
        QVERIFY(!reader.deadline());
    }

    // Random input: nothing is lost, nothing invented, no frame longer than the largest.
    void randomBytesAreAccountedFor()
    {
        std::mt19937 random(20240615);
        CFrameReader reader;
        QByteArray in;
        QByteArray out;
        std::int64_t t = 0;
        for (int round = 0; round < 20000; ++round) {
            QByteArray chunk(static_cast<qsizetype>(random() % 16), '\0');
            for (char &c : chunk)
                c = static_cast<char>(random() % 3 == 0 ? 0xC6 + random() % 0x30 : random());
            t += static_cast<std::int64_t>(random() % 130) * kMs;
            in += chunk;
            for (const Frame &f : reader.feed(chunk, t)) {
                QVERIFY(f.bytes.size() <= 68 || f.type == FrameType::Noise);
                out += f.bytes;
            }
        }
        for (const Frame &f : reader.expire(t + 1000 * kMs))
            out += f.bytes;
        QCOMPARE(out.size(), in.size());
        QVERIFY(out == in);
    }
};

QTEST_APPLESS_MAIN(TestSimFrameReader)
#include "tst_simframereader.moc"

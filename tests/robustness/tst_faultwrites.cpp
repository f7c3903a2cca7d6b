// Faults on the two writes: the key table entry and the unit's clock. The result and status
// must say what happened, the document must not take a key the unit may not hold, exactly
// the one frame goes out, and the next write on a healthy line works.
#include "faultrows.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace QuiloSim;

namespace {

const Key kUserKey{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
const QString kUserKeyText = QStringLiteral("01 - 23 45 67 89 AB CD - EF");
const Key kNewKey{0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x11, 0x22, 0x33};
const QString kNewKeyText = QStringLiteral("DE - AD BE EF 00 11 22 - 33");
const Key kOtherKey{0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80};
const QString kOtherKeyText = QStringLiteral("10 - 20 30 40 50 60 70 - 80");

constexpr unsigned kGroupFirst = 64;
constexpr int kRow = 3;
constexpr std::size_t kEntry = kGroupFirst + kRow; // index 67, parameter 68

const std::uint8_t kWhen[5] = {0x24, 0x06, 0x15, 0x13, 0x45};
const QDateTime kClockBefore(QDate(2030, 1, 2), QTime(3, 4), Qt::UTC);

QByteArray keyBytes(const Key &k)
{
    return QByteArray(reinterpret_cast<const char *>(k.data()), static_cast<qsizetype>(k.size()));
}

QByteArray dataFrame(int command, int param, const QByteArray &data)
{
    QByteArray f;
    f.append(static_cast<char>(command)).append(static_cast<char>(param)).append(data);
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(f.constData());
    const std::uint16_t sum = Quilo::checksum(std::span<const std::uint8_t>(bytes, static_cast<std::size_t>(f.size())));
    f.append(static_cast<char>(sum & 0xFF)).append(static_cast<char>(sum >> 8));
    return f;
}

QList<QByteArray> bytesOf(const QList<Frame> &frames)
{
    QList<QByteArray> out;
    for (const Frame &f : frames)
        out << f.bytes;
    return out;
}

void addRows(bool keyFrameOnly)
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("drops");
    QTest::addColumn<int>("extraMs");
    for (const FaultRow &f : FaultRows(8)) {
        if (keyFrameOnly && f.frameResult == Quilo::ResultOk)
            continue;
        QTest::newRow(qPrintable(f.name)) << f.kind << f.frameResult << f.dropsLine << f.extraMs;
    }
}

} // namespace

class TestFaultWrites : public QObject
{
    Q_OBJECT

    // Reads the group once so the entry holds the unit's key, as the key table view does.
    static bool prepareKeyTable(CUnitBench &bench)
    {
        CTarvelDoc &doc = bench.doc();
        doc.m_nDataSet = CTarvelDoc::dsKeyTable;
        doc.m_nFirstKey = kGroupFirst;
        doc.m_nLastKey = 127;
        doc.ReadDataSet();
        bench.takeReceived();
        return doc.LastSummary().read == 64;
    }

    // The entry on a healthy line: written, then read back to the same key.
    static void healthyKeyWrite(CUnitBench &bench, bool drops)
    {
        if (drops)
            QVERIFY2(bench.replug(), qPrintable(bench.error()));
        bench.unit().clearFaults();
        CTarvelDoc &doc = bench.doc();
        QCOMPARE(doc.WriteKey(kOtherKeyText, kRow), 1);
        QCOMPARE(bench.unit().state().keyTable[kEntry], kOtherKey);
        QCOMPARE(doc.m_aKeyTable[kEntry].State(), RecordStatus::State::Written);
        doc.ReadDataSet(); // the entry is read back: a written status has no bit 15
        QCOMPARE(doc.m_aKeyTable[kEntry].m_nStatus, 0x8000);
        QCOMPARE(doc.m_aKeyTable[kEntry].GetText(), kOtherKeyText);
    }

private slots:
    void writeKey_data() { addRows(false); }

    void writeKey()
    {
        QFETCH(QString, kind);
        QFETCH(int, result);
        QFETCH(bool, drops);
        QFETCH(int, extraMs);

        CUnitBench bench;
        QVERIFY2(bench.isReady(), qPrintable(bench.error()));
        QVERIFY(prepareKeyTable(bench));
        CTarvelDoc &doc = bench.doc();
        const QString docBefore = doc.m_aKeyTable[kEntry].GetText();
        const Key unitBefore = bench.unit().state().keyTable[kEntry];
        QVERIFY(unitBefore != kNewKey);

        const Fault fault = *parseFault(QStringLiteral("205:%1=%2").arg(kEntry + 1).arg(kind));
        bench.unit().addFault(fault);
        QElapsedTimer timer;
        timer.start();
        const int written = doc.WriteKey(kNewKeyText, kRow);
        const qint64 elapsed = timer.elapsed();

        // The document and the result say what the unit holds: an answer spoiled after the unit
        // took the key is followed by one read of the entry, and never reported as a failure.
        const Key unitAfter = bench.unit().state().keyTable[kEntry];
        QCOMPARE(unitAfter, fault.changesNothing() ? unitBefore : kNewKey);
        const bool clear = result == Quilo::ResultOk || result == Quilo::ResultRefused;
        const COperationSummary &summary = doc.LastSummary();
        QCOMPARE(summary.writeResult, result);
        QCOMPARE(written, unitAfter == kNewKey ? 1 : 0);
        if (clear) {
            QCOMPARE(doc.m_aKeyTable[kEntry].m_nStatus, 0x4000 | result);
            QCOMPARE(summary.readBack, COperationSummary::ReadBack::None);
        } else if (drops) {
            QCOMPARE(summary.readBack, COperationSummary::ReadBack::Failed);
            QCOMPARE(doc.m_aKeyTable[kEntry].m_nStatus, 0x4000 | result);
        } else {
            QCOMPARE(doc.m_aKeyTable[kEntry].State(), RecordStatus::State::Read);
            QCOMPARE(summary.readBack, unitAfter == kNewKey ? COperationSummary::ReadBack::HoldsNew
                                                            : COperationSummary::ReadBack::HoldsOther);
        }
        if (doc.m_aKeyTable[kEntry].HoldsUnitValue())
            QCOMPARE(doc.m_aKeyTable[kEntry].GetText(), unitAfter == kNewKey ? kNewKeyText : docBefore);
        else
            QCOMPARE(doc.m_aKeyTable[kEntry].GetText(), docBefore);
        const QList<Frame> frames = bench.takeReceived();
        QCOMPARE(MalformedFrames(frames), QStringList());
        QList<QByteArray> sent{dataFrame(205, kEntry + 1, keyBytes(kNewKey))};
        if (!clear && !drops)
            sent << QByteArray::fromHex("cb") + QByteArray(1, static_cast<char>(kEntry + 1));
        QCOMPARE(bytesOf(frames), sent);
        QCOMPARE(doc.ComPort().IsOpen(), 0);
        QVERIFY2(elapsed < 2 * SilentReplyMs(8) + extraMs + kSlackMs, qPrintable(QString::number(elapsed)));

        healthyKeyWrite(bench, drops);
    }

    void writeKeyKeyFrame_data() { addRows(true); }

    // Key mode: a key presentation that fails sends no write; the status is 256.
    void writeKeyKeyFrame()
    {
        QFETCH(QString, kind);
        QFETCH(bool, drops);
        QFETCH(int, extraMs);

        CUnitBench bench;
        QVERIFY2(bench.isReady(), qPrintable(bench.error()));
        QVERIFY(prepareKeyTable(bench));
        bench.unit().setUserKey(kUserKey);
        CTarvelDoc &doc = bench.doc();
        QVERIFY(doc.SetKeyMode(1, kUserKeyText));
        const QString docBefore = doc.m_aKeyTable[kEntry].GetText();
        const Key unitBefore = bench.unit().state().keyTable[kEntry];

        bench.unit().addFault(*parseFault(QStringLiteral("205:0=%1").arg(kind)));
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(doc.WriteKey(kNewKeyText, kRow), 0);
        const qint64 elapsed = timer.elapsed();
        QCOMPARE(doc.m_aKeyTable[kEntry].m_nStatus, 0x4000 | int(Quilo::ResultKeyFailed));
        QCOMPARE(doc.m_aKeyTable[kEntry].GetText(), docBefore);
        QCOMPARE(bench.unit().state().keyTable[kEntry], unitBefore);
        const QList<Frame> frames = bench.takeReceived();
        QCOMPARE(bytesOf(frames), QList<QByteArray>{dataFrame(205, 0, keyBytes(kUserKey))});
        QVERIFY2(elapsed < SilentReplyMs(8) + extraMs + kSlackMs, qPrintable(QString::number(elapsed)));

        if (drops)
            bench.unit().setUserKey(kUserKey); // the unit comes back in key mode
        healthyKeyWrite(bench, drops);
    }

    void writeDateTime_data() { addRows(false); }

    void writeDateTime()
    {
        QFETCH(QString, kind);
        QFETCH(int, result);
        QFETCH(bool, drops);
        QFETCH(int, extraMs);

        CUnitBench bench;
        QVERIFY2(bench.isReady(), qPrintable(bench.error()));
        UnitState state = bench.unit().state();
        state.clock.set(kClockBefore);
        bench.unit().setState(state);
        CTarvelDoc &doc = bench.doc();

        const Fault fault = *parseFault(QStringLiteral("210:0=%1").arg(kind));
        bench.unit().addFault(fault);
        QElapsedTimer timer;
        timer.start();
        const int written = doc.WriteDateTime(kWhen);
        const qint64 elapsed = timer.elapsed();

        const bool taken = !fault.changesNothing();
        QCOMPARE(bench.unit().state().clock.now().date(), taken ? QDate(2024, 6, 15) : kClockBefore.date());
        const bool clear = result == Quilo::ResultOk || result == Quilo::ResultRefused;
        // Success is reported exactly when the unit holds the new time, even if its answer was
        // spoiled; then the clock was read once instead of written a second time.
        QCOMPARE(written, taken && (clear || !drops) ? 1 : 0);
        const QList<Frame> frames = bench.takeReceived();
        QCOMPARE(MalformedFrames(frames), QStringList());
        QList<QByteArray> sent{QByteArray::fromHex("d200240615134596fe")};
        if (!clear && !drops)
            sent << QByteArray::fromHex("d100");
        QCOMPARE(bytesOf(frames), sent);
        QCOMPARE(CountFrames(frames, 210), 1);
        QCOMPARE(doc.ComPort().IsOpen(), 0);
        QVERIFY2(elapsed < 2 * SilentReplyMs(5) + extraMs + kSlackMs, qPrintable(QString::number(elapsed)));

        if (drops)
            QVERIFY2(bench.replug(), qPrintable(bench.error()));
        bench.unit().clearFaults();
        const std::uint8_t later[5] = {0x25, 0x12, 0x31, 0x23, 0x59};
        QCOMPARE(doc.WriteDateTime(later), 1);
        QCOMPARE(bench.unit().state().clock.now().date(), QDate(2025, 12, 31));
    }
};

QTEST_GUILESS_MAIN(TestFaultWrites)
#include "tst_faultwrites.moc"

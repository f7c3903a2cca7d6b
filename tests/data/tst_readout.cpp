#include "readout.h"
#include "result.h"
#include "tarveldoc.h"
#include "unitclock.h"

#include <QtTest>

using namespace Quilo;

namespace {

RecordOutcome outcome(DataSetId set, unsigned index, std::int32_t status, const QByteArray &bytes = {})
{
    RecordOutcome o;
    o.dataSet = set;
    o.index = index;
    o.status = status;
    o.bytes = bytes;
    o.readAt = QDateTime(QDate(2026, 12, 7), QTime(10, 0), Qt::UTC);
    return o;
}

// A daily record of 25 bytes whose fields all differ from zero.
const QByteArray kDay = QByteArray::fromHex("261207" "01000000" "02000000" "03000000" "04000000" "05000000" "0930");

QString texts(const CDataField &record)
{
    QStringList cells;
    for (int c = 0; c < CDailyRecord::kColumns; ++c)
        cells << record.GetColumnText(c);
    return cells.join(u'|');
}

} // namespace

class TestReadOut : public QObject
{
    Q_OBJECT
private slots:
    // Every status word answers exactly one of the questions a view or an export asks.
    void states_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("failedWith"); // -1: none
        QTest::addColumn<bool>("holds");
        using S = RecordStatus::State;
        const int kNone = -1;
        QTest::newRow("not read") << 0 << int(S::NotRead) << kNone << false;
        QTest::newRow("read") << int(RecordStatus::kDone) << int(S::Read) << kNone << true;
        QTest::newRow("bad checksum") << RecordStatus::AfterRead(ResultBadChecksum) << int(S::Failed)
                                      << int(ResultBadChecksum) << false;
        QTest::newRow("key refused") << RecordStatus::kKeyRefused << int(S::KeyRefused) << int(ResultKeyFailed)
                                     << false;
        QTest::newRow("written") << RecordStatus::AfterWrite(ResultOk) << int(S::Written) << kNone << true;
        QTest::newRow("write refused") << RecordStatus::AfterWrite(ResultRefused) << int(S::WriteFailed)
                                       << int(ResultRefused) << false;
    }
    void states()
    {
        QFETCH(int, status);
        QFETCH(int, state);
        QFETCH(int, failedWith);
        QFETCH(bool, holds);
        ReadOut r;
        QVERIFY(r.Apply(outcome(dsKeyTable, 70, status)));
        using S = RecordStatus::State;
        QCOMPARE(int(r.State(dsKeyTable, 70)), state);
        QCOMPARE(r.IsRead(dsKeyTable, 70), state == int(S::Read));
        QCOMPARE(r.IsNotRead(dsKeyTable, 70), state == int(S::NotRead));
        QCOMPARE(r.KeyRefused(dsKeyTable, 70), state == int(S::KeyRefused));
        QCOMPARE(r.IsWritten(dsKeyTable, 70), state == int(S::Written));
        QCOMPARE(r.FailedWith(dsKeyTable, 70).value_or(-1), failedWith);
        QCOMPARE(r.HoldsUnitValue(dsKeyTable, 70), holds);
        QCOMPARE(r.HoldsAnything(), status != 0);
        // the neighbours are untouched
        QVERIFY(r.IsNotRead(dsKeyTable, 69) && r.IsNotRead(dsKeyTable, 71));
    }

    // What a record decodes to after a sequence of replies: only a whole reply replaces the
    // bytes; a failure keeps them and changes the status alone.
    void decoding_data()
    {
        QTest::addColumn<QList<RecordOutcome>>("replies");
        QTest::addColumn<QByteArray>("held");
        QTest::addColumn<int>("status");
        const int bad = RecordStatus::AfterRead(ResultBadChecksum);
        QTest::newRow("whole") << QList{outcome(dsDaily, 3, RecordStatus::kDone, kDay)} << kDay
                               << int(RecordStatus::kDone);
        QTest::newRow("short reply not decoded")
            << QList{outcome(dsDaily, 3, RecordStatus::AfterRead(ResultWrongLength), kDay.left(24))} << QByteArray()
            << RecordStatus::AfterRead(ResultWrongLength);
        QTest::newRow("failure keeps the bytes")
            << QList{outcome(dsDaily, 3, RecordStatus::kDone, kDay), outcome(dsDaily, 3, bad)} << kDay << bad;
        QTest::newRow("newer reply replaces")
            << QList{outcome(dsDaily, 3, RecordStatus::kDone, QByteArray(25, '\x11')),
                     outcome(dsDaily, 3, RecordStatus::kDone, kDay)}
            << kDay << int(RecordStatus::kDone);
        QTest::newRow("outside the set ignored")
            << QList{outcome(dsDaily, 31, RecordStatus::kDone, kDay)} << QByteArray() << 0;
    }
    void decoding()
    {
        QFETCH(QList<RecordOutcome>, replies);
        QFETCH(QByteArray, held);
        QFETCH(int, status);
        const ReadOut r = ReadOut::FromRecords(replies);
        CDailyRecord expected;
        if (!held.isEmpty())
            expected.Parse(reinterpret_cast<const std::uint8_t *>(held.constData()));
        const CDailyRecord day = r.Decoded<dsDaily>(3);
        QCOMPARE(day.m_nStatus, status);
        QCOMPARE(texts(day), texts(expected));
        QCOMPARE(texts(*r.Record(dsDaily, 3)), texts(expected));
        QCOMPARE(r.Meta(dsDaily, 3)->raw, held);
        QCOMPARE(r.Records().size(), status != 0 ? 1 : 0);
    }

    // Every set holds as many records as the data-set table says, and none beyond.
    void sizes()
    {
        const ReadOut r;
        for (const DataSetInfo &set : DataSets()) {
            QVERIFY2(r.Record(set.id, set.records - 1) != nullptr, set.name);
            QVERIFY2(r.Record(set.id, set.records) == nullptr, set.name);
            QVERIFY2(r.Meta(set.id, set.records) == nullptr, set.name);
        }
        QVERIFY(r.Record(11, 0) == nullptr && r.Record(-1, 0) == nullptr);
    }

    // A copy is a snapshot: changing either side never shows in the other.
    void copyOnWrite_data()
    {
        QTest::addColumn<int>("change");
        QTest::newRow("apply") << 0;
        QTest::newRow("status") << 1;
        QTest::newRow("bytes") << 2;
        QTest::newRow("clear") << 3;
    }
    void copyOnWrite()
    {
        QFETCH(int, change);
        ReadOut original;
        original.Apply(outcome(dsDaily, 0, RecordStatus::kDone, kDay));
        ReadOut copy = original;
        QVERIFY(copy.SharesWith(original));
        switch (change) {
        case 0: copy.Apply(outcome(dsDaily, 0, RecordStatus::AfterRead(ResultBadChecksum))); break;
        case 1: copy.SetStatus(dsDaily, 0, RecordStatus::AfterRead(ResultNotSent)); break;
        case 2: copy.SetHeld(dsDaily, 0, QByteArray(25, '\x22')); break;
        default: copy.Clear(); break;
        }
        QVERIFY(!copy.SharesWith(original));
        QCOMPARE(original.Records().size(), 1);
        QCOMPARE(original.Status(dsDaily, 0), int(RecordStatus::kDone));
        QCOMPARE(original.Meta(dsDaily, 0)->raw, kDay);
        QCOMPARE(copy.Records().isEmpty(), change == 3);
    }

    // The unit's identity comes from the configuration, its clock from the clock record.
    void identityAndClock_data()
    {
        QTest::addColumn<int>("configStatus");
        QTest::addColumn<QByteArray>("clock");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QDateTime>("clockValue");
        const QDateTime at = PlainDateTime(QDate(2026, 12, 7), QTime(22, 40));
        QTest::newRow("both read") << int(RecordStatus::kDone) << QByteArray::fromHex("2612072240")
                                   << QStringLiteral("QX-100") << at;
        QTest::newRow("config failed") << RecordStatus::AfterRead(ResultNotSent) << QByteArray::fromHex("2612072240")
                                       << QString() << at;
        QTest::newRow("no real date") << int(RecordStatus::kDone) << QByteArray::fromHex("2613072240")
                                      << QStringLiteral("QX-100") << QDateTime();
        QTest::newRow("clock not read") << int(RecordStatus::kDone) << QByteArray() << QStringLiteral("QX-100")
                                        << QDateTime();
    }
    void identityAndClock()
    {
        QFETCH(int, configStatus);
        QFETCH(QByteArray, clock);
        QFETCH(QString, type);
        QFETCH(QDateTime, clockValue);
        QByteArray config(static_cast<qsizetype>(CConfigRecord::kWireLength), '\0');
        config.replace(0, 6, "QX-100");
        config.replace(16, 5, "12345");
        ReadOut r;
        r.Apply(outcome(dsConfig, 0, configStatus, config));
        if (!clock.isEmpty())
            r.Apply(outcome(dsDateTime, 0, RecordStatus::kDone, clock));
        QCOMPARE(r.UnitType(), type);
        QCOMPARE(r.UnitNumber(), type.isEmpty() ? QString() : QStringLiteral("12345"));
        QCOMPARE(r.ClockRead(), !clock.isEmpty());
        QCOMPARE(r.ClockValue(), clockValue);
        QCOMPARE(r.ClockReadAt().isValid(), !clock.isEmpty());
    }

    // The document keeps its read-out current; one taken earlier stays as it was.
    void documentKeepsItCurrent()
    {
        CTarvelDoc doc;
        const ReadOut empty = doc.ReadOut();
        const QList<RecordOutcome> records{outcome(dsDaily, 2, RecordStatus::kDone, kDay),
                                           outcome(dsKeyTable, 5, RecordStatus::kKeyRefused)};
        doc.ApplyRecords(records);
        QCOMPARE(doc.ReadOut().Records().size(), 2);
        QCOMPARE(texts(doc.ReadOut().Decoded<dsDaily>(2)), texts(doc.m_aDaily[2]));
        QVERIFY(doc.ReadOut().KeyRefused(dsKeyTable, 5));
        QVERIFY(!empty.HoldsAnything());
        doc.Clear();
        QVERIFY(!doc.ReadOut().HoldsAnything());
    }

    // A failure passes on unchanged through a function of another result type, and a value
    // moves out without a copy of its shared data.
    void results()
    {
        const auto parse = [](const QString &text) -> Result<int> {
            bool ok = false;
            const int n = text.toInt(&ok);
            if (!ok)
                return Failed{QStringLiteral("not a number: ") + text};
            return n;
        };
        const auto twice = [&](const QString &text) -> Result<QString> {
            const Result<int> n = parse(text);
            if (!n)
                return n.failure();
            return QString::number(*n * 2);
        };
        QCOMPARE(twice(QStringLiteral("21")).valueOr({}), QStringLiteral("42"));
        const Result<QString> bad = twice(QStringLiteral("x"));
        QVERIFY(!bad);
        QCOMPARE(bad.error(), QStringLiteral("not a number: x"));
        QCOMPARE(bad.valueOr(QStringLiteral("none")), QStringLiteral("none"));
        const Done done;
        QVERIFY(done && done.error().isEmpty());
        QVERIFY(!Done(bad.failure()));

        QByteArray bytes(1000, 'x');
        Result<QByteArray> held(bytes);
        bytes = QByteArray();
        const char *data = held->constData();
        const QByteArray taken = std::move(held).value();
        QCOMPARE(taken.constData(), data);
    }
};

QTEST_GUILESS_MAIN(TestReadOut)
#include "tst_readout.moc"

#include "records.h"

#include <QtTest>

#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <cstring>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text));
}

const std::uint8_t *bytesOf(const QByteArray &b)
{
    return reinterpret_cast<const std::uint8_t *>(b.constData());
}

// `length` readable bytes that end exactly where an inaccessible page begins: reading one byte
// too many faults, with or without a sanitizer.
class GuardedBuffer
{
public:
    explicit GuardedBuffer(std::size_t length) : m_length(length)
    {
        m_page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        m_base = mmap(nullptr, 2 * m_page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m_base != MAP_FAILED)
            mprotect(static_cast<char *>(m_base) + m_page, m_page, PROT_NONE);
    }
    ~GuardedBuffer()
    {
        if (m_base != MAP_FAILED)
            munmap(m_base, 2 * m_page);
    }
    GuardedBuffer(const GuardedBuffer &) = delete;
    GuardedBuffer &operator=(const GuardedBuffer &) = delete;

    bool isValid() const { return m_base != MAP_FAILED && m_length <= m_page; }
    std::uint8_t *data() { return static_cast<std::uint8_t *>(m_base) + m_page - m_length; }

private:
    void *m_base = MAP_FAILED;
    std::size_t m_page = 0;
    std::size_t m_length;
};

// Bytes consumed by a fresh R parsing kWireLength bytes of `fill` placed before a guard page.
template <typename R>
std::ptrdiff_t consumedAtPageEnd(std::uint8_t fill)
{
    GuardedBuffer buffer(R::kWireLength);
    if (!buffer.isValid())
        return -1;
    std::memset(buffer.data(), fill, R::kWireLength);
    R record;
    return record.Parse(buffer.data()) - buffer.data();
}

template <typename R>
QStringList columnTexts(const R &record)
{
    QStringList texts;
    for (int c = 0; c < R::kColumns; ++c)
        texts << record.GetColumnText(c);
    return texts;
}

template <typename R>
bool outOfRangeColumnsAreEmpty()
{
    R record;
    for (int c : {INT_MIN, -100, -1, R::kColumns, R::kColumns + 1, INT_MAX})
        if (!record.GetColumnText(c).isEmpty())
            return false;
    for (int c = 0; c < R::kColumns; ++c) // a fresh record shows zeros or "invalid date"
        if (record.GetColumnText(c).isEmpty())
            return false;
    for (unsigned id : R::kColumnTitles)
        if (LoadString(id).isEmpty())
            return false;
    return record.GetText().isEmpty() && record.m_nFormatID == 0 && record.m_nStatus == 0;
}

using Check = std::ptrdiff_t (*)(std::uint8_t);
using ColumnsCheck = bool (*)();

} // namespace

class TestRecords : public QObject
{
    Q_OBJECT
private slots:
    void parseConsumesExactlyTheWireLength_data()
    {
        QTest::addColumn<quintptr>("check");
        QTest::addColumn<int>("length");
        const struct { const char *name; Check check; int length; } rows[] = {
            {"key log", consumedAtPageEnd<CKeyLogRecord>, 18},
            {"date log", consumedAtPageEnd<CDateLogRecord>, 10},
            {"daily", consumedAtPageEnd<CDailyRecord>, 25},
            {"period", consumedAtPageEnd<CPeriodRecord>, 18},
            {"yearly", consumedAtPageEnd<CYearlyRecord>, 17},
            {"counters", consumedAtPageEnd<CCountersRecord>, 26},
            {"config", consumedAtPageEnd<CConfigRecord>, 346},
            {"config event", consumedAtPageEnd<CConfEventRecord>, 371},
        };
        for (const auto &r : rows)
            QTest::newRow(r.name) << reinterpret_cast<quintptr>(r.check) << r.length;
    }
    void parseConsumesExactlyTheWireLength()
    {
        QFETCH(quintptr, check);
        QFETCH(int, length);
        const auto consumed = reinterpret_cast<Check>(check);
        for (std::uint8_t fill : {0x00, 0x5A, 0xFF})
            QCOMPARE(consumed(fill), std::ptrdiff_t(length));
    }

    void columnsOutOfRangeAreEmpty_data()
    {
        QTest::addColumn<quintptr>("check");
        const struct { const char *name; ColumnsCheck check; } rows[] = {
            {"key log", outOfRangeColumnsAreEmpty<CKeyLogRecord>},
            {"date log", outOfRangeColumnsAreEmpty<CDateLogRecord>},
            {"daily", outOfRangeColumnsAreEmpty<CDailyRecord>},
            {"period", outOfRangeColumnsAreEmpty<CPeriodRecord>},
            {"yearly", outOfRangeColumnsAreEmpty<CYearlyRecord>},
            {"counters", outOfRangeColumnsAreEmpty<CCountersRecord>},
        };
        for (const auto &r : rows)
            QTest::newRow(r.name) << reinterpret_cast<quintptr>(r.check);
    }
    void columnsOutOfRangeAreEmpty()
    {
        QFETCH(quintptr, check);
        QVERIFY(reinterpret_cast<ColumnsCheck>(check)());
    }

    void chunkedRecordsHaveNoColumns()
    {
        CConfigRecord config;
        CConfEventRecord event;
        for (int c : {-1, 0, 1, 17, 23})
            QVERIFY(config.GetColumnText(c).isEmpty() && event.GetColumnText(c).isEmpty());
    }

    // The list records, column by column, from a reply's data bytes.
    void listColumns_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("columns");
        const auto l = [](std::initializer_list<const char *> texts) {
            QStringList out;
            for (const char *t : texts)
                out << QString::fromLatin1(t);
            return out;
        };
        QTest::newRow("daily") << QStringLiteral("daily")
            << hex("010517" "01000000" "02000000" "e8030000" "ffffffff" "40420f00" "1234")
            << l({"2001:05:17", "1 Ft.", "2 Ft.", "1000 Ft.", "-1 Ft.", "1000000 Ft.", "12:34"});
        QTest::newRow("daily no date") << QStringLiteral("daily")
            << hex("010017" "01000000" "02000000" "03000000" "04000000" "05000000" "0000")
            << l({"invalid date", "1 Ft.", "2 Ft.", "3 Ft.", "4 Ft.", "5 Ft.", "00:00"});
        QTest::newRow("period") << QStringLiteral("period") << hex("2306" "0a000000" "14000000" "1e000000" "28000000")
            << l({"2023:06", "10 Ft.", "20 Ft.", "30 Ft.", "40 Ft."});
        QTest::newRow("period byte 0") << QStringLiteral("period") << hex("2300" "0a000000" "14000000" "1e000000" "28000000")
            << l({"invalid date", "10 Ft.", "20 Ft.", "30 Ft.", "40 Ft."});
        QTest::newRow("yearly") << QStringLiteral("yearly") << hex("23" "0a000000" "14000000" "1e000000" "28000000")
            << l({"2023", "10 Ft.", "20 Ft.", "30 Ft.", "40 Ft."});
        QTest::newRow("counters: time before games") << QStringLiteral("counters")
            << hex("01000000" "02000000" "03000000" "04000000" "05000000" "2359" "07000000")
            << l({"1 Ft.", "2 Ft.", "3 Ft.", "4 Ft.", "5 Ft.", "23:59", "7"});
        QTest::newRow("key log") << QStringLiteral("keylog") << hex("0123456789abcdef" "2312310815" "2401010930")
            << l({"01 - 23 45 67 89 AB CD - EF", "2023:12:31  /  08:15", "2024:01:01  /  09:30"});
        QTest::newRow("key log start undated") << QStringLiteral("keylog")
            << hex("0000000000000001" "2300310815" "2401010930")
            << l({"00 - 00 00 00 00 00 00 - 01", "invalid date", "2024:01:01  /  09:30"});
        QTest::newRow("date log") << QStringLiteral("datelog") << hex("2312310815" "0000000000")
            << l({"2023:12:31  /  08:15", "invalid date"});
    }
    void listColumns()
    {
        QFETCH(QString, type);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, columns);
        const std::uint8_t *p = bytesOf(bytes);
        const std::uint8_t *end = p + bytes.size();
        QStringList texts;
        if (type == QLatin1String("daily")) {
            CDailyRecord r;
            QCOMPARE(r.Parse(p), end);
            texts = columnTexts(r);
        } else if (type == QLatin1String("period")) {
            CPeriodRecord r;
            QCOMPARE(r.Parse(p), end);
            texts = columnTexts(r);
        } else if (type == QLatin1String("yearly")) {
            CYearlyRecord r;
            QCOMPARE(r.Parse(p), end);
            texts = columnTexts(r);
        } else if (type == QLatin1String("counters")) {
            CCountersRecord r;
            QCOMPARE(r.Parse(p), end);
            texts = columnTexts(r);
            QCOMPARE(r.m_games.m_nValue, 7u);
            QCOMPARE(r.m_winMaxTime.m_first.m_nValue, std::uint8_t(0x23));
        } else if (type == QLatin1String("keylog")) {
            CKeyLogRecord r;
            QCOMPARE(r.Parse(p), end);
            texts = columnTexts(r);
        } else if (type == QLatin1String("datelog")) {
            CDateLogRecord r;
            QCOMPARE(r.Parse(p), end);
            texts = columnTexts(r);
        }
        QCOMPARE(texts, columns);
    }

    void configFromZeroBytes()
    {
        const QByteArray zeros(int(CConfigRecord::kWireLength), '\0');
        CConfigRecord c;
        QCOMPARE(c.Parse(bytesOf(zeros)), bytesOf(zeros) + zeros.size());
        for (const CTextField *t : {&c.m_type, &c.m_mfgNo, &c.m_mfgDate, &c.m_licenceNo, &c.m_licenceExpiry,
                                    &c.m_cardMfgNo, &c.m_omhId, &c.m_certCode, &c.m_certDate, &c.m_labCode,
                                    &c.m_certificateNo, &c.m_name, &c.m_address, &c.m_note})
            QVERIFY(t->GetText().isEmpty());
        for (const CDataField *n : {static_cast<const CDataField *>(&c.m_counterStep), static_cast<const CDataField *>(&c.m_initialIn),
                                    static_cast<const CDataField *>(&c.m_initialOut), static_cast<const CDataField *>(&c.m_initialStake)})
            QCOMPARE(n->GetText(), QStringLiteral("0 Ft."));
    }

    // Each chunk filled with its own letter, without a NUL: every field must show exactly its
    // own chunk, which pins offsets and widths.
    void configChunksLandInTheirFields()
    {
        const int widths[] = {16, 16, 16, 16, 16, 16, 8, 2, 16, 2, 16, 64, 64, 2, 4, 4, 4, 64};
        QByteArray bytes;
        for (int k = 0; k < 18; ++k)
            bytes.append(widths[k], char('A' + k));
        QCOMPARE(bytes.size(), 346);
        bytes.append(hex("01000000" "02000000" "03000000" "04000000" "05000000" "2402290745"));
        QCOMPARE(bytes.size(), 371);

        CConfEventRecord e;
        QCOMPARE(e.Parse(bytesOf(bytes)), bytesOf(bytes) + 371);
        const CConfigRecord &c = e.m_config;
        const CTextField *texts[] = {&c.m_type, &c.m_mfgNo, &c.m_mfgDate, &c.m_licenceNo, &c.m_licenceExpiry,
                                     &c.m_cardMfgNo, &c.m_omhId, &c.m_certCode, &c.m_certDate, &c.m_labCode,
                                     &c.m_certificateNo, &c.m_name, &c.m_address};
        for (int k = 0; k < 13; ++k)
            QCOMPARE(texts[k]->GetText(), QString(widths[k], QChar(u'A' + k)));
        QCOMPARE(c.m_counterStep.m_nValue, 0x4E4Eu);     // 'N'
        QCOMPARE(c.m_initialIn.m_nValue, 0x4F4F4F4Fu);   // 'O'
        QCOMPARE(c.m_initialOut.m_nValue, 0x50505050u);  // 'P'
        QCOMPARE(c.m_initialStake.m_nValue, 0x51515151u); // 'Q'
        QCOMPARE(c.m_note.GetText(), QString(64, u'R'));
        QCOMPARE(e.m_in.GetText(), QStringLiteral("1 Ft."));
        QCOMPARE(e.m_out.GetText(), QStringLiteral("2 Ft."));
        QCOMPARE(e.m_stake.GetText(), QStringLiteral("3 Ft."));
        QCOMPARE(e.m_win.GetText(), QStringLiteral("4 Ft."));
        QCOMPARE(e.m_games.GetText(), QStringLiteral("5"));
        QCOMPARE(e.m_changeTime.GetText(), QStringLiteral("2024:02:29  /  07:45"));
    }

    // Records live by value in the document's arrays: copies must not share text buffers.
    void recordArraysCopySafely()
    {
        std::array<CConfEventRecord, 2> events;
        QByteArray bytes(371, 'x');
        events[0].Parse(bytesOf(bytes));
        std::array<CConfEventRecord, 2> copy = events;
        bytes.fill('y');
        events[0].Parse(bytesOf(bytes));
        QCOMPARE(copy[0].m_config.m_name.GetText(), QString(64, u'x'));
        QCOMPARE(events[0].m_config.m_name.GetText(), QString(64, u'y'));
        copy = std::move(events);
        QCOMPARE(copy[0].m_config.m_note.GetText(), QString(64, u'y'));
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"

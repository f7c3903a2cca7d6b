#include "fields.h"
#include "codepage.h"
#include "records.h"
#include "unitclock.h"

#include <QRandomGenerator>
#include <QtTest>

#include <memory>

#include <time.h>
#include <vector>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text));
}

const std::uint8_t *bytesOf(const QByteArray &b)
{
    return reinterpret_cast<const std::uint8_t *>(b.constData());
}

std::unique_ptr<CDataField> makeField(const QString &kind)
{
    if (kind == QLatin1String("byte"))
        return std::make_unique<CByteField>();
    if (kind == QLatin1String("year"))
        return std::make_unique<CByteField>(Str::FmtYear);
    if (kind == QLatin1String("word"))
        return std::make_unique<CWordField>();
    if (kind == QLatin1String("money"))
        return std::make_unique<CDwordField>();
    if (kind == QLatin1String("count"))
        return std::make_unique<CDwordField>(Str::FmtCount);
    if (kind == QLatin1String("key"))
        return std::make_unique<CKeyField>();
    if (kind == QLatin1String("text16"))
        return std::make_unique<CTextField>(16);
    if (kind == QLatin1String("text2"))
        return std::make_unique<CTextField>(2);
    if (kind == QLatin1String("pair"))
        return std::make_unique<CPairField>();
    if (kind == QLatin1String("yearmonth"))
        return std::make_unique<CYearMonthField>();
    if (kind == QLatin1String("date"))
        return std::make_unique<CDateField>();
    if (kind == QLatin1String("datetime"))
        return std::make_unique<CDateTimeField>();
    return nullptr;
}

const char *const kAllKinds[] = {"byte", "year", "word", "money", "count", "key", "text16", "text2",
                                 "pair", "yearmonth", "date", "datetime"};

const QString kInvalid = QStringLiteral("invalid date");

} // namespace

class TestFields : public QObject
{
    Q_OBJECT
private slots:
    // Every kind: the text after parsing the given bytes, and the bytes consumed.
    void parseAndShow_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");

        const struct { const char *name, *kind, *bytes, *text; } rows[] = {
            {"byte hex", "byte", "1a", "1A"},
            {"byte one digit", "byte", "07", "07"},
            {"byte year", "year", "01", "2001"},
            {"byte year non-BCD", "year", "ff", "20FF"},
            {"word", "word", "3412", "4660 Ft."},
            {"word max", "word", "ffff", "65535 Ft."},
            {"dword million", "money", "40420f00", "1000000 Ft."},
            {"dword -1 money", "money", "ffffffff", "-1 Ft."},
            {"dword -1 count", "count", "ffffffff", "-1"},
            {"dword min", "money", "00000080", "-2147483648 Ft."},
            {"key", "key", "0123456789abcdef", "01 - 23 45 67 89 AB CD - EF"},
            {"pair", "pair", "0830", "08:30"},
            {"year month", "yearmonth", "9912", "2099:12"},
            {"year month zero", "yearmonth", "9900", "invalid date"},
            {"year month odd nibbles", "yearmonth", "01ab", "2001:AB"},
            {"date", "date", "010517", "2001:05:17"},
            {"date month zero", "date", "010017", "invalid date"},
            {"date day zero", "date", "010500", "2001:05:00"},
            {"date month above 12", "date", "011f3c", "2001:1F:3C"},
            {"date time", "datetime", "0105170830", "2001:05:17  /  08:30"},
            {"date time month zero", "datetime", "0100170830", "invalid date"},
            {"date time odd time", "datetime", "010517ff99", "2001:05:17  /  FF:99"},
            {"text full width", "text16", "4142434445464748494a4b4c4d4e4f50", "ABCDEFGHIJKLMNOP"},
            {"text padded", "text16", "41424300000000000000000000000000", "ABC"},
            {"text all NUL", "text16", "00000000000000000000000000000000", ""},
            {"text stops at first NUL", "text16", "41420043440000000000000000000000", "AB"},
            {"text code page", "text16", "54fc6bf672f5fb20e8b3000000000000", "Tükörőű čł"},
            {"text width two", "text2", "4f4b", "OK"},
        };
        for (const auto &r : rows)
            QTest::newRow(r.name) << QString::fromLatin1(r.kind) << hex(r.bytes) << QString::fromUtf8(r.text);
    }
    void parseAndShow()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        auto field = makeField(kind);
        QVERIFY(field);
        const std::uint8_t *p = bytesOf(bytes);
        QCOMPARE(field->Parse(p), p + bytes.size());
        QCOMPARE(field->GetText(), text);
        QCOMPARE(field->m_nStatus, 0);
    }

    void newFieldsShowZeroValues_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        QTest::newRow("byte") << QStringLiteral("byte") << QStringLiteral("00");
        QTest::newRow("year") << QStringLiteral("year") << QStringLiteral("2000");
        QTest::newRow("word") << QStringLiteral("word") << QStringLiteral("0 Ft.");
        QTest::newRow("money") << QStringLiteral("money") << QStringLiteral("0 Ft.");
        QTest::newRow("count") << QStringLiteral("count") << QStringLiteral("0");
        QTest::newRow("key") << QStringLiteral("key") << QStringLiteral("00 - 00 00 00 00 00 00 - 00");
        QTest::newRow("text") << QStringLiteral("text16") << QString();
        QTest::newRow("pair") << QStringLiteral("pair") << QStringLiteral("00:00");
        QTest::newRow("yearmonth") << QStringLiteral("yearmonth") << kInvalid;
        QTest::newRow("date") << QStringLiteral("date") << kInvalid;
        QTest::newRow("datetime") << QStringLiteral("datetime") << kInvalid;
    }
    void newFieldsShowZeroValues()
    {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        const auto field = makeField(kind);
        QCOMPARE(field->GetText(), text);
        QCOMPARE(field->m_nStatus, 0);
    }

    void columnTextIsTextForEveryColumn()
    {
        const QByteArray bytes = hex("0105170830aabbccddeeff00112233445566");
        for (const char *kind : kAllKinds) {
            auto field = makeField(QString::fromLatin1(kind));
            field->Parse(bytesOf(bytes));
            for (int column : {INT_MIN, -1, 0, 1, 6, 100, INT_MAX})
                QCOMPARE(field->GetColumnText(column), field->GetText());
        }
    }

    void baseFieldDoesNothing()
    {
        CDataField base;
        const std::uint8_t byte = 0x42;
        QCOMPARE(base.Parse(&byte), &byte);
        base.SetFromText(QStringLiteral("01 - 02 03 04 05 06 07 - 08"));
        QVERIFY(base.GetText().isEmpty());
        QVERIFY(base.GetColumnText(3).isEmpty());
        for (const char *kind : kAllKinds) // a null position is handed on, never read
            QCOMPARE(makeField(QString::fromLatin1(kind))->Parse(nullptr), nullptr);
    }

    void textFieldNeverReadsOrKeepsStaleBytes()
    {
        CTextField text(16);
        const QByteArray longer("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
        QCOMPARE(text.Parse(bytesOf(longer)), bytesOf(longer) + 16);
        QCOMPARE(text.GetText(), QStringLiteral("ABCDEFGHIJKLMNOP"));
        QCOMPARE(text.m_pszText[16], '\0');
        const QByteArray shorter = hex("78790000000000000000000000000000");
        text.Parse(bytesOf(shorter));
        QCOMPARE(text.GetText(), QStringLiteral("xy"));
    }

    void textFieldWidthIsBounded()
    {
        QCOMPARE(CTextField(1000).m_nLength, CTextField::kMaxWidth);
        CTextField empty(0);
        const std::uint8_t byte = 'A';
        QCOMPARE(empty.Parse(&byte), &byte);
        QVERIFY(empty.GetText().isEmpty());
    }

    void codePageDecodesEveryByte()
    {
        for (int b = 1; b < 256; ++b) {
            const QChar c = Quilo::DecodeCp1250(static_cast<std::uint8_t>(b));
            QVERIFY2(!c.isNull(), qPrintable(QString::number(b)));
            const std::uint8_t text[2] = {static_cast<std::uint8_t>(b), 0};
            CTextField field(2);
            field.Parse(text);
            QCOMPARE(field.GetText().size(), 1);
        }
        QCOMPARE(Quilo::DecodeCp1250(0xF5), QChar(0x0151)); // ő
        QCOMPARE(Quilo::DecodeCp1250(0xDB), QChar(0x0170)); // Ű
        QCOMPARE(Quilo::DecodeCp1250(0x8A), QChar(0x0160)); // Š
        QCOMPARE(Quilo::DecodeCp1250(0x80), QChar(0x20AC)); // €
        QCOMPARE(Quilo::DecodeCp1250(0x81), QChar(0xFFFD)); // unassigned
    }

    // ---- keys --------------------------------------------------------------------------

    void scanKey_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QByteArray>("key");
        const QByteArray k = hex("0123456789abcdef");
        const struct { const char *name, *text; bool ok; } rows[] = {
            {"display form", "01 - 23 45 67 89 AB CD - EF", true},
            {"lower case", "01 - 23 45 67 89 ab cd - ef", true},
            {"extra white space", "  01  -\t23 45   67 89 AB CD -  EF \n", true},
            {"no blanks at dashes", "01-23 45 67 89 AB CD-EF", true},
            {"one-digit number", "1 - 23 45 67 89 AB CD - EF", true},
            {"empty", "", false},
            {"garbage", "hello world", false},
            {"seven numbers", "01 - 23 45 67 89 AB - CD", false},
            {"cut short", "01 - 23 45 67 89 AB CD -", false},
            {"missing dashes", "01 23 45 67 89 AB CD EF", false},
            {"missing second dash", "01 - 23 45 67 89 AB CD EF", false},
            {"three digits", "001 - 23 45 67 89 AB CD - EF", false},
            {"three digits inside", "01 - 234 5 67 89 AB CD - EF", false},
            {"run together", "01 - 2345 67 89 AB CD - EF", false},
            {"trailing text", "01 - 23 45 67 89 AB CD - EF x", false},
            {"ninth number", "01 - 23 45 67 89 AB CD - EF 10", false},
            {"not hex", "01 - 23 45 67 89 AB CG - EF", false},
            {"sign", "-1 - 23 45 67 89 AB CD - EF", false},
            {"hex prefix", "0x1 - 23 45 67 89 AB CD - EF", false},
            {"wrong separator", "01 + 23 45 67 89 AB CD - EF", false},
        };
        for (const auto &r : rows)
            QTest::newRow(r.name) << QString::fromLatin1(r.text) << r.ok << (r.ok ? k : QByteArray());
        QTest::newRow("single digits") << QStringLiteral("1 - 2 3 4 5 6 7 - 8") << true << hex("0102030405060708");
        QTest::newRow("arabic-indic digits") << QString::fromUtf8("٠١ - 23 45 67 89 AB CD - EF") << false << QByteArray();
        QTest::newRow("embedded NUL") << QString(QStringLiteral("01 - 23 45 67 89 AB CD - E") + QChar(0) + u'F')
                                      << false << QByteArray();
    }
    void scanKey()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(QByteArray, key);
        std::uint8_t out[8] = {0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55};
        QCOMPARE(CKeyField::ScanKey(text, out), ok);
        if (ok)
            QCOMPARE(QByteArray(reinterpret_cast<const char *>(out), 8), key);
        else
            QCOMPARE(QByteArray(reinterpret_cast<const char *>(out), 8), QByteArray(8, '\x55'));

        // SetFromText takes the key only when it scans, and keeps the old one otherwise.
        CKeyField field;
        const QByteArray old = hex("a1a2a3a4a5a6a7a8");
        field.Parse(bytesOf(old));
        field.SetFromText(text);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(field.m_abKey), 8), ok ? key : old);
    }

    void keyTextRoundTrips()
    {
        QRandomGenerator rng(1234);
        for (int i = 0; i < 200; ++i) {
            std::uint8_t bytes[8];
            for (auto &b : bytes)
                b = static_cast<std::uint8_t>(rng.bounded(256));
            CKeyField a;
            a.Parse(bytes);
            CKeyField b;
            b.SetFromText(a.GetText().toLower());
            QCOMPARE(QByteArray(reinterpret_cast<const char *>(b.m_abKey), 8),
                     QByteArray(reinterpret_cast<const char *>(bytes), 8));
        }
    }

    // Mangled key texts: never a crash, and a text that scans shows as a well-formed key.
    void scanKeySurvivesMangledText()
    {
        QRandomGenerator rng(99);
        const QString alphabet = QStringLiteral("0123456789abcdefABCDEF -\t%xX\n") + QChar(0) + QChar(0x0151);
        const QString good = QStringLiteral("01 - 23 45 67 89 AB CD - EF");
        for (int i = 0; i < 20000; ++i) {
            QString text = good;
            const int edits = 1 + static_cast<int>(rng.bounded(4));
            for (int e = 0; e < edits; ++e) {
                const int at = static_cast<int>(rng.bounded(text.size() + 1));
                const QChar c = alphabet.at(static_cast<int>(rng.bounded(alphabet.size())));
                switch (rng.bounded(3)) {
                case 0: text.insert(at, c); break;
                case 1: text.remove(at, 1); break;
                default: if (at < text.size()) text[at] = c; break;
                }
            }
            std::uint8_t out[8];
            if (CKeyField::ScanKey(text, out)) {
                CKeyField key;
                key.Parse(out);
                std::uint8_t again[8];
                QVERIFY2(CKeyField::ScanKey(key.GetText(), again), qPrintable(text));
                QCOMPARE(QByteArray(reinterpret_cast<const char *>(again), 8),
                         QByteArray(reinterpret_cast<const char *>(out), 8));
            }
        }
    }

    // ---- BCD -----------------------------------------------------------------------------

    void bcd_data()
    {
        QTest::addColumn<int>("binary");
        QTest::addColumn<int>("bcd");
        QTest::addColumn<bool>("backAgain");
        QTest::newRow("0") << 0 << 0x00 << true;
        QTest::newRow("59") << 59 << 0x59 << true;
        QTest::newRow("99") << 99 << 0x99 << true;
        QTest::newRow("100 unchecked") << 100 << 0xA0 << false;
        QTest::newRow("255 unchecked") << 255 << 0x95 << false;
        QTest::newRow("256 low byte") << 256 << 0x00 << false;
        QTest::newRow("-1 low byte") << -1 << 0x95 << false;
    }
    void bcd()
    {
        QFETCH(int, binary);
        QFETCH(int, bcd);
        QFETCH(bool, backAgain);
        QCOMPARE(int(BinToBcd(binary)), bcd);
        if (backAgain)
            QCOMPARE(BcdToBin(bcd), binary);
    }

    void bcdRoundTripsAndUnchecked()
    {
        for (int v = 0; v <= 99; ++v)
            QCOMPARE(BcdToBin(BinToBcd(v)), v);
        QCOMPARE(BcdToBin(0xFF), 165);
        QCOMPARE(BcdToBin(0x159), 59); // low byte only
    }

    // ---- printf-style formatting -----------------------------------------------------------

    void format_data()
    {
        QTest::addColumn<QString>("actual");
        QTest::addColumn<QString>("expected");
        const QString at = QStringLiteral("%s at %s");
        QTest::newRow("row number") << FormatString(Str::RowNumber, 3) << QStringLiteral("3.");
        QTest::newRow("winmax at") << FormatString(Str::FmtWinMaxAt, QStringLiteral("5 Ft."), "12:30")
                                   << QStringLiteral("5 Ft. at 12:30");
        QTest::newRow("hex byte") << FormatText(QStringLiteral("%02X"), std::uint8_t(7)) << QStringLiteral("07");
        QTest::newRow("negative as unsigned hex") << FormatText(QStringLiteral("%X"), -1) << QStringLiteral("FFFFFFFF");
        QTest::newRow("right aligned") << FormatText(QStringLiteral("%5d|"), 42) << QStringLiteral("   42|");
        QTest::newRow("left aligned") << FormatText(QStringLiteral("%-5d|"), 42) << QStringLiteral("42   |");
        QTest::newRow("zero padded negative") << FormatText(QStringLiteral("%05d"), -42) << QStringLiteral("-0042");
        QTest::newRow("unsigned") << FormatText(QStringLiteral("%u"), 4000000000u) << QStringLiteral("4000000000");
        QTest::newRow("length modifiers") << FormatText(QStringLiteral("%lld"), 1LL << 40) << QStringLiteral("1099511627776");
        QTest::newRow("percent") << FormatText(QStringLiteral("100%%")) << QStringLiteral("100%");
        QTest::newRow("text precision") << FormatText(QStringLiteral("%.2s"), "abcdef") << QStringLiteral("ab");
        QTest::newRow("utf8 text") << FormatText(at, "ő", QByteArray("ű")) << QString::fromUtf8("ő at ű");
        QTest::newRow("number as text") << FormatText(at, 5, -6) << QStringLiteral("5 at -6");
        QTest::newRow("text for number") << FormatText(QStringLiteral("%d Ft."), "x") << QStringLiteral("x Ft.");
        QTest::newRow("missing argument") << FormatText(QStringLiteral("%d-%d"), 1) << QStringLiteral("1-");
        QTest::newRow("no arguments") << FormatText(at) << QStringLiteral(" at ");
        QTest::newRow("unknown conversion") << FormatText(QStringLiteral("%y%d"), 1) << QStringLiteral("%y1");
        QTest::newRow("star width is not taken") << FormatText(QStringLiteral("%*d"), 1) << QStringLiteral("%*d");
        QTest::newRow("cut off") << FormatText(QStringLiteral("50%"), 1) << QStringLiteral("50%");
        QTest::newRow("huge width capped") << FormatText(QStringLiteral("%99999999999d"), 1)
                                           << QString(255, u' ') + u'1';
        QTest::newRow("unknown id") << FormatString(1u, 5) << QString();
    }
    void format()
    {
        QFETCH(QString, actual);
        QFETCH(QString, expected);
        QCOMPARE(actual, expected);
    }


    // The unit's clock bytes as a date and time: a real date or none, never a rolled-over one.
    void unitClock_data()
    {
        QTest::addColumn<QByteArray>("bcd");
        QTest::addColumn<QDateTime>("expected");
        const auto at = [](int y, int mo, int d, int h, int mi) { return Quilo::PlainDateTime(QDate(y, mo, d), QTime(h, mi)); };
        QTest::newRow("two-digit day, hour, minute") << QByteArray::fromHex("2406151345") << at(2024, 6, 15, 13, 45);
        QTest::newRow("last minute of the range") << QByteArray::fromHex("9912312359") << at(2099, 12, 31, 23, 59);
        QTest::newRow("leap day") << QByteArray::fromHex("2402292359") << at(2024, 2, 29, 23, 59);
        QTest::newRow("never read: all zero") << QByteArray(5, '\0') << QDateTime();
        QTest::newRow("month 13") << QByteArray::fromHex("2413010000") << QDateTime();
        QTest::newRow("hour 24") << QByteArray::fromHex("2402282400") << QDateTime();
        QTest::newRow("minute 60") << QByteArray::fromHex("2402282360") << QDateTime();
        QTest::newRow("29 February 2023") << QByteArray::fromHex("2302290000") << QDateTime();
        QTest::newRow("31 April") << QByteArray::fromHex("2404310000") << QDateTime();
        QTest::newRow("nibble above 9") << QByteArray::fromHex("2A06150000") << QDateTime();
    }
    void unitClock()
    {
        QFETCH(QByteArray, bcd);
        QFETCH(QDateTime, expected);
        Quilo::ClockBytes bytes{};
        std::copy(bcd.begin(), bcd.end(), bytes.begin());
        const QDateTime value = Quilo::UnitClockToDateTime(bytes);
        QCOMPARE(value, expected);
        if (!expected.isValid())
            return;
        Quilo::ClockBytes back{};
        QVERIFY(Quilo::DateTimeToUnitClock(value.date(), value.time(), back));
        QCOMPARE(back, bytes);
        CDateTimeField field;
        field.Parse(bytes.data());
        QCOMPARE(Quilo::ClockBytesOf(field), bytes);
    }

    // In a zone with daylight saving the clock's values neither move nor vanish on the change days.
    void unitClockIgnoresDaylightSaving()
    {
        const QByteArray oldTz = qgetenv("TZ");
        qputenv("TZ", "Europe/Budapest");
        tzset();
        const Quilo::ClockBytes spring{0x24, 0x03, 0x31, 0x02, 0x30}; // in the hour that is skipped
        const Quilo::ClockBytes autumn{0x24, 0x10, 0x27, 0x02, 0x30}; // in the hour that comes twice
        const QDateTime a = Quilo::UnitClockToDateTime(spring);
        const QDateTime b = Quilo::UnitClockToDateTime(autumn);
        QCOMPARE(a.time(), QTime(2, 30));
        QCOMPARE(b.time(), QTime(2, 30));
        // a minute on the unit's clock is a minute, across the change
        const Quilo::ClockBytes springLater{0x24, 0x03, 0x31, 0x03, 0x31};
        QCOMPARE(a.secsTo(Quilo::UnitClockToDateTime(springLater)), 61 * 60);
        Quilo::ClockBytes back{};
        QVERIFY(Quilo::DateTimeToUnitClock(a, back));
        QCOMPARE(back, spring);
        QVERIFY(!Quilo::DateTimeToUnitClock(QDate(1999, 12, 31), QTime(1, 0), back));
        QVERIFY(!Quilo::DateTimeToUnitClock(QDate(2100, 1, 1), QTime(1, 0), back));
        if (oldTz.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", oldTz);
        tzset();
    }
};

QTEST_GUILESS_MAIN(TestFields)
#include "tst_fields.moc"

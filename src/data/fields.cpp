#include "fields.h"

#include "codepage.h"

#include <algorithm>
#include <climits>
#include <cstring>

// ---------------------------------------------------------------------------------------------
// FormatArgs

namespace {

constexpr int kMaxFormatWidth = 256; // a width or precision beyond this is cut to it

struct ConversionSpec {
    bool left = false;
    bool zero = false;
    bool plus = false;
    bool space = false;
    bool alternate = false;
    int width = 0;
    int precision = -1; // -1: none given
};

bool isAsciiDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

int readCount(const QString &format, qsizetype &i)
{
    int n = 0;
    while (i < format.size() && isAsciiDigit(format.at(i))) {
        n = std::min(n * 10 + (format.at(i).unicode() - u'0'), kMaxFormatWidth);
        ++i;
    }
    return n;
}

QString padded(const QString &body, const ConversionSpec &conv)
{
    const qsizetype fill = conv.width - body.size();
    if (fill <= 0)
        return body;
    return conv.left ? body + QString(fill, u' ') : QString(fill, u' ') + body;
}

// Sign and magnitude of an argument for a conversion; unsigned conversions of a negative int
// see it as printf would, as an unsigned int.
struct Magnitude {
    bool negative = false;
    unsigned long long value = 0;
};

Magnitude magnitudeOf(const FormatArg &arg, bool signedConversion)
{
    if (const auto *u = std::get_if<unsigned long long>(&arg))
        return {false, *u};
    const auto *s = std::get_if<long long>(&arg);
    if (!s)
        return {}; // a text has no magnitude
    const long long v = *s;
    if (v >= 0)
        return {false, static_cast<unsigned long long>(v)};
    if (signedConversion)
        return {true, 0ull - static_cast<unsigned long long>(v)};
    if (v >= INT_MIN)
        return {false, static_cast<std::uint32_t>(static_cast<std::int32_t>(v))};
    return {false, static_cast<unsigned long long>(v)};
}

QString formatNumber(const FormatArg &arg, char16_t conversion, const ConversionSpec &conv)
{
    const bool signedConversion = conversion == u'd' || conversion == u'i';
    const int base = (conversion == u'x' || conversion == u'X') ? 16 : conversion == u'o' ? 8 : 10;
    const Magnitude m = magnitudeOf(arg, signedConversion);

    QString digits = (conv.precision == 0 && m.value == 0) ? QString() : QString::number(m.value, base);
    if (conversion == u'X')
        digits = digits.toUpper();
    if (conv.precision > digits.size())
        digits.prepend(QString(conv.precision - digits.size(), u'0'));

    QString prefix;
    if (signedConversion)
        prefix = m.negative ? QStringLiteral("-") : conv.plus ? QStringLiteral("+") : conv.space ? QStringLiteral(" ") : QString();
    if (conv.alternate && m.value != 0 && base == 16)
        prefix = conversion == u'X' ? QStringLiteral("0X") : QStringLiteral("0x");
    if (conv.alternate && base == 8 && !digits.startsWith(u'0'))
        digits.prepend(u'0');

    if (conv.zero && !conv.left && conv.precision < 0) {
        const qsizetype fill = conv.width - prefix.size() - digits.size();
        if (fill > 0)
            digits.prepend(QString(fill, u'0'));
    }
    return padded(prefix + digits, conv);
}

QString formatText(const FormatArg &arg, const ConversionSpec &conv)
{
    QString text;
    if (const auto *s = std::get_if<QString>(&arg))
        text = *s;
    else
        text = formatNumber(arg, std::holds_alternative<long long>(arg) ? u'd' : u'u', ConversionSpec{});
    if (conv.precision >= 0 && text.size() > conv.precision)
        text.truncate(conv.precision);
    return padded(text, conv);
}

QString formatChar(const FormatArg &arg, const ConversionSpec &conv)
{
    if (const auto *s = std::get_if<QString>(&arg))
        return padded(s->left(1), conv);
    // printf's %c takes the low byte.
    return padded(QString(QChar(static_cast<char16_t>(magnitudeOf(arg, false).value & 0xFFu))), conv);
}

} // namespace

QString FormatArgs(const QString &format, const FormatArg *args, std::size_t count)
{
    QString out;
    out.reserve(format.size() + 16);
    std::size_t next = 0;
    qsizetype i = 0;
    while (i < format.size()) {
        const QChar c = format.at(i);
        if (c != u'%') {
            out.append(c);
            ++i;
            continue;
        }
        const qsizetype start = i++;
        ConversionSpec conv;
        for (; i < format.size(); ++i) {
            const char16_t f = format.at(i).unicode();
            if (f == u'-')
                conv.left = true;
            else if (f == u'0')
                conv.zero = true;
            else if (f == u'+')
                conv.plus = true;
            else if (f == u' ')
                conv.space = true;
            else if (f == u'#')
                conv.alternate = true;
            else
                break;
        }
        conv.width = readCount(format, i);
        if (i < format.size() && format.at(i) == u'.') {
            ++i;
            conv.precision = readCount(format, i);
        }
        while (i < format.size() && QStringView(u"hlLqjzt").contains(format.at(i)))
            ++i;
        if (i >= format.size()) { // a cut-off conversion stays as it is
            out.append(QStringView(format).mid(start));
            break;
        }
        const char16_t conversion = format.at(i++).unicode();
        if (conversion == u'%') {
            out.append(u'%');
            continue;
        }
        if (!QStringView(u"diuxXocs").contains(QChar(conversion))) {
            out.append(QStringView(format).mid(start, i - start));
            continue;
        }
        if (next >= count || !args)
            continue; // a missing argument shows as nothing
        const FormatArg &arg = args[next++];
        if (conversion == u's')
            out.append(formatText(arg, conv));
        else if (conversion == u'c')
            out.append(formatChar(arg, conv));
        else if (const auto *s = std::get_if<QString>(&arg))
            out.append(padded(*s, conv));
        else
            out.append(formatNumber(arg, conversion, conv));
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// CDataField

void CDataField::SetFromText(const QString &) {}

QString CDataField::GetText() const
{
    return QString();
}

const std::uint8_t *CDataField::Parse(const std::uint8_t *p)
{
    return p;
}

QString CDataField::GetColumnText(int) const
{
    return GetText();
}

// ---------------------------------------------------------------------------------------------
// Simple kinds

QString CByteField::GetText() const
{
    return FormatString(m_nFormatID, static_cast<unsigned>(m_nValue));
}

const std::uint8_t *CByteField::Parse(const std::uint8_t *p)
{
    if (!p)
        return p;
    m_nValue = p[0];
    return p + 1;
}

QString CWordField::GetText() const
{
    return FormatString(m_nFormatID, static_cast<unsigned>(m_nValue));
}

const std::uint8_t *CWordField::Parse(const std::uint8_t *p)
{
    if (!p)
        return p;
    m_nValue = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    return p + 2;
}

QString CDwordField::GetText() const
{
    // The unit's counters are shown as signed values.
    return FormatString(m_nFormatID, static_cast<std::int32_t>(m_nValue));
}

const std::uint8_t *CDwordField::Parse(const std::uint8_t *p)
{
    if (!p)
        return p;
    m_nValue = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8
        | static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    return p + 4;
}

// ---------------------------------------------------------------------------------------------
// CKeyField

QString CKeyField::GetText() const
{
    const std::uint8_t *k = m_abKey;
    return FormatString(m_nFormatID, k[0], k[1], k[2], k[3], k[4], k[5], k[6], k[7]);
}

const std::uint8_t *CKeyField::Parse(const std::uint8_t *p)
{
    if (!p)
        return p;
    std::memcpy(m_abKey, p, kLength);
    return p + kLength;
}

void CKeyField::SetFromText(const QString &text)
{
    std::uint8_t key[kLength];
    if (ScanKey(text, key))
        std::memcpy(m_abKey, key, kLength);
}

namespace {

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

void skipSpace(const QString &s, qsizetype &i)
{
    while (i < s.size() && s.at(i).isSpace())
        ++i;
}

} // namespace

bool CKeyField::ParseTyped(const QString &text, std::uint8_t out[kLength])
{
    QString digits;
    for (const QChar c : text) {
        if (c == QLatin1Char(' ') || c == QLatin1Char('-'))
            continue;
        const bool hex = (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
                         || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
                         || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
        if (!hex)
            return false;
        digits += c;
    }
    if (digits.size() != 2 * static_cast<qsizetype>(kLength))
        return false;
    for (std::size_t i = 0; i < kLength; ++i)
        out[i] = static_cast<std::uint8_t>(digits.mid(2 * static_cast<qsizetype>(i), 2).toUInt(nullptr, 16));
    return true;
}

QString CKeyField::FormatKey(const std::uint8_t key[kLength])
{
    QString text = LoadString(Str::FmtKey);
    // The key format is printf-style with eight %02X.
    for (std::size_t i = 0; i < kLength; ++i) {
        const qsizetype at = text.indexOf(QLatin1String("%02X"));
        if (at < 0)
            break;
        text.replace(at, 4, QStringLiteral("%1").arg(key[i], 2, 16, QLatin1Char('0')).toUpper());
    }
    return text;
}

bool CKeyField::ScanKey(const QString &text, std::uint8_t out[kLength])
{
    // Walks the key format as sscanf would, but strictly: a number has one or two digits and
    // does not run into a third, and nothing but white space may follow the key. Keys are
    // written to the unit, so a doubtful text is refused rather than guessed at.
    const QString format = LoadString(Str::FmtKey);
    std::uint8_t key[kLength] = {};
    std::size_t scanned = 0;
    qsizetype t = 0;
    qsizetype f = 0;
    while (f < format.size()) {
        const QChar fc = format.at(f);
        if (fc.isSpace()) {
            skipSpace(text, t);
            ++f;
            continue;
        }
        if (fc != u'%') {
            if (t >= text.size() || text.at(t) != fc)
                return false;
            ++t;
            ++f;
            continue;
        }
        // A conversion: "%X", "%x" or with a width ("%02X"); anything else is not a key format.
        ++f;
        while (f < format.size() && format.at(f) == u'0')
            ++f;
        int width = 0;
        while (f < format.size() && isAsciiDigit(format.at(f)) && width < 8)
            width = width * 10 + (format.at(f++).unicode() - u'0');
        if (f >= format.size() || (format.at(f) != u'X' && format.at(f) != u'x'))
            return false;
        ++f;
        if (width == 0 || width > 2)
            width = 2;
        if (scanned >= kLength)
            return false;
        skipSpace(text, t);
        unsigned value = 0;
        int digits = 0;
        while (digits < width && t < text.size() && hexDigit(text.at(t)) >= 0) {
            value = value * 16u + static_cast<unsigned>(hexDigit(text.at(t)));
            ++t;
            ++digits;
        }
        if (digits == 0 || (t < text.size() && hexDigit(text.at(t)) >= 0))
            return false;
        key[scanned++] = static_cast<std::uint8_t>(value);
    }
    skipSpace(text, t);
    if (scanned != kLength || t != text.size())
        return false;
    std::memcpy(out, key, kLength);
    return true;
}

// ---------------------------------------------------------------------------------------------
// CTextField

CTextField::CTextField(std::size_t width)
    : CDataField(0), m_nLength(std::min(width, kMaxWidth))
{
}

QString CTextField::GetText() const
{
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(m_pszText);
    const auto *end = static_cast<const std::uint8_t *>(std::memchr(bytes, 0, m_nLength));
    const std::size_t n = end ? static_cast<std::size_t>(end - bytes) : m_nLength;
    return Quilo::DecodeCp1250(bytes, n);
}

const std::uint8_t *CTextField::Parse(const std::uint8_t *p)
{
    if (!p)
        return p;
    // All n bytes, NULs included; the terminator after them is never written.
    std::memcpy(m_pszText, p, m_nLength);
    return p + m_nLength;
}

// ---------------------------------------------------------------------------------------------
// Composite kinds. A month byte of 0 is the unit's mark of an unset date; nothing else is
// checked, so other odd bytes show as they are.

QString CPairField::GetText() const
{
    return FormatString(m_nFormatID, m_first.GetText(), m_second.GetText());
}

const std::uint8_t *CPairField::Parse(const std::uint8_t *p)
{
    return m_second.Parse(m_first.Parse(p));
}

QString CYearMonthField::GetText() const
{
    if (m_month.m_nValue == 0)
        return LoadString(Str::InvalidDate);
    return FormatString(m_nFormatID, m_year.GetText(), m_month.GetText());
}

const std::uint8_t *CYearMonthField::Parse(const std::uint8_t *p)
{
    return m_month.Parse(m_year.Parse(p));
}

QString CDateField::GetText() const
{
    if (m_month.m_nValue == 0)
        return LoadString(Str::InvalidDate);
    return FormatString(m_nFormatID, m_year.GetText(), m_month.GetText(), m_day.GetText());
}

const std::uint8_t *CDateField::Parse(const std::uint8_t *p)
{
    return m_day.Parse(m_month.Parse(m_year.Parse(p)));
}

QString CDateTimeField::GetText() const
{
    if (m_date.m_month.m_nValue == 0)
        return LoadString(Str::InvalidDate);
    return FormatString(m_nFormatID, m_date.GetText(), m_time.GetText());
}

const std::uint8_t *CDateTimeField::Parse(const std::uint8_t *p)
{
    return m_time.Parse(m_date.Parse(p));
}

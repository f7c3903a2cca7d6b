#pragma once
// Typed fields: each knows its width on the line, how its bytes are encoded and how the value
// is shown. Records (records.h) are built from them. No widgets here.

#include "stringtable.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <variant>

// ---------------------------------------------------------------------------------------------
// Formatting by printf rules with a format taken from the string table.
//
// The formats are loaded by number (and may be translated), so they are never handed to the C
// library's printf: a format whose conversions do not fit the arguments would be undefined
// behaviour there. Here every conversion is checked against its argument: a missing argument
// gives nothing, a text meets a numeric conversion as itself, a number meets "%s" in decimal.
// Supported: flags "-0+ #", width, precision, length modifiers (ignored), d i u x X o c s %.

using FormatArg = std::variant<long long, unsigned long long, QString>;

// The workhorse: `format` filled with `count` arguments.
QString FormatArgs(const QString &format, const FormatArg *args, std::size_t count);

namespace FormatDetail {
inline FormatArg textArg(const char *text)
{
    return text ? QString::fromUtf8(text) : QString();
}

template <typename T>
FormatArg toArg(const T &value)
{
    using U = std::remove_cvref_t<T>;
    if constexpr (std::is_same_v<U, QString>)
        return value;
    else if constexpr (std::is_same_v<U, QByteArray>)
        return QString::fromUtf8(value);
    else if constexpr (std::is_array_v<U>)
        return QString::fromUtf8(value, static_cast<qsizetype>(qstrnlen(value, sizeof(U))));
    else if constexpr (std::is_convertible_v<U, const char *>)
        return textArg(value);
    else if constexpr (std::is_same_v<U, bool>)
        return static_cast<long long>(value ? 1 : 0);
    else if constexpr (std::is_enum_v<U>)
        return toArg(static_cast<std::underlying_type_t<U>>(value));
    else if constexpr (std::is_integral_v<U> && std::is_signed_v<U>)
        return static_cast<long long>(value);
    else if constexpr (std::is_integral_v<U> && std::is_unsigned_v<U>)
        return static_cast<unsigned long long>(value);
    else
        static_assert(std::is_integral_v<U>, "FormatString takes integers and texts");
}
} // namespace FormatDetail

// `format` filled with the arguments: integers, QString, QByteArray or const char * (UTF-8).
template <typename... Args>
QString FormatText(const QString &format, const Args &...args)
{
    if constexpr (sizeof...(Args) == 0) {
        return FormatArgs(format, nullptr, 0);
    } else {
        const FormatArg list[] = {FormatDetail::toArg(args)...};
        return FormatArgs(format, list, sizeof...(Args));
    }
}

// String `id` of the table, loaded now, filled with the arguments: FormatString(Str::RowNumber, 3)
// gives "3.".
template <typename... Args>
QString FormatString(unsigned id, const Args &...args)
{
    return FormatText(LoadString(id), args...);
}

// ---------------------------------------------------------------------------------------------
// Packed BCD: two decimal digits in one byte, high nibble first (dates and times of the unit).
// Neither rejects out-of-range values; the date/time view only passes 0..99.

constexpr std::uint8_t BinToBcd(int value)
{
    const unsigned v = static_cast<unsigned>(value) & 0xFFu;
    return static_cast<std::uint8_t>(((v / 10u) * 16u + v % 10u) & 0xFFu);
}

constexpr int BcdToBin(int value)
{
    const unsigned v = static_cast<unsigned>(value) & 0xFFu;
    return static_cast<int>((v / 16u) * 10u + v % 16u);
}

// ---------------------------------------------------------------------------------------------

// The record status word, decoded here and nowhere else.
//  0                  not read (or marked for reading again)
//  0x8000 | result    a read transaction was made; result 0 means the record holds the reply
//  256                the key presentation before the read failed; the request was not sent
//  0x4000 | result    key table only: the last transaction was a write of this entry (result 0:
//                     the unit took it); the entry is read again at the next read
namespace RecordStatus {
inline constexpr std::int32_t kDone = 0x8000;
inline constexpr std::int32_t kWritten = 0x4000;
inline constexpr std::int32_t kKeyRefused = 256;
inline constexpr std::int32_t kResultMask = 0x3FFF;

enum class State { NotRead, Read, Failed, KeyRefused, Written, WriteFailed };

// The status word a read (or a write) with transaction result `result` leaves.
constexpr std::int32_t AfterRead(int result)
{
    return result == kKeyRefused ? kKeyRefused : kDone | result;
}
constexpr std::int32_t AfterWrite(int result)
{
    return kWritten | result;
}

constexpr State StateOf(std::int32_t status)
{
    if (status == 0)
        return State::NotRead;
    if (status & kDone)
        return (status & kResultMask) == 0 ? State::Read : State::Failed;
    if (status & kWritten)
        return (status & kResultMask) == 0 ? State::Written : State::WriteFailed;
    return status == kKeyRefused ? State::KeyRefused : State::Failed;
}

// The transaction's result code: 0 for a good read or write and for a record not read.
constexpr int ResultOf(std::int32_t status)
{
    return status & kResultMask;
}
} // namespace RecordStatus

// Base of every field and record. m_nStatus is the record status word: fields never touch it,
// the engine and the views do, through the accessors below.
class CDataField
{
public:
    explicit CDataField(std::uint32_t formatId = 0) : m_nFormatID(formatId) {}
    CDataField(const CDataField &) = default;
    CDataField &operator=(const CDataField &) = default;
    CDataField(CDataField &&) = default;
    CDataField &operator=(CDataField &&) = default;
    virtual ~CDataField() = default;

    // Takes the value from display text; only keys can.
    virtual void SetFromText(const QString &text);
    // The display text, formatted afresh; the empty text here.
    virtual QString GetText() const;
    // Decodes the field's bytes at p (the caller guarantees the whole width is there) and
    // returns the position after them. Never fails; a null p is returned as it is.
    virtual const std::uint8_t *Parse(const std::uint8_t *p);
    // The text of one list column; fields ignore the number.
    virtual QString GetColumnText(int column) const;

    RecordStatus::State State() const { return RecordStatus::StateOf(m_nStatus); }
    // Holds what the unit sent (read) or what it took (written).
    bool HoldsUnitValue() const
    {
        return State() == RecordStatus::State::Read || State() == RecordStatus::State::Written;
    }
    bool IsRead() const { return State() == RecordStatus::State::Read; }
    // A read or write of this record was tried and did not succeed.
    bool IsFailed() const
    {
        const RecordStatus::State s = State();
        return s == RecordStatus::State::Failed || s == RecordStatus::State::KeyRefused
               || s == RecordStatus::State::WriteFailed;
    }
    int Result() const { return RecordStatus::ResultOf(m_nStatus); }

    std::uint32_t m_nFormatID;
    std::int32_t m_nStatus = 0;
};

class CByteField : public CDataField
{
public:
    explicit CByteField(std::uint32_t formatId = Str::FmtHex2) : CDataField(formatId) {}
    QString GetText() const override;
    const std::uint8_t *Parse(const std::uint8_t *p) override;

    std::uint8_t m_nValue = 0;
};

// Little-endian 16-bit value.
class CWordField : public CDataField
{
public:
    explicit CWordField(std::uint32_t formatId = Str::FmtMoney) : CDataField(formatId) {}
    QString GetText() const override;
    const std::uint8_t *Parse(const std::uint8_t *p) override;

    std::uint16_t m_nValue = 0;
};

// Little-endian 32-bit value, shown as a signed int (FF FF FF FF shows -1).
class CDwordField : public CDataField
{
public:
    explicit CDwordField(std::uint32_t formatId = Str::FmtMoney) : CDataField(formatId) {}
    QString GetText() const override;
    const std::uint8_t *Parse(const std::uint8_t *p) override;

    std::uint32_t m_nValue = 0;
};

// An 8-byte hardware key, bytes in line order.
class CKeyField : public CDataField
{
public:
    static constexpr std::size_t kLength = 8;

    explicit CKeyField(std::uint32_t formatId = Str::FmtKey) : CDataField(formatId) {}
    // Changes the key only when the text holds all eight numbers; otherwise keeps it.
    void SetFromText(const QString &text) override;
    QString GetText() const override;
    const std::uint8_t *Parse(const std::uint8_t *p) override;

    // Reads a key in the key format: eight hexadecimal numbers of one or two digits, blanks of
    // the format matching any run of white space, the dashes required, nothing but white space
    // after the last number. True, and `out` written, only when all eight scan.
    static bool ScanKey(const QString &text, std::uint8_t out[kLength]);
    // A key as a person types it (command line, key files): 16 hexadecimal digits, blanks and
    // dashes anywhere, so the window's form and plain digits both do. True, and `out`
    // written, only for exactly 16 digits.
    static bool ParseTyped(const QString &text, std::uint8_t out[kLength]);
    // The key in the key format, as ScanKey reads it.
    static QString FormatKey(const std::uint8_t key[kLength]);

    std::uint8_t m_abKey[kLength] = {};
};

// Fixed-width text, NUL-padded on the line, in the unit's code page. The buffer is a member
// array, so records copy and move safely and parsing never allocates.
class CTextField : public CDataField
{
public:
    static constexpr std::size_t kMaxWidth = 64; // the widest text of the unit

    // Widths above kMaxWidth are cut to it.
    explicit CTextField(std::size_t width = 16);
    QString GetText() const override;
    const std::uint8_t *Parse(const std::uint8_t *p) override;

    char m_pszText[kMaxWidth + 1] = {}; // byte m_nLength (and every one after) stays NUL
    std::size_t m_nLength;
};

// Two bytes shown "%s:%s", e.g. hour and minute.
class CPairField : public CDataField
{
public:
    explicit CPairField(std::uint32_t formatId = Str::FmtPair) : CDataField(formatId) {}
    QString GetText() const override;
    const std::uint8_t *Parse(const std::uint8_t *p) override;

    CByteField m_first{Str::FmtHex2};
    CByteField m_second{Str::FmtHex2};
};

// Year and month (or quarter) of the period logs.
class CYearMonthField : public CDataField
{
public:
    explicit CYearMonthField(std::uint32_t formatId = Str::FmtPair) : CDataField(formatId) {}
    QString GetText() const override;
    const std::uint8_t *Parse(const std::uint8_t *p) override;

    CByteField m_year{Str::FmtYear};
    CByteField m_month{Str::FmtHex2};
};

class CDateField : public CDataField
{
public:
    explicit CDateField(std::uint32_t formatId = Str::FmtDate) : CDataField(formatId) {}
    QString GetText() const override;
    const std::uint8_t *Parse(const std::uint8_t *p) override;

    CByteField m_year{Str::FmtYear};
    CByteField m_month{Str::FmtHex2};
    CByteField m_day{Str::FmtHex2};
};

// Date then time on the line (YY MM DD hh mm), although the time is the first member.
class CDateTimeField : public CDataField
{
public:
    explicit CDateTimeField(std::uint32_t formatId = Str::FmtDateTime) : CDataField(formatId) {}
    QString GetText() const override;
    const std::uint8_t *Parse(const std::uint8_t *p) override;

    CPairField m_time{Str::FmtPair};
    CDateField m_date{Str::FmtDate};
};

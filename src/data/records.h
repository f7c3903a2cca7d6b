#pragma once
// The unit's record types, built from typed fields in wire order. A record's Parse walks its
// fields over a buffer that holds the whole record (kWireLength bytes) and returns the position
// after it. List records number their columns in wire order; any other column number gives
// the empty text.

#include "fields.h"
#include "stringtable.h"

#include <array>
#include <cstddef>
#include <type_traits>

// Each record lists its fields once, in wire order (which is also the column order of the list
// records); Parse and GetColumnText walk that list.
namespace RecordFields {
template<class Record>
using Ptr = std::conditional_t<std::is_const_v<Record>, const CDataField *, CDataField *>;

template<std::size_t N>
const std::uint8_t *Parse(const std::array<CDataField *, N> &fields, const std::uint8_t *p)
{
    for (CDataField *field : fields)
        p = field->Parse(p);
    return p;
}

template<std::size_t N>
QString ColumnText(const std::array<const CDataField *, N> &fields, int column)
{
    if (column < 0 || static_cast<std::size_t>(column) >= N)
        return QString();
    return fields[static_cast<std::size_t>(column)]->GetText();
}
} // namespace RecordFields

// One key usage log entry.
class CKeyLogRecord : public CDataField
{
public:
    static constexpr std::size_t kWireLength = 18;
    static constexpr int kColumns = 3;
    static constexpr std::array<unsigned, kColumns> kColumnTitles{Str::ColKey, Str::ColStart, Str::ColEnd};

    const std::uint8_t *Parse(const std::uint8_t *p) override { return RecordFields::Parse(FieldsOf(*this), p); }
    QString GetColumnText(int column) const override
    {
        return RecordFields::ColumnText(FieldsOf(*this), column);
    }
    template<class Self>
    static std::array<RecordFields::Ptr<Self>, 3> FieldsOf(Self &r) { return {&r.m_key, &r.m_start, &r.m_end}; }

    CKeyField m_key{Str::FmtKey};
    CDateTimeField m_start{Str::FmtDateTime};
    CDateTimeField m_end{Str::FmtDateTime};
};

// One date modification entry.
class CDateLogRecord : public CDataField
{
public:
    static constexpr std::size_t kWireLength = 10;
    static constexpr int kColumns = 2;
    static constexpr std::array<unsigned, kColumns> kColumnTitles{Str::ColOldDate, Str::ColNewDate};

    const std::uint8_t *Parse(const std::uint8_t *p) override { return RecordFields::Parse(FieldsOf(*this), p); }
    QString GetColumnText(int column) const override
    {
        return RecordFields::ColumnText(FieldsOf(*this), column);
    }
    template<class Self>
    static std::array<RecordFields::Ptr<Self>, 2> FieldsOf(Self &r) { return {&r.m_oldDate, &r.m_newDate}; }

    CDateTimeField m_oldDate{Str::FmtDateTime};
    CDateTimeField m_newDate{Str::FmtDateTime};
};

// One day of the daily log.
class CDailyRecord : public CDataField
{
public:
    static constexpr std::size_t kWireLength = 25;
    static constexpr int kColumns = 7;
    static constexpr std::array<unsigned, kColumns> kColumnTitles{
        Str::ColDate, Str::ColCashIn, Str::ColCashOut, Str::ColStake, Str::ColWin, Str::ColWinMax, Str::ColWinMaxTime};

    const std::uint8_t *Parse(const std::uint8_t *p) override { return RecordFields::Parse(FieldsOf(*this), p); }
    QString GetColumnText(int column) const override
    {
        return RecordFields::ColumnText(FieldsOf(*this), column);
    }
    template<class Self>
    static std::array<RecordFields::Ptr<Self>, 7> FieldsOf(Self &r) { return {&r.m_date, &r.m_cashIn, &r.m_cashOut, &r.m_stake, &r.m_win, &r.m_winMax, &r.m_winMaxTime}; }

    CDateField m_date{Str::FmtDate};
    CDwordField m_cashIn{Str::FmtMoney};
    CDwordField m_cashOut{Str::FmtMoney};
    CDwordField m_stake{Str::FmtMoney};
    CDwordField m_win{Str::FmtMoney};
    CDwordField m_winMax{Str::FmtMoney};
    CPairField m_winMaxTime{Str::FmtPair}; // hour, minute
};

// One month of the monthly log or one quarter of the quarterly log.
class CPeriodRecord : public CDataField
{
public:
    static constexpr std::size_t kWireLength = 18;
    static constexpr int kColumns = 5;
    static constexpr std::array<unsigned, kColumns> kColumnTitles{
        Str::ColDate, Str::ColCashIn, Str::ColCashOut, Str::ColStake, Str::ColWin};

    const std::uint8_t *Parse(const std::uint8_t *p) override { return RecordFields::Parse(FieldsOf(*this), p); }
    QString GetColumnText(int column) const override
    {
        return RecordFields::ColumnText(FieldsOf(*this), column);
    }
    template<class Self>
    static std::array<RecordFields::Ptr<Self>, 5> FieldsOf(Self &r) { return {&r.m_date, &r.m_cashIn, &r.m_cashOut, &r.m_stake, &r.m_win}; }

    CYearMonthField m_date{Str::FmtPair}; // year, then the month or quarter byte
    CDwordField m_cashIn{Str::FmtMoney};
    CDwordField m_cashOut{Str::FmtMoney};
    CDwordField m_stake{Str::FmtMoney};
    CDwordField m_win{Str::FmtMoney};
};

// One year of the yearly log.
class CYearlyRecord : public CDataField
{
public:
    static constexpr std::size_t kWireLength = 17;
    static constexpr int kColumns = 5;
    static constexpr std::array<unsigned, kColumns> kColumnTitles{
        Str::ColDate, Str::ColCashIn, Str::ColCashOut, Str::ColStake, Str::ColWin};

    const std::uint8_t *Parse(const std::uint8_t *p) override { return RecordFields::Parse(FieldsOf(*this), p); }
    QString GetColumnText(int column) const override
    {
        return RecordFields::ColumnText(FieldsOf(*this), column);
    }
    template<class Self>
    static std::array<RecordFields::Ptr<Self>, 5> FieldsOf(Self &r) { return {&r.m_year, &r.m_cashIn, &r.m_cashOut, &r.m_stake, &r.m_win}; }

    CByteField m_year{Str::FmtYear};
    CDwordField m_cashIn{Str::FmtMoney};
    CDwordField m_cashOut{Str::FmtMoney};
    CDwordField m_stake{Str::FmtMoney};
    CDwordField m_win{Str::FmtMoney};
};

// The unit's current counters. On the line (and in the columns) the WinMax time comes before
// the game counter, unlike the order of the members.
class CCountersRecord : public CDataField
{
public:
    static constexpr std::size_t kWireLength = 26;
    static constexpr int kColumns = 7;
    static constexpr std::array<unsigned, kColumns> kColumnTitles{
        Str::LblCashIn, Str::LblCashOut, Str::LblStake, Str::LblWin, Str::LblWinMax, Str::ColWinMaxTime,
        Str::LblGameCounter};

    const std::uint8_t *Parse(const std::uint8_t *p) override { return RecordFields::Parse(FieldsOf(*this), p); }
    QString GetColumnText(int column) const override
    {
        return RecordFields::ColumnText(FieldsOf(*this), column);
    }
    template<class Self>
    static std::array<RecordFields::Ptr<Self>, 7> FieldsOf(Self &r) { return {&r.m_cashIn, &r.m_cashOut, &r.m_stake, &r.m_win, &r.m_winMax, &r.m_winMaxTime, &r.m_games}; }

    CDwordField m_cashIn{Str::FmtMoney};
    CDwordField m_cashOut{Str::FmtMoney};
    CDwordField m_stake{Str::FmtMoney};
    CDwordField m_win{Str::FmtMoney};
    CDwordField m_winMax{Str::FmtMoney};
    CDwordField m_games{Str::FmtCount};
    CPairField m_winMaxTime{Str::FmtPair}; // hour, minute
};

// The unit's configuration, read in 18 chunks of one field each. The views read the members;
// there are no columns.
class CConfigRecord : public CDataField
{
public:
    static constexpr std::size_t kWireLength = 346;

    const std::uint8_t *Parse(const std::uint8_t *p) override { return RecordFields::Parse(FieldsOf(*this), p); }
    template<class Self>
    static std::array<RecordFields::Ptr<Self>, 18> FieldsOf(Self &r) { return {&r.m_type, &r.m_mfgNo, &r.m_mfgDate, &r.m_licenceNo, &r.m_licenceExpiry, &r.m_cardMfgNo, &r.m_omhId, &r.m_certCode, &r.m_certDate, &r.m_labCode, &r.m_certificateNo, &r.m_name, &r.m_address, &r.m_counterStep, &r.m_initialIn, &r.m_initialOut, &r.m_initialStake, &r.m_note}; }

    CTextField m_type{16};
    CTextField m_mfgNo{16};
    CTextField m_mfgDate{16};
    CTextField m_licenceNo{16};
    CTextField m_licenceExpiry{16};
    CTextField m_cardMfgNo{16};
    CTextField m_omhId{8};
    CTextField m_certCode{2};
    CTextField m_certDate{16};
    CTextField m_labCode{2};
    CTextField m_certificateNo{16};
    CTextField m_name{64};
    CTextField m_address{64};
    CWordField m_counterStep{Str::FmtMoney};
    CDwordField m_initialIn{Str::FmtMoney};
    CDwordField m_initialOut{Str::FmtMoney};
    CDwordField m_initialStake{Str::FmtMoney};
    CTextField m_note{64};
};

// One configuration event: the configuration as set, the counters just before the change and
// the time of the change; 24 chunks.
class CConfEventRecord : public CDataField
{
public:
    static constexpr std::size_t kWireLength = 371;

    const std::uint8_t *Parse(const std::uint8_t *p) override { return RecordFields::Parse(FieldsOf(*this), p); }
    template<class Self>
    static std::array<RecordFields::Ptr<Self>, 7> FieldsOf(Self &r) { return {&r.m_config, &r.m_in, &r.m_out, &r.m_stake, &r.m_win, &r.m_games, &r.m_changeTime}; }

    CConfigRecord m_config;
    CDwordField m_in{Str::FmtMoney};
    CDwordField m_out{Str::FmtMoney};
    CDwordField m_stake{Str::FmtMoney};
    CDwordField m_win{Str::FmtMoney};
    CDwordField m_games{Str::FmtCount};
    CDateTimeField m_changeTime{Str::FmtDateTime};
};

#include "datasettable.h"

#include "commandtable.h"
#include "records.h"
#include "stringtable.h"

#include <array>

namespace Quilo {

namespace {

// What each record type takes on the line must be what the unit sends for its command.
static_assert(dataLength(CmdDaily, 1) == CDailyRecord::kWireLength);
static_assert(dataLength(CmdMonthly, 1) == CPeriodRecord::kWireLength);
static_assert(dataLength(CmdQuarterly, 1) == CPeriodRecord::kWireLength);
static_assert(dataLength(CmdYearly, 1) == CYearlyRecord::kWireLength);
static_assert(dataLength(CmdDateLog, 1) == CDateLogRecord::kWireLength);
static_assert(dataLength(CmdKeyLogOmh, 1) == CKeyLogRecord::kWireLength);
static_assert(dataLength(CmdKeyLogSzf, 1) == CKeyLogRecord::kWireLength);
static_assert(dataLength(CmdCounters, 0) == CCountersRecord::kWireLength);
static_assert(dataLength(CmdDateTime, 0) == 5 && dataLength(CmdSetDateTime, 0) == 5);
static_assert(dataLength(CmdKey, 0) == CKeyField::kLength && dataLength(CmdKey, 192) == CKeyField::kLength);

constexpr std::size_t chunkSum(std::size_t chunks)
{
    std::size_t n = 0;
    for (std::size_t k = 1; k <= chunks; ++k)
        n += dataLength(CmdConfEventFirst, static_cast<std::uint8_t>(k));
    return n;
}
static_assert(chunkSum(kConfigChunks) == CConfigRecord::kWireLength && kConfigBytes == CConfigRecord::kWireLength);
static_assert(chunkSum(kConfEventChunks) == CConfEventRecord::kWireLength);
static_assert(dataLength(CmdConfig, kConfigChunks) != 0 && dataLength(CmdConfig, kConfigChunks + 1) == 0);

// In the order the command line reads them (the tree lists them the other way up).
constexpr std::array<KeyGroup, 4> kKeyTableGroups{{
    {"organizer", Str::GroupOrganizer, 0, 31, CmdKey, 1},
    {"LAB", Str::GroupLab, 32, 63, CmdKey, 33},
    {"SZF", Str::GroupSzf, 64, 127, CmdKey, 65},
    {"OMH", Str::GroupOmh, 128, 191, CmdKey, 129},
}};
static_assert(dataLength(CmdKey, 1) != 0 && dataLength(CmdKey, 192) != 0 && dataLength(CmdKey, 193) == 0);

constexpr std::array<KeyGroup, 2> kKeyLogGroups{{
    {"OMH", Str::GroupOmh, 0, 19, CmdKeyLogOmh, 1},
    {"SZF", Str::GroupSzf, 20, 39, CmdKeyLogSzf, 1},
}};
static_assert(dataLength(CmdKeyLogOmh, 20) != 0 && dataLength(CmdKeyLogOmh, 21) == 0);

// The headings of the configuration's fields come from ConfigFields(); the others from the
// record types.
const std::array<DataSetInfo, 12> kDataSets{{
    {dsCounters, "counters", Str::TitleCounters, 42000, SetShape::Single, CmdCounters, 1,
     CCountersRecord::kWireLength, 0, 1, {}, CCountersRecord::kColumnTitles},
    {dsDateTime, "datetime", Str::TitleDateTime, 42005, SetShape::Single, CmdDateTime, 1, 5, 0, 1, {}, {}},
    {dsCurrentKey, "current-key", Str::TitleCurrentKey, 42009, SetShape::Single, CmdKey, 1, CKeyField::kLength, 0,
     1, {}, {}},
    {dsConfig, "config", Str::TitleConfig, 42011, SetShape::Chunked, CmdConfig, 1, kConfigBytes, kConfigChunks, 1,
     {}, {}},
    {dsConfEvents, "conf-event", Str::TitleConfEvents, 42012, SetShape::Chunked, CmdConfEventFirst,
     static_cast<unsigned>(kConfEvents), kConfEventBytes, kConfEventChunks, 1, {}, {}},
    {dsDaily, "daily", Str::TitleDaily, 42001, SetShape::Records, CmdDaily, 31, CDailyRecord::kWireLength, 0, 31,
     {}, CDailyRecord::kColumnTitles},
    {dsMonthly, "monthly", Str::TitleMonthly, 42002, SetShape::Records, CmdMonthly, 61, CPeriodRecord::kWireLength,
     0, 61, {}, CPeriodRecord::kColumnTitles},
    {dsQuarterly, "quarterly", Str::TitleQuarterly, 42003, SetShape::Records, CmdQuarterly, 21,
     CPeriodRecord::kWireLength, 0, 21, {}, CPeriodRecord::kColumnTitles},
    {dsYearly, "yearly", Str::TitleYearly, 42004, SetShape::Records, CmdYearly, 6, CYearlyRecord::kWireLength, 0, 6,
     {}, CYearlyRecord::kColumnTitles},
    {dsDateLog, "date-log", Str::TitleDateLog, 42006, SetShape::Records, CmdDateLog, 60,
     CDateLogRecord::kWireLength, 0, 20, {}, CDateLogRecord::kColumnTitles},
    {dsKeyLogs, "key-logs", Str::TitleKeyLogs, 42008, SetShape::Records, CmdKeyLogOmh, 40,
     CKeyLogRecord::kWireLength, 0, 20, kKeyLogGroups, CKeyLogRecord::kColumnTitles},
    {dsKeyTable, "key-table", Str::TitleKeyTable, 42007, SetShape::Records, CmdKey, 192, CKeyField::kLength, 0, 64,
     kKeyTableGroups, {}},
}};

// Record counts that the unit's command ranges must cover.
static_assert(dataLength(CmdDaily, 31) != 0 && dataLength(CmdDaily, 32) == 0);
static_assert(dataLength(CmdMonthly, 61) != 0 && dataLength(CmdMonthly, 62) == 0);
static_assert(dataLength(CmdQuarterly, 21) != 0 && dataLength(CmdQuarterly, 22) == 0);
static_assert(dataLength(CmdYearly, 6) != 0 && dataLength(CmdYearly, 7) == 0);
static_assert(dataLength(CmdDateLog, 60) != 0 && dataLength(CmdDateLog, 61) == 0);

constexpr std::array<ConfigFieldInfo, kConfigChunks> kConfigFields{{
    {Str::LblCfgType, true},
    {Str::LblCfgMfgNo, true},
    {Str::LblCfgMfgDate, true},
    {Str::LblCfgLicenceNo, true},
    {Str::LblCfgLicenceExpiry, true},
    {Str::LblCfgCardMfgNo, true},
    {Str::LblCfgOmhId, true},
    {Str::LblCfgCertCode, true},
    {Str::LblCfgCertDate, true},
    {Str::LblCfgLabCode, true},
    {Str::LblCfgCertificateNo, true},
    {Str::LblCfgName, true},
    {Str::LblCfgAddress, true},
    {Str::LblCfgCounterStep, false},
    {Str::LblCfgInitialIn, false},
    {Str::LblCfgInitialOut, false},
    {Str::LblCfgInitialStake, false},
    {Str::LblCfgNote, true},
}};

constexpr std::array<unsigned, kConfEventChunks - kConfigChunks> kEventExtraLabels{
    Str::LblIn, Str::LblOut, Str::LblStakeColon, Str::LblWinColon, Str::LblGames, Str::LblChangeTime};

} // namespace

std::span<const DataSetInfo> DataSets()
{
    return kDataSets;
}

const DataSetInfo *FindDataSet(int id)
{
    for (const DataSetInfo &s : kDataSets)
        if (s.id == id)
            return &s;
    return nullptr;
}

const DataSetInfo *FindDataSet(const QString &name)
{
    for (const DataSetInfo &s : kDataSets)
        if (name.compare(QLatin1String(s.name), Qt::CaseInsensitive) == 0)
            return &s;
    return nullptr;
}

const DataSetInfo *FindDataSetByView(unsigned viewCommand)
{
    for (const DataSetInfo &s : kDataSets)
        if (s.viewCommand == viewCommand)
            return &s;
    return nullptr;
}

const KeyGroup *FindGroup(const DataSetInfo &set, unsigned first, unsigned last)
{
    for (const KeyGroup &g : set.groups)
        if (g.first == first && g.last == last)
            return &g;
    return nullptr;
}

const KeyGroup *FindGroup(const DataSetInfo &set, const QString &name)
{
    for (const KeyGroup &g : set.groups)
        if (name.compare(QLatin1String(g.name), Qt::CaseInsensitive) == 0)
            return &g;
    return nullptr;
}

CDataSetRequest RequestFor(int dataSet, unsigned firstKey, int configEvent)
{
    const DataSetInfo *set = FindDataSet(dataSet);
    if (!set)
        return {};
    switch (set->id) {
    case dsKeyTable: return {CmdKey, firstKey + 1};
    // The key logs' command follows from where the range starts: OMH's from record 0.
    case dsKeyLogs: return {firstKey == 0 ? CmdKeyLogOmh : CmdKeyLogSzf, 1};
    case dsConfEvents:
        if (configEvent < 0 || configEvent >= static_cast<int>(kConfEvents))
            return {}; // no such event
        return {static_cast<std::uint8_t>(CmdConfEventFirst + configEvent), 1};
    default: return {set->command, set->shape == SetShape::Single ? 0u : 1u};
    }
}

std::span<const ConfigFieldInfo> ConfigFields()
{
    return kConfigFields;
}

std::span<const unsigned> EventExtraLabels()
{
    return kEventExtraLabels;
}

} // namespace Quilo

#include "datasets.h"

#include "commandtable.h"
#include "stringtable.h"
#include "tarveldoc.h"

#include <iterator>

namespace QuiloCli {

namespace {

struct GroupRow {
    unsigned groupId;
    unsigned first;
    unsigned last;
};

// Key table groups, in the order the navigation tree lists them from the bottom up.
constexpr GroupRow kKeyTableGroups[] = {
    {Str::GroupOrganizer, 0, 31},
    {Str::GroupLab, 32, 63},
    {Str::GroupSzf, 64, 127},
    {Str::GroupOmh, 128, 191},
};

// Key usage logs: OMH is read with its own command from record 0, SZF from record 20.
constexpr GroupRow kKeyLogGroups[] = {
    {Str::GroupOmh, 0, 19},
    {Str::GroupSzf, 20, 39},
};

struct SetRow {
    const char *name;
    int dataSet;
    unsigned count;     // records; 0 for sets that need a group
    unsigned titleId;
};

constexpr SetRow kSets[] = {
    {"counters", CTarvelDoc::dsCounters, 1, Str::TitleCounters},
    {"datetime", CTarvelDoc::dsDateTime, 1, Str::TitleDateTime},
    {"current-key", CTarvelDoc::dsCurrentKey, 1, Str::TitleCurrentKey},
    {"config", CTarvelDoc::dsConfig, 1, Str::TitleConfig},
    {"conf-event", CTarvelDoc::dsConfEvents, 1, Str::TitleConfEvents},
    {"daily", CTarvelDoc::dsDaily, 31, Str::TitleDaily},
    {"monthly", CTarvelDoc::dsMonthly, 61, Str::TitleMonthly},
    {"quarterly", CTarvelDoc::dsQuarterly, 21, Str::TitleQuarterly},
    {"yearly", CTarvelDoc::dsYearly, 6, Str::TitleYearly},
    {"date-log", CTarvelDoc::dsDateLog, 60, Str::TitleDateLog},
    {"key-logs", CTarvelDoc::dsKeyLogs, 0, Str::TitleKeyLogs},
    {"key-table", CTarvelDoc::dsKeyTable, 0, Str::TitleKeyTable},
};

const SetRow *findSet(const QString &word)
{
    for (const SetRow &row : kSets)
        if (word.compare(QLatin1String(row.name), Qt::CaseInsensitive) == 0)
            return &row;
    if (word.compare(QLatin1String("conf-events"), Qt::CaseInsensitive) == 0)
        return &kSets[4];
    return nullptr;
}

CSetSpec specFrom(const SetRow &row)
{
    CSetSpec want;
    want.name = QLatin1String(row.name);
    want.dataSet = row.dataSet;
    want.titleId = row.titleId;
    want.first = 0;
    want.last = row.count > 0 ? row.count - 1 : 0;
    return want;
}

QString groupNames(const GroupRow *rows, std::size_t count)
{
    QStringList names;
    for (std::size_t i = 0; i < count; ++i)
        names << LoadString(rows[i].groupId);
    return names.join(QStringLiteral(", "));
}

// Group names compare without regard to case: "lab" on a command line means "LAB".
const GroupRow *findGroup(const QString &word, const GroupRow *rows, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        if (word.compare(LoadString(rows[i].groupId), Qt::CaseInsensitive) == 0)
            return &rows[i];
    return nullptr;
}

bool applyGroup(CSetSpec *want, const QStringList &words, const GroupRow *rows, std::size_t count,
                QString *error)
{
    if (words.size() < 2) {
        *error = LoadString(Str::CliErrGroupMissing).arg(want->name, groupNames(rows, count));
        return false;
    }
    const GroupRow *group = findGroup(words.at(1), rows, count);
    if (!group) {
        *error = LoadString(Str::CliErrUnknownGroup).arg(words.at(1), want->name, groupNames(rows, count));
        return false;
    }
    want->groupId = group->groupId;
    want->first = group->first;
    want->last = group->last;
    return true;
}

} // namespace

int CSetSpec::transactionCount() const
{
    if (dataSet == CTarvelDoc::dsConfig)
        return static_cast<int>(Quilo::kConfigChunks);
    if (dataSet == CTarvelDoc::dsConfEvents)
        return static_cast<int>(Quilo::kConfEventChunks);
    return recordCount();
}

QString CSetSpec::label() const
{
    if (groupId != 0)
        return name + QLatin1Char(' ') + LoadString(groupId);
    if (event >= 0)
        return name + QLatin1Char(' ') + QString::number(event + 1);
    return name;
}

QStringList SetNames()
{
    QStringList names;
    for (const SetRow &row : kSets)
        names << QLatin1String(row.name);
    names << QStringLiteral("all");
    return names;
}

bool ResolveKeyGroup(const QString &word, CSetSpec *group, QString *error)
{
    CSetSpec want = specFrom(kSets[std::size(kSets) - 1]);
    if (!applyGroup(&want, {want.name, word}, kKeyTableGroups, std::size(kKeyTableGroups), error))
        return false;
    *group = want;
    return true;
}

QList<CSetSpec> AllSets()
{
    QList<CSetSpec> sets;
    for (const SetRow &row : kSets) {
        const CSetSpec want = specFrom(row);
        if (row.dataSet == CTarvelDoc::dsConfEvents) {
            for (int e = 0; e < static_cast<int>(Quilo::kConfEvents); ++e) {
                CSetSpec event = want;
                event.event = e;
                sets << event;
            }
        } else if (row.dataSet == CTarvelDoc::dsKeyLogs || row.dataSet == CTarvelDoc::dsKeyTable) {
            const bool logs = row.dataSet == CTarvelDoc::dsKeyLogs;
            const GroupRow *groups = logs ? kKeyLogGroups : kKeyTableGroups;
            const std::size_t count = logs ? std::size(kKeyLogGroups) : std::size(kKeyTableGroups);
            for (std::size_t g = 0; g < count; ++g) {
                CSetSpec grouped = want;
                grouped.groupId = groups[g].groupId;
                grouped.first = groups[g].first;
                grouped.last = groups[g].last;
                sets << grouped;
            }
        } else {
            sets << want;
        }
    }
    return sets;
}

bool ResolveSets(const QStringList &words, QList<CSetSpec> *sets, QString *error)
{
    sets->clear();
    if (words.isEmpty()) {
        *error = LoadString(Str::CliErrSetMissing).arg(SetNames().join(QStringLiteral(", ")));
        return false;
    }
    const QString &word = words.first();
    int allowed = 1; // words the set takes, its name included
    if (word.compare(QLatin1String("all"), Qt::CaseInsensitive) == 0) {
        *sets = AllSets();
    } else if (const SetRow *row = findSet(word)) {
        CSetSpec want = specFrom(*row);
        if (row->dataSet == CTarvelDoc::dsKeyLogs || row->dataSet == CTarvelDoc::dsKeyTable) {
            const bool logs = row->dataSet == CTarvelDoc::dsKeyLogs;
            allowed = 2;
            if (!applyGroup(&want, words, logs ? kKeyLogGroups : kKeyTableGroups,
                            logs ? std::size(kKeyLogGroups) : std::size(kKeyTableGroups), error))
                return false;
            *sets << want;
        } else if (row->dataSet == CTarvelDoc::dsConfEvents) {
            allowed = 2;
            if (words.size() < 2 || words.at(1).compare(QLatin1String("all"), Qt::CaseInsensitive) == 0) {
                for (int e = 0; e < static_cast<int>(Quilo::kConfEvents); ++e) {
                    want.event = e;
                    *sets << want;
                }
            } else {
                bool ok = false;
                const int number = words.at(1).toInt(&ok);
                if (!ok || number < 1 || number > static_cast<int>(Quilo::kConfEvents)) {
                    *error = LoadString(Str::CliErrEvent).arg(words.at(1));
                    return false;
                }
                want.event = number - 1;
                *sets << want;
            }
        } else {
            *sets << want;
        }
    } else {
        *error = LoadString(Str::CliErrUnknownSet).arg(word, SetNames().join(QStringLiteral(", ")));
        return false;
    }
    if (words.size() > allowed) {
        *error = LoadString(Str::CliErrExtraWords).arg(words.mid(allowed).join(QLatin1Char(' ')));
        sets->clear();
        return false;
    }
    return true;
}

} // namespace QuiloCli

#include "datasets.h"

#include "commandtable.h"
#include "datasettable.h"
#include "stringtable.h"

#include <algorithm>
#include "tarveldoc.h"


namespace Quilo {

namespace {

using Quilo::DataSetInfo;
using Quilo::KeyGroup;

const DataSetInfo *findSet(const QString &word)
{
    if (word.compare(QLatin1String("conf-events"), Qt::CaseInsensitive) == 0)
        return Quilo::FindDataSet(Quilo::dsConfEvents);
    return Quilo::FindDataSet(word);
}

CSetSpec specFrom(const DataSetInfo &set)
{
    CSetSpec want;
    want.name = QLatin1String(set.name);
    want.dataSet = set.id;
    want.titleId = set.title;
    want.first = 0;
    want.last = set.groups.empty() && set.shape == Quilo::SetShape::Records ? set.records - 1 : 0;
    return want;
}

void setGroup(CSetSpec *want, const KeyGroup &group)
{
    want->groupId = group.title;
    want->groupName = QLatin1String(group.name);
    want->first = group.first;
    want->last = group.last;
}

QString groupNames(const DataSetInfo &set)
{
    QStringList names;
    for (const KeyGroup &g : set.groups)
        names << QLatin1String(g.name);
    return names.join(QStringLiteral(", "));
}

// Group names compare without regard to case: "lab" on a command line means "LAB".
Done applyGroup(CSetSpec *want, const QStringList &words, const DataSetInfo &set)
{
    if (words.size() < 2)
        return Failed{LoadString(Str::CliErrGroupMissing).arg(want->name, groupNames(set))};
    const KeyGroup *group = Quilo::FindGroup(set, words.at(1));
    if (!group)
        return Failed{LoadString(Str::CliErrUnknownGroup).arg(words.at(1), want->name, groupNames(set))};
    setGroup(want, *group);
    return {};
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
    if (!groupName.isEmpty())
        return name + QLatin1Char(' ') + groupName;
    if (event >= 0)
        return name + QLatin1Char(' ') + QString::number(event + 1);
    return name;
}

QStringList SetNames()
{
    QStringList names;
    for (const DataSetInfo &set : Quilo::DataSets())
        names << QLatin1String(set.name);
    names << QStringLiteral("all");
    return names;
}

Result<CSetSpec> ResolveKeyGroup(const QString &word)
{
    const DataSetInfo &table = *Quilo::FindDataSet(Quilo::dsKeyTable);
    CSetSpec want = specFrom(table);
    if (Done applied = applyGroup(&want, {want.name, word}, table); !applied)
        return applied.failure();
    return want;
}

CSetSpec SpecFor(int dataSet, unsigned first, unsigned last, int event)
{
    const DataSetInfo *set = Quilo::FindDataSet(dataSet);
    if (!set)
        return CSetSpec();
    CSetSpec want = specFrom(*set);
    if (set->id == Quilo::dsConfEvents) {
        want.event = std::clamp(event, 0, static_cast<int>(set->records) - 1);
    } else if (!set->groups.empty()) {
        if (const KeyGroup *group = Quilo::FindGroup(*set, first, last)) {
            setGroup(&want, *group);
        } else {
            want.first = std::min(first, set->records - 1);
            want.last = std::clamp(last, want.first, set->records - 1);
        }
    }
    return want;
}

QList<CSetSpec> AllSets()
{
    QList<CSetSpec> sets;
    for (const DataSetInfo &set : Quilo::DataSets()) {
        const CSetSpec want = specFrom(set);
        if (set.id == Quilo::dsConfEvents) {
            for (int e = 0; e < static_cast<int>(set.records); ++e) {
                CSetSpec event = want;
                event.event = e;
                sets << event;
            }
        } else if (!set.groups.empty()) {
            for (const KeyGroup &g : set.groups) {
                CSetSpec grouped = want;
                setGroup(&grouped, g);
                sets << grouped;
            }
        } else {
            sets << want;
        }
    }
    return sets;
}

Result<QList<CSetSpec>> ResolveSets(const QStringList &words)
{
    QList<CSetSpec> sets;
    if (words.isEmpty())
        return Failed{LoadString(Str::CliErrSetMissing).arg(SetNames().join(QStringLiteral(", ")))};
    const QString &word = words.first();
    int allowed = 1; // words the set takes, its name included
    if (word.compare(QLatin1String("all"), Qt::CaseInsensitive) == 0) {
        sets = AllSets();
    } else if (const DataSetInfo *set = findSet(word)) {
        CSetSpec want = specFrom(*set);
        if (!set->groups.empty()) {
            allowed = 2;
            if (Done applied = applyGroup(&want, words, *set); !applied)
                return applied.failure();
            sets << want;
        } else if (set->id == Quilo::dsConfEvents) {
            allowed = 2;
            if (words.size() < 2 || words.at(1).compare(QLatin1String("all"), Qt::CaseInsensitive) == 0) {
                for (int e = 0; e < static_cast<int>(set->records); ++e) {
                    want.event = e;
                    sets << want;
                }
            } else {
                bool ok = false;
                const int number = words.at(1).toInt(&ok);
                if (!ok || number < 1 || number > static_cast<int>(set->records))
                    return Failed{LoadString(Str::CliErrEvent).arg(words.at(1))};
                want.event = number - 1;
                sets << want;
            }
        } else {
            sets << want;
        }
    } else {
        return Failed{LoadString(Str::CliErrUnknownSet).arg(word, SetNames().join(QStringLiteral(", ")))};
    }
    if (words.size() > allowed)
        return Failed{LoadString(Str::CliErrExtraWords).arg(words.mid(allowed).join(QLatin1Char(' ')))};
    return sets;
}

} // namespace Quilo

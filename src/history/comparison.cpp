#include "comparison.h"

#include "datasettable.h"
#include "fields.h"
#include "records.h"
#include "stringtable.h"
#include "readout.h"
#include "unitclock.h"

#include <QJsonArray>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <set>

namespace Quilo {

namespace {

// The bytes a record holds, when it holds what the unit sent.
QByteArray heldBytes(const ReadOut &readOut, DataSetId set, unsigned index)
{
    return readOut.HoldsUnitValue(set, index) ? readOut.Meta(set, index)->raw : QByteArray();
}

// A record whose every part came: a configuration or an event with a chunk that failed holds
// zeros there, which must not be taken for what the unit keeps.
bool wholeRead(const ReadOut &readOut, DataSetId set, unsigned index)
{
    if (!readOut.HoldsUnitValue(set, index))
        return false;
    const CRecordMeta *meta = readOut.Meta(set, index);
    return !meta || meta->failedChunks().isEmpty();
}

// Runs of row numbers, counted from 1: "1-5, 9".
QString runsText(const QList<unsigned> &rows)
{
    QStringList runs;
    for (qsizetype i = 0; i < rows.size();) {
        qsizetype j = i;
        while (j + 1 < rows.size() && rows.at(j + 1) == rows.at(j) + 1)
            ++j;
        runs << (i == j ? QString::number(rows.at(i) + 1)
                        : QString::number(rows.at(i) + 1) + QLatin1Char('-') + QString::number(rows.at(j) + 1));
        i = j + 1;
    }
    return runs.join(QStringLiteral(", "));
}

// The records of `set` (each of its groups apart) that one visit did not read whole, as
// entries of the comparison's "not compared" list.
void listNotRead(const ReadOut &readOut, qint64 visit, DataSetId set, Comparison &out)
{
    const DataSetInfo *info = FindDataSet(set);
    const auto add = [&](const QString &what, unsigned first, unsigned last) {
        QList<unsigned> rows;
        for (unsigned i = first; i <= last; ++i)
            if (!wholeRead(readOut, set, i))
                rows << i - first;
        if (rows.isEmpty())
            return;
        const bool whole = rows.size() == static_cast<qsizetype>(last - first + 1);
        out.notCompared << NotCompared{info->name,
                                       whole || info->records == 1 ? what
                                                                   : what + QStringLiteral(": ")
                                                                         + LoadString(rows.size() == 1 ? Str::HistRow : Str::HistRows)
                                                                               .arg(runsText(rows)),
                                       visit};
    };
    if (info->groups.empty()) {
        add(LoadString(info->title), 0, info->records - 1);
        return;
    }
    for (const KeyGroup &g : info->groups)
        add(LoadString(info->title) + QStringLiteral(", ") + LoadString(g.title), g.first, g.last);
}

// A log's records by their date bytes (BCD reads in date order), leaving out empty ones.
struct LogInfo
{
    DataSetId set;
    int keyBytes;
};
constexpr LogInfo kLogs[] = {{dsDaily, 3}, {dsMonthly, 2}, {dsQuarterly, 2}, {dsYearly, 1}};

std::map<QByteArray, unsigned> logByDate(const ReadOut &readOut, const LogInfo &log)
{
    std::map<QByteArray, unsigned> out;
    const DataSetInfo *set = FindDataSet(log.set);
    for (unsigned i = 0; i < set->records; ++i) {
        const QByteArray raw = heldBytes(readOut, log.set, i);
        const QByteArray key = raw.left(log.keyBytes);
        if (key.size() == log.keyBytes && key.count('\0') != key.size())
            out.emplace(key, i);
    }
    return out;
}

// The date bytes of the period the unit's clock was in: a record of an earlier period was
// closed.
std::optional<QByteArray> currentPeriod(const ReadOut &readOut, const LogInfo &log)
{
    if (!readOut.ClockRead())
        return std::nullopt;
    const ClockBytes clock = ClockBytesOf(readOut.Clock());
    if (!UnitClockToDateTime(clock).isValid())
        return std::nullopt;
    QByteArray key(reinterpret_cast<const char *>(clock.data()), 3);
    switch (log.set) {
    case dsMonthly: return key.left(2);
    case dsQuarterly: {
        const int month = BcdToBin(clock[1]);
        return key.left(1) + static_cast<char>((month - 1) / 3 + 1);
    }
    case dsYearly: return key.left(1);
    default: return key;
    }
}

QStringList rowCells(const ReadOut &readOut, DataSetId set, unsigned index)
{
    QStringList cells;
    const DataSetInfo *info = FindDataSet(set);
    const std::unique_ptr<CDataField> record = readOut.Record(set, index);
    for (std::size_t c = 0; c < info->columns.size(); ++c)
        cells << record->GetColumnText(static_cast<int>(c));
    return cells;
}

QString columnsText(const ReadOut &readOut, DataSetId set, unsigned index, const QList<int> &columns)
{
    const DataSetInfo *info = FindDataSet(set);
    const std::unique_ptr<CDataField> record = readOut.Record(set, index);
    QStringList parts;
    for (int c : columns)
        parts << LoadString(info->columns[static_cast<std::size_t>(c)]) + QStringLiteral(": ")
                     + record->GetColumnText(c);
    return parts.join(QStringLiteral(", "));
}

void compareLogs(const ReadOut &a, const ReadOut &b, Comparison &out)
{
    for (const LogInfo &log : kLogs) {
        const std::map<QByteArray, unsigned> before = logByDate(a, log);
        const std::map<QByteArray, unsigned> after = logByDate(b, log);
        if (before.empty() || after.empty())
            continue;
        const QByteArray newest = before.rbegin()->first;
        const std::optional<QByteArray> open = currentPeriod(a, log);
        const DataSetInfo *info = FindDataSet(log.set);
        // Newest first, as the logs list them.
        for (auto it = after.rbegin(); it != after.rend(); ++it)
            if (it->first > newest)
                out.added << AddedRow{info->name, rowCells(b, log.set, it->second)};
        for (const auto &[key, i] : before) {
            const bool closed = key < newest || (open && key < *open);
            const auto later = after.find(key);
            if (!closed || later == after.end())
                continue;
            const QStringList was = rowCells(a, log.set, i);
            const QStringList is = rowCells(b, log.set, later->second);
            QList<int> changed;
            for (qsizetype c = 0; c < was.size(); ++c)
                if (was.at(c) != is.at(c))
                    changed << static_cast<int>(c);
            if (changed.isEmpty())
                continue;
            out.flags << ComparisonFlag{ComparisonFlag::ClosedPeriodChanged,
                                        LoadString(info->title) + QStringLiteral(" ") + was.at(0),
                                        columnsText(a, log.set, i, changed),
                                        columnsText(b, log.set, later->second, changed)};
        }
    }
}

void compareCounters(const ReadOut &a, const ReadOut &b, Comparison &out)
{
    if (!a.IsRead(dsCounters, 0) || !b.IsRead(dsCounters, 0))
        return; // listed as not compared with the other records
    out.countersKnown = true;
    const CCountersRecord was = a.Decoded<dsCounters>(0);
    const CCountersRecord is = b.Decoded<dsCounters>(0);
    const std::pair<const char *, CDwordField CCountersRecord::*> counters[] = {
        {"cashIn", &CCountersRecord::m_cashIn}, {"cashOut", &CCountersRecord::m_cashOut},
        {"stake", &CCountersRecord::m_stake},   {"win", &CCountersRecord::m_win},
        {"games", &CCountersRecord::m_games}};
    const unsigned labels[] = {Str::LblCashIn, Str::LblCashOut, Str::LblStake, Str::LblWin, Str::LblGameCounter};
    for (std::size_t i = 0; i < std::size(counters); ++i) {
        const auto &[name, member] = counters[i];
        CounterChange c{name, labels[i], (was.*member).m_nValue, (is.*member).m_nValue};
        out.counters << c;
        if (c.later < c.earlier) {
            const QString label = LoadString(labels[i]).remove(QLatin1Char(':')).trimmed();
            out.flags << ComparisonFlag{ComparisonFlag::CounterLower, label, (was.*member).GetText(),
                                        (is.*member).GetText()};
        }
    }
}

void compareConfig(const ReadOut &a, const ReadOut &b, const Comparison &ids, Comparison &out)
{
    if (!a.HoldsUnitValue(dsConfig, 0) || !b.HoldsUnitValue(dsConfig, 0)) {
        for (const auto &[r, visit] : {std::pair{&a, ids.earlier.id}, std::pair{&b, ids.later.id}})
            if (!r->HoldsUnitValue(dsConfig, 0))
                out.notCompared << NotCompared{FindDataSet(dsConfig)->name, LoadString(Str::TitleConfig), visit};
        return;
    }
    // A field whose chunk failed at either visit is not compared: it reads as empty.
    const auto failedOf = [](const ReadOut &r) {
        const CRecordMeta *meta = r.Meta(dsConfig, 0);
        return meta ? meta->failedChunks() : QList<int>();
    };
    const QList<int> failedA = failedOf(a);
    const QList<int> failedB = failedOf(b);
    const CConfigRecord was = a.Decoded<dsConfig>(0);
    const CConfigRecord is = b.Decoded<dsConfig>(0);
    const auto fa = CConfigRecord::FieldsOf(was);
    const auto fb = CConfigRecord::FieldsOf(is);
    const std::span<const ConfigFieldInfo> labels = ConfigFields();
    for (std::size_t i = 0; i < fa.size(); ++i) {
        const QString label = LoadString(labels[i].label).remove(QLatin1Char(':')).trimmed();
        const int chunk = static_cast<int>(i);
        if (failedA.contains(chunk) || failedB.contains(chunk)) {
            const QString what = LoadString(Str::TitleConfig) + QStringLiteral(": ") + label;
            if (failedA.contains(chunk))
                out.notCompared << NotCompared{FindDataSet(dsConfig)->name, what, ids.earlier.id};
            if (failedB.contains(chunk))
                out.notCompared << NotCompared{FindDataSet(dsConfig)->name, what, ids.later.id};
            continue;
        }
        if (fa[i]->GetText() != fb[i]->GetText())
            out.flags << ComparisonFlag{ComparisonFlag::ConfigChanged, label, fa[i]->GetText(), fb[i]->GetText(),
                                        labels[i].text};
    }
}

// Entries of a log kept by content (events, date modifications): an entry the earlier visit
// did not hold is new.
// Entries of a log kept by content (events, date modifications): an entry the earlier visit
// did not hold is new. While the earlier visit missed some entry, one not found among those it
// read may be the one it missed: that is not flagged (the entry missed is listed as not
// compared). Entries not read whole at either visit are never taken for content.
template<class Describe>
void newEntries(const ReadOut &a, const ReadOut &b, DataSetId set, ComparisonFlag::Kind kind, Describe describe,
                Comparison &out)
{
    const DataSetInfo *info = FindDataSet(set);
    std::set<QByteArray> before;
    bool anyBefore = false;
    bool missedBefore = false;
    for (unsigned i = 0; i < info->records; ++i) {
        if (!wholeRead(a, set, i)) {
            missedBefore = true;
            continue;
        }
        const QByteArray raw = heldBytes(a, set, i);
        anyBefore = true;
        before.insert(raw);
    }
    if (!anyBefore || missedBefore)
        return;
    for (unsigned i = 0; i < info->records; ++i) {
        if (!wholeRead(b, set, i))
            continue;
        const QByteArray raw = heldBytes(b, set, i);
        if (raw.isEmpty() || raw.count('\0') == raw.size() || before.count(raw))
            continue;
        auto [what, earlier, later] = describe(i);
        out.flags << ComparisonFlag{kind, what, earlier, later};
    }
}

void compareKeys(const ReadOut &a, const ReadOut &b, Comparison &out)
{
    const DataSetInfo *table = FindDataSet(dsKeyTable);
    for (unsigned i = 0; i < table->records; ++i) {
        const QByteArray before = heldBytes(a, dsKeyTable, i);
        const QByteArray after = heldBytes(b, dsKeyTable, i);
        if (before.isEmpty() || after.isEmpty() || before == after)
            continue;
        QString where = QString::number(i + 1);
        for (const KeyGroup &g : table->groups)
            if (i >= g.first && i <= g.last)
                where = LoadString(g.title) + QLatin1Char(' ') + FormatString(Str::RowNumber, i - g.first + 1);
        out.flags << ComparisonFlag{ComparisonFlag::KeyChanged, where, a.Decoded<dsKeyTable>(i).GetText(),
                                    b.Decoded<dsKeyTable>(i).GetText()};
    }
    const QByteArray before = heldBytes(a, dsCurrentKey, 0);
    const QByteArray after = heldBytes(b, dsCurrentKey, 0);
    if (!before.isEmpty() && !after.isEmpty() && before != after)
        out.flags << ComparisonFlag{ComparisonFlag::KeyChanged, LoadString(Str::TitleCurrentKey), a.Decoded<dsCurrentKey>(0).GetText(),
                                    b.Decoded<dsCurrentKey>(0).GetText()};
}

QString pcClockText(const VisitEntry &v)
{
    const QDateTime clock = QDateTime::fromString(v.unitClock, QStringLiteral("yyyy-MM-dd HH:mm"));
    if (!clock.isValid() || !v.clockOffset)
        return QString();
    return clock.addSecs(-*v.clockOffset).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

} // namespace

const char *ComparisonFlag::Name(Kind kind)
{
    switch (kind) {
    case CounterLower: return "counter-lower";
    case ClosedPeriodChanged: return "closed-period-changed";
    case ConfigChanged: return "configuration-changed";
    case NewConfigEvent: return "new-configuration-event";
    case NewDateModification: return "clock-set";
    case KeyChanged: return "key-changed";
    case ClockOff: return "clock-off";
    }
    return "";
}

unsigned ComparisonFlag::Title(Kind kind)
{
    switch (kind) {
    case CounterLower: return Str::HistFlagCounterLower;
    case ClosedPeriodChanged: return Str::HistFlagClosedChanged;
    case ConfigChanged: return Str::HistFlagConfigChanged;
    case NewConfigEvent: return Str::HistFlagNewEvent;
    case NewDateModification: return Str::HistFlagClockSet;
    case KeyChanged: return Str::HistFlagKeyChanged;
    case ClockOff: return Str::HistFlagClockOff;
    }
    return 0;
}

qint64 Comparison::netCash() const
{
    return countersKnown ? counters[0].difference() - counters[1].difference() : 0;
}

qint64 Comparison::netStake() const
{
    return countersKnown ? counters[2].difference() - counters[3].difference() : 0;
}

Comparison CompareVisits(const StoredVisit &earlier, const StoredVisit &later)
{
    Comparison out;
    out.earlier = earlier.entry;
    out.later = later.entry;
    out.periodSeconds = earlier.entry.pcTime.secsTo(later.entry.pcTime);
    const ReadOut a = ReadOut::FromRecords(earlier.records);
    const ReadOut b = ReadOut::FromRecords(later.records);

    // What either visit did not read is listed, and left out of every comparison below.
    for (const auto &[r, visit] : {std::pair{&a, earlier.entry.id}, std::pair{&b, later.entry.id}})
        for (DataSetId set : {dsCounters, dsDaily, dsMonthly, dsQuarterly, dsYearly, dsConfEvents, dsDateLog,
                              dsKeyTable, dsCurrentKey})
            listNotRead(*r, visit, set, out);
    compareCounters(a, b, out);
    compareLogs(a, b, out);
    compareConfig(a, b, out, out);
    newEntries(a, b, dsConfEvents, ComparisonFlag::NewConfigEvent,
               [&](unsigned i) {
                   const CConfEventRecord e = b.Decoded<dsConfEvents>(i);
                   return std::tuple(e.m_changeTime.GetText(), QString(),
                                     e.m_config.m_type.GetText() + QLatin1Char('/') + e.m_config.m_mfgNo.GetText());
               },
               out);
    newEntries(a, b, dsDateLog, ComparisonFlag::NewDateModification,
               [&](unsigned i) {
                   const CDateLogRecord e = b.Decoded<dsDateLog>(i);
                   return std::tuple(FormatString(Str::RowNumber, i + 1), e.m_oldDate.GetText(), e.m_newDate.GetText());
               },
               out);
    compareKeys(a, b, out);

    if (later.entry.clockOffset && std::llabs(*later.entry.clockOffset) > kClockToleranceSeconds)
        out.flags << ComparisonFlag{ComparisonFlag::ClockOff, DurationText(*later.entry.clockOffset),
                                    pcClockText(later.entry), later.entry.unitClock};
    // Over less than a day the minute the clock is kept in says more than the drift.
    if (earlier.entry.clockOffset && later.entry.clockOffset && out.periodSeconds >= 86400)
        out.driftSecondsPerDay = static_cast<double>(*later.entry.clockOffset - *earlier.entry.clockOffset)
                                 * 86400.0 / static_cast<double>(out.periodSeconds);
    std::stable_sort(out.flags.begin(), out.flags.end(),
                     [](const ComparisonFlag &x, const ComparisonFlag &y) { return x.kind < y.kind; });
    return out;
}

QString MoneyText(qint64 amount)
{
    return FormatString(Str::FmtMoney, amount);
}

QString DurationText(qint64 seconds)
{
    const QString sign = seconds < 0 ? QStringLiteral("-") : QString();
    const qint64 s = std::llabs(seconds);
    if (s >= 86400)
        return LoadString(Str::HistDays).arg(sign + QString::number(s / 86400)).arg(s % 86400 / 3600);
    return LoadString(Str::HistHoursMinutes).arg(sign + QString::number(s / 3600)).arg(s % 3600 / 60, 2, 10, QLatin1Char('0'));
}

QString LocalMinuteText(const QDateTime &utc)
{
    return utc.isValid() ? utc.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QString();
}

QList<ComparisonLine> ComparisonLines(const Comparison &c)
{
    QList<ComparisonLine> lines;
    const auto when = [](const VisitEntry &v) { return LocalMinuteText(v.pcTime); };
    for (const ComparisonFlag &f : c.flags)
        lines << ComparisonLine{QStringLiteral("flag"), LoadString(ComparisonFlag::Title(f.kind)) + QStringLiteral(": ") + f.what,
                                f.earlier, f.later, QString(), f.unitText};
    lines << ComparisonLine{QStringLiteral("period"), LoadString(Str::HistPeriod), when(c.earlier), when(c.later),
                            DurationText(c.periodSeconds)};
    lines << ComparisonLine{QStringLiteral("clock"), LoadString(Str::HistUnitClock), c.earlier.unitClock, c.later.unitClock,
                            c.later.clockOffset ? DurationText(*c.later.clockOffset) : QString()};
    if (c.driftSecondsPerDay)
        lines << ComparisonLine{QStringLiteral("clock"), LoadString(Str::HistDrift), QString(), QString(),
                                LoadString(Str::HistDriftValue).arg(*c.driftSecondsPerDay, 0, 'f', 1)};
    for (const CounterChange &k : c.counters) {
        const bool money = QLatin1String(k.name) != QLatin1String("games");
        const auto text = [&](qint64 v) { return money ? MoneyText(v) : QString::number(v); };
        lines << ComparisonLine{QStringLiteral("counter"), LoadString(k.label).remove(QLatin1Char(':')).trimmed(),
                                text(static_cast<qint32>(k.earlier)), text(static_cast<qint32>(k.later)), text(k.difference())};
    }
    if (c.countersKnown) {
        lines << ComparisonLine{QStringLiteral("net"), LoadString(Str::HistNetCash), QString(), QString(), MoneyText(c.netCash())};
        lines << ComparisonLine{QStringLiteral("net"), LoadString(Str::HistNetStake), QString(), QString(), MoneyText(c.netStake())};
    }
    for (const NotCompared &n : c.notCompared)
        lines << ComparisonLine{QStringLiteral("not-compared"), n.what, QString(), QString(),
                                LoadString(Str::HistNotReadAt).arg(n.visit), false};
    for (const AddedRow &r : c.added)
        lines << ComparisonLine{QStringLiteral("added"), LoadString(FindDataSet(QLatin1String(r.set))->title),
                                QString(), r.cells.join(QStringLiteral("  ")), QString()};
    return lines;
}

QJsonObject ComparisonJson(const Comparison &c)
{
    const auto visit = [](const VisitEntry &v) {
        QJsonObject o{{QStringLiteral("id"), v.id},
                      {QStringLiteral("uuid"), v.uuid},
                      {QStringLiteral("pcTime"), v.pcTime.toString(Qt::ISODate)},
                      {QStringLiteral("unitClock"), v.unitClock},
                      {QStringLiteral("source"), v.source}};
        o.insert(QStringLiteral("clockOffsetSeconds"), v.clockOffset ? QJsonValue(*v.clockOffset) : QJsonValue());
        return o;
    };
    QJsonArray flags;
    for (const ComparisonFlag &f : c.flags)
        flags.append(QJsonObject{{QStringLiteral("flag"), QLatin1String(ComparisonFlag::Name(f.kind))},
                                 {QStringLiteral("what"), f.what},
                                 {QStringLiteral("earlier"), f.earlier},
                                 {QStringLiteral("later"), f.later}});
    QJsonObject counters;
    for (const CounterChange &k : c.counters)
        counters.insert(QLatin1String(k.name), QJsonObject{{QStringLiteral("earlier"), static_cast<qint64>(k.earlier)},
                                                         {QStringLiteral("later"), static_cast<qint64>(k.later)},
                                                         {QStringLiteral("difference"), k.difference()}});
    QJsonArray added;
    for (const AddedRow &r : c.added)
        added.append(QJsonObject{{QStringLiteral("set"), QLatin1String(r.set)},
                                 {QStringLiteral("row"), QJsonArray::fromStringList(r.cells)}});
    QJsonArray notCompared;
    for (const NotCompared &n : c.notCompared)
        notCompared.append(QJsonObject{{QStringLiteral("set"), QLatin1String(n.set)},
                                       {QStringLiteral("what"), n.what},
                                       {QStringLiteral("notReadAtVisit"), n.visit}});
    QJsonObject out{{QStringLiteral("unit"), QJsonObject{{QStringLiteral("type"), c.later.unitType},
                                                         {QStringLiteral("manufacturingNumber"), c.later.unitNumber}}},
                    {QStringLiteral("earlier"), visit(c.earlier)},
                    {QStringLiteral("later"), visit(c.later)},
                    {QStringLiteral("periodSeconds"), c.periodSeconds},
                    {QStringLiteral("flags"), flags},
                    {QStringLiteral("counters"), c.countersKnown ? QJsonValue(counters) : QJsonValue()},
                    {QStringLiteral("added"), added},
                    {QStringLiteral("notCompared"), notCompared}};
    if (c.countersKnown) {
        out.insert(QStringLiteral("cashInMinusCashOut"), c.netCash());
        out.insert(QStringLiteral("stakeMinusWin"), c.netStake());
    }
    out.insert(QStringLiteral("clockDriftSecondsPerDay"),
               c.driftSecondsPerDay ? QJsonValue(*c.driftSecondsPerDay) : QJsonValue());
    return out;
}

} // namespace Quilo

#pragma once
// What changed in a unit between two visits: the period, every money counter and the game
// counter, the log rows added since, and the flags that call for a look (a counter that went
// down, a closed day, month, quarter or year whose figures changed, the configuration changed,
// new configuration events, the clock set, keys changed, the unit's clock far off the PC's).
// Both visits are decoded into documents by the same code as a live read; the comparison
// works on their fields.

#include "historystore.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace Quilo {

// How far the unit's clock may be from the PC's before it is flagged.
inline constexpr qint64 kClockToleranceSeconds = 5 * 60;

struct CounterChange
{
    const char *name;     // stable: "cashIn", "cashOut", "stake", "win", "games"
    unsigned label;       // heading for people
    quint32 earlier = 0;
    quint32 later = 0;
    qint64 difference() const { return static_cast<qint64>(later) - static_cast<qint64>(earlier); }
};

struct AddedRow
{
    const char *set;      // stable data-set name: "daily"
    QStringList cells;    // the row as the log's list shows it
};

struct ComparisonFlag
{
    enum Kind { CounterLower, ClosedPeriodChanged, ConfigChanged, NewConfigEvent, NewDateModification, KeyChanged,
                ClockOff };
    Kind kind;
    QString what;         // the counter, the day, the field, the key: for people
    QString earlier;      // the values that raised it
    QString later;
    bool unitText = false; // earlier and later are free texts the unit keeps (its name, address ...)

    static const char *Name(Kind kind); // stable: "counter-lower", ...
    static unsigned Title(Kind kind);
};

// A record, a field or a run of rows left out of the comparison because one visit did not
// read it: comparing what failed as if it were empty would raise false flags.
struct NotCompared
{
    const char *set;      // stable data-set name: "config", "keyTable", ...
    QString what;         // the field, the record or the rows: for people
    qint64 visit = 0;     // the visit that did not read it
};

struct Comparison
{
    VisitEntry earlier;
    VisitEntry later;
    qint64 periodSeconds = 0;
    bool countersKnown = false;
    QList<CounterChange> counters;
    QList<AddedRow> added;
    QList<ComparisonFlag> flags;
    std::optional<double> driftSecondsPerDay;
    QList<NotCompared> notCompared;

    // cash in minus cash out, stake minus win, over the period
    qint64 netCash() const;
    qint64 netStake() const;
};

Comparison CompareVisits(const StoredVisit &earlier, const StoredVisit &later);

// The comparison as lines for a table or CSV, flags first: section (stable), item, earlier,
// later, difference.
struct ComparisonLine
{
    QString section;
    QString item;
    QString earlier;
    QString later;
    QString difference;
    bool unitText = false; // earlier and later are free texts the unit keeps, not figures
};
QList<ComparisonLine> ComparisonLines(const Comparison &comparison);
QJsonObject ComparisonJson(const Comparison &comparison);

// An amount or a count as the unit's lists show it.
QString MoneyText(qint64 amount);
// A PC time (UTC) as the PC's local minute, "yyyy-MM-dd HH:mm"; empty when not valid.
QString LocalMinuteText(const QDateTime &utc);
QString DurationText(qint64 seconds);

} // namespace Quilo

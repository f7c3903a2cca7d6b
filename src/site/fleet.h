#pragma once
// The fleet as the office sees it: every unit with what its last comparison (its two newest
// visits) found. Comparing decodes both visits, so each unit's result is kept in memory until
// the unit has a new visit; a fleet of thousands is compared once, not on every page. Texts
// of a comparison are made in the language of the page, so results are kept per language.

#include "comparison.h"
#include "office.h"
#include "result.h"

#include <QHash>
#include <QList>
#include <QString>

#include <atomic>
#include <mutex>
#include <optional>

namespace Quilo::Site {

struct UnitSummary
{
    FleetUnit fleet;
    bool compared = false;           // two visits or more, both loaded
    QString problem;                 // why they could not be compared (a damaged visit)
    qint64 earlierVisitId = 0;
    qint64 laterVisitId = 0;
    QDateTime laterTime;
    QList<ComparisonFlag> flags;
    qint64 netCash = 0;
    qint64 netStake = 0;
    std::optional<double> driftSecondsPerDay;
};

class Fleet
{
public:
    // Every unit with a visit, compared as far as needed now; the language is the thread's.
    // `stop` (optional) ends the comparing early (a server that shuts down): the units left are
    // then returned without a comparison.
    Result<QList<UnitSummary>> Summaries(CHistoryStore &store, const QString &language,
                                         const std::atomic<bool> *stop = nullptr);
    // How many unit results are kept (for the bench and the log).
    qsizetype Kept() const;

private:
    static UnitSummary compare(CHistoryStore &store, const FleetUnit &unit);

    // The units as the history listed them when its newest visit was m_unitsAt: listing them
    // groups every visit, checking the newest takes an index's last entry.
    Result<QList<FleetUnit>> units(CHistoryStore &store, qint64 *newest);

    mutable std::mutex m_mutex;
    QHash<QString, UnitSummary> m_kept; // "language/unit id"
    qint64 m_unitsAt = -1;
    QList<FleetUnit> m_units;
    // Per language: the whole fleet compared, as the last call returned it while m_unitsAt held.
    QHash<QString, QList<UnitSummary>> m_complete;
    QHash<QString, qint64> m_completeAt;
};

// The comparison of two visits as the unit page shows it; earlier first whatever the order given.
Result<Comparison> CompareStored(CHistoryStore &store, qint64 unitId, qint64 visitA, qint64 visitB);

} // namespace Quilo::Site

#include "fleet.h"

#include "stringtable.h"

namespace Quilo::Site {

UnitSummary Fleet::compare(CHistoryStore &store, const FleetUnit &unit)
{
    UnitSummary s;
    s.fleet = unit;
    const Result<QList<VisitEntry>> visits = store.Visits(unit.unit.id);
    if (!visits) {
        s.problem = visits.error();
        return s;
    }
    if (visits->size() < 2)
        return s;
    const Result<StoredVisit> latest = store.LoadVisit(visits->at(0).id);
    const Result<StoredVisit> before = latest ? store.LoadVisit(visits->at(1).id) : latest.failure();
    if (!before) {
        s.problem = before.error();
        return s;
    }
    const StoredVisit &later = *latest;
    const StoredVisit &earlier = *before;
    const Comparison c = CompareVisits(earlier, later);
    s.compared = true;
    s.earlierVisitId = earlier.entry.id;
    s.laterVisitId = later.entry.id;
    s.laterTime = later.entry.pcTime;
    s.flags = c.flags;
    s.netCash = c.netCash();
    s.netStake = c.netStake();
    s.driftSecondsPerDay = c.driftSecondsPerDay;
    return s;
}

Result<QList<FleetUnit>> Fleet::units(CHistoryStore &store, qint64 *at)
{
    const Result<qint64> newest = NewestVisitId(store);
    if (!newest)
        return Failed{newest.error()};
    *at = *newest;
    {
        const std::lock_guard lock(m_mutex);
        if (m_unitsAt == *newest)
            return m_units;
    }
    Result<QList<FleetUnit>> listed = FleetUnits(store);
    if (listed) {
        const std::lock_guard lock(m_mutex);
        m_unitsAt = *newest;
        m_units = *listed;
    }
    return listed;
}

Result<QList<UnitSummary>> Fleet::Summaries(CHistoryStore &store, const QString &language, const std::atomic<bool> *stop)
{
    qint64 listedAt = 0;
    Result<QList<FleetUnit>> units = this->units(store, &listedAt);
    if (!units)
        return Failed{units.error()};
    {
        // nothing recorded since the whole fleet was compared: that list, shared, not rebuilt
        const std::lock_guard lock(m_mutex);
        const auto it = m_complete.constFind(language);
        if (it != m_complete.constEnd() && m_completeAt.value(language) == listedAt)
            return *it;
    }
    bool complete = true;
    QList<UnitSummary> out;
    out.reserve(units->size());
    for (const FleetUnit &u : *units) {
        const QString key = language + QLatin1Char('/') + QString::number(u.unit.id);
        {
            const std::lock_guard lock(m_mutex);
            const auto it = m_kept.constFind(key);
            if (it != m_kept.constEnd() && it->fleet.newestVisitId == u.newestVisitId) {
                UnitSummary kept = *it;
                kept.fleet = u; // the count and times as the history has them now
                out << kept;
                continue;
            }
        }
        if (stop && stop->load()) {
            complete = false;
            UnitSummary bare;
            bare.fleet = u;
            out << bare;
            continue;
        }
        // compared without the lock: two pages asking at once may both compare, never wait
        const UnitSummary s = compare(store, u);
        if (store.Faulted())
            return Failed{s.problem};
        {
            const std::lock_guard lock(m_mutex);
            m_kept.insert(key, s);
        }
        out << s;
    }
    if (complete) {
        const std::lock_guard lock(m_mutex);
        m_complete.insert(language, out);
        m_completeAt.insert(language, listedAt);
    }
    return out;
}

qsizetype Fleet::Kept() const
{
    const std::lock_guard lock(m_mutex);
    return m_kept.size();
}

Result<Comparison> CompareStored(CHistoryStore &store, qint64 unitId, qint64 visitA, qint64 visitB)
{
    Result<StoredVisit> first = store.LoadVisit(visitA);
    Result<StoredVisit> second = first ? store.LoadVisit(visitB) : first.failure();
    if (!second)
        return second.failure();
    StoredVisit a = std::move(first).value();
    StoredVisit b = std::move(second).value();
    if (a.entry.unitId != unitId || b.entry.unitId != unitId)
        return Failed{LoadString(Str::SiteErrVisitOfOther)};
    if (b.entry.pcTime < a.entry.pcTime)
        std::swap(a, b);
    return CompareVisits(a, b);
}

} // namespace Quilo::Site

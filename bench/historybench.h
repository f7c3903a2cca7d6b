#pragma once
// Benchmark 9: the visit history at fleet size. A generated history (units × visits, each
// visit a whole unit's records as a read-out leaves them, the unit playing on between visits)
// is written in bulk, then a visit is recorded as `quilo read all` records it, a unit's visits
// are listed and two visits compared, each timed on the full store.

#include <QString>

namespace Quilo {
class CHistoryStore;
}

#include <vector>

namespace QuiloBench {

struct CHistoryFigures
{
    QString problem;            // empty when everything was measured
    double generateSeconds = 0; // writing the generated history
    long long visits = 0;
    double bytesPerVisit = 0;   // growth of the store's size over the generated visits
    std::vector<double> recordMs, listMs, compareMs;
};

// Writes `units` generated units of `visitsPerUnit` visits each into `store` (for figure 12).
bool FillGeneratedHistory(Quilo::CHistoryStore &store, int units, int visitsPerUnit, QString *problem);

// `kind`: "sqlite" or "postgresql" (a server of the benchmark's own, in a temporary folder).
CHistoryFigures MeasureHistory(const QString &kind, int units, int visitsPerUnit);

} // namespace QuiloBench

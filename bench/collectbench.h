#pragma once
// Benchmark 12: the unattended collection. `units` quilo-sim processes at 9600-baud pacing,
// each a unit of its own, read side by side by one `quilo collect`, against one of them read
// alone by the same command: the wall time of both, the collector's CPU per unit and its peak
// memory, and from these what 100 units would take.

#include <QString>

#include <vector>

namespace QuiloBench {

struct CCollectFigures
{
    QString problem;                // empty when everything was measured
    std::vector<double> oneSeconds; // one unit alone
    std::vector<double> allSeconds; // every unit side by side
    std::vector<double> cpuPerUnitSeconds;
    std::vector<double> onePeakMiB; // the collector's peak with one unit, and with all
    std::vector<double> allPeakMiB;
};

CCollectFigures MeasureCollect(const QString &simProgram, const QString &cliProgram, int units, int repeat);

} // namespace QuiloBench

#pragma once
// Benchmark 11: the office site (quilo serve) over a generated history at fleet size: the
// fleet's first page and a unit's page, as a browser on this machine waits for them, and many
// browsers at once.

#include <QString>

#include <vector>

namespace QuiloBench {

struct CSiteFigures
{
    QString problem;
    double fillSeconds = 0;
    double compareAllSeconds = 0;    // the fleet's comparisons made at start, both languages
    std::vector<double> fleetMs, unitMs;
    int clients = 0, pagesEach = 0, errors = 0;
    std::vector<double> concurrentMs; // every page of every client
    double concurrentSeconds = 0;
};

CSiteFigures MeasureSite(const QString &kind, int units, int visitsPerUnit, int clients, int pagesEach);

} // namespace QuiloBench

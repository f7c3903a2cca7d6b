#include "collectbench.h"

#include "measure.h"

#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>
#include <memory>

namespace QuiloBench {

namespace {

double childrenCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
           + static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// One `quilo collect` over the units in `list`, its history in `folder`: wall seconds, CPU
// seconds and peak MiB, or the problem.
QString collect(const QString &cliProgram, const QString &list, const QString &folder, double *wall, double *cpu,
                double *peakMiB)
{
    CChildProcess child;
    QString error;
    const double cpuBefore = childrenCpuSeconds();
    const std::int64_t t0 = wallNs();
    long peakKiB = 0;
    // a history of its own each time: every visit a first one, so no flag ends it with 1
    if (!child.start(cliProgram,
                     {QStringLiteral("collect"), QStringLiteral("--units"), list, QStringLiteral("--history"),
                      folder + QStringLiteral("/history.sqlite"), QStringLiteral("--retries"), QStringLiteral("0")},
                     {QStringLiteral("XDG_DATA_HOME=") + folder, QStringLiteral("XDG_CONFIG_HOME=") + folder},
                     false, &error)
        || !child.wait(300000, &peakKiB, &error))
        return QStringLiteral("quilo collect: ") + error;
    *wall = static_cast<double>(wallNs() - t0) / 1e9;
    *cpu = childrenCpuSeconds() - cpuBefore;
    *peakMiB = static_cast<double>(peakKiB) / 1024.0;
    return {};
}

} // namespace

CCollectFigures MeasureCollect(const QString &simProgram, const QString &cliProgram, int units, int repeat)
{
    CCollectFigures f;
    if (!QFile::exists(simProgram) || !QFile::exists(cliProgram)) {
        f.problem = QStringLiteral("quilo-sim or quilo not built");
        return f;
    }
    for (int run = 1; run <= repeat && f.problem.isEmpty(); ++run) {
        std::fprintf(stderr, "bench: collection of %d units %d/%d\n", units, run, repeat);
        std::vector<std::unique_ptr<CChildProcess>> sims;
        QByteArray all;
        QByteArray one;
        for (int i = 0; i < units; ++i) {
            auto sim = std::make_unique<CChildProcess>();
            QString error;
            // paced, as a pseudo-terminal's unit is by default: 9600 baud on the wire
            if (!sim->start(simProgram, {QStringLiteral("--seed"), QString::number(1000 + i)}, {}, true, &error)) {
                f.problem = error;
                break;
            }
            const QByteArray path = sim->readLine(10000).trimmed();
            if (path.isEmpty()) {
                f.problem = QStringLiteral("quilo-sim did not start");
                break;
            }
            const QByteArray line = "unit-" + QByteArray::number(i + 1) + ' ' + path + '\n';
            all += line;
            if (i == 0)
                one = line;
            sims.push_back(std::move(sim));
        }
        QTemporaryDir dir;
        QFile allFile(dir.filePath(QStringLiteral("all.conf")));
        QFile oneFile(dir.filePath(QStringLiteral("one.conf")));
        if (f.problem.isEmpty()
            && (!allFile.open(QIODevice::WriteOnly) || allFile.write(all) != all.size() || !oneFile.open(QIODevice::WriteOnly)
                || oneFile.write(one) != one.size()))
            f.problem = QStringLiteral("cannot write the units list");
        allFile.close();
        oneFile.close();
        double wall = 0;
        double cpu = 0;
        double peak = 0;
        if (f.problem.isEmpty()) {
            QTemporaryDir history;
            f.problem = collect(cliProgram, oneFile.fileName(), history.path(), &wall, &cpu, &peak);
            f.oneSeconds.push_back(wall);
            f.onePeakMiB.push_back(peak);
        }
        if (f.problem.isEmpty()) {
            QTemporaryDir history;
            f.problem = collect(cliProgram, allFile.fileName(), history.path(), &wall, &cpu, &peak);
            f.allSeconds.push_back(wall);
            f.cpuPerUnitSeconds.push_back(cpu / units);
            f.allPeakMiB.push_back(peak);
        }
        for (auto &sim : sims)
            sim->terminate();
    }
    return f;
}

} // namespace QuiloBench

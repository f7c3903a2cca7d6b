#include "historybench.h"

#include "comparison.h"
#include "history.h"
#include "historystore.h"
#include "readout.h"
#include "simulatedunit.h"
#include "unitclock.h"
#include "unitgenerator.h"

#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>

#ifdef QUILO_BENCH_POSTGRESQL
#include "pgserver.h"
#endif

#include <cstdio>
#include <cstring>
#include <memory>
#include <random>

namespace QuiloBench {

namespace {

using namespace Quilo;

// A deterministic spread of amounts: the same unit and period give the same figures.
quint32 amount(quint32 unit, quint32 period, quint32 which)
{
    quint32 x = unit * 2654435761u ^ (period + 0x9E37u) * 40503u ^ which * 2246822519u;
    x ^= x >> 15;
    x *= 2246822519u;
    x ^= x >> 13;
    return 1000 + x % 90000;
}

void putDword(QByteArray &b, int at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

char bcd(int v)
{
    return static_cast<char>(BinToBcd(v % 100));
}

// One unit's history, generated: what stays (configuration, events, keys, logs of keys and
// dates) made its own, and what a visit finds (counters, clock, money logs) moving on.
class CGenerator
{
public:
    explicit CGenerator(const QList<RecordOutcome> &templateRecords) : m_template(templateRecords) {}

    QList<Visit> unitVisits(int unit, int first, int count) const
    {
        QList<RecordOutcome> base = m_template;
        const QByteArray number = QStringLiteral("Q3M-%1").arg(unit, 6, 10, QLatin1Char('0')).toLatin1();
        for (RecordOutcome &r : base) {
            if (r.bytes.isEmpty())
                continue;
            switch (r.dataSet) {
            case dsConfig:
            case dsConfEvents:
                r.bytes.replace(16, 16, number.leftJustified(16, '\0'));
                break;
            case dsKeyTable:
            case dsKeyLogs:
            case dsDateLog:
            case dsCurrentKey:
                r.bytes[1] = static_cast<char>(r.bytes[1] ^ (unit & 0xFF));
                r.bytes[2] = static_cast<char>(r.bytes[2] ^ ((unit >> 8) & 0xFF));
                break;
            default: break;
            }
        }
        QList<Visit> visits;
        for (int k = first; k < first + count; ++k)
            visits << visit(base, unit, QString::fromLatin1(number), k);
        return visits;
    }

private:
    Visit visit(const QList<RecordOutcome> &base, int unit, const QString &number, int k) const
    {
        // Weekly visits from 2021 on.
        const QDate day = QDate(2021, 1, 4).addDays(7 * k + unit % 7);
        const int dayNumber = static_cast<int>(QDate(2020, 1, 1).daysTo(day));
        const int month = (day.year() - 2020) * 12 + day.month() - 1;
        const int quarter = month / 3;
        const int year = day.year() - 2020;
        Visit v;
        v.uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
        v.unitType = QStringLiteral("QUILO-3M");
        v.unitNumber = number;
        v.pcTime = QDateTime(day, QTime(9 + unit % 8, unit % 60), Qt::UTC);
        v.unitClock = v.pcTime.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
        v.clockOffset = (unit * 7 + k) % 120;
        v.source = QStringLiteral("read");
        v.port = QStringLiteral("Com2");
        v.program = QStringLiteral("bench");
        v.records = base;
        const auto u = static_cast<quint32>(unit);
        for (RecordOutcome &r : v.records) {
            if (r.bytes.isEmpty())
                continue;
            const auto i = static_cast<int>(r.index);
            switch (r.dataSet) {
            case dsCounters:
                for (int c = 0; c < 4; ++c)
                    putDword(r.bytes, 4 * c, 5000000u + static_cast<quint32>(k) * amount(u, 0, static_cast<quint32>(c)));
                putDword(r.bytes, 22, 100000u + static_cast<quint32>(k) * 700u);
                break;
            case dsDateTime: {
                const QDateTime t = v.pcTime;
                const char clock[] = {bcd(t.date().year()), bcd(t.date().month()), bcd(t.date().day()),
                                      bcd(t.time().hour()), bcd(t.time().minute())};
                r.bytes = QByteArray(clock, sizeof clock);
                break;
            }
            case dsDaily: {
                const QDate d = day.addDays(-i);
                r.bytes[0] = bcd(d.year());
                r.bytes[1] = bcd(d.month());
                r.bytes[2] = bcd(d.day());
                for (int c = 0; c < 5; ++c)
                    putDword(r.bytes, 3 + 4 * c, amount(u, static_cast<quint32>(dayNumber - i), static_cast<quint32>(c)));
                break;
            }
            case dsMonthly:
            case dsQuarterly:
            case dsYearly: {
                const int period = r.dataSet == dsMonthly ? month : r.dataSet == dsQuarterly ? quarter : year;
                const int at = r.dataSet == dsYearly ? 1 : 2;
                r.bytes[0] = bcd(2020 + (period - i) / (r.dataSet == dsMonthly ? 12 : r.dataSet == dsQuarterly ? 4 : 1));
                if (at == 2)
                    r.bytes[1] = bcd(r.dataSet == dsMonthly ? (period - i) % 12 + 1 : (period - i) % 4 + 1);
                // The open period grows with every visit; closed ones stay as they were.
                const quint32 growth = i == 0 ? static_cast<quint32>(k) * 37u : 0u;
                for (int c = 0; c < 4; ++c)
                    putDword(r.bytes, at + 4 * c,
                             amount(u, static_cast<quint32>(period - i) + 100000u * static_cast<quint32>(r.dataSet),
                                    static_cast<quint32>(c)) * 20u + growth);
                break;
            }
            default: break;
            }
        }
        return v;
    }

    QList<RecordOutcome> m_template;
};

// One real whole-unit read-out of the simulated unit: the records every visit starts from.
QList<RecordOutcome> templateRecords(QString *problem)
{
    QuiloSim::CSimulatedUnit unit(QuiloSim::generateState(1));
    if (!unit.start(problem))
        return {};
    CTarvelDoc doc;
    doc.SetPort(unit.slavePath());
    CLineMeter meter(doc.FrameLink());
    const CReadOutResult r = readWholeUnit(doc, meter);
    unit.stop();
    if (r.failed)
        *problem = QStringLiteral("the template read-out failed");
    return doc.Records();
}

double elapsedMs(const QElapsedTimer &t)
{
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

} // namespace

bool FillGeneratedHistory(CHistoryStore &store, int units, int visitsPerUnit, QString *problem)
{
    const QList<RecordOutcome> records = templateRecords(problem);
    if (!problem->isEmpty())
        return false;
    const CGenerator generator(records);
    for (int u = 0; u < units; ++u) {
        if (const Done recorded = store.RecordAll(generator.unitVisits(u, 0, visitsPerUnit)); !recorded) {
            *problem = recorded.error();
            return false;
        }
        if (u % 1000 == 999)
            std::fprintf(stderr, "bench: %d of %d units written\n", u + 1, units);
    }
    return true;
}

CHistoryFigures MeasureHistory(const QString &kind, int units, int visitsPerUnit)
{
    CHistoryFigures f;
    QTemporaryDir dir;
    HistoryLocation location;
#ifdef QUILO_BENCH_POSTGRESQL
    CPgServer server;
#endif
    if (kind == QLatin1String("sqlite")) {
        location = ParseHistoryLocation(dir.filePath(QStringLiteral("history.sqlite")));
    } else {
#ifdef QUILO_BENCH_POSTGRESQL
        if (!server.Start(&f.problem) || !server.CreateDatabase(QStringLiteral("bench"), &f.problem))
            return f;
        location = ParseHistoryLocation(server.Url(QStringLiteral("bench")));
#else
        f.problem = QStringLiteral("built without the tests' PostgreSQL server");
        return f;
#endif
    }
    const QList<RecordOutcome> records = templateRecords(&f.problem);
    if (!f.problem.isEmpty())
        return f;
    const CGenerator generator(records);
    CHistoryStore store(location);
    if (const Done opened = store.Open(); !opened) {
        f.problem = opened.error();
        return f;
    }
    const qint64 emptyBytes = store.BytesUsed();

    QElapsedTimer t;
    t.start();
    qint64 genNs = 0;
    for (int u = 0; u < units; ++u) {
        QElapsedTimer g;
        g.start();
        const QList<Visit> batch = generator.unitVisits(u, 0, visitsPerUnit);
        genNs += g.nsecsElapsed();
        if (const Done recorded = store.RecordAll(batch); !recorded) {
            f.problem = recorded.error();
            return f;
        }
        if (u % 1000 == 999)
            std::fprintf(stderr, "bench: history on %s, %d of %d units\n", qPrintable(kind), u + 1, units);
    }
    f.generateSeconds = static_cast<double>(t.nsecsElapsed()) / 1e9;
    std::fprintf(stderr, "bench: history on %s written in %.1f s, of which %.1f s generating\n", qPrintable(kind),
                 f.generateSeconds, static_cast<double>(genNs) / 1e9);
    f.visits = static_cast<long long>(units) * visitsPerUnit;
    if (location.kind == HistoryLocation::Kind::PostgreSQL) {
        QSqlQuery analyze(store.Database());
        analyze.exec(QStringLiteral("VACUUM ANALYZE"));
    }
    f.bytesPerVisit = static_cast<double>(store.BytesUsed() - emptyBytes) / static_cast<double>(f.visits);

    std::mt19937 random(14);
    std::uniform_int_distribution<int> anyUnit(0, units - 1);
    const QString outbox = dir.filePath(QStringLiteral("outbox.sqlite"));
    for (int i = 0; i < 20; ++i) {
        // As `quilo read all` records: open the store, record, close.
        const Visit visit = generator.unitVisits(anyUnit(random), visitsPerUnit + i, 1).first();
        t.restart();
        const RecordReport report = RecordVisit(location, visit, outbox);
        f.recordMs.push_back(elapsedMs(t));
        if (report.outcome != RecordReport::Outcome::Recorded) {
            f.problem = report.message;
            return f;
        }
    }
    // A random unit's visits, newest first.
    const auto visitsOfAny = [&]() -> Result<QList<VisitEntry>> {
        const Result<UnitEntry> unit = store.FindUnit(QStringLiteral("QUILO-3M/Q3M-%1").arg(anyUnit(random), 6, 10, QLatin1Char('0')));
        if (!unit)
            return unit.failure();
        return store.Visits(unit->id);
    };
    for (int i = 0; i < 50; ++i) {
        t.restart();
        const Result<QList<VisitEntry>> visits = visitsOfAny();
        if (!visits || visits->size() < visitsPerUnit) {
            f.problem = visits ? QStringLiteral("a unit's visits are missing") : visits.error();
            return f;
        }
        f.listMs.push_back(elapsedMs(t));
    }
    for (int i = 0; i < 20; ++i) {
        const Result<QList<VisitEntry>> visits = visitsOfAny();
        if (!visits || visits->size() < 2) {
            f.problem = visits ? QStringLiteral("a unit's visits are missing") : visits.error();
            return f;
        }
        t.restart();
        const Result<StoredVisit> a = store.LoadVisit(visits->at(1).id);
        const Result<StoredVisit> b = a ? store.LoadVisit(visits->at(0).id) : a.failure();
        if (!b) {
            f.problem = b.error();
            return f;
        }
        const Comparison c = CompareVisits(*a, *b);
        f.compareMs.push_back(elapsedMs(t));
        if (!c.countersKnown || c.added.isEmpty()) {
            f.problem = QStringLiteral("the comparison found no play between two visits");
            return f;
        }
    }
    return f;
}

} // namespace QuiloBench

#include "sitebench.h"

#include "historybench.h"
#include "historystore.h"
#include "office.h"
#include "signin.h"
#include "siteserver.h"

#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#ifdef QUILO_BENCH_POSTGRESQL
#include "pgserver.h"
#endif

#include <httplib.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <random>
#include <thread>

namespace QuiloBench {

namespace {

using namespace Quilo;

double ms(const QElapsedTimer &t)
{
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

} // namespace

CSiteFigures MeasureSite(const QString &kind, int units, int visitsPerUnit, int clients, int pagesEach)
{
    CSiteFigures f;
    QTemporaryDir dir;
    HistoryLocation location;
#ifdef QUILO_BENCH_POSTGRESQL
    CPgServer server;
#endif
    if (kind == QLatin1String("sqlite")) {
        location = ParseHistoryLocation(dir.filePath(QStringLiteral("history.sqlite")));
    } else {
#ifdef QUILO_BENCH_POSTGRESQL
        if (!server.Start(&f.problem) || !server.CreateDatabase(QStringLiteral("site"), &f.problem))
            return f;
        location = ParseHistoryLocation(server.Url(QStringLiteral("site")));
#else
        f.problem = QStringLiteral("built without the tests' PostgreSQL server");
        return f;
#endif
    }
    {
        CHistoryStore store(location);
        if (const Done opened = store.Open(); !opened) {
            f.problem = opened.error();
            return f;
        }
        QElapsedTimer t;
        t.start();
        if (!FillGeneratedHistory(store, units, visitsPerUnit, &f.problem))
            return f;
        f.fillSeconds = ms(t) / 1000;
        if (location.remote())
            QSqlQuery(store.Database()).exec(QStringLiteral("VACUUM ANALYZE"));
        const Result<QString> hash = Site::HashPassword("bench-password");
        if (!hash || !StoreAccount(store, QStringLiteral("bench"), *hash)) {
            f.problem = QStringLiteral("no account");
            return f;
        }
    }

    Site::SiteOptions options;
    options.history = location;
    options.port = 0;
    options.log = false;
    Site::SiteServer site(options);
    if (const Done started = site.Start(); !started) {
        f.problem = started.error();
        return f;
    }
    QElapsedTimer t;
    t.start();
    while (site.ComparedUnits() < 2 * units) {
        if (t.elapsed() > 30 * 60 * 1000) {
            f.problem = QStringLiteral("the fleet was not compared within 30 minutes");
            return f;
        }
        QThread::msleep(50);
    }
    f.compareAllSeconds = ms(t) / 1000;
    std::fprintf(stderr, "bench: site on %s: %d units compared (both languages) in %.1f s\n", qPrintable(kind), units,
                 f.compareAllSeconds);

    httplib::Client client("127.0.0.1", site.Port());
    client.set_read_timeout(120);
    const httplib::Result signedIn = client.Post("/signin", httplib::Params{{"name", "bench"}, {"password", "bench-password"}});
    if (!signedIn || signedIn->status != 303) {
        f.problem = QStringLiteral("signing in failed");
        return f;
    }
    const std::string cookie = signedIn->get_header_value("Set-Cookie").substr(0, signedIn->get_header_value("Set-Cookie").find(';'));
    const httplib::Headers session{{"Cookie", cookie}};
    std::mt19937 random(11);
    std::uniform_int_distribution<int> anyUnit(1, units);
    const auto fetch = [&](httplib::Client &c, const std::string &path, std::vector<double> *times) {
        QElapsedTimer p;
        p.start();
        const httplib::Result r = c.Get(path, session);
        if (times)
            times->push_back(ms(p));
        return r && r->status == 200;
    };
    for (int i = 0; i < 20; ++i) {
        if (!fetch(client, "/fleet", &f.fleetMs) || !fetch(client, "/unit?id=" + std::to_string(anyUnit(random)), &f.unitMs)) {
            f.problem = QStringLiteral("a page failed");
            return f;
        }
    }

    // Many browsers at once, each on a connection of its own, each asking for pages in turn.
    f.clients = clients;
    f.pagesEach = pagesEach;
    std::mutex mutex;
    std::atomic<int> errors{0};
    std::vector<std::thread> browsers;
    t.restart();
    for (int b = 0; b < clients; ++b) {
        browsers.emplace_back([&, b] {
            httplib::Client c("127.0.0.1", site.Port());
            c.set_read_timeout(120);
            std::mt19937 own(static_cast<unsigned>(b));
            std::uniform_int_distribution<int> unit(1, units);
            std::vector<double> times;
            for (int p = 0; p < pagesEach; ++p) {
                const std::string path = p % 4 == 0   ? "/fleet?page=" + std::to_string(1 + p % 3)
                                         : p % 4 == 1 ? "/flags"
                                                      : "/unit?id=" + std::to_string(unit(own));
                if (!fetch(c, path, &times))
                    ++errors;
            }
            const std::lock_guard lock(mutex);
            f.concurrentMs.insert(f.concurrentMs.end(), times.begin(), times.end());
        });
    }
    for (std::thread &b : browsers)
        b.join();
    f.concurrentSeconds = ms(t) / 1000;
    f.errors = errors;
    site.Stop();
    return f;
}

} // namespace QuiloBench

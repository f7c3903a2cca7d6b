#include "collectapp.h"

#include "collectargs.h"
#include "collector.h"
#include "collectreport.h"
#include "formatters.h"
#include "historylocation.h"
#include "stringtable.h"

#include <QDateTime>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include <limits>
#include <memory>

namespace QuiloCollect {

namespace {

constexpr int kExitUsage = 64;
constexpr int kExitBadList = 65;
constexpr int kExitNoList = 66;
constexpr int kExitOutput = 74;

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    // nothing else is safe here; the event loop reads the byte
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

// SIGTERM (systemd stopping the service) and Ctrl-C end the collection between two
// transactions; a second one ends the program at once, as usual.
bool installStopSignals()
{
    if (g_signalPipe[0] < 0 && ::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    return true;
}

void restoreSignals()
{
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
}

void say(QIODevice *err, const QString &text)
{
    // one line each, in the journal too: controls of the unit's or the list's texts made visible
    err->write((QStringLiteral("quilo: ") + Quilo::InertText(text) + QLatin1Char('\n')).toUtf8());
}

// When the next round of a service begins, from `now`.
QDateTime nextRound(const CollectOptions &o, const QDateTime &roundStart, const QDateTime &now)
{
    if (o.everyMs > 0) {
        QDateTime next = roundStart.addMSecs(o.everyMs);
        // a round that took longer than the period starts the next one at once
        return next < now ? now : next;
    }
    QDateTime next(now.date(), o.at);
    if (next <= now)
        next = QDateTime(now.date().addDays(1), o.at);
    return next;
}

} // namespace

int RunCollect(const QStringList &arguments, QIODevice *out, QIODevice *err)
{
    const Quilo::Result<CollectOptions> parsed = ParseCollectArgs(arguments);
    if (!parsed) {
        say(err, parsed.error());
        return kExitUsage;
    }
    const CollectOptions &o = parsed.value();
    if (o.help) {
        const QByteArray usage = (LoadString(Str::CollectUsage).arg(DefaultUnitsFile()) + QLatin1Char('\n')).toUtf8();
        return out->write(usage) == usage.size() ? 0 : kExitOutput;
    }

    QList<CollectUnit> units;
    const QString listFile = o.unitsFile.isEmpty() && !o.ports.isEmpty() ? QString()
                             : o.unitsFile.isEmpty()                      ? DefaultUnitsFile()
                                                                          : o.unitsFile;
    if (!listFile.isEmpty()) {
        bool unreadable = false;
        Quilo::Result<QList<CollectUnit>> loaded = LoadUnitList(listFile, &unreadable);
        if (!loaded) {
            say(err, loaded.error());
            return unreadable ? kExitNoList : kExitBadList;
        }
        units = std::move(loaded).value();
    }
    for (const QString &port : o.ports) {
        const bool listed = std::any_of(units.cbegin(), units.cend(), [&](const CollectUnit &u) { return u.port == port; });
        if (!listed)
            units << CollectUnit{port, port, QString(), QString(), 0};
    }
    if (units.isEmpty()) {
        say(err, LoadString(Str::CollectErrNoUnits).arg(listFile.isEmpty() ? DefaultUnitsFile() : listFile));
        return kExitUsage;
    }

    const Quilo::HistoryChoice history = Quilo::ChooseHistory(o.historyUrl, o.noHistory);
    if (history.record && !history.location.valid()) {
        say(err, history.location.error);
        return kExitUsage;
    }
    CollectSettings settings;
    settings.jobs = o.jobs;
    settings.retries = o.retries;
    settings.retryPauseMs = o.retryPauseMs;
    settings.silenceMs = o.silenceMs;
    settings.onFlag = o.onFlag;
    settings.onFlagTimeoutMs = o.onFlagTimeoutMs;
    settings.record = history.record;
    settings.history = history.location;

    installStopSignals();
    QEventLoop loop;
    bool stopping = false;
    int status = kExitAllRead;
    std::unique_ptr<CCollector> round; // the last round's lives until the next one begins
    bool roundRunning = false;
    QDateTime roundStart;
    QTimer next;
    next.setSingleShot(true);

    const auto startRound = [&]() {
        roundStart = QDateTime::currentDateTime();
        roundRunning = true;
        round = std::make_unique<CCollector>(units, settings, [err](const QString &line) { say(err, line); });
        say(err, LoadString(Str::CollectRoundStart)
                     .arg(units.size())
                     .arg(o.jobs > 0 ? qMin<qsizetype>(o.jobs, units.size()) : units.size()));
        QObject::connect(round.get(), &CCollector::finished, &loop, [&]() {
            const QList<UnitRun> &runs = round->Runs();
            const QByteArray summary = o.json ? SummaryJson(runs, roundStart, QDateTime::currentDateTime(), round->IsStopping())
                                              : SummaryTable(runs);
            say(err, SummaryLine(runs));
            status = CollectExitStatus(runs);
            if (out->write(summary) != summary.size())
                status = kExitOutput;
            roundRunning = false;
            if (stopping || !o.service()) {
                loop.quit();
                return;
            }
            const QDateTime now = QDateTime::currentDateTime();
            const QDateTime when = nextRound(o, roundStart, now);
            say(err, LoadString(Str::CollectNextRound).arg(when.toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
            next.start(static_cast<int>(qBound<qint64>(qint64(0), now.msecsTo(when), qint64(std::numeric_limits<int>::max()))));
        });
        round->Start();
    };
    QObject::connect(&next, &QTimer::timeout, &loop, startRound);

    QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &loop, [&]() {
        char bytes[16];
        while (::read(g_signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        if (stopping)
            return;
        stopping = true;
        say(err, LoadString(Str::CollectStopping));
        if (roundRunning) {
            round->Stop();
        } else {
            // between two rounds of a service: nothing runs, the last round's status stands
            next.stop();
            loop.quit();
        }
    });

    QTimer::singleShot(0, &loop, startRound);
    loop.exec();
    restoreSignals();
    // A service stopped on purpose ends cleanly; a single round says how it went.
    return o.service() && stopping && status != kExitOutput ? kExitAllRead : status;
}

} // namespace QuiloCollect

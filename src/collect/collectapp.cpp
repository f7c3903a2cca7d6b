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

int showUsage(QIODevice *out)
{
    const QByteArray usage = (LoadString(Str::CollectUsage).arg(DefaultUnitsFile()) + QLatin1Char('\n')).toUtf8();
    return out->write(usage) == usage.size() ? 0 : kExitOutput;
}

// The units to read: the list's, then those named on the command line that it lacks.
// Returns 0, or the exit status when there is nothing to read.
int gatherUnits(const CollectOptions &o, QIODevice *err, QList<CollectUnit> *units)
{
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
        *units = std::move(loaded).value();
    }
    for (const QString &port : o.ports) {
        const bool listed = std::any_of(units->cbegin(), units->cend(), [&](const CollectUnit &u) { return u.port == port; });
        if (!listed)
            *units << CollectUnit{port, port, QString(), QString(), 0};
    }
    if (units->isEmpty()) {
        say(err, LoadString(Str::CollectErrNoUnits).arg(listFile.isEmpty() ? DefaultUnitsFile() : listFile));
        return kExitUsage;
    }
    return 0;
}

CollectSettings settingsFor(const CollectOptions &o, const Quilo::HistoryChoice &history)
{
    CollectSettings settings;
    settings.jobs = o.jobs;
    settings.retries = o.retries;
    settings.retryPauseMs = o.retryPauseMs;
    settings.silenceMs = o.silenceMs;
    settings.onFlag = o.onFlag;
    settings.onFlagTimeoutMs = o.onFlagTimeoutMs;
    settings.record = history.record;
    settings.history = history.location;
    return settings;
}

// Writes a finished round's summary; returns the round's exit status.
int reportRound(const CCollector &round, const CollectOptions &o, const QDateTime &roundStart, QIODevice *out,
                QIODevice *err)
{
    const QList<UnitRun> &runs = round.Runs();
    const QByteArray summary = o.json ? SummaryJson(runs, roundStart, QDateTime::currentDateTime(), round.IsStopping())
                                      : SummaryTable(runs);
    say(err, SummaryLine(runs));
    int status = CollectExitStatus(runs);
    if (out->write(summary) != summary.size())
        status = kExitOutput;
    return status;
}

// One round, or a service's rounds until it is stopped. The stop signals must be installed
// before it is made.
class RoundLoop
{
public:
    RoundLoop(const CollectOptions &o, const QList<CollectUnit> &units, const CollectSettings &settings,
              QIODevice *out, QIODevice *err);
    int exec();

private:
    void startRound();
    void roundFinished();
    void stopRequested();

    const CollectOptions &m_options;
    const QList<CollectUnit> &m_units;
    const CollectSettings &m_settings;
    QIODevice *m_out;
    QIODevice *m_err;
    QEventLoop m_loop;
    bool m_stopping = false;
    int m_status = kExitAllRead;
    std::unique_ptr<CCollector> m_round; // the last round's lives until the next one begins
    bool m_roundRunning = false;
    QDateTime m_roundStart;
    QTimer m_next;
    QSocketNotifier m_notifier;
};

RoundLoop::RoundLoop(const CollectOptions &o, const QList<CollectUnit> &units, const CollectSettings &settings,
                     QIODevice *out, QIODevice *err)
    : m_options(o), m_units(units), m_settings(settings), m_out(out), m_err(err),
      m_notifier(g_signalPipe[0], QSocketNotifier::Read)
{
    m_next.setSingleShot(true);
    QObject::connect(&m_next, &QTimer::timeout, &m_loop, [this]() { startRound(); });
    QObject::connect(&m_notifier, &QSocketNotifier::activated, &m_loop, [this]() { stopRequested(); });
}

int RoundLoop::exec()
{
    QTimer::singleShot(0, &m_loop, [this]() { startRound(); });
    m_loop.exec();
    restoreSignals();
    // A service stopped on purpose ends cleanly; a single round says how it went.
    return m_options.service() && m_stopping && m_status != kExitOutput ? kExitAllRead : m_status;
}

void RoundLoop::startRound()
{
    m_roundStart = QDateTime::currentDateTime();
    m_roundRunning = true;
    QIODevice *err = m_err;
    m_round = std::make_unique<CCollector>(m_units, m_settings, [err](const QString &line) { say(err, line); });
    say(m_err, LoadString(Str::CollectRoundStart)
                   .arg(m_units.size())
                   .arg(m_options.jobs > 0 ? qMin<qsizetype>(m_options.jobs, m_units.size()) : m_units.size()));
    QObject::connect(m_round.get(), &CCollector::finished, &m_loop, [this]() { roundFinished(); });
    m_round->Start();
}

void RoundLoop::roundFinished()
{
    m_status = reportRound(*m_round, m_options, m_roundStart, m_out, m_err);
    m_roundRunning = false;
    if (m_stopping || !m_options.service()) {
        m_loop.quit();
        return;
    }
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime when = nextRound(m_options, m_roundStart, now);
    say(m_err, LoadString(Str::CollectNextRound).arg(when.toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
    m_next.start(static_cast<int>(qBound<qint64>(qint64(0), now.msecsTo(when), qint64(std::numeric_limits<int>::max()))));
}

void RoundLoop::stopRequested()
{
    char bytes[16];
    while (::read(g_signalPipe[0], bytes, sizeof bytes) > 0) {
    }
    if (m_stopping)
        return;
    m_stopping = true;
    say(m_err, LoadString(Str::CollectStopping));
    if (m_roundRunning) {
        m_round->Stop();
    } else {
        // between two rounds of a service: nothing runs, the last round's status stands
        m_next.stop();
        m_loop.quit();
    }
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
    if (o.help)
        return showUsage(out);

    QList<CollectUnit> units;
    if (const int status = gatherUnits(o, err, &units); status != 0)
        return status;

    const Quilo::HistoryChoice history = Quilo::ChooseHistory(o.historyUrl, o.noHistory);
    if (history.record && !history.location.valid()) {
        say(err, history.location.error);
        return kExitUsage;
    }
    const CollectSettings settings = settingsFor(o, history);

    installStopSignals();
    RoundLoop rounds(o, units, settings, out, err);
    return rounds.exec();
}

} // namespace QuiloCollect

#include "collector.h"

#include "formatters.h"
#include "stringtable.h"
#include "tarveldoc.h"
#include "visit.h"

#include <QJsonDocument>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>

namespace QuiloCollect {

struct CCollector::Line
{
    std::unique_ptr<CTarvelDoc> doc;
    QTimer *silence = nullptr; // no record read for a while: the read is given up
    QTimer *retry = nullptr;   // the pause before the next attempt
    QElapsedTimer started;
    bool silent = false;
};

CCollector::CCollector(const QList<CollectUnit> &units, const CollectSettings &settings,
                       std::function<void(const QString &)> say, QObject *parent)
    : QObject(parent), m_settings(settings), m_say(std::move(say))
{
    for (const CollectUnit &u : units) {
        UnitRun run;
        run.unit = u;
        run.historyOff = !settings.record;
        m_runs << run;
        auto line = std::make_unique<Line>();
        line->silence = new QTimer(this);
        line->silence->setSingleShot(true);
        line->silence->setInterval(settings.silenceMs);
        line->retry = new QTimer(this);
        line->retry->setSingleShot(true);
        const int i = static_cast<int>(m_lines.size());
        connect(line->silence, &QTimer::timeout, this, [this, i]() {
            Line &l = *m_lines.at(static_cast<std::size_t>(i));
            if (l.doc && l.doc->IsBusy()) {
                l.silent = true;
                l.doc->StopOperation();
            }
        });
        connect(line->retry, &QTimer::timeout, this, [this, i]() {
            --m_pausing;
            m_ready.push_back(i);
            StartNext();
        });
        m_lines.push_back(std::move(line));
    }
    if (settings.record) {
        m_filer = std::make_unique<CVisitFiler>(settings.history);
        connect(m_filer.get(), &CVisitFiler::filed, this, &CCollector::OnFiled);
    }
}

CCollector::~CCollector()
{
    // the documents first: each waits for its line thread, whose signals come here
    m_retired.clear();
    for (auto &line : m_lines)
        line->doc.reset();
}

void CCollector::Start()
{
    if (m_started)
        return;
    m_started = true;
    for (int i = 0; i < m_runs.size(); ++i)
        m_ready.push_back(i);
    StartNext();
    CheckDone();
}

void CCollector::Stop()
{
    if (m_stopping)
        return;
    m_stopping = true;
    for (int i = 0; i < m_runs.size(); ++i) {
        Line &l = *m_lines.at(static_cast<std::size_t>(i));
        UnitRun &run = m_runs[i];
        if (l.retry->isActive()) {
            // it failed before and waits for its next try: that failure stands
            l.retry->stop();
            --m_pausing;
            run.outcome = UnitRun::Outcome::Failed;
            Release(i);
        } else if (l.doc && l.doc->IsBusy()) {
            l.doc->StopOperation();
        }
    }
    for (const int i : m_ready) {
        m_runs[i].outcome = UnitRun::Outcome::Stopped;
        m_runs[i].reason = LoadString(Str::CollectWhyNotStarted);
    }
    m_ready.clear();
    CheckDone();
}

void CCollector::Event(int i, const QString &what)
{
    const UnitRun &run = m_runs.at(i);
    m_say(LoadString(Str::CollectEvent).arg(run.unit.name, run.unit.port, what));
}

void CCollector::StartNext()
{
    const int jobs = m_settings.jobs > 0 ? m_settings.jobs : static_cast<int>(m_runs.size());
    while (!m_stopping && m_reading < jobs && !m_ready.empty()) {
        const int i = m_ready.front();
        m_ready.pop_front();
        Begin(i);
    }
}

void CCollector::Begin(int i)
{
    Line &l = *m_lines.at(static_cast<std::size_t>(i));
    UnitRun &run = m_runs[i];
    if (!l.doc) {
        l.doc = std::make_unique<CTarvelDoc>();
        l.doc->SetPort(run.unit.port);
        if (!run.unit.userKey.isEmpty())
            l.doc->SetKeyMode(1, run.unit.userKey);
        l.doc->StartLinkThread();
        connect(l.doc.get(), &CTarvelDoc::recordsChanged, this,
                [this, i](int dataSet, int first, int last) { OnRecords(i, dataSet, first, last); });
        connect(l.doc.get(), &CTarvelDoc::wholeUnitRead, this,
                [this, i](const QList<COperationSummary> &summaries, bool complete) { OnRead(i, summaries, complete); });
    }
    ++run.attempts;
    l.silent = false;
    if (!l.doc->StartReadAll()) {
        // only while an operation runs, which a collection never leaves behind
        Failed(i, LoadString(Str::CollectWhyStopped), false);
        return;
    }
    ++m_reading;
    l.started.start();
    l.silence->start();
    Event(i, LoadString(Str::CollectReading).arg(run.attempts));
}

void CCollector::OnRecords(int i, int dataSet, int first, int last)
{
    Line &l = *m_lines.at(static_cast<std::size_t>(i));
    if (!l.doc || first < 0)
        return;
    for (int r = first; r <= last; ++r)
        if (l.doc->ReadOut().IsRead(dataSet, static_cast<unsigned>(r))) {
            l.silence->start(); // the unit answers: the wait begins anew
            return;
        }
}

void CCollector::OnRead(int i, const QList<COperationSummary> &summaries, bool complete)
{
    Line &l = *m_lines.at(static_cast<std::size_t>(i));
    UnitRun &run = m_runs[i];
    --m_reading;
    l.silence->stop();
    run.readMs = l.started.elapsed();
    int read = 0;
    int tried = 0;
    int failed = 0;
    bool lineLost = false;
    bool stopped = false;
    QString portError;
    for (const COperationSummary &s : summaries) {
        read += s.read;
        tried += s.tried;
        failed += s.failed();
        lineLost = lineLost || s.lineLost;
        stopped = stopped || s.stopped;
        if (!s.portOpened && portError.isEmpty())
            portError = s.portError.isEmpty() ? l.doc->ComPort().LastError().message : s.portError;
    }
    const int silenceSeconds = m_settings.silenceMs / 1000;
    if (!portError.isEmpty()) {
        // A port another program holds is being read right now: say so, and look again later.
        if (l.doc->ComPort().LastError().code == Quilo::Serial::Failure::Busy)
            portError = LoadString(Str::CollectWhyBusy);
        Failed(i, portError, true);
    } else if (l.silent) {
        Failed(i, LoadString(Str::CollectWhySilent).arg(silenceSeconds), true);
    } else if (lineLost) {
        Failed(i, LoadString(Str::CollectWhyLost), true);
    } else if (stopped || !complete) {
        run.outcome = UnitRun::Outcome::Stopped;
        run.reason = LoadString(Str::CollectWhyStopped);
        Event(i, run.reason);
        Release(i);
    } else if (read == 0) {
        Failed(i, LoadString(Str::CollectWhySilent).arg(silenceSeconds), true);
    } else {
        const Quilo::Result<Quilo::Visit> visit =
            Quilo::VisitFromDocument(l.doc->ReadOut(), run.unit.port, QDateTime::currentDateTimeUtc());
        if (!visit) {
            Failed(i, visit.error(), true);
        } else {
            run.outcome = UnitRun::Outcome::Read;
            run.records = read;
            run.failedRecords = failed;
            run.reason.clear();
            Event(i, LoadString(Str::CollectReadDone)
                         .arg(read)
                         .arg(tried)
                         .arg(QString::number(static_cast<double>(run.readMs) / 1000.0, 'f', 1)));
            if (m_filer)
                m_filer->File(i, *visit);
            else
                Event(i, LoadString(Str::CollectHistoryOff));
            Release(i);
        }
    }
    StartNext();
    CheckDone();
}

void CCollector::Failed(int i, const QString &why, bool retry)
{
    UnitRun &run = m_runs[i];
    Line &l = *m_lines.at(static_cast<std::size_t>(i));
    // the line's sentences end in a full stop; here they stand inside one of ours
    QString reason = why.trimmed();
    while (reason.endsWith(QLatin1Char('.')))
        reason.chop(1);
    run.reason = reason;
    if (m_stopping) {
        run.outcome = UnitRun::Outcome::Stopped;
        Event(i, LoadString(Str::CollectFailedFinal).arg(reason));
        Release(i);
        return;
    }
    if (retry && run.attempts <= m_settings.retries) {
        // 1, 2, 4 ... times the first pause: a unit switched off for the night is not asked
        // every few seconds
        const qint64 pause = qMin<qint64>(qint64(m_settings.retryPauseMs) << qMin(run.attempts - 1, 20),
                                          24LL * 3600 * 1000);
        Event(i, LoadString(Str::CollectRetry).arg(reason).arg(QString::number(static_cast<double>(pause) / 1000.0)));
        ++m_pausing;
        l.retry->start(static_cast<int>(pause));
        return;
    }
    run.outcome = UnitRun::Outcome::Failed;
    Event(i, LoadString(Str::CollectFailedFinal).arg(reason));
    Release(i);
}

void CCollector::Release(int i)
{
    // The document may have emitted the signal being handled: it goes once that has returned,
    // and at the latest with the collector, so no line thread outlives the round. Its thread
    // ends with it, so a round of hundreds of units does not keep hundreds of threads.
    Line &l = *m_lines.at(static_cast<std::size_t>(i));
    if (!l.doc)
        return;
    m_retired.push_back(std::move(l.doc));
    QTimer::singleShot(0, this, [this]() { m_retired.clear(); });
}

void CCollector::OnFiled(int i, const FiledVisit &visit)
{
    UnitRun &run = m_runs[i];
    run.filed = true;
    run.visit = visit;
    Event(i, visit.message);
    if (!visit.flags.isEmpty()) {
        Event(i, LoadString(Str::CollectFlags).arg(visit.flags.size()).arg(visit.flags.join(QStringLiteral(", "))));
        RunOnFlag(i);
    } else if (!visit.compared) {
        Event(i, visit.notCompared);
    }
    CheckDone();
}

void CCollector::RunOnFlag(int i)
{
    if (m_settings.onFlag.isEmpty())
        return;
    UnitRun &run = m_runs[i];
    // The command as the user wrote it, split into words here: no shell ever sees the unit's
    // texts, which reach the command only as data on its standard input.
    QStringList words = QProcess::splitCommand(m_settings.onFlag);
    if (words.isEmpty())
        return;
    auto *p = new QProcess(this);
    p->setProgram(words.takeFirst());
    p->setArguments(words);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUILO_UNIT"), run.unit.name);
    env.insert(QStringLiteral("QUILO_PORT"), run.unit.port);
    p->setProcessEnvironment(env);
    // its output is not the summary's: what it says goes to the journal with ours
    p->setStandardOutputFile(QProcess::nullDevice());
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QJsonObject json = run.visit.comparison;
    json.insert(QStringLiteral("collected"),
                QJsonObject{{QStringLiteral("name"), run.unit.name}, {QStringLiteral("port"), run.unit.port}});
    const QByteArray input = QJsonDocument(json).toJson(QJsonDocument::Indented);
    auto *timer = new QTimer(p);
    timer->setSingleShot(true);
    auto timedOut = std::make_shared<bool>(false);
    connect(timer, &QTimer::timeout, p, [p, timedOut]() {
        *timedOut = true;
        p->kill();
    });
    auto done = std::make_shared<bool>(false);
    const auto finish = [this, i, p, done](const QString &what, bool ok) {
        if (*done)
            return;
        *done = true;
        m_runs[i].onFlag = what;
        m_runs[i].onFlagOk = ok;
        Event(i, what);
        --m_commands;
        p->deleteLater();
        CheckDone();
    };
    connect(p, &QProcess::errorOccurred, this, [p, finish](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            finish(LoadString(Str::CollectOnFlagFailed).arg(p->errorString()), false);
    });
    connect(p, &QProcess::finished, this, [this, p, timedOut, finish](int code, QProcess::ExitStatus status) {
        if (*timedOut)
            finish(LoadString(Str::CollectOnFlagTimeout).arg(m_settings.onFlagTimeoutMs / 1000), false);
        else if (status != QProcess::NormalExit)
            finish(LoadString(Str::CollectOnFlagFailed).arg(p->errorString()), false);
        else
            finish(LoadString(Str::CollectOnFlagExit).arg(code), code == 0);
    });
    ++m_commands;
    timer->start(m_settings.onFlagTimeoutMs);
    p->start();
    p->write(input);
    p->closeWriteChannel();
}

void CCollector::CheckDone()
{
    if (m_finished || !m_started)
        return;
    if (m_reading > 0 || m_pausing > 0 || m_commands > 0 || (m_filer && m_filer->IsBusy()))
        return;
    if (!m_ready.empty() && !m_stopping)
        return;
    m_finished = true;
    // after the caller's slot that brought us here has returned
    QMetaObject::invokeMethod(this, &CCollector::finished, Qt::QueuedConnection);
}

} // namespace QuiloCollect

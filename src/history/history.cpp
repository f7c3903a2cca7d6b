#include "history.h"

#include "historystore.h"
#include "stringtable.h"

#include <QFileInfo>

#include <algorithm>

namespace Quilo {

namespace {

bool sameFile(const HistoryLocation &location, const QString &localFile)
{
    return location.kind == HistoryLocation::Kind::SQLite
           && QFileInfo(location.path).absoluteFilePath() == QFileInfo(localFile).absoluteFilePath();
}

QString unitName(const Visit &v)
{
    return v.unitType + QLatin1Char('/') + v.unitNumber;
}

} // namespace

SendReport SendQueued(CHistoryStore &store, const QString &localFile, bool takeUnknown)
{
    SendReport report;
    if (sameFile(store.Location(), localFile) || !QFileInfo::exists(localFile))
        return report;
    CHistoryStore outbox(ParseHistoryLocation(localFile));
    const Done opened = outbox.Open();
    const Result<QList<QueuedVisit>> queued = opened ? outbox.Queued() : Result<QList<QueuedVisit>>(opened.failure());
    if (!queued) {
        report.why = queued.error();
        return report;
    }
    const QString target = store.Location().target;
    for (const QueuedVisit &q : *queued) {
        const bool mine = !target.isEmpty() && q.target == target;
        if (!mine && !(takeUnknown && !NamesHistory(q.target)))
            continue;
        if (report.why.isEmpty()) {
            if (const Result<CHistoryStore::Recorded> r = store.Record(q.visit); !r)
                report.why = r.error();
            else if (outbox.Dequeue(q.visit.uuid, q.target))
                ++report.sent;
            else
                report.waiting += mine ? 1 : 0; // a visit not taken off stays there
        }
        if (!report.why.isEmpty())
            report.waiting += mine ? 1 : 0;
    }
    return report;
}

bool NamesHistory(const QString &target)
{
    return !target.isEmpty() && ParseHistoryLocation(target).valid();
}

Result<QList<Waiting>> WaitingVisits(const QString &localFile)
{
    QList<Waiting> waiting;
    if (!QFileInfo::exists(localFile))
        return waiting;
    CHistoryStore outbox(ParseHistoryLocation(localFile));
    if (Done opened = outbox.Open(); !opened)
        return opened.failure();
    const Result<QList<QueuedVisit>> queued = outbox.Queued();
    if (!queued)
        return queued.failure();
    for (const QueuedVisit &q : *queued) {
        auto it = std::find_if(waiting.begin(), waiting.end(), [&](const Waiting &w) { return w.target == q.target; });
        if (it == waiting.end())
            waiting.append(Waiting{q.target, 1});
        else
            ++it->visits;
    }
    return waiting;
}

RecordReport RecordVisit(const HistoryLocation &location, const Visit &visit, const QString &localFile)
{
    QString why;
    {
        CHistoryStore store(location);
        if (Done opened = store.Open(); !opened) {
            why = opened.error();
        } else {
            Result<RecordReport> report = RecordVisit(store, visit, localFile);
            if (report)
                return std::move(report).value();
            why = report.error();
        }
    }
    return KeepVisit(location, visit, why, localFile);
}

Result<RecordReport> RecordVisit(CHistoryStore &store, const Visit &visit, const QString &localFile)
{
    RecordReport report;
    const SendReport sending = SendQueued(store, localFile);
    report.sent = sending.sent;
    report.waiting = sending.waiting;
    const Result<CHistoryStore::Recorded> recorded = store.Record(visit);
    if (!recorded)
        return recorded.failure();
    if (*recorded == CHistoryStore::Recorded::New) {
        report.outcome = RecordReport::Outcome::Recorded;
        report.message = LoadString(Str::HistRecorded).arg(unitName(visit), store.Location().shown);
    } else {
        report.outcome = RecordReport::Outcome::AlreadyThere;
        report.message = LoadString(Str::HistAlreadyThere).arg(unitName(visit));
    }
    if (report.sent > 0)
        report.message += QLatin1Char(' ') + LoadString(Str::HistSentQueued).arg(report.sent);
    return report;
}

RecordReport KeepVisit(const HistoryLocation &location, const Visit &visit, const QString &why, const QString &localFile)
{
    RecordReport report;
    // The store could not take it: keep it on this PC rather than lose it.
    if (sameFile(location, localFile)) {
        report.message = WithoutPassword(why, location);
        return report;
    }
    CHistoryStore outbox(ParseHistoryLocation(localFile));
    Done kept = outbox.Open();
    if (kept)
        kept = outbox.Queue(visit, location, why);
    if (!kept) {
        report.message = WithoutPassword(LoadString(Str::HistLost).arg(why, kept.error()), location);
        return report;
    }
    report.outcome = RecordReport::Outcome::Queued;
    if (const Result<QList<QueuedVisit>> queued = outbox.Queued())
        report.waiting = static_cast<int>(std::count_if(queued->cbegin(), queued->cend(), [&](const QueuedVisit &q) {
            return q.target == location.target;
        }));
    report.message = WithoutPassword(LoadString(Str::HistQueued).arg(why).arg(report.waiting), location);
    return report;
}

} // namespace Quilo

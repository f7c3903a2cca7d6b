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

int SendQueued(CHistoryStore &store, const QString &localFile, int *waiting, QString *error, bool takeUnknown)
{
    *waiting = 0;
    if (sameFile(store.Location(), localFile) || !QFileInfo::exists(localFile))
        return 0;
    CHistoryStore outbox(ParseHistoryLocation(localFile));
    QList<QueuedVisit> queued;
    if (!outbox.Open(error) || !outbox.Queued(&queued, error))
        return 0;
    const QString target = store.Location().target;
    int sent = 0;
    bool failed = false;
    for (const QueuedVisit &q : queued) {
        const bool mine = !target.isEmpty() && q.target == target;
        if (!mine && !(takeUnknown && !NamesHistory(q.target)))
            continue;
        QString why;
        if (failed || store.Record(q.visit, &why) == CHistoryStore::Recorded::Failed) {
            if (!failed)
                *error = why;
            failed = true;
            *waiting += mine ? 1 : 0;
            continue;
        }
        if (outbox.Dequeue(q.visit.uuid, q.target, &why))
            ++sent;
        else
            *waiting += mine ? 1 : 0; // a visit not taken off stays there
    }
    return sent;
}

bool NamesHistory(const QString &target)
{
    return !target.isEmpty() && ParseHistoryLocation(target).valid();
}

bool WaitingVisits(const QString &localFile, QList<Waiting> *waiting, QString *error)
{
    waiting->clear();
    if (!QFileInfo::exists(localFile))
        return true;
    CHistoryStore outbox(ParseHistoryLocation(localFile));
    QList<QueuedVisit> queued;
    if (!outbox.Open(error) || !outbox.Queued(&queued, error))
        return false;
    for (const QueuedVisit &q : queued) {
        auto it = std::find_if(waiting->begin(), waiting->end(), [&](const Waiting &w) { return w.target == q.target; });
        if (it == waiting->end())
            waiting->append(Waiting{q.target, 1});
        else
            ++it->visits;
    }
    return true;
}

RecordReport RecordVisit(const HistoryLocation &location, const Visit &visit, const QString &localFile)
{
    QString why;
    {
        CHistoryStore store(location);
        if (store.Open(&why)) {
            RecordReport report = RecordVisit(store, visit, localFile, &why);
            if (report.outcome != RecordReport::Outcome::Failed)
                return report;
        }
    }
    return KeepVisit(location, visit, why, localFile);
}

RecordReport RecordVisit(CHistoryStore &store, const Visit &visit, const QString &localFile, QString *why)
{
    RecordReport report;
    QString sendError;
    report.sent = SendQueued(store, localFile, &report.waiting, &sendError);
    switch (store.Record(visit, why)) {
    case CHistoryStore::Recorded::New:
        report.outcome = RecordReport::Outcome::Recorded;
        report.message = LoadString(Str::HistRecorded).arg(unitName(visit), store.Location().shown);
        break;
    case CHistoryStore::Recorded::AlreadyThere:
        report.outcome = RecordReport::Outcome::AlreadyThere;
        report.message = LoadString(Str::HistAlreadyThere).arg(unitName(visit));
        break;
    case CHistoryStore::Recorded::Failed:
        return report;
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
    QString outboxError;
    if (!outbox.Open(&outboxError) || !outbox.Queue(visit, location, why, &outboxError)) {
        report.message = WithoutPassword(LoadString(Str::HistLost).arg(why, outboxError), location);
        return report;
    }
    report.outcome = RecordReport::Outcome::Queued;
    QList<QueuedVisit> queued;
    if (outbox.Queued(&queued, &outboxError))
        report.waiting = static_cast<int>(std::count_if(queued.cbegin(), queued.cend(), [&](const QueuedVisit &q) {
            return q.target == location.target;
        }));
    report.message = WithoutPassword(LoadString(Str::HistQueued).arg(why).arg(report.waiting), location);
    return report;
}

} // namespace Quilo

#include "history.h"

#include "historystore.h"
#include "stringtable.h"

#include <QFileInfo>

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

int SendQueued(CHistoryStore &store, const QString &localFile, int *waiting, QString *error)
{
    *waiting = 0;
    if (sameFile(store.Location(), localFile) || !QFileInfo::exists(localFile))
        return 0;
    CHistoryStore outbox(ParseHistoryLocation(localFile));
    QList<Visit> queued;
    if (!outbox.Open(error) || !outbox.Queued(&queued, error))
        return 0;
    int sent = 0;
    for (const Visit &v : queued) {
        QString why;
        if (store.Record(v, &why) == CHistoryStore::Recorded::Failed) {
            *error = why;
            break;
        }
        if (outbox.Dequeue(v.uuid, &why))
            ++sent;
    }
    *waiting = static_cast<int>(queued.size()) - sent; // a visit not taken off stays there
    return sent;
}

RecordReport RecordVisit(const HistoryLocation &location, const Visit &visit, const QString &localFile)
{
    RecordReport report;
    QString why;
    {
        CHistoryStore store(location);
        if (store.Open(&why)) {
            QString sendError;
            report.sent = SendQueued(store, localFile, &report.waiting, &sendError);
            switch (store.Record(visit, &why)) {
            case CHistoryStore::Recorded::New:
                report.outcome = RecordReport::Outcome::Recorded;
                report.message = LoadString(Str::HistRecorded).arg(unitName(visit), location.shown);
                break;
            case CHistoryStore::Recorded::AlreadyThere:
                report.outcome = RecordReport::Outcome::AlreadyThere;
                report.message = LoadString(Str::HistAlreadyThere).arg(unitName(visit));
                break;
            case CHistoryStore::Recorded::Failed:
                break;
            }
            if (report.outcome != RecordReport::Outcome::Failed) {
                if (report.sent > 0)
                    report.message += QLatin1Char(' ') + LoadString(Str::HistSentQueued).arg(report.sent);
                return report;
            }
        }
    }
    // The store could not take it: keep it on this PC rather than lose it.
    if (sameFile(location, localFile)) {
        report.message = why;
        return report;
    }
    CHistoryStore outbox(ParseHistoryLocation(localFile));
    QString outboxError;
    if (!outbox.Open(&outboxError) || !outbox.Queue(visit, why, &outboxError)) {
        report.message = LoadString(Str::HistLost).arg(why, outboxError);
        return report;
    }
    report.outcome = RecordReport::Outcome::Queued;
    QList<Visit> queued;
    if (outbox.Queued(&queued, &outboxError))
        report.waiting = static_cast<int>(queued.size());
    report.message = LoadString(Str::HistQueued).arg(why).arg(report.waiting);
    return report;
}

} // namespace Quilo

#include "historyservice.h"

#include "stringtable.h"
#include "tarveldoc.h"

#include <QFileInfo>
#include <QThread>

namespace Quilo {

CHistoryService::CHistoryService(QObject *parent)
    : QObject(parent), m_stop(std::make_shared<std::atomic<bool>>(false))
{
    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("history"));
    m_worker = new QObject;
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start();
}

CHistoryService::~CHistoryService()
{
    Stop();
    m_thread->quit();
    m_thread->wait();
}

HistoryChoice CHistoryService::Choice()
{
    return ChooseHistory();
}

template<class Work>
void CHistoryService::Post(Work work)
{
    if (m_pending.fetch_add(1) == 0)
        emit busyChanged(true);
    QMetaObject::invokeMethod(m_worker, [this, work = std::move(work)]() mutable {
        auto answer = work();
        // Back on the service's thread; dropped when the service is gone.
        QMetaObject::invokeMethod(this, [this, answer = std::move(answer)]() mutable {
            answer();
            if (m_pending.fetch_sub(1) == 1)
                emit busyChanged(false);
        }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
}

void CHistoryService::Stop()
{
    m_stop->store(true);
}

void CHistoryService::RecordWholeUnit(const CTarvelDoc &doc, bool complete)
{
    const HistoryChoice choice = ChooseHistory();
    if (!choice.record)
        return;
    if (!complete) {
        emit recorded(LoadString(Str::HistNotComplete), false);
        return;
    }
    Visit visit;
    QString error;
    // Taken here, on the document's thread: the records are copied before the next read.
    if (!VisitFromDocument(doc, doc.PortName(), QDateTime::currentDateTimeUtc(), &visit, &error)) {
        emit recorded(error, false);
        return;
    }
    Post([this, location = choice.location, visit] {
        const RecordReport report = RecordVisit(location, visit);
        return [this, report] {
            emit recorded(report.message, report.outcome != RecordReport::Outcome::Failed);
        };
    });
}

void CHistoryService::ListUnits()
{
    Post([this] {
        CHistoryStore store(ChooseHistory().location);
        QList<UnitEntry> units;
        QString error;
        int waiting = 0;
        if (store.Open(&error)) {
            QString sendError;
            SendQueued(store, DefaultHistoryFile(), &waiting, &sendError);
            store.Units(&units, &error);
        }
        return [this, units, error] { emit unitsListed(units, error); };
    });
}

void CHistoryService::ListVisits(qint64 unitId)
{
    Post([this, unitId] {
        CHistoryStore store(ChooseHistory().location);
        QList<VisitEntry> visits;
        QString error;
        if (store.Open(&error))
            store.Visits(unitId, &visits, &error);
        return [this, unitId, visits, error] { emit visitsListed(unitId, visits, error); };
    });
}

void CHistoryService::Compare(qint64 earlierId, qint64 laterId)
{
    Post([this, earlierId, laterId] {
        CHistoryStore store(ChooseHistory().location);
        StoredVisit a;
        StoredVisit b;
        Comparison c;
        QString error;
        if (store.Open(&error) && store.LoadVisit(earlierId, &a, &error) && store.LoadVisit(laterId, &b, &error)) {
            if (b.entry.pcTime < a.entry.pcTime)
                std::swap(a, b);
            c = CompareVisits(a, b);
        }
        return [this, c, b, error] { emit compared(c, b, error); };
    });
}

void CHistoryService::Import(const QStringList &files)
{
    m_stop->store(false);
    Post([this, files, stop = m_stop] {
        const HistoryLocation location = ChooseHistory().location;
        QStringList messages;
        int recordedCount = 0;
        for (const QString &path : files) {
            if (stop->load()) {
                messages << LoadString(Str::HistImportStopped);
                break;
            }
            QString error;
            Visit visit;
            const QString name = QFileInfo(path).fileName();
            if (!VisitFromFile(path, &visit, &error)) {
                messages << name + QStringLiteral(": ") + error;
                continue;
            }
            const RecordReport report = RecordVisit(location, visit);
            if (report.outcome == RecordReport::Outcome::Recorded || report.outcome == RecordReport::Outcome::Queued)
                ++recordedCount;
            messages << name + QStringLiteral(": ") + report.message;
        }
        return [this, messages, recordedCount] { emit imported(messages, recordedCount); };
    });
}

} // namespace Quilo

#include "historyservice.h"

#include "stringtable.h"
#include "tarveldoc.h"

#include <QFileInfo>
#include <QThread>

namespace Quilo {

namespace {

bool sameStore(const HistoryLocation &a, const HistoryLocation &b)
{
    return a.kind == b.kind && a.path == b.path && a.host == b.host && a.port == b.port && a.database == b.database
           && a.user == b.user && a.password == b.password && a.options == b.options;
}

} // namespace

// Lives on the service's thread and keeps its store there, from one request to the next.
class HistoryWorker : public QObject
{
public:
    explicit HistoryWorker(std::shared_ptr<std::atomic<int>> opened) : m_opened(std::move(opened)) {}

    // The open store of `location`: the one kept, unless the history chosen has changed since.
    // A failure with a message for people when it cannot be opened.
    Result<CHistoryStore *> Store(const HistoryLocation &location)
    {
        if (m_store && m_store->IsOpen() && sameStore(m_store->Location(), location))
            return m_store.get();
        m_store.reset(); // its connection goes before the next one is made
        auto store = std::make_unique<CHistoryStore>(location);
        m_opened->fetch_add(1);
        if (Done opened = store->Open(); !opened)
            return opened.failure();
        m_store = std::move(store);
        return m_store.get();
    }
    Result<CHistoryStore *> Store() { return Store(ChooseHistory().location); }

    // After a failure the connection may be broken (a server restarted): the next request
    // opens the store again.
    void Forget() { m_store.reset(); }

    RecordReport Record(const HistoryLocation &location, const Visit &visit)
    {
        const Result<CHistoryStore *> store = Store(location);
        if (!store)
            return KeepVisit(location, visit, store.error());
        Result<RecordReport> report = RecordVisit(**store, visit, DefaultHistoryFile());
        if (report)
            return std::move(report).value();
        Forget();
        return KeepVisit(location, visit, report.error());
    }

private:
    std::shared_ptr<std::atomic<int>> m_opened;
    std::unique_ptr<CHistoryStore> m_store;
};

CHistoryService::CHistoryService(QObject *parent)
    : QObject(parent), m_stop(std::make_shared<std::atomic<bool>>(false)),
      m_opened(std::make_shared<std::atomic<int>>(0))
{
    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("history"));
    m_worker = new HistoryWorker(m_opened);
    m_worker->moveToThread(m_thread);
    // Deleted on its own thread, so that its store closes where it was opened.
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
    // Taken here, on the document's thread: the records are copied before the next read.
    const Result<Visit> taken = VisitFromDocument(doc.ReadOut(), doc.PortName(), QDateTime::currentDateTimeUtc());
    if (!taken) {
        emit recorded(taken.error(), false);
        return;
    }
    Post([this, location = choice.location, visit = *taken] {
        const RecordReport report = m_worker->Record(location, visit);
        return [this, report] {
            emit recorded(report.message, report.outcome != RecordReport::Outcome::Failed);
        };
    });
}

void CHistoryService::ListUnits()
{
    Post([this] {
        const Result<CHistoryStore *> store = m_worker->Store();
        const Result<QList<UnitEntry>> units = store ? (*store)->Units() : store.failure();
        if (store && !units)
            m_worker->Forget();
        return [this, units] { emit unitsListed(units.valueOr({}), units.error()); };
    });
}

void CHistoryService::ListVisits(qint64 unitId)
{
    Post([this, unitId] {
        const Result<CHistoryStore *> store = m_worker->Store();
        const Result<QList<VisitEntry>> visits = store ? (*store)->Visits(unitId) : store.failure();
        if (store && !visits)
            m_worker->Forget();
        return [this, unitId, visits] { emit visitsListed(unitId, visits.valueOr({}), visits.error()); };
    });
}

void CHistoryService::SendQueued()
{
    Post([this] {
        SendReport report;
        if (const Result<CHistoryStore *> store = m_worker->Store()) {
            report = Quilo::SendQueued(**store, DefaultHistoryFile());
            if (!report.why.isEmpty())
                m_worker->Forget();
        } else {
            report.why = store.error();
        }
        return [this, report] { emit sent(report.sent, report.waiting, report.why); };
    });
}

void CHistoryService::Compare(qint64 earlierId, qint64 laterId)
{
    Post([this, earlierId, laterId] {
        StoredVisit b;
        Comparison c;
        QString error;
        const Result<CHistoryStore *> store = m_worker->Store();
        Result<StoredVisit> earlier = store ? (*store)->LoadVisit(earlierId) : store.failure();
        Result<StoredVisit> later = earlier ? (*store)->LoadVisit(laterId) : earlier.failure();
        if (later) {
            StoredVisit a = std::move(earlier).value();
            b = std::move(later).value();
            if (b.entry.pcTime < a.entry.pcTime)
                std::swap(a, b);
            c = CompareVisits(a, b);
        } else {
            error = later.error();
            if (store && (*store)->Faulted())
                m_worker->Forget();
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
            const QString name = QFileInfo(path).fileName();
            const Result<Visit> visit = VisitFromFile(path);
            if (!visit) {
                messages << name + QStringLiteral(": ") + visit.error();
                continue;
            }
            const RecordReport report = m_worker->Record(location, *visit);
            if (report.outcome == RecordReport::Outcome::Recorded || report.outcome == RecordReport::Outcome::Queued)
                ++recordedCount;
            messages << name + QStringLiteral(": ") + report.message;
        }
        return [this, messages, recordedCount] { emit imported(messages, recordedCount); };
    });
}

} // namespace Quilo

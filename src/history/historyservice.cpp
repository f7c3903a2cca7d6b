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
    // Nullptr with a message for people when it cannot be opened.
    CHistoryStore *Store(const HistoryLocation &location, QString *error)
    {
        if (m_store && m_store->IsOpen() && sameStore(m_store->Location(), location))
            return m_store.get();
        m_store.reset(); // its connection goes before the next one is made
        auto store = std::make_unique<CHistoryStore>(location);
        m_opened->fetch_add(1);
        if (!store->Open(error))
            return nullptr;
        m_store = std::move(store);
        return m_store.get();
    }
    CHistoryStore *Store(QString *error) { return Store(ChooseHistory().location, error); }

    // After a failure the connection may be broken (a server restarted): the next request
    // opens the store again.
    void Failed() { m_store.reset(); }

    RecordReport Record(const HistoryLocation &location, const Visit &visit)
    {
        QString why;
        CHistoryStore *store = Store(location, &why);
        if (store) {
            RecordReport report = RecordVisit(*store, visit, DefaultHistoryFile(), &why);
            if (report.outcome != RecordReport::Outcome::Failed)
                return report;
            Failed();
        }
        return KeepVisit(location, visit, why);
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
    Visit visit;
    QString error;
    // Taken here, on the document's thread: the records are copied before the next read.
    if (!VisitFromDocument(doc.ReadOut(), doc.PortName(), QDateTime::currentDateTimeUtc(), &visit, &error)) {
        emit recorded(error, false);
        return;
    }
    Post([this, location = choice.location, visit] {
        const RecordReport report = m_worker->Record(location, visit);
        return [this, report] {
            emit recorded(report.message, report.outcome != RecordReport::Outcome::Failed);
        };
    });
}

void CHistoryService::ListUnits()
{
    Post([this] {
        QList<UnitEntry> units;
        QString error;
        CHistoryStore *store = m_worker->Store(&error);
        if (store && !store->Units(&units, &error))
            m_worker->Failed();
        return [this, units, error] { emit unitsListed(units, error); };
    });
}

void CHistoryService::ListVisits(qint64 unitId)
{
    Post([this, unitId] {
        QList<VisitEntry> visits;
        QString error;
        CHistoryStore *store = m_worker->Store(&error);
        if (store && !store->Visits(unitId, &visits, &error))
            m_worker->Failed();
        return [this, unitId, visits, error] { emit visitsListed(unitId, visits, error); };
    });
}

void CHistoryService::SendQueued()
{
    Post([this] {
        int sentCount = 0;
        int waiting = 0;
        QString error;
        if (CHistoryStore *store = m_worker->Store(&error)) {
            sentCount = Quilo::SendQueued(*store, DefaultHistoryFile(), &waiting, &error);
            if (!error.isEmpty())
                m_worker->Failed();
        }
        return [this, sentCount, waiting, error] { emit sent(sentCount, waiting, error); };
    });
}

void CHistoryService::Compare(qint64 earlierId, qint64 laterId)
{
    Post([this, earlierId, laterId] {
        StoredVisit a;
        StoredVisit b;
        Comparison c;
        QString error;
        CHistoryStore *store = m_worker->Store(&error);
        if (store && store->LoadVisit(earlierId, &a, &error) && store->LoadVisit(laterId, &b, &error)) {
            if (b.entry.pcTime < a.entry.pcTime)
                std::swap(a, b);
            c = CompareVisits(a, b);
        } else if (store && store->Faulted()) {
            m_worker->Failed();
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
            const RecordReport report = m_worker->Record(location, visit);
            if (report.outcome == RecordReport::Outcome::Recorded || report.outcome == RecordReport::Outcome::Queued)
                ++recordedCount;
            messages << name + QStringLiteral(": ") + report.message;
        }
        return [this, messages, recordedCount] { emit imported(messages, recordedCount); };
    });
}

} // namespace Quilo

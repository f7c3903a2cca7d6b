#include "visitfiler.h"

#include "history.h"
#include "historystore.h"
#include "stringtable.h"

#include <QJsonArray>
#include <QMetaObject>
#include <QThread>

namespace QuiloCollect {

struct CVisitFiler::Worker
{
    Quilo::HistoryLocation location;
    std::unique_ptr<Quilo::CHistoryStore> store; // open between visits; dropped after a failure

    FiledVisit File(const Quilo::Visit &visit)
    {
        FiledVisit out;
        QString why;
        if (!store) {
            store = std::make_unique<Quilo::CHistoryStore>(location);
            if (const Quilo::Done opened = store->Open(); !opened) {
                why = opened.error();
                store.reset();
            }
        }
        if (store) {
            const Quilo::Result<Quilo::RecordReport> report =
                Quilo::RecordVisit(*store, visit, Quilo::DefaultHistoryFile());
            if (report) {
                out.where = report->outcome == Quilo::RecordReport::Outcome::Recorded ? FiledVisit::Where::Recorded
                                                                                        : FiledVisit::Where::AlreadyThere;
                out.message = report->message;
                Compare(visit, out);
                return out;
            }
            why = report.error();
            store.reset(); // a server that went away is reconnected with the next visit
        }
        const Quilo::RecordReport kept = Quilo::KeepVisit(location, visit, why);
        out.where = kept.outcome == Quilo::RecordReport::Outcome::Queued ? FiledVisit::Where::Kept
                                                                          : FiledVisit::Where::Lost;
        out.message = kept.message;
        out.notCompared = LoadString(Str::CollectNotCompared).arg(Quilo::WithoutPassword(why, location));
        return out;
    }

    void Compare(const Quilo::Visit &visit, FiledVisit &out)
    {
        // the JSON goes to other programs (--on-flag, -f json): in the program's own English
        const CSourceTexts english;
        const auto compared = CompareWithPrevious(*store, visit);
        if (!compared) {
            out.notCompared = LoadString(Str::CollectNotCompared).arg(compared.error());
            return;
        }
        if (!compared->has_value()) {
            out.notCompared = LoadString(Str::CollectNoPrevious);
            return;
        }
        const Quilo::Comparison &c = **compared;
        out.compared = true;
        for (const Quilo::ComparisonFlag &f : c.flags)
            out.flags << QString::fromLatin1(Quilo::ComparisonFlag::Name(f.kind));
        out.comparison = Quilo::ComparisonJson(c);
    }
};

CVisitFiler::CVisitFiler(const Quilo::HistoryLocation &location, QObject *parent)
    : QObject(parent), m_worker(std::make_shared<Worker>())
{
    qRegisterMetaType<QuiloCollect::FiledVisit>();
    m_worker->location = location;
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("quilo-history"));
    m_context = new QObject;
    m_context->moveToThread(m_thread);
    // the store is made, used and closed on the thread: Qt SQL connections belong to one
    connect(m_thread, &QThread::finished, m_context, [w = m_worker]() { w->store.reset(); });
    connect(m_thread, &QThread::finished, m_context, &QObject::deleteLater);
    m_thread->start();
}

CVisitFiler::~CVisitFiler()
{
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
}

void CVisitFiler::File(int tag, const Quilo::Visit &visit)
{
    ++m_pending;
    QMetaObject::invokeMethod(m_context, [this, tag, visit, w = m_worker]() {
        const FiledVisit result = w->File(visit);
        QMetaObject::invokeMethod(this, [this, tag, result]() {
            --m_pending;
            emit filed(tag, result);
        }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
}

Quilo::Result<std::optional<Quilo::Comparison>> CompareWithPrevious(Quilo::CHistoryStore &store,
                                                                   const Quilo::Visit &visit)
{
    const Quilo::Result<Quilo::UnitEntry> unit = store.FindUnit(visit.unitType + QLatin1Char('/') + visit.unitNumber);
    if (!unit)
        return Quilo::Failed{unit.error()};
    const Quilo::Result<QList<Quilo::VisitEntry>> visits = store.Visits(unit->id);
    if (!visits)
        return Quilo::Failed{visits.error()};
    // Newest first. A visit equal to one the store held already was not recorded again: then
    // the unit's newest stands for it.
    qsizetype at = 0;
    for (qsizetype i = 0; i < visits->size(); ++i)
        if (visits->at(i).uuid == visit.uuid) {
            at = i;
            break;
        }
    if (at + 1 >= visits->size())
        return std::optional<Quilo::Comparison>();
    const Quilo::Result<Quilo::StoredVisit> earlier = store.LoadVisit(visits->at(at + 1).id);
    if (!earlier)
        return Quilo::Failed{earlier.error()};
    const Quilo::Result<Quilo::StoredVisit> later = store.LoadVisit(visits->at(at).id);
    if (!later)
        return Quilo::Failed{later.error()};
    return std::optional<Quilo::Comparison>(Quilo::CompareVisits(*earlier, *later));
}

} // namespace QuiloCollect

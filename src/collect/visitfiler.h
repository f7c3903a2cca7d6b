#pragma once
// Files the collection's visits in the history and compares each with that unit's previous
// visit, on a thread of its own (a server far away must not hold up the lines), one visit
// after another, with one store kept open between them. A visit the history cannot take is
// kept in this PC's outbox and sent with a later one (or `quilo history sync`).

#include "comparison.h"
#include "historylocation.h"
#include "result.h"
#include "visit.h"

#include <QJsonObject>
#include <QObject>
#include <QStringList>

#include <memory>

class QThread;

namespace QuiloCollect {

struct FiledVisit
{
    enum class Where { Recorded, AlreadyThere, Kept, Lost };
    Where where = Where::Lost;
    QString message;          // the history's own sentence (recorded where, kept why)
    bool compared = false;    // an earlier visit was there to compare with
    QString notCompared;      // why not, when there was no comparison
    QStringList flags;        // stable flag names, as often as raised
    QJsonObject comparison;   // the comparison's JSON (empty when not compared)
};

// Records `visit` in `store`'s history (kept in the outbox of `localFile` when it cannot be),
// then compares it with the unit's visit before it there.
class CVisitFiler : public QObject
{
    Q_OBJECT
public:
    CVisitFiler(const Quilo::HistoryLocation &location, QObject *parent = nullptr);
    ~CVisitFiler() override;

    // Answers with filed(tag, ...) on this object's thread.
    void File(int tag, const Quilo::Visit &visit);
    bool IsBusy() const { return m_pending > 0; }

signals:
    void filed(int tag, const QuiloCollect::FiledVisit &result);

private:
    struct Worker;
    QThread *m_thread = nullptr;
    QObject *m_context = nullptr; // lives on m_thread
    std::shared_ptr<Worker> m_worker;
    int m_pending = 0;
};

// The comparison of the visit `uuid` (or, when the store kept an equal one, the unit's newest)
// with the one before it; no value when the unit has no earlier visit.
Quilo::Result<std::optional<Quilo::Comparison>> CompareWithPrevious(Quilo::CHistoryStore &store,
                                                                   const Quilo::Visit &visit);

} // namespace QuiloCollect

Q_DECLARE_METATYPE(QuiloCollect::FiledVisit)

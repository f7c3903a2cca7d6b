#pragma once
// The history for the window: every database call runs on one thread of the service's own,
// which keeps one store open for its whole life (Qt SQL connections belong to the thread that
// made them, and opening one checks the schema). The store is opened anew only when the chosen
// history changes or after a request on it failed. Requests return at once and run one after
// another; each answer comes back as a signal on the caller's thread. Listing only reads:
// sending what waits in the outbox is a request of its own. Stop() ends an import between two
// files; the destructor stops and waits for the thread.

#include "comparison.h"
#include "history.h"
#include "historystore.h"

#include <QObject>
#include <QStringList>

#include <atomic>
#include <memory>

class QThread;
class CTarvelDoc;

namespace Quilo {

class HistoryWorker;

class CHistoryService : public QObject
{
    Q_OBJECT
public:
    explicit CHistoryService(QObject *parent = nullptr);
    ~CHistoryService() override;

    // Records the visit the document holds after a whole-unit read, unless recording is off.
    // `complete`: every set was tried. Answers with recorded().
    void RecordWholeUnit(const CTarvelDoc &doc, bool complete);
    void ListUnits();
    void ListVisits(qint64 unitId);
    // Sends the chosen history what the outbox keeps for it; answers with sent().
    void SendQueued();
    // The two visits of one unit; answers with compared().
    void Compare(qint64 earlierId, qint64 laterId);
    void Import(const QStringList &files);
    // Ends an import before its next file.
    void Stop();
    bool IsBusy() const { return m_pending.load() > 0; }
    // How often the service's thread has opened (or tried to open) a store so far.
    int StoresOpened() const { return m_opened->load(); }

    // The store the requests go to (chosen anew with each request): for messages.
    static HistoryChoice Choice();

signals:
    void recorded(const QString &message, bool kept);
    void unitsListed(const QList<Quilo::UnitEntry> &units, const QString &error);
    void visitsListed(qint64 unitId, const QList<Quilo::VisitEntry> &visits, const QString &error);
    // `sent` visits arrived; `waiting` are still kept for the history (`error`: why).
    void sent(int sent, int waiting, const QString &error);
    // `later`: the later visit's records, for the charts.
    void compared(const Quilo::Comparison &comparison, const Quilo::StoredVisit &later, const QString &error);
    void imported(const QStringList &messages, int recorded);
    void busyChanged(bool busy);

private:
    template<class Work>
    void Post(Work work);

    QThread *m_thread = nullptr;
    HistoryWorker *m_worker = nullptr; // lives on m_thread
    std::atomic<int> m_pending{0};
    std::shared_ptr<std::atomic<bool>> m_stop;
    std::shared_ptr<std::atomic<int>> m_opened;
};

} // namespace Quilo

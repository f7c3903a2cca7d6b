#pragma once
// One round of a collection: every unit of the list read whole, side by side, each on a
// document of its own whose line runs on a worker thread of its own, at most `jobs` at once,
// all driven from the caller's event loop (no thread waits for a unit). A unit that fails is
// tried again later in the same round with a growing pause while the others go on; a read
// that brings no record for a while is given up. Every complete read-out is filed in the
// history and compared with the unit's previous visit (CVisitFiler); a unit with a flag runs
// the --on-flag command. Stop() ends the reads between two transactions; what is complete is
// still filed before finished() comes.

#include "unitlist.h"
#include "visitfiler.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

class CTarvelDoc;
struct COperationSummary;
class QTimer;

namespace QuiloCollect {

struct UnitRun
{
    enum class Outcome { NotRead, Read, Failed, Stopped };
    CollectUnit unit;
    Outcome outcome = Outcome::NotRead;
    int attempts = 0;
    QString reason;           // why it failed or stopped (the last attempt)
    int records = 0;          // records read well in the read that counted
    int failedRecords = 0;
    qint64 readMs = 0;
    bool historyOff = false;  // recording is switched off
    bool filed = false;       // the filer answered
    FiledVisit visit;
    QString onFlag;           // what the --on-flag command did
    bool onFlagOk = true;     // it ran and exited with 0
};

struct CollectSettings
{
    int jobs = 0; // 0: every unit at once
    int retries = 3;
    int retryPauseMs = 30000;
    int silenceMs = 15000;
    QString onFlag;
    int onFlagTimeoutMs = 60000;
    bool record = true;
    Quilo::HistoryLocation history;
};

class CCollector : public QObject
{
    Q_OBJECT
public:
    // `say` gets one line per event, in the language spoken.
    CCollector(const QList<CollectUnit> &units, const CollectSettings &settings,
               std::function<void(const QString &)> say, QObject *parent = nullptr);
    ~CCollector() override;

    void Start();
    // Between two transactions: the reads end, nothing new starts, complete visits are filed.
    void Stop();
    bool IsStopping() const { return m_stopping; }
    const QList<UnitRun> &Runs() const { return m_runs; }

signals:
    void finished();

private:
    struct Line;
    void StartNext();
    void Begin(int i);
    void OnRecords(int i, int dataSet, int first, int last);
    void OnRead(int i, const QList<COperationSummary> &summaries, bool complete);
    void Failed(int i, const QString &reason, bool retry);
    void OnFiled(int i, const FiledVisit &visit);
    void RunOnFlag(int i);
    void Release(int i);
    void CheckDone();
    void Event(int i, const QString &what);

    CollectSettings m_settings;
    std::function<void(const QString &)> m_say;
    QList<UnitRun> m_runs;
    std::vector<std::unique_ptr<Line>> m_lines;
    std::vector<std::unique_ptr<CTarvelDoc>> m_retired; // done with, deleted once their signal returned
    std::deque<int> m_ready;
    std::unique_ptr<CVisitFiler> m_filer;
    int m_reading = 0;
    int m_pausing = 0;
    int m_commands = 0;
    bool m_started = false;
    bool m_stopping = false;
    bool m_finished = false;
};

} // namespace QuiloCollect

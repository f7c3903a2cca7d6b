#pragma once
// The serial line's own thread in the window: it owns the engine (line and frame layer), takes
// one operation at a time and reports progress, records and the end as signals, which reach
// the document queued on its thread. Only the stop flag is touched from outside.

#include "engine.h"

#include <QList>
#include <QObject>

#include <atomic>

namespace Quilo {

class CLinkWorker : public QObject, private CEngineSink
{
    Q_OBJECT
public:
    explicit CLinkWorker(QObject *parent = nullptr);

    CEngine &Engine() { return m_engine; }

    // Any thread: the running read ends between two transactions.
    void RequestStop() { m_stop.store(true); }
    void ClearStop() { m_stop.store(false); }

    // Run on the worker's thread; each ends with its finished signal.
    void RunRead(const QList<Quilo::SetRead> &sets);
    void RunWriteKey(unsigned index, const std::array<std::uint8_t, 8> &key);
    void RunWriteDateTime(const std::array<std::uint8_t, 5> &bytes);

signals:
    void progressRange(int minimum, int maximum);
    void progressPosition(int position);
    void recordRead(const Quilo::RecordOutcome &outcome);
    void readFinished(const QList<COperationSummary> &summaries);
    void writeFinished(const Quilo::WriteOutcome &outcome, const COperationSummary &summary);

private:
    void Range(int minimum, int maximum) override;
    void Position(int position) override;
    bool StopRequested() override { return m_stop.load(); }
    void Record(const RecordOutcome &outcome) override;
    void Advanced() override;

    CEngine m_engine;
    std::atomic<bool> m_stop{false};
    // A run of several sets drives one bar over all of them.
    bool m_combined = false;
    int m_done = 0;
};

// Transactions a read of `set` takes at most: records of its range, or chunks.
int TransactionCount(const SetRead &set);

} // namespace Quilo

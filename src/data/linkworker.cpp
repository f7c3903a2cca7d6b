#include "linkworker.h"

#include <algorithm>

namespace Quilo {

int TransactionCount(const SetRead &set)
{
    const DataSetInfo *info = FindDataSet(set.dataSet);
    if (!info)
        return 0;
    switch (info->shape) {
    case SetShape::Single: return 1;
    case SetShape::Chunked: return static_cast<int>(info->chunks);
    case SetShape::Records: break;
    }
    const unsigned last = std::min(set.last, info->records - 1);
    return set.first > last ? 0 : static_cast<int>(last - set.first + 1);
}

CLinkWorker::CLinkWorker(QObject *parent) : QObject(parent) {}

void CLinkWorker::RunRead(const QList<SetRead> &sets)
{
    QList<COperationSummary> summaries;
    m_combined = sets.size() > 1;
    m_done = 0;
    if (m_combined) {
        int total = 0;
        for (const SetRead &s : sets)
            total += TransactionCount(s);
        emit progressRange(0, total);
    }
    for (const SetRead &set : sets) {
        if (m_stop.load())
            break;
        const int base = m_done;
        summaries << m_engine.Read(set, *this, !m_combined);
        m_done = base + TransactionCount(set);
        if (m_combined)
            emit progressPosition(m_done);
        const COperationSummary &s = summaries.last();
        // A port that does not open or a line that went away fails every set to come alike.
        if (!s.portOpened || s.lineLost || s.stopped)
            break;
    }
    if (m_combined)
        emit progressPosition(0);
    m_combined = false;
    emit readFinished(summaries);
}

void CLinkWorker::RunWriteKey(unsigned index, const std::array<std::uint8_t, 8> &key)
{
    WriteOutcome outcome;
    const COperationSummary summary = m_engine.WriteKey(index, key, outcome);
    emit writeFinished(outcome, summary);
}

void CLinkWorker::RunWriteDateTime(const std::array<std::uint8_t, 5> &bytes)
{
    WriteOutcome outcome;
    const COperationSummary summary = m_engine.WriteDateTime(bytes, outcome);
    emit writeFinished(outcome, summary);
}

void CLinkWorker::Range(int minimum, int maximum)
{
    emit progressRange(minimum, maximum);
}

void CLinkWorker::Position(int position)
{
    emit progressPosition(position);
}

void CLinkWorker::Record(const RecordOutcome &outcome)
{
    emit recordRead(outcome);
}

void CLinkWorker::Advanced()
{
    if (m_combined)
        emit progressPosition(++m_done);
}

} // namespace Quilo

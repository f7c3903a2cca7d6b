#include "engine.h"

#include "fields.h"
#include "unitclock.h"

#include <algorithm>

using namespace Quilo;

namespace {

constexpr std::uint32_t kAccessReadWrite = 0xC0000000u;

QDateTime now()
{
    return QDateTime::currentDateTimeUtc();
}

QByteArray bytesOf(const std::uint8_t *data, std::size_t n)
{
    return QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(n));
}

} // namespace

int COperationSummary::failed() const
{
    int n = 0;
    for (int c : failedBy)
        n += c;
    return n;
}

std::size_t COperationSummary::FailureSlot(int result)
{
    const auto known = std::find(kSlotResults.begin(), kSlotResults.end() - 1, result);
    return static_cast<std::size_t>(known - kSlotResults.begin()); // the last slot when none matched
}

namespace Quilo {

CEngine::CEngine()
    : m_port(QStringLiteral("Com1"), 9600, 8, 0, 0, 128, 128, kAccessReadWrite, 0)
    , m_link(m_port)
{
}

void CEngine::SetPort(const QString &name)
{
    m_port.Configure(name, 9600, 8, 0, 0, 128, 128, kAccessReadWrite, 0);
}

int CEngine::Authenticate()
{
    return m_link.Authenticate(m_key.keyMode, m_key.key.data());
}

bool CEngine::OpenLine(COperationSummary &summary)
{
    summary.portName = m_port.PortName();
    if (m_port.Open()) {
        summary.keyReadable = m_key.keyMode != 0 && m_port.IsPlainNetworkPort();
        return summary.portOpened = true;
    }
    summary.portError = m_port.LastError().message;
    return false;
}

void CEngine::CloseLine()
{
    m_port.Close();
}

// One read transaction; its data bytes go to `bytes` on success. 256: the key was refused.
int CEngine::ReadOne(std::uint8_t command, std::uint8_t parameter, std::size_t n, QByteArray *bytes)
{
    if (!Authenticate())
        return ResultKeyFailed;
    int result = m_link.SendRequest(command, parameter);
    if (result == ResultOk)
        result = m_link.ReceiveReply(n);
    if (result == ResultOk && bytes)
        *bytes = bytesOf(m_link.ReplyData(), n);
    return result;
}

void CEngine::Count(COperationSummary &summary, int result) const
{
    ++summary.tried;
    if (result == ResultOk)
        ++summary.read;
    else
        ++summary.failedBy[COperationSummary::FailureSlot(result)];
}

// Counts a transaction that got no byte at all; true once kSilentRecords did so in a row, when
// the rest of the data set would only cost time-outs.
bool CEngine::Silent(COperationSummary &summary, int result, int &silentInRow) const
{
    const bool nothing = (result == ResultWrongLength || result == ResultKeyFailed) && m_link.ReceivedCount() == 0
                         && !m_port.LineAborted();
    if (!nothing) {
        silentInRow = 0;
        return false;
    }
    ++summary.noReply;
    if (++silentInRow < kSilentRecords)
        return false;
    summary.silent = true;
    return true;
}

COperationSummary CEngine::Read(const SetRead &set, CEngineSink &sink, bool progress)
{
    COperationSummary summary;
    summary.dataSet = set.dataSet;
    summary.first = set.first;
    summary.last = set.last;
    const DataSetInfo *info = FindDataSet(set.dataSet);
    if (!info)
        return summary;
    switch (info->shape) {
    case SetShape::Records: ReadRecords(set, sink, progress, summary); break;
    case SetShape::Single: ReadSingle(set, sink, summary); break;
    case SetShape::Chunked: ReadChunked(set, sink, progress, summary); break;
    }
    return summary;
}

void CEngine::ReadRecords(const SetRead &set, CEngineSink &sink, bool progress, COperationSummary &summary)
{
    const DataSetInfo &info = *FindDataSet(set.dataSet);
    const CDataSetRequest request = RequestFor(set.dataSet, set.first, 0);
    if (!OpenLine(summary))
        return;
    // A range beyond the data set is cut to it rather than read out of bounds; an empty range
    // reads nothing, but the line is still opened and closed.
    const unsigned last = std::min(set.last, info.records - 1);
    if (set.first > last) {
        CloseLine();
        return;
    }
    // The key groups' bar runs over their own range, the logs' from 0 to the record count.
    if (progress) {
        if (info.groups.empty())
            sink.Range(0, static_cast<int>(info.records));
        else
            sink.Range(static_cast<int>(set.first), static_cast<int>(set.last));
    }
    const std::size_t n = dataLength(request.command, static_cast<std::uint8_t>(request.firstParameter));
    int silentInRow = 0;
    for (unsigned i = set.first; i <= last; ++i) {
        const std::size_t at = i - set.first;
        const std::int32_t status = at < set.status.size() ? set.status[at] : 0;
        if (!set.reload && (status & RecordStatus::kDone)) {
            ++summary.skipped;
            if (RecordStatus::StateOf(status) != RecordStatus::State::Read)
                ++summary.skippedFailed;
        } else {
            if (sink.StopRequested()) {
                summary.stopped = true;
                break;
            }
            // A lost line ends the read: the records not reached stay unread for the next one.
            if (m_port.LineAborted()) {
                summary.lineLost = true;
                break;
            }
            RecordOutcome outcome;
            outcome.dataSet = set.dataSet;
            outcome.index = i;
            const auto parameter = static_cast<std::uint8_t>(request.firstParameter + at);
            const int result = ReadOne(request.command, parameter, n, &outcome.bytes);
            outcome.status = RecordStatus::AfterRead(result);
            outcome.received = static_cast<int>(m_link.ReceivedCount());
            outcome.readAt = now();
            sink.Record(outcome);
            Count(summary, result);
            if (Silent(summary, result, silentInRow)) {
                if (progress)
                    sink.Position(static_cast<int>(i));
                sink.Advanced();
                break;
            }
        }
        if (progress)
            sink.Position(static_cast<int>(i));
        sink.Advanced();
    }
    summary.lineLost = summary.lineLost || m_port.LineAborted();
    CloseLine();
    if (progress)
        sink.Position(0);
}

void CEngine::ReadSingle(const SetRead &set, CEngineSink &sink, COperationSummary &summary)
{
    const CDataSetRequest request = RequestFor(set.dataSet, 0, 0);
    if (!OpenLine(summary))
        return;
    if (sink.StopRequested()) {
        summary.stopped = true;
    } else {
        RecordOutcome outcome;
        outcome.dataSet = set.dataSet;
        const int result = ReadOne(request.command, 0, dataLength(request.command, 0), &outcome.bytes);
        outcome.status = RecordStatus::AfterRead(result);
        outcome.received = static_cast<int>(m_link.ReceivedCount());
        outcome.readAt = now();
        sink.Record(outcome);
        Count(summary, result);
        int silentInRow = 0;
        Silent(summary, result, silentInRow);
        sink.Advanced();
    }
    summary.lineLost = m_port.LineAborted();
    CloseLine();
}

void CEngine::ReadChunked(const SetRead &set, CEngineSink &sink, bool progress, COperationSummary &summary)
{
    const DataSetInfo &info = *FindDataSet(set.dataSet);
    const int event = set.dataSet == dsConfEvents ? static_cast<int>(set.first) : 0;
    summary.configEvent = set.dataSet == dsConfEvents ? event : -1;
    const CDataSetRequest request = RequestFor(set.dataSet, 0, event);
    if (request.command == 0)
        return; // no such event: the port is not opened
    const std::int32_t status = set.status.empty() ? 0 : set.status.front();
    if (!set.reload && (status & RecordStatus::kDone)) {
        ++summary.skipped;
        if (RecordStatus::StateOf(status) != RecordStatus::State::Read)
            ++summary.skippedFailed;
        return;
    }
    if (!OpenLine(summary))
        return;
    QByteArray buffer(static_cast<qsizetype>(info.recordBytes), '\0');
    RecordOutcome outcome;
    outcome.dataSet = set.dataSet;
    outcome.index = static_cast<unsigned>(event);
    qsizetype offset = 0;
    if (progress)
        sink.Range(1, static_cast<int>(info.chunks) + 1);
    bool complete = true;
    bool anyChunk = false;
    int silentInRow = 0;
    for (std::size_t k = 1; k <= info.chunks; ++k) {
        // A stop or a lost line would leave every field still to come blank.
        if (sink.StopRequested()) {
            summary.stopped = true;
            complete = false;
            break;
        }
        if (m_port.LineAborted()) {
            complete = false;
            break;
        }
        const auto chunk = static_cast<std::uint8_t>(k);
        const std::size_t length = dataLength(request.command, chunk);
        QByteArray bytes;
        const int result = ReadOne(request.command, chunk, length, &bytes);
        // A failed chunk reads as zeros so the other fields keep their places.
        if (result == ResultOk) {
            std::copy(bytes.cbegin(), bytes.cend(), buffer.begin() + offset);
            anyChunk = true;
        }
        outcome.chunkStatus << RecordStatus::AfterRead(result);
        outcome.chunkReceived << static_cast<int>(m_link.ReceivedCount());
        Count(summary, result);
        offset += static_cast<qsizetype>(length);
        if (progress)
            sink.Position(static_cast<int>(k));
        sink.Advanced();
        if (Silent(summary, result, silentInRow)) {
            complete = false;
            break;
        }
    }
    summary.lineLost = m_port.LineAborted();
    CloseLine();
    if (progress)
        sink.Position(0);
    // A stopped read, a lost line or a unit that gave no chunk at all leaves the record as it
    // was, to be read again: zeros would replace what an earlier read brought.
    outcome.readAt = now();
    if (complete && anyChunk) {
        outcome.status = RecordStatus::kDone;
        outcome.bytes = buffer;
        sink.Record(outcome);
    } else if (!outcome.chunkStatus.isEmpty() && !(set.reload && (status & RecordStatus::kDone))) {
        // the record keeps what it held; what each chunk got is kept to say why (a record read
        // before and asked for again keeps its own chunks too: the summary says what failed)
        outcome.status = status;
        sink.Record(outcome);
    }
}

COperationSummary CEngine::WriteKey(unsigned index, const std::array<std::uint8_t, 8> &key, WriteOutcome &outcome)
{
    COperationSummary summary;
    outcome = WriteOutcome();
    outcome.keyWrite = true;
    outcome.index = index;
    outcome.written = bytesOf(key.data(), key.size());
    if (index >= 192 || !OpenLine(summary))
        return summary;
    const auto parameter = static_cast<std::uint8_t>(index + 1);
    int result = ResultKeyFailed;
    if (Authenticate())
        result = m_link.SendFrame(CmdKeyWrite, parameter, key.data(), key.size());
    Count(summary, result);
    summary.writeResult = outcome.result = result;
    if (result != ResultOk && result != ResultRefused && result != ResultKeyFailed) {
        // The unit may have taken the key and spoiled only its answer: ask it.
        outcome.readBack = true;
        const int back = ReadOne(CmdKey, parameter, key.size(), &outcome.held);
        outcome.readBackStatus = RecordStatus::AfterRead(back);
        if (back != ResultOk)
            summary.readBack = COperationSummary::ReadBack::Failed;
        else
            summary.readBack = outcome.held == outcome.written ? COperationSummary::ReadBack::HoldsNew
                                                               : COperationSummary::ReadBack::HoldsOther;
    }
    summary.lineLost = m_port.LineAborted();
    CloseLine();
    outcome.readAt = now();
    return summary;
}

COperationSummary CEngine::WriteDateTime(const std::array<std::uint8_t, 5> &bytes, WriteOutcome &outcome)
{
    COperationSummary summary;
    outcome = WriteOutcome();
    outcome.written = bytesOf(bytes.data(), bytes.size());
    if (!OpenLine(summary))
        return summary;
    const int result = m_link.SendFrame(CmdSetDateTime, 0, bytes.data(), bytes.size());
    Count(summary, result);
    summary.writeResult = outcome.result = result;
    if (result != ResultOk && result != ResultRefused) {
        // A damaged answer: the clock may be set. A second write would enter a second change in
        // the unit's date modification log, so read it instead.
        outcome.readBack = true;
        const int back = ReadOne(CmdDateTime, 0, bytes.size(), &outcome.held);
        outcome.readBackStatus = RecordStatus::AfterRead(back);
        if (back != ResultOk) {
            summary.readBack = COperationSummary::ReadBack::Failed;
        } else {
            ClockBytes held{};
            std::copy(outcome.held.cbegin(), outcome.held.cend(), held.begin());
            const QDateTime heldTime = UnitClockToDateTime(held);
            const QDateTime target = UnitClockToDateTime(bytes);
            const qint64 later = heldTime.isValid() && target.isValid() ? target.secsTo(heldTime) : -1;
            summary.readBack = later >= 0 && later <= kClockHeldSeconds ? COperationSummary::ReadBack::HoldsNew
                                                                        : COperationSummary::ReadBack::HoldsOther;
        }
    }
    summary.lineLost = m_port.LineAborted();
    CloseLine();
    outcome.readAt = now();
    return summary;
}

} // namespace Quilo

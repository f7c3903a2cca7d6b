#include "tarveldoc.h"

#include "stringtable.h"
#include "unitclock.h"

#include <algorithm>

using namespace Quilo;

namespace {

constexpr unsigned kAccessReadWrite = 0xC0000000u;

int failureSlot(int result)
{
    switch (result) {
    case ResultNotSent: return 0;
    case ResultTwoBytes: return 1;
    case ResultWrongLength: return 2;
    case ResultBadChecksum: return 3;
    case ResultRefused: return 4;
    case ResultKeyFailed: return 5;
    default: return 6;
    }
}

} // namespace

int COperationSummary::failed() const
{
    int n = 0;
    for (int c : failedBy)
        n += c;
    return n;
}

CTarvelDoc::CTarvelDoc(QObject *parent)
    : QObject(parent)
    , m_comPort(QStringLiteral("Com1"), 9600, 8, 0, 0, 128, 128, kAccessReadWrite, 0)
    , m_link(m_comPort)
{
    m_strUserKey = CKeyField().GetText();
    // The communication bar preselects Com2; document and bar agree from the start.
    SetPort(QStringLiteral("Com2"));
}

CTarvelDoc::~CTarvelDoc() = default;

void CTarvelDoc::SetPort(const QString &name)
{
    m_comPort.Configure(name, 9600, 8, 0, 0, 128, 128, kAccessReadWrite, 0);
}

QString CTarvelDoc::PortName() const
{
    return m_comPort.PortName();
}

bool CTarvelDoc::SetKeyMode(int keyMode, const QString &keyText)
{
    std::uint8_t key[8];
    if (!CKeyField::ScanKey(keyText, key))
        return false;
    m_bKeyMode = keyMode ? 1 : 0;
    m_strUserKey = keyText;
    std::copy(std::begin(key), std::end(key), std::begin(m_abUserKey));
    return true;
}

// --- transactions ---

int CTarvelDoc::SendRequest(std::uint8_t command, std::uint8_t parameter)
{
    return m_link.SendRequest(command, parameter);
}

int CTarvelDoc::ReceiveReply(std::size_t n)
{
    return m_link.ReceiveReply(n);
}

int CTarvelDoc::SendFrame(std::uint8_t command, std::uint8_t parameter, const std::uint8_t *data, std::size_t n)
{
    return m_link.SendFrame(command, parameter, data, n);
}

int CTarvelDoc::Authenticate()
{
    return m_link.Authenticate(m_bKeyMode, m_abUserKey);
}

// --- engine helpers ---

namespace {

// One read transaction into `record`; returns the result code (256: key refused).
int readOne(CTarvelDoc &doc, CDataField &record, std::uint8_t command, std::uint8_t parameter, std::size_t n)
{
    if (!doc.Authenticate())
        return ResultKeyFailed;
    int result = doc.SendRequest(command, parameter);
    if (result == ResultOk)
        result = doc.ReceiveReply(n);
    if (result == ResultOk)
        record.Parse(doc.FrameLink().ReplyData());
    return result;
}

} // namespace

bool CTarvelDoc::OpenLine()
{
    m_summary.portName = m_comPort.PortName();
    if (m_comPort.Open())
        return m_summary.portOpened = true;
    m_summary.portError = m_comPort.LastError().message;
    return false;
}

void CTarvelDoc::CloseLine()
{
    m_comPort.Close();
}

bool CTarvelDoc::StopRequested()
{
    if (m_pCommBar && m_pCommBar->StopRequested()) {
        m_summary.stopped = true;
        return true;
    }
    return false;
}

void CTarvelDoc::Progress(int minimum, int maximum)
{
    if (m_pCommBar) {
        m_pCommBar->SetRange(minimum, maximum);
        m_pCommBar->SetStep(1);
    }
}

void CTarvelDoc::ProgressPos(int position)
{
    if (m_pCommBar)
        m_pCommBar->SetPos(position);
}

void CTarvelDoc::Count(int result)
{
    ++m_summary.tried;
    if (result == ResultOk)
        ++m_summary.read;
    else
        ++m_summary.failedBy[static_cast<std::size_t>(failureSlot(result))];
}

// Counts a transaction that got no byte at all; true once kSilentRecords did so in a row, when
// the rest of the data set would only cost time-outs.
bool CTarvelDoc::Silent(int result, int &silentInRow)
{
    const bool nothing = (result == ResultWrongLength || result == ResultKeyFailed) && m_link.ReceivedCount() == 0
                         && !m_comPort.LineAborted();
    if (!nothing) {
        silentInRow = 0;
        return false;
    }
    ++m_summary.noReply;
    if (++silentInRow < kSilentRecords)
        return false;
    m_summary.silent = true;
    return true;
}

// One read of a value just written, on the open line; parses into `record` on success.
int CTarvelDoc::ReadBack(CDataField &record, std::uint8_t command, std::uint8_t parameter, std::size_t n)
{
    return readOne(*this, record, command, parameter, n);
}

template<class Array>
void CTarvelDoc::ReadRecords(Array &records, unsigned first, unsigned last, CDataSetRequest request,
                             int progressMin, int progressMax)
{
    if (!OpenLine())
        return;
    // A range beyond the data set is cut to it rather than read out of bounds; an empty range
    // reads nothing, but the line is still opened and closed.
    last = std::min<unsigned>(last, static_cast<unsigned>(records.size() - 1));
    if (first > last) {
        CloseLine();
        return;
    }
    const std::uint8_t command = request.command;
    const unsigned firstParameter = request.firstParameter;
    Progress(progressMin, progressMax);
    const std::size_t n = dataLength(command, static_cast<std::uint8_t>(firstParameter));
    int silentInRow = 0;
    for (unsigned i = first; i <= last; ++i) {
        CDataField &record = records[i];
        if (record.IsDone()) {
            ++m_summary.skipped;
            if (record.IsFailed())
                ++m_summary.skippedFailed;
        } else {
            if (StopRequested())
                break;
            const auto parameter = static_cast<std::uint8_t>(firstParameter + (i - first));
            const int result = readOne(*this, record, command, parameter, n);
            record.m_nStatus = RecordStatus::AfterRead(result);
            Count(result);
            if (Silent(result, silentInRow)) {
                ProgressPos(static_cast<int>(i));
                break;
            }
        }
        ProgressPos(static_cast<int>(i));
    }
    CloseLine();
    ProgressPos(0);
}

void CTarvelDoc::ReadSingle(CDataField &record, std::uint8_t command, std::size_t n)
{
    if (!OpenLine())
        return;
    if (!StopRequested()) {
        const int result = readOne(*this, record, command, 0, n);
        Count(result);
        int silentInRow = 0;
        Silent(result, silentInRow);
    }
    CloseLine();
}

void CTarvelDoc::ReadChunked(CDataField &record, std::uint8_t command, std::size_t chunks)
{
    if (record.IsDone()) {
        ++m_summary.skipped;
        if (record.IsFailed())
            ++m_summary.skippedFailed;
        return;
    }
    if (!OpenLine())
        return;
    std::array<std::uint8_t, kConfEventBytes> buffer{};
    std::size_t offset = 0;
    Progress(1, static_cast<int>(chunks) + 1);
    bool complete = true;
    bool anyChunk = false;
    int silentInRow = 0;
    for (std::size_t k = 1; k <= chunks; ++k) {
        // A lost line (device pulled, line error) would blank every field still to come.
        if (StopRequested() || m_comPort.LineAborted()) {
            complete = false;
            break;
        }
        const std::size_t length = kChunkLengths[k - 1];
        int result = ResultKeyFailed;
        if (Authenticate()) {
            result = SendRequest(command, static_cast<std::uint8_t>(k));
            if (result == ResultOk)
                result = ReceiveReply(length);
        }
        // A failed chunk reads as zeros so the other fields keep their places.
        if (result == ResultOk) {
            std::copy_n(m_link.ReplyData(), length, buffer.begin() + static_cast<std::ptrdiff_t>(offset));
            anyChunk = true;
        }
        Count(result);
        offset += length;
        ProgressPos(static_cast<int>(k));
        if (Silent(result, silentInRow)) {
            complete = false;
            break;
        }
    }
    // A stopped read, a lost line or a unit that gave no chunk at all leaves the record as it
    // was, to be read again: zeros would replace what an earlier read brought.
    complete = complete && anyChunk;
    if (complete)
        record.Parse(buffer.data());
    CloseLine();
    ProgressPos(0);
    if (complete)
        record.m_nStatus = RecordStatus::kDone;
}

CDataSetRequest CTarvelDoc::RequestFor(int dataSet, unsigned firstKey, int configEvent)
{
    switch (dataSet) {
    case dsKeyTable: return {CmdKey, firstKey + 1};
    case dsKeyLogs: return {firstKey == 0 ? CmdKeyLogOmh : CmdKeyLogSzf, 1};
    case dsDaily: return {CmdDaily, 1};
    case dsMonthly: return {CmdMonthly, 1};
    case dsQuarterly: return {CmdQuarterly, 1};
    case dsYearly: return {CmdYearly, 1};
    case dsDateLog: return {CmdDateLog, 1};
    case dsCounters: return {CmdCounters, 0};
    case dsDateTime: return {CmdDateTime, 0};
    case dsCurrentKey: return {CmdKey, 0};
    case dsConfig: return {CmdConfig, 1};
    case dsConfEvents:
        if (configEvent < 0 || configEvent >= static_cast<int>(kConfEvents))
            return {}; // no such event
        return {static_cast<std::uint8_t>(CmdConfEventFirst + configEvent), 1};
    default: return {};
    }
}

void CTarvelDoc::ReadDataSet()
{
    const CDataSetRequest request = RequestFor(m_nDataSet, m_nFirstKey, m_nConfigEvent);
    if (request.command == 0)
        return; // nothing this selector can read: the port is not opened
    m_summary = COperationSummary();
    m_summary.dataSet = m_nDataSet;
    const auto logRange = [](const auto &records) { return static_cast<int>(records.size()); };
    switch (m_nDataSet) {
    case dsKeyTable:
        ReadRecords(m_aKeyTable, m_nFirstKey, m_nLastKey, request, static_cast<int>(m_nFirstKey),
                    static_cast<int>(m_nLastKey));
        break;
    case dsKeyLogs:
        ReadRecords(m_aKeyLogs, m_nFirstKey, m_nLastKey, request, static_cast<int>(m_nFirstKey),
                    static_cast<int>(m_nLastKey));
        break;
    case dsDaily:
        ReadRecords(m_aDaily, 0, m_aDaily.size() - 1, request, 0, logRange(m_aDaily));
        break;
    case dsMonthly:
        ReadRecords(m_aMonthly, 0, m_aMonthly.size() - 1, request, 0, logRange(m_aMonthly));
        break;
    case dsQuarterly:
        ReadRecords(m_aQuarterly, 0, m_aQuarterly.size() - 1, request, 0, logRange(m_aQuarterly));
        break;
    case dsYearly:
        ReadRecords(m_aYearly, 0, m_aYearly.size() - 1, request, 0, logRange(m_aYearly));
        break;
    case dsDateLog:
        ReadRecords(m_aDateLog, 0, m_aDateLog.size() - 1, request, 0, logRange(m_aDateLog));
        break;
    case dsCounters:
        ReadSingle(m_counters, request.command, CCountersRecord::kWireLength);
        break;
    case dsDateTime:
        ReadSingle(m_dateTime, request.command, 5);
        break;
    case dsCurrentKey:
        ReadSingle(m_currentKey, request.command, kKeyLength);
        break;
    case dsConfig:
        ReadChunked(m_config, request.command, kConfigChunks);
        break;
    case dsConfEvents:
        ReadChunked(m_aConfEvents[static_cast<std::size_t>(m_nConfigEvent)], request.command, kConfEventChunks);
        break;
    }
    emit operationFinished(m_summary);
}

int CTarvelDoc::WriteKey(const QString &keyText, int row)
{
    m_summary = COperationSummary();
    const long long index = static_cast<long long>(m_nFirstKey) + row;
    std::uint8_t key[kKeyLength];
    // A row outside the table or a text that does not scan into eight values is never sent.
    if (row < 0 || index >= static_cast<long long>(m_aKeyTable.size()) || !CKeyField::ScanKey(keyText, key)) {
        emit operationFinished(m_summary);
        return 0;
    }
    CKeyField &entry = m_aKeyTable[static_cast<std::size_t>(index)];
    if (!OpenLine()) {
        entry.m_nStatus = 0;
        emit operationFinished(m_summary);
        return 0;
    }
    const auto parameter = static_cast<std::uint8_t>(index + 1);
    int result = ResultKeyFailed;
    if (Authenticate())
        result = SendFrame(CmdKeyWrite, parameter, key, kKeyLength);
    Count(result);
    m_summary.writeResult = result;
    bool holdsNew = result == ResultOk;
    if (result == ResultOk) {
        // The entry takes the new key only once the unit holds it.
        std::copy(std::begin(key), std::end(key), std::begin(entry.m_abKey));
        entry.m_nStatus = RecordStatus::AfterWrite(result);
    } else if (result == ResultRefused || result == ResultKeyFailed) {
        entry.m_nStatus = RecordStatus::AfterWrite(result); // nothing was written
    } else {
        // The unit may have taken the key and spoiled only its answer: ask it.
        CKeyField held;
        if (ReadBack(held, CmdKey, parameter, kKeyLength) == ResultOk) {
            holdsNew = std::equal(std::begin(key), std::end(key), std::begin(held.m_abKey));
            std::copy(std::begin(held.m_abKey), std::end(held.m_abKey), std::begin(entry.m_abKey));
            entry.m_nStatus = RecordStatus::AfterRead(ResultOk);
            m_summary.readBack = holdsNew ? COperationSummary::ReadBack::HoldsNew
                                          : COperationSummary::ReadBack::HoldsOther;
        } else {
            entry.m_nStatus = RecordStatus::AfterWrite(result);
            m_summary.readBack = COperationSummary::ReadBack::Failed;
        }
    }
    CloseLine();
    emit operationFinished(m_summary);
    return holdsNew ? 1 : 0;
}

int CTarvelDoc::WriteDateTime(const std::uint8_t bytes[5])
{
    m_summary = COperationSummary();
    if (!OpenLine()) {
        emit operationFinished(m_summary);
        return 0;
    }
    const int result = SendFrame(CmdSetDateTime, 0, bytes, 5);
    Count(result);
    m_summary.writeResult = result;
    bool holdsNew = result == ResultOk;
    if (result != ResultOk && result != ResultRefused) {
        // A damaged answer: the clock may be set. A second write would enter a second change in
        // the unit's date modification log, so read it instead.
        if (ReadBack(m_dateTime, CmdDateTime, 0, 5) == ResultOk) {
            m_dateTime.m_nStatus = RecordStatus::AfterRead(ResultOk);
            const QDateTime held = UnitClockToDateTime(ClockBytesOf(m_dateTime));
            const QDateTime target = UnitClockToDateTime({bytes[0], bytes[1], bytes[2], bytes[3], bytes[4]});
            const qint64 later = held.isValid() && target.isValid() ? target.secsTo(held) : -1;
            holdsNew = later >= 0 && later <= kClockHeldSeconds;
            m_summary.readBack = holdsNew ? COperationSummary::ReadBack::HoldsNew
                                          : COperationSummary::ReadBack::HoldsOther;
        } else {
            m_summary.readBack = COperationSummary::ReadBack::Failed;
        }
    }
    CloseLine();
    emit operationFinished(m_summary);
    return holdsNew ? 1 : 0;
}

#include "tarveldoc.h"

#include "stringtable.h"

#include <algorithm>

using namespace Quilo;

namespace {

constexpr unsigned kAccessReadWrite = 0xC0000000u;
constexpr int kDone = 0x8000; // bit 15: a transaction was made, result in the low bits

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
    for (unsigned i = first; i <= last; ++i) {
        CDataField &record = records[i];
        if (record.m_nStatus & kDone) {
            ++m_summary.skipped;
        } else {
            if (StopRequested())
                break;
            const auto parameter = static_cast<std::uint8_t>(firstParameter + (i - first));
            const int result = readOne(*this, record, command, parameter, n);
            record.m_nStatus = result == ResultKeyFailed ? ResultKeyFailed : kDone + result;
            Count(result);
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
    if (!StopRequested())
        Count(readOne(*this, record, command, 0, n));
    CloseLine();
}

void CTarvelDoc::ReadChunked(CDataField &record, std::uint8_t command, std::size_t chunks)
{
    if (record.m_nStatus & kDone) {
        ++m_summary.skipped;
        return;
    }
    if (!OpenLine())
        return;
    std::array<std::uint8_t, kConfEventBytes> buffer{};
    std::size_t offset = 0;
    Progress(1, static_cast<int>(chunks) + 1);
    bool complete = true;
    bool anyChunk = false;
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
    }
    // A stopped read, a lost line or a unit that gave no chunk at all leaves the record as it
    // was, to be read again: zeros would replace what an earlier read brought.
    complete = complete && anyChunk;
    if (complete)
        record.Parse(buffer.data());
    CloseLine();
    ProgressPos(0);
    if (complete)
        record.m_nStatus = kDone;
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
    int result = ResultKeyFailed;
    if (!OpenLine()) {
        entry.m_nStatus = 0;
        emit operationFinished(m_summary);
        return 0;
    }
    if (Authenticate())
        result = SendFrame(CmdKeyWrite, static_cast<std::uint8_t>(index + 1), key, kKeyLength);
    CloseLine();
    Count(result);
    entry.m_nStatus = result;
    // The entry takes the new key only once the unit holds it.
    if (result == ResultOk)
        std::copy(std::begin(key), std::end(key), std::begin(entry.m_abKey));
    emit operationFinished(m_summary);
    return result == ResultOk ? 1 : 0;
}

int CTarvelDoc::WriteDateTime(const std::uint8_t bytes[5])
{
    m_summary = COperationSummary();
    if (!OpenLine()) {
        emit operationFinished(m_summary);
        return 0;
    }
    const int result = SendFrame(CmdSetDateTime, 0, bytes, 5);
    CloseLine();
    Count(result);
    emit operationFinished(m_summary);
    return result == ResultOk ? 1 : 0;
}

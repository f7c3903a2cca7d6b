#include "tarveldoc.h"

#include "linkworker.h"
#include "stringtable.h"

#include <QSignalBlocker>
#include <QThread>

#include <algorithm>

using namespace Quilo;

namespace {

// Hands a waiting operation's outcomes to the document as they come, and its progress and
// stop questions to the document's progress sink.
class DirectSink : public CEngineSink
{
public:
    DirectSink(CProgressSink *progress, std::function<void(const RecordOutcome &)> apply)
        : m_progress(progress), m_apply(std::move(apply))
    {
    }
    void Range(int minimum, int maximum) override
    {
        if (m_progress) {
            m_progress->SetRange(minimum, maximum);
            m_progress->SetStep(1);
        }
    }
    void Position(int position) override
    {
        if (m_progress)
            m_progress->SetPos(position);
    }
    bool StopRequested() override { return m_progress && m_progress->StopRequested(); }
    void Record(const RecordOutcome &outcome) override { m_apply(outcome); }

private:
    CProgressSink *m_progress;
    std::function<void(const RecordOutcome &)> m_apply;
};

} // namespace

CTarvelDoc::CTarvelDoc(QObject *parent) : QObject(parent), m_worker(std::make_unique<CLinkWorker>())
{
    m_strUserKey = CKeyField().GetText();
    m_strPortName = m_worker->Engine().Port().PortName();
    // The communication bar preselects Com2; document and bar agree from the start.
    SetPort(QStringLiteral("Com2"));

    // Without a thread the worker's signals arrive at once; with one, queued on this thread.
    connect(m_worker.get(), &CLinkWorker::progressRange, this, &CTarvelDoc::OnProgressRange);
    connect(m_worker.get(), &CLinkWorker::progressPosition, this, &CTarvelDoc::OnProgressPosition);
    connect(m_worker.get(), &CLinkWorker::recordRead, this, [this](const RecordOutcome &outcome) {
        // a file shown is not the unit: nothing read before it opened may land in it
        if (!IsOffline())
            Apply(outcome);
    });
    connect(m_worker.get(), &CLinkWorker::readFinished, this, &CTarvelDoc::OnReadFinished);
    connect(m_worker.get(), &CLinkWorker::writeFinished, this, &CTarvelDoc::OnWriteFinished);
}

CTarvelDoc::~CTarvelDoc()
{
    if (m_thread) {
        // The running transaction ends within its time-outs; the rest is not begun.
        m_worker->RequestStop();
        m_thread->quit();
        m_thread->wait();
        delete m_thread;
    }
}

void CTarvelDoc::StartLinkThread()
{
    if (m_thread || m_busy)
        return;
    qRegisterMetaType<Quilo::RecordOutcome>();
    qRegisterMetaType<Quilo::WriteOutcome>();
    qRegisterMetaType<COperationSummary>();
    qRegisterMetaType<QList<COperationSummary>>();
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("quilo-link"));
    m_worker->moveToThread(m_thread);
    m_thread->start();
}

void CTarvelDoc::SetPort(const QString &name)
{
    m_strPortName = name;
    if (!m_busy)
        m_worker->Engine().SetPort(name);
}

QString CTarvelDoc::PortName() const
{
    return m_strPortName;
}

CComPort &CTarvelDoc::ComPort()
{
    return m_worker->Engine().Port();
}

Quilo::CFrameLink &CTarvelDoc::FrameLink()
{
    return m_worker->Engine().Link();
}

bool CTarvelDoc::SetKeyMode(int keyMode, const QString &keyText)
{
    std::uint8_t key[8];
    if (!CKeyField::ScanKey(keyText, key))
        return false;
    m_bKeyMode = keyMode ? 1 : 0;
    std::copy(std::begin(key), std::end(key), std::begin(m_abUserKey));
    // kept in the key format, whatever spacing or case it was typed in
    CKeyField shown;
    std::copy(std::begin(key), std::end(key), std::begin(shown.m_abKey));
    m_strUserKey = shown.GetText();
    return true;
}

// --- records ---

CDataField *CTarvelDoc::Record(int dataSet, unsigned index)
{
    const auto at = [index](auto &records) -> CDataField * {
        return index < records.size() ? &records[index] : nullptr;
    };
    switch (dataSet) {
    case dsKeyTable: return at(m_aKeyTable);
    case dsKeyLogs: return at(m_aKeyLogs);
    case dsDaily: return at(m_aDaily);
    case dsMonthly: return at(m_aMonthly);
    case dsQuarterly: return at(m_aQuarterly);
    case dsYearly: return at(m_aYearly);
    case dsDateLog: return at(m_aDateLog);
    case dsCounters: return index == 0 ? &m_counters : nullptr;
    case dsDateTime: return index == 0 ? &m_dateTime : nullptr;
    case dsCurrentKey: return index == 0 ? &m_currentKey : nullptr;
    case dsConfig: return index == 0 ? &m_config : nullptr;
    case dsConfEvents: return at(m_aConfEvents);
    default: return nullptr;
    }
}

const CDataField *CTarvelDoc::Record(int dataSet, unsigned index) const
{
    return const_cast<CTarvelDoc *>(this)->Record(dataSet, index);
}

const CRecordMeta *CTarvelDoc::Meta(int dataSet, unsigned index) const
{
    return m_readOut.Meta(dataSet, index);
}

void CTarvelDoc::Apply(const RecordOutcome &outcome)
{
    CDataField *record = Record(outcome.dataSet, outcome.index);
    const DataSetInfo *info = FindDataSet(outcome.dataSet);
    if (!record || !info)
        return;
    // A failed transaction leaves the record what it held; only a whole reply is decoded.
    if (static_cast<std::size_t>(outcome.bytes.size()) == info->recordBytes)
        record->Parse(reinterpret_cast<const std::uint8_t *>(outcome.bytes.constData()));
    record->m_nStatus = outcome.status;
    m_readOut.Apply(outcome);
    const int index = static_cast<int>(outcome.index);
    emit recordsChanged(outcome.dataSet, index, index);
}

void CTarvelDoc::ApplyRecords(const QList<RecordOutcome> &records)
{
    // many records at once: one documentReset from the caller, not a signal each
    const QSignalBlocker quiet(this);
    for (const RecordOutcome &r : records)
        Apply(r);
}

bool CTarvelDoc::HoldsAnything() const
{
    return m_readOut.HoldsAnything();
}

QList<RecordOutcome> CTarvelDoc::Records() const
{
    return m_readOut.Records();
}

void CTarvelDoc::Clear()
{
    m_aKeyTable.fill(CKeyField());
    m_currentKey = CKeyField();
    m_aKeyLogs.fill(CKeyLogRecord());
    m_dateTime = CDateTimeField();
    m_aDateLog.fill(CDateLogRecord());
    m_aDaily.fill(CDailyRecord());
    m_aMonthly.fill(CPeriodRecord());
    m_aQuarterly.fill(CPeriodRecord());
    m_aYearly.fill(CYearlyRecord());
    m_counters = CCountersRecord();
    m_config = CConfigRecord();
    m_aConfEvents.fill(CConfEventRecord());
    m_readOut.Clear();
    m_summary = COperationSummary();
    m_summaries.clear();
}

void CTarvelDoc::SetOffline(const QString &fileName)
{
    if (fileName.isEmpty() && !IsOffline())
        return;
    if (!fileName.isEmpty())
        StopOperation();
    else
        Clear(); // the file's records must not pass for the unit's
    m_strOfflineFile = fileName;
    emit documentReset();
}

// --- reads ---

CDataSetRequest CTarvelDoc::RequestFor(int dataSet, unsigned firstKey, int configEvent)
{
    return Quilo::RequestFor(dataSet, firstKey, configEvent);
}

ReadRequest CTarvelDoc::Selection() const
{
    return Selection(static_cast<DataSetId>(m_nDataSet));
}

ReadRequest CTarvelDoc::Selection(DataSetId id) const
{
    const DataSetInfo *info = FindDataSet(id);
    if (info && !info->groups.empty())
        return ReadRequest::Records(id, m_nFirstKey, m_nLastKey);
    if (id == dsConfEvents)
        return ReadRequest::Event(m_nConfigEvent);
    return ReadRequest::Set(id);
}

void CTarvelDoc::Select(const ReadRequest &request)
{
    m_nDataSet = request.dataSet;
    // a set without groups keeps the tree's last group for the key views
    const DataSetInfo *info = FindDataSet(request.dataSet);
    if (info && !info->groups.empty()) {
        m_nFirstKey = request.first;
        m_nLastKey = request.last;
    }
    if (request.dataSet == dsConfEvents)
        m_nConfigEvent = request.event;
}

std::optional<SetRead> CTarvelDoc::BuildRead(const ReadRequest &request, bool reload) const
{
    const DataSetInfo *info = FindDataSet(request.dataSet);
    if (!info || RequestFor(request.dataSet, request.first, request.event).command == 0)
        return std::nullopt; // nothing this selector can read: the port is not opened
    SetRead set;
    set.dataSet = info->id;
    set.reload = reload;
    switch (info->shape) {
    case SetShape::Single:
        return set; // read every time: no status passes it over
    case SetShape::Chunked:
        set.first = set.last = info->id == dsConfEvents ? static_cast<unsigned>(request.event) : 0;
        break;
    case SetShape::Records:
        set.first = request.first;
        set.last = request.last;
        break;
    }
    for (unsigned i = set.first; i <= std::min(set.last, info->records - 1); ++i)
        set.status.push_back(Record(info->id, i)->m_nStatus);
    return set;
}

void CTarvelDoc::PrepareEngine()
{
    CEngine &engine = m_worker->Engine();
    engine.SetPort(m_strPortName);
    KeySetting key;
    key.keyMode = m_bKeyMode;
    std::copy(std::begin(m_abUserKey), std::end(m_abUserKey), key.key.begin());
    engine.SetKey(key);
}

void CTarvelDoc::ReadDataSet()
{
    ReadDataSet(Selection(), false);
}

void CTarvelDoc::ReadDataSet(const ReadRequest &request, bool reload)
{
    Select(request);
    const std::optional<SetRead> set = BuildRead(request, reload);
    if (!set || m_busy || IsOffline())
        return;
    PrepareEngine();
    DirectSink sink(m_pCommBar, [this](const RecordOutcome &o) { Apply(o); });
    m_summary = m_worker->Engine().Read(*set, sink);
    m_summaries = {m_summary};
    emit operationFinished(m_summary);
}

void CTarvelDoc::Dispatch(int running, std::function<void(CLinkWorker &)> run)
{
    m_running = running;
    PrepareEngine();
    m_worker->ClearStop();
    SetBusy(true);
    if (m_thread)
        QMetaObject::invokeMethod(m_worker.get(), [w = m_worker.get(), run] { run(*w); }, Qt::QueuedConnection);
    else
        run(*m_worker);
}

void CTarvelDoc::StartRead()
{
    StartSelection({Selection(), false});
}

void CTarvelDoc::StartRead(const ReadRequest &request, bool reload)
{
    Select(request);
    StartSelection({request, reload});
}

void CTarvelDoc::StartSelection(const PendingRead &read)
{
    if (IsOffline())
        return; // a saved read-out is shown: the unit is not asked
    if (m_busy && m_running == kReadAll)
        return; // the whole unit is being read, this set too: its records arrive as they come
    if (m_busy) {
        m_pending = read;
        m_worker->RequestStop();
        return;
    }
    const std::optional<SetRead> set = BuildRead(read.request, read.reload);
    if (!set)
        return;
    Dispatch(set->dataSet, [read = *set](CLinkWorker &w) { w.RunRead({read}); });
}

bool CTarvelDoc::StartReadAll()
{
    if (m_busy || IsOffline())
        return false;
    QList<SetRead> sets;
    for (const DataSetInfo &info : DataSets()) {
        if (info.id == dsConfEvents) {
            for (int e = 0; e < static_cast<int>(info.records); ++e)
                if (const auto set = BuildRead(ReadRequest::Event(e), false))
                    sets << *set;
        } else if (!info.groups.empty()) {
            for (const KeyGroup &g : info.groups)
                if (const auto set = BuildRead(ReadRequest::Records(info.id, g.first, g.last), false))
                    sets << *set;
        } else if (const auto set = BuildRead(ReadRequest::Set(info.id), false)) {
            sets << *set;
        }
    }
    // A whole-unit read is a visit: every record is read anew, and one whose read fails is not
    // read, whatever it held before, so that what it leaves is the unit as it is now.
    for (SetRead &set : sets)
        set.status.clear();
    m_readAllSets = sets.size();
    Dispatch(kReadAll, [sets](CLinkWorker &w) { w.RunRead(sets); });
    return true;
}

void CTarvelDoc::StopOperation()
{
    m_pending.reset();
    if (m_busy)
        m_worker->RequestStop();
}

void CTarvelDoc::SetBusy(bool busy)
{
    if (m_busy == busy)
        return;
    m_busy = busy;
    emit busyChanged(busy);
}

void CTarvelDoc::OnProgressRange(int minimum, int maximum)
{
    if (m_pCommBar) {
        m_pCommBar->SetRange(minimum, maximum);
        m_pCommBar->SetStep(1);
    }
}

void CTarvelDoc::OnProgressPosition(int position)
{
    if (m_pCommBar)
        m_pCommBar->SetPos(position);
}

void CTarvelDoc::OnReadFinished(const QList<COperationSummary> &summaries)
{
    m_summaries = summaries;
    if (!summaries.isEmpty())
        m_summary = summaries.last();
    const bool wholeUnit = m_running == kReadAll;
    SetBusy(false);
    emit operationFinished(m_summary);
    if (wholeUnit) {
        bool complete = summaries.size() == m_readAllSets;
        for (const COperationSummary &s : summaries)
            complete = complete && s.portOpened && !s.stopped && !s.lineLost;
        emit wholeUnitRead(summaries, complete);
    }
    if (m_pending) {
        // The waiting read uses the selection it was asked with.
        const PendingRead next = *m_pending;
        m_pending.reset();
        StartSelection(next);
    }
}

// --- writes ---

bool CTarvelDoc::ScanWrite(const QString &keyText, long long index, std::array<std::uint8_t, 8> &key) const
{
    // An entry outside the table or a text that does not scan into eight values is never sent.
    return index >= 0 && index < static_cast<long long>(m_aKeyTable.size()) && CKeyField::ScanKey(keyText, key.data());
}

unsigned CTarvelDoc::EntryOf(int row) const
{
    const long long at = static_cast<long long>(m_nFirstKey) + row;
    // a row outside the table names no entry: the table's size, which every write refuses
    if (row < 0 || at >= static_cast<long long>(m_aKeyTable.size()))
        return static_cast<unsigned>(m_aKeyTable.size());
    return static_cast<unsigned>(at);
}

// Takes a write's outcome into the document; true when the unit holds the new value.
bool CTarvelDoc::ApplyWrite(const WriteOutcome &outcome, const COperationSummary &summary)
{
    m_summary = summary;
    m_summaries = {summary};
    bool holdsNew = outcome.result == ResultOk;
    if (outcome.keyWrite) {
        CKeyField &entry = m_aKeyTable[outcome.index];
        const auto hold = [&](const QByteArray &bytes) {
            entry.Parse(reinterpret_cast<const std::uint8_t *>(bytes.constData()));
            m_readOut.SetHeld(dsKeyTable, outcome.index, bytes);
            m_readOut.SetReadAt(dsKeyTable, outcome.index, outcome.readAt);
        };
        if (!summary.portOpened) {
            entry.m_nStatus = 0;
        } else if (outcome.result == ResultOk) {
            // The entry takes the new key only once the unit holds it.
            hold(outcome.written);
            entry.m_nStatus = RecordStatus::AfterWrite(ResultOk);
        } else if (outcome.readBack && RecordStatus::StateOf(outcome.readBackStatus) == RecordStatus::State::Read) {
            hold(outcome.held);
            entry.m_nStatus = outcome.readBackStatus;
            holdsNew = summary.readBack == COperationSummary::ReadBack::HoldsNew;
        } else {
            entry.m_nStatus = RecordStatus::AfterWrite(outcome.result);
        }
        m_readOut.SetStatus(dsKeyTable, outcome.index, entry.m_nStatus);
        const int row = static_cast<int>(outcome.index);
        emit recordsChanged(dsKeyTable, row, row);
    } else if (outcome.readBack) {
        if (RecordStatus::StateOf(outcome.readBackStatus) == RecordStatus::State::Read) {
            m_dateTime.Parse(reinterpret_cast<const std::uint8_t *>(outcome.held.constData()));
            m_readOut.SetHeld(dsDateTime, 0, outcome.held);
        }
        m_dateTime.m_nStatus = outcome.readBackStatus;
        m_readOut.SetStatus(dsDateTime, 0, m_dateTime.m_nStatus);
        m_readOut.SetReadAt(dsDateTime, 0, outcome.readAt);
        holdsNew = summary.readBack == COperationSummary::ReadBack::HoldsNew;
        emit recordsChanged(dsDateTime, 0, 0);
    }
    emit operationFinished(summary);
    emit writeFinished(summary, holdsNew);
    return holdsNew;
}

int CTarvelDoc::WriteKey(const QString &keyText, int row)
{
    return WriteKeyEntry(keyText, EntryOf(row));
}

int CTarvelDoc::WriteKeyEntry(const QString &keyText, unsigned index)
{
    std::array<std::uint8_t, 8> key{};
    if (m_busy || IsOffline())
        return 0;
    if (!ScanWrite(keyText, index, key)) {
        m_summary = COperationSummary();
        emit operationFinished(m_summary);
        return 0;
    }
    PrepareEngine();
    WriteOutcome outcome;
    const COperationSummary summary = m_worker->Engine().WriteKey(index, key, outcome);
    return ApplyWrite(outcome, summary) ? 1 : 0;
}

int CTarvelDoc::WriteDateTime(const std::uint8_t bytes[5])
{
    if (m_busy || IsOffline())
        return 0;
    PrepareEngine();
    WriteOutcome outcome;
    const COperationSummary summary =
        m_worker->Engine().WriteDateTime({bytes[0], bytes[1], bytes[2], bytes[3], bytes[4]}, outcome);
    return ApplyWrite(outcome, summary) ? 1 : 0;
}

bool CTarvelDoc::StartWriteKeyEntry(const QString &keyText, unsigned index)
{
    std::array<std::uint8_t, 8> key{};
    if (m_busy || IsOffline() || !ScanWrite(keyText, index, key))
        return false;
    Dispatch(0, [index, key](CLinkWorker &w) { w.RunWriteKey(index, key); });
    return true;
}

bool CTarvelDoc::StartWriteDateTime(const std::array<std::uint8_t, 5> &bytes)
{
    if (m_busy || IsOffline())
        return false;
    Dispatch(0, [bytes](CLinkWorker &w) { w.RunWriteDateTime(bytes); });
    return true;
}

void CTarvelDoc::OnWriteFinished(const WriteOutcome &outcome, const COperationSummary &summary)
{
    SetBusy(false);
    ApplyWrite(outcome, summary);
}

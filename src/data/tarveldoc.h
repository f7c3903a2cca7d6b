#pragma once
// The one document: every data set read from the unit, with each record's status word and
// reply bytes, the selection that tells the engine what to read, key mode and the user key.
// The serial line lives in the engine, which the window runs on a thread of its own: there
// the Start... operations return at once and report through the signals. The command line,
// the benchmarks and the tests may call ReadDataSet, WriteKey and WriteDateTime, which wait.
// No widgets here.

#include "commandtable.h"
#include "datasettable.h"
#include "engine.h"
#include "readout.h"
#include "readrequest.h"
#include "records.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QThread;

namespace Quilo {
class CLinkWorker;
}

// Progress of a transfer, implemented by the window's communication bar and the command line.
// Called on the document's thread.
class CProgressSink
{
public:
    virtual ~CProgressSink() = default;
    virtual void SetRange(int minimum, int maximum) = 0;
    virtual void SetStep(int step) = 0;
    virtual void SetPos(int position) = 0;
    // Asked between two transactions of a waiting operation; true ends it there. Records not
    // reached keep their status.
    virtual bool StopRequested() { return false; }
};

using CDataSetRequest = Quilo::CDataSetRequest;

class CTarvelDoc : public QObject
{
    Q_OBJECT
public:
    using DataSet = Quilo::DataSetId;
    using enum Quilo::DataSetId;

    explicit CTarvelDoc(QObject *parent = nullptr);
    ~CTarvelDoc() override;

    // --- the data sets, in declaration order ---
    std::array<CKeyField, 192> m_aKeyTable;
    CKeyField m_currentKey;
    std::array<CKeyLogRecord, 40> m_aKeyLogs;
    CDateTimeField m_dateTime;
    std::array<CDateLogRecord, 60> m_aDateLog;
    std::array<CDailyRecord, 31> m_aDaily;
    std::array<CPeriodRecord, 61> m_aMonthly;
    std::array<CPeriodRecord, 21> m_aQuarterly;
    std::array<CYearlyRecord, 6> m_aYearly;
    CCountersRecord m_counters;
    CConfigRecord m_config;
    std::array<CConfEventRecord, 20> m_aConfEvents;

    // --- selection, key mode, progress ---
    CProgressSink *m_pCommBar = nullptr; // not owned; may be null
    int m_nDataSet = dsKeyTable;
    unsigned m_nFirstKey = 0;
    unsigned m_nLastKey = 0;
    int m_nConfigEvent = 0;
    int m_bKeyMode = 0;
    std::uint8_t m_abUserKey[8] = {};
    QString m_strUserKey;                // key text in the key format, all zero at start

    // Record `index` of a data set; nullptr outside it (the single sets have record 0).
    CDataField *Record(int dataSet, unsigned index);
    const CDataField *Record(int dataSet, unsigned index) const;
    const CRecordMeta *Meta(int dataSet, unsigned index) const;
    // Every record with its status, bytes and times as one value, kept current as records
    // arrive: what files, exports and the history take. A copy stays as it was taken.
    const Quilo::ReadOut &ReadOut() const { return m_readOut; }

    // --- engine: the caller waits ---
    static constexpr int kSilentRecords = Quilo::CEngine::kSilentRecords;
    static constexpr int kClockHeldSeconds = Quilo::CEngine::kClockHeldSeconds;
    static CDataSetRequest RequestFor(int dataSet, unsigned firstKey, int configEvent);
    // Reads the selected data set: every record not read before (the single sets every time).
    void ReadDataSet();
    // Reads what `request` names, which becomes the selection. `reload`: the records read before
    // are read again too; they keep what they hold until their new replies come, so a port that
    // does not open changes nothing.
    void ReadDataSet(const Quilo::ReadRequest &request, bool reload = false);
    // The selection the tree made and the last read used (key groups, the event shown).
    Quilo::ReadRequest Selection() const;
    // The same as it applies to data set `id`: its group, or the event shown last.
    Quilo::ReadRequest Selection(Quilo::DataSetId id) const;
    void Select(const Quilo::ReadRequest &request);
    // 1 when the unit holds the new key (or time): it accepted the write, or the reply was
    // damaged and the value read back is the new one. See LastSummary().readBack.
    int WriteKey(const QString &keyText, int row);
    // The same for key table entry `index` (0..191), whatever the selection.
    int WriteKeyEntry(const QString &keyText, unsigned index);
    int WriteDateTime(const std::uint8_t bytes[5]);

    // Key mode without the dialog: keyText in the key format. Returns false (and changes
    // nothing) when the text does not scan into eight values.
    bool SetKeyMode(int keyMode, const QString &keyText);
    int KeyMode() const { return m_bKeyMode; }
    QString UserKeyText() const { return m_strUserKey; }

    // Where the waiting operations report their progress (the window's bar, the command
    // line's); not owned, may be null. Clearing it only clears the sink it names.
    void SetProgressSink(CProgressSink *sink) { m_pCommBar = sink; }
    void ClearProgressSink(const CProgressSink *sink)
    {
        if (m_pCommBar == sink)
            m_pCommBar = nullptr;
    }

    // Port choice as the communication bar makes it: "Com1".."Com4" or a device path.
    void SetPort(const QString &name);
    QString PortName() const;

    const COperationSummary &LastSummary() const { return m_summary; }
    // Every set of the last read (several for a whole-unit read).
    const QList<COperationSummary> &LastSummaries() const { return m_summaries; }
    // The line and the frame layer (trace hook); touch them only while no operation runs.
    Quilo::CFrameLink &FrameLink();
    CComPort &ComPort();

    // --- a saved read-out shown instead of the unit ---
    // Every data set back to "not read", as the document starts.
    void Clear();
    // Takes records as a read or a file gives them: decodes their bytes, keeps their status.
    // Emits nothing: the caller says what changed (documentReset, or SetOffline).
    void ApplyRecords(const QList<Quilo::RecordOutcome> &records);
    // Some record was read or tried.
    bool HoldsAnything() const;
    // Every record that holds something, as the engine would hand it over: for saving.
    QList<Quilo::RecordOutcome> Records() const;
    // While a file is shown nothing is read from or written to the unit; an empty name returns
    // to the unit (the file's records are dropped, the views read the unit again).
    void SetOffline(const QString &fileName);
    bool IsOffline() const { return !m_strOfflineFile.isEmpty(); }
    QString OfflineFile() const { return m_strOfflineFile; }

    // --- the same operations on the line's own thread (the window) ---
    // Gives the line a thread of its own; from then on the Start... operations return at once.
    // Without it they run to their end before returning, signals and all.
    void StartLinkThread();
    bool HasLinkThread() const { return m_thread != nullptr; }
    // Reads the selected data set as ReadDataSet does. While another operation runs, that one
    // is asked to stop and this read follows it (only the latest request waits); a whole-unit
    // read is never stopped for it: it reads that set as well, so nothing more is asked.
    void StartRead();
    // Reads what `request` names, as ReadDataSet(request, reload) does.
    void StartRead(const Quilo::ReadRequest &request, bool reload = false);
    // Reads every data set and key group once, as the command line's `read all`: every record
    // anew, also those read before.
    bool StartReadAll();
    // False, and nothing sent, while an operation runs or for an entry or text WriteKey refuses.
    bool StartWriteKeyEntry(const QString &keyText, unsigned index);
    bool StartWriteDateTime(const std::array<std::uint8_t, 5> &bytes);
    // Ends the running read between two transactions, and drops a read waiting behind it; a
    // write, one transaction, runs to its end.
    void StopOperation();
    bool IsBusy() const { return m_busy; }
    // A read waits for the running operation to give way.
    bool HasPendingRead() const { return m_pending.has_value(); }
    // What runs: the data set being read, kReadAll for the whole unit, 0 for a write.
    static constexpr int kReadAll = -1;
    int RunningDataSet() const { return m_running; }

signals:
    void busyChanged(bool busy);
    // Records first..last of a data set took new values or a new status.
    void recordsChanged(int dataSet, int first, int last);
    // After every operation, for status bars.
    void operationFinished(const COperationSummary &summary);
    // After a write, with what the unit holds (a read-back's outcome included).
    void writeFinished(const COperationSummary &summary, bool holdsNew);
    // Every record may have changed: a file was opened, or the document returned to the unit.
    void documentReset();
    // A read of the whole unit (StartReadAll) ended, one summary per data set or group; after
    // operationFinished. `complete`: it was not stopped and the port opened throughout.
    void wholeUnitRead(const QList<COperationSummary> &summaries, bool complete);

private:
    struct PendingRead {
        Quilo::ReadRequest request;
        bool reload = false;
    };
    std::optional<Quilo::SetRead> BuildRead(const Quilo::ReadRequest &request, bool reload) const;
    void StartSelection(const PendingRead &read);
    void PrepareEngine();
    void Apply(const Quilo::RecordOutcome &outcome);
    bool ApplyWrite(const Quilo::WriteOutcome &outcome, const COperationSummary &summary);
    void Dispatch(int running, std::function<void(Quilo::CLinkWorker &)> run);
    void SetBusy(bool busy);
    void OnProgressRange(int minimum, int maximum);
    void OnProgressPosition(int position);
    void OnReadFinished(const QList<COperationSummary> &summaries);
    void OnWriteFinished(const Quilo::WriteOutcome &outcome, const COperationSummary &summary);
    bool ScanWrite(const QString &keyText, long long index, std::array<std::uint8_t, 8> &key) const;
    unsigned EntryOf(int row) const; // the key table entry of a row of the selected group

    std::unique_ptr<Quilo::CLinkWorker> m_worker; // owns the engine: line and frame layer
    QThread *m_thread = nullptr;
    bool m_busy = false;
    int m_running = 0;
    qsizetype m_readAllSets = 0;
    bool m_waiting = false;                       // a caller waits for the running operation
    std::optional<PendingRead> m_pending;         // a read asked for while another ran
    QString m_strPortName;
    QString m_strOfflineFile;
    COperationSummary m_summary;
    QList<COperationSummary> m_summaries;
    Quilo::ReadOut m_readOut; // the records' status words and bytes; the arrays above decode them
};

#pragma once
// The one document: every data set read from the unit, the serial line, the selection that
// tells the engine what to read, key mode and the user key. No widgets here.

#include "commandtable.h"
#include "comport.h"
#include "framelink.h"
#include "records.h"

#include <QObject>
#include <QString>

#include <array>
#include <cstdint>

// Progress of a transfer, implemented by the window's communication bar and the command line.
// Calls arrive synchronously from inside ReadDataSet.
class CProgressSink
{
public:
    virtual ~CProgressSink() = default;
    virtual void SetRange(int minimum, int maximum) = 0;
    virtual void SetStep(int step) = 0;
    virtual void SetPos(int position) = 0;
    // Asked between two transactions; true ends the operation there. Records not reached keep
    // their status.
    virtual bool StopRequested() { return false; }
};

// What the last ReadDataSet / WriteKey / WriteDateTime did, in numbers, for status bars and
// the command line.
struct COperationSummary
{
    int dataSet = 0;          // selector of the operation (0: a write)
    bool portOpened = false;  // false: nothing was sent; see portError
    QString portName;         // as the user chose it ("Com2" or a path)
    QString portError;        // why the port did not open, in words
    int tried = 0;            // records (or chunks) for which a transaction was attempted
    int read = 0;             // of those, succeeded
    int skipped = 0;          // a read was made before (bit 15 set), not tried: read or failed
    int skippedFailed = 0;    // of those, failed then (Load reads them again)
    bool stopped = false;     // a stop request ended the operation early
    int noReply = 0;          // transactions that got not a single byte back
    bool silent = false;      // the set was given up: several records in a row got no byte
    std::array<int, 7> failedBy{}; // counts by result: 1, 16, 32, 48, 64, 256, other

    // After a write whose reply was neither a clear acceptance nor a clear refusal, the value
    // was read back to learn what the unit holds.
    enum class ReadBack { None, HoldsNew, HoldsOther, Failed };
    ReadBack readBack = ReadBack::None;
    int writeResult = -1;     // the write transaction's result code; -1 when none was made

    int failed() const;
};

// The command that reads a data set under a selection, and the parameter of the first record
// (or chunk) of its range; command 0 for a selector that reads nothing.
struct CDataSetRequest
{
    std::uint8_t command = 0;
    unsigned firstParameter = 0;
};

class CTarvelDoc : public QObject
{
    Q_OBJECT
public:
    enum DataSet : int {
        dsKeyTable = 1,
        dsKeyLogs = 2,
        dsDaily = 3,
        dsMonthly = 4,
        dsQuarterly = 5,
        dsYearly = 6,
        dsDateLog = 7,
        dsCounters = 8,
        dsDateTime = 9,
        dsCurrentKey = 10,
        dsConfig = 12,
        dsConfEvents = 13,
    };

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

    // --- selection, key mode, link ---
    CComPort m_comPort;                  // the one serial line
    CProgressSink *m_pCommBar = nullptr; // not owned; may be null
    int m_nDataSet = dsKeyTable;
    unsigned m_nFirstKey = 0;
    unsigned m_nLastKey = 0;
    int m_nConfigEvent = 0;
    int m_bKeyMode = 0;
    std::uint8_t m_abUserKey[8] = {};
    QString m_strUserKey;                // key text in the key format, all zero at start

    // --- engine ---
    // Records in a row that may get no byte at all before a read gives the data set up.
    static constexpr int kSilentRecords = 3;
    // A clock read back this much later than written still holds the write (it runs on).
    static constexpr int kClockHeldSeconds = 180;

    static CDataSetRequest RequestFor(int dataSet, unsigned firstKey, int configEvent);
    void ReadDataSet();
    // 1 when the unit holds the new key (or time): it accepted the write, or the reply was
    // damaged and the value read back is the new one. See LastSummary().readBack.
    int WriteKey(const QString &keyText, int row);
    int WriteDateTime(const std::uint8_t bytes[5]);

    // Key mode without the dialog: keyText in the key format. Returns false (and changes
    // nothing) when the text does not scan into eight values.
    bool SetKeyMode(int keyMode, const QString &keyText);

    // --- transactions of the frame layer, on the open line ---
    int SendRequest(std::uint8_t command, std::uint8_t parameter);
    int ReceiveReply(std::size_t n);
    int SendFrame(std::uint8_t command, std::uint8_t parameter, const std::uint8_t *data, std::size_t n);
    int Authenticate();

    // Port choice as the communication bar makes it: "Com1".."Com4" or a device path.
    void SetPort(const QString &name);
    QString PortName() const;

    const COperationSummary &LastSummary() const { return m_summary; }
    Quilo::CFrameLink &FrameLink() { return m_link; } // traffic trace hook lives there

signals:
    // Emitted after every ReadDataSet / WriteKey / WriteDateTime, for status bars.
    void operationFinished(const COperationSummary &summary);

private:
    bool OpenLine();
    void CloseLine();
    bool StopRequested();
    void Progress(int minimum, int maximum);
    void ProgressPos(int position);
    void Count(int result);
    bool Silent(int result, int &silentInRow);
    int ReadBack(CDataField &record, std::uint8_t command, std::uint8_t parameter, std::size_t n);
    template<class Array>
    void ReadRecords(Array &records, unsigned first, unsigned last, CDataSetRequest request, int progressMin,
                     int progressMax);
    void ReadSingle(CDataField &record, std::uint8_t command, std::size_t n);
    void ReadChunked(CDataField &record, std::uint8_t command, std::size_t chunks);

    Quilo::CFrameLink m_link;
    COperationSummary m_summary;
};

#pragma once
// The read-out and write-back engine: the serial line and the frame layer, and the
// operations that move whole data sets, one key or the clock over them. It works on bytes
// only: every record it reads is handed to a sink as its status word and reply bytes, and the
// document (on whatever thread owns it) parses them. One thread at a time may use an engine;
// the window gives it a thread of its own, the command line calls it directly.

#include "comport.h"
#include "datasettable.h"
#include "fields.h"
#include "framelink.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QString>

#include <array>
#include <cstdint>
#include <vector>

// What one operation did, in numbers, for status bars and the command line.
struct COperationSummary
{
    int dataSet = 0;          // selector of the operation (0: a write)
    int configEvent = -1;     // the event read, for the configuration events
    unsigned first = 0;       // the record range asked for
    unsigned last = 0;
    bool portOpened = false;  // false: nothing was sent; see portError
    QString portName;         // as the user chose it ("Com2" or a path)
    QString portError;        // why the port did not open, in words
    bool keyReadable = false; // key mode on a network port without TLS: the key crossed it readable
    int tried = 0;            // records (or chunks) for which a transaction was attempted
    int read = 0;             // of those, succeeded
    int skipped = 0;          // a read was made before (bit 15 set), not tried: read or failed
    int skippedFailed = 0;    // of those, failed then (a reload reads them again)
    bool stopped = false;     // a stop request ended the operation early
    bool lineLost = false;    // the line went away (unplugged, hung up) during the operation
    int noReply = 0;          // transactions that got not a single byte back
    bool silent = false;      // the set was given up: several records in a row got no byte
    std::array<int, 7> failedBy{}; // counts by result: 1, 16, 32, 48, 64, 256, other

    // After a write whose reply was neither a clear acceptance nor a clear refusal, the value
    // was read back to learn what the unit holds.
    enum class ReadBack { None, HoldsNew, HoldsOther, Failed };
    ReadBack readBack = ReadBack::None;
    int writeResult = -1;     // the write transaction's result code; -1 when none was made

    int failed() const;
    // The result each slot of failedBy counts; the last counts any other (shown as the mask).
    static constexpr std::array<int, 7> kSlotResults{Quilo::ResultNotSent,     Quilo::ResultTwoBytes,
                                                     Quilo::ResultWrongLength, Quilo::ResultBadChecksum,
                                                     Quilo::ResultRefused,     Quilo::ResultKeyFailed,
                                                     RecordStatus::kResultMask};
    // The slot of failedBy that counts `result`.
    static std::size_t FailureSlot(int result);
};
Q_DECLARE_METATYPE(COperationSummary)

namespace Quilo {

// One data set to read: the range of records and the status words they have now, which
// decide what a read passes over (a record read before, good or bad, until a reload).
struct SetRead {
    DataSetId dataSet = dsDaily;
    unsigned first = 0;                // record range in the document, both ends included;
    unsigned last = 0;                 // for an event, its number 0..19 in both
    std::vector<std::int32_t> status;  // per record of the range; empty: all unread
    // Records read before are read again; one whose new read does not complete keeps what it
    // held, status and all.
    bool reload = false;
};

// A record as the engine leaves it.
struct RecordOutcome {
    DataSetId dataSet = dsDaily;
    unsigned index = 0;
    std::int32_t status = 0;           // the status word the record takes
    QByteArray bytes;                  // its data bytes as received; empty unless read
    QList<std::int32_t> chunkStatus;   // chunked records: the status word of each chunk
    QDateTime readAt;                  // when the transaction ended (UTC)
    // Bytes the unit sent back in the record's transaction, whole or not (0: not one; -1:
    // unknown), and the same per chunk: what tells silence from a wrong reply.
    int received = -1;
    QList<int> chunkReceived;
};

// What a write did, and what the unit holds when the reply had to be doubted.
struct WriteOutcome {
    bool keyWrite = false;
    unsigned index = 0;                // key table entry
    QByteArray written;                // the bytes sent
    int result = -1;                   // of the write transaction; -1: not made
    bool readBack = false;             // a read-back was made ...
    std::int32_t readBackStatus = 0;   // ... with this status word
    QByteArray held;                   // ... and these bytes, when it succeeded
    QDateTime readAt;
};

// Where an operation reports to, called on the engine's thread between transactions.
class CEngineSink
{
public:
    virtual ~CEngineSink() = default;
    virtual void Range(int minimum, int maximum) = 0;
    virtual void Position(int position) = 0;
    // Asked between two transactions; true ends the operation there.
    virtual bool StopRequested() = 0;
    virtual void Record(const RecordOutcome &outcome) = 0;
    // One record or chunk is behind: tried, or passed over as read before.
    virtual void Advanced() {}
};

// The key presentation the unit asks for before every request, when key mode is on.
struct KeySetting {
    int keyMode = 0;
    std::array<std::uint8_t, 8> key{};
};

class CEngine
{
public:
    // Records in a row that may get no byte at all before a read gives the data set up.
    static constexpr int kSilentRecords = 3;
    // A clock read back this much later than written still holds the write (it runs on).
    static constexpr int kClockHeldSeconds = 180;

    CEngine();
    CEngine(const CEngine &) = delete;
    CEngine &operator=(const CEngine &) = delete;

    // The port ("Com1".."Com4" or a path) and key presentation of the next operations.
    void SetPort(const QString &name);
    void SetKey(const KeySetting &key) { m_key = key; }

    // Reads one data set and returns what happened; `progress` decides whether the set
    // drives the progress range itself (a run of several sets keeps one range).
    COperationSummary Read(const SetRead &set, CEngineSink &sink, bool progress = true);
    // One key table entry; the entry is read back when the reply leaves doubt.
    COperationSummary WriteKey(unsigned index, const std::array<std::uint8_t, 8> &key, WriteOutcome &outcome);
    // The unit's clock (five packed-BCD bytes); no key is presented for it.
    COperationSummary WriteDateTime(const std::array<std::uint8_t, 5> &bytes, WriteOutcome &outcome);

    // Transactions of the frame layer on the open line.
    int Authenticate();

    CComPort &Port() { return m_port; }
    const CComPort &Port() const { return m_port; }
    CFrameLink &Link() { return m_link; }

private:
    bool OpenLine(COperationSummary &summary);
    void CloseLine();
    int ReadOne(std::uint8_t command, std::uint8_t parameter, std::size_t n, QByteArray *bytes);
    void Count(COperationSummary &summary, int result) const;
    bool Silent(COperationSummary &summary, int result, int &silentInRow) const;
    void ReadRecords(const SetRead &set, CEngineSink &sink, bool progress, COperationSummary &summary);
    void ReadSingle(const SetRead &set, CEngineSink &sink, COperationSummary &summary);
    void ReadChunked(const SetRead &set, CEngineSink &sink, bool progress, COperationSummary &summary);

    CComPort m_port;
    CFrameLink m_link;
    KeySetting m_key;
};

} // namespace Quilo

Q_DECLARE_METATYPE(Quilo::RecordOutcome)
Q_DECLARE_METATYPE(Quilo::WriteOutcome)

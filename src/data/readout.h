#pragma once
// One read-out of the unit as a value: every record of every data set with its status word,
// the reply bytes it was last decoded from, when it was read and what each chunk got. Records
// are decoded when asked for, by the same code as a live read, so a read-out kept, saved,
// opened or filed in the history reads the same everywhere. Cheap to copy: copies share their
// records until one of them changes. No widgets and no serial line here.

#include "datasettable.h"
#include "engine.h"
#include "records.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QSharedDataPointer>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <type_traits>

// What is kept of a record besides its status word.
struct CRecordMeta
{
    QByteArray raw;                  // the data bytes the record was last decoded from
    QDateTime readAt;                // when its last transaction ended (UTC); null: never
    QList<std::int32_t> chunkStatus; // configuration and events: each chunk's status word
    int received = -1;               // bytes its last transaction brought back (-1: unknown)
    QList<int> chunkReceived;        // the same per chunk
    // Chunks whose fields did not come (they read as zeros), counted from 0.
    QList<int> failedChunks() const;
};

namespace Quilo {

// The record type each data set holds and how many of them: what Decoded<set>() returns.
template<DataSetId Set>
struct RecordTraits;
template<> struct RecordTraits<dsKeyTable> { using Type = CKeyField; static constexpr unsigned kRecords = 192; };
template<> struct RecordTraits<dsKeyLogs> { using Type = CKeyLogRecord; static constexpr unsigned kRecords = 40; };
template<> struct RecordTraits<dsDaily> { using Type = CDailyRecord; static constexpr unsigned kRecords = 31; };
template<> struct RecordTraits<dsMonthly> { using Type = CPeriodRecord; static constexpr unsigned kRecords = 61; };
template<> struct RecordTraits<dsQuarterly> { using Type = CPeriodRecord; static constexpr unsigned kRecords = 21; };
template<> struct RecordTraits<dsYearly> { using Type = CYearlyRecord; static constexpr unsigned kRecords = 6; };
template<> struct RecordTraits<dsDateLog> { using Type = CDateLogRecord; static constexpr unsigned kRecords = 60; };
template<> struct RecordTraits<dsCounters> { using Type = CCountersRecord; static constexpr unsigned kRecords = 1; };
template<> struct RecordTraits<dsDateTime> { using Type = CDateTimeField; static constexpr unsigned kRecords = 1; };
template<> struct RecordTraits<dsCurrentKey> { using Type = CKeyField; static constexpr unsigned kRecords = 1; };
template<> struct RecordTraits<dsConfig> { using Type = CConfigRecord; static constexpr unsigned kRecords = 1; };
template<> struct RecordTraits<dsConfEvents> { using Type = CConfEventRecord; static constexpr unsigned kRecords = 20; };

template<DataSetId Set>
using RecordOf = typename RecordTraits<Set>::Type;

class ReadOut
{
public:
    ReadOut();
    ReadOut(const ReadOut &other);
    ReadOut(ReadOut &&other) noexcept;
    ReadOut &operator=(const ReadOut &other);
    ReadOut &operator=(ReadOut &&other) noexcept;
    ~ReadOut();

    // The read-out records as a read or a file gives them make.
    static ReadOut FromRecords(const QList<RecordOutcome> &records);

    // --- each record's status; a record outside its set reads as not read ---
    std::int32_t Status(int dataSet, unsigned index) const;
    RecordStatus::State State(int dataSet, unsigned index) const { return RecordStatus::StateOf(Status(dataSet, index)); }
    bool IsRead(int dataSet, unsigned index) const { return State(dataSet, index) == RecordStatus::State::Read; }
    bool IsNotRead(int dataSet, unsigned index) const { return Status(dataSet, index) == 0; }
    bool KeyRefused(int dataSet, unsigned index) const
    {
        return State(dataSet, index) == RecordStatus::State::KeyRefused;
    }
    bool IsWritten(int dataSet, unsigned index) const { return State(dataSet, index) == RecordStatus::State::Written; }
    // The transaction's result when a read or a write of the record failed; none otherwise.
    std::optional<int> FailedWith(int dataSet, unsigned index) const;
    // Holds what the unit sent (read) or what it took (written).
    bool HoldsUnitValue(int dataSet, unsigned index) const
    {
        return IsRead(dataSet, index) || IsWritten(dataSet, index);
    }
    // What is kept of the record besides its status; nullptr outside the set. Valid until this
    // read-out changes.
    const CRecordMeta *Meta(int dataSet, unsigned index) const;
    // Some record was read or tried.
    bool HoldsAnything() const;
    // Every record that holds something, as the engine hands it over: for saving and filing.
    QList<RecordOutcome> Records() const;

    // --- decoded records ---
    // The record decoded from its bytes, with its status word: a record never read whole holds
    // zeros, as the window shows it.
    template<DataSetId Set>
    RecordOf<Set> Decoded(unsigned index) const
    {
        static_assert(std::is_base_of_v<CDataField, RecordOf<Set>>);
        RecordOf<Set> record;
        Decode(Set, index, record);
        return record;
    }
    // The same for a set known only when running; nullptr outside it.
    std::unique_ptr<CDataField> Record(int dataSet, unsigned index) const;

    // --- the unit's identity and clock ---
    // Type and manufacturing number from the configuration; empty when it holds nothing.
    QString UnitType() const;
    QString UnitNumber() const;
    bool ClockRead() const { return IsRead(dsDateTime, 0); }
    CDateTimeField Clock() const { return Decoded<dsDateTime>(0); }
    // The clock as a plain date and time; invalid when it was not read or is no real date.
    QDateTime ClockValue() const;
    QDateTime ClockReadAt() const;

    // --- changes, as the document takes them ---
    // A record as a read gives it: a whole reply replaces the bytes held, a failed one keeps
    // them. False for a record outside its set.
    bool Apply(const RecordOutcome &outcome);
    // A write's outcome: the status word, and (when the unit holds them) the bytes and time.
    void SetStatus(int dataSet, unsigned index, std::int32_t status);
    void SetHeld(int dataSet, unsigned index, const QByteArray &bytes);
    void SetReadAt(int dataSet, unsigned index, const QDateTime &readAt);
    // Every record back to "not read".
    void Clear();

    // Copies share their records until one changes (for tests of that sharing).
    bool SharesWith(const ReadOut &other) const { return d == other.d; }

private:
    class Data;
    void Decode(DataSetId dataSet, unsigned index, CDataField &record) const;
    QSharedDataPointer<Data> d;
};

} // namespace Quilo

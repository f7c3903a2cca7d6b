#include "readout.h"

#include "commandtable.h"
#include "unitclock.h"

#include <QSharedData>

#include <array>
#include <utility>
#include <vector>

using namespace Quilo;

QList<int> CRecordMeta::failedChunks() const
{
    QList<int> failed;
    for (qsizetype k = 0; k < chunkStatus.size(); ++k)
        if (RecordStatus::StateOf(chunkStatus.at(k)) != RecordStatus::State::Read)
            failed << static_cast<int>(k);
    return failed;
}

namespace {

// The record counts of the traits must be what the unit's commands reach.
static_assert(dataLength(CmdDaily, RecordTraits<dsDaily>::kRecords) != 0
              && dataLength(CmdDaily, RecordTraits<dsDaily>::kRecords + 1) == 0);
static_assert(dataLength(CmdMonthly, RecordTraits<dsMonthly>::kRecords) != 0
              && dataLength(CmdMonthly, RecordTraits<dsMonthly>::kRecords + 1) == 0);
static_assert(dataLength(CmdQuarterly, RecordTraits<dsQuarterly>::kRecords) != 0
              && dataLength(CmdQuarterly, RecordTraits<dsQuarterly>::kRecords + 1) == 0);
static_assert(dataLength(CmdYearly, RecordTraits<dsYearly>::kRecords) != 0
              && dataLength(CmdYearly, RecordTraits<dsYearly>::kRecords + 1) == 0);
static_assert(dataLength(CmdDateLog, RecordTraits<dsDateLog>::kRecords) != 0
              && dataLength(CmdDateLog, RecordTraits<dsDateLog>::kRecords + 1) == 0);
static_assert(dataLength(CmdKey, RecordTraits<dsKeyTable>::kRecords) != 0
              && dataLength(CmdKey, RecordTraits<dsKeyTable>::kRecords + 1) == 0);
static_assert(RecordTraits<dsKeyLogs>::kRecords == 2 * 20 && dataLength(CmdKeyLogOmh, 20) != 0
              && dataLength(CmdKeyLogOmh, 21) == 0);
static_assert(RecordTraits<dsConfEvents>::kRecords == kConfEvents);
// and the record types take what the commands send
static_assert(RecordOf<dsDaily>::kWireLength == dataLength(CmdDaily, 1));
static_assert(RecordOf<dsMonthly>::kWireLength == dataLength(CmdMonthly, 1));
static_assert(RecordOf<dsQuarterly>::kWireLength == dataLength(CmdQuarterly, 1));
static_assert(RecordOf<dsYearly>::kWireLength == dataLength(CmdYearly, 1));
static_assert(RecordOf<dsDateLog>::kWireLength == dataLength(CmdDateLog, 1));
static_assert(RecordOf<dsKeyLogs>::kWireLength == dataLength(CmdKeyLogOmh, 1));
static_assert(RecordOf<dsCounters>::kWireLength == dataLength(CmdCounters, 0));
static_assert(RecordOf<dsKeyTable>::kLength == dataLength(CmdKey, 1));
static_assert(RecordOf<dsConfig>::kWireLength == kConfigBytes);
static_assert(RecordOf<dsConfEvents>::kWireLength == kConfEventBytes);

struct Entry
{
    std::int32_t status = 0;
    CRecordMeta meta;
};

constexpr std::size_t kSlots = 14; // by data-set value

} // namespace

class ReadOut::Data : public QSharedData
{
public:
    Data()
    {
        for (const DataSetInfo &set : DataSets())
            sets[static_cast<std::size_t>(set.id)].resize(set.records);
    }
    const Entry *at(int dataSet, unsigned index) const
    {
        if (dataSet < 0 || static_cast<std::size_t>(dataSet) >= kSlots)
            return nullptr;
        const std::vector<Entry> &records = sets[static_cast<std::size_t>(dataSet)];
        return index < records.size() ? &records[index] : nullptr;
    }
    Entry *at(int dataSet, unsigned index) { return const_cast<Entry *>(std::as_const(*this).at(dataSet, index)); }
    // The record to change, detached from other copies first; nullptr outside its set, and then
    // nothing is detached.
    static Entry *change(QSharedDataPointer<Data> &d, int dataSet, unsigned index)
    {
        return d.constData()->at(dataSet, index) ? d->at(dataSet, index) : nullptr;
    }

    std::array<std::vector<Entry>, kSlots> sets;
};

ReadOut::ReadOut() : d(new Data) {}
ReadOut::ReadOut(const ReadOut &other) = default;
ReadOut::ReadOut(ReadOut &&other) noexcept = default;
ReadOut &ReadOut::operator=(const ReadOut &other) = default;
ReadOut &ReadOut::operator=(ReadOut &&other) noexcept = default;
ReadOut::~ReadOut() = default;

ReadOut ReadOut::FromRecords(const QList<RecordOutcome> &records)
{
    ReadOut out;
    for (const RecordOutcome &r : records)
        out.Apply(r);
    return out;
}

std::int32_t ReadOut::Status(int dataSet, unsigned index) const
{
    const Entry *e = d->at(dataSet, index);
    return e ? e->status : 0;
}

std::optional<int> ReadOut::FailedWith(int dataSet, unsigned index) const
{
    const std::int32_t status = Status(dataSet, index);
    switch (RecordStatus::StateOf(status)) {
    case RecordStatus::State::Failed:
    case RecordStatus::State::WriteFailed:
    case RecordStatus::State::KeyRefused: return RecordStatus::ResultOf(status);
    default: return std::nullopt;
    }
}

const CRecordMeta *ReadOut::Meta(int dataSet, unsigned index) const
{
    const Entry *e = d->at(dataSet, index);
    return e ? &e->meta : nullptr;
}

bool ReadOut::HoldsAnything() const
{
    for (const std::vector<Entry> &set : d->sets)
        for (const Entry &e : set)
            if (e.status != 0)
                return true;
    return false;
}

QList<RecordOutcome> ReadOut::Records() const
{
    QList<RecordOutcome> out;
    for (const DataSetInfo &set : DataSets()) {
        for (unsigned i = 0; i < set.records; ++i) {
            const Entry *entry = d->at(set.id, i);
            if (!entry)
                continue; // the table and the value agree; the optimiser cannot see it
            const Entry &e = *entry;
            if (e.status == 0 && e.meta.raw.isEmpty() && e.meta.chunkStatus.isEmpty())
                continue;
            RecordOutcome o;
            o.dataSet = set.id;
            o.index = i;
            o.status = e.status;
            o.bytes = e.meta.raw;
            o.chunkStatus = e.meta.chunkStatus;
            o.readAt = e.meta.readAt;
            o.received = e.meta.received;
            o.chunkReceived = e.meta.chunkReceived;
            out << o;
        }
    }
    return out;
}

void ReadOut::Decode(DataSetId dataSet, unsigned index, CDataField &record) const
{
    const Entry *e = d->at(dataSet, index);
    const DataSetInfo *info = FindDataSet(dataSet);
    if (!e || !info)
        return;
    // only bytes of the record's whole length were ever kept; anything else stays zeros
    if (static_cast<std::size_t>(e->meta.raw.size()) == info->recordBytes)
        record.Parse(reinterpret_cast<const std::uint8_t *>(e->meta.raw.constData()));
    record.m_nStatus = e->status;
}

std::unique_ptr<CDataField> ReadOut::Record(int dataSet, unsigned index) const
{
    if (!d->at(dataSet, index))
        return nullptr;
    const auto make = [&]<DataSetId Set>() -> std::unique_ptr<CDataField> {
        return std::make_unique<RecordOf<Set>>(Decoded<Set>(index));
    };
    switch (dataSet) {
    case dsKeyTable: return make.operator()<dsKeyTable>();
    case dsKeyLogs: return make.operator()<dsKeyLogs>();
    case dsDaily: return make.operator()<dsDaily>();
    case dsMonthly: return make.operator()<dsMonthly>();
    case dsQuarterly: return make.operator()<dsQuarterly>();
    case dsYearly: return make.operator()<dsYearly>();
    case dsDateLog: return make.operator()<dsDateLog>();
    case dsCounters: return make.operator()<dsCounters>();
    case dsDateTime: return make.operator()<dsDateTime>();
    case dsCurrentKey: return make.operator()<dsCurrentKey>();
    case dsConfig: return make.operator()<dsConfig>();
    case dsConfEvents: return make.operator()<dsConfEvents>();
    default: return nullptr;
    }
}

QString ReadOut::UnitType() const
{
    return HoldsUnitValue(dsConfig, 0) ? Decoded<dsConfig>(0).m_type.GetText() : QString();
}

QString ReadOut::UnitNumber() const
{
    return HoldsUnitValue(dsConfig, 0) ? Decoded<dsConfig>(0).m_mfgNo.GetText() : QString();
}

QDateTime ReadOut::ClockValue() const
{
    return ClockRead() ? UnitClockToDateTime(ClockBytesOf(Clock())) : QDateTime();
}

QDateTime ReadOut::ClockReadAt() const
{
    return Meta(dsDateTime, 0)->readAt;
}

bool ReadOut::Apply(const RecordOutcome &outcome)
{
    const DataSetInfo *info = FindDataSet(outcome.dataSet);
    Entry *entry = info ? Data::change(d, outcome.dataSet, outcome.index) : nullptr;
    if (!entry)
        return false;
    Entry &e = *entry;
    // A failed transaction leaves the record what it held; only a whole reply is decoded.
    if (static_cast<std::size_t>(outcome.bytes.size()) == info->recordBytes)
        e.meta.raw = outcome.bytes;
    e.status = outcome.status;
    e.meta.readAt = outcome.readAt;
    e.meta.received = outcome.received;
    if (info->shape == SetShape::Chunked) {
        e.meta.chunkStatus = outcome.chunkStatus;
        e.meta.chunkReceived = outcome.chunkReceived;
    }
    return true;
}

void ReadOut::SetStatus(int dataSet, unsigned index, std::int32_t status)
{
    if (Entry *e = Data::change(d, dataSet, index))
        e->status = status;
}

void ReadOut::SetHeld(int dataSet, unsigned index, const QByteArray &bytes)
{
    if (Entry *e = Data::change(d, dataSet, index))
        e->meta.raw = bytes;
}

void ReadOut::SetReadAt(int dataSet, unsigned index, const QDateTime &readAt)
{
    if (Entry *e = Data::change(d, dataSet, index))
        e->meta.readAt = readAt;
}

void ReadOut::Clear()
{
    d = new Data;
}

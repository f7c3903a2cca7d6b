#include "visit.h"

#include "datasettable.h"
#include "fields.h"
#include "quilofile.h"
#include "records.h"
#include "stringtable.h"
#include "readout.h"
#include "unitclock.h"
#include "version.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QFileInfo>
#include <QHash>
#include <QIODevice>
#include <QUuid>

#include <algorithm>
#include <cstring>
#include <array>
#include <vector>
#include <set>
#include <utility>

namespace Quilo {

namespace {

constexpr quint8 kSetFormat = 1;

// The unit's clock and how far it was from the PC's wall clock when it was read.
void clockOf(const ReadOut &readOut, Visit *visit)
{
    if (!readOut.ClockRead())
        return;
    const QDateTime clock = readOut.ClockValue();
    if (!clock.isValid()) {
        visit->unitClock = readOut.Clock().GetText();
        return;
    }
    visit->unitClock = clock.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    const QDateTime readAt = readOut.ClockReadAt();
    if (readAt.isValid()) {
        // Both as plain wall-clock readings: the unit keeps no zone.
        const QDateTime local = readAt.toLocalTime();
        const QDateTime pc = PlainDateTime(local.date(), local.time());
        visit->clockOffset = pc.secsTo(clock);
    }
}

// The unit's type and number into *visit; false when the read-out does not say which unit.
bool identify(const ReadOut &readOut, Visit *visit)
{
    ReadOutInfo identity = IdentityOf(readOut);
    // The configuration is marked read even when chunks of it failed; a field whose chunk did
    // not come reads as zeros. Without both the type and the number (its first two chunks)
    // which unit it was is not known for sure.
    if (const CRecordMeta *meta = readOut.Meta(dsConfig, 0)) {
        const QList<int> failed = meta->failedChunks();
        if (failed.contains(0) || failed.contains(1))
            identity = ReadOutInfo{};
    }
    if (identity.unitType.trimmed().isEmpty() && identity.unitNumber.trimmed().isEmpty())
        return false;
    visit->unitType = identity.unitType;
    visit->unitNumber = identity.unitNumber;
    return true;
}

} // namespace

Result<Visit> VisitFromDocument(const ReadOut &readOut, const QString &port, const QDateTime &takenAt)
{
    Visit v;
    if (!identify(readOut, &v))
        return Failed{LoadString(Str::HistNoIdentity)};
    v.uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    v.pcTime = takenAt.toUTC();
    v.source = QStringLiteral("read");
    v.port = port;
    v.program = LoadSourceString(Str::ProductName) + QLatin1Char(' ') + QLatin1String(QUILO_PROGRAM_VERSION);
    clockOf(readOut, &v);
    v.records = readOut.Records();
    return v;
}

Result<Visit> VisitFromFile(const QString &path)
{
    const Result<QByteArray> bytes = ReadFileBytes(path);
    if (!bytes)
        return bytes.failure();
    const Result<ReadOutFile> file = ParseReadOut(*bytes);
    if (!file)
        return file.failure();
    return VisitFromReadOut(*file, QFileInfo(path).fileName());
}

Result<Visit> VisitFromReadOut(const ReadOutFile &file, const QString &fileName)
{
    const ReadOut readOut = ReadOut::FromRecords(file.records);
    Visit v;
    if (!identify(readOut, &v))
        return Failed{LoadString(Str::HistNoIdentity)};
    // The same file imported twice, or by two PCs, is one visit.
    v.uuid = QUuid::fromRfc4122(Fingerprint(file.records)).toString(QUuid::WithoutBraces);
    v.pcTime = file.info.savedAt.isValid() ? file.info.savedAt.toUTC() : readOut.ClockReadAt();
    if (!v.pcTime.isValid()) {
        for (const RecordOutcome &r : file.records)
            if (r.readAt.isValid() && (!v.pcTime.isValid() || r.readAt > v.pcTime))
                v.pcTime = r.readAt.toUTC();
    }
    if (!v.pcTime.isValid())
        return Failed{LoadString(Str::HistNoTime)};
    v.source = QStringLiteral("import");
    v.port = fileName;
    v.program = file.info.program;
    clockOf(readOut, &v);
    v.records = file.records;
    return v;
}

namespace {

constexpr int kHashBytes = 20;
constexpr int kInlineBytes = 96;   // a set's records up to this size live in the manifest
constexpr int kInlineFlag = 0x80;

// The money logs keep their newest record apart: between two visits of the same month
// (quarter, year) only that record changes, and the rest is stored once.
bool newestApart(int set)
{
    return set == dsDaily || set == dsMonthly || set == dsQuarterly || set == dsYearly;
}

} // namespace

struct StoreFormCache
{
    // By the records' shared bytes: the manifest entry and, when not inline, the blob.
    QHash<QByteArray, std::pair<QByteArray, std::pair<QByteArray, QByteArray>>> parts;
};

std::unique_ptr<StoreFormCache, void (*)(StoreFormCache *)> NewStoreFormCache()
{
    return {new StoreFormCache, [](StoreFormCache *c) { delete c; }};
}

namespace {

using Part = std::vector<const RecordOutcome *>;

// The same bytes (shared, not copied) and the same status words: the same part.
QByteArray partKey(const Part &part)
{
    QByteArray key;
    key.reserve(static_cast<qsizetype>(part.size()) * 32);
    for (const RecordOutcome *p : part) {
        const RecordOutcome &r = *p;
        const quintptr data = reinterpret_cast<quintptr>(r.bytes.constData());
        const qint64 values[] = {static_cast<qint64>(data), r.bytes.size(), static_cast<qint64>(r.index) << 32 | static_cast<quint32>(r.status),
                                 static_cast<qint64>(r.dataSet)};
        key.append(reinterpret_cast<const char *>(values), sizeof values);
        for (std::int32_t c : r.chunkStatus)
            key.append(reinterpret_cast<const char *>(&c), sizeof c);
    }
    return key;
}

void putBigEndian(char *&at, quint32 value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        *at++ = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// The format QDataStream (Qt 6.4) reads back in DecodeSet, written straight into one buffer:
// the writer runs for every set of every visit of a generated history.
QByteArray encodePart(const Part &records)
{
    qsizetype size = 3;
    for (const RecordOutcome *r : records)
        size += 2 + 4 + 4 + (r->bytes.isNull() ? 0 : r->bytes.size()) + 2 + 4 * r->chunkStatus.size();
    QByteArray out(size, Qt::Uninitialized);
    char *at = out.data();
    putBigEndian(at, kSetFormat, 1);
    putBigEndian(at, static_cast<quint32>(records.size()), 2);
    for (const RecordOutcome *r : records) {
        putBigEndian(at, r->index, 2);
        putBigEndian(at, static_cast<quint32>(r->status), 4);
        if (r->bytes.isNull()) {
            putBigEndian(at, 0xFFFFFFFFu, 4); // QDataStream's null byte array
        } else {
            putBigEndian(at, static_cast<quint32>(r->bytes.size()), 4);
            std::memcpy(at, r->bytes.constData(), static_cast<std::size_t>(r->bytes.size()));
            at += r->bytes.size();
        }
        putBigEndian(at, static_cast<quint32>(r->chunkStatus.size()), 2);
        for (std::int32_t c : r->chunkStatus)
            putBigEndian(at, static_cast<quint32>(c), 4);
    }
    return out;
}

} // namespace

StoredRecords StoreForm(const QList<RecordOutcome> &records, StoreFormCache *reuse)
{
    // One pass over the records: each set's newest record (money logs) and the rest, in order.
    std::array<std::pair<Part, Part>, 16> parts;
    for (const RecordOutcome &r : records) {
        const auto set = static_cast<std::size_t>(r.dataSet);
        if (set < parts.size())
            (newestApart(r.dataSet) && r.index == 0 ? parts[set].first : parts[set].second).push_back(&r);
    }
    StoredRecords out;
    for (const DataSetInfo &set : DataSets()) {
        auto &[newest, rest] = parts[static_cast<std::size_t>(set.id)];
        std::sort(rest.begin(), rest.end(), [](const RecordOutcome *a, const RecordOutcome *b) { return a->index < b->index; });
        for (const Part *part : {&newest, &rest}) {
            if (part->empty())
                continue;
            QByteArray key;
            if (reuse) {
                key = partKey(*part);
                const auto known = reuse->parts.constFind(key);
                if (known != reuse->parts.cend()) {
                    out.manifest += known->first;
                    if (!known->second.first.isEmpty())
                        out.blobs.append(known->second);
                    continue;
                }
            }
            const qsizetype before = out.manifest.size();
            const qsizetype blobsBefore = out.blobs.size();
            const QByteArray content = encodePart(*part);
            if (content.size() <= kInlineBytes) {
                out.manifest += static_cast<char>(set.id | kInlineFlag);
                out.manifest += static_cast<char>(content.size());
                out.manifest += content;
            } else {
                const QByteArray hash = QCryptographicHash::hash(content, QCryptographicHash::Sha256).left(kHashBytes);
                out.manifest += static_cast<char>(set.id);
                out.manifest += hash;
                out.blobs.append({hash, content});
            }
            if (reuse)
                reuse->parts.insert(key, {out.manifest.mid(before),
                                          out.blobs.size() > blobsBefore ? out.blobs.last() : std::pair<QByteArray, QByteArray>()});
        }
    }
    return out;
}

bool ReadManifest(const QByteArray &manifest, QList<ManifestEntry> *entries)
{
    qsizetype at = 0;
    while (at < manifest.size()) {
        ManifestEntry e;
        const int head = static_cast<quint8>(manifest.at(at++));
        e.dataSet = head & ~kInlineFlag;
        if (!FindDataSet(e.dataSet))
            return false;
        if (head & kInlineFlag) {
            if (at >= manifest.size())
                return false;
            const int size = static_cast<quint8>(manifest.at(at++));
            if (size > kInlineBytes || at + size > manifest.size())
                return false;
            e.content = manifest.mid(at, size);
            at += size;
        } else {
            if (at + kHashBytes > manifest.size())
                return false;
            e.hash = manifest.mid(at, kHashBytes);
            at += kHashBytes;
        }
        *entries << e;
    }
    return true;
}

QByteArray Fingerprint(const QList<RecordOutcome> &records)
{
    return ManifestFingerprint(StoreForm(records).manifest);
}

QByteArray ManifestFingerprint(const QByteArray &manifest)
{
    return QCryptographicHash::hash(manifest, QCryptographicHash::Sha256).left(16);
}

QByteArray EncodeSet(const QList<RecordOutcome> &records)
{
    Part part;
    part.reserve(static_cast<std::size_t>(records.size()));
    for (const RecordOutcome &r : records)
        part.push_back(&r);
    return encodePart(part);
}

bool DecodeSet(const QByteArray &bytes, int dataSet, QList<RecordOutcome> *records)
{
    const DataSetInfo *set = FindDataSet(dataSet);
    if (!set)
        return false;
    QDataStream s(bytes);
    s.setVersion(QDataStream::Qt_6_4);
    quint8 format = 0;
    quint16 count = 0;
    s >> format >> count;
    if (s.status() != QDataStream::Ok || format != kSetFormat || count > set->records)
        return false;
    std::set<unsigned> seen;
    QList<RecordOutcome> out;
    for (quint16 i = 0; i < count; ++i) {
        RecordOutcome r;
        quint16 index = 0;
        qint32 status = 0;
        quint16 chunks = 0;
        s >> index >> status >> r.bytes >> chunks;
        if (s.status() != QDataStream::Ok || index >= set->records || !seen.insert(index).second
            || chunks > set->chunks || (!r.bytes.isEmpty() && static_cast<std::size_t>(r.bytes.size()) != set->recordBytes))
            return false;
        for (quint16 c = 0; c < chunks; ++c) {
            qint32 chunk = 0;
            s >> chunk;
            r.chunkStatus << chunk;
        }
        r.dataSet = set->id;
        r.index = index;
        r.status = status;
        out << r;
    }
    if (s.status() != QDataStream::Ok || !s.atEnd())
        return false;
    *records = std::move(out);
    return true;
}

std::optional<CounterValues> CountersOf(const QList<RecordOutcome> &records)
{
    for (const RecordOutcome &r : records) {
        if (r.dataSet != dsCounters || RecordStatus::StateOf(r.status) != RecordStatus::State::Read
            || static_cast<std::size_t>(r.bytes.size()) != CCountersRecord::kWireLength)
            continue;
        CCountersRecord c;
        c.Parse(reinterpret_cast<const std::uint8_t *>(r.bytes.constData()));
        return CounterValues{c.m_cashIn.m_nValue, c.m_cashOut.m_nValue, c.m_stake.m_nValue, c.m_win.m_nValue,
                             c.m_games.m_nValue};
    }
    return std::nullopt;
}

} // namespace Quilo

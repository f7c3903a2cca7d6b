#include "historystore.h"

#include "datasettable.h"
#include "historysql.h"
#include "stringtable.h"

#include <QDataStream>
#include <QIODevice>
#include <QSqlQuery>

#include <zlib.h>

// The bytes the store keeps: data sets' records as compressed blobs, and whole visits packed
// for the outbox.

namespace Quilo {

namespace {

constexpr quint8 kVisitFormat = 1;

// The records of each data set, in the table's order, as the blobs they are stored in.
QList<std::pair<int, QList<RecordOutcome>>> bySet(const QList<RecordOutcome> &records)
{
    QList<std::pair<int, QList<RecordOutcome>>> sets;
    for (const DataSetInfo &set : DataSets()) {
        QList<RecordOutcome> list;
        for (const RecordOutcome &r : records)
            if (r.dataSet == set.id)
                list << r;
        if (!list.isEmpty())
            sets.append({set.id, list});
    }
    return sets;
}

} // namespace

// A blob compressed as qCompress() does (its length, then a zlib stream: qUncompress reads
// it), but with a window and memory fitted to blobs of a few KiB: zlib's defaults set up a
// quarter of a megabyte for every call, which costs more than compressing a small blob.
QByteArray CompressBlob(const QByteArray &data)
{
    z_stream z{};
    // The fastest level: a few KiB of amounts and dates gain next to nothing from more effort.
    if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, 12, 5, Z_DEFAULT_STRATEGY) != Z_OK)
        return qCompress(data);
    const uLong bound = deflateBound(&z, static_cast<uLong>(data.size()));
    QByteArray out(static_cast<qsizetype>(bound) + 4, Qt::Uninitialized);
    const auto size = static_cast<quint32>(data.size());
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<char>((size >> (8 * (3 - i))) & 0xFF);
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data() + 4);
    z.avail_out = static_cast<uInt>(bound);
    const int result = deflate(&z, Z_FINISH);
    const uLong written = z.total_out;
    deflateEnd(&z);
    if (result != Z_STREAM_END)
        return qCompress(data);
    out.truncate(static_cast<qsizetype>(written) + 4);
    return out;
}

Result<QList<RecordOutcome>> LoadManifestRecords(QSqlDatabase db, const QByteArray &manifest)
{
    QList<ManifestEntry> entries;
    if (!ReadManifest(manifest, &entries))
        return Failed{LoadString(Str::HistErrDamaged)};
    QList<RecordOutcome> records;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT data FROM blobs WHERE hash = ?"));
    for (const ManifestEntry &e : entries) {
        QByteArray content = e.content;
        if (!e.hash.isEmpty()) {
            q.bindValue(0, e.hash);
            if (Done found = RunQuery(q); !found)
                return found.failure();
            if (!q.next())
                return Failed{LoadString(Str::HistErrDamaged)};
            content = qUncompress(q.value(0).toByteArray());
        }
        QList<RecordOutcome> list;
        if (!DecodeSet(content, e.dataSet, &list))
            return Failed{LoadString(Str::HistErrDamaged)};
        records << list;
    }
    return records;
}

QByteArray PackVisit(const Visit &v)
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s.setVersion(QDataStream::Qt_6_4);
    s << kVisitFormat << v.uuid << v.unitType << v.unitNumber << v.pcTime.toMSecsSinceEpoch() << v.unitClock
      << v.clockOffset.has_value() << v.clockOffset.value_or(0) << v.source << v.port << v.program;
    const auto sets = bySet(v.records);
    s << static_cast<quint8>(sets.size());
    for (const auto &[set, records] : sets)
        s << static_cast<quint8>(set) << EncodeSet(records);
    return qCompress(out);
}

bool UnpackVisit(const QByteArray &bytes, Visit *visit)
{
    const QByteArray raw = qUncompress(bytes);
    QDataStream s(raw);
    s.setVersion(QDataStream::Qt_6_4);
    quint8 format = 0;
    Visit v;
    qint64 pcTime = 0;
    bool hasOffset = false;
    qint64 offset = 0;
    quint8 sets = 0;
    s >> format >> v.uuid >> v.unitType >> v.unitNumber >> pcTime >> v.unitClock >> hasOffset >> offset >> v.source
        >> v.port >> v.program >> sets;
    if (s.status() != QDataStream::Ok || format != kVisitFormat)
        return false;
    v.pcTime = QDateTime::fromMSecsSinceEpoch(pcTime, Qt::UTC);
    if (hasOffset)
        v.clockOffset = offset;
    for (quint8 i = 0; i < sets; ++i) {
        quint8 set = 0;
        QByteArray content;
        s >> set >> content;
        QList<RecordOutcome> records;
        if (s.status() != QDataStream::Ok || !DecodeSet(content, set, &records))
            return false;
        for (RecordOutcome &r : records)
            r.readAt = v.pcTime;
        v.records << records;
    }
    if (!s.atEnd())
        return false;
    *visit = std::move(v);
    return true;
}

} // namespace Quilo

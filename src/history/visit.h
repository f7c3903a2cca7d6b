#pragma once
// A visit: one whole-unit read-out (or an imported .quilo file) of one unit, as the history
// keeps it. Its records are kept as a read gives them, status words and reply bytes, so a
// visit shown or compared later is decoded by the same code as a live read. The id is made
// when the visit is taken, so that sending it again (after a server was away) never records it
// twice.

#include "engine.h"
#include "result.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <memory>
#include <optional>
#include <utility>

namespace Quilo {

class ReadOut;
struct ReadOutFile;

struct Visit
{
    QString uuid;             // made when the visit is taken; an imported file's is its content's
    QString unitType;         // from the configuration
    QString unitNumber;       // manufacturing number
    QDateTime pcTime;         // when the read-out ended, UTC
    QString unitClock;        // the unit's clock as read, "yyyy-MM-dd HH:mm"; empty when not read
    std::optional<qint64> clockOffset; // unit's clock minus the PC's wall clock, seconds
    QString source;           // "read" or "import"
    QString port;             // the port, or the imported file's name
    QString program;
    QList<RecordOutcome> records;
};

// The visit a read-out holds (the document's, after a whole-unit read), taken at `takenAt`.
// A failure when the configuration was not read: without the unit's identity a visit cannot
// be filed.
Result<Visit> VisitFromDocument(const ReadOut &readOut, const QString &port, const QDateTime &takenAt);
// The same for a file: its id comes from its records, so importing it again records nothing new.
Result<Visit> VisitFromReadOut(const ReadOutFile &file, const QString &fileName);
// The same from the file at `path`: read, checked and parsed as Open does.
Result<Visit> VisitFromFile(const QString &path);

// How the store keeps a visit's records. Per data set (the money logs' newest record apart,
// as it alone changes within a period) the manifest holds either the hash of the set's
// records, stored once in the blobs whoever refers to them, or, for a set of a few bytes that
// changes with every visit (counters, clock), the records themselves.
struct StoredRecords
{
    QByteArray manifest;
    QList<std::pair<QByteArray, QByteArray>> blobs; // hash, content (not compressed)
};
// `reuse` (optional) remembers the form of record lists whose bytes are shared with lists seen
// before: many visits written at once (generated or imported) that hold the same configuration
// encode and hash it once. Valid only while those records live.
struct StoreFormCache;
StoredRecords StoreForm(const QList<RecordOutcome> &records, StoreFormCache *reuse = nullptr);
std::unique_ptr<StoreFormCache, void (*)(StoreFormCache *)> NewStoreFormCache();
// The manifest's entries: a data set with its blob's hash, or with its content.
struct ManifestEntry
{
    int dataSet = 0;
    QByteArray hash;    // empty when the content is inline
    QByteArray content;
};
bool ReadManifest(const QByteArray &manifest, QList<ManifestEntry> *entries);

// What the records hold, whatever the time each was read: a read-out kept live and the same
// read-out imported from its saved file have one fingerprint, and are one visit.
QByteArray Fingerprint(const QList<RecordOutcome> &records);
QByteArray ManifestFingerprint(const QByteArray &manifest); // the same from StoreForm's manifest

// One data set's records as the store keeps them (a compact binary form; the time of each
// record is not kept, so that a set that did not change is stored once), and back. Decoding
// checks everything: a damaged blob gives false, never a record out of range.
QByteArray EncodeSet(const QList<RecordOutcome> &records);
bool DecodeSet(const QByteArray &bytes, int dataSet, QList<RecordOutcome> *records);

// Counters of the visit, for the store's columns; empty when the counters were not read.
struct CounterValues
{
    quint32 cashIn = 0, cashOut = 0, stake = 0, win = 0, games = 0;
};
std::optional<CounterValues> CountersOf(const QList<RecordOutcome> &records);

} // namespace Quilo

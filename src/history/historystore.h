#pragma once
// The visit history in an SQL database: the same schema and code on an SQLite file and on a
// PostgreSQL server (Qt SQL's QSQLITE and QPSQL drivers). The schema is versioned: the steps
// in historyschema.cpp bring any older store up to date on first use, each in one transaction,
// so two programs opening a store at once do not both migrate it.
//
// What does not change between visits is stored once: each visit keeps, per data set, the hash
// of the set's records; the records themselves (compressed) live once per content in `blobs`.
// A unit's configuration, its 20 events and its keys therefore cost nothing after its first
// visit. Counters are also kept as columns, for queries and charts.
//
// A store belongs to the thread that opened it (Qt SQL connections are per thread).

#include "historylocation.h"
#include "result.h"
#include "visit.h"

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <optional>

namespace Quilo {

struct UnitEntry
{
    qint64 id = 0;
    QString type;
    QString number;
    int visits = 0;
    QDateTime lastVisit; // UTC
    // "TYPE/NUMBER", as the command line names a unit
    QString name() const { return type + QLatin1Char('/') + number; }
};

struct VisitEntry
{
    qint64 id = 0;
    QString uuid;
    qint64 unitId = 0;
    QString unitType;
    QString unitNumber;
    QDateTime pcTime;    // UTC
    QString unitClock;
    std::optional<qint64> clockOffset;
    QString source;
    QString port;
    std::optional<CounterValues> counters;
};

// A visit in the outbox and the history it is meant for.
struct QueuedVisit
{
    Visit visit;
    QString target;   // HistoryLocation::target; empty: queued before the outbox kept it
    QString reason;
};

struct StoredVisit
{
    VisitEntry entry;
    QList<RecordOutcome> records;
};

class CHistoryStore
{
public:
    static constexpr int kSchemaVersion = 4;

    explicit CHistoryStore(const HistoryLocation &location);
    ~CHistoryStore();
    CHistoryStore(const CHistoryStore &) = delete;
    CHistoryStore &operator=(const CHistoryStore &) = delete;

    // Connects and brings the schema up to date. A failure says why in words for people.
    Done Open();
    // Connects and applies the migration steps up to `version` only (tests of older stores).
    Done OpenAt(int version);
    bool IsOpen() const;
    const HistoryLocation &Location() const { return m_location; }
    int SchemaVersion();

    enum class Recorded { New, AlreadyThere };
    // Idempotent: a visit whose id (or whose records, for the same unit) the store holds
    // already is not recorded again.
    Result<Recorded> Record(const Visit &visit);
    // Many visits in one transaction, many rows to a statement (generated histories): a visit
    // whose id the store holds is left as it is.
    Done RecordAll(const QList<Visit> &visits);

    Result<QList<UnitEntry>> Units();
    // "TYPE/NUMBER", or the manufacturing number alone when only one unit has it.
    Result<UnitEntry> FindUnit(const QString &name);
    // Newest first.
    Result<QList<VisitEntry>> Visits(qint64 unitId);
    // The last visit of any unit (to compare by default).
    Result<VisitEntry> LatestVisit();
    // By number or by id (its first eight or more characters).
    Result<StoredVisit> LoadVisit(const QString &reference);
    Result<StoredVisit> LoadVisit(qint64 id);

    // The outbox: visits a server could not take yet, kept in the local store with the
    // history each is meant for. The same visit may wait for two histories.
    Done Queue(const Visit &visit, const HistoryLocation &meantFor, const QString &reason);
    Result<QList<QueuedVisit>> Queued();
    Result<QList<Visit>> QueuedVisits(); // all of them, whatever they wait for
    // `target` empty: the visit queued before its history was kept.
    Done Dequeue(const QString &uuid, const QString &target);

    // The last call failed because the store itself could not be read or is damaged, not
    // because what was asked for is not there.
    bool Faulted() const { return m_faulted; }

    // The store's size on disk in bytes (the file, or the server's database); -1 when unknown.
    qint64 BytesUsed();

    QSqlDatabase Database() const;

private:
    Done Connect();
    Done Migrate(int upTo);
    Result<Recorded> RecordOne(const Visit &visit);
    Done StoreBlob(const QByteArray &hash, const QByteArray &content);
    Result<StoredVisit> LoadRecords(const VisitEntry &entry);
    Result<QList<VisitEntry>> ReadVisits(const QString &where, const QVariantList &values, int limit = 0);
    // The store could not be read: marked as a fault of the store itself.
    Failed ReadFault(const QString &why);

    HistoryLocation m_location;
    QString m_connection;
    bool m_open = false;
    bool m_faulted = false;
};

// Serialises a visit for the outbox, and back; false for bytes that are not a visit.
QByteArray PackVisit(const Visit &visit);
bool UnpackVisit(const QByteArray &bytes, Visit *visit);

} // namespace Quilo

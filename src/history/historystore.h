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

    // Connects and brings the schema up to date. False with a message for people.
    bool Open(QString *error);
    // Connects and applies the migration steps up to `version` only (tests of older stores).
    bool OpenAt(int version, QString *error);
    bool IsOpen() const;
    const HistoryLocation &Location() const { return m_location; }
    int SchemaVersion();

    enum class Recorded { New, AlreadyThere, Failed };
    // Idempotent: a visit whose id (or whose records, for the same unit) the store holds
    // already is not recorded again.
    Recorded Record(const Visit &visit, QString *error);
    // Many visits in one transaction, many rows to a statement (generated histories): a visit
    // whose id the store holds is left as it is.
    bool RecordAll(const QList<Visit> &visits, QString *error);

    bool Units(QList<UnitEntry> *units, QString *error);
    // "TYPE/NUMBER", or the manufacturing number alone when only one unit has it.
    bool FindUnit(const QString &name, UnitEntry *unit, QString *error);
    // Newest first.
    bool Visits(qint64 unitId, QList<VisitEntry> *visits, QString *error);
    // The last visit of any unit (to compare by default).
    bool LatestVisit(VisitEntry *visit, QString *error);
    // By number or by id (its first eight or more characters).
    bool LoadVisit(const QString &reference, StoredVisit *visit, QString *error);
    bool LoadVisit(qint64 id, StoredVisit *visit, QString *error);

    // The outbox: visits a server could not take yet, kept in the local store with the
    // history each is meant for. The same visit may wait for two histories.
    bool Queue(const Visit &visit, const HistoryLocation &meantFor, const QString &reason, QString *error);
    bool Queued(QList<QueuedVisit> *visits, QString *error);
    bool Queued(QList<Visit> *visits, QString *error); // all of them, whatever they wait for
    // `target` empty: the visit queued before its history was kept.
    bool Dequeue(const QString &uuid, const QString &target, QString *error);

    // The last call failed because the store itself could not be read or is damaged, not
    // because what was asked for is not there.
    bool Faulted() const { return m_faulted; }

    // The store's size on disk in bytes (the file, or the server's database); -1 when unknown.
    qint64 BytesUsed();

    QSqlDatabase Database() const;

private:
    bool Connect(QString *error);
    bool Migrate(int upTo, QString *error);
    Recorded RecordOne(const Visit &visit, QString *error);
    bool StoreBlob(const QByteArray &hash, const QByteArray &content, QString *error);
    bool LoadRecords(const VisitEntry &entry, StoredVisit *visit, QString *error);
    bool ReadVisits(const QString &where, const QVariantList &values, QList<VisitEntry> *visits, QString *error,
                    int limit = 0);

    HistoryLocation m_location;
    QString m_connection;
    bool m_open = false;
    bool m_faulted = false;
};

// Serialises a visit for the outbox, and back; false for bytes that are not a visit.
QByteArray PackVisit(const Visit &visit);
bool UnpackVisit(const QByteArray &bytes, Visit *visit);

} // namespace Quilo

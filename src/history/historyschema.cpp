#include "historystore.h"

#include "historysql.h"
#include "stringtable.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

#include <functional>

// Connecting to a store and bringing its schema up to date.

namespace Quilo {

namespace {

using Kind = HistoryLocation::Kind;

// One step of the schema: statements (with %ID% and %BLOB% written per database) and, when
// the step must fill new columns from what the store already holds, a function.
struct Migration
{
    int version;
    QStringList statements;
    std::function<Done(CHistoryStore &)> fill;
};

Done fillCounters(CHistoryStore &store);

// Every step, oldest first. Never change a step once released: add one.
const QList<Migration> &migrations()
{
    static const QList<Migration> steps{
        {1,
         {QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL)"),
          QStringLiteral("INSERT INTO schema_version (version) VALUES (0)"),
          QStringLiteral("CREATE TABLE units (id %ID%, unit_type TEXT NOT NULL, unit_number TEXT NOT NULL, "
                         "UNIQUE (unit_type, unit_number))"),
          QStringLiteral("CREATE TABLE blobs (hash %BLOB% PRIMARY KEY, data %BLOB% NOT NULL)"),
          QStringLiteral("CREATE TABLE visits (id %ID%, uuid TEXT NOT NULL UNIQUE, "
                         "unit_id BIGINT NOT NULL REFERENCES units (id), fingerprint %BLOB% NOT NULL, "
                         "pc_time BIGINT NOT NULL, unit_clock TEXT, clock_offset BIGINT, source TEXT NOT NULL, "
                         "port TEXT, program TEXT, manifest %BLOB% NOT NULL)"),
          QStringLiteral("CREATE INDEX visits_by_unit ON visits (unit_id, pc_time)"),
          QStringLiteral("CREATE TABLE outbox (uuid TEXT PRIMARY KEY, queued BIGINT NOT NULL, reason TEXT, "
                         "visit %BLOB% NOT NULL)")},
         {}},
        // The counters as columns, for the charts and for queries over many visits; filled
        // from the records already stored. Finding a visit by its records gets an index.
        {2,
         {QStringLiteral("ALTER TABLE visits ADD COLUMN cash_in BIGINT"),
          QStringLiteral("ALTER TABLE visits ADD COLUMN cash_out BIGINT"),
          QStringLiteral("ALTER TABLE visits ADD COLUMN stake BIGINT"),
          QStringLiteral("ALTER TABLE visits ADD COLUMN win BIGINT"),
          QStringLiteral("ALTER TABLE visits ADD COLUMN games BIGINT"),
          QStringLiteral("CREATE INDEX visits_by_fingerprint ON visits (unit_id, fingerprint)")},
         &fillCounters},
        // Each queued visit keeps the history it is meant for, and one visit may wait for two
        // of them. Rows queued before have no target (they are sent only where the user says)
        // and lose their reason, which could quote a URL with its password.
        {3,
         {QStringLiteral("CREATE TABLE outbox_by_target (uuid TEXT NOT NULL, target TEXT, queued BIGINT NOT NULL, "
                         "reason TEXT, visit %BLOB% NOT NULL)"),
          QStringLiteral("INSERT INTO outbox_by_target (uuid, target, queued, reason, visit) "
                         "SELECT uuid, NULL, queued, NULL, visit FROM outbox"),
          QStringLiteral("DROP TABLE outbox"),
          QStringLiteral("ALTER TABLE outbox_by_target RENAME TO outbox"),
          QStringLiteral("CREATE UNIQUE INDEX outbox_visit_target ON outbox (uuid, target)")},
         {}},
        // The office site's accounts: a name and a salted, slow hash of the password, never
        // the password itself.
        {4,
         {QStringLiteral("CREATE TABLE accounts (name TEXT PRIMARY KEY, password_hash TEXT NOT NULL, "
                         "created BIGINT NOT NULL)")},
         {}},
    };
    return steps;
}

QString dialect(QString sql, Kind kind)
{
    const bool pg = kind == Kind::PostgreSQL;
    sql.replace(QStringLiteral("%ID%"), pg ? QStringLiteral("BIGSERIAL PRIMARY KEY") : QStringLiteral("INTEGER PRIMARY KEY"));
    sql.replace(QStringLiteral("%BLOB%"), pg ? QStringLiteral("BYTEA") : QStringLiteral("BLOB"));
    return sql;
}

Done fillCounters(CHistoryStore &store)
{
    QSqlDatabase db = store.Database();
    QSqlQuery all(db);
    all.setForwardOnly(true);
    if (!all.exec(QStringLiteral("SELECT id, manifest FROM visits")))
        return Failed{SqlErrorText(all.lastError())};
    QList<std::pair<qint64, QByteArray>> visits;
    while (all.next())
        visits.append({all.value(0).toLongLong(), all.value(1).toByteArray()});
    QSqlQuery update(db);
    update.prepare(QStringLiteral("UPDATE visits SET cash_in = ?, cash_out = ?, stake = ?, win = ?, games = ? WHERE id = ?"));
    for (const auto &[id, manifest] : visits) {
        const Result<QList<RecordOutcome>> records = LoadManifestRecords(db, manifest);
        if (!records)
            return records.failure();
        const std::optional<CounterValues> c = CountersOf(*records);
        if (!c)
            continue;
        int i = 0;
        for (quint32 v : {c->cashIn, c->cashOut, c->stake, c->win, c->games})
            update.bindValue(i++, static_cast<qint64>(v));
        update.bindValue(i, id);
        if (Done updated = RunQuery(update); !updated)
            return updated;
    }
    return {};
}

QString newConnectionName()
{
    static QAtomicInteger<quint64> serial;
    return QStringLiteral("quilo-history-%1").arg(serial.fetchAndAddRelaxed(1));
}

} // namespace

CHistoryStore::CHistoryStore(const HistoryLocation &location) : m_location(location), m_connection(newConnectionName()) {}

CHistoryStore::~CHistoryStore()
{
    if (QSqlDatabase::contains(m_connection)) {
        {
            QSqlDatabase db = QSqlDatabase::database(m_connection, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_connection);
    }
}

QSqlDatabase CHistoryStore::Database() const
{
    return QSqlDatabase::database(m_connection, false);
}

bool CHistoryStore::IsOpen() const
{
    return m_open;
}

Done CHistoryStore::Connect()
{
    if (!m_location.valid())
        return Failed{m_location.error};
    const bool pg = m_location.kind == Kind::PostgreSQL;
    const QString driver = pg ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
    if (!QSqlDatabase::isDriverAvailable(driver))
        return Failed{LoadString(Str::HistErrDriver).arg(driver)};
    QSqlDatabase db = QSqlDatabase::contains(m_connection) ? QSqlDatabase::database(m_connection, false)
                                                            : QSqlDatabase::addDatabase(driver, m_connection);
    if (pg) {
        db.setHostName(m_location.host);
        db.setPort(m_location.port);
        db.setDatabaseName(m_location.database);
        db.setUserName(m_location.user);
        db.setPassword(m_location.password);
        db.setConnectOptions(m_location.options);
    } else {
        const QFileInfo file(m_location.path);
        if (!QDir().mkpath(file.absolutePath()))
            return Failed{LoadString(Str::HistErrOpen).arg(m_location.shown, LoadString(Str::HistErrFolder).arg(file.absolutePath()))};
        db.setDatabaseName(m_location.path);
        // Two programs recording at once wait for each other instead of failing.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=30000"));
    }
    if (!db.open())
        return Failed{LoadString(Str::HistErrOpen).arg(m_location.shown, SqlErrorText(db.lastError()))};
    if (!pg) {
        // Tuning only: a store that refuses them still works.
        (void)RunSql(db, QStringLiteral("PRAGMA journal_mode=WAL"));
        (void)RunSql(db, QStringLiteral("PRAGMA synchronous=NORMAL"));
        // A history of many units is a large file: its indexes want more than the default
        // 2 MiB of cache.
        (void)RunSql(db, QStringLiteral("PRAGMA cache_size=-32768"));
    }
    return {};
}

Done CHistoryStore::Open()
{
    return OpenAt(kSchemaVersion);
}

Done CHistoryStore::OpenAt(int version)
{
    m_open = false;
    if (Done connected = Connect(); !connected)
        return Failed{WithoutPassword(connected.error(), m_location)}; // a driver's message may quote the options
    if (Done migrated = Migrate(version); !migrated)
        return Failed{WithoutPassword(LoadString(Str::HistErrSchema).arg(m_location.shown, migrated.error()), m_location)};
    m_open = true;
    return {};
}

int CHistoryStore::SchemaVersion()
{
    QSqlDatabase db = Database();
    if (!db.tables().contains(QStringLiteral("schema_version")))
        return 0;
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT version FROM schema_version")) || !q.next())
        return -1;
    return q.value(0).toInt();
}

Done CHistoryStore::Migrate(int upTo)
{
    // Done already (every open but the first): no write lock, so readers never wait on each other.
    if (const int seen = SchemaVersion(); seen >= upTo && seen <= kSchemaVersion)
        return {};
    QSqlDatabase db = Database();
    HistoryTransaction transaction(db, m_location.kind);
    if (Done begun = transaction.Begin(); !begun)
        return begun;
    // One program migrates; another waits here and then finds the work done.
    if (m_location.kind == Kind::PostgreSQL)
        if (Done locked = RunSql(db, QStringLiteral("SELECT pg_advisory_xact_lock(715100014)")); !locked)
            return locked;
    const int current = SchemaVersion();
    if (current < 0)
        return Failed{LoadString(Str::HistErrNoVersion)};
    if (current > kSchemaVersion)
        return Failed{LoadString(Str::HistErrNewer).arg(current).arg(kSchemaVersion)};
    for (const Migration &m : migrations()) {
        if (m.version <= current || m.version > upTo)
            continue;
        for (const QString &sql : m.statements)
            if (Done done = RunSql(db, dialect(sql, m_location.kind)); !done)
                return done;
        if (m.fill)
            if (Done filled = m.fill(*this); !filled)
                return filled;
        QSqlQuery q(db);
        q.prepare(QStringLiteral("UPDATE schema_version SET version = ?"));
        q.bindValue(0, m.version);
        if (Done stepped = RunQuery(q); !stepped)
            return stepped;
    }
    return transaction.Commit();
}

} // namespace Quilo

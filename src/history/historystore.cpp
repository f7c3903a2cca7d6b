#include "historystore.h"

#include "datasettable.h"
#include "stringtable.h"

#include <QAtomicInteger>
#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QIODevice>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>
#include <QUuid>

#include <functional>

#include <zlib.h>

namespace Quilo {

namespace {

constexpr quint8 kVisitFormat = 1;

using Kind = HistoryLocation::Kind;

// One step of the schema: statements (with %ID% and %BLOB% written per database) and, when
// the step must fill new columns from what the store already holds, a function.
struct Migration
{
    int version;
    QStringList statements;
    std::function<bool(CHistoryStore &, QString *)> fill;
};

bool fillCounters(CHistoryStore &store, QString *error);

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

QString sqlError(const QSqlError &e)
{
    QString text = e.text().trimmed();
    return text.isEmpty() ? QStringLiteral("unknown database error") : text;
}

bool run(QSqlQuery &q, QString *error)
{
    if (q.exec())
        return true;
    if (error)
        *error = sqlError(q.lastError());
    return false;
}

bool run(QSqlDatabase db, const QString &sql, QString *error)
{
    QSqlQuery q(db);
    if (q.exec(sql))
        return true;
    if (error)
        *error = sqlError(q.lastError());
    return false;
}

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

// A blob compressed as qCompress() does (its length, then a zlib stream: qUncompress reads
// it), but with a window and memory fitted to blobs of a few KiB: zlib's defaults set up a
// quarter of a megabyte for every call, which costs more than compressing a small blob.
QByteArray compress(const QByteArray &data)
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

QVariant optional(const std::optional<qint64> &v)
{
    return v ? QVariant(*v) : QVariant(QMetaType(QMetaType::LongLong));
}

VisitEntry entryFrom(const QSqlQuery &q)
{
    VisitEntry e;
    e.id = q.value(0).toLongLong();
    e.uuid = q.value(1).toString();
    e.unitId = q.value(2).toLongLong();
    e.pcTime = QDateTime::fromMSecsSinceEpoch(q.value(3).toLongLong(), Qt::UTC);
    e.unitClock = q.value(4).toString();
    if (!q.value(5).isNull())
        e.clockOffset = q.value(5).toLongLong();
    e.source = q.value(6).toString();
    e.port = q.value(7).toString();
    if (!q.value(8).isNull())
        e.counters = CounterValues{static_cast<quint32>(q.value(8).toLongLong()), static_cast<quint32>(q.value(9).toLongLong()),
                                   static_cast<quint32>(q.value(10).toLongLong()), static_cast<quint32>(q.value(11).toLongLong()),
                                   static_cast<quint32>(q.value(12).toLongLong())};
    e.unitType = q.value(13).toString();
    e.unitNumber = q.value(14).toString();
    return e;
}

const QString kVisitColumns = QStringLiteral(
    "v.id, v.uuid, v.unit_id, v.pc_time, v.unit_clock, v.clock_offset, v.source, v.port, v.cash_in, v.cash_out, "
    "v.stake, v.win, v.games, u.unit_type, u.unit_number FROM visits v JOIN units u ON u.id = v.unit_id");

bool loadRecords(QSqlDatabase db, const QByteArray &manifest, QList<RecordOutcome> *records, QString *error)
{
    QList<ManifestEntry> entries;
    if (!ReadManifest(manifest, &entries)) {
        *error = LoadString(Str::HistErrDamaged);
        return false;
    }
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT data FROM blobs WHERE hash = ?"));
    for (const ManifestEntry &e : entries) {
        QByteArray content = e.content;
        if (!e.hash.isEmpty()) {
            q.bindValue(0, e.hash);
            if (!run(q, error))
                return false;
            if (!q.next()) {
                *error = LoadString(Str::HistErrDamaged);
                return false;
            }
            content = qUncompress(q.value(0).toByteArray());
        }
        QList<RecordOutcome> list;
        if (!DecodeSet(content, e.dataSet, &list)) {
            *error = LoadString(Str::HistErrDamaged);
            return false;
        }
        *records << list;
    }
    return true;
}

bool fillCounters(CHistoryStore &store, QString *error)
{
    QSqlDatabase db = store.Database();
    QSqlQuery all(db);
    all.setForwardOnly(true);
    if (!all.exec(QStringLiteral("SELECT id, manifest FROM visits"))) {
        *error = sqlError(all.lastError());
        return false;
    }
    QList<std::pair<qint64, QByteArray>> visits;
    while (all.next())
        visits.append({all.value(0).toLongLong(), all.value(1).toByteArray()});
    QSqlQuery update(db);
    update.prepare(QStringLiteral("UPDATE visits SET cash_in = ?, cash_out = ?, stake = ?, win = ?, games = ? WHERE id = ?"));
    for (const auto &[id, manifest] : visits) {
        QList<RecordOutcome> records;
        if (!loadRecords(db, manifest, &records, error))
            return false;
        const std::optional<CounterValues> c = CountersOf(records);
        if (!c)
            continue;
        int i = 0;
        for (quint32 v : {c->cashIn, c->cashOut, c->stake, c->win, c->games})
            update.bindValue(i++, static_cast<qint64>(v));
        update.bindValue(i, id);
        if (!run(update, error))
            return false;
    }
    return true;
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

bool CHistoryStore::Connect(QString *error)
{
    if (!m_location.valid()) {
        *error = m_location.error;
        return false;
    }
    const bool pg = m_location.kind == Kind::PostgreSQL;
    const QString driver = pg ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
    if (!QSqlDatabase::isDriverAvailable(driver)) {
        *error = LoadString(Str::HistErrDriver).arg(driver);
        return false;
    }
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
        if (!QDir().mkpath(file.absolutePath())) {
            *error = LoadString(Str::HistErrOpen).arg(m_location.shown, LoadString(Str::HistErrFolder).arg(file.absolutePath()));
            return false;
        }
        db.setDatabaseName(m_location.path);
        // Two programs recording at once wait for each other instead of failing.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=30000"));
    }
    if (!db.open()) {
        *error = LoadString(Str::HistErrOpen).arg(m_location.shown, sqlError(db.lastError()));
        return false;
    }
    if (!pg) {
        QString ignored;
        run(db, QStringLiteral("PRAGMA journal_mode=WAL"), &ignored);
        run(db, QStringLiteral("PRAGMA synchronous=NORMAL"), &ignored);
        // A history of many units is a large file: its indexes want more than the default
        // 2 MiB of cache.
        run(db, QStringLiteral("PRAGMA cache_size=-32768"), &ignored);
    }
    return true;
}

bool CHistoryStore::Open(QString *error)
{
    return OpenAt(kSchemaVersion, error);
}

bool CHistoryStore::OpenAt(int version, QString *error)
{
    m_open = false;
    if (!Connect(error)) {
        *error = WithoutPassword(*error, m_location); // a driver's message may quote the options
        return false;
    }
    QString why;
    if (!Migrate(version, &why)) {
        *error = WithoutPassword(LoadString(Str::HistErrSchema).arg(m_location.shown, why), m_location);
        return false;
    }
    m_open = true;
    return true;
}

bool CHistoryStore::Begin(QString *error)
{
    QSqlDatabase db = Database();
    if (m_location.kind == Kind::SQLite)
        // Take the write lock at once: two writers that both start by reading would otherwise
        // deadlock when both want to write.
        return run(db, QStringLiteral("BEGIN IMMEDIATE"), error);
    return run(db, QStringLiteral("BEGIN"), error);
}

bool CHistoryStore::Commit(QString *error)
{
    return run(Database(), QStringLiteral("COMMIT"), error);
}

void CHistoryStore::Rollback()
{
    QString ignored;
    run(Database(), QStringLiteral("ROLLBACK"), &ignored);
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

bool CHistoryStore::Migrate(int upTo, QString *error)
{
    // Done already (every open but the first): no write lock, so readers never wait on each other.
    if (const int seen = SchemaVersion(); seen >= upTo && seen <= kSchemaVersion)
        return true;
    if (!Begin(error))
        return false;
    QSqlDatabase db = Database();
    // One program migrates; another waits here and then finds the work done.
    if (m_location.kind == Kind::PostgreSQL && !run(db, QStringLiteral("SELECT pg_advisory_xact_lock(715100014)"), error)) {
        Rollback();
        return false;
    }
    const int current = SchemaVersion();
    if (current < 0) {
        Rollback();
        *error = LoadString(Str::HistErrNoVersion);
        return false;
    }
    if (current > kSchemaVersion) {
        Rollback();
        *error = LoadString(Str::HistErrNewer).arg(current).arg(kSchemaVersion);
        return false;
    }
    for (const Migration &m : migrations()) {
        if (m.version <= current || m.version > upTo)
            continue;
        for (const QString &sql : m.statements)
            if (!run(db, dialect(sql, m_location.kind), error)) {
                Rollback();
                return false;
            }
        if (m.fill && !m.fill(*this, error)) {
            Rollback();
            return false;
        }
        QSqlQuery q(db);
        q.prepare(QStringLiteral("UPDATE schema_version SET version = ?"));
        q.bindValue(0, m.version);
        if (!run(q, error)) {
            Rollback();
            return false;
        }
    }
    if (!Commit(error)) {
        Rollback();
        return false;
    }
    return true;
}

bool CHistoryStore::StoreBlob(const QByteArray &hash, const QByteArray &content, QString *error)
{
    QSqlDatabase db = Database();
    QSqlQuery have(db);
    have.prepare(QStringLiteral("SELECT 1 FROM blobs WHERE hash = ?"));
    have.bindValue(0, hash);
    if (!run(have, error))
        return false;
    if (have.next())
        return true; // the same records, stored by an earlier visit
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO blobs (hash, data) VALUES (?, ?) ON CONFLICT DO NOTHING"));
    insert.bindValue(0, hash);
    insert.bindValue(1, compress(content));
    return run(insert, error);
}

namespace {

const QString kVisitInsert = QStringLiteral(
    "INSERT INTO visits (uuid, unit_id, fingerprint, pc_time, unit_clock, clock_offset, source, port, program, "
    "manifest, cash_in, cash_out, stake, win, games) VALUES ");
constexpr int kVisitInsertColumns = 15;

// The unit's row, made when it is new. False with *error empty when the row is not there after all.
bool unitIdOf(QSqlDatabase db, const QString &type, const QString &number, qint64 *id, QString *error)
{
    QSqlQuery unit(db);
    unit.prepare(QStringLiteral("INSERT INTO units (unit_type, unit_number) VALUES (?, ?) ON CONFLICT DO NOTHING"));
    unit.bindValue(0, type);
    unit.bindValue(1, number);
    if (!run(unit, error))
        return false;
    unit.prepare(QStringLiteral("SELECT id FROM units WHERE unit_type = ? AND unit_number = ?"));
    unit.bindValue(0, type);
    unit.bindValue(1, number);
    if (!run(unit, error) || !unit.next())
        return false;
    *id = unit.value(0).toLongLong();
    return true;
}

// The values of a visit's row, in kVisitInsert's order; the fingerprint is the third.
QVariantList visitRow(const Visit &v, qint64 unitId, const QByteArray &manifest)
{
    const std::optional<CounterValues> c = CountersOf(v.records);
    const auto counter = [&](quint32 CounterValues::*member) {
        return c ? QVariant(static_cast<qint64>((*c).*member)) : QVariant(QMetaType(QMetaType::LongLong));
    };
    return {v.uuid, unitId, ManifestFingerprint(manifest), v.pcTime.toMSecsSinceEpoch(), v.unitClock,
            optional(v.clockOffset), v.source, v.port, v.program, manifest,
            counter(&CounterValues::cashIn), counter(&CounterValues::cashOut),
            counter(&CounterValues::stake), counter(&CounterValues::win),
            counter(&CounterValues::games)};
}

} // namespace

CHistoryStore::Recorded CHistoryStore::RecordOne(const Visit &visit, QString *error)
{
    QSqlDatabase db = Database();
    qint64 unitId = 0;
    if (!unitIdOf(db, visit.unitType, visit.unitNumber, &unitId, error)) {
        if (error->isEmpty())
            *error = LoadString(Str::HistErrDamaged);
        return Recorded::Failed;
    }

    const StoredRecords stored = StoreForm(visit.records);
    const QVariantList values = visitRow(visit, unitId, stored.manifest);
    QSqlQuery known(db);
    known.prepare(QStringLiteral("SELECT 1 FROM visits WHERE uuid = ? OR (unit_id = ? AND fingerprint = ?)"));
    known.bindValue(0, visit.uuid);
    known.bindValue(1, unitId);
    known.bindValue(2, values.at(2));
    if (!run(known, error))
        return Recorded::Failed;
    if (known.next())
        return Recorded::AlreadyThere;

    for (const auto &[hash, content] : stored.blobs)
        if (!StoreBlob(hash, content, error))
            return Recorded::Failed;
    QSqlQuery insert(db);
    insert.prepare(kVisitInsert + QLatin1Char('(') + QStringList(kVisitInsertColumns, QStringLiteral("?")).join(QStringLiteral(", "))
                   + QStringLiteral(") ON CONFLICT DO NOTHING"));
    for (int i = 0; i < values.size(); ++i)
        insert.bindValue(i, values.at(i));
    if (!run(insert, error))
        return Recorded::Failed;
    return insert.numRowsAffected() == 0 ? Recorded::AlreadyThere : Recorded::New;
}

CHistoryStore::Recorded CHistoryStore::Record(const Visit &visit, QString *error)
{
    QString why;
    if (!m_open) {
        *error = LoadString(Str::HistErrNotOpen);
        return Recorded::Failed;
    }
    if (!Begin(&why)) {
        *error = LoadString(Str::HistErrWrite).arg(m_location.shown, why);
        return Recorded::Failed;
    }
    const Recorded r = RecordOne(visit, &why);
    if (r != Recorded::New) {
        Rollback();
        if (r == Recorded::Failed)
            *error = LoadString(Str::HistErrWrite).arg(m_location.shown, why);
        return r;
    }
    if (!Commit(&why)) {
        Rollback();
        *error = LoadString(Str::HistErrWrite).arg(m_location.shown, why);
        return Recorded::Failed;
    }
    return r;
}

bool CHistoryStore::RecordAll(const QList<Visit> &visits, QString *error)
{
    QString why;
    const auto fail = [&] {
        Rollback();
        *error = LoadString(Str::HistErrWrite).arg(m_location.shown, why);
        return false;
    };
    if (!m_open || !Begin(&why))
        return fail();
    QSqlDatabase db = Database();
    QHash<QString, qint64> unitIds;
    QHash<QByteArray, QByteArray> blobs; // hash -> content, new in this batch
    QList<QVariantList> rows;
    const auto reuse = NewStoreFormCache();
    for (const Visit &v : visits) {
        const QString key = v.unitType + QLatin1Char('\n') + v.unitNumber;
        if (!unitIds.contains(key)) {
            qint64 id = 0;
            if (!unitIdOf(db, v.unitType, v.unitNumber, &id, &why))
                return fail();
            unitIds.insert(key, id);
        }
        const StoredRecords stored = StoreForm(v.records, reuse.get());
        for (const auto &[hash, content] : stored.blobs)
            blobs.insert(hash, content);
        rows << visitRow(v, unitIds.value(key), stored.manifest);
    }
    // A server answers each statement once: many rows to a statement. SQLite has no round trip
    // to save, and its driver looks each parameter up by name: few rows there.
    const int rowsPerStatement = m_location.kind == Kind::PostgreSQL ? 100 : 8;
    const auto insertRows = [&](const QString &head, int columns, const QList<QVariantList> &all) {
        for (qsizetype at = 0; at < all.size(); at += rowsPerStatement) {
            const qsizetype n = std::min<qsizetype>(rowsPerStatement, all.size() - at);
            QStringList marks;
            const QString one = QLatin1Char('(') + QStringList(columns, QStringLiteral("?")).join(QStringLiteral(", ")) + QLatin1Char(')');
            for (qsizetype i = 0; i < n; ++i)
                marks << one;
            QSqlQuery q(db);
            q.prepare(head + marks.join(QStringLiteral(", ")) + QStringLiteral(" ON CONFLICT DO NOTHING"));
            int p = 0;
            for (qsizetype i = 0; i < n; ++i)
                for (const QVariant &value : all.at(at + i))
                    q.bindValue(p++, value);
            if (!run(q, &why))
                return false;
        }
        return true;
    };
    QList<QVariantList> blobRows;
    for (auto it = blobs.cbegin(); it != blobs.cend(); ++it)
        blobRows << QVariantList{it.key(), compress(it.value())};
    if (!insertRows(QStringLiteral("INSERT INTO blobs (hash, data) VALUES "), 2, blobRows)
        || !insertRows(kVisitInsert, kVisitInsertColumns, rows))
        return fail();
    if (!Commit(&why))
        return fail();
    return true;
}

bool CHistoryStore::Units(QList<UnitEntry> *units, QString *error)
{
    QSqlQuery q(Database());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT u.id, u.unit_type, u.unit_number, COUNT(v.id), MAX(v.pc_time) FROM units u "
                               "LEFT JOIN visits v ON v.unit_id = u.id GROUP BY u.id, u.unit_type, u.unit_number "
                               "ORDER BY u.unit_type, u.unit_number"))) {
        *error = LoadString(Str::HistErrRead).arg(m_location.shown, sqlError(q.lastError()));
        return false;
    }
    units->clear();
    while (q.next()) {
        UnitEntry u;
        u.id = q.value(0).toLongLong();
        u.type = q.value(1).toString();
        u.number = q.value(2).toString();
        u.visits = q.value(3).toInt();
        if (!q.value(4).isNull())
            u.lastVisit = QDateTime::fromMSecsSinceEpoch(q.value(4).toLongLong(), Qt::UTC);
        *units << u;
    }
    return true;
}

bool CHistoryStore::FindUnit(const QString &name, UnitEntry *unit, QString *error)
{
    m_faulted = false;
    // A manufacturing number (or a type) may hold "/" itself: "TYPE/NUMBER" is matched whole,
    // and only when no unit's whole name is that, the text is taken as a number alone.
    const auto lookUp = [&](const QString &sql, QList<UnitEntry> *found) {
        QSqlQuery q(Database());
        q.prepare(sql);
        q.bindValue(0, name);
        if (!q.exec()) {
            m_faulted = true;
            *error = LoadString(Str::HistErrRead).arg(m_location.shown, sqlError(q.lastError()));
            return false;
        }
        while (q.next())
            *found << UnitEntry{q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(), 0, {}};
        return true;
    };
    QList<UnitEntry> found;
    if (name.contains(QLatin1Char('/'))
        && !lookUp(QStringLiteral("SELECT id, unit_type, unit_number FROM units WHERE unit_type || '/' || unit_number = ?"),
                   &found))
        return false;
    if (found.isEmpty()
        && !lookUp(QStringLiteral("SELECT id, unit_type, unit_number FROM units WHERE unit_number = ?"), &found))
        return false;
    if (found.size() != 1) {
        *error = found.isEmpty() ? LoadString(Str::HistErrNoUnit).arg(name) : LoadString(Str::HistErrUnitAmbiguous).arg(name);
        return false;
    }
    *unit = found.first();
    return true;
}

bool CHistoryStore::ReadVisits(const QString &where, const QVariantList &values, QList<VisitEntry> *visits,
                               QString *error, int limit)
{
    QSqlQuery q(Database());
    q.setForwardOnly(true);
    QString sql = QStringLiteral("SELECT ") + kVisitColumns + QLatin1Char(' ') + where
                  + QStringLiteral(" ORDER BY v.pc_time DESC, v.id DESC");
    if (limit > 0)
        sql += QStringLiteral(" LIMIT %1").arg(limit);
    q.prepare(sql);
    for (int i = 0; i < values.size(); ++i)
        q.bindValue(i, values.at(i));
    if (!q.exec()) {
        m_faulted = true;
        *error = LoadString(Str::HistErrRead).arg(m_location.shown, sqlError(q.lastError()));
        return false;
    }
    visits->clear();
    while (q.next())
        *visits << entryFrom(q);
    return true;
}

bool CHistoryStore::Visits(qint64 unitId, QList<VisitEntry> *visits, QString *error)
{
    m_faulted = false;
    return ReadVisits(QStringLiteral("WHERE v.unit_id = ?"), {unitId}, visits, error);
}

bool CHistoryStore::LatestVisit(VisitEntry *visit, QString *error)
{
    m_faulted = false;
    QList<VisitEntry> list;
    if (!ReadVisits(QString(), {}, &list, error, 1))
        return false;
    if (list.isEmpty()) {
        *error = LoadString(Str::HistErrEmpty).arg(m_location.shown);
        return false;
    }
    *visit = list.first();
    return true;
}

bool CHistoryStore::LoadVisit(qint64 id, StoredVisit *visit, QString *error)
{
    m_faulted = false;
    QList<VisitEntry> found;
    if (!ReadVisits(QStringLiteral("WHERE v.id = ?"), {id}, &found, error))
        return false;
    if (found.isEmpty()) {
        *error = LoadString(Str::HistErrNoVisit).arg(id);
        return false;
    }
    return LoadRecords(found.first(), visit, error);
}

bool CHistoryStore::LoadVisit(const QString &reference, StoredVisit *visit, QString *error)
{
    m_faulted = false;
    bool number = false;
    const qint64 id = reference.toLongLong(&number);
    QList<VisitEntry> found;
    if (number && !ReadVisits(QStringLiteral("WHERE v.id = ?"), {id}, &found, error))
        return false;
    // An id's beginning will do when it names one visit (ids are lower-case hexadecimal). One
    // that begins with eight digits reads as a number too, so it is looked up both ways.
    const QString prefix = reference.trimmed().toLower();
    static const QRegularExpression idText(QStringLiteral("^[0-9a-f-]{8,36}$"));
    if (idText.match(prefix).hasMatch()) {
        QList<VisitEntry> byUuid;
        if (!ReadVisits(QStringLiteral("WHERE v.uuid >= ? AND v.uuid < ?"), {prefix, prefix + QStringLiteral("\x7f")},
                        &byUuid, error, 2))
            return false;
        for (const VisitEntry &v : byUuid)
            if (found.isEmpty() || found.first().id != v.id)
                found << v;
    } else if (!number) {
        *error = LoadString(Str::HistErrNoVisit).arg(reference);
        return false;
    }
    if (found.size() != 1) {
        *error = found.isEmpty() ? LoadString(Str::HistErrNoVisit).arg(reference)
                                 : LoadString(Str::HistErrVisitAmbiguous).arg(reference);
        return false;
    }
    return LoadRecords(found.first(), visit, error);
}

bool CHistoryStore::LoadRecords(const VisitEntry &entry, StoredVisit *visit, QString *error)
{
    QSqlQuery q(Database());
    q.prepare(QStringLiteral("SELECT manifest FROM visits WHERE id = ?"));
    q.bindValue(0, entry.id);
    QString why;
    if (!run(q, &why) || !q.next()) {
        m_faulted = true;
        *error = LoadString(Str::HistErrRead).arg(m_location.shown, why);
        return false;
    }
    StoredVisit out;
    out.entry = entry;
    if (!loadRecords(Database(), q.value(0).toByteArray(), &out.records, &why)) {
        m_faulted = true;
        *error = LoadString(Str::HistErrRead).arg(m_location.shown, why);
        return false;
    }
    for (RecordOutcome &r : out.records)
        r.readAt = out.entry.pcTime;
    *visit = std::move(out);
    return true;
}

bool CHistoryStore::Queue(const Visit &visit, const HistoryLocation &meantFor, const QString &reason, QString *error)
{
    QSqlQuery q(Database());
    q.prepare(QStringLiteral("INSERT INTO outbox (uuid, target, queued, reason, visit) VALUES (?, ?, ?, ?, ?) "
                             "ON CONFLICT DO NOTHING"));
    q.bindValue(0, visit.uuid);
    q.bindValue(1, meantFor.target);
    q.bindValue(2, QDateTime::currentMSecsSinceEpoch());
    q.bindValue(3, WithoutPassword(reason, meantFor));
    q.bindValue(4, PackVisit(visit));
    QString why;
    if (!m_open || meantFor.target.isEmpty() || !run(q, &why)) {
        *error = LoadString(Str::HistErrWrite).arg(m_location.shown, why);
        return false;
    }
    return true;
}

bool CHistoryStore::Queued(QList<QueuedVisit> *visits, QString *error)
{
    QSqlQuery q(Database());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT uuid, visit, target, reason FROM outbox ORDER BY queued"))) {
        *error = LoadString(Str::HistErrRead).arg(m_location.shown, sqlError(q.lastError()));
        return false;
    }
    visits->clear();
    while (q.next()) {
        QueuedVisit v;
        if (UnpackVisit(q.value(1).toByteArray(), &v.visit) && v.visit.uuid == q.value(0).toString()) {
            v.target = q.value(2).toString();
            v.reason = q.value(3).toString();
            *visits << v;
        }
    }
    return true;
}

bool CHistoryStore::Queued(QList<Visit> *visits, QString *error)
{
    QList<QueuedVisit> all;
    if (!Queued(&all, error))
        return false;
    visits->clear();
    for (const QueuedVisit &v : all)
        *visits << v.visit;
    return true;
}

bool CHistoryStore::Dequeue(const QString &uuid, const QString &target, QString *error)
{
    QSqlQuery q(Database());
    if (target.isEmpty()) {
        q.prepare(QStringLiteral("DELETE FROM outbox WHERE uuid = ? AND target IS NULL"));
    } else {
        q.prepare(QStringLiteral("DELETE FROM outbox WHERE uuid = ? AND target = ?"));
        q.bindValue(1, target);
    }
    q.bindValue(0, uuid);
    QString why;
    if (!run(q, &why)) {
        *error = LoadString(Str::HistErrWrite).arg(m_location.shown, why);
        return false;
    }
    return true;
}

qint64 CHistoryStore::BytesUsed()
{
    if (m_location.kind == Kind::SQLite) {
        QString ignored;
        run(Database(), QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"), &ignored);
        return QFileInfo(m_location.path).size() + QFileInfo(m_location.path + QStringLiteral("-wal")).size();
    }
    QSqlQuery q(Database());
    if (!q.exec(QStringLiteral("SELECT pg_database_size(current_database())")) || !q.next())
        return -1;
    return q.value(0).toLongLong();
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

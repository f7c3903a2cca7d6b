#include "historystore.h"

#include "historysql.h"
#include "stringtable.h"

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

// Recording visits and reading them back; the schema lives in historyschema.cpp, the bytes of
// blobs and queued visits in historyblobs.cpp.

namespace Quilo {

namespace {

using Kind = HistoryLocation::Kind;

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
} // namespace

Done CHistoryStore::StoreBlob(const QByteArray &hash, const QByteArray &content)
{
    QSqlDatabase db = Database();
    QSqlQuery have(db);
    have.prepare(QStringLiteral("SELECT 1 FROM blobs WHERE hash = ?"));
    have.bindValue(0, hash);
    if (Done asked = RunQuery(have); !asked)
        return asked;
    if (have.next())
        return {}; // the same records, stored by an earlier visit
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO blobs (hash, data) VALUES (?, ?) ON CONFLICT DO NOTHING"));
    insert.bindValue(0, hash);
    insert.bindValue(1, CompressBlob(content));
    return RunQuery(insert);
}

namespace {

const QString kVisitInsert = QStringLiteral(
    "INSERT INTO visits (uuid, unit_id, fingerprint, pc_time, unit_clock, clock_offset, source, port, program, "
    "manifest, cash_in, cash_out, stake, win, games) VALUES ");
constexpr int kVisitInsertColumns = 15;

// The unit's row, made when it is new.
Result<qint64> unitIdOf(QSqlDatabase db, const QString &type, const QString &number)
{
    QSqlQuery unit(db);
    unit.prepare(QStringLiteral("INSERT INTO units (unit_type, unit_number) VALUES (?, ?) ON CONFLICT DO NOTHING"));
    unit.bindValue(0, type);
    unit.bindValue(1, number);
    if (Done made = RunQuery(unit); !made)
        return made.failure();
    unit.prepare(QStringLiteral("SELECT id FROM units WHERE unit_type = ? AND unit_number = ?"));
    unit.bindValue(0, type);
    unit.bindValue(1, number);
    if (Done found = RunQuery(unit); !found)
        return found.failure();
    if (!unit.next()) // inserted a moment ago, and not there
        return Failed{LoadString(Str::HistErrDamaged)};
    return unit.value(0).toLongLong();
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

// `all` rows of `columns` values each, `perStatement` rows to a statement; rows already there stay.
Done insertRows(QSqlDatabase db, const QString &head, int columns, const QList<QVariantList> &all, int perStatement)
{
    const QString one = QLatin1Char('(') + QStringList(columns, QStringLiteral("?")).join(QStringLiteral(", ")) + QLatin1Char(')');
    for (qsizetype at = 0; at < all.size(); at += perStatement) {
        const qsizetype n = std::min<qsizetype>(perStatement, all.size() - at);
        QStringList marks;
        for (qsizetype i = 0; i < n; ++i)
            marks << one;
        QSqlQuery q(db);
        q.prepare(head + marks.join(QStringLiteral(", ")) + QStringLiteral(" ON CONFLICT DO NOTHING"));
        int p = 0;
        for (qsizetype i = 0; i < n; ++i)
            for (const QVariant &value : all.at(at + i))
                q.bindValue(p++, value);
        if (Done inserted = RunQuery(q); !inserted)
            return inserted;
    }
    return {};
}

} // namespace

Result<CHistoryStore::Recorded> CHistoryStore::RecordOne(const Visit &visit)
{
    QSqlDatabase db = Database();
    const Result<qint64> unitId = unitIdOf(db, visit.unitType, visit.unitNumber);
    if (!unitId)
        return unitId.failure();

    const StoredRecords stored = StoreForm(visit.records);
    const QVariantList values = visitRow(visit, *unitId, stored.manifest);
    QSqlQuery known(db);
    known.prepare(QStringLiteral("SELECT 1 FROM visits WHERE uuid = ? OR (unit_id = ? AND fingerprint = ?)"));
    known.bindValue(0, visit.uuid);
    known.bindValue(1, *unitId);
    known.bindValue(2, values.at(2));
    if (Done asked = RunQuery(known); !asked)
        return asked.failure();
    if (known.next())
        return Recorded::AlreadyThere;

    for (const auto &[hash, content] : stored.blobs)
        if (Done kept = StoreBlob(hash, content); !kept)
            return kept.failure();
    QSqlQuery insert(db);
    insert.prepare(kVisitInsert + QLatin1Char('(') + QStringList(kVisitInsertColumns, QStringLiteral("?")).join(QStringLiteral(", "))
                   + QStringLiteral(") ON CONFLICT DO NOTHING"));
    for (int i = 0; i < values.size(); ++i)
        insert.bindValue(i, values.at(i));
    if (Done inserted = RunQuery(insert); !inserted)
        return inserted.failure();
    return insert.numRowsAffected() == 0 ? Recorded::AlreadyThere : Recorded::New;
}

Result<CHistoryStore::Recorded> CHistoryStore::Record(const Visit &visit)
{
    if (!m_open)
        return Failed{LoadString(Str::HistErrNotOpen)};
    const auto failed = [&](const QString &why) { return Failed{LoadString(Str::HistErrWrite).arg(m_location.shown, why)}; };
    HistoryTransaction transaction(Database(), m_location.kind);
    if (Done begun = transaction.Begin(); !begun)
        return failed(begun.error());
    const Result<Recorded> r = RecordOne(visit);
    if (!r)
        return failed(r.error());
    // Only a new visit is kept; anything else leaves the store as it was.
    if (*r == Recorded::New)
        if (Done committed = transaction.Commit(); !committed)
            return failed(committed.error());
    return r;
}

Done CHistoryStore::RecordAll(const QList<Visit> &visits)
{
    const auto failed = [&](const QString &why) { return Failed{LoadString(Str::HistErrWrite).arg(m_location.shown, why)}; };
    if (!m_open)
        return failed(LoadString(Str::HistErrNotOpen));
    HistoryTransaction transaction(Database(), m_location.kind);
    if (Done begun = transaction.Begin(); !begun)
        return failed(begun.error());
    QSqlDatabase db = Database();
    QHash<QString, qint64> unitIds;
    QHash<QByteArray, QByteArray> blobs; // hash -> content, new in this batch
    QList<QVariantList> rows;
    const auto reuse = NewStoreFormCache();
    for (const Visit &v : visits) {
        const QString key = v.unitType + QLatin1Char('\n') + v.unitNumber;
        if (!unitIds.contains(key)) {
            const Result<qint64> id = unitIdOf(db, v.unitType, v.unitNumber);
            if (!id)
                return failed(id.error());
            unitIds.insert(key, *id);
        }
        const StoredRecords stored = StoreForm(v.records, reuse.get());
        for (const auto &[hash, content] : stored.blobs)
            blobs.insert(hash, content);
        rows << visitRow(v, unitIds.value(key), stored.manifest);
    }
    // A server answers each statement once: many rows to a statement. SQLite has no round trip
    // to save, and its driver looks each parameter up by name: few rows there.
    const int perStatement = m_location.kind == Kind::PostgreSQL ? 100 : 8;
    QList<QVariantList> blobRows;
    for (auto it = blobs.cbegin(); it != blobs.cend(); ++it)
        blobRows << QVariantList{it.key(), CompressBlob(it.value())};
    if (Done done = insertRows(db, QStringLiteral("INSERT INTO blobs (hash, data) VALUES "), 2, blobRows, perStatement); !done)
        return failed(done.error());
    if (Done done = insertRows(db, kVisitInsert, kVisitInsertColumns, rows, perStatement); !done)
        return failed(done.error());
    if (Done committed = transaction.Commit(); !committed)
        return failed(committed.error());
    return {};
}

Failed CHistoryStore::ReadFault(const QString &why)
{
    m_faulted = true;
    return Failed{LoadString(Str::HistErrRead).arg(m_location.shown, why)};
}

Result<QList<UnitEntry>> CHistoryStore::Units()
{
    m_faulted = false;
    QSqlQuery q(Database());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT u.id, u.unit_type, u.unit_number, COUNT(v.id), MAX(v.pc_time) FROM units u "
                               "LEFT JOIN visits v ON v.unit_id = u.id GROUP BY u.id, u.unit_type, u.unit_number "
                               "ORDER BY u.unit_type, u.unit_number")))
        return ReadFault(SqlErrorText(q.lastError()));
    QList<UnitEntry> units;
    while (q.next()) {
        UnitEntry u;
        u.id = q.value(0).toLongLong();
        u.type = q.value(1).toString();
        u.number = q.value(2).toString();
        u.visits = q.value(3).toInt();
        if (!q.value(4).isNull())
            u.lastVisit = QDateTime::fromMSecsSinceEpoch(q.value(4).toLongLong(), Qt::UTC);
        units << u;
    }
    return units;
}

Result<UnitEntry> CHistoryStore::FindUnit(const QString &name)
{
    m_faulted = false;
    QList<UnitEntry> found;
    const auto lookUp = [&](const QString &sql) -> Done {
        QSqlQuery q(Database());
        q.prepare(sql);
        q.bindValue(0, name);
        if (!q.exec())
            return ReadFault(SqlErrorText(q.lastError()));
        while (q.next())
            found << UnitEntry{q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(), 0, {}};
        return {};
    };
    // A manufacturing number (or a type) may hold "/" itself: "TYPE/NUMBER" is matched whole,
    // and only when no unit's whole name is that, the text is taken as a number alone.
    if (name.contains(QLatin1Char('/')))
        if (Done done = lookUp(QStringLiteral("SELECT id, unit_type, unit_number FROM units WHERE unit_type || '/' || unit_number = ?")); !done)
            return done.failure();
    if (found.isEmpty())
        if (Done done = lookUp(QStringLiteral("SELECT id, unit_type, unit_number FROM units WHERE unit_number = ?")); !done)
            return done.failure();
    if (found.size() != 1)
        return Failed{found.isEmpty() ? LoadString(Str::HistErrNoUnit).arg(name) : LoadString(Str::HistErrUnitAmbiguous).arg(name)};
    return found.first();
}

Result<QList<VisitEntry>> CHistoryStore::ReadVisits(const QString &where, const QVariantList &values, int limit)
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
    if (!q.exec())
        return ReadFault(SqlErrorText(q.lastError()));
    QList<VisitEntry> visits;
    while (q.next())
        visits << entryFrom(q);
    return visits;
}

Result<QList<VisitEntry>> CHistoryStore::Visits(qint64 unitId)
{
    m_faulted = false;
    return ReadVisits(QStringLiteral("WHERE v.unit_id = ?"), {unitId});
}

Result<VisitEntry> CHistoryStore::LatestVisit()
{
    m_faulted = false;
    const Result<QList<VisitEntry>> list = ReadVisits(QString(), {}, 1);
    if (!list)
        return list.failure();
    if (list->isEmpty())
        return Failed{LoadString(Str::HistErrEmpty).arg(m_location.shown)};
    return list->first();
}

Result<StoredVisit> CHistoryStore::LoadVisit(qint64 id)
{
    m_faulted = false;
    const Result<QList<VisitEntry>> found = ReadVisits(QStringLiteral("WHERE v.id = ?"), {id});
    if (!found)
        return found.failure();
    if (found->isEmpty())
        return Failed{LoadString(Str::HistErrNoVisit).arg(id)};
    return LoadRecords(found->first());
}

Result<StoredVisit> CHistoryStore::LoadVisit(const QString &reference)
{
    m_faulted = false;
    bool number = false;
    const qint64 id = reference.toLongLong(&number);
    QList<VisitEntry> found;
    if (number) {
        const Result<QList<VisitEntry>> byNumber = ReadVisits(QStringLiteral("WHERE v.id = ?"), {id});
        if (!byNumber)
            return byNumber.failure();
        found = *byNumber;
    }
    // An id's beginning will do when it names one visit (ids are lower-case hexadecimal). One
    // that begins with eight digits reads as a number too, so it is looked up both ways.
    const QString prefix = reference.trimmed().toLower();
    static const QRegularExpression idText(QStringLiteral("^[0-9a-f-]{8,36}$"));
    if (idText.match(prefix).hasMatch()) {
        const Result<QList<VisitEntry>> byUuid
            = ReadVisits(QStringLiteral("WHERE v.uuid >= ? AND v.uuid < ?"), {prefix, prefix + QStringLiteral("\x7f")}, 2);
        if (!byUuid)
            return byUuid.failure();
        for (const VisitEntry &v : *byUuid)
            if (found.isEmpty() || found.first().id != v.id)
                found << v;
    } else if (!number) {
        return Failed{LoadString(Str::HistErrNoVisit).arg(reference)};
    }
    if (found.size() != 1)
        return Failed{found.isEmpty() ? LoadString(Str::HistErrNoVisit).arg(reference)
                                      : LoadString(Str::HistErrVisitAmbiguous).arg(reference)};
    return LoadRecords(found.first());
}

Result<StoredVisit> CHistoryStore::LoadRecords(const VisitEntry &entry)
{
    QSqlQuery q(Database());
    q.prepare(QStringLiteral("SELECT manifest FROM visits WHERE id = ?"));
    q.bindValue(0, entry.id);
    if (Done asked = RunQuery(q); !asked)
        return ReadFault(asked.error());
    if (!q.next())
        return ReadFault(LoadString(Str::HistErrDamaged));
    Result<QList<RecordOutcome>> records = LoadManifestRecords(Database(), q.value(0).toByteArray());
    if (!records)
        return ReadFault(records.error());
    StoredVisit out;
    out.entry = entry;
    out.records = std::move(records).value();
    for (RecordOutcome &r : out.records)
        r.readAt = out.entry.pcTime;
    return out;
}

Done CHistoryStore::Queue(const Visit &visit, const HistoryLocation &meantFor, const QString &reason)
{
    const auto failed = [&](const QString &why) { return Failed{LoadString(Str::HistErrWrite).arg(m_location.shown, why)}; };
    if (!m_open || meantFor.target.isEmpty())
        return failed(QString());
    QSqlQuery q(Database());
    q.prepare(QStringLiteral("INSERT INTO outbox (uuid, target, queued, reason, visit) VALUES (?, ?, ?, ?, ?) "
                             "ON CONFLICT DO NOTHING"));
    q.bindValue(0, visit.uuid);
    q.bindValue(1, meantFor.target);
    q.bindValue(2, QDateTime::currentMSecsSinceEpoch());
    q.bindValue(3, WithoutPassword(reason, meantFor));
    q.bindValue(4, PackVisit(visit));
    if (Done queued = RunQuery(q); !queued)
        return failed(queued.error());
    return {};
}

Result<QList<QueuedVisit>> CHistoryStore::Queued()
{
    QSqlQuery q(Database());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT uuid, visit, target, reason FROM outbox ORDER BY queued")))
        return Failed{LoadString(Str::HistErrRead).arg(m_location.shown, SqlErrorText(q.lastError()))};
    QList<QueuedVisit> visits;
    while (q.next()) {
        QueuedVisit v;
        if (UnpackVisit(q.value(1).toByteArray(), &v.visit) && v.visit.uuid == q.value(0).toString()) {
            v.target = q.value(2).toString();
            v.reason = q.value(3).toString();
            visits << v;
        }
    }
    return visits;
}

Result<QList<Visit>> CHistoryStore::QueuedVisits()
{
    const Result<QList<QueuedVisit>> all = Queued();
    if (!all)
        return all.failure();
    QList<Visit> visits;
    for (const QueuedVisit &v : *all)
        visits << v.visit;
    return visits;
}

Done CHistoryStore::Dequeue(const QString &uuid, const QString &target)
{
    QSqlQuery q(Database());
    if (target.isEmpty()) {
        q.prepare(QStringLiteral("DELETE FROM outbox WHERE uuid = ? AND target IS NULL"));
    } else {
        q.prepare(QStringLiteral("DELETE FROM outbox WHERE uuid = ? AND target = ?"));
        q.bindValue(1, target);
    }
    q.bindValue(0, uuid);
    if (Done removed = RunQuery(q); !removed)
        return Failed{LoadString(Str::HistErrWrite).arg(m_location.shown, removed.error())};
    return {};
}

qint64 CHistoryStore::BytesUsed()
{
    if (m_location.kind == Kind::SQLite) {
        (void)RunSql(Database(), QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")); // else measured with its log
        return QFileInfo(m_location.path).size() + QFileInfo(m_location.path + QStringLiteral("-wal")).size();
    }
    QSqlQuery q(Database());
    if (!q.exec(QStringLiteral("SELECT pg_database_size(current_database())")) || !q.next())
        return -1;
    return q.value(0).toLongLong();
}

} // namespace Quilo

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

bool CHistoryStore::StoreBlob(const QByteArray &hash, const QByteArray &content, QString *error)
{
    QSqlDatabase db = Database();
    QSqlQuery have(db);
    have.prepare(QStringLiteral("SELECT 1 FROM blobs WHERE hash = ?"));
    have.bindValue(0, hash);
    if (!RunQuery(have, error))
        return false;
    if (have.next())
        return true; // the same records, stored by an earlier visit
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO blobs (hash, data) VALUES (?, ?) ON CONFLICT DO NOTHING"));
    insert.bindValue(0, hash);
    insert.bindValue(1, CompressBlob(content));
    return RunQuery(insert, error);
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
    if (!RunQuery(unit, error))
        return false;
    unit.prepare(QStringLiteral("SELECT id FROM units WHERE unit_type = ? AND unit_number = ?"));
    unit.bindValue(0, type);
    unit.bindValue(1, number);
    if (!RunQuery(unit, error) || !unit.next())
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

// `all` rows of `columns` values each, `perStatement` rows to a statement; rows already there stay.
bool insertRows(QSqlDatabase db, const QString &head, int columns, const QList<QVariantList> &all, int perStatement,
                QString *error)
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
        if (!RunQuery(q, error))
            return false;
    }
    return true;
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
    if (!RunQuery(known, error))
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
    if (!RunQuery(insert, error))
        return Recorded::Failed;
    return insert.numRowsAffected() == 0 ? Recorded::AlreadyThere : Recorded::New;
}
CHistoryStore::Recorded CHistoryStore::Record(const Visit &visit, QString *error)
{
    if (!m_open) {
        *error = LoadString(Str::HistErrNotOpen);
        return Recorded::Failed;
    }
    QString why;
    HistoryTransaction transaction(Database(), m_location.kind);
    Recorded r = transaction.Begin(&why) ? RecordOne(visit, &why) : Recorded::Failed;
    // Only a new visit is kept; anything else leaves the store as it was.
    if (r == Recorded::New && !transaction.Commit(&why))
        r = Recorded::Failed;
    if (r == Recorded::Failed)
        *error = LoadString(Str::HistErrWrite).arg(m_location.shown, why);
    return r;
}

bool CHistoryStore::RecordAll(const QList<Visit> &visits, QString *error)
{
    QString why;
    HistoryTransaction transaction(Database(), m_location.kind);
    const auto fail = [&] {
        *error = LoadString(Str::HistErrWrite).arg(m_location.shown, why);
        return false;
    };
    if (!m_open || !transaction.Begin(&why))
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
    const int perStatement = m_location.kind == Kind::PostgreSQL ? 100 : 8;
    QList<QVariantList> blobRows;
    for (auto it = blobs.cbegin(); it != blobs.cend(); ++it)
        blobRows << QVariantList{it.key(), CompressBlob(it.value())};
    if (!insertRows(db, QStringLiteral("INSERT INTO blobs (hash, data) VALUES "), 2, blobRows, perStatement, &why)
        || !insertRows(db, kVisitInsert, kVisitInsertColumns, rows, perStatement, &why))
        return fail();
    if (!transaction.Commit(&why))
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
        *error = LoadString(Str::HistErrRead).arg(m_location.shown, SqlErrorText(q.lastError()));
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
            *error = LoadString(Str::HistErrRead).arg(m_location.shown, SqlErrorText(q.lastError()));
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
        *error = LoadString(Str::HistErrRead).arg(m_location.shown, SqlErrorText(q.lastError()));
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
    if (!RunQuery(q, &why) || !q.next()) {
        m_faulted = true;
        *error = LoadString(Str::HistErrRead).arg(m_location.shown, why);
        return false;
    }
    StoredVisit out;
    out.entry = entry;
    if (!LoadManifestRecords(Database(), q.value(0).toByteArray(), &out.records, &why)) {
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
    if (!m_open || meantFor.target.isEmpty() || !RunQuery(q, &why)) {
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
        *error = LoadString(Str::HistErrRead).arg(m_location.shown, SqlErrorText(q.lastError()));
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
    if (!RunQuery(q, &why)) {
        *error = LoadString(Str::HistErrWrite).arg(m_location.shown, why);
        return false;
    }
    return true;
}

qint64 CHistoryStore::BytesUsed()
{
    if (m_location.kind == Kind::SQLite) {
        QString ignored;
        RunSql(Database(), QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"), &ignored);
        return QFileInfo(m_location.path).size() + QFileInfo(m_location.path + QStringLiteral("-wal")).size();
    }
    QSqlQuery q(Database());
    if (!q.exec(QStringLiteral("SELECT pg_database_size(current_database())")) || !q.next())
        return -1;
    return q.value(0).toLongLong();
}

} // namespace Quilo

#include "office.h"

#include "historysql.h"
#include "stringtable.h"

#include <QSqlError>
#include <QSqlQuery>

namespace Quilo {

namespace {

Failed readFailed(const CHistoryStore &store, const QSqlQuery &q)
{
    return Failed{LoadString(Str::HistErrRead).arg(store.Location().shown, SqlErrorText(q.lastError()))};
}

} // namespace

Done StoreAccount(CHistoryStore &store, const QString &name, const QString &passwordHash)
{
    if (!store.IsOpen())
        return Failed{LoadString(Str::HistErrNotOpen)};
    QSqlQuery q(store.Database());
    q.prepare(QStringLiteral("INSERT INTO accounts (name, password_hash, created) VALUES (?, ?, ?) "
                             "ON CONFLICT (name) DO UPDATE SET password_hash = excluded.password_hash"));
    q.bindValue(0, name);
    q.bindValue(1, passwordHash);
    q.bindValue(2, QDateTime::currentMSecsSinceEpoch());
    if (!q.exec())
        return Failed{LoadString(Str::SiteErrAccountWrite).arg(store.Location().shown, SqlErrorText(q.lastError()))};
    return {};
}

Result<std::optional<QString>> AccountHash(CHistoryStore &store, const QString &name)
{
    if (!store.IsOpen())
        return Failed{LoadString(Str::HistErrNotOpen)};
    QSqlQuery q(store.Database());
    q.prepare(QStringLiteral("SELECT password_hash FROM accounts WHERE name = ?"));
    q.bindValue(0, name);
    if (!q.exec())
        return readFailed(store, q);
    if (!q.next())
        return std::optional<QString>();
    return std::optional<QString>(q.value(0).toString());
}

Result<int> AccountCount(CHistoryStore &store)
{
    if (!store.IsOpen())
        return Failed{LoadString(Str::HistErrNotOpen)};
    QSqlQuery q(store.Database());
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM accounts")) || !q.next())
        return readFailed(store, q);
    return q.value(0).toInt();
}

Result<QList<FleetUnit>> FleetUnits(CHistoryStore &store)
{
    if (!store.IsOpen())
        return Failed{LoadString(Str::HistErrNotOpen)};
    QSqlQuery q(store.Database());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT u.id, u.unit_type, u.unit_number, COUNT(v.id), MAX(v.pc_time), MAX(v.id) "
                               "FROM units u JOIN visits v ON v.unit_id = u.id "
                               "GROUP BY u.id, u.unit_type, u.unit_number")))
        return readFailed(store, q);
    QList<FleetUnit> units;
    while (q.next()) {
        FleetUnit f;
        f.unit.id = q.value(0).toLongLong();
        f.unit.type = q.value(1).toString();
        f.unit.number = q.value(2).toString();
        f.unit.visits = q.value(3).toInt();
        f.unit.lastVisit = QDateTime::fromMSecsSinceEpoch(q.value(4).toLongLong(), Qt::UTC);
        f.newestVisitId = q.value(5).toLongLong();
        units << f;
    }
    return units;
}

Result<qint64> NewestVisitId(CHistoryStore &store)
{
    if (!store.IsOpen())
        return Failed{LoadString(Str::HistErrNotOpen)};
    QSqlQuery q(store.Database());
    if (!q.exec(QStringLiteral("SELECT MAX(id) FROM visits")) || !q.next())
        return readFailed(store, q);
    return q.value(0).toLongLong();
}

} // namespace Quilo

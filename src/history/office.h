#pragma once
// What the office site asks of the history besides visits: its accounts (a name and a hash of
// the password made by the site, never the password), and every unit with the id of its
// newest visit, to tell cheaply which units have a new visit since the site last compared.

#include "historystore.h"
#include "result.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace Quilo {

// Adds the account, or gives an existing one the new hash.
Done StoreAccount(CHistoryStore &store, const QString &name, const QString &passwordHash);
// The account's hash; nothing when there is no such account.
Result<std::optional<QString>> AccountHash(CHistoryStore &store, const QString &name);
Result<int> AccountCount(CHistoryStore &store);

struct FleetUnit
{
    UnitEntry unit;
    qint64 newestVisitId = 0; // the highest visit id: changes whenever a visit is recorded
};
// Units with at least one visit.
Result<QList<FleetUnit>> FleetUnits(CHistoryStore &store);
// The highest visit id (0: no visit): visits are only added, so while it stays, FleetUnits does.
Result<qint64> NewestVisitId(CHistoryStore &store);

} // namespace Quilo

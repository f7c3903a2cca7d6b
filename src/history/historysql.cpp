#include "historysql.h"

#include <QSqlError>
#include <QSqlQuery>

namespace Quilo {

QString SqlErrorText(const QSqlError &e)
{
    QString text = e.text().trimmed();
    return text.isEmpty() ? QStringLiteral("unknown database error") : text;
}

Done RunQuery(QSqlQuery &q)
{
    if (q.exec())
        return {};
    return Failed{SqlErrorText(q.lastError())};
}

Done RunSql(QSqlDatabase db, const QString &sql)
{
    QSqlQuery q(db);
    if (q.exec(sql))
        return {};
    return Failed{SqlErrorText(q.lastError())};
}

HistoryTransaction::HistoryTransaction(QSqlDatabase db, HistoryLocation::Kind kind) : m_db(std::move(db)), m_kind(kind) {}

HistoryTransaction::~HistoryTransaction()
{
    if (m_active)
        (void)RunSql(m_db, QStringLiteral("ROLLBACK"));
}

Done HistoryTransaction::Begin()
{
    if (m_active)
        return {};
    // SQLite: take the write lock at once. Two writers that both start by reading would
    // otherwise deadlock when both want to write.
    const QString begin = m_kind == HistoryLocation::Kind::SQLite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN");
    Done begun = RunSql(m_db, begin);
    m_active = begun.ok();
    return begun;
}

Done HistoryTransaction::Commit()
{
    if (!m_active)
        return Failed{QStringLiteral("no transaction to commit")};
    if (Done committed = RunSql(m_db, QStringLiteral("COMMIT")); !committed)
        return committed; // still active: the destructor rolls back
    m_active = false;
    return {};
}

} // namespace Quilo

#include "historysql.h"

#include <QSqlError>
#include <QSqlQuery>

namespace Quilo {

QString SqlErrorText(const QSqlError &e)
{
    QString text = e.text().trimmed();
    return text.isEmpty() ? QStringLiteral("unknown database error") : text;
}

bool RunQuery(QSqlQuery &q, QString *error)
{
    if (q.exec())
        return true;
    if (error)
        *error = SqlErrorText(q.lastError());
    return false;
}

bool RunSql(QSqlDatabase db, const QString &sql, QString *error)
{
    QSqlQuery q(db);
    if (q.exec(sql))
        return true;
    if (error)
        *error = SqlErrorText(q.lastError());
    return false;
}

HistoryTransaction::HistoryTransaction(QSqlDatabase db, HistoryLocation::Kind kind) : m_db(std::move(db)), m_kind(kind) {}

HistoryTransaction::~HistoryTransaction()
{
    if (!m_active)
        return;
    QString ignored;
    RunSql(m_db, QStringLiteral("ROLLBACK"), &ignored);
}

bool HistoryTransaction::Begin(QString *error)
{
    if (m_active)
        return true;
    // SQLite: take the write lock at once. Two writers that both start by reading would
    // otherwise deadlock when both want to write.
    const QString begin = m_kind == HistoryLocation::Kind::SQLite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN");
    m_active = RunSql(m_db, begin, error);
    return m_active;
}

bool HistoryTransaction::Commit(QString *error)
{
    if (!m_active) {
        if (error)
            *error = QStringLiteral("no transaction to commit");
        return false;
    }
    if (!RunSql(m_db, QStringLiteral("COMMIT"), error))
        return false; // still active: the destructor rolls back
    m_active = false;
    return true;
}

} // namespace Quilo

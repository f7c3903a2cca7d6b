#pragma once
// What the store's parts share: running a statement with its error in words, the blob codec's
// entry points, and a transaction that undoes itself unless committed. Not for the front ends.

#include "historylocation.h"
#include "result.h"
#include "visit.h"

#include <QByteArray>
#include <QList>
#include <QSqlDatabase>
#include <QString>

class QSqlError;
class QSqlQuery;

namespace Quilo {

QString SqlErrorText(const QSqlError &e);
// A failure carries the driver's message.
Done RunQuery(QSqlQuery &q);
Done RunSql(QSqlDatabase db, const QString &sql);

// A blob as qCompress() makes it (qUncompress reads it back), fitted to a few KiB.
QByteArray CompressBlob(const QByteArray &data);
// The records a visit's manifest names, its blobs looked up in `db`.
Result<QList<RecordOutcome>> LoadManifestRecords(QSqlDatabase db, const QByteArray &manifest);

// One transaction on `db`: begun by Begin(), kept only by Commit(). Whatever way the scope is
// left before that (an early return on an error, an exception), the destructor rolls it back,
// and a commit that fails is rolled back too.
class HistoryTransaction
{
public:
    HistoryTransaction(QSqlDatabase db, HistoryLocation::Kind kind);
    ~HistoryTransaction();
    HistoryTransaction(const HistoryTransaction &) = delete;
    HistoryTransaction &operator=(const HistoryTransaction &) = delete;

    Done Begin();
    Done Commit();
    bool IsActive() const { return m_active; }

private:
    QSqlDatabase m_db;
    HistoryLocation::Kind m_kind;
    bool m_active = false;
};

} // namespace Quilo

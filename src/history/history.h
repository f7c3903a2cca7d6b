#pragma once
// Recording a visit where the history lives, without ever losing one: a visit the chosen store
// cannot take now (a server away, a refused login, a URL that names nothing) is kept in the
// outbox of this PC's own SQLite store and sent at the next chance (the next visit, the next
// look at the history, `quilo history sync`). Sending is idempotent, so a visit that did arrive
// before the answer was lost is not recorded twice.

#include "historylocation.h"
#include "visit.h"

#include <QString>

namespace Quilo {

class CHistoryStore;

struct RecordReport
{
    enum class Outcome { Recorded, AlreadyThere, Queued, Failed };
    Outcome outcome = Outcome::Failed;
    QString message;     // one sentence for the status bar or stderr
    int sent = 0;        // visits of the outbox that arrived too
    int waiting = 0;     // visits still in the outbox
};

// Records `visit` at `location`; the local outbox lives in `localFile` (the default store).
RecordReport RecordVisit(const HistoryLocation &location, const Visit &visit,
                         const QString &localFile = DefaultHistoryFile());

// Sends what the outbox holds to an open store that is not the outbox's own file; returns how
// many arrived, and in *waiting how many are still kept.
int SendQueued(CHistoryStore &store, const QString &localFile, int *waiting, QString *error);

} // namespace Quilo

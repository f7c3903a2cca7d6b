#pragma once
// Recording a visit where the history lives, without ever losing one: a visit the chosen store
// cannot take now (a server away, a refused login, a URL that names nothing) is kept in the
// outbox of this PC's own SQLite store and sent at the next chance (the next visit recorded
// there, `quilo history sync`, the window's History view). Sending is idempotent, so a visit
// that did arrive before the answer was lost is not recorded twice.

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
// The same on a store that is open already (and stays open). A failure when the store did not
// take it (its message says why): KeepVisit() then keeps it on this PC.
Result<RecordReport> RecordVisit(CHistoryStore &store, const Visit &visit, const QString &localFile);
// Keeps `visit`, which the history at `location` could not take (`why`), in the outbox of
// `localFile`: outcome Queued, or Failed when even that is not possible.
RecordReport KeepVisit(const HistoryLocation &location, const Visit &visit, const QString &why,
                       const QString &localFile = DefaultHistoryFile());

// What sending the outbox did: what arrived, what is still kept for the history and why. Not
// all or nothing: each visit that arrived is taken off, whatever happens to the next.
struct SendReport
{
    int sent = 0;
    int waiting = 0;
    QString why; // empty when nothing failed
};
// Sends the visits the outbox holds for an open store (that is not the outbox's own file) to
// it, and no others. Visits queued before the outbox kept their history, or for a URL that
// names none, are sent only with `takeUnknown`: the user named this history for them.
SendReport SendQueued(CHistoryStore &store, const QString &localFile, bool takeUnknown = false);

// False for a queued visit's target that names no history to send it to.
bool NamesHistory(const QString &target);

// How many visits wait in the outbox of `localFile`, per history (its target; empty: queued
// before the outbox kept it), in the order first queued. No file: none.
struct Waiting
{
    QString target;
    int visits = 0;
};
Result<QList<Waiting>> WaitingVisits(const QString &localFile);

} // namespace Quilo

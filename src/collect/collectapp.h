#pragma once
// `quilo collect`: the unattended front end. The program's main hands it the words after
// "collect"; it runs its own event loop until the round (or, as a service, SIGTERM) ends.

#include <QIODevice>
#include <QStringList>

namespace QuiloCollect {

inline constexpr char kCollectCommand[] = "collect";

// `out` gets the summary, `err` one line per event. Returns the exit status.
int RunCollect(const QStringList &arguments, QIODevice *out, QIODevice *err);

} // namespace QuiloCollect

#pragma once
// The words the shell's tab completion offers for a `quilo` command line, from the program's
// own tables: commands and options from the parser's, data sets and key groups from the
// data-set table, ports from this machine. The completion script only asks:
//     quilo __complete WORD... CURRENT
// and prints what comes back, so a new data set, group or command needs no script change.

#include <QString>
#include <QStringList>

namespace QuiloCli {

// The hidden command the completion script calls; never offered, never in --help.
inline constexpr char kCompleteCommand[] = "__complete";
// A candidate that asks the shell to offer file names instead (it cannot be a word of ours).
inline constexpr char kCompleteFiles[] = "::files";

// `words` are the command line's words after the program's name, the last one the word being
// completed (empty at a fresh word). Returns the candidates that start with it, any case.
QStringList CompletionCandidates(const QStringList &words);

} // namespace QuiloCli

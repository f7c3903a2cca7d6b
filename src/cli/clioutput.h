#pragma once
// What quilo says and prints, in one place: messages on standard error with the unit's texts
// inert, data on standard output with every write checked.

#include "clistreams.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace QuiloCli {

// A line on standard error, "quilo: " first. Messages embed texts of the unit's (its type,
// its number), of files and of the command line: controls in them are shown as escapes, so
// that a unit type cannot retitle or clear the terminal. Line breaks of the message stay.
void Say(const CCliStreams &io, const QString &message);
// The same without the program's name: results the user waits for ("The unit holds ...").
void Tell(const CCliStreams &io, const QString &message);
// Text for a terminal: every line inert, the line breaks kept.
QString InertLines(const QString &text);

// Writes all of `data` to standard output. A failed or short write is said (how much went
// out, and why) and gives false: the caller ends with ExitOutput, as for -o.
bool WriteOut(const CCliStreams &io, const QByteArray &data);

// Plain-text columns, two spaces apart, each line after `indent`, no trailing blanks.
QString AlignedRows(const QList<QStringList> &rows, const QString &indent = {});

} // namespace QuiloCli

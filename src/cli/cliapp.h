#pragma once
// `quilo` as a function: arguments in, exit status out, all text through the given devices,
// so the tests can run it in-process.

#include <QIODevice>
#include <QStringList>

namespace QuiloCli {

struct CCliStreams
{
    QIODevice *out = nullptr;  // data (tables, CSV, JSON) and listings
    QIODevice *err = nullptr;  // messages, questions, the progress bar, the trace
    QIODevice *in = nullptr;   // answers to questions
    bool errIsTerminal = false; // draw the progress bar
};

int RunCli(const QStringList &arguments, const CCliStreams &streams);

// Plain-text columns, two spaces apart, each line after `indent`, no trailing blanks.
QString AlignedRows(const QList<QStringList> &rows, const QString &indent = {});

} // namespace QuiloCli

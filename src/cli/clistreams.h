#pragma once
// The devices a run of `quilo` talks through, apart from the commands that use them: the
// front end and each command's file include this, not one another.

#include <QIODevice>

namespace QuiloCli {

struct CCliStreams
{
    QIODevice *out = nullptr;  // data (tables, CSV, JSON) and listings
    QIODevice *err = nullptr;  // messages, questions, the progress bar, the trace
    QIODevice *in = nullptr;   // answers to questions
    bool errIsTerminal = false; // draw the progress bar
};

} // namespace QuiloCli

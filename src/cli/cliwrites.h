#pragma once
// The two commands that change the unit: `quilo set-clock` and `quilo write-key`. Each reads
// the value first, asks, writes once, and reads it back.

#include "cliargs.h"
#include "clistreams.h"

namespace QuiloCli {

int RunSetClock(const CCliOptions &o, const CCliStreams &io);
int RunWriteKey(const CCliOptions &o, const CCliStreams &io);

} // namespace QuiloCli

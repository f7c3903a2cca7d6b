#pragma once
// The visit history on the command line: `quilo history [UNIT]`, `quilo history import FILE...`,
// `quilo history sync`, `quilo compare [VISIT VISIT | UNIT]`, and the visit that `quilo read all`
// records when it has tried every set.

#include "cliargs.h"
#include "clistreams.h"

#include <QString>
#include <QStringList>

class CTarvelDoc;

namespace QuiloCli {

// A flag was raised (compare), or some files were not recorded (import): status 1.
// The history could not be reached or read: status 69 (nothing was changed in it).
inline constexpr int ExitHistoryUnavailable = 69;

// `history` and `compare`, as parsed by ParseCommandLine.
int RunHistoryCommand(const CCliOptions &options, const CCliStreams &io);

// After a whole-unit read: records the visit unless turned off; messages on stderr. Returns
// false when the visit was neither recorded nor kept.
bool RecordWholeUnitVisit(const CTarvelDoc &doc, const QString &port, const QString &historyUrl, bool noHistory,
                          const CCliStreams &io);

} // namespace QuiloCli

#pragma once
// `quilo` as a function: arguments in, exit status out, all text through the given devices,
// so the tests can run it in-process.

#include "clistreams.h"

#include <QStringList>

namespace QuiloCli {

int RunCli(const QStringList &arguments, const CCliStreams &streams);

} // namespace QuiloCli

#pragma once
// What a round of collection says at its end: a summary per unit as a table for people or
// JSON for scripts, and the exit status.

#include "collector.h"

#include <QByteArray>
#include <QDateTime>

namespace QuiloCollect {

inline constexpr int kExitAllRead = 0;
inline constexpr int kExitSomeFailed = 1; // a unit failed or a flag was raised
inline constexpr int kExitNoneReached = 2;

QByteArray SummaryTable(const QList<UnitRun> &runs);
QByteArray SummaryJson(const QList<UnitRun> &runs, const QDateTime &started, const QDateTime &ended, bool stopped);
// The closing line on standard error: how many read, failed, flagged.
QString SummaryLine(const QList<UnitRun> &runs);
int CollectExitStatus(const QList<UnitRun> &runs);

} // namespace QuiloCollect

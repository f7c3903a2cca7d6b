#pragma once
// A money log of a read-out as pairs of bars, oldest first: what the window's chart and the
// office site's chart both draw, decoded by the same code as a live read.

#include "readout.h"

#include <QList>
#include <QString>

namespace Quilo {

// The logs that have pairs of figures per period.
inline constexpr DataSetId kChartLogs[] = {dsDaily, dsMonthly, dsQuarterly, dsYearly};

struct LogBar
{
    QString date;        // the record's own date column; a day's without its year ("01:12")
    quint32 first = 0;   // cash in, or stake
    quint32 second = 0;  // cash out, or win
};

// `money`: cash in and out; otherwise stake and win. Records the unit did not give are left out.
QList<LogBar> LogBars(const ReadOut &readOut, DataSetId set, bool money);

} // namespace Quilo

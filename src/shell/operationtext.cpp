#include "operationtext.h"

#include "stringtable.h"
#include "tarveldoc.h"

#include <array>

namespace Quilo {

namespace {

struct DataSetTitle {
    int dataSet;
    unsigned title;
};

const std::array<DataSetTitle, 12> kTitles{{
    {CTarvelDoc::dsKeyTable, Str::TitleKeyTable},
    {CTarvelDoc::dsKeyLogs, Str::TitleKeyLogs},
    {CTarvelDoc::dsDaily, Str::TitleDaily},
    {CTarvelDoc::dsMonthly, Str::TitleMonthly},
    {CTarvelDoc::dsQuarterly, Str::TitleQuarterly},
    {CTarvelDoc::dsYearly, Str::TitleYearly},
    {CTarvelDoc::dsDateLog, Str::TitleDateLog},
    {CTarvelDoc::dsCounters, Str::TitleCounters},
    {CTarvelDoc::dsDateTime, Str::TitleDateTime},
    {CTarvelDoc::dsCurrentKey, Str::TitleCurrentKey},
    {CTarvelDoc::dsConfig, Str::TitleConfig},
    {CTarvelDoc::dsConfEvents, Str::TitleConfEvents},
}};

// failedBy counts by result, in this order: 1, 16, 32, 48, 64, 256, any other
const std::array<unsigned, 7> kFailureWords{Str::Result1, Str::Result16, Str::Result32, Str::Result48,
                                            Str::Result64, Str::Result256, Str::ResultOther};

} // namespace

QString dataSetTitle(int dataSet)
{
    for (const DataSetTitle &t : kTitles)
        if (t.dataSet == dataSet)
            return LoadString(t.title);
    return QString();
}

QString describeOperation(const COperationSummary &s)
{
    if (!s.portOpened)
        return LoadString(Str::SumPortFailed).arg(s.portName, s.portError);

    QString text;
    if (s.dataSet == 0) {
        text = s.failed() == 0 && s.read > 0 ? LoadString(Str::SumWriteDone) : LoadString(Str::SumWriteFailed);
    } else {
        text = LoadString(Str::SumRead).arg(dataSetTitle(s.dataSet)).arg(s.read).arg(s.tried);
        if (s.skipped > 0)
            text += LoadString(Str::SumSkipped).arg(s.skipped);
    }
    for (std::size_t i = 0; i < s.failedBy.size(); ++i) {
        const int n = s.failedBy[i];
        if (n > 0)
            text += LoadString(n == 1 ? Str::SumFailedOne : Str::SumFailedMany).arg(n).arg(LoadString(kFailureWords[i]));
    }
    if (s.stopped)
        text += LoadString(Str::SumStopped);
    return text;
}

} // namespace Quilo

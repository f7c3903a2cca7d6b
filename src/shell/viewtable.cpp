#include "viewtable.h"

#include "cdatetime.h"
#include "config.h"
#include "conflog.h"
#include "datasettable.h"
#include "historyview.h"
#include "currentcounters.h"
#include "currentkey.h"
#include "keytables.h"
#include "loglists.h"
#include "startview.h"
#include "stringtable.h"

#include <array>

namespace Quilo {

namespace {

// Searched in this order; a data view's command and title are its data set's.
struct ViewRow {
    int dataSet; // 0: the start page, or a view of no data set with its own command and title
    ViewFactory create;
    unsigned command = 0;
    unsigned title = 0;
};

const std::array kViews{
    ViewRow{dsDaily, &createView<CDailyList>},
    ViewRow{dsMonthly, &createView<CMonthlyList>},
    ViewRow{dsQuarterly, &createView<CQuarterlyList>},
    ViewRow{dsYearly, &createView<CYearlyList>},
    ViewRow{dsDateLog, &createView<CDateLogList>},
    ViewRow{dsKeyTable, &createView<CKeyTables>},
    ViewRow{dsKeyLogs, &createView<CKeyLogs>},
    ViewRow{dsCounters, &createView<CCurrentCounters>},
    ViewRow{dsDateTime, &createView<CCDateTime>},
    ViewRow{dsCurrentKey, &createView<CCurrentKey>},
    ViewRow{0, &createView<CStartView>},
    ViewRow{dsConfig, &createView<CConfig>},
    ViewRow{dsConfEvents, &createView<CConfLog>},
    ViewRow{0, &createView<Quilo::CHistoryView>, Str::CmdHistory, Str::TitleHistory},
};

std::array<ViewTableRow, kViews.size()> buildTable()
{
    std::array<ViewTableRow, kViews.size()> rows{};
    for (std::size_t i = 0; i < kViews.size(); ++i) {
        const DataSetInfo *set = FindDataSet(kViews[i].dataSet);
        rows[i] = set                 ? ViewTableRow{set->viewCommand, set->title, kViews[i].create}
                  : kViews[i].command ? ViewTableRow{kViews[i].command, kViews[i].title, kViews[i].create}
                                      : ViewTableRow{Str::CmdHelp, Str::TitleMain, kViews[i].create};
    }
    return rows;
}

const std::array<ViewTableRow, kViews.size()> kViewTable = buildTable();

} // namespace

std::span<const ViewTableRow> viewTable()
{
    return kViewTable;
}

const ViewTableRow *findView(unsigned command)
{
    for (const ViewTableRow &row : kViewTable)
        if (row.command == command)
            return &row;
    return nullptr;
}

} // namespace Quilo

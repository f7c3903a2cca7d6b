#include "viewtable.h"

#include "cdatetime.h"
#include "config.h"
#include "conflog.h"
#include "currentcounters.h"
#include "currentkey.h"
#include "keytables.h"
#include "loglists.h"
#include "startview.h"
#include "stringtable.h"

#include <array>

namespace Quilo {

namespace {

// Searched in this order. Command 42010 is not used.
const std::array kViewTable{
    ViewTableRow{42001, Str::TitleDaily, &createView<CDailyList>},
    ViewTableRow{42002, Str::TitleMonthly, &createView<CMonthlyList>},
    ViewTableRow{42003, Str::TitleQuarterly, &createView<CQuarterlyList>},
    ViewTableRow{42004, Str::TitleYearly, &createView<CYearlyList>},
    ViewTableRow{42006, Str::TitleDateLog, &createView<CDateLogList>},
    ViewTableRow{42007, Str::TitleKeyTable, &createView<CKeyTables>},
    ViewTableRow{42008, Str::TitleKeyLogs, &createView<CKeyLogs>},
    ViewTableRow{42000, Str::TitleCounters, &createView<CCurrentCounters>},
    ViewTableRow{42005, Str::TitleDateTime, &createView<CCDateTime>},
    ViewTableRow{42009, Str::TitleCurrentKey, &createView<CCurrentKey>},
    ViewTableRow{Str::CmdHelp, Str::TitleMain, &createView<CStartView>},
    ViewTableRow{42011, Str::TitleConfig, &createView<CConfig>},
    ViewTableRow{42012, Str::TitleConfEvents, &createView<CConfLog>},
};

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

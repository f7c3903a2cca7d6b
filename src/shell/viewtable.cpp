#include "viewtable.h"

#include "loglists.h"
#include "startview.h"
#include "stringtable.h"

#include <array>

namespace Quilo {

namespace {

// Searched in this order. Commands of the tree that have no row yet change nothing.
const std::array kViewTable{
    ViewTableRow{42001, Str::TitleDaily, &createView<CDailyList>},
    ViewTableRow{42002, Str::TitleMonthly, &createView<CMonthlyList>},
    ViewTableRow{42003, Str::TitleQuarterly, &createView<CQuarterlyList>},
    ViewTableRow{42004, Str::TitleYearly, &createView<CYearlyList>},
    ViewTableRow{42006, Str::TitleDateLog, &createView<CDateLogList>},
    ViewTableRow{42008, Str::TitleKeyLogs, &createView<CKeyLogs>},
    ViewTableRow{Str::CmdHelp, Str::TitleMain, &createView<CStartView>},
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

#include "loglists.h"

#include "stringtable.h"
#include "tarveldoc.h"

#include <algorithm>
#include <array>

using Quilo::ColumnInfo;
using Quilo::LogListInfo;
using Quilo::RecordRange;

namespace {

constexpr Qt::Alignment kLeft = Qt::AlignLeft;
constexpr Qt::Alignment kCentre = Qt::AlignHCenter;
constexpr Qt::Alignment kRight = Qt::AlignRight;

constexpr ColumnInfo kIdx{Str::ColIdx, kLeft, 50};

const std::array<ColumnInfo, 8> kDailyColumns{{
    kIdx,
    {Str::ColDate, kCentre, 75},
    {Str::ColCashIn, kRight, 75},
    {Str::ColCashOut, kRight, 75},
    {Str::ColStake, kRight, 75},
    {Str::ColWin, kRight, 75},
    {Str::ColWinMax, kRight, 75},
    {Str::ColWinMaxTime, kCentre, 80},
}};

const std::array<ColumnInfo, 6> kPeriodColumns{{
    kIdx,
    {Str::ColDate, kCentre, 75},
    {Str::ColCashIn, kRight, 75},
    {Str::ColCashOut, kRight, 75},
    {Str::ColStake, kRight, 75},
    {Str::ColWin, kRight, 75},
}};

const std::array<ColumnInfo, 3> kDateLogColumns{{
    kIdx,
    {Str::ColOldDate, kCentre, 110},
    {Str::ColNewDate, kCentre, 110},
}};

const std::array<ColumnInfo, 4> kKeyLogColumns{{
    kIdx,
    {Str::ColKey, kCentre, 150},
    {Str::ColStart, kCentre, 110},
    {Str::ColEnd, kCentre, 110},
}};

template<int N>
RecordRange firstRecords(const CTarvelDoc &)
{
    return {0, N - 1};
}

RecordRange keyRange(const CTarvelDoc &doc)
{
    // the tree sets the range before the view exists; anything outside the array is cut off
    const auto clampIndex = [](unsigned v) { return static_cast<int>(std::min<unsigned>(v, 1000)); };
    return {clampIndex(doc.m_nFirstKey), clampIndex(doc.m_nLastKey)};
}

const LogListInfo kDaily{
    CTarvelDoc::dsDaily, kDailyColumns, 31,
    [](CTarvelDoc &d, int i) -> CDataField & { return d.m_aDaily[static_cast<std::size_t>(i)]; },
    firstRecords<31>};
const LogListInfo kMonthly{
    CTarvelDoc::dsMonthly, kPeriodColumns, 61,
    [](CTarvelDoc &d, int i) -> CDataField & { return d.m_aMonthly[static_cast<std::size_t>(i)]; },
    firstRecords<61>};
const LogListInfo kQuarterly{
    CTarvelDoc::dsQuarterly, kPeriodColumns, 21,
    [](CTarvelDoc &d, int i) -> CDataField & { return d.m_aQuarterly[static_cast<std::size_t>(i)]; },
    firstRecords<21>};
const LogListInfo kYearly{
    CTarvelDoc::dsYearly, kPeriodColumns, 6,
    [](CTarvelDoc &d, int i) -> CDataField & { return d.m_aYearly[static_cast<std::size_t>(i)]; },
    firstRecords<6>};
// The unit keeps 60 date changes; the list shows the latest 20 (the read still covers all 60).
const LogListInfo kDateLog{
    CTarvelDoc::dsDateLog, kDateLogColumns, 60,
    [](CTarvelDoc &d, int i) -> CDataField & { return d.m_aDateLog[static_cast<std::size_t>(i)]; },
    firstRecords<20>};
const LogListInfo kKeyLogs{
    CTarvelDoc::dsKeyLogs, kKeyLogColumns, 40,
    [](CTarvelDoc &d, int i) -> CDataField & { return d.m_aKeyLogs[static_cast<std::size_t>(i)]; },
    keyRange};

} // namespace

CLogList::CLogList(const LogListInfo &info, CTarvelDoc &doc, QWidget *parent)
    : QTreeWidget(parent), m_info(info), m_doc(doc)
{
    Quilo::makeReportList(this);
}

void CLogList::OnInitialUpdate()
{
    m_doc.m_nDataSet = m_info.dataSet;
    Quilo::setUpColumns(this, m_info.columns);
    FillList(false);
}

bool CLogList::answersCommand(unsigned command) const
{
    return command == Str::CmdLoad;
}

void CLogList::onCommand(unsigned command)
{
    if (command == Str::CmdLoad)
        OnLoad();
}

void CLogList::OnLoad()
{
    FillList(true);
}

RecordRange CLogList::shownRecords() const
{
    RecordRange r = m_info.shown(m_doc);
    r.first = std::max(r.first, 0);
    r.last = std::min(r.last, m_info.recordCount - 1);
    return r;
}

void CLogList::FillList(bool reload)
{
    clear();
    m_doc.m_nDataSet = m_info.dataSet;
    const RecordRange range = shownRecords();
    if (reload)
        for (int i = range.first; i <= range.last; ++i)
            m_info.record(m_doc, i).m_nStatus = 0;
    m_doc.ReadDataSet();

    const int recordColumns = static_cast<int>(m_info.columns.size()) - 1;
    for (int i = range.first; i <= range.last; ++i) {
        const CDataField &record = m_info.record(m_doc, i);
        QStringList texts{Quilo::rowNumberText(i - range.first + 1)};
        for (int k = 0; k < recordColumns; ++k)
            texts.append(record.GetColumnText(k));
        Quilo::appendRow(this, texts);
    }
    Quilo::fitColumns(this);
}

CDailyList::CDailyList(CTarvelDoc &doc, QWidget *parent) : CLogList(kDaily, doc, parent) {}
CMonthlyList::CMonthlyList(CTarvelDoc &doc, QWidget *parent) : CLogList(kMonthly, doc, parent) {}
CQuarterlyList::CQuarterlyList(CTarvelDoc &doc, QWidget *parent) : CLogList(kQuarterly, doc, parent) {}
CYearlyList::CYearlyList(CTarvelDoc &doc, QWidget *parent) : CLogList(kYearly, doc, parent) {}
CDateLogList::CDateLogList(CTarvelDoc &doc, QWidget *parent) : CLogList(kDateLog, doc, parent) {}
CKeyLogs::CKeyLogs(CTarvelDoc &doc, QWidget *parent) : CLogList(kKeyLogs, doc, parent) {}

#include "loglists.h"

#include "recordstate.h"
#include "stringtable.h"
#include "tarveldoc.h"

#include <QBrush>

#include <algorithm>
#include <vector>

using Quilo::ColumnInfo;
using Quilo::RecordRange;

namespace {

// How a heading's column is laid out: dates and keys centred, amounts to the right.
ColumnInfo columnFor(unsigned heading)
{
    switch (heading) {
    case Str::ColOldDate:
    case Str::ColNewDate:
    case Str::ColStart:
    case Str::ColEnd: return {heading, Qt::AlignHCenter, 110};
    case Str::ColKey: return {heading, Qt::AlignHCenter, 150};
    case Str::ColWinMaxTime: return {heading, Qt::AlignHCenter, 80};
    case Str::ColDate: return {heading, Qt::AlignHCenter, 75};
    default: return {heading, Qt::AlignRight, 75};
    }
}

const Quilo::DataSetInfo &infoOf(Quilo::DataSetId id)
{
    return *Quilo::FindDataSet(id);
}

} // namespace

CLogList::CLogList(Quilo::DataSetId dataSet, CTarvelDoc &doc, QWidget *parent)
    : QTreeWidget(parent), m_info(infoOf(dataSet)), m_doc(doc)
{
    Quilo::makeReportList(this);
}

void CLogList::OnInitialUpdate()
{
    std::vector<ColumnInfo> columns{{Str::ColIdx, Qt::AlignLeft, 50}};
    for (unsigned heading : m_info.columns)
        columns.push_back(columnFor(heading));
    Quilo::setUpColumns(this, columns);
    connect(&m_doc, &CTarvelDoc::recordsChanged, this, &CLogList::OnRecordsChanged);
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
    // The key logs show the group the tree chose; the others their latest records.
    RecordRange r{0, static_cast<int>(m_info.shownRows) - 1};
    if (!m_info.groups.empty()) {
        const auto clampIndex = [](unsigned v) { return static_cast<int>(std::min<unsigned>(v, 1000)); };
        const Quilo::ReadRequest selected = m_doc.Selection();
        r = {clampIndex(selected.first), clampIndex(selected.last)};
    }
    r.first = std::max(r.first, 0);
    r.last = std::min(r.last, static_cast<int>(m_info.records) - 1);
    return r;
}

QStringList CLogList::rowTexts(int index, int row) const
{
    const CDataField &record = *m_doc.Record(m_info.id, static_cast<unsigned>(index));
    QStringList texts{Quilo::rowNumberText(row)};
    const QString missing = Quilo::missingText(record);
    if (!missing.isEmpty())
        return texts << missing; // the reason in the first column, no made-up values
    for (int k = 0; k < static_cast<int>(m_info.columns.size()); ++k)
        texts.append(record.GetColumnText(k));
    return texts;
}

void CLogList::showRow(QTreeWidgetItem *item, int index, int row)
{
    const QStringList texts = rowTexts(index, row);
    for (int c = 0; c < columnCount(); ++c)
        item->setText(c, c < texts.size() ? texts.at(c) : QString());
    const CDataField &record = *m_doc.Record(m_info.id, static_cast<unsigned>(index));
    const bool missing = !record.HoldsUnitValue();
    item->setForeground(1, missing ? QBrush(palette().color(QPalette::Disabled, QPalette::Text)) : QBrush());
}

void CLogList::FillList(bool reload)
{
    clear();
    m_shown = shownRecords();
    for (int i = m_shown.first; i <= m_shown.last; ++i)
        showRow(Quilo::appendRow(this, {}), i, i - m_shown.first + 1);
    Quilo::fitColumns(this);
    // A visit reads what was never read of the set (the key logs: of their group); Load reads
    // the records shown again.
    const auto shown = Quilo::ReadRequest::Records(m_info.id, static_cast<unsigned>(m_shown.first),
                                                  static_cast<unsigned>(m_shown.last));
    m_doc.StartRead(reload || !m_info.groups.empty() ? shown : Quilo::ReadRequest::Set(m_info.id), reload);
}

void CLogList::OnRecordsChanged(int dataSet, int first, int last)
{
    if (dataSet != m_info.id)
        return;
    for (int i = std::max(first, m_shown.first); i <= std::min(last, m_shown.last); ++i)
        if (QTreeWidgetItem *item = topLevelItem(i - m_shown.first))
            showRow(item, i, i - m_shown.first + 1);
    Quilo::fitColumns(this);
}

CDailyList::CDailyList(CTarvelDoc &doc, QWidget *parent) : CLogList(Quilo::dsDaily, doc, parent) {}
CMonthlyList::CMonthlyList(CTarvelDoc &doc, QWidget *parent) : CLogList(Quilo::dsMonthly, doc, parent) {}
CQuarterlyList::CQuarterlyList(CTarvelDoc &doc, QWidget *parent) : CLogList(Quilo::dsQuarterly, doc, parent) {}
CYearlyList::CYearlyList(CTarvelDoc &doc, QWidget *parent) : CLogList(Quilo::dsYearly, doc, parent) {}
CDateLogList::CDateLogList(CTarvelDoc &doc, QWidget *parent) : CLogList(Quilo::dsDateLog, doc, parent) {}
CKeyLogs::CKeyLogs(CTarvelDoc &doc, QWidget *parent) : CLogList(Quilo::dsKeyLogs, doc, parent) {}

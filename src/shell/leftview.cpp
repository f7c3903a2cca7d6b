#include "leftview.h"

#include "datasettable.h"
#include "stringtable.h"
#include "tarveldoc.h"

#include <QHeaderView>
#include <QPoint>

#include <array>

using namespace Quilo;

namespace {

enum Kind { Plain = 0, OpensLevel = 1, EndsLevel = 2 };

struct TreeEntry {
    unsigned text;
    Kind kind;
    int dataSet;       // 0: only groups others
    const char *group; // the key group the item chooses, by its stable name
};

const std::array<TreeEntry, 22> kTree{{
    {Str::TreeCounters, OpensLevel, 0, nullptr},
    {Str::TreeMomentary, Plain, dsCounters, nullptr},
    {Str::TreeDaily, Plain, dsDaily, nullptr},
    {Str::TreeMonthly, Plain, dsMonthly, nullptr},
    {Str::TreeQuarterly, Plain, dsQuarterly, nullptr},
    {Str::TreeYearly, EndsLevel, dsYearly, nullptr},
    {Str::TreeDateTime, OpensLevel, 0, nullptr},
    {Str::TreeMomentary, Plain, dsDateTime, nullptr},
    {Str::TreeLogs, EndsLevel, dsDateLog, nullptr},
    {Str::TreeConfig, OpensLevel, 0, nullptr},
    {Str::TreeMomentary, Plain, dsConfig, nullptr},
    {Str::TreeLogs, EndsLevel, dsConfEvents, nullptr},
    {Str::TreeKeys, OpensLevel, 0, nullptr},
    {Str::TreeMomentary, Plain, dsCurrentKey, nullptr},
    {Str::TreeTables, OpensLevel, 0, nullptr},
    {Str::GroupOmh, Plain, dsKeyTable, "OMH"},
    {Str::GroupSzf, Plain, dsKeyTable, "SZF"},
    {Str::GroupLab, Plain, dsKeyTable, "LAB"},
    {Str::GroupOrganizer, EndsLevel, dsKeyTable, "organizer"},
    {Str::TreeLogs, OpensLevel, 0, nullptr},
    {Str::GroupOmh, Plain, dsKeyLogs, "OMH"},
    {Str::GroupSzf, EndsLevel, dsKeyLogs, "SZF"},
}};

// Inserts entries from `index` as children of `parent` until the level ends; returns the index
// after the last entry used.
std::size_t buildLevel(QTreeWidget *tree, QTreeWidgetItem *parent, std::size_t index)
{
    while (index < kTree.size()) {
        const TreeEntry &e = kTree[index];
        auto *item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
        item->setText(0, LoadString(e.text));
        const DataSetInfo *set = FindDataSet(e.dataSet);
        item->setData(0, CLeftView::kCommandRole, set ? set->viewCommand : 0u);
        if (set && e.group)
            if (const KeyGroup *g = FindGroup(*set, QLatin1String(e.group)))
                item->setData(0, CLeftView::kRangeRole, QPoint(static_cast<int>(g->first), static_cast<int>(g->last)));
        ++index;
        if (e.kind == OpensLevel)
            index = buildLevel(tree, item, index);
        // an opening entry that is also the last of its level does not occur in the table
        if (e.kind == EndsLevel)
            break;
    }
    return index;
}

} // namespace

CLeftView::CLeftView(CTarvelDoc &doc, QWidget *parent) : QTreeWidget(parent), m_doc(doc)
{
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(this, &QTreeWidget::currentItemChanged, this, &CLeftView::OnSelChanged);
}

void CLeftView::OnInitialUpdate()
{
    clear();
    buildLevel(this, nullptr, 0);
    // The units' visits, below the unit's own data.
    auto *history = new QTreeWidgetItem(this);
    history->setText(0, LoadString(Str::CmdHistory).section(QLatin1Char('\n'), 1, 1));
    history->setData(0, kCommandRole, static_cast<unsigned>(Str::CmdHistory));
}

QTreeWidgetItem *CLeftView::findItem(const QStringList &path) const
{
    QTreeWidgetItem *found = nullptr;
    for (const QString &text : path) {
        const int n = found ? found->childCount() : topLevelItemCount();
        QTreeWidgetItem *next = nullptr;
        for (int i = 0; i < n && !next; ++i) {
            QTreeWidgetItem *c = found ? found->child(i) : topLevelItem(i);
            if (c->text(0) == text)
                next = c;
        }
        if (!next)
            return nullptr;
        found = next;
    }
    return found;
}

void CLeftView::OnSelChanged()
{
    const QTreeWidgetItem *item = currentItem();
    if (!item)
        return;
    const unsigned value = item->data(0, kCommandRole).toUInt();
    if (value == 0)
        return;
    // a key group sets the document's key range before its view reads
    const QVariant range = item->data(0, kRangeRole);
    const Quilo::DataSetInfo *set = Quilo::FindDataSetByView(value);
    if (range.isValid() && set)
        m_doc.Select(Quilo::ReadRequest::Records(set->id, static_cast<unsigned>(range.toPoint().x()),
                                                 static_cast<unsigned>(range.toPoint().y())));
    emit command(value);
}

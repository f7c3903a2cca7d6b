#include "leftview.h"

#include "stringtable.h"
#include "tarveldoc.h"

#include <QHeaderView>

#include <array>

namespace {

enum Kind { Plain = 0, OpensLevel = 1, EndsLevel = 2 };

struct TreeEntry {
    unsigned text;
    Kind kind;
    unsigned command; // 0: only groups others
};

const std::array<TreeEntry, 22> kTree{{
    {Str::TreeCounters, OpensLevel, 0},
    {Str::TreeMomentary, Plain, 42000},
    {Str::TreeDaily, Plain, 42001},
    {Str::TreeMonthly, Plain, 42002},
    {Str::TreeQuarterly, Plain, 42003},
    {Str::TreeYearly, EndsLevel, 42004},
    {Str::TreeDateTime, OpensLevel, 0},
    {Str::TreeMomentary, Plain, 42005},
    {Str::TreeLogs, EndsLevel, 42006},
    {Str::TreeConfig, OpensLevel, 0},
    {Str::TreeMomentary, Plain, 42011},
    {Str::TreeLogs, EndsLevel, 42012},
    {Str::TreeKeys, OpensLevel, 0},
    {Str::TreeMomentary, Plain, 42009},
    {Str::TreeTables, OpensLevel, 0},
    {Str::GroupOmh, Plain, 42007},
    {Str::GroupSzf, Plain, 42007},
    {Str::GroupLab, Plain, 42007},
    {Str::GroupOrganizer, EndsLevel, 42007},
    {Str::TreeLogs, OpensLevel, 0},
    {Str::GroupOmh, Plain, 42008},
    {Str::GroupSzf, EndsLevel, 42008},
}};

struct KeyRange {
    unsigned command;
    unsigned text;
    unsigned first;
    unsigned last;
};

// Compared in this order; the key table's four groups cover its 192 keys, the logs' two
// groups their 40 records.
const std::array<KeyRange, 6> kKeyRanges{{
    {42007, Str::GroupOmh, 128, 191},
    {42007, Str::GroupSzf, 64, 127},
    {42007, Str::GroupLab, 32, 63},
    {42007, Str::GroupOrganizer, 0, 31},
    {42008, Str::GroupOmh, 0, 19},
    {42008, Str::GroupSzf, 20, 39},
}};

// Inserts entries from `index` as children of `parent` until the level ends; returns the index
// after the last entry used.
std::size_t buildLevel(QTreeWidget *tree, QTreeWidgetItem *parent, std::size_t index)
{
    while (index < kTree.size()) {
        const TreeEntry &e = kTree[index];
        auto *item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
        item->setText(0, LoadString(e.text));
        item->setData(0, CLeftView::kCommandRole, e.command);
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
    setKeyRange(value, item->text(0));
    emit command(value);
}

void CLeftView::setKeyRange(unsigned value, const QString &text)
{
    for (const KeyRange &r : kKeyRanges) {
        if (r.command == value && text == LoadString(r.text)) {
            m_doc.m_nFirstKey = r.first;
            m_doc.m_nLastKey = r.last;
            return;
        }
    }
}

#include "reportlist.h"

#include "stringtable.h"

#include <QFontMetrics>
#include <QHeaderView>

#include <algorithm>
#include <QTreeWidget>

namespace Quilo {

namespace {
// The widths were chosen for a small dialog font (about 6 pixels a letter); wider fonts would
// cut the dates off, so the widths grow with the font.
double widthScale(const QFontMetrics &metrics)
{
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const double average = metrics.horizontalAdvance(letters) / 52.0;
    return std::max(1.0, average / 6.0);
}
} // namespace

void makeReportList(QTreeWidget *list)
{
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSortingEnabled(false);
    list->setAllColumnsShowFocus(true);
    list->header()->setSectionsClickable(false);
    list->header()->setSortIndicatorShown(false);
    list->header()->setStretchLastSection(false);
}

void setUpColumns(QTreeWidget *list, std::span<const ColumnInfo> columns)
{
    list->setColumnCount(static_cast<int>(columns.size()));
    auto *header = new QTreeWidgetItem;
    for (int i = 0; i < static_cast<int>(columns.size()); ++i) {
        const ColumnInfo &c = columns[static_cast<std::size_t>(i)];
        header->setText(i, LoadString(c.heading));
        header->setTextAlignment(i, c.alignment | Qt::AlignVCenter);
    }
    list->setHeaderItem(header);
    const double scale = widthScale(list->fontMetrics());
    for (int i = 0; i < static_cast<int>(columns.size()); ++i)
        list->setColumnWidth(i, qRound(columns[static_cast<std::size_t>(i)].width * scale));
}

void fitColumns(QTreeWidget *list)
{
    constexpr int kPadding = 16; // the cell's margins on both sides
    const QFontMetrics metrics = list->fontMetrics();
    for (int i = 0; i < list->columnCount(); ++i) {
        int needed = list->header()->sectionSizeHint(i);
        for (int r = 0; r < list->topLevelItemCount(); ++r)
            needed = std::max(needed, metrics.horizontalAdvance(list->topLevelItem(r)->text(i)) + kPadding);
        if (needed > list->columnWidth(i))
            list->setColumnWidth(i, needed);
    }
}

QTreeWidgetItem *appendRow(QTreeWidget *list, const QStringList &texts)
{
    auto *item = new QTreeWidgetItem;
    const QTreeWidgetItem *header = list->headerItem();
    const int n = std::min<int>(static_cast<int>(texts.size()), list->columnCount());
    for (int i = 0; i < list->columnCount(); ++i) {
        if (i < n)
            item->setText(i, texts.at(i));
        item->setTextAlignment(i, Qt::Alignment(QFlag(header->textAlignment(i))));
    }
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    list->addTopLevelItem(item);
    return item;
}

QString rowNumberText(int number)
{
    // the format holds one "%d"; substituting keeps a translated format from reaching printf
    return LoadString(Str::RowNumber).replace(QLatin1String("%d"), QString::number(number));
}

} // namespace Quilo

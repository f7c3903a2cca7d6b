#pragma once
// The report-list look shared by the log lists and the key table: full-row selection, text
// only, not editable, no sorting, columns from a table of (heading, alignment, width).

#include <QString>
#include <QStringList>

#include <span>

class QTreeWidget;
class QTreeWidgetItem;

namespace Quilo {

struct ColumnInfo {
    unsigned heading; // string number
    Qt::Alignment alignment;
    int width;        // pixels
};

// Applies the report-list look to a fresh list.
void makeReportList(QTreeWidget *list);
// Inserts the columns in table order, headings loaded from the string table.
void setUpColumns(QTreeWidget *list, std::span<const ColumnInfo> columns);
// Widens the columns whose texts would be cut off; never narrows one.
void fitColumns(QTreeWidget *list);
// Appends one row; texts beyond the column count are dropped, missing ones stay empty.
QTreeWidgetItem *appendRow(QTreeWidget *list, const QStringList &texts);
// The row number as the lists show it: "%d." of `number`.
QString rowNumberText(int number);

} // namespace Quilo

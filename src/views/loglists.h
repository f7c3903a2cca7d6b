#pragma once
// The record logs as report lists, one row per record: daily, monthly, quarterly and yearly
// counters, the date modification log and the key usage logs. One class does the work from
// the data-set table; each log is a named class the frame's view table can create. A list
// shows what the document holds at once and fills in as the records arrive; a record that
// was not read, or failed, shows why instead of values.

#include "datasettable.h"
#include "quiloview.h"
#include "reportlist.h"

#include <QTreeWidget>

class CTarvelDoc;
class CDataField;

namespace Quilo {

// Which records of the document a log list shows, inclusive range.
struct RecordRange {
    int first = 0;
    int last = -1;
};

} // namespace Quilo

class CLogList : public QTreeWidget, public Quilo::View
{
    Q_OBJECT
public:
    CLogList(Quilo::DataSetId dataSet, CTarvelDoc &doc, QWidget *parent);

    QWidget *widget() override { return this; }
    void OnInitialUpdate() override;
    bool answersCommand(unsigned command) const override;
    void onCommand(unsigned command) override;

    void OnLoad();
    void FillList(bool reload);
    // The records shown, clamped to the document's array.
    Quilo::RecordRange shownRecords() const;

private:
    void OnRecordsChanged(int dataSet, int first, int last);
    QStringList rowTexts(int index, int row) const;
    void showRow(QTreeWidgetItem *item, int index, int row);

    const Quilo::DataSetInfo &m_info;
    CTarvelDoc &m_doc;
    Quilo::RecordRange m_shown;
};

class CDailyList : public CLogList
{
    Q_OBJECT
public:
    CDailyList(CTarvelDoc &doc, QWidget *parent);
};

class CMonthlyList : public CLogList
{
    Q_OBJECT
public:
    CMonthlyList(CTarvelDoc &doc, QWidget *parent);
};

class CQuarterlyList : public CLogList
{
    Q_OBJECT
public:
    CQuarterlyList(CTarvelDoc &doc, QWidget *parent);
};

class CYearlyList : public CLogList
{
    Q_OBJECT
public:
    CYearlyList(CTarvelDoc &doc, QWidget *parent);
};

class CDateLogList : public CLogList
{
    Q_OBJECT
public:
    CDateLogList(CTarvelDoc &doc, QWidget *parent);
};

class CKeyLogs : public CLogList
{
    Q_OBJECT
public:
    CKeyLogs(CTarvelDoc &doc, QWidget *parent);
};

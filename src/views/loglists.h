#pragma once
// The record logs as report lists, one row per record: daily, monthly, quarterly and yearly
// counters, the date modification log and the key usage logs. One class does the work; each
// log is a row of its table and a named class the frame's view table can create.

#include "quiloview.h"
#include "reportlist.h"

#include <QTreeWidget>

#include <span>

class CTarvelDoc;
class CDataField;

namespace Quilo {

// Which records of the document a log list shows, inclusive range.
struct RecordRange {
    int first = 0;
    int last = -1;
};

struct LogListInfo {
    int dataSet;                                   // the document's m_nDataSet value
    std::span<const ColumnInfo> columns;           // column 0 holds the row number
    int recordCount;                               // size of the document's array
    CDataField &(*record)(CTarvelDoc &doc, int index);
    RecordRange (*shown)(const CTarvelDoc &doc);   // rows, before clamping to the array
};

} // namespace Quilo

class CLogList : public QTreeWidget, public Quilo::View
{
    Q_OBJECT
public:
    CLogList(const Quilo::LogListInfo &info, CTarvelDoc &doc, QWidget *parent);

    QWidget *widget() override { return this; }
    void OnInitialUpdate() override;
    bool answersCommand(unsigned command) const override;
    void onCommand(unsigned command) override;

    void OnLoad();
    void FillList(bool reload);
    // The records shown, clamped to the document's array.
    Quilo::RecordRange shownRecords() const;

private:
    const Quilo::LogListInfo &m_info;
    CTarvelDoc &m_doc;
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

#pragma once
// One group of the unit's key table, a key a row with the state of its last transaction. A
// double click on a key opens a masked editor over the cell; when the list takes the focus
// back, the view asks before it writes that one key to the unit. Keys not read show no key.

#include "quiloview.h"

#include <QTreeWidget>

class CKeyEdit;
class CTarvelDoc;

class CKeyTables : public QTreeWidget, public Quilo::View
{
    Q_OBJECT
public:
    static constexpr int kEditorId = 10000;

    CKeyTables(CTarvelDoc &doc, QWidget *parent);
    ~CKeyTables() override;

    QWidget *widget() override { return this; }
    void OnInitialUpdate() override;
    bool answersCommand(unsigned command) const override;
    void onCommand(unsigned command) override;

    void FillList();
    // Opens the editor over a cell; nothing for another column or no row.
    void OnDblClk(int row, int column);
    CKeyEdit *editor() const { return m_pEdit; }

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void OnKillFocus();
    void OnSetFocus();
    void ConfirmAndWrite(int row, const QString &text);
    void Write(int row, const QString &text);
    void closeKeyEdit();
    void placeEditor();
    void showRow(int row);
    void OnRecordsChanged(int dataSet, int first, int last);
    int firstKey() const;
    int lastKey() const;

    CTarvelDoc &m_doc;
    int m_nEditRow = -1;
    bool m_bEditOpening = false;
    CKeyEdit *m_pEdit = nullptr;
    int m_nFirst = 0; // the group shown, as it was when the list was filled
    int m_nLast = -1;
};

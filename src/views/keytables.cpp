#include "keytables.h"

#include "fields.h"
#include "keyedit.h"
#include "messagebox.h"
#include "reportlist.h"
#include "stringtable.h"
#include "tarveldoc.h"

#include <QFocusEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <array>

namespace {

const std::array<Quilo::ColumnInfo, 3> kColumns{{
    {Str::ColIdx, Qt::AlignLeft, 50},
    {Str::ColKey, Qt::AlignHCenter, 175},
    {Str::ColState, Qt::AlignHCenter, 75},
}};

constexpr int kKeyColumn = 1;
constexpr int kStateColumn = 2;

QString stateText(std::int32_t status)
{
    return LoadString((status & 0x7FFF) != 0 ? Str::StateError : Str::StateOk);
}

} // namespace

CKeyTables::CKeyTables(CTarvelDoc &doc, QWidget *parent) : QTreeWidget(parent), m_doc(doc)
{
    Quilo::makeReportList(this);
}

CKeyTables::~CKeyTables()
{
    // an edit still open is dropped: nothing is written
    closeKeyEdit();
}

int CKeyTables::firstKey() const
{
    return static_cast<int>(std::min<unsigned>(m_doc.m_nFirstKey, 1000));
}

int CKeyTables::lastKey() const
{
    // the tree sets the range; anything outside the table is cut off
    const int last = static_cast<int>(std::min<unsigned>(m_doc.m_nLastKey, 1000));
    return std::min(last, static_cast<int>(m_doc.m_aKeyTable.size()) - 1);
}

void CKeyTables::OnInitialUpdate()
{
    m_doc.m_nDataSet = CTarvelDoc::dsKeyTable;
    Quilo::setUpColumns(this, kColumns);
    FillList();
}

bool CKeyTables::answersCommand(unsigned command) const
{
    return command == Str::CmdLoad;
}

void CKeyTables::onCommand(unsigned command)
{
    if (command == Str::CmdLoad)
        FillList();
}

void CKeyTables::FillList()
{
    if (m_pEdit)
        return; // Load waits until the edit is over
    clear();
    m_doc.m_nDataSet = CTarvelDoc::dsKeyTable;
    const int first = firstKey();
    const int last = lastKey();
    for (int i = first; i <= last; ++i)
        m_doc.m_aKeyTable[static_cast<std::size_t>(i)].m_nStatus = 0;
    m_doc.ReadDataSet();
    for (int i = first; i <= last; ++i) {
        const CKeyField &key = m_doc.m_aKeyTable[static_cast<std::size_t>(i)];
        Quilo::appendRow(this, {Quilo::rowNumberText(i - first + 1), key.GetText(), stateText(key.m_nStatus)});
    }
    Quilo::fitColumns(this);
}

void CKeyTables::mouseDoubleClickEvent(QMouseEvent *event)
{
    const QPoint at = event->position().toPoint();
    const QModelIndex index = indexAt(at);
    const int column = header()->logicalIndexAt(at.x());
    QTreeWidget::mouseDoubleClickEvent(event);
    OnDblClk(index.isValid() ? index.row() : -1, column);
}

void CKeyTables::OnDblClk(int row, int column)
{
    if (column != kKeyColumn || row < 0 || row >= topLevelItemCount())
        return;
    // a second double click while an editor is open ends that edit without writing
    closeKeyEdit();
    m_nEditRow = row;
    QTreeWidgetItem *item = topLevelItem(row);
    QRect cell = visualItemRect(item);
    cell.setLeft(header()->sectionViewportPosition(kKeyColumn));
    cell.setWidth(header()->sectionSize(kKeyColumn));
    cell.translate(viewport()->geometry().topLeft());
    cell.adjust(-22, -5, 22, 5);

    m_pEdit = new CKeyEdit(this);
    m_pEdit->setObjectName(QStringLiteral("edit%1").arg(kEditorId));
    m_pEdit->setAlignment(Qt::AlignCenter);
    m_pEdit->SetUpperCase(true);
    m_pEdit->setGeometry(cell);
    const int index = firstKey() + row;
    Quilo::setUpTableKeyEdit(*m_pEdit, m_doc.m_aKeyTable[static_cast<std::size_t>(index)].GetText());
    m_pEdit->UpdateData();
    m_pEdit->setCursorPosition(0);

    m_bEditOpening = true;
    m_pEdit->show();
    m_pEdit->setFocus(Qt::OtherFocusReason);
}

void CKeyTables::focusOutEvent(QFocusEvent *event)
{
    QTreeWidget::focusOutEvent(event);
    OnKillFocus();
}

void CKeyTables::focusInEvent(QFocusEvent *event)
{
    QTreeWidget::focusInEvent(event);
    OnSetFocus();
}

void CKeyTables::OnKillFocus()
{
    if (!m_pEdit)
        return;
    if (m_bEditOpening) {
        m_bEditOpening = false; // the focus going to the new editor
        return;
    }
    closeKeyEdit();
}

void CKeyTables::OnSetFocus()
{
    if (!m_pEdit)
        return;
    const QString text = m_pEdit->text();
    const int row = m_nEditRow;
    closeKeyEdit();
    // asked once the focus change is over: a modal box inside it would fight over the focus
    QTimer::singleShot(0, this, [this, row, text] { ConfirmAndWrite(row, text); });
}

void CKeyTables::closeKeyEdit()
{
    CKeyEdit *edit = m_pEdit;
    m_pEdit = nullptr;
    m_bEditOpening = false;
    if (!edit)
        return;
    edit->hide();
    // Enter may still be on its way through the editor's own handler
    edit->deleteLater();
}

void CKeyTables::ConfirmAndWrite(int row, const QString &text)
{
    Quilo::MessageRequest question;
    question.icon = QMessageBox::Question;
    question.text = FormatString(Str::KeyModifyQuestion, 1, text);
    question.caption = LoadString(Str::KeyModifyCaption);
    question.buttons = QMessageBox::Yes | QMessageBox::No;
    if (Quilo::messageBox(this, question) != QMessageBox::Yes)
        return;
    QTreeWidgetItem *item = topLevelItem(row);
    if (m_doc.WriteKey(text, row)) {
        if (item) {
            item->setText(kStateColumn, LoadString(Str::StateOk));
            item->setText(kKeyColumn, text);
        }
    } else if (item) {
        item->setText(kStateColumn, LoadString(Str::StateError));
    }
}

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
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>

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

QString stateText(const CKeyField &key)
{
    if (key.HoldsUnitValue())
        return LoadString(Str::StateOk);
    if (key.State() == RecordStatus::State::NotRead)
        return LoadString(Str::StateNotRead);
    return LoadString(Str::StateError);
}

// A key exactly as the list shows one: eight pairs of hexadecimal digits in the key format.
bool isCompleteKey(const QString &text)
{
    CKeyField key;
    if (!CKeyField::ScanKey(text, key.m_abKey))
        return false;
    return key.GetText().compare(text, Qt::CaseInsensitive) == 0;
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
    return static_cast<int>(std::min<unsigned>(m_doc.Selection().first, 1000));
}

int CKeyTables::lastKey() const
{
    // the tree sets the range; anything outside the table is cut off
    const int last = static_cast<int>(std::min<unsigned>(m_doc.Selection().last, 1000));
    return std::min(last, static_cast<int>(Quilo::RecordTraits<Quilo::dsKeyTable>::kRecords) - 1);
}

void CKeyTables::OnInitialUpdate()
{
    Quilo::setUpColumns(this, kColumns);
    connect(&m_doc, &CTarvelDoc::recordsChanged, this, &CKeyTables::OnRecordsChanged);
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
    m_nFirst = firstKey();
    m_nLast = lastKey();
    for (int i = m_nFirst; i <= m_nLast; ++i) {
        Quilo::appendRow(this, {});
        showRow(i - m_nFirst);
    }
    Quilo::fitColumns(this);
    // the whole group is read again at every visit: keys change at the unit (a file shown
    // does not change, and is not read); each row keeps what it shows until its reply comes
    m_doc.StartRead(Quilo::ReadRequest::Records(Quilo::dsKeyTable, static_cast<unsigned>(m_nFirst),
                                                static_cast<unsigned>(m_nLast)),
                    true);
}

void CKeyTables::showRow(int row)
{
    QTreeWidgetItem *item = topLevelItem(row);
    if (!item)
        return;
    const auto index = static_cast<unsigned>(m_nFirst + row);
    const CKeyField key = m_doc.ReadOut().Decoded<Quilo::dsKeyTable>(index);
    // a refused write leaves the key the unit still holds; a key the unit never gave (or
    // took) is not shown: it would be a made-up one
    const CRecordMeta *meta = m_doc.Meta(CTarvelDoc::dsKeyTable, index);
    const bool known = key.HoldsUnitValue()
                       || (key.State() == RecordStatus::State::WriteFailed && meta && !meta->raw.isEmpty());
    item->setText(0, Quilo::rowNumberText(row + 1));
    item->setText(kKeyColumn, known ? key.GetText() : QString());
    item->setText(kStateColumn, stateText(key));
}

void CKeyTables::OnRecordsChanged(int dataSet, int first, int last)
{
    if (dataSet != CTarvelDoc::dsKeyTable)
        return;
    for (int i = std::max(first, m_nFirst); i <= std::min(last, m_nLast); ++i)
        showRow(i - m_nFirst);
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
    if (m_doc.IsOffline()) {
        // a key typed here could go nowhere: a file is not the unit
        say(LoadString(Str::KeyOfflineNoEdit));
        return;
    }
    // a second double click while an editor is open ends that edit without writing
    closeKeyEdit();
    m_nEditRow = row;
    scrollToItem(topLevelItem(row));

    m_pEdit = new CKeyEdit(this);
    m_pEdit->setObjectName(QStringLiteral("edit%1").arg(kEditorId));
    m_pEdit->setAlignment(Qt::AlignCenter);
    m_pEdit->SetUpperCase(true);
    const CKeyField key = m_doc.ReadOut().Decoded<Quilo::dsKeyTable>(static_cast<unsigned>(m_nFirst + row));
    // a key not read starts from zeros; the question before writing shows what was typed
    Quilo::setUpTableKeyEdit(*m_pEdit, key.HoldsUnitValue() ? key.GetText() : CKeyField().GetText());
    m_pEdit->UpdateData();
    m_pEdit->setCursorPosition(0);
    placeEditor();
    // the editor stays over its row: the list does not scroll while it is open
    verticalScrollBar()->setEnabled(false);
    horizontalScrollBar()->setEnabled(false);

    m_bEditOpening = true;
    m_pEdit->show();
    m_pEdit->setFocus(Qt::OtherFocusReason);
}

void CKeyTables::placeEditor()
{
    QTreeWidgetItem *item = m_pEdit ? topLevelItem(m_nEditRow) : nullptr;
    if (!item)
        return;
    QRect cell = visualItemRect(item);
    cell.setLeft(header()->sectionViewportPosition(kKeyColumn));
    cell.setWidth(header()->sectionSize(kKeyColumn));
    cell.translate(viewport()->geometry().topLeft());
    cell.adjust(-22, -5, 22, 5);
    m_pEdit->setGeometry(cell);
}

void CKeyTables::wheelEvent(QWheelEvent *event)
{
    if (m_pEdit) {
        event->accept();
        return;
    }
    QTreeWidget::wheelEvent(event);
}

void CKeyTables::scrollContentsBy(int dx, int dy)
{
    QTreeWidget::scrollContentsBy(dx, dy);
    placeEditor();
}

void CKeyTables::resizeEvent(QResizeEvent *event)
{
    QTreeWidget::resizeEvent(event);
    placeEditor();
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
    // the key the editor holds, not whatever its box shows for the moment
    const QString text = m_pEdit->shownKey();
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
    verticalScrollBar()->setEnabled(true);
    horizontalScrollBar()->setEnabled(true);
    if (!edit)
        return;
    edit->hide();
    // Enter may still be on its way through the editor's own handler
    edit->deleteLater();
}

void CKeyTables::ConfirmAndWrite(int row, const QString &text)
{
    if (!isCompleteKey(text)) {
        Quilo::MessageRequest refusal;
        refusal.icon = QMessageBox::Warning;
        refusal.text = LoadString(Str::KeyIncomplete).arg(CKeyField().GetText());
        refusal.caption = LoadString(Str::KeyModifyCaption);
        Quilo::messageBox(this, refusal);
        return;
    }
    Quilo::MessageRequest question;
    question.icon = QMessageBox::Question;
    question.text = FormatString(Str::KeyModifyQuestion, 1, text);
    question.caption = LoadString(Str::KeyModifyCaption);
    question.buttons = QMessageBox::Yes | QMessageBox::No;
    if (Quilo::messageBox(this, question) != QMessageBox::Yes)
        return;
    Write(row, text);
}

void CKeyTables::Write(int row, const QString &text)
{
    if (m_doc.IsOffline()) {
        say(LoadString(Str::KeyOfflineNoEdit)); // a file was opened while the question was asked
        return;
    }
    if (!m_doc.IsBusy()) {
        // the row shows what the unit holds afterwards, through recordsChanged
        m_doc.StartWriteKeyEntry(text, static_cast<unsigned>(m_nFirst + row));
        return;
    }
    // a read may be running: the write follows it, as one transaction; a read of one set
    // gives way, a read of the whole unit (a visit in the making) is waited for
    if (m_doc.RunningDataSet() != CTarvelDoc::kReadAll)
        m_doc.StopOperation();
    auto pending = std::make_shared<QMetaObject::Connection>();
    *pending = connect(&m_doc, &CTarvelDoc::busyChanged, this, [this, pending, row, text](bool busy) {
        if (busy)
            return;
        disconnect(*pending);
        Write(row, text);
    });
}

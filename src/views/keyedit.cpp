#include "keyedit.h"

#include <QKeyEvent>
#include <QKeySequence>

#include <algorithm>

const CCharSet &CCharSetMap::Lookup(QChar maskChar) const
{
    static const CCharSet empty;
    const auto it = m_sets.find(maskChar);
    return it == m_sets.end() ? empty : it->second;
}

CKeyEdit::CKeyEdit(QWidget *parent) : QLineEdit(parent)
{
    // a drop would put any text into the box; typing is the only way in
    setAcceptDrops(false);
    // Delete, Cut, Paste, a middle-click paste or an input method change the box's text
    // behind the mask's back: keep only what still has the key's shape
    connect(this, &QLineEdit::textEdited, this, &CKeyEdit::OnTextEdited);
}

void CKeyEdit::SetKeyText(const QString &text)
{
    m_strText = text;
    setText(shownText());
}

void CKeyEdit::OnTextEdited(const QString &text)
{
    if (IsValid(text)) {
        m_strText = text; // a whole key pasted in its shape is as good as typed
        return;
    }
    const int caret = std::min<int>(cursorPosition(), static_cast<int>(m_strMask.size()));
    if (m_strText.isEmpty())
        m_strText = m_strTemplate;
    setText(shownText());
    setCursorPosition(std::min<int>(caret, static_cast<int>(text.size())));
}

void CKeyEdit::UpdateData()
{
    if (m_strText.isEmpty()) {
        m_strText = m_strTemplate;
        setText(shownText());
    }
}

bool CKeyEdit::IsValid(const QString &candidate) const
{
    if (candidate.size() != m_strMask.size())
        return false;
    for (qsizetype i = 0; i < candidate.size(); ++i) {
        const QChar c = candidate.at(i);
        const bool fromTemplate = i < m_strTemplate.size() && m_strTemplate.at(i) == c;
        if (!m_charSets.Lookup(m_strMask.at(i)).Contains(c) && !fromTemplate)
            return false;
    }
    return true;
}

std::pair<int, int> CKeyEdit::selection() const
{
    if (hasSelectedText())
        return {selectionStart(), selectionEnd()};
    return {cursorPosition(), cursorPosition()};
}

void CKeyEdit::setSelectionRange(int start, int end)
{
    // the caret stands at the end, as after a selection made to the right
    if (start == end)
        setCursorPosition(start);
    else
        setSelection(start, end - start);
}

void CKeyEdit::SkipLiterals()
{
    int p = selection().first;
    while (p < m_strMask.size() && m_literals.Contains(m_strMask.at(p)))
        ++p;
    setSelectionRange(p, p);
}

void CKeyEdit::OnChar(QChar c)
{
    if (isReadOnly())
        return;
    if (c == QLatin1Char('\r')) {
        if (m_bCloseOnEnter)
            closeByEnter();
        return;
    }
    if (m_strText.isEmpty())
        m_strText = m_strTemplate;
    SkipLiterals();
    auto [start, end] = selection();
    if (start < m_strMask.size() && start < m_strText.size()) {
        QString candidate = m_strText;
        candidate[start] = c;
        if (IsValid(candidate)) {
            m_strText = candidate;
            ++start;
            ++end;
        }
    }
    setSelectionRange(start, end);
    SkipLiterals();
    std::tie(start, end) = selection();
    // also undoes whatever Delete or the clipboard did to the shown text
    setText(shownText());
    setSelectionRange(std::min<int>(start, static_cast<int>(text().size())),
                      std::min<int>(end, static_cast<int>(text().size())));
}

void CKeyEdit::closeByEnter()
{
    // the owner hears of it when its list takes the focus back; the owner deletes the editor
    if (QWidget *owner = parentWidget())
        owner->setFocus(Qt::OtherFocusReason);
    close();
}

void CKeyEdit::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (m_bCloseOnEnter && !isReadOnly()) {
            OnChar(QLatin1Char('\r'));
            event->accept();
        } else {
            event->ignore(); // a dialog's default button takes it
        }
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        event->ignore(); // a dialog's cancel
        return;
    }
    // clipboard and undo stay the standard edit's; so do caret keys and Delete
    static const QKeySequence::StandardKey kStandard[] = {QKeySequence::Copy, QKeySequence::Cut,
                                                           QKeySequence::Paste, QKeySequence::Undo,
                                                           QKeySequence::Redo, QKeySequence::SelectAll};
    for (QKeySequence::StandardKey key : kStandard)
        if (event->matches(key)) {
            QLineEdit::keyPressEvent(event);
            return;
        }
    const QString typed = event->text();
    if (typed.isEmpty() || event->key() == Qt::Key_Delete) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    // every character, Backspace and control characters included, goes through the mask
    for (QChar c : typed)
        OnChar(c);
    event->accept();
}

namespace Quilo {

void setUpDialogKeyEdit(CKeyEdit &edit)
{
    edit.SetTemplate(QStringLiteral("00 - 00 00 00 00 00 00 - 00"));
    edit.SetLiterals(CCharSet(QStringLiteral(" ")));
    edit.SetMask(QStringLiteral("$$   $$ $$ $$ $$ $$ $$   $$"));
    edit.SetCharSet(QLatin1Char('$'), CCharSet(QStringLiteral("0123456789abcdefABCDEF")));
}

void setUpTableKeyEdit(CKeyEdit &edit, const QString &keyText)
{
    edit.SetMask(QStringLiteral("__   __ __ __ __ __ __   __"));
    edit.SetTemplate(keyText);
    edit.SetLiterals(CCharSet(QStringLiteral(" ")));
    edit.SetCharSet(QLatin1Char('_'), CCharSet(QStringLiteral("0123456789ABCDEFabcdef")));
}

} // namespace Quilo

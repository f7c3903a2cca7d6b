#pragma once
// A single-line edit that keeps an 8-byte key in its 27-character shape while the user types:
// each typed character overwrites the one under the caret, only characters allowed at that
// position are taken, and the caret jumps over the fixed separators. A mask says, position by
// position, which kind of character belongs there; literal mask characters mark the fixed
// positions; a template gives the text editing starts from.

#include <QLineEdit>
#include <QString>

#include <map>
#include <utility>

class CCharSet
{
public:
    CCharSet() = default;
    explicit CCharSet(const QString &chars) : m_chars(chars) {}
    bool Contains(QChar c) const { return m_chars.contains(c); }

private:
    QString m_chars;
};

// Accepted characters per mask character; a mask character without an entry accepts nothing.
class CCharSetMap
{
public:
    const CCharSet &Lookup(QChar maskChar) const;
    void Set(QChar maskChar, const CCharSet &set) { m_sets[maskChar] = set; }

private:
    std::map<QChar, CCharSet> m_sets;
};

class CKeyEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit CKeyEdit(QWidget *parent = nullptr);

    void SetMask(const QString &mask) { m_strMask = mask; }
    void SetTemplate(const QString &text) { m_strTemplate = text; }
    void SetLiterals(const CCharSet &literals) { m_literals = literals; }
    void SetCharSet(QChar maskChar, const CCharSet &set) { m_charSets.Set(maskChar, set); }
    // Shows typed letters in upper case (the text the control keeps is as typed).
    void SetUpperCase(bool on) { m_bUpperCase = on; }

    // Opens on the template when nothing has been typed yet.
    void UpdateData();
    // The control's own copy of its text: empty until the first keystroke or UpdateData().
    QString keyText() const { return m_strText; }
    // The key the control holds: what was typed over the template (or over SetKeyText()).
    QString key() const { return m_strText.isEmpty() ? m_strTemplate : m_strText; }
    // The same as the box shows it (in upper case when asked to).
    QString shownKey() const { return m_bUpperCase ? key().toUpper() : key(); }
    // Shows `text` and edits from it, as if it had been typed.
    void SetKeyText(const QString &text);

    // One typed character, as the keyboard delivers it.
    void OnChar(QChar c);

    bool m_bCloseOnEnter = true;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool IsValid(const QString &candidate) const;
    void SkipLiterals();
    std::pair<int, int> selection() const;
    void setSelectionRange(int start, int end);
    QString shownText() const { return m_bUpperCase ? m_strText.toUpper() : m_strText; }
    void closeByEnter();
    void OnTextEdited(const QString &text);

    CCharSetMap m_charSets;
    CCharSet m_literals;
    QString m_strTemplate;
    QString m_strMask;
    QString m_strText;
    bool m_bUpperCase = false;
};

namespace Quilo {
// The two set-ups in use: the key mode dialog's and the key table's in-place editor's.
void setUpDialogKeyEdit(CKeyEdit &edit);
void setUpTableKeyEdit(CKeyEdit &edit, const QString &keyText);
} // namespace Quilo

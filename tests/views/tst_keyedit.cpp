// Typing into the masked key box: what is taken, where the caret goes, what is refused.

#include "keyedit.h"

#include <QtTest>

class TestKeyEdit : public QObject
{
    Q_OBJECT
private slots:
    void typing_data();
    void typing();
    void enter_data();
    void enter();
};

namespace {
const QString kTableKey = u"12 - 34 56 78 9A BC DE - F0"_qs;
constexpr char16_t kDelete = u'\x7f';
} // namespace

void TestKeyEdit::typing_data()
{
    QTest::addColumn<bool>("table");      // the key table's editor, else the key mode dialog's
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<int>("caret");
    QTest::addColumn<int>("selected");    // characters selected from the caret on
    QTest::addColumn<QString>("keys");    // \x7f stands for Delete
    QTest::addColumn<QString>("kept");    // the control's own text
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("caretAfter");

    const QString zeros = u"00 - 00 00 00 00 00 00 - 00"_qs;
    QTest::newRow("letter then digit jump the separator")
        << false << false << 0 << 0 << u"a1"_qs << u"a1 - 00 00 00 00 00 00 - 00"_qs
        << u"A1 - 00 00 00 00 00 00 - 00"_qs << 5;
    QTest::newRow("g is refused") << false << false << 0 << 0 << u"g"_qs << zeros << zeros << 0;
    QTest::newRow("caret inside the separator") << false << false << 3 << 0 << u"7"_qs
                                                << u"00 - 70 00 00 00 00 00 - 00"_qs
                                                << u"00 - 70 00 00 00 00 00 - 00"_qs << 6;
    QTest::newRow("sixteen digits, then no more")
        << false << false << 0 << 0 << u"0123456789ABCDEF9"_qs << u"01 - 23 45 67 89 AB CD - EF"_qs
        << u"01 - 23 45 67 89 AB CD - EF"_qs << 27;
    QTest::newRow("backspace and blank refused") << false << false << 0 << 0 << u"1\b "_qs
                                                 << u"10 - 00 00 00 00 00 00 - 00"_qs
                                                 << u"10 - 00 00 00 00 00 00 - 00"_qs << 1;
    QTest::newRow("a selection: first character only")
        << false << false << 5 << 4 << u"9"_qs << u"00 - 90 00 00 00 00 00 - 00"_qs
        << u"00 - 90 00 00 00 00 00 - 00"_qs << 6;
    QTest::newRow("read-only takes nothing") << false << true << 0 << 0 << u"12"_qs << QString()
                                             << u"initial"_qs << 0;
    QTest::newRow("table: opens on the key, lower case shown upper")
        << true << false << 0 << 0 << u"ab"_qs << u"ab - 34 56 78 9A BC DE - F0"_qs
        << u"AB - 34 56 78 9A BC DE - F0"_qs << 5;
    QTest::newRow("table: Delete undone by the next character")
        << true << false << 0 << 0 << QString(kDelete) + u"c"_qs << u"c2 - 34 56 78 9A BC DE - F0"_qs
        << u"C2 - 34 56 78 9A BC DE - F0"_qs << 1;
    QTest::newRow("table: last digit") << true << false << 26 << 0 << u"7"_qs
                                       << u"12 - 34 56 78 9A BC DE - F7"_qs
                                       << u"12 - 34 56 78 9A BC DE - F7"_qs << 27;
}

void TestKeyEdit::typing()
{
    QFETCH(bool, table);
    QFETCH(bool, readOnly);
    QFETCH(int, caret);
    QFETCH(int, selected);
    QFETCH(QString, keys);

    CKeyEdit edit;
    edit.SetUpperCase(true);
    if (table) {
        Quilo::setUpTableKeyEdit(edit, kTableKey);
        edit.UpdateData();
    } else {
        Quilo::setUpDialogKeyEdit(edit);
        edit.setText(u"initial"_qs); // what the dialog puts in: not consulted
        if (!readOnly)
            edit.setText(u"00 - 00 00 00 00 00 00 - 00"_qs);
    }
    edit.setReadOnly(readOnly);
    edit.setSelection(caret, selected);
    if (selected == 0)
        edit.setCursorPosition(caret);

    for (QChar c : keys) {
        if (c == kDelete)
            QTest::keyClick(&edit, Qt::Key_Delete);
        else if (c == u'\b')
            QTest::keyClick(&edit, Qt::Key_Backspace);
        else
            QTest::keyClicks(&edit, QString(c));
    }
    QTEST(edit.keyText(), "kept");
    QTEST(edit.text(), "shown");
    QTEST(edit.cursorPosition(), "caretAfter");
    QVERIFY(!edit.hasSelectedText());
}

void TestKeyEdit::enter_data()
{
    QTest::addColumn<bool>("closeOnEnter");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<bool>("passedOn"); // left for a dialog's default button

    QTest::newRow("table editor closes") << true << true << false;
    QTest::newRow("dialog box keeps open") << false << false << true;
}

void TestKeyEdit::enter()
{
    QFETCH(bool, closeOnEnter);
    QWidget owner;
    auto *edit = new CKeyEdit(&owner);
    Quilo::setUpTableKeyEdit(*edit, kTableKey);
    edit->m_bCloseOnEnter = closeOnEnter;
    owner.show();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, u"\r"_qs);
    QApplication::sendEvent(edit, &press);
    QTEST(!edit->isVisible(), "closed");
    QTEST(!press.isAccepted(), "passedOn");
    QCOMPARE(edit->keyText(), QString()); // Enter is no character of the key
}

QTEST_MAIN(TestKeyEdit)
#include "tst_keyedit.moc"

// No text of the window is cut off: every view, the key mode dialog and the About box, with
// each label, button, group box title, tab, column heading and tree item as wide as its text
// needs, and every form within the window at its usual size. Run once in English and once
// with QUILO_TEST_LANG=hu, where the words are longer.

#include "aboutdlg.h"
#include "keymodedlg.h"
#include "leftview.h"
#include "mainframe.h"
#include "stringtable.h"
#include "viewtable.h"
#include "windowharness.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QScrollArea>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

namespace {

QString describe(const QWidget *w, const QString &text, int needed, int has)
{
    return QStringLiteral("%1 %2 \"%3\": needs %4 px, has %5")
        .arg(QLatin1String(w->metaObject()->className()), w->objectName(), text)
        .arg(needed)
        .arg(has);
}

// Every text under `root` that does not fit its widget, one line each.
QStringList cutTexts(QWidget *root)
{
    QStringList cut;
    QList<QWidget *> widgets = root->findChildren<QWidget *>();
    widgets.prepend(root);
    for (QWidget *w : widgets) {
        if (!w->isVisibleTo(root) || w->width() <= 0)
            continue;
        if (auto *label = qobject_cast<QLabel *>(w)) {
            if (label->text().isEmpty() || label->wordWrap())
                continue;
            if (label->sizeHint().width() > label->width())
                cut << describe(w, label->text(), label->sizeHint().width(), label->width());
        } else if (auto *button = qobject_cast<QAbstractButton *>(w)) {
            if (button->text().isEmpty())
                continue;
            if (button->sizeHint().width() > button->width())
                cut << describe(w, button->text(), button->sizeHint().width(), button->width());
        } else if (auto *group = qobject_cast<QGroupBox *>(w)) {
            QStyleOptionGroupBox option;
            option.initFrom(group);
            option.text = group->title();
            option.subControls = QStyle::SC_GroupBoxLabel;
            const QRect title = group->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
            const int needed = group->fontMetrics().horizontalAdvance(group->title());
            if (needed > title.width() || title.right() > group->width())
                cut << describe(w, group->title(), needed, title.width());
        } else if (auto *tabs = qobject_cast<QTabBar *>(w)) {
            for (int i = 0; i < tabs->count(); ++i) {
                const int needed = tabs->fontMetrics().horizontalAdvance(tabs->tabText(i));
                if (needed > tabs->tabRect(i).width())
                    cut << describe(w, tabs->tabText(i), needed, tabs->tabRect(i).width());
            }
        } else if (auto *spin = qobject_cast<QAbstractSpinBox *>(w)) {
            // a date or time in the language's own form
            if (spin->sizeHint().width() > spin->width())
                cut << describe(w, spin->text(), spin->sizeHint().width(), spin->width());
        } else if (auto *header = qobject_cast<QHeaderView *>(w)) {
            for (int i = 0; i < header->count(); ++i) {
                if (header->isSectionHidden(i))
                    continue;
                const QString text = header->model()->headerData(i, header->orientation()).toString();
                if (header->sectionSizeHint(i) > header->sectionSize(i))
                    cut << describe(w, text, header->sectionSizeHint(i), header->sectionSize(i));
            }
        } else if (auto *area = qobject_cast<QScrollArea *>(w)) {
            // a form wider than the window at its usual size hides its right side
            if (area->widget() && area->widget()->minimumWidth() > area->viewport()->width())
                cut << describe(w, QStringLiteral("(the form)"), area->widget()->minimumWidth(), area->viewport()->width());
        } else if (auto *tree = qobject_cast<CLeftView *>(w)) {
            constexpr int kMargins = 6; // the item's own margins either side of its text
            for (QTreeWidgetItemIterator it(tree); *it; ++it) {
                const QRect rect = tree->visualItemRect(*it);
                if (rect.isEmpty())
                    continue; // inside a closed branch
                const int needed = rect.left() + tree->fontMetrics().horizontalAdvance((*it)->text(0)) + kMargins;
                if (needed > tree->viewport()->width())
                    cut << describe(w, (*it)->text(0), needed, tree->viewport()->width());
            }
        }
    }
    return cut;
}

} // namespace

class TestTextFit : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void everyView();
    void keyModeDialog();
    void aboutBox();
    void menuAccelerators();

private:
    QTemporaryDir m_dir;
    CWindowHarness m_h;
};

void TestTextFit::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path())); // no start page here: its message is answered
    QString error;
    QVERIFY2(m_h.start(&error), qPrintable(error));
    QVERIFY(m_h.openWindow());
    m_h.frame()->resize(1160, 780);
    m_h.frame()->leftView()->expandAll();
    QVERIFY(QTest::qWaitForWindowExposed(m_h.frame()));
}

void TestTextFit::cleanupTestCase()
{
    m_h.stop();
}

// Each view as it shows what it read, with the tree open, the bars and the status line.
void TestTextFit::everyView()
{
    CMainFrame *frame = m_h.frame();
    QStringList cut = cutTexts(frame);
    int views = 0;
    for (QTreeWidgetItemIterator it(frame->leftView()); *it; ++it) {
        const unsigned command = (*it)->data(0, CLeftView::kCommandRole).toUInt();
        if (command == 0 || !Quilo::findView(command))
            continue;
        frame->leftView()->setCurrentItem(*it);
        QVERIFY(m_h.waitIdle());
        ++views;
        for (const QString &text : cutTexts(frame))
            cut << (*it)->text(0) + QStringLiteral(": ") + text;
    }
    QCOMPARE(views, 17); // every data set, and the history
    cut.removeDuplicates();
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u'\n')));
}

void TestTextFit::keyModeDialog()
{
    CKeyModeDlg dialog(m_h.frame());
    dialog.OnInitDialog();
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QStringList cut = cutTexts(&dialog);
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u'\n')));
}

void TestTextFit::aboutBox()
{
    CAboutDlg about(m_h.frame());
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    const QStringList cut = cutTexts(&about);
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u'\n')));
}

// Alt and a letter reaches one entry of a menu, in every language.
void TestTextFit::menuAccelerators()
{
    QList<QMenu *> menus;
    for (QAction *a : m_h.frame()->menuBar()->actions())
        if (a->menu())
            menus << a->menu();
    QVERIFY(menus.size() >= 3);
    for (qsizetype i = 0; i < menus.size(); ++i) // and their submenus
        for (QAction *a : menus.at(i)->actions())
            if (a->menu())
                menus << a->menu();
    menus << nullptr; // the menu bar itself
    for (QMenu *menu : menus) {
        const QList<QAction *> actions = menu ? menu->actions() : m_h.frame()->menuBar()->actions();
        QMap<QChar, QString> taken;
        for (QAction *a : actions) {
            const QKeySequence key = QKeySequence::mnemonic(a->text());
            if (key.isEmpty())
                continue;
            const QChar letter = a->text().at(a->text().indexOf(u'&') + 1).toLower();
            QVERIFY2(!taken.contains(letter), qPrintable(taken.value(letter) + QStringLiteral(" and ") + a->text()));
            taken.insert(letter, a->text());
        }
    }
}

QTEST_MAIN(TestTextFit)
#include "tst_textfit.moc"

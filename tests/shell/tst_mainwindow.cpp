// The window against the simulated unit on a real pseudo-terminal, mapped to "Com2".

#include "aboutdlg.h"
#include "commbar.h"
#include "comport.h"
#include "leftview.h"
#include "loglists.h"
#include "mainframe.h"
#include "messagebox.h"
#include "quiloview.h"
#include "rtfreader.h"
#include "simulatedunit.h"
#include "startview.h"
#include "stringtable.h"
#include "tarvelapp.h"
#include "tarveldoc.h"
#include "windowharness.h"

#include <QProgressBar>
#include <QComboBox>
#include <QSplitter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <memory>

#include <sys/stat.h>

namespace {

QStringList path(const QString &joined)
{
    return CWindowHarness::localPath(joined);
}

// The window's title for a view title, as the frame builds it.
QString windowTitle(unsigned title)
{
    return LoadString(title) + u" - Quilo ReadOut"_qs;
}

bool english()
{
    return CWindowHarness::english();
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void startUpState();
    void treeSelectionShowsView_data();
    void treeSelectionShowsView();
    void commandEnabling();
    void dailyReadOnceReloadOnLoad();
    void progressRunsUpAndFallsBack();
    void keyLogGroups();
    void dateLogReadsSixtyShowsTwenty();
    void portFailureInStatusBar();
    void startPage_data();
    void startPage();
    void startPageOfAnyFile_data();
    void startPageOfAnyFile();
    void startPageInTheLanguageSpoken();
    void recentFileList();
    void aboutBox();

private:
    CMainFrame *frame() const { return m_h.frame(); }
    CTarvelDoc &doc() const { return m_h.doc(); }
    void select(const QString &joined);
    QTreeWidget *rightList() const;

    QTemporaryDir m_dir;
    QString m_oldDir;
    CWindowHarness m_h;
    QuiloSim::CSimulatedUnit *m_unit = nullptr;
    QList<Quilo::MessageRequest> &m_messages = m_h.messages;
};

void TestMainWindow::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_oldDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir.path()));
    QString error;
    QVERIFY2(m_h.start(&error), qPrintable(error));
    m_unit = &m_h.unit();
}

void TestMainWindow::init()
{
    QFile f(CStartView::fileName());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("{\\rtf1 {\\b Welcome}\\par to the unit}");
    f.close();
    m_messages.clear();
    m_unit->clearTraffic();
    QVERIFY(m_h.openWindow());
}

void TestMainWindow::cleanup()
{
    m_h.closeWindow();
    QFile::remove(CStartView::fileName());
}

void TestMainWindow::cleanupTestCase()
{
    m_h.stop();
    QDir::setCurrent(m_oldDir);
}

void TestMainWindow::select(const QString &joined)
{
    QVERIFY2(m_h.select(joined), qPrintable(joined));
}

QTreeWidget *TestMainWindow::rightList() const
{
    return frame()->rightView() ? qobject_cast<QTreeWidget *>(frame()->rightView()->widget()) : nullptr;
}

void TestMainWindow::startUpState()
{
    QCOMPARE(frame()->windowTitle(), windowTitle(Str::TitleMain));
    if (english())
        QCOMPARE(frame()->windowTitle(), u"Main - Quilo ReadOut"_qs);
    QVERIFY(frame()->isVisible());
    QVERIFY(m_messages.isEmpty());

    CLeftView *tree = frame()->leftView();
    QCOMPARE(tree->topLevelItemCount(), 5); // the unit's four groups, then its visit history
    int items = 0;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        ++items;
    QCOMPARE(items, 23);
    QVERIFY(tree->findItem(path(u"History"_qs)));
    QVERIFY(tree->findItem(path(u"Keys|Tables|organizer"_qs)));
    QVERIFY(tree->findItem(path(u"Keys|logs|SZF"_qs)));
    QCOMPARE(frame()->splitter()->sizes().value(0), CMainFrame::kTreeWidth);

    auto *start = qobject_cast<CStartView *>(frame()->rightView()->widget());
    QVERIFY(start);
    QCOMPARE(start->toPlainText(), u"Welcome\nto the unit"_qs);
    QVERIFY(start->isReadOnly());

    QCOMPARE(frame()->commBar()->portSelector()->currentText(), u"Com2"_qs);
    QCOMPARE(frame()->commBar()->progressBar()->value(), 0);
    QVERIFY(frame()->commBar()->progressBar()->maximum() > 0); // not a busy indicator
    QCOMPARE(frame()->idleText(), LoadString(Str::Ready));
    QCOMPARE(m_unit->receivedFrames().size(), 0);
}

void TestMainWindow::treeSelectionShowsView_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("viewClass");
    QTest::addColumn<unsigned>("title");
    QTest::addColumn<QString>("englishTitle");
    QTest::addColumn<int>("rows");

    QTest::newRow("daily") << u"Counters|daily"_qs << u"CDailyList"_qs << unsigned(Str::TitleDaily) << u"Daily log"_qs << 31;
    QTest::newRow("monthly") << u"Counters|monthly"_qs << u"CMonthlyList"_qs << unsigned(Str::TitleMonthly)
                             << u"Monthly log"_qs << 61;
    QTest::newRow("quarterly") << u"Counters|quarterly"_qs << u"CQuarterlyList"_qs << unsigned(Str::TitleQuarterly)
                               << u"Quarterly log"_qs << 21;
    QTest::newRow("yearly") << u"Counters|yearly"_qs << u"CYearlyList"_qs << unsigned(Str::TitleYearly)
                            << u"Yearly log"_qs << 6;
    QTest::newRow("date log") << u"Date/Time|logs"_qs << u"CDateLogList"_qs << unsigned(Str::TitleDateLog)
                              << u"Date modify log"_qs << 20;
    QTest::newRow("key logs OMH") << u"Keys|logs|OMH"_qs << u"CKeyLogs"_qs << unsigned(Str::TitleKeyLogs)
                                  << u"Key usage logs"_qs << 20;
    QTest::newRow("key logs SZF") << u"Keys|logs|SZF"_qs << u"CKeyLogs"_qs << unsigned(Str::TitleKeyLogs)
                                  << u"Key usage logs"_qs << 20;
    // grouping items change nothing
    QTest::newRow("Counters") << u"Counters"_qs << u"CStartView"_qs << unsigned(Str::TitleMain) << u"Main"_qs << -1;
    QTest::newRow("Keys/Tables") << u"Keys|Tables"_qs << u"CStartView"_qs << unsigned(Str::TitleMain) << u"Main"_qs
                                 << -1;
    QTest::newRow("Keys/logs") << u"Keys|logs"_qs << u"CStartView"_qs << unsigned(Str::TitleMain) << u"Main"_qs << -1;
}

void TestMainWindow::treeSelectionShowsView()
{
    QFETCH(QString, item);
    QFETCH(QString, viewClass);
    QFETCH(unsigned, title);
    QFETCH(QString, englishTitle);
    QFETCH(int, rows);

    select(item);
    QCOMPARE(QString::fromLatin1(frame()->rightView()->widget()->metaObject()->className()), viewClass);
    QCOMPARE(frame()->windowTitle(), windowTitle(title));
    if (english())
        QCOMPARE(frame()->windowTitle(), englishTitle + u" - Quilo ReadOut"_qs);
    if (rows >= 0) {
        QTreeWidget *list = rightList();
        QVERIFY(list);
        QCOMPARE(list->topLevelItemCount(), rows);
        QCOMPARE(list->topLevelItem(0)->text(0), u"1."_qs);
        QCOMPARE(list->topLevelItem(rows - 1)->text(0), QString::number(rows) + u"."_qs);
        QVERIFY(frame()->isCommandEnabled(Str::CmdLoad));
    }
}

void TestMainWindow::commandEnabling()
{
    const auto enabled = [this](unsigned id) { return frame()->action(id)->isEnabled(); };
    // start page: nothing to load or write
    QVERIFY(!enabled(Str::CmdLoad));
    QVERIFY(!enabled(Str::CmdWrite));
    QVERIFY(enabled(Str::CmdOpen));
    QVERIFY(!enabled(Str::CmdSave)); // nothing read yet
    QVERIFY(enabled(Str::CmdUserKey));
    QVERIFY(enabled(Str::CmdReadAll));

    select(u"Counters|daily"_qs);
    QVERIFY(enabled(Str::CmdLoad));
    QVERIFY(!enabled(Str::CmdWrite));
    QVERIFY(enabled(Str::CmdSave));
    QVERIFY(enabled(Str::CmdExportSetCsv));

    // the tree active: Load has nobody to answer it
    frame()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(frame()));
    frame()->leftView()->setFocus();
    QTRY_VERIFY(!enabled(Str::CmdLoad));
    QVERIFY(!frame()->OnCommand(Str::CmdLoad));
    rightList()->setFocus();
    QTRY_VERIFY(enabled(Str::CmdLoad));

    // Help: the start page, the tree's selection stays
    QTreeWidgetItem *selected = frame()->leftView()->currentItem();
    QVERIFY(frame()->OnCommand(Str::CmdHelp));
    QVERIFY(qobject_cast<CStartView *>(frame()->rightView()->widget()));
    QCOMPARE(frame()->title(), LoadString(Str::TitleMain));
    QCOMPARE(frame()->leftView()->currentItem(), selected);
    QVERIFY(!enabled(Str::CmdLoad));

    // the prompts are in the status tips, not in tool tips
    QCOMPARE(frame()->action(Str::CmdOpen)->statusTip(), LoadString(Str::CmdOpen));
    QCOMPARE(frame()->action(Str::CmdAbout)->statusTip(), LoadString(Str::CmdAbout).section(u'\n', 0, 0));
    if (english()) {
        QCOMPARE(frame()->action(Str::CmdOpen)->statusTip(), u"Load from file"_qs);
        QCOMPARE(frame()->action(Str::CmdAbout)->statusTip(),
                 u"Display program information, version number and copyright"_qs);
    }
}

void TestMainWindow::dailyReadOnceReloadOnLoad()
{
    select(u"Counters|daily"_qs);
    QCOMPARE(m_h.framesWithCommand(198), 31);
    QCOMPARE(frame()->idleText(), LoadString(Str::SumRead).arg(LoadString(Str::TitleDaily)).arg(31).arg(31));
    if (english())
        QCOMPARE(frame()->idleText(), u"Daily log: 31 of 31 records read"_qs);
    const QString firstDate = rightList()->topLevelItem(0)->text(1);
    QVERIFY(!firstDate.isEmpty());
    QVERIFY(firstDate != LoadString(Str::InvalidDate));

    // another view and back: a new list, nothing read again
    select(u"Counters|yearly"_qs);
    select(u"Counters|daily"_qs);
    QCOMPARE(m_h.framesWithCommand(198), 31);
    QCOMPARE(rightList()->topLevelItemCount(), 31);
    QCOMPARE(rightList()->topLevelItem(0)->text(1), firstDate);

    QVERIFY(m_h.command(Str::CmdLoad));
    QCOMPARE(m_h.framesWithCommand(198), 62);
    QCOMPARE(rightList()->topLevelItemCount(), 31);
}

void TestMainWindow::progressRunsUpAndFallsBack()
{
    QProgressBar *bar = frame()->commBar()->progressBar();
    QList<int> values;
    connect(bar, &QProgressBar::valueChanged, this, [&values](int v) { values.append(v); });
    select(u"Counters|daily"_qs);
    QVERIFY(values.size() >= 2);
    QCOMPARE(values.last(), 0);
    QVERIFY(bar->maximum() >= 30);
    const int peak = *std::max_element(values.begin(), values.end());
    QVERIFY2(peak >= 30, qPrintable(QString::number(peak)));
    // it ran up in steps, not in one jump
    QVERIFY(values.size() >= 20);
}

void TestMainWindow::keyLogGroups()
{
    select(u"Keys|logs|SZF"_qs);
    QCOMPARE(doc().m_nFirstKey, 20u);
    QCOMPARE(doc().m_nLastKey, 39u);
    QCOMPARE(m_h.framesWithCommand(245), 20);
    QCOMPARE(m_h.framesWithCommand(246), 0);
    // the bar ends empty also when the group's range does not start at 0
    QProgressBar *bar = frame()->commBar()->progressBar();
    QCOMPARE(bar->value(), bar->minimum());
    QCOMPARE(doc().m_aKeyLogs[0].m_nStatus, 0);
    QVERIFY(doc().m_aKeyLogs[20].m_nStatus != 0);

    QVERIFY(m_h.command(Str::CmdLoad));
    QCOMPARE(m_h.framesWithCommand(245), 40);
    QCOMPARE(doc().m_aKeyLogs[0].m_nStatus, 0); // the other group untouched

    select(u"Keys|logs|OMH"_qs);
    QCOMPARE(doc().m_nFirstKey, 0u);
    QCOMPARE(doc().m_nLastKey, 19u);
    QCOMPARE(m_h.framesWithCommand(246), 20);
    QCOMPARE(rightList()->topLevelItem(0)->text(0), u"1."_qs);
}

void TestMainWindow::dateLogReadsSixtyShowsTwenty()
{
    select(u"Date/Time|logs"_qs);
    QCOMPARE(m_h.framesWithCommand(224), 60);
    QCOMPARE(rightList()->topLevelItemCount(), 20);
    QVERIFY(m_h.command(Str::CmdLoad));
    QCOMPARE(m_h.framesWithCommand(224), 80);
}

void TestMainWindow::portFailureInStatusBar()
{
    const QString missing = m_dir.filePath(u"no-such-tty"_qs);
    CComPort::SetPortMapping(u"Com3"_qs, missing);
    QVERIFY(frame()->commBar()->selectPort(u"Com3"_qs));
    QCOMPARE(doc().PortName(), u"Com3"_qs);
    select(u"Counters|yearly"_qs);
    QCOMPARE(m_unit->receivedFrames().size(), 0);
    const QString failed = LoadString(Str::SumPortFailed).arg(u"Com3"_qs, QString()).trimmed();
    QVERIFY2(frame()->idleText().startsWith(failed), qPrintable(frame()->idleText()));
    if (english())
        QVERIFY2(frame()->idleText().startsWith(u"Com3: port could not be opened."_qs), qPrintable(frame()->idleText()));
    QCOMPARE(rightList()->topLevelItemCount(), 6); // the rows are there, with the values not read
    QVERIFY(m_messages.isEmpty());
    CComPort::SetPortMapping(u"Com3"_qs, QString());
}

void TestMainWindow::startPage_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("messages");
    QTest::addColumn<QString>("text");

    QTest::newRow("missing") << false << QByteArray() << 1 << QString();
    QTest::newRow("empty") << true << QByteArray() << 0 << QString();
    QTest::newRow("malformed") << true << QByteArray("{\\rtf1 {{{\\b half\\'4") << 0 << u"half"_qs;
    QTest::newRow("not rtf at all") << true << QByteArray("\x00\xff\x01plain", 8) << 0 << u"\u02d9plain"_qs;
}

void TestMainWindow::startPage()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, content);
    QFETCH(int, messages);
    QFETCH(QString, text);

    QFile::remove(CStartView::fileName());
    if (exists) {
        QFile f(CStartView::fileName());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    m_messages.clear();
    // at start-up and again through Help
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 0) {
            QVERIFY(m_h.openWindow());
        } else {
            QVERIFY(frame()->OnCommand(Str::CmdHelp));
        }
        QCOMPARE(m_messages.size(), messages * (pass + 1));
        // a missing page is named, with where it was looked for
        if (!exists)
            QVERIFY2(m_messages.last().text.contains(CStartView::fileName())
                         && m_messages.last().text.contains(QDir::currentPath()),
                     qPrintable(m_messages.last().text));
        auto *start = qobject_cast<CStartView *>(frame()->rightView()->widget());
        QVERIFY(start);
        QCOMPARE(start->toPlainText(), text);
        QVERIFY(start->isReadOnly());
        QCOMPARE(frame()->title(), LoadString(Str::TitleMain));
    }
}

// Whatever lies there under the start page's name, the window is up within a moment: a FIFO is
// not waited on, and a huge file builds only a bounded page.
void TestMainWindow::startPageOfAnyFile_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: a FIFO
    QTest::addColumn<int>("messages");
    QTest::newRow("FIFO") << QByteArray() << 1;
    QTest::newRow("16 MB of paragraph marks") << QByteArray("{\\rtf1 ") + QByteArray("\\par").repeated(4 * 1024 * 1024) << 0;
    QTest::newRow("16 MB of format changes") << QByteArray("{\\rtf1 ") + QByteArray("\\b a\\b0 b").repeated(1800 * 1024) << 0;
    // no place to break a line: laid out as one word it held the window back for half a minute
    QTest::newRow("one word of 500,000 characters") << QByteArray("{\\rtf1 ") + QByteArray("w").repeated(500000) + '}' << 0;
}

void TestMainWindow::startPageOfAnyFile()
{
    QFETCH(QByteArray, content);
    QFETCH(int, messages);
    m_h.closeWindow();
    QFile::remove(CStartView::fileName());
    if (content.isEmpty()) {
        QCOMPARE(::mkfifo(QFile::encodeName(CStartView::fileName()).constData(), 0600), 0);
    } else {
        QFile f(CStartView::fileName());
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(content), content.size());
    }
    m_messages.clear();
    QElapsedTimer timer;
    timer.start();
    QVERIFY(m_h.openWindow());
    QVERIFY2(timer.elapsed() < 8000, qPrintable(QStringLiteral("%1 ms").arg(timer.elapsed())));
    QCOMPARE(m_messages.size(), messages);
    auto *start = qobject_cast<CStartView *>(frame()->rightView()->widget());
    QVERIFY(start);
    QVERIFY(start->document()->blockCount() <= Quilo::RtfReader::kMaxParagraphs + 1);
    // the page's text within the bound; the invisible places to break a long word aside
    QVERIFY(start->toPlainText().remove(QChar(0x200B)).size() <= Quilo::RtfReader::kMaxCharacters);
}

// Beside the English page a Hungarian one is shown when the window speaks Hungarian; the
// English page stands in for a language without a page of its own (the other runs above).
void TestMainWindow::startPageInTheLanguageSpoken()
{
    m_h.closeWindow();
    const QString hungarian = u"wtarvel_hu.rtf"_qs;
    QFile f(hungarian);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("{\\rtf1\\ansi\\ansicpg1250 {\\b \\'dcdv\\'f6z\\'f6lj\\'fck}\\par az egys\\'e9gn\\'e9l}");
    f.close();
    QVERIFY(m_h.openWindow());
    QFile::remove(hungarian);
    auto *start = qobject_cast<CStartView *>(frame()->rightView()->widget());
    QVERIFY(start);
    QCOMPARE(start->toPlainText(), english() ? u"Welcome\nto the unit"_qs : u"Üdvözöljük\naz egységnél"_qs);
    QVERIFY(m_messages.isEmpty());
}

void TestMainWindow::recentFileList()
{
    Quilo::RecentFileList list;
    for (int i = 0; i < 6; ++i)
        list.add(m_dir.filePath(QStringLiteral("f%1.quilo").arg(i)));
    QCOMPARE(list.files().size(), Quilo::RecentFileList::kSize);
    QVERIFY(list.files().first().endsWith(u"f5.quilo"_qs));
}

void TestMainWindow::aboutBox()
{
    CAboutDlg about(frame());
    QCOMPARE(about.versionText(), LoadString(Str::AboutVersion));
    QVERIFY(!about.noticeText().isEmpty());
    QVERIFY(about.hasIcon());
    QCOMPARE(about.windowTitle(), LoadString(Str::AboutCaption));
    if (english()) {
        QCOMPARE(about.versionText(), u"Quilo ReadOut Version 0.8a"_qs);
        QCOMPARE(about.windowTitle(), u"About Quilo ReadOut"_qs);
    }
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QTest::keyClick(&about, Qt::Key_Escape);
    QVERIFY(!about.isVisible());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"

// The window while transfers run on the line's thread: it keeps answering, Stop and Esc end a
// read between two transactions, a silent unit is given up, a tree click or closing the
// window stops the read, and no view shows a failure as data. Against the simulated unit on a
// real pseudo-terminal, paced at the line's speed where the timing matters.

#include "cdatetime.h"
#include "commbar.h"
#include "config.h"
#include "currentcounters.h"
#include "filecommands.h"
#include "historyservice.h"
#include "quilofile.h"
#include "keyedit.h"
#include "keytables.h"
#include "leftview.h"
#include "loglists.h"
#include "mainframe.h"
#include "operationtext.h"
#include "stringtable.h"
#include "tarveldoc.h"
#include "windowharness.h"

#include <QClipboard>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QLabel>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

namespace {

int readRecords(const CTarvelDoc &doc, int dataSet, int count)
{
    int n = 0;
    for (int i = 0; i < count; ++i)
        n += doc.Record(dataSet, static_cast<unsigned>(i))->IsRead() ? 1 : 0;
    return n;
}

} // namespace

class TestTransfers : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void windowAnswersDuringPacedRead();
    void stopKeepsWhatWasRead_data();
    void stopKeepsWhatWasRead();
    void silentUnitIsGivenUp();
    void treeClickStopsTheRead();
    void closingDuringARead();
    void revisitSaysWhatFailed();
    void keysNotReadShowNoKey();
    void clockNotReadOrInvalid();
    void keyEditorTakesOnlyWholeKeys();
    void barsStayAndFormsTakeFocus();
    void wholeUnitReadEnds_data();
    void wholeUnitReadEnds();
    void closingAsksDuringAWholeUnitRead();
    void offlineKeysAreNotEdited();
    void countersRefreshQuietly();
    void portStaysDuringATransfer();
    void partsCountedOneWay();
    void loadOnADeadPortKeepsWhatWasRead_data();
    void loadOnADeadPortKeepsWhatWasRead();

private:
    CMainFrame *frame() const { return m_h.frame(); }
    CTarvelDoc &doc() const { return m_h.doc(); }
    QuiloSim::CSimulatedUnit &unit() const { return m_h.unit(); }

    QTemporaryDir m_dir;
    CWindowHarness m_h;
};

void TestTransfers::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    QString error;
    QVERIFY2(m_h.start(&error), qPrintable(error));
}

void TestTransfers::init()
{
    unit().setPacing(false);
    unit().setTurnaroundMs(0);
    unit().clearFaults();
    QVERIFY(m_h.openWindow());
    QVERIFY(doc().HasLinkThread());
    m_h.messages.clear();
    unit().clearTraffic();
}

void TestTransfers::cleanup()
{
    m_h.closeWindow();
    CComPort::SetPortMapping(u"Com3"_qs, QString());
}

void TestTransfers::cleanupTestCase()
{
    m_h.stop();
}

// A timer on the window's thread keeps its pace while the unit is read at 9600 baud.
void TestTransfers::windowAnswersDuringPacedRead()
{
    unit().setPacing(true);
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 worst = 0;
    int ticks = 0;
    QTimer timer;
    timer.setInterval(10);
    connect(&timer, &QTimer::timeout, this, [&] {
        const qint64 now = clock.elapsed();
        worst = std::max(worst, now - last);
        last = now;
        ++ticks;
    });
    clock.start();
    timer.start();
    QVERIFY(m_h.select(u"Counters|monthly"_qs, false));
    QVERIFY(doc().IsBusy());
    QVERIFY(frame()->action(Str::CmdStop)->isEnabled());
    QVERIFY(!frame()->action(Str::CmdLoad)->isEnabled()); // a second Load cannot queue up
    QVERIFY(m_h.waitIdle());
    timer.stop();
    const qint64 took = clock.elapsed();
    QCOMPARE(readRecords(doc(), CTarvelDoc::dsMonthly, 61), 61);
    QVERIFY2(took > 800, qPrintable(QString::number(took))); // it was paced
    // loose bounds: a busy machine may delay a tick, but a blocked window misses all of them
    QVERIFY2(ticks > took / 10 / 4, qPrintable(QStringLiteral("%1 ticks in %2 ms").arg(ticks).arg(took)));
    QVERIFY2(worst < 500, qPrintable(QString::number(worst)));
    QVERIFY(!frame()->action(Str::CmdStop)->isEnabled());
    QVERIFY(frame()->isCommandEnabled(Str::CmdLoad));
}

void TestTransfers::stopKeepsWhatWasRead_data()
{
    QTest::addColumn<bool>("byEsc");
    QTest::newRow("Stop button") << false;
    QTest::newRow("Esc") << true;
}

void TestTransfers::stopKeepsWhatWasRead()
{
    QFETCH(bool, byEsc);
    unit().setPacing(true);
    unit().setTurnaroundMs(40);
    QVERIFY(m_h.select(u"Counters|daily"_qs, false));
    QTRY_VERIFY(readRecords(doc(), CTarvelDoc::dsDaily, 31) >= 3);
    QElapsedTimer clock;
    clock.start();
    if (byEsc) {
        frame()->activateWindow();
        QTest::keyClick(frame(), Qt::Key_Escape);
    } else {
        QTest::mouseClick(frame()->commBar()->stopButton(), Qt::LeftButton);
    }
    QVERIFY(m_h.waitIdle());
    // within one transaction's time-outs
    QVERIFY2(clock.elapsed() < 3 * (100 + 20 * 29) + 1000, qPrintable(QString::number(clock.elapsed())));
    const int read = readRecords(doc(), CTarvelDoc::dsDaily, 31);
    QVERIFY(read >= 3 && read < 31);
    for (int i = 0; i < 31; ++i)
        QCOMPARE(doc().m_aDaily[static_cast<std::size_t>(i)].m_nStatus, i < read ? 0x8000 : 0);
    // the rows read are shown, the others say they were not
    auto *list = qobject_cast<CDailyList *>(frame()->rightView()->widget());
    QVERIFY(list);
    QVERIFY(!list->topLevelItem(0)->text(2).isEmpty());
    QCOMPARE(list->topLevelItem(30)->text(1), LoadString(Str::ResultNotRead));
    QVERIFY2(frame()->idleText().endsWith(LoadString(Str::SumStopped)), qPrintable(frame()->idleText()));
    // nothing goes out after the stop
    const int sent = m_h.framesWithCommand(198);
    QCOMPARE(sent, read);
    QTest::qWait(300);
    QCOMPARE(m_h.framesWithCommand(198), sent);
}

void TestTransfers::silentUnitIsGivenUp()
{
    unit().addFault(*QuiloSim::parseFault(u"any=silent"_qs));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(m_h.select(u"Counters|daily"_qs));
    // three records of three attempts, not thirty-one
    QVERIFY2(clock.elapsed() < 3 * 3 * (100 + 20 * 29) + 3000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(m_h.framesWithCommand(198), CTarvelDoc::kSilentRecords);
    QVERIFY2(frame()->idleText().contains(LoadString(Str::SumSilent).arg(u"Com2"_qs)), qPrintable(frame()->idleText()));
    if (CWindowHarness::english())
        QVERIFY2(frame()->idleText().contains(u"does not answer on Com2"_qs), qPrintable(frame()->idleText()));
    QCOMPARE(doc().m_aDaily[3].m_nStatus, 0);
}

// Choosing another item stops the running read, then shows the new view and reads it.
void TestTransfers::treeClickStopsTheRead()
{
    unit().setPacing(true);
    unit().setTurnaroundMs(20);
    QVERIFY(m_h.select(u"Counters|monthly"_qs, false));
    QTRY_VERIFY(readRecords(doc(), CTarvelDoc::dsMonthly, 61) >= 2);
    QVERIFY(m_h.select(u"Counters|yearly"_qs));
    QVERIFY(qobject_cast<CYearlyList *>(frame()->rightView()->widget()));
    QVERIFY(m_h.framesWithCommand(199) < 61);
    QCOMPARE(readRecords(doc(), CTarvelDoc::dsYearly, 6), 6);
    QVERIFY2(frame()->idleText().startsWith(LoadString(Str::SumRead).arg(LoadString(Str::TitleYearly)).arg(6).arg(6)),
             qPrintable(frame()->idleText()));
}

// Closing the window mid-read stops it, closes the port and is over within one transaction.
void TestTransfers::closingDuringARead()
{
    unit().setPacing(true);
    unit().setTurnaroundMs(300);
    QVERIFY(m_h.select(u"Counters|daily"_qs, false));
    QTRY_VERIFY(m_h.framesWithCommand(198) >= 1);
    QElapsedTimer clock;
    clock.start();
    m_h.closeWindow();
    QVERIFY2(clock.elapsed() < 3 * (100 + 20 * 29) + 1500, qPrintable(QString::number(clock.elapsed())));
    const int sent = m_h.framesWithCommand(198);
    QTest::qWait(700);
    QCOMPARE(m_h.framesWithCommand(198), sent);
    QVERIFY(sent < 31);
    // the port is free again: a new window reads it
    QVERIFY(m_h.openWindow());
    unit().setTurnaroundMs(0);
    QVERIFY(m_h.select(u"Counters|yearly"_qs));
    QCOMPARE(readRecords(doc(), CTarvelDoc::dsYearly, 6), 6);
}

void TestTransfers::revisitSaysWhatFailed()
{
    unit().addFault(*QuiloSim::parseFault(u"198:5=checksum"_qs));
    QVERIFY(m_h.select(u"Counters|daily"_qs));
    QVERIFY(frame()->idleText().contains(LoadString(Str::SumFailedOne).arg(1).arg(LoadString(Str::Result48))));
    if (CWindowHarness::english())
        QVERIFY(frame()->idleText().contains(u"1 record failed: bad checksum"_qs));
    auto *list = qobject_cast<CDailyList *>(frame()->rightView()->widget());
    QCOMPARE(list->topLevelItem(4)->text(1), LoadString(Str::Result48));
    QCOMPARE(list->topLevelItem(4)->text(2), QString());
    QVERIFY(m_h.select(u"Counters|yearly"_qs));
    QVERIFY(m_h.select(u"Counters|daily"_qs));
    QVERIFY2(frame()->idleText().contains(LoadString(Str::SumSkipped).arg(30) + LoadString(Str::SumSkippedFailed).arg(1)),
             qPrintable(frame()->idleText()));
    if (CWindowHarness::english())
        QVERIFY2(frame()->idleText().contains(u", 30 already read, 1 failed earlier (Load reads them again)"_qs),
                 qPrintable(frame()->idleText()));
    unit().clearFaults();
    QVERIFY(m_h.command(Str::CmdLoad));
    QCOMPARE(readRecords(doc(), CTarvelDoc::dsDaily, 31), 31);
    // all read before: no "0 of 0 records read", which would look like a failure
    QVERIFY(m_h.select(u"Counters|yearly"_qs));
    QVERIFY(m_h.select(u"Counters|daily"_qs));
    QCOMPARE(frame()->idleText(), LoadString(Str::SumAllKept).arg(Quilo::dataSetTitle(CTarvelDoc::dsDaily)).arg(31));
}

// With the port missing nothing is read: no key and no "OK" pretend otherwise.
void TestTransfers::keysNotReadShowNoKey()
{
    CComPort::SetPortMapping(u"Com3"_qs, m_dir.filePath(u"no-such-tty"_qs));
    QVERIFY(frame()->commBar()->selectPort(u"Com3"_qs));
    QVERIFY(m_h.select(u"Keys|Tables|LAB"_qs));
    auto *table = qobject_cast<CKeyTables *>(frame()->rightView()->widget());
    QVERIFY(table);
    QCOMPARE(table->topLevelItemCount(), 32);
    for (int r = 0; r < 32; ++r) {
        QCOMPARE(table->topLevelItem(r)->text(1), QString());
        QCOMPARE(table->topLevelItem(r)->text(2), LoadString(Str::StateNotRead));
    }
    // a key that failed shows ERROR and no key
    QVERIFY(frame()->commBar()->selectPort(u"Com2"_qs));
    unit().addFault(*QuiloSim::parseFault(u"203:34=checksum"_qs));
    QVERIFY(m_h.command(Str::CmdLoad));
    QCOMPARE(table->topLevelItem(0)->text(2), LoadString(Str::StateOk));
    QCOMPARE(table->topLevelItem(1)->text(2), LoadString(Str::StateError));
    QCOMPARE(table->topLevelItem(1)->text(1), QString());
}

void TestTransfers::clockNotReadOrInvalid()
{
    CComPort::SetPortMapping(u"Com3"_qs, m_dir.filePath(u"no-such-tty"_qs));
    QVERIFY(frame()->commBar()->selectPort(u"Com3"_qs));
    QVERIFY(m_h.select(u"Date/Time|momentary"_qs));
    auto *clock = qobject_cast<CCDateTime *>(frame()->rightView()->widget());
    QVERIFY(clock);
    QCOMPARE(clock->stateLine()->text(), LoadString(Str::ClockNotRead));
    if (CWindowHarness::english())
        QCOMPARE(clock->stateLine()->text(), u"The unit's clock has not been read."_qs);
    QVERIFY(!clock->hasValue());
    QVERIFY(!frame()->isCommandEnabled(Str::CmdWrite));

    // month 13: said so with its bytes, never shown as the next January
    Quilo::RecordOutcome month13;
    month13.dataSet = Quilo::dsDateTime;
    month13.status = 0x8000;
    month13.bytes = QByteArray::fromHex("2413011000");
    doc().ApplyRecords({month13});
    QVERIFY(m_h.command(Str::CmdLoad)); // the port still fails: the record stays as it is
    QVERIFY2(clock->stateLine()->text().contains(u"24 13 01 10 00"_qs), qPrintable(clock->stateLine()->text()));
    QVERIFY(!clock->hasValue());
    QVERIFY(clock->datePicker()->date() != QDate(2025, 1, 1));

    // Set from PC gives the pickers a value to write
    clock->OnSetFromPC();
    QVERIFY(clock->hasValue());
    QVERIFY(frame()->isCommandEnabled(Str::CmdWrite));
}

// Delete, the clipboard or an input method never shorten the key; only a whole key is written.
void TestTransfers::keyEditorTakesOnlyWholeKeys()
{
    QVERIFY(m_h.select(u"Keys|Tables|organizer"_qs));
    auto *table = qobject_cast<CKeyTables *>(frame()->rightView()->widget());
    frame()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(frame()));
    const QString before = table->topLevelItem(0)->text(1);
    table->OnDblClk(0, 1);
    CKeyEdit *editor = table->editor();
    QVERIFY(editor);
    QTRY_VERIFY(editor->hasFocus());
    const QRect placed = editor->geometry();

    editor->setCursorPosition(editor->text().size());
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(editor, Qt::Key_Backspace);
    editor->selectAll();
    QTest::keyClick(editor, Qt::Key_Delete);
    QGuiApplication::clipboard()->setText(u"F"_qs);
    QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
    QInputMethodEvent ime;
    ime.setCommitString(u"1"_qs, -3, 3);
    QCoreApplication::sendEvent(editor, &ime);
    QCOMPARE(editor->text().size(), before.size());

    // the list does not scroll away under the editor
    const int scrolled = table->verticalScrollBar()->value();
    QWheelEvent wheel(QPointF(10, 10), table->mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, -240), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(table->viewport(), &wheel);
    QCOMPARE(table->verticalScrollBar()->value(), scrolled);
    QCOMPARE(editor->geometry(), placed);

    m_h.answer = QMessageBox::Yes;
    unit().clearTraffic();
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(m_h.messages.size(), 1);
    QVERIFY(m_h.waitIdle());
    // whatever the question shows is a whole key, and exactly that is written
    QString asked = m_h.messages.at(0).text.section(u'\n', 2, 2);
    asked.remove(QRegularExpression(QStringLiteral("\\s*\\?$"))); // the question mark, as the language sets it
    std::uint8_t key[8];
    QVERIFY2(CKeyField::ScanKey(asked, key), qPrintable(asked));
    QCOMPARE(asked.size(), 27);
    QCOMPARE(m_h.framesWithCommand(205), 1);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(unit().state().keyTable[0].data()), 8),
             QByteArray(reinterpret_cast<const char *>(key), 8));
}

void TestTransfers::barsStayAndFormsTakeFocus()
{
    QVERIFY(frame()->createPopupMenu() == nullptr);
    for (QToolBar *bar : frame()->findChildren<QToolBar *>())
        QVERIFY(!bar->toggleViewAction()->isEnabled());

    QVERIFY(m_h.select(u"Config|momentary"_qs));
    frame()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(frame()));
    frame()->leftView()->setFocus();
    QTRY_VERIFY(!frame()->isCommandEnabled(Str::CmdLoad));
    auto *config = qobject_cast<CConfig *>(frame()->rightView()->widget());
    QTest::mouseClick(config->form(), Qt::LeftButton, {}, QPoint(2, 2));
    QTRY_VERIFY(frame()->isCommandEnabled(Str::CmdLoad));
}


// A whole-unit read says that it reads; browsing the tree lets it run on and the view chosen
// fills as it goes; Stop or opening a file ends it. Whichever way it ends, the status bar keeps
// its summary, failures included, and says what became of its visit.
void TestTransfers::wholeUnitReadEnds_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("complete");
    QTest::newRow("browsing the tree meanwhile") << u"browse"_qs << true;
    QTest::newRow("Stop") << u"stop"_qs << false;
    QTest::newRow("a file opened") << u"open"_qs << false;
}

void TestTransfers::wholeUnitReadEnds()
{
    QFETCH(QString, how);
    QFETCH(bool, complete);
    const QString file = m_dir.filePath(u"before.quilo"_qs);
    if (how == u"open"_qs) {
        QVERIFY(m_h.select(u"Counters|yearly"_qs));
        frame()->files()->SaveTo(file);
        QTRY_VERIFY(!frame()->files()->InBackground());
    }
    unit().addFault(*QuiloSim::parseFault(u"198:5=checksum"_qs));
    QSignalSpy ended(&doc(), &CTarvelDoc::wholeUnitRead);
    QSignalSpy recorded(frame()->historyService(), &Quilo::CHistoryService::recorded);
    QVERIFY(frame()->OnCommand(Str::CmdReadAll));
    QCOMPARE(frame()->idleText(), LoadString(Str::SumReadingAll));
    if (how == u"browse"_qs) {
        QVERIFY(m_h.select(u"Counters|yearly"_qs, false));
        QVERIFY(m_h.select(u"Counters|daily"_qs, false));
        QCOMPARE(doc().RunningDataSet(), CTarvelDoc::kReadAll); // still the whole unit
    } else if (how == u"stop"_qs) {
        QVERIFY(frame()->OnCommand(Str::CmdStop));
    } else {
        frame()->openDocumentFile(file);
    }
    QVERIFY(m_h.waitIdle());
    QTRY_COMPARE(ended.size(), 1);
    QCOMPARE(ended.first().at(1).toBool(), complete);
    QVERIFY(recorded.size() == 1 || recorded.wait(20000));
    QString summary = Quilo::describeReadAll(ended.first().at(0).value<QList<COperationSummary>>());
    if (!complete && !summary.endsWith(LoadString(Str::SumStopped)))
        summary += LoadString(Str::SumStopped); // stopped before a set began
    const QString note = recorded.first().at(0).toString();
    if (how == u"open"_qs) {
        // the file is shown, and the message says the read was stopped for it
        QTRY_VERIFY(doc().IsOffline());
        QTRY_VERIFY2(frame()->idleText().endsWith(LoadString(Str::FileStoppedReadAll).arg(QString()).section(u' ', 1)),
                     qPrintable(frame()->idleText()));
        return;
    }
    QTRY_COMPARE(frame()->idleText(), LoadString(Str::SumWithVisit).arg(summary, note));
    if (complete) {
        QVERIFY2(summary.contains(LoadString(Str::SumFailedOne).arg(1).arg(LoadString(Str::Result48))), qPrintable(summary));
        QCOMPARE(recorded.first().at(1).toBool(), true);
        // the view chosen meanwhile shows what the read brought
        auto *list = qobject_cast<CDailyList *>(frame()->rightView()->widget());
        QVERIFY(list);
        QCOMPARE(list->topLevelItem(4)->text(1), LoadString(Str::Result48));
        QVERIFY(!list->topLevelItem(0)->text(2).isEmpty());
    } else {
        QVERIFY2(summary.endsWith(LoadString(Str::SumStopped)), qPrintable(summary));
        QCOMPARE(note, LoadString(Str::HistNotComplete));
    }
}

// Closing the window ends a whole-unit read unrecorded: the window says so and asks first.
void TestTransfers::closingAsksDuringAWholeUnitRead()
{
    unit().setPacing(true);
    QVERIFY(frame()->OnCommand(Str::CmdReadAll));
    m_h.answer = QMessageBox::No;
    QVERIFY(!frame()->close());
    QCOMPARE(m_h.messages.size(), 1);
    QCOMPARE(m_h.messages.first().text, LoadString(Str::ReadAllCloseQuestion));
    QVERIFY(frame()->isVisible());
    QCOMPARE(doc().RunningDataSet(), CTarvelDoc::kReadAll);
    m_h.answer = QMessageBox::Yes;
    QVERIFY(frame()->close());
    m_h.answer = QMessageBox::Ok;
    // once the read is over nothing is asked
    QVERIFY(m_h.openWindow());
    m_h.messages.clear();
    QVERIFY(frame()->close());
    QVERIFY(m_h.messages.isEmpty());
}

// A saved read-out is no unit: its keys are not edited, and the status bar says why.
void TestTransfers::offlineKeysAreNotEdited()
{
    QVERIFY(m_h.select(u"Keys|Tables|organizer"_qs));
    const QString file = m_dir.filePath(u"keys.quilo"_qs);
    frame()->files()->SaveTo(file);
    QTRY_VERIFY(!frame()->files()->InBackground());
    frame()->openDocumentFile(file);
    QTRY_VERIFY(doc().IsOffline());
    QVERIFY(m_h.select(u"Keys|Tables|organizer"_qs));
    auto *table = qobject_cast<CKeyTables *>(frame()->rightView()->widget());
    QVERIFY(table);
    table->OnDblClk(0, 1);
    QVERIFY(!table->editor());
    QCOMPARE(frame()->idleText(), LoadString(Str::KeyOfflineNoEdit));
    QVERIFY(m_h.messages.isEmpty()); // no question whose Yes does nothing
}

// The counters' refresh every two seconds neither replaces what the status bar says nor
// flips the commands; a refresh that fails says so.
void TestTransfers::countersRefreshQuietly()
{
    QVERIFY(m_h.select(u"Counters|momentary"_qs));
    auto *counters = qobject_cast<CCurrentCounters *>(frame()->rightView()->widget());
    QVERIFY(counters && counters->isRefreshing());
    frame()->files()->SaveTo(m_dir.filePath(u"counters.quilo"_qs));
    QTRY_VERIFY(!frame()->files()->InBackground());
    const QString saved = frame()->idleText();
    int flips = 0;
    connect(frame()->action(Str::CmdReadAll), &QAction::enabledChanged, this, [&flips] { ++flips; });
    unit().clearTraffic();
    QTRY_VERIFY_WITH_TIMEOUT(m_h.framesWithCommand(206) >= 2, 10000); // two refreshes
    QVERIFY(m_h.waitIdle());
    QCOMPARE(frame()->idleText(), saved);
    QCOMPARE(flips, 0);
    // the next one fails: that is said
    unit().addFault(*QuiloSim::parseFault(u"206=checksum"_qs));
    QTRY_VERIFY_WITH_TIMEOUT(frame()->idleText() != saved, 10000);
    QVERIFY2(frame()->idleText().contains(LoadString(Str::Result48)), qPrintable(frame()->idleText()));
}

// The port does not change under a running transfer: what is read is labelled with its port.
void TestTransfers::portStaysDuringATransfer()
{
    unit().setPacing(true);
    unit().setTurnaroundMs(20);
    QVERIFY(m_h.select(u"Counters|daily"_qs, false));
    QVERIFY(doc().IsBusy());
    QVERIFY(!frame()->commBar()->portSelector()->isEnabled());
    QVERIFY(!frame()->commBar()->selectPort(u"Com3"_qs));
    QVERIFY(m_h.waitIdle());
    QCOMPARE(doc().PortName(), u"Com2"_qs);
    QVERIFY(frame()->commBar()->portSelector()->isEnabled());
    QVERIFY(frame()->commBar()->selectPort(u"Com3"_qs));
}

// The configuration is one record read in parts: counted in parts on a first read, after Load
// and on a revisit alike.
void TestTransfers::partsCountedOneWay()
{
    const QString title = Quilo::dataSetTitle(CTarvelDoc::dsConfig);
    QVERIFY(m_h.select(u"Config|momentary"_qs));
    QCOMPARE(frame()->idleText(), LoadString(Str::SumReadParts).arg(title).arg(18).arg(18));
    QVERIFY(m_h.select(u"Counters|yearly"_qs));
    QVERIFY(m_h.select(u"Config|momentary"_qs));
    QCOMPARE(frame()->idleText(), LoadString(Str::SumPartsKept).arg(title).arg(18).arg(18));
    unit().addFault(*QuiloSim::parseFault(u"202:3=checksum"_qs));
    auto *config = qobject_cast<CConfig *>(frame()->rightView()->widget());
    config->setFocus();
    QVERIFY(m_h.command(Str::CmdLoad));
    QVERIFY2(frame()->idleText().startsWith(LoadString(Str::SumReadParts).arg(title).arg(17).arg(18)),
             qPrintable(frame()->idleText()));
    QVERIFY(m_h.select(u"Counters|yearly"_qs));
    QVERIFY(m_h.select(u"Config|momentary"_qs));
    QCOMPARE(frame()->idleText(), LoadString(Str::SumPartsKept).arg(title).arg(17).arg(18));
}

// Load on a port that does not open changes nothing that was read: each view still shows it,
// and Save writes it read, under the unit it came from.
void TestTransfers::loadOnADeadPortKeepsWhatWasRead_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("set");
    QTest::addColumn<int>("record");
    QTest::newRow("a log") << u"Counters|daily"_qs << int(Quilo::dsDaily) << 0;
    QTest::newRow("the configuration") << u"Config|momentary"_qs << int(Quilo::dsConfig) << 0;
    QTest::newRow("a configuration event") << u"Config|logs"_qs << int(Quilo::dsConfEvents) << 0;
    QTest::newRow("a key group") << u"Keys|Tables|organizer"_qs << int(Quilo::dsKeyTable) << 0;
    QTest::newRow("the counters") << u"Counters|momentary"_qs << int(Quilo::dsCounters) << 0;
}

void TestTransfers::loadOnADeadPortKeepsWhatWasRead()
{
    QFETCH(QString, path);
    QFETCH(int, set);
    QFETCH(int, record);
    QVERIFY(m_h.select(u"Config|momentary"_qs)); // the unit's name, for Save
    QVERIFY(m_h.select(path));
    const auto index = static_cast<unsigned>(record);
    QVERIFY(doc().ReadOut().IsRead(set, index));
    const QByteArray held = doc().Meta(set, index)->raw;
    QWidget *view = frame()->rightView()->widget();
    const auto shown = [view] {
        QStringList texts;
        if (auto *list = qobject_cast<QTreeWidget *>(view))
            for (int r = 0; r < list->topLevelItemCount(); ++r)
                for (int c = 0; c < list->columnCount(); ++c)
                    texts << list->topLevelItem(r)->text(c);
        for (const QLineEdit *edit : view->findChildren<QLineEdit *>())
            texts << edit->text();
        return texts;
    };
    const QStringList before = shown();

    CComPort::SetPortMapping(u"Com3"_qs, m_dir.filePath(u"no-such-tty"_qs));
    QVERIFY(frame()->commBar()->selectPort(u"Com3"_qs));
    view->setFocus();
    QTRY_VERIFY(frame()->isCommandEnabled(Str::CmdLoad));
    QVERIFY(m_h.command(Str::CmdLoad));
    QVERIFY2(frame()->idleText().contains(u"Com3"_qs), qPrintable(frame()->idleText()));
    QVERIFY(doc().ReadOut().IsRead(set, index));
    QCOMPARE(doc().Meta(set, index)->raw, held);
    QCOMPARE(shown(), before);

    const QString file = m_dir.filePath(u"after-dead-port.quilo"_qs);
    frame()->files()->SaveTo(file);
    QTRY_VERIFY(!frame()->files()->InBackground());
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const Quilo::Result<Quilo::ReadOutFile> saved = Quilo::ParseReadOut(f.readAll());
    QVERIFY2(saved, qPrintable(saved.error()));
    const Quilo::ReadOut readOut = Quilo::ReadOut::FromRecords(saved->records);
    QVERIFY(readOut.IsRead(set, index));
    QVERIFY(readOut.IsRead(Quilo::dsConfig, 0));
    QVERIFY(!readOut.UnitNumber().isEmpty());
}

QTEST_MAIN(TestTransfers)
#include "tst_transfers.moc"

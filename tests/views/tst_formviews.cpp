// The form views, the key table and the key mode dialog in the window, against the simulated
// unit on a real pseudo-terminal mapped to "Com2".

#include "cdatetime.h"
#include "config.h"
#include "conflog.h"
#include "comport.h"
#include "currentcounters.h"
#include "currentkey.h"
#include "fields.h"
#include "keyedit.h"
#include "keymodedlg.h"
#include "keytables.h"
#include "leftview.h"
#include "mainframe.h"
#include "messagebox.h"
#include "simulatedunit.h"
#include "stringtable.h"
#include "tarvelapp.h"
#include "tarveldoc.h"
#include "windowharness.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

QList<QByteArray> framesOf(const QuiloSim::CSimulatedUnit &unit, int command)
{
    QList<QByteArray> out;
    for (const auto &f : unit.receivedFrames())
        if (f.bytes.size() >= 2 && static_cast<std::uint8_t>(f.bytes.at(0)) == command)
            out.append(f.bytes);
    return out;
}

QByteArray dataFrame(std::uint8_t command, std::uint8_t param, const QByteArray &data)
{
    QByteArray f;
    f.append(static_cast<char>(command)).append(static_cast<char>(param)).append(data);
    unsigned sum = 0;
    for (char c : f)
        sum += static_cast<std::uint8_t>(c);
    const unsigned check = 0xFFFFu - (sum & 0xFFFFu);
    f.append(static_cast<char>(check & 0xFF)).append(static_cast<char>(check >> 8));
    return f;
}

const QString kNewKeyText = u"01 - 23 45 67 89 AB CD - EF"_qs;
const QByteArray kNewKey = QByteArray::fromHex("0123456789abcdef");
const QString kOldKeyText = u"11 - 22 33 44 55 66 77 - 88"_qs;

bool english()
{
    return CWindowHarness::english();
}

} // namespace

class TestFormViews : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void countersLiveRefresh();
    void dateTimeShowsAndWrites();
    void dateTimeWriteFailure();
    void configReadOnceAndLimits();
    void confEventsByTab();
    void currentKeyCentred();
    void keyTableWrite_data();
    void keyTableWrite();
    void keyTableEditAbandoned();
    void keyModeDialog_data();
    void keyModeDialog();

private:
    CMainFrame *frame() const { return m_h.frame(); }
    CTarvelDoc &doc() const { return m_h.doc(); }
    void select(const QString &joined);
    template<class V>
    V *view() const
    {
        return frame()->rightView() ? qobject_cast<V *>(frame()->rightView()->widget()) : nullptr;
    }

    QTemporaryDir m_dir;
    CWindowHarness m_h;
    QuiloSim::CSimulatedUnit *m_unit = nullptr;
    QList<Quilo::MessageRequest> &m_messages = m_h.messages;
    QMessageBox::StandardButton &m_answer = m_h.answer;
};

void TestFormViews::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    QString error;
    QVERIFY2(m_h.start(&error), qPrintable(error));
    m_unit = &m_h.unit();
}

void TestFormViews::init()
{
    m_answer = QMessageBox::Ok;
    m_unit->setUserKey(std::nullopt);
    QVERIFY(m_h.openWindow());
    m_messages.clear(); // the start page's file is not there
    frame()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(frame()));
    m_unit->clearTraffic();
}

void TestFormViews::cleanup()
{
    m_h.closeWindow();
}

void TestFormViews::cleanupTestCase()
{
    m_h.stop();
}

void TestFormViews::select(const QString &joined)
{
    QVERIFY2(m_h.select(joined), qPrintable(joined));
}

void TestFormViews::countersLiveRefresh()
{
    select(u"Counters|momentary"_qs);
    auto *counters = view<CCurrentCounters>();
    QVERIFY(counters);
    QCOMPARE(framesOf(*m_unit, 206).size(), 1);
    const QuiloSim::Counters held = m_unit->state().counters;
    QCOMPARE(counters->box(1001)->text(), QString::number(static_cast<int>(held.cashIn)) + u" Ft."_qs);
    QCOMPARE(counters->box(1006)->text(), QString::number(held.games));
    const CCountersRecord &c = doc().m_counters;
    QCOMPARE(counters->box(1005)->text(), FormatString(Str::FmtWinMaxAt, c.GetColumnText(4), c.GetColumnText(5)));
    if (english())
        QCOMPARE(counters->box(1005)->text(), c.GetColumnText(4) + u" at "_qs + c.GetColumnText(5));
    QVERIFY(counters->box(1005)->isReadOnly());
    QCOMPARE(counters->box(1003)->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    QVERIFY(!counters->stateLine()->isVisible());

    // painting reads nothing; the view refreshes itself every two seconds, one read at a time
    m_unit->clearTraffic();
    counters->repaint();
    QCOMPARE(m_unit->receivedFrames().size(), 0);
    QVERIFY(counters->isRefreshing());
    QTRY_VERIFY_WITH_TIMEOUT(framesOf(*m_unit, 206).size() >= 2, 8000);
    for (const auto &f : m_unit->receivedFrames())
        QCOMPARE(f.bytes, QByteArray("\xCE\x00", 2));

    // a failed read stops the refreshing and shows no made-up counters; Load starts it again
    m_unit->addFault({206, -1, QuiloSim::FaultKind::Checksum, 0, false});
    QTRY_VERIFY_WITH_TIMEOUT(!counters->isRefreshing(), 8000);
    QVERIFY(m_h.waitIdle());
    QCOMPARE(counters->box(1001)->text(), QString());
    QVERIFY(counters->stateLine()->isVisible());
    m_unit->clearFaults();
    m_unit->clearTraffic();
    QTest::qWait(2500);
    QCOMPARE(m_unit->receivedFrames().size(), 0);
    QVERIFY(m_h.command(Str::CmdLoad));
    QCOMPARE(framesOf(*m_unit, 206).size(), 1);
    QVERIFY(counters->isRefreshing());
    QVERIFY(!frame()->isCommandEnabled(Str::CmdWrite));
}

void TestFormViews::dateTimeShowsAndWrites()
{
    QuiloSim::UnitState state = m_unit->state();
    state.clock.set(QDateTime(QDate(2024, 6, 15), QTime(13, 45, 1), Qt::UTC));
    m_unit->setState(state);
    select(u"Date/Time|momentary"_qs);
    auto *clock = view<CCDateTime>();
    QVERIFY(clock);
    QCOMPARE(framesOf(*m_unit, 209).size(), 1);
    QCOMPARE(clock->datePicker()->date(), QDate(2024, 6, 15));
    QCOMPARE(clock->timePicker()->time(), QTime(13, 45));
    QCOMPARE(clock->timePicker()->displayFormat(), u"HH:mm"_qs);
    QVERIFY(frame()->isCommandEnabled(Str::CmdWrite));

    // the picker cannot hold a year the unit would take for another: below 2000 it holds no
    // date at all, and Write waits for one
    clock->datePicker()->setDate(QDate(1999, 1, 1));
    QCOMPARE(clock->datePicker()->text().trimmed(), QString());
    QVERIFY(!frame()->isCommandEnabled(Str::CmdWrite));
    clock->datePicker()->setDate(QDate(2100, 1, 1));
    QCOMPARE(clock->datePicker()->date(), QDate(2099, 12, 31));
    QVERIFY(frame()->isCommandEnabled(Str::CmdWrite));

    // only the time changed: the date picker's date with the new time
    clock->datePicker()->setDate(QDate(2031, 2, 3));
    clock->timePicker()->setTime(QTime(7, 8, 59));
    m_unit->clearTraffic();
    QVERIFY(m_h.command(Str::CmdWrite));
    QCOMPARE(m_unit->receivedFrames().size(), 1);
    QCOMPARE(m_unit->receivedFrames().at(0).bytes, dataFrame(210, 0, QByteArray::fromHex("3102030708")));
    const QDateTime held = m_unit->state().clock.now();
    QCOMPARE(held.date(), QDate(2031, 2, 3));
    QCOMPARE(held.time().hour(), 7);
    QVERIFY(m_messages.isEmpty());

    // Set from PC alone sends nothing
    m_unit->clearTraffic();
    clock->OnSetFromPC();
    QCOMPARE(clock->datePicker()->date(), QDate::currentDate());
    QCOMPARE(m_unit->receivedFrames().size(), 0);
}

void TestFormViews::dateTimeWriteFailure()
{
    select(u"Date/Time|momentary"_qs);
    m_unit->addFault({210, -1, QuiloSim::FaultKind::Refuse, 0, false});
    QVERIFY(m_h.command(Str::CmdWrite));
    m_unit->clearFaults();
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages.at(0).text, LoadString(Str::WriteError));
    if (english())
        QCOMPARE(m_messages.at(0).text, u"Write Error"_qs);
    QCOMPARE(m_messages.at(0).buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

void TestFormViews::configReadOnceAndLimits()
{
    select(u"Config|momentary"_qs);
    QCOMPARE(framesOf(*m_unit, 202).size(), 18);
    auto *config = view<CConfig>();
    QVERIFY(config);
    QWidget *form = config->form();
    const auto box = [form](const char *name) { return form->findChild<QLineEdit *>(QLatin1String(name)); };
    QCOMPARE(box("edit1024")->text(), m_unit->state().config.type);
    QCOMPARE(box("edit1031")->text(), m_unit->state().config.name);

    // the boxes stop at the field's width; the counters have no limit
    box("edit1043")->clear();
    QTest::keyClicks(box("edit1043"), u"ABC"_qs);
    QCOMPARE(box("edit1043")->text(), u"AB"_qs);
    QCOMPARE(box("edit1031")->maxLength(), 64);
    QCOMPARE(box("edit1042")->maxLength(), 8);
    QCOMPARE(box("edit1047")->maxLength(), QLineEdit().maxLength());
    auto *note = form->findChild<QPlainTextEdit *>(u"edit1028"_qs);
    note->setPlainText(QString(70, u'x'));
    QCOMPARE(note->toPlainText().size(), 64);
    QCOMPARE(form->findChild<QGroupBox *>(u"group1029"_qs)->title(), LoadString(Str::LblGrpManufacturing));
    if (english())
        QCOMPARE(form->findChild<QGroupBox *>(u"group1029"_qs)->title(), u"Manufactoring Data"_qs);

    // Write: a message, nothing sent, typed text stays
    m_unit->clearTraffic();
    QVERIFY(m_h.command(Str::CmdWrite));
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages.at(0).text, LoadString(Str::NotSupported));
    QCOMPARE(m_messages.at(0).caption, LoadString(Str::VersionError));
    if (english()) {
        QCOMPARE(m_messages.at(0).text, u"Not supported in this version"_qs);
        QCOMPARE(m_messages.at(0).caption, u"Version error"_qs);
    }
    QCOMPARE(m_unit->receivedFrames().size(), 0);
    QCOMPARE(box("edit1043")->text(), u"AB"_qs);

    // a second showing reads nothing; Load reads again
    select(u"Counters|yearly"_qs);
    m_unit->clearTraffic();
    select(u"Config|momentary"_qs);
    QCOMPARE(m_unit->receivedFrames().size(), 0);
    QVERIFY(m_h.command(Str::CmdLoad));
    QCOMPARE(framesOf(*m_unit, 202).size(), 18);
}

void TestFormViews::confEventsByTab()
{
    select(u"Config|logs"_qs);
    auto *events = view<CConfLog>();
    QVERIFY(events);
    QCOMPARE(events->tabBar()->count(), 20);
    QCOMPARE(events->tabBar()->tabText(0), u"1"_qs);
    QCOMPARE(events->tabBar()->tabText(19), u"20"_qs);
    QCOMPARE(framesOf(*m_unit, 225).size(), 24);
    QCOMPARE(m_unit->receivedFrames().size(), 24);
    for (QLineEdit *edit : events->form()->findChildren<QLineEdit *>())
        QVERIFY2(edit->isReadOnly(), qPrintable(edit->objectName()));
    QVERIFY(events->form()->findChild<QPlainTextEdit *>(u"edit1028"_qs)->isReadOnly());
    QVERIFY(!frame()->isCommandEnabled(Str::CmdWrite));

    // entry 7: read the first time only, again on Load
    events->tabBar()->setCurrentIndex(6);
    QVERIFY(m_h.waitIdle());
    QCOMPARE(framesOf(*m_unit, 231).size(), 24);
    QCOMPARE(doc().m_nConfigEvent, 6);
    const QuiloSim::ConfEvent held = m_unit->state().confEvents[6]; // state() returns a copy
    QCOMPARE(events->form()->findChild<QLineEdit *>(u"edit1018"_qs)->text(),
             QString::number(static_cast<int>(held.in)) + u" Ft."_qs);
    // the configuration part too, which has no status of its own
    QCOMPARE(events->form()->findChild<QLineEdit *>(u"edit1024"_qs)->text(), held.config.type);
    QCOMPARE(events->form()->findChild<QPlainTextEdit *>(u"edit1028"_qs)->toPlainText(), held.config.note);
    events->tabBar()->setCurrentIndex(0);
    events->tabBar()->setCurrentIndex(6);
    QVERIFY(m_h.waitIdle());
    QCOMPARE(framesOf(*m_unit, 231).size(), 24);
    // passed over, not a port that failed to open
    QCOMPARE(frame()->idleText(), LoadString(Str::SumPartsKept).arg(LoadString(Str::TitleConfEvents)).arg(24).arg(24));
    QCOMPARE(framesOf(*m_unit, 225).size(), 24);
    QVERIFY(m_h.command(Str::CmdLoad));
    QCOMPARE(framesOf(*m_unit, 231).size(), 48);

    // back later: the same entry, nothing read
    select(u"Counters|yearly"_qs);
    m_unit->clearTraffic();
    select(u"Config|logs"_qs);
    QCOMPARE(view<CConfLog>()->tabBar()->currentIndex(), 6);
    QCOMPARE(m_unit->receivedFrames().size(), 0);
}

void TestFormViews::currentKeyCentred()
{
    select(u"Keys|momentary"_qs);
    auto *key = view<CCurrentKey>();
    QVERIFY(key);
    QCOMPARE(framesOf(*m_unit, 203), QList<QByteArray>{QByteArray("\xCB\x00", 2)});
    QCOMPARE(key->keyBox()->text(), doc().m_currentKey.GetText());
    QVERIFY(key->keyBox()->text() != CKeyField().GetText()); // the generated unit's key is not zero
    for (int width : {300, 700}) {
        key->resize(width, 200);
        QVERIFY(qAbs(key->keyBox()->geometry().center().x() - width / 2) <= 1);
        QVERIFY(qAbs(key->keyGroup()->geometry().center().x() - width / 2) <= 1);
    }
    QVERIFY(m_h.command(Str::CmdLoad));
    QCOMPARE(framesOf(*m_unit, 203).size(), 2);
}

void TestFormViews::keyTableWrite_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("byEnter"); // else by a click into the list
    QTest::newRow("yes, Enter") << int(QMessageBox::Yes) << true;
    QTest::newRow("no, Enter") << int(QMessageBox::No) << true;
    QTest::newRow("yes, click in the list") << int(QMessageBox::Yes) << false;
}

void TestFormViews::keyTableWrite()
{
    QFETCH(int, answer);
    QFETCH(bool, byEnter);
    m_answer = static_cast<QMessageBox::StandardButton>(answer);

    select(u"Keys|Tables|OMH"_qs);
    auto *table = view<CKeyTables>();
    QVERIFY(table);
    QCOMPARE(table->topLevelItemCount(), 64);
    QCOMPARE(table->topLevelItem(0)->text(0), u"1."_qs);
    QCOMPARE(table->topLevelItem(63)->text(0), u"64."_qs);
    const QList<QByteArray> reads = framesOf(*m_unit, 203);
    QCOMPARE(reads.size(), 64);
    QCOMPARE(reads.first(), QByteArray("\xCB\x81", 2)); // row 1 is key 128
    const QString oldText = doc().m_aKeyTable[128].GetText();
    QCOMPARE(table->topLevelItem(0)->text(1), oldText);
    QCOMPARE(table->topLevelItem(0)->text(2), LoadString(Str::StateOk));

    // a double click on the idx or State column opens nothing
    const QRect row0 = table->visualItemRect(table->topLevelItem(0));
    const auto cellCentre = [&](int column) {
        return QPoint(table->header()->sectionViewportPosition(column) + table->header()->sectionSize(column) / 2,
                      row0.center().y());
    };
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cellCentre(0));
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cellCentre(2));
    QVERIFY(!table->editor());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cellCentre(1));
    CKeyEdit *editor = table->editor();
    QVERIFY(editor);
    QCOMPARE(editor->text(), oldText);
    QTRY_VERIFY(editor->hasFocus());

    // Load waits while the key is edited
    m_unit->clearTraffic();
    QVERIFY(m_h.command(Str::CmdLoad));
    QCOMPARE(m_unit->receivedFrames().size(), 0);

    QTest::keyClicks(editor, u"0123456789abcdef"_qs);
    if (byEnter)
        QTest::keyClick(editor, Qt::Key_Return);
    else
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->viewport()->rect().center());
    QTRY_COMPARE(m_messages.size(), 1);
    QVERIFY(m_h.waitIdle());
    QCOMPARE(m_messages.at(0).text, FormatString(Str::KeyModifyQuestion, 1, kNewKeyText));
    QCOMPARE(m_messages.at(0).caption, LoadString(Str::KeyModifyCaption));
    if (english()) {
        QCOMPARE(m_messages.at(0).text, u"Would you like to modify\n1 key to\n"_qs + kNewKeyText + u" ?"_qs);
        QCOMPARE(m_messages.at(0).caption, u"Key modify.."_qs);
    }
    QCOMPARE(m_messages.at(0).buttons, QMessageBox::Yes | QMessageBox::No);
    QVERIFY(!table->editor());

    const QList<QByteArray> writes = framesOf(*m_unit, 205);
    if (m_answer == QMessageBox::Yes) {
        QCOMPARE(writes, QList<QByteArray>{dataFrame(205, 129, kNewKey)});
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(m_unit->state().keyTable[128].data()), 8), kNewKey);
        QCOMPARE(table->topLevelItem(0)->text(1), kNewKeyText);
        QCOMPARE(table->topLevelItem(0)->text(2), LoadString(Str::StateOk));
    } else {
        QVERIFY(writes.isEmpty());
        QCOMPARE(table->topLevelItem(0)->text(1), oldText);
    }
}

void TestFormViews::keyTableEditAbandoned()
{
    select(u"Keys|Tables|LAB"_qs);
    auto *table = view<CKeyTables>();
    QVERIFY(table);
    QCOMPARE(table->topLevelItemCount(), 32);
    table->OnDblClk(2, 1);
    QVERIFY(table->editor());
    QTest::keyClicks(table->editor(), u"ff"_qs);
    m_unit->clearTraffic();
    select(u"Keys|momentary"_qs);
    QTest::qWait(50);
    QVERIFY(m_messages.isEmpty());
    QVERIFY(framesOf(*m_unit, 205).isEmpty());

    // a refused write shows ERROR and keeps the old text
    select(u"Keys|Tables|LAB"_qs);
    table = view<CKeyTables>();
    const QString oldText = table->topLevelItem(0)->text(1);
    m_answer = QMessageBox::Yes;
    m_unit->addFault({205, -1, QuiloSim::FaultKind::Refuse, 0, false});
    table->OnDblClk(0, 1);
    QTest::keyClicks(table->editor(), u"1"_qs);
    QTest::keyClick(table->editor(), Qt::Key_Return);
    QTRY_COMPARE(m_messages.size(), 1);
    QVERIFY(m_h.waitIdle());
    m_unit->clearFaults();
    QCOMPARE(table->topLevelItem(0)->text(2), LoadString(Str::StateError));
    QCOMPARE(table->topLevelItem(0)->text(1), oldText);

    // a damaged answer to a write the unit took: the row says what the unit holds, not ERROR
    m_messages.clear();
    m_unit->addFault({205, -1, QuiloSim::FaultKind::Checksum, 0, true});
    table->OnDblClk(1, 1);
    QTest::keyClicks(table->editor(), u"0123456789abcdef"_qs);
    QTest::keyClick(table->editor(), Qt::Key_Return);
    QTRY_COMPARE(m_messages.size(), 1);
    QVERIFY(m_h.waitIdle());
    QCOMPARE(table->topLevelItem(1)->text(1), kNewKeyText);
    QCOMPARE(table->topLevelItem(1)->text(2), u"OK"_qs);
    QCOMPARE(frame()->idleText(), LoadString(Str::SumHoldsNew));
}

void TestFormViews::keyModeDialog_data()
{
    QTest::addColumn<bool>("check");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("ok");        // else Escape
    QTest::addColumn<int>("keyMode");
    QTest::addColumn<QString>("userKey");

    const QString old = kOldKeyText;
    QTest::newRow("check, type, OK") << true << u"0123456789abcdef"_qs << true << 1 << kNewKeyText;
    // typing edits the key shown, not a blank one behind it
    QTest::newRow("check, type two digits, OK") << true << u"ff"_qs << true << 1 << u"FF - 22 33 44 55 66 77 - 88"_qs;
    QTest::newRow("not checked: typing does nothing") << false << u"0123456789abcdef"_qs << true << 0 << old;
    QTest::newRow("check, Escape: the click's state") << true << u"ff"_qs << false << 1 << old;
    QTest::newRow("untouched, Escape") << false << QString() << false << 0 << old;
    QTest::newRow("Delete leaves no key: the old one stays") << true << u"\x7f\x7f\x7f\x7f"_qs << true << 1 << old;
}

void TestFormViews::keyModeDialog()
{
    QFETCH(bool, check);
    QFETCH(QString, typed);
    QFETCH(bool, ok);

    QVERIFY(doc().SetKeyMode(0, kOldKeyText));
    bool seen = false;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<CKeyModeDlg *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        seen = true;
        if (!dialog->keyEdit().isReadOnly() || dialog->windowTitle() != LoadString(Str::LblKeyModeTitle))
            seen = false;
        if (check) {
            // on the box and its words, wherever the language puts their end
            QStyleOptionButton option;
            option.initFrom(dialog->modeBox());
            option.text = dialog->modeBox()->text();
            const QRect box = dialog->modeBox()->style()->subElementRect(QStyle::SE_CheckBoxClickRect, &option,
                                                                         dialog->modeBox());
            QTest::mouseClick(dialog->modeBox(), Qt::LeftButton, {}, box.center());
        }
        for (QChar c : typed) {
            if (c == u'\x7f')
                QTest::keyClick(&dialog->keyEdit(), Qt::Key_Delete);
            else
                QTest::keyClicks(&dialog->keyEdit(), QString(c));
        }
        QTest::keyClick(dialog, ok ? Qt::Key_Return : Qt::Key_Escape);
    });
    QVERIFY(frame()->OnCommand(Str::CmdUserKey));
    QVERIFY(seen);
    QTEST(doc().m_bKeyMode, "keyMode");
    QTEST(doc().m_strUserKey, "userKey");

    // with key mode on, the unit is handed the key before each request
    if (doc().m_bKeyMode) {
        std::uint8_t bytes[8];
        QVERIFY(CKeyField::ScanKey(doc().m_strUserKey, bytes));
        QuiloSim::Key key;
        std::copy(std::begin(bytes), std::end(bytes), key.begin());
        m_unit->setUserKey(key);
        m_unit->clearTraffic();
        select(u"Keys|momentary"_qs);
        const QList<QuiloSim::Frame> frames = m_unit->receivedFrames();
        QCOMPARE(frames.size(), 2);
        QCOMPARE(frames.at(0).bytes, dataFrame(205, 0, QByteArray(reinterpret_cast<const char *>(bytes), 8)));
        QCOMPARE(frames.at(1).bytes, QByteArray("\xCB\x00", 2));
        QCOMPARE(view<CCurrentKey>()->keyBox()->text(), doc().m_currentKey.GetText());
        QVERIFY(doc().m_currentKey.IsRead());
    }
}

QTEST_MAIN(TestFormViews)
#include "tst_formviews.moc"

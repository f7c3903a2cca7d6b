#include "screenshots.h"

#include "aboutdlg.h"
#include "commbar.h"
#include "comport.h"
#include "datasettable.h"
#include "filecommands.h"
#include "historyservice.h"
#include "historyview.h"
#include "keymodedlg.h"
#include "keytables.h"
#include "leftview.h"
#include "mainframe.h"
#include "stringtable.h"
#include "tarveldoc.h"
#include "viewtable.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QPixmap>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidgetItemIterator>

namespace Quilo {

namespace {

// A file name from an item's text in any language: plain ASCII, accents dropped ("napló" gives
// "naplo"), anything else a dash.
QString slug(const QString &text)
{
    QString s;
    for (QChar c : text.toLower().normalized(QString::NormalizationForm_D)) {
        if (c.isMark())
            continue;
        s += c.unicode() < 128 && c.isLetterOrNumber() ? c : QLatin1Char('-');
    }
    return s;
}

// The picture shows a view once its read is over, as a person would see it.
void waitIdle(CTarvelDoc &doc)
{
    while (doc.IsBusy() || doc.HasPendingRead())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// The history answers from its own thread, a list, then the visits, then a comparison: the
// picture waits until it has been quiet for a moment (at most a few seconds).
void waitHistory(CMainFrame &frame)
{
    auto *view = frame.rightView() ? qobject_cast<CHistoryView *>(frame.rightView()->widget()) : nullptr;
    if (!view || !view->service())
        return;
    QDeadlineTimer give(5000);
    QDeadlineTimer quiet(300);
    while (!give.hasExpired() && !quiet.hasExpired()) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        if (view->service()->IsBusy())
            quiet.setRemainingTime(300);
    }
}

// Whole-unit read-outs, each a visit in the history, so that its view has visits to compare.
void recordVisits(CMainFrame &frame, int count, const std::function<void()> &betweenVisits)
{
    CHistoryService *service = frame.historyService();
    if (!service)
        return;
    for (int i = 0; i < count; ++i) {
        if (i > 0 && betweenVisits)
            betweenVisits();
        bool recorded = false;
        const auto connection = QObject::connect(service, &CHistoryService::recorded, &frame, [&recorded] { recorded = true; });
        frame.OnCommand(Str::CmdReadAll);
        waitIdle(frame.document());
        QDeadlineTimer give(10000);
        while (!recorded && !give.hasExpired())
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        QObject::disconnect(connection);
    }
}

// Events for a while, as a person watching would let them pass.
void letRun(int ms)
{
    QDeadlineTimer give(ms);
    while (!give.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

// The tree's item of a data set's view (of a key group: the one starting at `first`).
QTreeWidgetItem *itemOf(CLeftView *tree, DataSetId set, int first = -1)
{
    const DataSetInfo *info = FindDataSet(set);
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        if ((*it)->data(0, CLeftView::kCommandRole).toUInt() == info->viewCommand
            && (first < 0 || (*it)->data(0, CLeftView::kRangeRole).toPoint().x() == first))
            return *it;
    return nullptr;
}

bool save(QWidget &w, const QDir &dir, int n, const QString &name)
{
    QApplication::processEvents();
    return w.grab().save(dir.filePath(QStringLiteral("%1-%2.png").arg(n, 2, 10, QLatin1Char('0')).arg(slug(name))));
}

QString itemPath(const QTreeWidgetItem *item)
{
    QStringList parts;
    for (; item; item = item->parent())
        parts.prepend(item->text(0));
    return parts.join(QLatin1Char('-'));
}

// The History view once the unit has one visit: no comparison yet, that visit's logs.
void oneVisit(CMainFrame &frame, const QDir &dir, int &n, const std::function<void()> &betweenVisits)
{
    recordVisits(frame, 1, betweenVisits);
    for (QTreeWidgetItemIterator it(frame.leftView()); *it; ++it) {
        if ((*it)->data(0, CLeftView::kCommandRole).toUInt() != Str::CmdHistory)
            continue;
        frame.leftView()->setCurrentItem(*it);
        waitHistory(frame);
        auto *history = frame.rightView() ? qobject_cast<CHistoryView *>(frame.rightView()->widget()) : nullptr;
        if (save(frame, dir, n, QStringLiteral("history-one-visit")))
            ++n;
        for (int tab = 1; history && tab < history->tabs()->count(); ++tab) {
            history->tabs()->setCurrentIndex(tab);
            if (save(frame, dir, n, QStringLiteral("history-one-visit-") + history->tabs()->tabText(tab)))
                ++n;
        }
    }
}

// A whole-unit read of a unit that fails some records: under way while the tree is browsed,
// then its summary with the visit's note. It is the second visit: the history compares it.
void faultyWholeUnitRead(CMainFrame &frame, const QDir &dir, int &n, const std::function<void()> &betweenVisits,
                         const std::function<void(const QStringList &)> &setFaults)
{
    if (setFaults)
        setFaults({QStringLiteral("198:5=checksum"), QStringLiteral("202:3=checksum")});
    if (betweenVisits)
        betweenVisits();
    bool recorded = false;
    const auto connection = QObject::connect(frame.historyService(), &CHistoryService::recorded, &frame,
                                             [&recorded] { recorded = true; });
    frame.OnCommand(Str::CmdReadAll);
    letRun(1500);
    if (QTreeWidgetItem *daily = itemOf(frame.leftView(), dsDaily))
        frame.leftView()->setCurrentItem(daily);
    letRun(1500);
    if (save(frame, dir, n, QStringLiteral("whole-unit-read-browsed")))
        ++n;
    waitIdle(frame.document());
    QDeadlineTimer give(10000);
    while (!recorded && !give.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    QObject::disconnect(connection);
    if (save(frame, dir, n, QStringLiteral("whole-unit-read-summary")))
        ++n;
    if (setFaults)
        setFaults({});
}

// What the window keeps and says: Load on a port that does not open, the counters' refresh
// after a save, and the key editor while a saved read-out is shown.
void keptAndSaid(CMainFrame &frame, const QDir &dir, int &n)
{
    CLeftView *tree = frame.leftView();
    QTemporaryDir scratch;
    const QString file = scratch.filePath(QStringLiteral("read-out.quilo"));
    if (QTreeWidgetItem *config = itemOf(tree, dsConfig)) {
        tree->setCurrentItem(config);
        waitIdle(frame.document());
        if (save(frame, dir, n, QStringLiteral("config-read")))
            ++n;
        const QString dead = QStringLiteral("Com3");
        CComPort::SetPortMapping(dead, scratch.filePath(QStringLiteral("no-such-port")));
        frame.commBar()->selectPort(dead);
        frame.rightView()->widget()->setFocus();
        QApplication::processEvents();
        frame.OnCommand(Str::CmdLoad);
        waitIdle(frame.document());
        if (save(frame, dir, n, QStringLiteral("config-load-on-a-dead-port")))
            ++n;
        frame.commBar()->selectPort(QStringLiteral("Com2"));
        CComPort::SetPortMapping(dead, QString());
    }
    if (QTreeWidgetItem *counters = itemOf(tree, dsCounters)) {
        tree->setCurrentItem(counters);
        waitIdle(frame.document());
        frame.files()->SaveTo(file);
        letRun(2500); // past a refresh
        if (save(frame, dir, n, QStringLiteral("counters-saved-then-refreshed")))
            ++n;
    }
    while (frame.files()->InBackground())
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    frame.openDocumentFile(file);
    QDeadlineTimer give(5000);
    while (!frame.document().IsOffline() && !give.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    const KeyGroup *organizer = FindGroup(*FindDataSet(dsKeyTable), QStringLiteral("organizer"));
    if (QTreeWidgetItem *keys = organizer ? itemOf(tree, dsKeyTable, static_cast<int>(organizer->first)) : nullptr) {
        tree->setCurrentItem(keys);
        if (auto *table = qobject_cast<CKeyTables *>(frame.rightView()->widget()))
            table->OnDblClk(0, 1);
        if (save(frame, dir, n, QStringLiteral("offline-key-edit")))
            ++n;
    }
    frame.OnCommand(Str::CmdBackToUnit);
    waitIdle(frame.document());
}

} // namespace

int takeScreenshots(CMainFrame &frame, const QString &directory, const std::function<void()> &betweenVisits,
                    const std::function<void(const QStringList &)> &setFaults)
{
    QDir dir(directory);
    if (!dir.mkpath(QStringLiteral(".")))
        return -1;
    int n = 0;
    if (save(frame, dir, n, QStringLiteral("start")))
        ++n;
    if (frame.historyService()) {
        oneVisit(frame, dir, n, betweenVisits);
        faultyWholeUnitRead(frame, dir, n, betweenVisits, setFaults);
    }
    keptAndSaid(frame, dir, n);
    CLeftView *tree = frame.leftView();
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        const unsigned command = (*it)->data(0, CLeftView::kCommandRole).toUInt();
        if (command == 0 || !findView(command))
            continue;
        tree->setCurrentItem(*it);
        waitIdle(frame.document());
        waitHistory(frame);
        if (save(frame, dir, n, itemPath(*it)))
            ++n;
        // The history's charts are tabs of its view: a picture of each.
        auto *history = frame.rightView() ? qobject_cast<CHistoryView *>(frame.rightView()->widget()) : nullptr;
        for (int tab = 1; history && tab < history->tabs()->count(); ++tab) {
            history->tabs()->setCurrentIndex(tab);
            if (save(frame, dir, n, itemPath(*it) + QLatin1Char('-') + history->tabs()->tabText(tab)))
                ++n;
        }
    }
    frame.OnCommand(32790); // Help: the start page again
    CKeyModeDlg keyMode(&frame);
    keyMode.m_strKey = frame.document().UserKeyText();
    keyMode.m_bSWKeyMode = frame.document().KeyMode() != 0;
    keyMode.OnInitDialog();
    keyMode.show();
    if (save(keyMode, dir, n, QStringLiteral("key-mode")))
        ++n;
    keyMode.hide();
    CAboutDlg about(&frame);
    about.show();
    if (save(about, dir, n, QStringLiteral("about")))
        ++n;
    return n;
}

} // namespace Quilo

#include "screenshots.h"

#include "aboutdlg.h"
#include "historyservice.h"
#include "historyview.h"
#include "keymodedlg.h"
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

} // namespace

int takeScreenshots(CMainFrame &frame, const QString &directory, const std::function<void()> &betweenVisits)
{
    QDir dir(directory);
    if (!dir.mkpath(QStringLiteral(".")))
        return -1;
    int n = 0;
    if (save(frame, dir, n, QStringLiteral("start")))
        ++n;
    recordVisits(frame, 2, betweenVisits);
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

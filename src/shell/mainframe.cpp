#include "mainframe.h"

#include "aboutdlg.h"
#include "commbar.h"
#include "datasettable.h"
#include "filecommands.h"
#include "formatters.h"
#include "historyview.h"
#include "leftview.h"
#include "messagebox.h"
#include "operationtext.h"
#include "quiloview.h"
#include "stringtable.h"
#include "userkey.h"
#include "viewtable.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include <array>

namespace {

constexpr unsigned kCmdAbout = Str::CmdAbout;
constexpr unsigned kCmdExit = Str::CmdExit;

struct CommandEntry {
    unsigned command;
    unsigned menuText;     // 0: no menu entry
    const char16_t *icon;  // tool bar picture, nullptr: not on the tool bar
};

const std::array<CommandEntry, 20> kCommands{{
    {Str::CmdLoad, Str::MenuQuiloLoad, u":/icons/load.svg"},
    {Str::CmdStop, 0, u":/icons/stop.svg"},
    {Str::CmdWrite, Str::MenuQuiloWrite, u":/icons/write.svg"},
    {Str::CmdReadAll, 0, u":/icons/readall.svg"},
    {Str::CmdOpen, Str::MenuFileOpen, u":/icons/open.svg"},
    {Str::CmdSave, Str::MenuFileSave, u":/icons/save.svg"},
    {Str::CmdSaveAs, 0, nullptr},
    {Str::CmdExportSetCsv, 0, nullptr},
    {Str::CmdExportSetJson, 0, nullptr},
    {Str::CmdExportAllCsv, 0, nullptr},
    {Str::CmdExportAllJson, 0, nullptr},
    {Str::CmdPrintSet, 0, nullptr},
    {Str::CmdPrintReport, 0, nullptr},
    {Str::CmdPdfSet, 0, nullptr},
    {Str::CmdPdfReport, 0, nullptr},
    {Str::CmdBackToUnit, 0, nullptr},
    {Str::CmdUserKey, 0, u":/icons/userkey.svg"},
    {Str::CmdHelp, Str::MenuHelpHelp, nullptr},
    {kCmdAbout, Str::MenuHelpAbout, nullptr},
    {kCmdExit, Str::MenuFileExit, nullptr},
}};

// A menu's entries in order: a command, kSeparator, kExportMenu (the export submenu) or
// kRecentFiles (the four most recent files, read when the menu opens).
constexpr unsigned kSeparator = 1;
constexpr unsigned kExportMenu = 2;
constexpr unsigned kRecentFiles = 3;

struct MenuEntry {
    unsigned title;
    std::array<unsigned, 14> entries; // 0 ends the list
};

const std::array<MenuEntry, 4> kMenus{{
    {Str::MenuFile,
     {Str::CmdOpen, Str::CmdSave, Str::CmdSaveAs, kSeparator, kExportMenu, Str::CmdPrintSet, Str::CmdPrintReport,
      Str::CmdPdfSet, Str::CmdPdfReport, kSeparator, kRecentFiles, Str::CmdBackToUnit, kSeparator, kCmdExit}},
    {Str::MenuExport, {Str::CmdExportSetCsv, Str::CmdExportSetJson, Str::CmdExportAllCsv, Str::CmdExportAllJson}},
    {Str::MenuQuilo, {Str::CmdLoad, Str::CmdWrite, Str::CmdStop, kSeparator, Str::CmdReadAll}},
    {Str::MenuHelp, {Str::CmdHelp, kCmdAbout}},
}};

const std::array<unsigned, 6> kToolBar{Str::CmdLoad,  Str::CmdWrite,   Str::CmdReadAll,
                                       Str::CmdOpen, Str::CmdSave, Str::CmdUserKey};

const std::array<unsigned, 3> kIndicators{Str::IndicatorCaps, Str::IndicatorNum, Str::IndicatorScroll};

// A command's status-bar prompt: the first line of the string of the same number.
QString prompt(unsigned command)
{
    return LoadString(command).section(QLatin1Char('\n'), 0, 0);
}

bool isWithin(const QWidget *w, const QWidget *ancestor)
{
    return w && ancestor && (w == ancestor || ancestor->isAncestorOf(w));
}

} // namespace

// The icons live in this static library; its resources need registering once.
static void initShellResources()
{
    Q_INIT_RESOURCE(shell);
}

CMainFrame::CMainFrame(CTarvelDoc &doc, QWidget *parent) : QMainWindow(parent), m_doc(doc)
{
    initShellResources();
    setObjectName(QStringLiteral("CMainFrame"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/quilo-readout.svg")));
    setAcceptDrops(true);
    m_pFiles = new CFileCommands(*this, m_doc, [this] { return currentViewCommand(); });
    connect(m_pFiles, &CFileCommands::message, this, &CMainFrame::setIdleText);
    createActions();
    createMenus();
    createToolBars();
    createStatusBar();
    createClient();
    setUserKeyHandler(&Quilo::OnDefineUserKey);
    connect(qApp, &QApplication::focusChanged, this, &CMainFrame::onFocusChanged);
    connect(&m_doc, &CTarvelDoc::operationFinished, this, &CMainFrame::OnOperationFinished);
    connect(&m_doc, &CTarvelDoc::busyChanged, this, &CMainFrame::OnBusyChanged);
    connect(&m_doc, &CTarvelDoc::documentReset, this, &CMainFrame::OnDocumentReset);
    connect(&m_doc, &CTarvelDoc::recordsChanged, this, [this] {
        // Save, export and print need something read
        if (!m_bContent && m_pFiles->HasContent()) {
            m_bContent = true;
            updateCommandUi();
        }
    });
    // before the history hears of it: the visit's note joins this summary
    connect(&m_doc, &CTarvelDoc::wholeUnitRead, this, &CMainFrame::OnWholeUnitRead);
    // Every whole-unit read-out is a visit of the unit: recorded off this thread, said here,
    // after the read's own summary, which stays (its failures matter more than the record).
    m_pHistory = Quilo::InstallHistoryRecorder(this, m_doc, [this](const QString &text) {
        setIdleText(m_strReadAll.isEmpty() ? text : LoadString(Str::SumWithVisit).arg(m_strReadAll, text));
    });
    // Wide enough for the configuration event form beside the tree, but never past the screen.
    QSize size(1160, 780);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableSize() * 9 / 10);
    resize(size);
}

CMainFrame::~CMainFrame()
{
    // the children die after this part of the object: their signals must not reach it
    disconnect(qApp, nullptr, this, nullptr);
    disconnect(statusBar(), nullptr, this, nullptr);
    // the engine must not reach the bar once it is gone
    m_doc.ClearProgressSink(m_pCommBar);
}

void CMainFrame::createActions()
{
    for (const CommandEntry &c : kCommands) {
        auto *a = new QAction(this);
        // without a menu entry of its own a command is named by its short name, if it has one
        const QString shortName = LoadString(c.command).section(QLatin1Char('\n'), 1, 1);
        a->setText(c.menuText ? LoadString(c.menuText) : shortName.isEmpty() ? prompt(c.command) : shortName);
        a->setStatusTip(prompt(c.command));
        if (c.icon)
            a->setIcon(QIcon(QString::fromUtf16(c.icon)));
        a->setData(c.command);
        connect(a, &QAction::triggered, this, [this, id = c.command] { OnCommand(id); });
        m_actions[c.command] = a;
    }
    // Esc stops a transfer wherever the focus is in the window
    action(Str::CmdStop)->setShortcut(QKeySequence(Qt::Key_Escape));
    action(Str::CmdStop)->setShortcutContext(Qt::WindowShortcut);
    action(Str::CmdStop)->setEnabled(false);
    action(Str::CmdOpen)->setShortcut(QKeySequence::Open);
    action(Str::CmdSave)->setShortcut(QKeySequence::Save);
    action(Str::CmdPrintReport)->setShortcut(QKeySequence::Print);
}

void CMainFrame::createMenus()
{
    QMenu *exportMenu = nullptr;
    for (const MenuEntry &m : kMenus) {
        QMenu *menu = m.title == Str::MenuExport ? new QMenu(LoadString(m.title), this)
                                                 : menuBar()->addMenu(LoadString(m.title));
        if (m.title == Str::MenuExport)
            exportMenu = menu;
        QAction *recentAt = nullptr;
        for (unsigned id : m.entries) {
            if (id == 0)
                break;
            if (id == kSeparator)
                menu->addSeparator();
            else if (id == kExportMenu)
                m_pExportMenuAt = menu->addSeparator(); // the submenu goes here, once it exists
            else if (id == kRecentFiles)
                recentAt = menu->addSeparator();
            else
                menu->addAction(action(id));
        }
        if (m.title == Str::MenuFile) {
            m_pFileMenu = menu;
            // the recent files are the settings' at the time the menu opens
            connect(menu, &QMenu::aboutToShow, this, [this, menu, recentAt] {
                for (QAction *a : m_recentActions) {
                    menu->removeAction(a);
                    a->deleteLater();
                }
                m_recentActions = m_pFiles->FillRecentMenu(menu, recentAt);
            });
        }
    }
    if (exportMenu && m_pFileMenu)
        m_pFileMenu->insertMenu(m_pExportMenuAt, exportMenu);
}

void CMainFrame::createToolBars()
{
    m_pToolBar = addToolBar(QString());
    m_pToolBar->setObjectName(QStringLiteral("toolBar"));
    m_pToolBar->setIconSize(QSize(32, 32));
    m_pToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (unsigned id : kToolBar) {
        m_pToolBar->addAction(action(id));
        // prompts go to the status bar only: no tool tips
        if (QWidget *button = m_pToolBar->widgetForAction(action(id)))
            button->installEventFilter(this);
    }

    QToolBar *commToolBar = addToolBar(QString());
    commToolBar->setObjectName(QStringLiteral("commBar"));
    m_pCommBar = new CCommBar(m_doc, commToolBar);
    m_pCommBar->setStopAction(action(Str::CmdStop));
    commToolBar->addWidget(m_pCommBar);
    m_doc.SetProgressSink(m_pCommBar);
    // the bars stay where they are: hiding one would take its commands away for good
    for (QToolBar *bar : {m_pToolBar, commToolBar}) {
        bar->setMovable(false);
        bar->toggleViewAction()->setEnabled(false);
    }
}

QMenu *CMainFrame::createPopupMenu()
{
    return nullptr; // no menu that hides the tool bars
}

void CMainFrame::createStatusBar()
{
    QStatusBar *bar = statusBar();
    for (unsigned id : kIndicators) {
        auto *label = new QLabel(LoadString(id), bar);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setAlignment(Qt::AlignCenter);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(label->text()) + 12);
        // Qt cannot read the lock keys' state portably, so the indicators are shown greyed
        label->setEnabled(false);
        bar->addPermanentWidget(label);
    }
    connect(bar, &QStatusBar::messageChanged, this, [this](const QString &text) {
        if (text.isEmpty())
            statusBar()->showMessage(m_strIdle);
    });
    setIdleText(LoadString(Str::Ready));
}

void CMainFrame::createClient()
{
    m_pSplitter = new QSplitter(Qt::Horizontal, this);
    m_pSplitter->setChildrenCollapsible(false);
    m_pLeftView = new CLeftView(m_doc, m_pSplitter);
    m_pSplitter->addWidget(m_pLeftView);
    setCentralWidget(m_pSplitter);
    connect(m_pLeftView, &CLeftView::command, this, [this](unsigned id) { OnCommand(id); });
    m_pLeftView->OnInitialUpdate();
    if (const Quilo::ViewTableRow *start = Quilo::findView(Str::CmdHelp))
        SwitchView(*start);
    m_pSplitter->setStretchFactor(0, 0);
    m_pSplitter->setStretchFactor(1, 1);
    m_pSplitter->setSizes({kTreeWidth, 100});
}

QAction *CMainFrame::action(unsigned command) const
{
    const auto it = m_actions.find(command);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::SetTitle(const QString &title)
{
    m_strTitle = title;
    const QString windowTitle = LoadString(Str::DocString).section(QLatin1Char('\n'), 0, 0);
    // a saved read-out shown says which
    const QString file = m_doc.IsOffline() ? QFileInfo(m_doc.OfflineFile()).fileName() + QStringLiteral(" - ")
                                           : QString();
    setWindowTitle(title + QStringLiteral(" - ") + file + windowTitle);
}

void CMainFrame::setUserKeyHandler(std::function<void(CTarvelDoc &, QWidget *)> handler)
{
    m_userKeyHandler = std::move(handler);
}

bool CMainFrame::isCommandEnabled(unsigned command) const
{
    switch (command) {
    case Str::CmdLoad:
    case Str::CmdWrite:
        // one transfer at a time: a click meanwhile must not queue a second read; a file
        // shown is not the unit
        return !busyForUser() && !m_doc.IsOffline() && m_pRightView && m_pActiveView == m_pRightView->widget()
               && m_pRightView->answersCommand(command);
    case Str::CmdStop:
        return busyForUser();
    case Str::CmdReadAll:
        return !busyForUser() && !m_doc.IsOffline();
    case Str::CmdOpen:
        return true;
    case Str::CmdSave:
    case Str::CmdSaveAs:
    case Str::CmdExportAllCsv:
    case Str::CmdExportAllJson:
    case Str::CmdPrintReport:
    case Str::CmdPdfReport:
        return m_bContent;
    case Str::CmdExportSetCsv:
    case Str::CmdExportSetJson:
    case Str::CmdPrintSet:
    case Str::CmdPdfSet:
        return m_bContent && Quilo::FindDataSetByView(m_nViewCommand) != nullptr;
    case Str::CmdBackToUnit:
        return m_doc.IsOffline();
    case Str::CmdUserKey:
    case Str::CmdHelp:
    case kCmdAbout:
    case kCmdExit:
        return true;
    default:
        return Quilo::findView(command) != nullptr;
    }
}

bool CMainFrame::OnCommand(unsigned command)
{
    if (const Quilo::ViewTableRow *row = Quilo::findView(command)) {
        SwitchView(*row);
        return true;
    }
    if (!isCommandEnabled(command))
        return false;
    switch (command) {
    case Str::CmdLoad:
    case Str::CmdWrite:
        m_pRightView->onCommand(command);
        return true;
    case Str::CmdStop:
        m_doc.StopOperation();
        setIdleText(LoadString(Str::SumStopping));
        return true;
    case Str::CmdReadAll:
        if (m_doc.IsBusy()) {
            // a quiet refresh is on its way: the whole unit is read right after it
            auto once = std::make_shared<QMetaObject::Connection>();
            *once = connect(&m_doc, &CTarvelDoc::busyChanged, this, [this, once](bool busy) {
                if (busy)
                    return;
                disconnect(*once);
                QMetaObject::invokeMethod(this, [this] { m_doc.StartReadAll(); }, Qt::QueuedConnection);
            });
            return true;
        }
        m_doc.StartReadAll();
        return true;
    case Str::CmdOpen: m_pFiles->Open(); return true;
    case Str::CmdSave: m_pFiles->Save(); return true;
    case Str::CmdSaveAs: m_pFiles->SaveAs(); return true;
    case Str::CmdExportSetCsv: m_pFiles->Export(CFileCommands::Scope::Shown, CFileCommands::Format::Csv); return true;
    case Str::CmdExportSetJson: m_pFiles->Export(CFileCommands::Scope::Shown, CFileCommands::Format::Json); return true;
    case Str::CmdExportAllCsv: m_pFiles->Export(CFileCommands::Scope::Whole, CFileCommands::Format::Csv); return true;
    case Str::CmdExportAllJson: m_pFiles->Export(CFileCommands::Scope::Whole, CFileCommands::Format::Json); return true;
    case Str::CmdPrintSet: m_pFiles->Print(CFileCommands::Scope::Shown); return true;
    case Str::CmdPrintReport: m_pFiles->Print(CFileCommands::Scope::Whole); return true;
    case Str::CmdPdfSet: m_pFiles->Pdf(CFileCommands::Scope::Shown); return true;
    case Str::CmdPdfReport: m_pFiles->Pdf(CFileCommands::Scope::Whole); return true;
    case Str::CmdBackToUnit: m_pFiles->BackToUnit(); return true;
    case Str::CmdUserKey:
        if (m_userKeyHandler)
            m_userKeyHandler(m_doc, this);
        return true;
    case kCmdAbout: {
        CAboutDlg about(this);
        about.exec();
        return true;
    }
    case kCmdExit:
        close();
        return true;
    default:
        return false;
    }
}

void CMainFrame::SwitchView(const Quilo::ViewTableRow &row)
{
    // a view's initial update may run a message box; a second switch must not start inside it
    if (m_bSwitching)
        return;
    m_bSwitching = true;
    m_nViewCommand = row.command;
    SetTitle(LoadString(row.title));

    const QList<int> sizes = m_pSplitter->sizes();
    QWidget *old = m_pRightView ? m_pRightView->widget() : nullptr;
    m_pRightView = nullptr;
    m_pActiveView = m_pLeftView;
    Quilo::View *view = row.create(m_doc, nullptr);
    if (auto *history = dynamic_cast<Quilo::CHistoryView *>(view))
        history->SetService(m_pHistory);
    view->setCommandsChangedHandler([this] { updateCommandUi(); });
    view->setMessageHandler([this](const QString &text) { setIdleText(text); });
    QWidget *w = view->widget();
    if (old) {
        m_pSplitter->replaceWidget(1, w);
        delete old;
    } else {
        m_pSplitter->addWidget(w);
    }
    if (sizes.size() == 2)
        m_pSplitter->setSizes(sizes);
    w->show();
    m_pRightView = view;
    view->OnInitialUpdate();

    m_pActiveView = w;
    w->setFocus(Qt::OtherFocusReason);
    m_bSwitching = false;
    updateCommandUi();
    emit viewSwitched(row.command);
}

void CMainFrame::updateCommandUi()
{
    for (const auto &[id, a] : m_actions)
        a->setEnabled(isCommandEnabled(id));
}

void CMainFrame::onFocusChanged(QWidget *, QWidget *now)
{
    // like a document window's active view: the tree or the right-hand view; focus moving to
    // the bars or a dialog changes nothing
    if (isWithin(now, m_pLeftView))
        m_pActiveView = m_pLeftView;
    else if (m_pRightView && isWithin(now, m_pRightView->widget()))
        m_pActiveView = m_pRightView->widget();
    else
        return;
    updateCommandUi();
}

bool CMainFrame::quietTransfer() const
{
    return m_doc.IsBusy() && m_doc.RunningDataSet() > 0 && m_pRightView && m_pRightView->quietTransfer();
}

void CMainFrame::OnOperationFinished(const COperationSummary &summary)
{
    if (m_bReadingAll)
        return; // said when the document tells how the whole unit's read ended
    // a refresh that went well changes the figures, not what the status bar says
    if (m_pRightView && m_pRightView->quietTransfer() && summary.portOpened && summary.failed() == 0
        && !summary.stopped && !summary.silent)
        return;
    const unsigned record = summary.dataSet == Quilo::dsConfEvents ? static_cast<unsigned>(std::max(summary.configEvent, 0)) : 0;
    setIdleText(Quilo::describeOperation(summary, m_doc.Meta(summary.dataSet, record)));
}

void CMainFrame::OnDocumentReset()
{
    m_bContent = m_pFiles->HasContent();
    // the view shown takes the new records, or reads the unit again
    if (const Quilo::ViewTableRow *row = Quilo::findView(m_nViewCommand))
        SwitchView(*row);
    else
        SetTitle(m_strTitle);
    updateCommandUi();
}

void CMainFrame::OnBusyChanged(bool busy)
{
    if (quietTransfer())
        return; // nothing to enable or disable, nothing to say
    updateCommandUi();
    m_pCommBar->lockPort(busy);
    if (!busy)
        return;
    // the idle text, so that a menu's prompts give way to it again while the transfer runs
    const int running = m_doc.RunningDataSet();
    if (running == CTarvelDoc::kReadAll) {
        m_bReadingAll = true;
        setIdleText(LoadString(Str::SumReadingAll));
    } else {
        setIdleText(running > 0 ? LoadString(Str::SumReading).arg(Quilo::dataSetTitle(running))
                                : LoadString(Str::SumWriting));
    }
}

void CMainFrame::OnWholeUnitRead(const QList<COperationSummary> &summaries, bool complete)
{
    // A whole-unit read may end in one set (a port that does not open): it is still the whole
    // unit's summary, and its visit's note is added to it.
    m_bReadingAll = false;
    m_strReadAll = Quilo::describeReadAll(summaries);
    bool said = false; // why it did not complete, when it says so itself
    for (const COperationSummary &s : summaries)
        said = said || !s.portOpened || s.stopped || s.lineLost;
    // stopped before its first set: not "0 of 0 records read" alone, as if that were all
    if (!complete && !said)
        m_strReadAll += LoadString(Str::SumStopped);
    setIdleText(m_strReadAll);
}

void CMainFrame::closeEvent(QCloseEvent *event)
{
    // a whole-unit read is a visit in the making: closing ends it unrecorded, so ask first
    if (m_doc.IsBusy() && m_doc.RunningDataSet() == CTarvelDoc::kReadAll) {
        const Quilo::MessageRequest question{QMessageBox::Question, LoadString(Str::ReadAllCloseQuestion),
                                             LoadString(Str::DocString).section(QLatin1Char('\n'), 0, 0),
                                             QMessageBox::Yes | QMessageBox::No};
        if (Quilo::messageBox(this, question) == QMessageBox::No) {
            event->ignore();
            return;
        }
    }
    QMainWindow::closeEvent(event);
}

void CMainFrame::setIdleText(const QString &text)
{
    // The sentences here embed the unit's type and number, file names and port names: their
    // control characters are shown as escapes, as the tables show them, never acted on.
    m_strIdle = Quilo::InertText(text);
    statusBar()->showMessage(m_strIdle);
}

void CMainFrame::openDocumentFile(const QString &path)
{
    m_pFiles->OpenPath(path);
}

bool CMainFrame::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ToolTip)
        return true;
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent *event)
{
    for (const QUrl &url : event->mimeData()->urls())
        if (url.isLocalFile())
            openDocumentFile(url.toLocalFile());
    event->acceptProposedAction();
}

#pragma once
// The main window: menu, tool bar and communication bar, status bar, and a splitter with the
// navigation tree on the left and the view of the chosen data set on the right. Choosing a
// data set replaces the right-hand view with a new one. Commands go to the view table first,
// then to the active view (Load, Write), then to the frame; a command nobody answers is
// disabled.

#include "tarveldoc.h"

#include <QMainWindow>

#include <functional>
#include <map>

class CCommBar;
class CFileCommands;
class CLeftView;
class QLabel;
class QSplitter;
class QToolBar;

namespace Quilo {
class CHistoryService;
class View;
struct ViewTableRow;
}

class CMainFrame : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr int kTreeWidth = 130;

    explicit CMainFrame(CTarvelDoc &doc, QWidget *parent = nullptr);
    ~CMainFrame() override;

    // Carries out `command` as the menu or the tool bar would. False when nobody answers it.
    bool OnCommand(unsigned command);
    bool isCommandEnabled(unsigned command) const;

    QAction *action(unsigned command) const;
    CTarvelDoc &document() const { return m_doc; }
    QToolBar *toolBar() const { return m_pToolBar; }
    CLeftView *leftView() const { return m_pLeftView; }
    CCommBar *commBar() const { return m_pCommBar; }
    QSplitter *splitter() const { return m_pSplitter; }
    Quilo::View *rightView() const { return m_pRightView; }
    // The one history service of the window: it records the visits and the History view asks it.
    Quilo::CHistoryService *historyService() const { return m_pHistory; }
    // The tree while it has the focus, otherwise the right-hand view.
    QWidget *activeView() const { return m_pActiveView; }
    QString title() const { return m_strTitle; }
    // The text the status bar shows when no prompt is shown.
    QString idleText() const { return m_strIdle; }

    void SetTitle(const QString &title);
    // None: the tool bars are not to be hidden.
    QMenu *createPopupMenu() override;
    // The key mode dialog, once it exists; until then the command does nothing.
    void setUserKeyHandler(std::function<void(CTarvelDoc &, QWidget *)> handler);
    // A saved read-out from the command line, the desktop or dropped on the window: shown
    // offline, or a message saying why it cannot be.
    void openDocumentFile(const QString &path);
    CFileCommands *files() const { return m_pFiles; }
    // The command of the view shown (the tree's, or Help for the start page).
    unsigned currentViewCommand() const { return m_nViewCommand; }

signals:
    void viewSwitched(unsigned command);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void createActions();
    void createMenus();
    void createToolBars();
    void createStatusBar();
    void createClient();
    void SwitchView(const Quilo::ViewTableRow &row);
    void updateCommandUi();
    void onFocusChanged(QWidget *old, QWidget *now);
    void OnOperationFinished(const COperationSummary &summary);
    void OnBusyChanged(bool busy);
    void OnWholeUnitRead(const QList<COperationSummary> &summaries, bool complete);
    void OnDocumentReset();
    void setIdleText(const QString &text);
    // The transfer running is a view's quiet refresh: the window goes on as if idle.
    bool quietTransfer() const;
    bool busyForUser() const { return m_doc.IsBusy() && !quietTransfer(); }

    CTarvelDoc &m_doc;
    std::map<unsigned, QAction *> m_actions;
    QToolBar *m_pToolBar = nullptr;
    CCommBar *m_pCommBar = nullptr;
    QSplitter *m_pSplitter = nullptr;
    CLeftView *m_pLeftView = nullptr;
    Quilo::View *m_pRightView = nullptr;
    Quilo::CHistoryService *m_pHistory = nullptr;
    QWidget *m_pActiveView = nullptr;
    QString m_strTitle;
    QString m_strIdle;
    bool m_bSwitching = false;
    bool m_bContent = false;       // something was read or a file is shown
    QString m_strReadAll;          // how the last whole-unit read ended: its visit's note joins it
    bool m_bReadingAll = false;    // the transfer running reads the whole unit
    unsigned m_nViewCommand = 0;
    CFileCommands *m_pFiles = nullptr;
    QMenu *m_pFileMenu = nullptr;
    QAction *m_pExportMenuAt = nullptr;
    QList<QAction *> m_recentActions;
    std::function<void(CTarvelDoc &, QWidget *)> m_userKeyHandler;
};

#include "tarvelapp.h"

#include "mainframe.h"
#include "tarveldoc.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>

namespace Quilo {

void setUpApplicationIdentity()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Local AppWizard-Generated Applications"));
    QCoreApplication::setApplicationName(QStringLiteral("tarvel"));
    QGuiApplication::setApplicationDisplayName(QString());
    QGuiApplication::setDesktopFileName(QStringLiteral("quilo-readout"));
}

} // namespace Quilo

CTarvelApp::CTarvelApp() = default;

Quilo::RecentFileList CTarvelApp::recentFiles() const
{
    Quilo::RecentFileList list;
    list.load();
    return list;
}

CTarvelApp::~CTarvelApp()
{
    m_frame.reset(); // views and bars before the document they point into
    m_doc.reset();
}

bool CTarvelApp::InitInstance(const QStringList &files)
{
    m_doc = std::make_unique<CTarvelDoc>();
    m_pDoc = m_doc.get();
    // the window never waits on the line: transfers run on a thread of their own
    m_doc->StartLinkThread();
    m_frame = std::make_unique<CMainFrame>(*m_doc);

    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect r = m_frame->frameGeometry();
        r.moveCenter(screen->availableGeometry().center());
        m_frame->move(r.topLeft());
    }
    m_frame->show();
    for (const QString &f : files)
        m_frame->openDocumentFile(f);
    return true;
}

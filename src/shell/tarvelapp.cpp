#include "tarvelapp.h"

#include "mainframe.h"
#include "tarveldoc.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>

namespace Quilo {

namespace {
const QString kRecentGroup = QStringLiteral("Recent File List");
QString recentKey(int i)
{
    return QStringLiteral("File%1").arg(i + 1);
}
} // namespace

void setUpApplicationIdentity()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Local AppWizard-Generated Applications"));
    QCoreApplication::setApplicationName(QStringLiteral("tarvel"));
    QGuiApplication::setApplicationDisplayName(QString());
    QGuiApplication::setDesktopFileName(QStringLiteral("quilo-readout"));
}

void RecentFileList::load()
{
    QSettings settings;
    settings.beginGroup(kRecentGroup);
    m_files.clear();
    for (int i = 0; i < kSize; ++i) {
        const QString f = settings.value(recentKey(i)).toString();
        if (!f.isEmpty())
            m_files.append(f);
    }
}

void RecentFileList::save() const
{
    QSettings settings;
    settings.beginGroup(kRecentGroup);
    for (int i = 0; i < kSize; ++i) {
        if (i < m_files.size())
            settings.setValue(recentKey(i), m_files.at(i));
        else
            settings.remove(recentKey(i));
    }
}

void RecentFileList::add(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    m_files.removeAll(absolute);
    m_files.prepend(absolute);
    while (m_files.size() > kSize)
        m_files.removeLast();
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

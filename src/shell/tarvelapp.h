#pragma once
// The application: per-user settings, the recent-file list, the one document and the main
// window, built in this order at start-up.

#include "recentfiles.h"

#include <QObject>
#include <QStringList>

#include <memory>

class CMainFrame;
class CTarvelDoc;

namespace Quilo {

// Organisation and application name: where QSettings keeps the user's settings.
void setUpApplicationIdentity();

} // namespace Quilo

class CTarvelApp : public QObject
{
    Q_OBJECT
public:
    CTarvelApp();
    ~CTarvelApp() override;

    // Builds the document and the main window, shows it centred. `files`: document files from
    // the command line. False when the window could not be built.
    bool InitInstance(const QStringList &files = {});

    CTarvelDoc *m_pDoc = nullptr;
    CMainFrame *mainFrame() const { return m_frame.get(); }
    // As the settings hold them now.
    Quilo::RecentFileList recentFiles() const;

private:
    std::unique_ptr<CTarvelDoc> m_doc;
    std::unique_ptr<CMainFrame> m_frame;
};

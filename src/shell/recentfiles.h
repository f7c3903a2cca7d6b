#pragma once
// The recent-file list the File menu shows, kept in the user's settings.

#include <QStringList>

namespace Quilo {

// The four most recent read-out files, kept in the settings and shown in the File menu.
class RecentFileList
{
public:
    static constexpr int kSize = 4;

    void load();
    void save() const;
    void add(const QString &path);
    QStringList files() const { return m_files; }

private:
    QStringList m_files;
};

} // namespace Quilo

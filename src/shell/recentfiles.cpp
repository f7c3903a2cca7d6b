#include "recentfiles.h"

#include <QFileInfo>
#include <QSettings>

namespace Quilo {

namespace {
const QString kRecentGroup = QStringLiteral("Recent File List");
QString recentKey(int i)
{
    return QStringLiteral("File%1").arg(i + 1);
}
} // namespace

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

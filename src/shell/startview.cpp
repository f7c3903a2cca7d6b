#include "startview.h"

#include "messagebox.h"
#include "rtfreader.h"
#include "stringtable.h"
#include "translation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

CStartView::CStartView(CTarvelDoc &, QWidget *parent) : QTextEdit(parent)
{
    // read-only from the start, so a page whose file is missing cannot be typed into either
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setTabStopDistance(48); // half an inch, the usual rich-text default
}

QString CStartView::fileName()
{
    return QStringLiteral("wtarvel.rtf");
}

QStringList CStartView::searchNames()
{
    // the page in the language spoken, if there is one, else the English one
    QStringList names;
    if (Quilo::CurrentLanguage() != QLatin1String("en"))
        names << QStringLiteral("wtarvel_%1.rtf").arg(Quilo::CurrentLanguage());
    return names << fileName();
}

QStringList CStartView::searchFolders()
{
    // the current folder first (as ever), then where the program is installed
    QStringList folders{QDir::currentPath()};
    for (const QString &data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        folders << data + QStringLiteral("/quilo-readout");
    folders << QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/quilo-readout"));
    return folders;
}

QString CStartView::filePath()
{
    for (const QString &folder : searchFolders())
        for (const QString &name : searchNames())
            if (QFileInfo::exists(QDir(folder).filePath(name)))
                return QDir(folder).filePath(name);
    return fileName(); // missing: the message names it as the user knows it
}

void CStartView::OnInitialUpdate()
{
    // Only a regular file: opening a FIFO of that name would wait for a writer, and reading a
    // device would never end, while the window is not even shown yet. The check is made on
    // the opened file itself, so nothing can be swapped in between.
    QFile file;
    QString why;
    const int fd = ::open(QFile::encodeName(filePath()).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    struct stat st {};
    if (fd < 0) {
        why = qt_error_string(errno);
    } else if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        why = LoadString(Str::StartPageNotFile);
        ::close(fd);
    } else if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        why = file.errorString();
        ::close(fd);
    }
    if (!why.isEmpty()) {
        // which file, and where it was looked for: the user can put it there
        const QString path = filePath();
        const QString where = QFileInfo(path).isAbsolute()
                                  ? QDir::toNativeSeparators(path)
                                  : LoadString(Str::StartPageLookedFor)
                                        .arg(searchNames().join(QStringLiteral(", ")),
                                             QDir::toNativeSeparators(searchFolders().join(QStringLiteral(", "))));
        Quilo::messageBox(this, {QMessageBox::Critical,
                                 LoadString(Str::StartPageMissing) + QLatin1Char('\n') + where + QLatin1Char('\n') + why,
                                 LoadString(Str::ProductName), QMessageBox::Ok});
        clear();
        return;
    }
    const QByteArray rtf = file.read(kMaxFileSize);
    Quilo::RtfReader::fill(Quilo::RtfReader::parse(rtf), *document());
}

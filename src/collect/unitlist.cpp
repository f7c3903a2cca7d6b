#include "unitlist.h"

#include "fields.h"
#include "stringtable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSettings>

#include <sys/stat.h>

#include <cerrno>

namespace QuiloCollect {

namespace {

// A key file is small; anything larger is not one.
constexpr qint64 kMaxKeyFileBytes = 4096;
constexpr qint64 kMaxListBytes = qint64(kMaxUnits) * 256;

QString lineError(const QString &fileName, int line, const QString &what)
{
    return LoadString(Str::CollectErrUnitsLine).arg(fileName).arg(line).arg(what);
}

} // namespace

Quilo::Result<QList<CollectUnit>> ParseUnitList(const QByteArray &text, const QString &fileName)
{
    QList<CollectUnit> units;
    QHash<QString, int> names; // name -> line
    QHash<QString, int> ports;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        QByteArray raw = lines.at(i);
        if (raw.endsWith('\r'))
            raw.chop(1);
        if (raw.size() > kMaxLineLength)
            return Quilo::Failed{lineError(fileName, number, LoadString(Str::CollectLineTooLong).arg(kMaxLineLength))};
        // A '#' that starts a word starts a comment; inside a word (a URL's fragment) it is text.
        const QStringList words = QString::fromUtf8(raw).split(QRegularExpression(QStringLiteral("\\s+")),
                                                               Qt::SkipEmptyParts);
        CollectUnit unit;
        unit.line = number;
        QStringList rest;
        for (const QString &w : words) {
            if (w.startsWith(QLatin1Char('#')))
                break;
            rest << w;
        }
        if (rest.isEmpty())
            continue;
        if (rest.size() < 2)
            return Quilo::Failed{lineError(fileName, number, LoadString(Str::CollectLineNoPort))};
        unit.name = rest.at(0);
        unit.port = rest.at(1);
        for (qsizetype w = 2; w < rest.size(); ++w) {
            const QString &entry = rest.at(w);
            if (entry.startsWith(QLatin1String("key=")) && entry.size() > 4 && unit.keyFile.isEmpty())
                unit.keyFile = entry.mid(4);
            else
                return Quilo::Failed{lineError(fileName, number, LoadString(Str::CollectLineUnknown).arg(entry))};
        }
        if (names.contains(unit.name))
            return Quilo::Failed{lineError(fileName, number, LoadString(Str::CollectLineDupName).arg(unit.name))};
        if (const auto it = ports.constFind(unit.port); it != ports.cend())
            return Quilo::Failed{
                lineError(fileName, number, LoadString(Str::CollectLineDupPort).arg(unit.port).arg(it.value()))};
        if (units.size() == kMaxUnits)
            return Quilo::Failed{lineError(fileName, number, LoadString(Str::CollectTooManyUnits).arg(kMaxUnits))};
        names.insert(unit.name, number);
        ports.insert(unit.port, number);
        units << unit;
    }
    return units;
}

Quilo::Result<QString> ReadKeyFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Quilo::Failed{LoadString(Str::CollectKeyFileOpen).arg(path, file.errorString())};
    // Judged on the file opened, not on the name: it cannot be swapped in between.
    struct stat st {};
    if (::fstat(file.handle(), &st) != 0)
        return Quilo::Failed{LoadString(Str::CollectKeyFileOpen).arg(path, qt_error_string(errno))};
    if (!S_ISREG(st.st_mode) || st.st_size > kMaxKeyFileBytes)
        return Quilo::Failed{LoadString(Str::CollectKeyFileBad).arg(path)};
    if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        return Quilo::Failed{LoadString(Str::CollectKeyFileMode).arg(path)};
    const QString key = QString::fromUtf8(file.read(kMaxKeyFileBytes)).trimmed();
    std::uint8_t bytes[CKeyField::kLength] = {};
    if (!CKeyField::ParseTyped(key, bytes))
        return Quilo::Failed{LoadString(Str::CollectKeyFileBad).arg(path)};
    // in the form the document takes it
    return CKeyField::FormatKey(bytes);
}

Quilo::Result<QList<CollectUnit>> LoadUnitList(const QString &path, bool *unreadable)
{
    *unreadable = true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Quilo::Failed{LoadString(Str::CollectErrUnitsRead).arg(path, file.errorString())};
    const QByteArray text = file.read(kMaxListBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return Quilo::Failed{LoadString(Str::CollectErrUnitsRead).arg(path, file.errorString())};
    *unreadable = false;
    if (text.size() > kMaxListBytes)
        return Quilo::Failed{LoadString(Str::CollectErrUnitsRead).arg(path, LoadString(Str::CollectTooManyUnits).arg(kMaxUnits))};
    Quilo::Result<QList<CollectUnit>> parsed = ParseUnitList(text, path);
    if (!parsed)
        return parsed;
    QList<CollectUnit> units = std::move(parsed).value();
    const QDir folder = QFileInfo(path).absoluteDir();
    for (CollectUnit &u : units) {
        if (u.keyFile.isEmpty())
            continue;
        u.keyFile = folder.absoluteFilePath(u.keyFile);
        const Quilo::Result<QString> key = ReadKeyFile(u.keyFile);
        if (!key)
            return Quilo::Failed{lineError(path, u.line, key.error())};
        u.userKey = key.value();
    }
    return units;
}

QString UserUnitsFile()
{
    const QSettings settings{QStringLiteral("Local AppWizard-Generated Applications"), QStringLiteral("tarvel")};
    return QFileInfo(settings.fileName()).absoluteDir().filePath(QStringLiteral("units.conf"));
}

QString DefaultUnitsFile()
{
    const QString own = UserUnitsFile();
    return QFileInfo::exists(own) ? own : QString::fromLatin1(kSystemUnitsFile);
}

} // namespace QuiloCollect

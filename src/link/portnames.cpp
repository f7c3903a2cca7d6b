#include "portnames.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSettings>

using namespace Qt::StringLiterals;

namespace Quilo {

namespace {

// The settings file of the original program's per-user key.
constexpr auto kOrganisation = "Local AppWizard-Generated Applications";
constexpr auto kApplication = "tarvel";

QMutex g_overridesMutex;
QHash<QString, QString> &overrides()
{
    static QHash<QString, QString> table;
    return table;
}

struct Resolution {
    QString path;
    PortSource source = PortSource::None;
};

QString fromEnvironment(const QString &name)
{
    const QString mapping = qEnvironmentVariable("QUILO_PORTS");
    for (const QString &entry : mapping.split(u';', Qt::SkipEmptyParts)) {
        const qsizetype eq = entry.indexOf(u'=');
        if (eq <= 0)
            continue;
        if (CanonicalPortName(entry.left(eq).trimmed()) == name)
            return entry.mid(eq + 1).trimmed();
    }
    return QString();
}

QString fromSettings(const QString &name)
{
    QSettings settings{QLatin1String(kOrganisation), QLatin1String(kApplication)};
    settings.beginGroup(u"Ports"_s);
    return settings.value(name).toString().trimmed();
}

QString byDefault(const QString &name)
{
    static const QRegularExpression com(u"^Com([1-4])$"_s);
    const QRegularExpressionMatch m = com.match(name);
    if (!m.hasMatch())
        return QString();
    return u"/dev/ttyS%1"_s.arg(m.captured(1).toInt() - 1);
}

Resolution resolve(const QString &rawName)
{
    const QString name = CanonicalPortName(rawName.trimmed());
    if (name.isEmpty())
        return {};
    if (name.startsWith(u'/'))
        return {name, PortSource::Path};
    {
        QMutexLocker lock(&g_overridesMutex);
        const auto it = overrides().constFind(name);
        if (it != overrides().constEnd())
            return {*it, PortSource::Override};
    }
    if (QString p = fromEnvironment(name); !p.isEmpty())
        return {p, PortSource::Environment};
    if (QString p = fromSettings(name); !p.isEmpty())
        return {p, PortSource::Settings};
    if (QString p = byDefault(name); !p.isEmpty())
        return {p, PortSource::Default};
    return {};
}

} // namespace

QString CanonicalPortName(const QString &name)
{
    if (name.size() > 3 && name.startsWith(u"com"_s, Qt::CaseInsensitive)) {
        bool ok = false;
        const int n = name.mid(3).toInt(&ok);
        if (ok && n > 0)
            return u"Com%1"_s.arg(n);
    }
    return name;
}

QString ResolvePortPath(const QString &name)
{
    return resolve(name).path;
}

PortSource PortPathSource(const QString &name)
{
    return resolve(name).source;
}

void SetPortOverride(const QString &name, const QString &path)
{
    const QString key = CanonicalPortName(name.trimmed());
    QMutexLocker lock(&g_overridesMutex);
    if (path.isEmpty())
        overrides().remove(key);
    else
        overrides().insert(key, path);
}

void ClearPortOverrides()
{
    QMutexLocker lock(&g_overridesMutex);
    overrides().clear();
}

} // namespace Quilo

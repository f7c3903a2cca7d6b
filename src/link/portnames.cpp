#include "portnames.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSettings>

#include <algorithm>

#include "netport.h"
#include "stringtable.h"

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

// A port name a mapping may give: "Com" and a number ("Com9" too, for machines with more ports).
bool isComName(const QString &name)
{
    static const QRegularExpression com(u"^Com[1-9][0-9]{0,2}$"_s);
    return com.match(name).hasMatch();
}

// The entries of one mapping, or why it is malformed.
struct Mapping {
    QHash<QString, QString> paths;
    QString problem;

    // Adds one NAME=PATH entry; false (and the problem noted) when it is malformed.
    bool add(const QString &rawName, const QString &rawPath, const QString &entry)
    {
        const QString name = CanonicalPortName(rawName.trimmed());
        const QString path = rawPath.trimmed();
        const bool network = Net::LooksLikeNetworkPort(path);
        if (!isComName(name))
            problem = LoadString(Str::PortMapBadName).arg(rawName.trimmed());
        else if (network && !Net::ParseAddress(path).address)
            problem = LoadString(Str::NetBadAddress).arg(path, Net::ParseAddress(path).problem);
        else if (!network && !path.startsWith(u'/'))
            problem = LoadString(Str::PortMapNoPath).arg(entry);
        else if (paths.contains(name) && paths.value(name) != path)
            problem = LoadString(Str::PortMapTwice).arg(name);
        else
            paths.insert(name, path);
        return problem.isEmpty();
    }
};

Mapping fromEnvironment()
{
    Mapping m;
    const QString mapping = qEnvironmentVariable("QUILO_PORTS");
    for (const QString &raw : mapping.split(u';', Qt::SkipEmptyParts)) {
        const QString entry = raw.trimmed();
        if (entry.isEmpty())
            continue;
        const qsizetype eq = entry.indexOf(u'=');
        if (eq < 0) {
            m.problem = LoadString(Str::PortMapNoEntry).arg(entry);
            break;
        }
        if (!m.add(entry.left(eq), entry.mid(eq + 1), entry))
            break;
    }
    return m;
}

Mapping fromSettings()
{
    Mapping m;
    QSettings settings{QLatin1String(kOrganisation), QLatin1String(kApplication)};
    settings.beginGroup(u"Ports"_s);
    for (const QString &key : settings.childKeys()) {
        const QString value = settings.value(key).toString();
        if (!m.add(key, value, key + u'=' + value))
            break;
    }
    return m;
}

QString byDefault(const QString &name)
{
    static const QRegularExpression com(u"^Com([1-4])$"_s);
    const QRegularExpressionMatch m = com.match(name);
    if (!m.hasMatch())
        return QString();
    return u"/dev/ttyS%1"_s.arg(m.captured(1).toInt() - 1);
}

PortResolution resolve(const QString &rawName)
{
    const QString name = CanonicalPortName(rawName.trimmed());
    if (name.isEmpty())
        return {};
    if (name.startsWith(u'/'))
        return {name, PortSource::Path, QString()};
    if (Net::LooksLikeNetworkPort(name)) {
        const Net::ParsedAddress parsed = Net::ParseAddress(name);
        if (!parsed.address)
            return {QString(), PortSource::Path, LoadString(Str::NetBadAddress).arg(name, parsed.problem)};
        return {name, PortSource::Path, QString()};
    }
    {
        QMutexLocker lock(&g_overridesMutex);
        const auto it = overrides().constFind(name);
        if (it != overrides().constEnd())
            return {*it, PortSource::Override, QString()};
    }
    const Mapping environment = fromEnvironment();
    if (!environment.problem.isEmpty())
        return {QString(), PortSource::Environment,
                LoadString(Str::PortErrMapping).arg(name, u"QUILO_PORTS"_s, environment.problem)};
    if (const QString p = environment.paths.value(name); !p.isEmpty())
        return {p, PortSource::Environment, QString()};
    const Mapping settings = fromSettings();
    if (!settings.problem.isEmpty()) {
        const QString where = u"[Ports] (%1)"_s.arg(QSettings{QLatin1String(kOrganisation), QLatin1String(kApplication)}.fileName());
        return {QString(), PortSource::Settings, LoadString(Str::PortErrMapping).arg(name, where, settings.problem)};
    }
    if (const QString p = settings.paths.value(name); !p.isEmpty())
        return {p, PortSource::Settings, QString()};
    if (QString p = byDefault(name); !p.isEmpty())
        return {p, PortSource::Default, QString()};
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

PortResolution ResolvePort(const QString &name)
{
    return resolve(name);
}

QString ResolvePortPath(const QString &name)
{
    return resolve(name).path;
}

PortSource PortPathSource(const QString &name)
{
    return resolve(name).source;
}

QString PortMappingError(const QString &name)
{
    return resolve(name).error;
}

QList<NamedPort> NamedNetworkPorts()
{
    QStringList names;
    {
        QMutexLocker lock(&g_overridesMutex);
        names = overrides().keys();
    }
    names += fromEnvironment().paths.keys();
    names += fromSettings().paths.keys();
    names.removeDuplicates();
    // Com2 before Com10
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    QList<NamedPort> ports;
    for (const QString &name : names) {
        const PortResolution r = resolve(name);
        if (Net::LooksLikeNetworkPort(r.path))
            ports.append({name, r.path, r.source});
    }
    return ports;
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

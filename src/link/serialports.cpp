#include "serialports.h"

#include "portnames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QSerialPortInfo>

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

namespace {

QMutex g_rootMutex;
QString g_root;

QString deviceTreeRoot()
{
    QMutexLocker lock(&g_rootMutex);
    return g_root;
}

// Device (its canonical path) -> the by-id links that lead to it, sorted.
QHash<QString, QStringList> stableNamesByDevice(const QString &root)
{
    QHash<QString, QStringList> out;
    const QDir byId(root + u"/dev/serial/by-id"_s);
    const QFileInfoList links = byId.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &link : links) {
        if (!link.isSymLink())
            continue;
        const QString device = link.canonicalFilePath(); // empty while the link dangles
        if (!device.isEmpty())
            out[device] << link.absoluteFilePath();
    }
    return out;
}

void readLatencyTimer(const QString &root, CSerialPortEntry &e)
{
    const QString path = u"%1/sys/bus/usb-serial/devices/%2/latency_timer"_s.arg(root, e.name);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    bool ok = false;
    const int ms = QString::fromLatin1(file.read(16)).trimmed().toInt(&ok);
    if (ok && ms >= 0) {
        e.latencyTimerMs = ms;
        e.latencyTimerFile = path;
    }
}

QString nameOf(const QString &devicePath)
{
    return devicePath.startsWith(u"/dev/"_s) ? devicePath.mid(5) : QFileInfo(devicePath).fileName();
}

} // namespace

void SetDeviceTreeRoot(const QString &root)
{
    QMutexLocker lock(&g_rootMutex);
    g_root = root;
}

QList<CSerialPortEntry> ListSerialPorts()
{
    const QString root = deviceTreeRoot();
    QHash<QString, QStringList> stable = stableNamesByDevice(root);
    QList<CSerialPortEntry> ports;
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos) {
        CSerialPortEntry e;
        e.name = info.portName();
        e.devicePath = info.systemLocation();
        e.description = info.description();
        e.manufacturer = info.manufacturer();
        if (info.hasVendorIdentifier() && info.hasProductIdentifier())
            e.vidPid = u"%1:%2"_s.arg(info.vendorIdentifier(), 4, 16, QChar(u'0'))
                           .arg(info.productIdentifier(), 4, 16, QChar(u'0'));
        e.serialNumber = info.serialNumber();
        e.stableNames = stable.take(e.devicePath);
        ports << e;
    }
    // udev makes by-id links only for serial devices, so a link whose device Qt did not list
    // (plugged in a moment ago) still names a port.
    for (auto it = stable.cbegin(); it != stable.cend(); ++it) {
        CSerialPortEntry e;
        e.devicePath = it.key();
        e.name = nameOf(e.devicePath);
        e.stableNames = it.value();
        ports << e;
    }
    // Where Com1..Com4 lead, once: each answer reads the environment and the settings file.
    struct Target {
        QString com, path, canonical; // a mapping to a by-id link leads to its device too
    };
    std::array<Target, 4> targets;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        Target &t = targets[i];
        t.com = u"Com%1"_s.arg(i + 1);
        t.path = Quilo::ResolvePortPath(t.com);
        if (!t.path.isEmpty())
            t.canonical = QFileInfo(t.path).canonicalFilePath();
    }
    for (CSerialPortEntry &e : ports) {
        readLatencyTimer(root, e);
        for (const Target &t : targets)
            if (t.path == e.devicePath || (!t.canonical.isEmpty() && t.canonical == e.devicePath))
                e.portNames << t.com;
    }
    std::sort(ports.begin(), ports.end(),
              [](const CSerialPortEntry &a, const CSerialPortEntry &b) { return a.devicePath < b.devicePath; });
    return ports;
}

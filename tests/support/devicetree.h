#pragma once
// A stand-in for the parts of /sys and /dev/serial that describe USB serial adapters, in a
// temporary folder that ListSerialPorts reads instead while this object lives. Header-only.

#include "serialports.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

class CFakeDeviceTree
{
public:
    CFakeDeviceTree()
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("dev/serial/by-id"));
        SetDeviceTreeRoot(m_dir.path());
    }
    ~CFakeDeviceTree() { SetDeviceTreeRoot(QString()); }
    CFakeDeviceTree(const CFakeDeviceTree &) = delete;
    CFakeDeviceTree &operator=(const CFakeDeviceTree &) = delete;

    bool isValid() const { return m_dir.isValid(); }
    // Under the folder's canonical path, as the port list resolves links to it.
    QString path(const QString &relative) const { return QDir(m_dir.path()).canonicalPath() + u'/' + relative; }
    QString byId(const QString &name) const { return path(QStringLiteral("dev/serial/by-id/") + name); }

    // An adapter appears as dev/<tty>, its by-id link and, when latencyMs >= 0, its sysfs timer.
    bool plug(const QString &tty, const QString &byIdName, int latencyMs = -1)
    {
        QFile node(path(QStringLiteral("dev/") + tty));
        if (!node.open(QIODevice::WriteOnly))
            return false;
        if (latencyMs >= 0) {
            const QString dir = QStringLiteral("sys/bus/usb-serial/devices/") + tty;
            QDir(m_dir.path()).mkpath(dir);
            QFile timer(path(dir + QStringLiteral("/latency_timer")));
            if (!timer.open(QIODevice::WriteOnly) || timer.write(QByteArray::number(latencyMs) + '\n') <= 0)
                return false;
        }
        return link(byIdName, QStringLiteral("../../") + tty);
    }

    // The by-id link alone, to any target (a pseudo-terminal that plays the adapter).
    bool link(const QString &byIdName, const QString &target)
    {
        const QByteArray at = QFile::encodeName(byId(byIdName));
        ::unlink(at.constData());
        return ::symlink(QFile::encodeName(target).constData(), at.constData()) == 0;
    }

    // The device node and its sysfs folder go; the by-id link dangles, as it may for a moment.
    void unplug(const QString &tty)
    {
        QFile::remove(path(QStringLiteral("dev/") + tty));
        QDir(path(QStringLiteral("sys/bus/usb-serial/devices/") + tty)).removeRecursively();
    }

private:
    QTemporaryDir m_dir;
};

#include "serialports.h"

#include "portnames.h"

#include <QSerialPortInfo>

#include <algorithm>

using namespace Qt::StringLiterals;

QList<CSerialPortEntry> ListSerialPorts()
{
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
        for (int i = 1; i <= 4; ++i) {
            const QString com = u"Com%1"_s.arg(i);
            if (Quilo::ResolvePortPath(com) == e.devicePath)
                e.portNames << com;
        }
        ports << e;
    }
    std::sort(ports.begin(), ports.end(),
              [](const CSerialPortEntry &a, const CSerialPortEntry &b) { return a.devicePath < b.devicePath; });
    return ports;
}

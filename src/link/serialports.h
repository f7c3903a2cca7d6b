#pragma once
// The serial ports this machine has, for port lists in the window and the command line.

#include <QList>
#include <QString>
#include <QStringList>

struct CSerialPortEntry
{
    QString name;         // "ttyUSB0"
    QString devicePath;   // "/dev/ttyUSB0"
    QString description;
    QString manufacturer;
    QString vidPid;       // "0403:6001", empty when the port has none
    QString serialNumber;
    QStringList portNames; // "Com1".."Com4" that lead here
};

QList<CSerialPortEntry> ListSerialPorts();

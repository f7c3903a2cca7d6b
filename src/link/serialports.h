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
    // Links in /dev/serial/by-id that lead here. Unlike ttyUSB0 they stay the same when the
    // adapter is plugged in again, into another socket or after other adapters.
    QStringList stableNames;
    // The USB adapter's latency timer in ms (how long it may hold received bytes while its
    // driver is not in low-latency mode); -1 when the driver exposes none.
    int latencyTimerMs = -1;
    QString latencyTimerFile; // where the timer is read and set; empty when none
};

// Read afresh at every call: adapters come and go.
QList<CSerialPortEntry> ListSerialPorts();

// Where /sys and /dev/serial are looked for: empty for the machine itself, or a folder laid out
// the same way (a test's stand-in for adapters it does not have).
void SetDeviceTreeRoot(const QString &root);

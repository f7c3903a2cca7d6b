#pragma once
// Port names as the user knows them ("Com1".."Com4") and the devices behind them. A name
// resolves, first match wins: an in-process mapping, the QUILO_PORTS environment variable
// ("Com2=/dev/pts/5;Com1=/dev/ttyUSB0"), the "Ports" group of the settings file, the default
// /dev/ttyS0../dev/ttyS3. A name that starts with '/' is already a device path; a network port
// ("rfc2217://venue-7:4001", see netport.h) is its own path too, and may be mapped to like one.

#include <QList>
#include <QString>

namespace Quilo {

// The device path for a port name; empty when the name leads nowhere, or when the mapping it
// would come from is malformed (see ResolvePort).
QString ResolvePortPath(const QString &name);

// Maps `name` to `path` for this process; an empty path removes the mapping.
void SetPortOverride(const QString &name, const QString &path);
void ClearPortOverrides();

// "com2" and "COM2" are "Com2"; any other name is returned unchanged.
QString CanonicalPortName(const QString &name);

// Where the mapping of ResolvePortPath came from, for the command line's port listing.
enum class PortSource { None, Path, Override, Environment, Settings, Default };

// The device path, where its mapping came from, and why the name leads nowhere when a mapping
// in the way is malformed (for the user). A malformed QUILO_PORTS or [Ports] group is not used
// at all: an entry meant for this name may be the misspelt one, and a request must not go to a
// device the user did not mean (the default /dev/ttyS1 for "Com2" among them). Each call reads
// the environment and the settings file.
struct PortResolution {
    QString path;
    PortSource source = PortSource::None; // the malformed mapping's source when `error` is set
    QString error;
};
PortResolution ResolvePort(const QString &name);

// The names that lead to network ports, for the command line's port listing.
struct NamedPort {
    QString name;
    QString path;
    PortSource source = PortSource::None;
};
QList<NamedPort> NamedNetworkPorts();
PortSource PortPathSource(const QString &name); // ResolvePort(name).source
QString PortMappingError(const QString &name);   // ResolvePort(name).error

} // namespace Quilo

#pragma once
// Port names as the user knows them ("Com1".."Com4") and the devices behind them. A name
// resolves, first match wins: an in-process mapping, the QUILO_PORTS environment variable
// ("Com2=/dev/pts/5;Com1=/dev/ttyUSB0"), the "Ports" group of the settings file, the default
// /dev/ttyS0../dev/ttyS3. A name that starts with '/' is already a device path.

#include <QString>

namespace Quilo {

// The device path for a port name; empty when the name leads nowhere, or when the mapping it
// would come from is malformed (see PortMappingError).
QString ResolvePortPath(const QString &name);

// Why `name` leads nowhere because a mapping is malformed, for the user; empty when no mapping
// in the way is malformed. A malformed QUILO_PORTS or [Ports] group is not used at all: an entry
// meant for this name may be the misspelt one, and a request must not go to a device the user
// did not mean (the default /dev/ttyS1 for "Com2" among them).
QString PortMappingError(const QString &name);

// Maps `name` to `path` for this process; an empty path removes the mapping.
void SetPortOverride(const QString &name, const QString &path);
void ClearPortOverrides();

// "com2" and "COM2" are "Com2"; any other name is returned unchanged.
QString CanonicalPortName(const QString &name);

// Where the mapping of ResolvePortPath came from, for the command line's port listing (the
// malformed mapping's source when PortMappingError is not empty).
enum class PortSource { None, Path, Override, Environment, Settings, Default };
PortSource PortPathSource(const QString &name);

} // namespace Quilo

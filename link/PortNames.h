#pragma once

#include <QString>

// "COMn" resolves to workDir/COMn when such an entry exists (usually a symbolic link to a
// device such as /dev/serial/by-id/..., or to the encoder simulator's pseudo-terminal),
// otherwise to /dev/ttyS{n-1}. The empty name resolves to "" (opens nothing). Any other
// name (for instance a device path) is returned as it stands.
QString ResolvePortDevice(const QString &comName, const QString &workDir);

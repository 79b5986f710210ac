// From what the operator typed as PORT to the device to open, and a plain
// one-line answer when it cannot be a serial port at all (nothing typed, a
// folder, /dev/null) instead of whatever the system says on a failed open.
#ifndef HALVERO_CLI_PORTPATH_H
#define HALVERO_CLI_PORTPATH_H

#include <QString>

#include "result.h"

// A failure is ErrorCode::NoSuchPort, saying why PORT is no serial port.
struct PortPath : Result
{
    QString path;         // the device to open; empty when there is none
    bool missing = false; // nothing of that name is there (a board not plugged in)
};

// Before opening: a name from 'ports' ("ttyUSB0", "COM3") or a device path.
PortPath resolvePortPath(const QString &port);

// Whether `file` (an -o FILE) is the device at `devicePath` itself, under
// whatever name: a link, /dev/ttyACM0 for ttyACM0.
bool isSameDevice(const QString &file, const QString &devicePath);

// After an open of `path` failed: why, when the device is no terminal at all;
// empty when it is one, and the usual open-failure diagnosis applies.
QString notASerialPort(const QString &port, const QString &path);

#endif // HALVERO_CLI_PORTPATH_H

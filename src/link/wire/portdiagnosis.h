// Why a serial port would not open, in words an operator can act on: no such
// device, no permission (the dialout group), or busy with another program.
// Shared by the window's status bar and halvero-cli.
#ifndef HALVERO_PORTDIAGNOSIS_H
#define HALVERO_PORTDIAGNOSIS_H

#include <QSerialPort>
#include <QString>

enum class OpenFailure {
    Permission,
    Busy,
    Gone,
    Other
};

// probeErrno is what a plain open(2) of the device reported right after Qt
// failed (0 when it opened, -1 when not tried): Qt folds "no permission",
// "in exclusive use" and "lock file held" into one error code, and the
// remedy differs for each.
OpenFailure classifyOpenFailure(QSerialPort::SerialPortError qtError, int probeErrno);
QString openFailureMessage(OpenFailure failure, const QString &port, const QString &qtErrorText);

// errno of a plain open of the device at this path; -1 where the system has
// no such probe (anything but a POSIX system).
int probeOpenErrno(const QString &systemLocation);

// The device behind a port name ("ttyUSB0", "COM3") or path ("/dev/pts/5").
QString systemLocationOf(const QString &port);

// The whole diagnosis of `port` (as the operator named it) right after
// `link` failed to open it.
QString describeOpenFailure(const QString &port, const QSerialPort &link);

#endif // HALVERO_PORTDIAGNOSIS_H

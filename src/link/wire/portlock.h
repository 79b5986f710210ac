// The lock file QSerialPort leaves beside a port it has open on POSIX
// systems: LCK..ttyUSB0 (LCK..pts_5 for /dev/pts/5) in the first of its
// lock folders it can use, /var/lock (/run/lock on Debian) as a rule. It
// holds the process id and name of the program that has the port.
//
// Qt's own open takes over the lock of a program that has died only when it
// can tell; a program killed a moment ago and not yet reaped by its parent
// still counts as running there. The operator hears whose lock it is either
// way: who holds a port that is busy, and whose lock was taken over.
#ifndef HALVERO_PORTLOCK_H
#define HALVERO_PORTLOCK_H

#include <QString>

namespace PortLock {

struct Holder
{
    bool found = false; // a lock file naming a process is there
    bool alive = false; // that process is still running (or cannot be told)
    qint64 pid = 0;
    QString program;     // as the lock file names it; may be empty
    QString lockFile;    // its path
    QString removeError; // takeOverStale(): why the lock of a dead process stayed
    // "halvero-cli, process 4711" or "process 4711"
    QString describe() const;
};

// The lock file Qt would use for the device at `systemLocation`
// ("/dev/ttyUSB0"); empty where ports are not locked by file (Windows).
QString lockFilePath(const QString &systemLocation);

// Who holds the lock of the device at `systemLocation`.
Holder holderOf(const QString &systemLocation);

// Removes the lock of a process that is no longer running, so that the
// open that follows takes the port; returns that process (found is false
// when there was none). removeError is set when the file could not be
// removed: /var/lock lets only its owner remove a file, so one left by a
// program that ran as root stays for every other user.
Holder takeOverStale(const QString &systemLocation);

} // namespace PortLock

#endif // HALVERO_PORTLOCK_H

// Open-failure diagnosis. The errno probe is POSIX-only: elsewhere Qt's own
// error code is all there is to go on.
#include "portdiagnosis.h"

#include <QCoreApplication>
#include <QFile>
#include <QSerialPortInfo>

#include "portlock.h"

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("DeviceLink", text);
}

} // namespace

OpenFailure classifyOpenFailure(QSerialPort::SerialPortError qtError, int probeErrno)
{
#ifdef Q_OS_UNIX
    switch (probeErrno) {
    case EACCES:
    case EPERM:
        return OpenFailure::Permission;
    case EBUSY:
        return OpenFailure::Busy;
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case EIO:
        return OpenFailure::Gone;
    case 0:
        // The device itself opens, so what stopped Qt is its lock file,
        // held by another program using the port.
        if (qtError == QSerialPort::PermissionError)
            return OpenFailure::Busy;
        break;
    default:
        break;
    }
#else
    Q_UNUSED(probeErrno);
#endif
    switch (qtError) {
    case QSerialPort::PermissionError:
        return OpenFailure::Permission;
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::ResourceError:
        return OpenFailure::Gone;
    default:
        return OpenFailure::Other;
    }
}

QString openFailureMessage(OpenFailure failure, const QString &port, const QString &qtErrorText)
{
    switch (failure) {
    case OpenFailure::Permission:
        return tr("No permission to open %1: add your user to the 'dialout' group "
                  "(sudo usermod -aG dialout $USER) and log in again.")
            .arg(port);
    case OpenFailure::Busy:
        return tr("%1 is busy or locked by another program: close the other program "
                  "(another configurator, a terminal) and connect again.")
            .arg(port);
    case OpenFailure::Gone:
        return tr("No such port %1 (unplugged?): plug the board in and press Refresh.").arg(port);
    case OpenFailure::Other:
        break;
    }
    return tr("Cannot open %1: %2.").arg(port, qtErrorText);
}

int probeOpenErrno(const QString &systemLocation)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(systemLocation).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return errno;
    ::close(fd);
    return 0;
#else
    Q_UNUSED(systemLocation);
    return -1;
#endif
}

QString systemLocationOf(const QString &port)
{
    // A device path (a pseudo-terminal, a /dev/serial/by-id link) is its own
    // location; a bare name is looked up the way Qt opens it.
    if (port.contains(QLatin1Char('/')))
        return port;
    const QString location = QSerialPortInfo(port).systemLocation();
    if (!location.isEmpty())
        return location;
#ifdef Q_OS_UNIX
    return QStringLiteral("/dev/") + port;
#else
    return port;
#endif
}

QString describeOpenFailure(const QString &port, const QSerialPort &link)
{
    const OpenFailure failure = classifyOpenFailure(link.error(), probeOpenErrno(systemLocationOf(port)));
    if (failure == OpenFailure::Busy) {
        // Qt names its lock after the device it was asked to open.
        const QString name = link.portName();
        const PortLock::Holder holder =
            PortLock::holderOf(name.startsWith(QLatin1Char('/')) ? name : QStringLiteral("/dev/") + name);
        if (holder.found && holder.alive)
            return tr("%1 is busy or locked by another program (%2): close it and connect again.")
                .arg(port, holder.describe());
        if (holder.found)
            return tr("%1 is locked by %2, which is no longer running, and its lock file cannot be removed by this "
                      "user: remove %3 (sudo rm %3) and connect again.")
                .arg(port, holder.describe(), holder.lockFile);
    }
    return openFailureMessage(failure, port, link.errorString());
}

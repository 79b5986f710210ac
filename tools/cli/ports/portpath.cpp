// Port argument checks. The terminal test opens the device only after Qt's
// own open has failed, so a real port is never opened (and its DTR line
// toggled) once more than needed.
#include "portpath.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSerialPortInfo>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

PortPath noPort(const QString &why)
{
    PortPath none;
    none.code = ErrorCode::NoSuchPort;
    none.message = why;
    return none;
}

} // namespace

// A port as named, and the device it was taken for.
Q_LOGGING_CATEGORY(lcPorts, "halvero.cli.ports")

PortPath resolvePortPath(const QString &port)
{
    qCDebug(lcPorts).noquote() << "Resolving" << port;
    if (port.trimmed().isEmpty())
        return noPort(QStringLiteral("no port given (halvero-cli ports lists them)"));
    QString path;
    if (port.contains(QLatin1Char('/'))) {
        // Pseudo-terminals and udev symlinks are not listed as ports
        // but are as good a serial device as any. Qt takes a name without
        // a leading slash for one under /dev, so a relative path goes in
        // absolute.
        if (QFileInfo::exists(port))
            path = QFileInfo(port).absoluteFilePath();
    } else {
        for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
            if (info.portName() == port)
                path = info.systemLocation();
        }
#ifdef Q_OS_UNIX
        if (path.isEmpty() && QFileInfo::exists(QStringLiteral("/dev/") + port))
            path = QStringLiteral("/dev/") + port;
#endif
    }
    if (path.isEmpty()) {
        PortPath missing = noPort(QStringLiteral("no such port: %1 (halvero-cli ports lists them)").arg(port));
        missing.missing = true;
        return missing;
    }
    const QFileInfo info(path);
    if (info.isDir())
        return noPort(QStringLiteral("%1 is a folder, not a serial port").arg(port));
    if (info.isFile())
        return noPort(QStringLiteral("%1 is a file, not a serial port").arg(port));
#ifdef Q_OS_UNIX
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) == 0 && !S_ISCHR(status.st_mode))
        return noPort(QStringLiteral("%1 is not a serial port").arg(port));
#endif
    PortPath result;
    result.path = path;
    return result;
}

bool isSameDevice(const QString &file, const QString &devicePath)
{
#ifdef Q_OS_UNIX
    struct stat a;
    struct stat b;
    if (::stat(QFile::encodeName(file).constData(), &a) != 0
        || ::stat(QFile::encodeName(devicePath).constData(), &b) != 0)
        return false;
    return (a.st_dev == b.st_dev && a.st_ino == b.st_ino)
           || (S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode) && a.st_rdev == b.st_rdev);
#else
    // COM3, \\.\COM3: one device by its name.
    const auto name = [](QString path) {
        path.remove(QStringLiteral("\\\\.\\"));
        return path;
    };
    return name(file).compare(name(devicePath), Qt::CaseInsensitive) == 0;
#endif
}

QString notASerialPort(const QString &port, const QString &path)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return QString();
    const bool terminal = ::isatty(fd);
    ::close(fd);
    if (!terminal)
        return QStringLiteral("%1 is not a serial port").arg(port);
#else
    Q_UNUSED(port);
    Q_UNUSED(path);
#endif
    return QString();
}

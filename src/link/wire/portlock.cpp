// Serial port lock files, read and taken over the way QLockFile itself does
// (its lock folders, its contents, its flock() on the file), POSIX only.
#include "portlock.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>
#include <QSysInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace PortLock {

QString Holder::describe() const
{
    return program.isEmpty() ? QStringLiteral("process %1").arg(pid)
                             : QStringLiteral("%1, process %2").arg(program).arg(pid);
}

#ifdef Q_OS_UNIX

namespace {

// The folders QSerialPort (Qt 6) looks at for its lock files, in order: the
// first readable one in which the lock file is there or can be made.
QStringList lockFolders()
{
    return {QStringLiteral("/var/lock"),
            QStringLiteral("/etc/locks"),
            QStringLiteral("/var/spool/locks"),
            QStringLiteral("/var/spool/uucp"),
            QStringLiteral("/tmp"),
            QStringLiteral("/var/tmp"),
            QStringLiteral("/var/lock/lockdev"),
            QStringLiteral("/run/lock"),
            QStandardPaths::writableLocation(QStandardPaths::TempLocation)};
}

// Whether a process runs: one that cannot be signalled for lack of
// permission does; a zombie (dead, its parent not having waited for it yet)
// holds nothing any more.
bool running(qint64 pid)
{
    if (pid <= 0 || ::kill(pid_t(pid), 0) != 0)
        return pid > 0 && errno == EPERM;
#ifdef Q_OS_LINUX
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray line = stat.readAll();
        const qsizetype name = line.lastIndexOf(')'); // the name may hold spaces and brackets
        if (name >= 0 && line.mid(name + 1).trimmed().startsWith('Z'))
            return false;
    }
#endif
    return true;
}

} // namespace

QString lockFilePath(const QString &systemLocation)
{
    QString name = systemLocation.startsWith(QLatin1String("/dev/")) ? systemLocation.mid(5) : systemLocation;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const QString &folder : lockFolders()) {
        const QFileInfo info(folder);
        const QString path = folder + QStringLiteral("/LCK..") + name;
        if (!folder.isEmpty() && info.isReadable() && (QFile::exists(path) || info.isWritable()))
            return path;
    }
    return QString();
}

Holder holderOf(const QString &systemLocation)
{
    Holder holder;
    holder.lockFile = lockFilePath(systemLocation);
    QFile file(holder.lockFile);
    if (holder.lockFile.isEmpty() || !QFileInfo(holder.lockFile).isFile() || !file.open(QIODevice::ReadOnly))
        return holder;
    // QLockFile writes "pid\nprogram\nhost\n..."; UUCP-style locks hold
    // the pid alone, padded with spaces.
    const QList<QByteArray> lines = file.read(4096).split('\n');
    bool number = false;
    holder.pid = lines.value(0).trimmed().toLongLong(&number);
    if (!number || holder.pid <= 0)
        return holder;
    holder.found = true;
    holder.program = QString::fromUtf8(lines.value(1).trimmed());
    const QString host = QString::fromUtf8(lines.value(2).trimmed());
    // A lock made on another machine (a shared folder) cannot be judged here.
    holder.alive = (!host.isEmpty() && host != QSysInfo::machineHostName()) || running(holder.pid);
    return holder;
}

Holder takeOverStale(const QString &systemLocation)
{
    Holder holder = holderOf(systemLocation);
    if (!holder.found || holder.alive)
        return Holder();
    const QByteArray path = QFile::encodeName(holder.lockFile);
    // As QLockFile does: a file another program still holds locked is not
    // removed, whatever its contents say.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return Holder();
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (!free || holderOf(systemLocation).pid != holder.pid) {
        ::close(fd);
        return Holder();
    }
    if (::unlink(path.constData()) != 0)
        holder.removeError = QString::fromLocal8Bit(std::strerror(errno));
    ::close(fd);
    return holder;
}

#else

QString lockFilePath(const QString &)
{
    return QString();
}

Holder holderOf(const QString &)
{
    return Holder();
}

Holder takeOverStale(const QString &)
{
    return Holder();
}

#endif

} // namespace PortLock

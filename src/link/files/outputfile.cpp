// Output files that survive a failed write: a full disk, a file-size limit or
// a pulled USB stick leave the previous file whole, and /dev/null stays a
// device even when root writes to it.
#include "outputfile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QThread>

#include <csignal>
#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace OutputFile {

namespace {

// The files written: what replaced what.
Q_LOGGING_CATEGORY(lcFiles, "halvero.link.files")

// How long a named pipe may go without a reader before writing to it fails.
constexpr int pipeReaderWaitMs = 2000;

Result fail(const QString &why)
{
    return Result::failure(ErrorCode::OutputFile, why);
}

// On a file opened unbuffered, so that each write's own result is the one
// looked at. A short write is followed by another of the rest: that one
// fails with the reason (disk full, file too large) the short one keeps to
// itself.
Result writeAll(QFileDevice &file, const QByteArray &data)
{
    for (qint64 done = 0; done < data.size();) {
        const qint64 written = file.write(data.constData() + done, data.size() - done);
        if (written <= 0)
            return fail(file.errorString());
        done += written;
    }
    return Result();
}

// A device or a pipe cannot be replaced, only written. The close is checked
// too, as some devices only report there.
Result writeInPlace(const QString &path, const QByteArray &data, const std::function<bool()> &givenUp)
{
    QFile file(path);
#ifdef Q_OS_UNIX
    // Opened without waiting: a pipe that nobody reads would hold the
    // program, and whatever it has open, for good. A reader started along
    // with the program gets a moment to open its end.
    const QByteArray name = QFile::encodeName(path);
    QElapsedTimer waited;
    waited.start();
    int fd = -1;
    while ((fd = ::open(name.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK)) < 0 && errno == ENXIO
           && waited.elapsed() < pipeReaderWaitMs && !(givenUp && givenUp()))
        QThread::msleep(20);
    if (fd < 0) {
        const int error = errno;
        struct stat status;
        if (error == ENXIO && ::stat(name.constData(), &status) == 0 && S_ISFIFO(status.st_mode))
            return fail(QStringLiteral("it is a pipe that no program reads from"));
        return fail(QString::fromLocal8Bit(std::strerror(error)));
    }
    // From here on the reader takes the data at its own pace.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(file.errorString());
    }
#else
    Q_UNUSED(givenUp);
    if (!file.open(QIODevice::WriteOnly | QIODevice::ExistingOnly | QIODevice::Unbuffered))
        return fail(file.errorString());
#endif
    if (const Result written = writeAll(file, data); !written.ok())
        return written;
    file.close();
    if (file.error() != QFileDevice::NoError)
        return fail(file.errorString());
    return Result();
}

// QSaveFile writes the temporary beside the target and renames it over, but
// a write error that only shows when its buffer is flushed at commit() goes
// unnoticed there and the short file replaces the good one. Unbuffered,
// every write fails where it is seen; the sync to disk is checked here too.
// Until commit() the target is untouched; without it, the temporary is
// removed when `file` goes.
Result replaceWhole(const QString &path, const QByteArray &data)
{
    qCDebug(lcFiles).noquote() << "Replacing" << path << "with" << data.size() << "bytes";
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(file.errorString());
    if (const Result written = writeAll(file, data); !written.ok())
        return written;
#ifdef Q_OS_UNIX
    // EINVAL: a file system that has nothing to sync.
    if (::fsync(file.handle()) != 0 && errno != EINVAL)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
#endif
    if (!file.commit())
        return fail(file.errorString());
    return Result();
}

} // namespace

Result writeFileSafely(const QString &path, const QByteArray &data, const std::function<bool()> &givenUp)
{
    // QFileInfo looks through symlinks; QSaveFile follows them to the file.
    const QFileInfo target(path);
    if (target.isDir())
        return fail(QStringLiteral("it is a folder"));
    if (target.exists() && !target.isFile())
        return writeInPlace(path, data, givenUp);
    return replaceWhole(path, data);
}

Result checkWritable(const QString &path)
{
    const QFileInfo target(path);
    if (target.isDir())
        return fail(QStringLiteral("it is a folder"));
    if (target.exists() && !target.isFile())
        return Result();
    // The new file is made beside the old one and renamed over it.
    const QFileInfo folder(target.absolutePath());
    if (!folder.isDir())
        return fail(QStringLiteral("the folder %1 does not exist").arg(QDir::toNativeSeparators(folder.filePath())));
    if (!folder.isWritable())
        return fail(
            QStringLiteral("the folder %1 cannot be written to").arg(QDir::toNativeSeparators(folder.filePath())));
    // Marked read-only is refused even where the system would let an
    // administrator replace it: someone meant to keep it.
    const QFileDevice::Permissions writable =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    if (target.exists() && (!target.isWritable() || !(target.permissions() & writable)))
        return fail(QStringLiteral("it is read-only"));
    return Result();
}

void ignoreFileSizeSignal()
{
#if defined(Q_OS_UNIX) && defined(SIGXFSZ)
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

} // namespace OutputFile

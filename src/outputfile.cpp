// Output files that survive a failed write: a full disk, a file-size limit or
// a pulled USB stick leave the previous file whole, and /dev/null stays a
// device even when root writes to it.
#include "outputfile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <csignal>
#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <unistd.h>
#endif

namespace OutputFile {

namespace {

bool fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

// On a file opened unbuffered, so that each write's own result is the one
// looked at. A short write is followed by another of the rest: that one
// fails with the reason (disk full, file too large) the short one keeps to
// itself.
bool writeAll(QFileDevice &file, const QByteArray &data, QString *error)
{
    for (qint64 done = 0; done < data.size();) {
        const qint64 written = file.write(data.constData() + done, data.size() - done);
        if (written <= 0)
            return fail(error, file.errorString());
        done += written;
    }
    return true;
}

// A device or a pipe cannot be replaced, only written. The close is checked
// too, as some devices only report there.
bool writeInPlace(const QString &path, const QByteArray &data, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::ExistingOnly | QIODevice::Unbuffered))
        return fail(error, file.errorString());
    if (!writeAll(file, data, error))
        return false;
    file.close();
    if (file.error() != QFileDevice::NoError)
        return fail(error, file.errorString());
    return true;
}

// QSaveFile writes the temporary beside the target and renames it over, but
// a write error that only shows when its buffer is flushed at commit() goes
// unnoticed there and the short file replaces the good one. Unbuffered,
// every write fails where it is seen; the sync to disk is checked here too.
// Until commit() the target is untouched; without it, the temporary is
// removed when `file` goes.
bool replaceWhole(const QString &path, const QByteArray &data, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(error, file.errorString());
    if (!writeAll(file, data, error))
        return false;
#ifdef Q_OS_UNIX
    // EINVAL: a file system that has nothing to sync.
    if (::fsync(file.handle()) != 0 && errno != EINVAL)
        return fail(error, QString::fromLocal8Bit(std::strerror(errno)));
#endif
    if (!file.commit())
        return fail(error, file.errorString());
    return true;
}

} // namespace

bool writeFileSafely(const QString &path, const QByteArray &data, QString *error)
{
    // QFileInfo looks through symlinks; QSaveFile follows them to the file.
    const QFileInfo target(path);
    if (target.isDir())
        return fail(error, QStringLiteral("it is a folder"));
    if (target.exists() && !target.isFile())
        return writeInPlace(path, data, error);
    return replaceWhole(path, data, error);
}

void ignoreFileSizeSignal()
{
#if defined(Q_OS_UNIX) && defined(SIGXFSZ)
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

} // namespace OutputFile

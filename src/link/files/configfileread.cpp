// Bounded reading of configuration files. On POSIX systems the file is
// opened without waiting and polled, so that a pipe that never ends or
// never starts holds nobody longer than the bound, and a named pipe that no
// program writes to nobody at all for good; elsewhere QFile reads it.
#include "configfileread.h"

#include <QElapsedTimer>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ConfigFileRead {

namespace {

QString overLimit(const QString &path)
{
    return QStringLiteral("%1 is over 1 MiB: no configuration file").arg(path);
}

#ifdef Q_OS_UNIX
QString noWriter(const QString &path)
{
    return QStringLiteral("cannot read %1: it is a pipe that no program writes to").arg(path);
}
#endif

} // namespace

Source::Source(const QString &path)
    : m_path(path)
{}

Bytes Source::fail(const QString &why) const
{
    Bytes failed;
    failed.code = ErrorCode::BadFile;
    failed.message = why;
    return failed;
}

#ifdef Q_OS_UNIX

Source::~Source()
{
    if (m_ownFd && m_fd >= 0)
        ::close(m_fd);
}

Result Source::open()
{
    const auto cannot = [this](const QString &why) {
        return Result::failure(ErrorCode::BadFile, QStringLiteral("cannot read %1: %2").arg(m_path, why));
    };
    if (m_path == QLatin1String("-")) {
        m_fd = STDIN_FILENO; // shared with the shell: its flags stay as they are
    } else {
        // Without O_NONBLOCK, opening a named pipe waits for a program to
        // open it for writing, for good if none ever does.
        m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (m_fd < 0)
            return cannot(QString::fromLocal8Bit(std::strerror(errno)));
        m_ownFd = true;
    }
    struct stat status;
    if (::fstat(m_fd, &status) != 0)
        return cannot(QString::fromLocal8Bit(std::strerror(errno)));
    if (S_ISDIR(status.st_mode))
        return cannot(QStringLiteral("it is a folder"));
    m_regular = S_ISREG(status.st_mode);
    // Standard input keeps its flags: its reads wait as the shell set it up.
    m_pipe = S_ISFIFO(status.st_mode) && m_ownFd;
    if (m_regular && status.st_size > limitBytes)
        return Result::failure(ErrorCode::BadFile, overLimit(m_path));
    return Result();
}

Bytes Source::read(int boundMs)
{
    Bytes result;
    QElapsedTimer elapsed;
    elapsed.start();
    // A pipe opened without waiting reads as ended while no program has it
    // open for writing, and as empty (EAGAIN) while one has.
    bool writerSeen = !m_pipe;
    QByteArray chunk(64 * 1024, Qt::Uninitialized);
    while (result.data.size() <= limitBytes) {
        const size_t wanted = size_t(qMin<qint64>(chunk.size(), limitBytes + 1 - result.data.size()));
        const ssize_t got = ::read(m_fd, chunk.data(), wanted);
        if (got > 0) {
            writerSeen = true;
            result.data.append(chunk.constData(), got);
            continue;
        }
        if (got == 0 && writerSeen)
            break;
        if (got == 0) {
            const qint64 left =
                qMin<qint64>(pipeWriterWaitMs, boundMs < 0 ? pipeWriterWaitMs : boundMs) - elapsed.elapsed();
            if (left <= 0)
                return fail(noWriter(m_path));
            // A writer that opened it and closed it again without a byte
            // leaves a hang-up behind: the pipe has ended, empty.
            pollfd waiting{m_fd, POLLIN, 0};
            if (::poll(&waiting, 1, int(qMin<qint64>(left, 100))) > 0 && (waiting.revents & POLLHUP)
                && !(waiting.revents & POLLIN))
                break;
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return fail(QStringLiteral("cannot read %1: %2").arg(m_path, QString::fromLocal8Bit(std::strerror(errno))));
        writerSeen = true;
        const qint64 left = boundMs < 0 ? -1 : boundMs - elapsed.elapsed();
        if (boundMs >= 0 && left <= 0)
            return fail(
                QStringLiteral("%1 did not end within %2 s: no configuration file").arg(m_path).arg(boundMs / 1000));
        pollfd waiting{m_fd, POLLIN, 0};
        ::poll(&waiting, 1, left < 0 ? -1 : int(qMin<qint64>(left, 200)));
    }
    if (result.data.size() > limitBytes)
        return fail(overLimit(m_path));
    return result;
}

#else

Source::~Source() = default;

Result Source::open()
{
    bool opened = false;
    if (m_path == QLatin1String("-")) {
        opened = m_file.open(stdin, QIODevice::ReadOnly);
    } else {
        const QFileInfo info(m_path);
        if (info.isDir())
            return Result::failure(ErrorCode::BadFile, QStringLiteral("cannot read %1: it is a folder").arg(m_path));
        m_regular = info.isFile();
        if (m_regular && info.size() > limitBytes)
            return Result::failure(ErrorCode::BadFile, overLimit(m_path));
        m_file.setFileName(m_path);
        opened = m_file.open(QIODevice::ReadOnly);
    }
    if (!opened)
        return Result::failure(ErrorCode::BadFile,
                               QStringLiteral("cannot read %1: %2").arg(m_path, m_file.errorString()));
    return Result();
}

Bytes Source::read(int)
{
    Bytes result;
    while (result.data.size() <= limitBytes) {
        const QByteArray chunk = m_file.read(limitBytes + 1 - result.data.size());
        if (chunk.isEmpty())
            break;
        result.data += chunk;
    }
    if (m_file.error() != QFileDevice::NoError)
        return fail(QStringLiteral("cannot read %1: %2").arg(m_path, m_file.errorString()));
    if (result.data.size() > limitBytes)
        return fail(overLimit(m_path));
    return result;
}

#endif

Bytes readFile(const QString &path)
{
    Source source(path);
    if (const Result opened = source.open(); !opened.ok()) {
        Bytes failed;
        static_cast<Result &>(failed) = opened;
        return failed;
    }
    return source.read();
}

} // namespace ConfigFileRead

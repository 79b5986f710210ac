// The status recording: opening the target so that neither a FIFO nor a
// full disk can hang or kill the program, and one checked write per row.
#include "statusrecorder.h"

#include <QFileInfo>
#include <QStringList>

#include "boardfamilies.h"
#include "displayformat.h"
#include "parachuteradiocomm.h"

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#if defined(Q_OS_UNIX)
// A write past the file-size limit raises SIGXFSZ, a write to a FIFO whose
// reader has gone raises SIGPIPE, and either would end the program. Blocked
// in this thread around the write, they leave the write's own error (EFBIG,
// EPIPE) to report; a signal the write raised is taken back before they are
// unblocked. The program's own handling of both signals stays as it was.
class WriteSignalGuard
{
public:
    WriteSignalGuard()
    {
        sigset_t quiet;
        sigemptyset(&quiet);
        sigaddset(&quiet, SIGPIPE);
        sigaddset(&quiet, SIGXFSZ);
        pthread_sigmask(SIG_BLOCK, &quiet, &m_previous);
    }
    ~WriteSignalGuard()
    {
        sigset_t pending;
        sigpending(&pending);
        for (const int sig : {SIGPIPE, SIGXFSZ}) {
            if (!sigismember(&pending, sig) || sigismember(&m_previous, sig))
                continue;
            sigset_t one;
            sigemptyset(&one);
            sigaddset(&one, sig);
            int taken = 0;
            sigwait(&one, &taken);
        }
        pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }
    WriteSignalGuard(const WriteSignalGuard &) = delete;
    WriteSignalGuard &operator=(const WriteSignalGuard &) = delete;

private:
    sigset_t m_previous;
};
#endif

} // namespace

StatusRecorder::~StatusRecorder()
{
    stop();
}

// The columns are the family's status fields under their JSON names, unit
// included, as halvero-cli's status --json names them.
QByteArray StatusRecorder::header(BoardFamily family)
{
    const QList<StatusField> &fields = Protocol::familyTable(family).status;
    if (fields.isEmpty())
        return QByteArray();
    QByteArray line = "time";
    for (const StatusField &field : fields)
        line += ',' + QByteArray(field.json);
    return line + '\n';
}

QByteArray StatusRecorder::row(BoardFamily family, const parachuteRadioComm &record, const QDateTime &time)
{
    // QString::number and the ISO date ignore the system's language, so a
    // German system still writes 12.4, not 12,4.
    QStringList cells{time.toUTC().toString(Qt::ISODateWithMs)};
    const QList<StatusField> &fields = Protocol::familyTable(family).status;
    for (const StatusField &field : fields) {
        // A reading without the flag it needs (the trigger pulse) means
        // nothing: an empty cell, as halvero-cli leaves the value out.
        const bool valid = field.validWith < 0 || record.statusValue(fields.at(field.validWith)) != 0;
        const float value = record.statusValue(field);
        cells << (!valid ? QString() : field.flag ? QString::number(int(value != 0)) : DisplayFormat::general(value));
    }
    return cells.join(QLatin1Char(',')).toUtf8() + '\n';
}

bool StatusRecorder::start(const QString &path, BoardFamily family, QString *error)
{
    stop();
    const auto fail = [&](const QString &why) {
        m_file.close();
        if (error)
            *error = why;
        return false;
    };
    if (header(family).isEmpty())
        return fail(QStringLiteral("no board to record: its family is not known"));
    m_path = path;
    m_family = family;
    m_rows = 0;
    m_size = 0;

#if defined(Q_OS_UNIX)
    // Not blocking: opening a FIFO that nothing reads fails at once instead
    // of hanging the window until a reader comes, and a reader that stops
    // reading fails a write instead of holding the window. Regular files
    // are not affected.
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        struct stat info;
        if (errno == ENXIO && ::stat(native.constData(), &info) == 0 && S_ISFIFO(info.st_mode))
            return fail(QStringLiteral("cannot write %1: no program is reading that FIFO").arg(path));
        return fail(QStringLiteral("cannot write %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    }
    // A regular file is a new recording; anything else (a FIFO, a device)
    // is written as it is.
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::ftruncate(fd, 0) != 0) {
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        return fail(QStringLiteral("cannot replace %1: %2").arg(path, why));
    }
    if (!m_file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(QStringLiteral("cannot write %1: %2").arg(path, m_file.errorString()));
    }
#else
    const QFileInfo info(path);
    if (info.isDir())
        return fail(QStringLiteral("cannot write %1: it is a folder").arg(path));
    QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Unbuffered;
    if (!info.exists() || info.isFile())
        mode |= QIODevice::Truncate;
    m_file.setFileName(path);
    if (!m_file.open(mode))
        return fail(QStringLiteral("cannot write %1: %2").arg(path, m_file.errorString()));
#endif
    return write(header(family), error);
}

bool StatusRecorder::record(const parachuteRadioComm &record, const QDateTime &time, QString *error)
{
    if (!isRecording()) {
        if (error)
            *error = QStringLiteral("not recording");
        return false;
    }
    if (!write(row(m_family, record, time), error))
        return false;
    ++m_rows;
    return true;
}

bool StatusRecorder::write(const QByteArray &line, QString *error)
{
    // Unbuffered: every line goes to the system at once, so it survives a
    // crash of the program, and its failure shows here and not later.
    qint64 done = 0;
    {
#if defined(Q_OS_UNIX)
        const WriteSignalGuard guard;
#endif
        while (done < line.size()) {
            const qint64 written = m_file.write(line.constData() + done, line.size() - done);
            if (written <= 0)
                break;
            done += written;
        }
    }
    if (done == line.size()) {
        m_size += done;
        return true;
    }
    const QString why = m_file.errorString();
    // A row cut short would read as a damaged row: the file ends after the
    // last whole one instead.
    if (done > 0 && !m_file.isSequential())
        m_file.resize(m_size);
    if (error)
        *error = QStringLiteral("cannot write %1, recording stopped: %2").arg(m_path, why);
    m_file.close();
    return false;
}

void StatusRecorder::stop()
{
    m_file.close();
}

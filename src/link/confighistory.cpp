// The history file: where it lives, appending an entry so that it survives a
// crash and never mixes with another program's entry, and reading it back
// past damaged lines.
#include "confighistory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#if defined(Q_OS_WIN)
#include <io.h>
#include <sys/stat.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <condition_variable>
#include <memory>
#include <sys/file.h>
#include <thread>
#include <unistd.h>
#endif

namespace ConfigHistory {

QString normalSerial(const QString &serial)
{
    const QString upper = serial.trimmed().toUpper();
    return upper.startsWith(QLatin1String("0X")) ? upper.mid(2) : upper;
}

QString localTime(const QString &iso)
{
    const QDateTime time = QDateTime::fromString(iso, Qt::ISODateWithMs);
    return time.isValid() ? time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : iso;
}

QList<EntryChanges> changesOf(const QList<Entry> &entries)
{
    QList<EntryChanges> changes(entries.size());
    QHash<QString, int> lastOfBoard;
    for (int i = 0; i < entries.size(); ++i) {
        const BoardConfig &config = entries.at(i).config;
        const QString board = Protocol::familyName(config.family) + normalSerial(config.serial);
        const auto previous = lastOfBoard.constFind(board);
        if (previous != lastOfBoard.constEnd()) {
            changes[i].differences = diffConfigs(entries.at(*previous).config, config);
            changes[i].compared = true;
        }
        lastOfBoard.insert(board, i);
    }
    return changes;
}

QString changesText(const Entry &entry, const EntryChanges &changes)
{
    QStringList parts;
    for (const FieldDifference &d : changes.differences)
        parts << QStringLiteral("%1 %2->%3").arg(d.field.path, formatValue(d.field, d.board), formatValue(d.field, d.file));
    const QString changed = parts.join(QStringLiteral(", "));
    if (changes.compared && changed.isEmpty() && entry.phase == phaseAfter)
        return QStringLiteral("unchanged");
    if (!changed.isEmpty() && entry.phase == phaseBefore)
        return QStringLiteral("since its last entry: ") + changed;
    return changed;
}

namespace {

// What the history did: each entry recorded, each rotation, each read.
Q_LOGGING_CATEGORY(lcHistory, "halvero.history")

// Another program appends in well under a millisecond; waiting longer than
// this means its lock is stuck, and the operator should hear about it.
constexpr int lockWaitMs = 5000;

// An entry's number, kept in the entry so that it still names the same
// entry after a rotation has dropped older ones.
const QString keySeq = QStringLiteral("seq");

// Enough of the end of a file to hold its last entries (a line is under
// 1 KB); where no numbered entry is in it, the files are read whole.
constexpr qint64 tailBytes = 64 * 1024;

QString lockPath(const QString &path)
{
    return path + QStringLiteral(".lock");
}

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// A lock the operating system holds on the file beside the history: a
// waiter wakes as soon as the holder lets go, and the lock of a program that
// died goes with it. The file itself stays; removing it would let two
// programs lock two different files of the same name.
class HistoryLock
{
public:
    HistoryLock() = default;
    HistoryLock(const HistoryLock &) = delete;
    HistoryLock &operator=(const HistoryLock &) = delete;
    ~HistoryLock();

    // Shared for reading, exclusive for writing. False, with `error` set,
    // when the file cannot be opened or the lock is not had in time.
    bool lock(const QString &path, bool exclusive, int timeoutMs, QString *error);

private:
#if defined(Q_OS_WIN)
    HANDLE m_handle = INVALID_HANDLE_VALUE;
#else
    int m_fd = -1;
#endif
};

#if defined(Q_OS_WIN)

HistoryLock::~HistoryLock()
{
    if (m_handle != INVALID_HANDLE_VALUE)
        CloseHandle(m_handle); // releases the lock
}

bool HistoryLock::lock(const QString &path, bool exclusive, int timeoutMs, QString *error)
{
    m_handle = CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (m_handle == INVALID_HANDLE_VALUE) {
        *error = QStringLiteral("cannot create %1: %2").arg(path, qt_error_string(int(GetLastError())));
        return false;
    }
    // Overlapped, the wait for the lock can be bounded and given up.
    OVERLAPPED overlapped = {};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD ignored = 0;
    BOOL locked = LockFileEx(m_handle, exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0, 1, 0, &overlapped);
    DWORD failure = locked ? ERROR_SUCCESS : GetLastError();
    if (failure == ERROR_IO_PENDING) {
        if (WaitForSingleObject(overlapped.hEvent, DWORD(timeoutMs)) != WAIT_OBJECT_0)
            CancelIoEx(m_handle, &overlapped);
        // Granted after all, or cancelled: the wait tells which.
        locked = GetOverlappedResult(m_handle, &overlapped, &ignored, TRUE);
        failure = locked ? ERROR_SUCCESS : GetLastError();
    }
    CloseHandle(overlapped.hEvent);
    if (!locked) {
        *error = failure == ERROR_OPERATION_ABORTED
                     ? QStringLiteral("%1 is held by another program").arg(path)
                     : QStringLiteral("cannot lock %1: %2").arg(path, qt_error_string(int(failure)));
        CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
    }
    return locked;
}

#else

HistoryLock::~HistoryLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // releases the lock
}

bool HistoryLock::lock(const QString &path, bool exclusive, int timeoutMs, QString *error)
{
    const QByteArray name = QFile::encodeName(path);
    m_fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    // A history one may read but not write: reading needs no more.
    if (m_fd < 0 && !exclusive)
        m_fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        *error = QStringLiteral("cannot create %1: %2").arg(path, systemError(errno));
        return false;
    }
    const int operation = exclusive ? LOCK_EX : LOCK_SH;
    if (::flock(m_fd, operation | LOCK_NB) == 0)
        return true;
    if (errno != EWOULDBLOCK) {
        *error = QStringLiteral("cannot lock %1: %2").arg(path, systemError(errno));
        return false;
    }
    // flock() waits without a bound: a thread waits in it, and should the
    // lock come after we gave up, lets go of it there and then.
    struct Wait
    {
        std::mutex mutex;
        std::condition_variable granted;
        bool done = false;
        bool abandoned = false;
        int error = 0;
    };
    const auto wait = std::make_shared<Wait>();
    const int fd = m_fd;
    std::thread([wait, fd, operation] {
        int result = 0;
        do {
            result = ::flock(fd, operation);
        } while (result != 0 && errno == EINTR);
        const int error = result == 0 ? 0 : errno;
        const std::lock_guard<std::mutex> guard(wait->mutex);
        if (wait->abandoned) {
            ::close(fd);
            return;
        }
        wait->done = true;
        wait->error = error;
        wait->granted.notify_one();
    }).detach();
    std::unique_lock<std::mutex> guard(wait->mutex);
    if (!wait->granted.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&wait] { return wait->done; })) {
        wait->abandoned = true;
        m_fd = -1; // the thread closes it
        *error = QStringLiteral("%1 is held by another program").arg(path);
        return false;
    }
    if (wait->error != 0) {
        *error = QStringLiteral("cannot lock %1: %2").arg(path, systemError(wait->error));
        return false;
    }
    return true;
}

#endif

// The entry in `line`, or why it is no entry (then `why` is set).
Entry parseEntry(const QByteArray &line, QString *why)
{
    Entry entry;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError) {
        *why = QStringLiteral("not JSON: %1").arg(error.errorString());
        return entry;
    }
    const ConfigLoad load = parseConfigJson(line);
    if (!load.ok()) {
        *why = load.message;
        return entry;
    }
    entry.json = document.object();
    entry.config = load.config;
    entry.event = entry.json.value(QStringLiteral("event")).toString();
    entry.phase = entry.json.value(QStringLiteral("phase")).toString();
    entry.tool = entry.json.value(QStringLiteral("tool")).toString();
    entry.time = entry.json.value(QStringLiteral("time")).toString();
    if (entry.event.isEmpty() || entry.tool.isEmpty() || entry.time.isEmpty()
        || (entry.phase != phaseBefore && entry.phase != phaseAfter))
        *why = QStringLiteral("no event, phase, tool or time");
    // Entries written before numbers were kept have none; they are counted.
    const QJsonValue seq = entry.json.value(keySeq);
    if (!seq.isUndefined()) {
        const double number = seq.toDouble(-1);
        if (number < 1 || number > 1e15 || number != std::floor(number))
            *why = QStringLiteral("\"seq\" is no entry number");
        else
            entry.index = qint64(number);
    }
    return entry;
}

// The entries of `path` in order, each numbered: by its own number, or for
// one written without, as the one before it plus one (`last` carries the
// number over from file to file). Damaged lines are skipped, each with a
// warning. False when the file exists and cannot be read.
bool readEntries(const QString &path, qint64 *last, ReadResult *result)
{
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        result->code = ErrorCode::BadFile;
        result->message = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        if (lines.at(i).trimmed().isEmpty())
            continue;
        QString why;
        Entry entry = parseEntry(lines.at(i), &why);
        if (!why.isEmpty()) {
            result->warnings << QStringLiteral("%1 line %2: damaged entry skipped (%3)").arg(path).arg(i + 1).arg(why);
            continue;
        }
        if (entry.index == 0)
            entry.index = *last + 1;
        *last = entry.index;
        result->entries.append(entry);
    }
    return true;
}

// What the end of a file says about the numbering: the number of its last
// numbered entry (0: none there) and how many unnumbered ones follow it.
struct Tail
{
    qint64 lastNumbered = 0;
    qint64 unnumberedAfter = 0;
    bool whole = true; // the part read was the whole file
};

Tail readTail(const QString &path)
{
    Tail tail;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return tail;
    const qint64 start = qMax<qint64>(0, file.size() - tailBytes);
    tail.whole = start == 0;
    if (!file.seek(start))
        return tail;
    QList<QByteArray> lines = file.readAll().split('\n');
    if (!tail.whole)
        lines.removeFirst(); // most likely the end of a line cut by the seek
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        if (lines.at(i).trimmed().isEmpty())
            continue;
        QString why;
        const Entry entry = parseEntry(lines.at(i), &why);
        if (!why.isEmpty())
            continue;
        if (entry.index > 0) {
            tail.lastNumbered = entry.index;
            return tail;
        }
        ++tail.unnumberedAfter;
    }
    return tail;
}

// The number of the newest entry (0: none), found at the end of the files:
// only a history that holds no numbered entry near its end is read whole,
// as happens once, when the first numbered entry joins older ones.
qint64 lastNumber(const QString &path)
{
    const Tail current = readTail(path);
    if (current.lastNumbered > 0)
        return current.lastNumbered + current.unnumberedAfter;
    const Tail previous = current.whole ? readTail(previousPath(path)) : Tail{0, 0, false};
    if (previous.lastNumbered > 0)
        return previous.lastNumbered + previous.unnumberedAfter + current.unnumberedAfter;
    if (previous.whole)
        return previous.unnumberedAfter + current.unnumberedAfter;
    ReadResult all;
    qint64 last = 0;
    readEntries(previousPath(path), &last, &all);
    readEntries(path, &last, &all);
    return last;
}

// One write of the whole line on a file opened for appending, then the
// line is forced to the disk. With O_APPEND a single write to a regular
// file is not interleaved with another process's.
bool writeDurably(const QString &path, const QByteArray &line, QString *error)
{
#if defined(Q_OS_WIN)
    const int fd = _wopen(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()),
                          _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const int written = _write(fd, line.constData(), unsigned(line.size()));
    const bool ok = written == line.size() && _commit(fd) == 0;
    const int savedErrno = errno;
    _close(fd);
#else
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    ssize_t written = 0;
    do {
        written = ::write(fd, line.constData(), size_t(line.size()));
    } while (written < 0 && errno == EINTR);
    const bool ok = written == line.size() && ::fsync(fd) == 0;
    const int savedErrno = errno;
    ::close(fd);
#endif
    if (!ok)
        *error = written >= 0 && written < line.size() ? QStringLiteral("only part of the entry was written (disk full?)")
                                                       : QString::fromLocal8Bit(std::strerror(savedErrno));
    return ok;
}

} // namespace

QString defaultPath()
{
    const QString overridden = qEnvironmentVariable("HALVERO_HISTORY_FILE");
    if (!overridden.isEmpty())
        return overridden;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return data.isEmpty() ? QString() : data + QStringLiteral("/halvero/history.jsonl");
}

bool disabledByEnvironment()
{
    const QString value = qEnvironmentVariable("HALVERO_HISTORY").trimmed().toLower();
    return value == QLatin1String("off") || value == QLatin1String("0") || value == QLatin1String("no")
           || value == QLatin1String("false");
}

QString previousPath(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix();
    if (suffix.isEmpty())
        return path + QStringLiteral(".1");
    return path.chopped(suffix.size() + 1) + QStringLiteral(".1.") + suffix;
}

QJsonObject makeEntry(const BoardConfig &config, const QString &event, const QString &phase, const QString &tool,
                      const QDateTime &time)
{
    QJsonObject entry = configToJson(config);
    entry.insert(QStringLiteral("event"), event);
    entry.insert(QStringLiteral("phase"), phase);
    entry.insert(QStringLiteral("tool"), tool);
    entry.insert(QStringLiteral("time"), time.toUTC().toString(Qt::ISODateWithMs));
    return entry;
}

HistoryFile::HistoryFile(const QString &path, qint64 rotateBytes)
    : m_path(path), m_rotateBytes(rotateBytes)
{
}

Result HistoryFile::append(const QJsonObject &entry)
{
    const auto fail = [](const QString &why) { return Result::failure(ErrorCode::History, why); };
    if (m_path.isEmpty())
        return fail(QStringLiteral("this system has no folder for user data (set HALVERO_HISTORY_FILE)"));
    // What is recorded must be restorable; anything else would only turn up
    // later as a damaged line.
    QString why;
    const Entry parsed = parseEntry(QJsonDocument(entry).toJson(QJsonDocument::Compact), &why);
    if (!why.isEmpty())
        return fail(QStringLiteral("not a complete entry: %1").arg(why));

    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QDir().mkpath(folder))
        return fail(QStringLiteral("cannot create the folder %1").arg(folder));
    // Threads of one program (halvero-cli provisioning many boards) take
    // turns here first: on some file systems (NFS) the lock on the file is
    // the process's, not the descriptor's, and would let two of them in.
    static std::timed_mutex appending;
    const std::unique_lock<std::timed_mutex> turn(appending, std::chrono::milliseconds(lockWaitMs));
    if (!turn.owns_lock())
        return fail(QStringLiteral("%1 is held by a write that does not end").arg(m_path));
    HistoryLock lock;
    if (!lock.lock(lockPath(m_path), true, lockWaitMs, &why))
        return fail(why);

    // Numbered under the lock, before a rotation moves the last entry away.
    QJsonObject numbered = entry;
    numbered.insert(keySeq, lastNumber(m_path) + 1);
    QByteArray line = QJsonDocument(numbered).toJson(QJsonDocument::Compact) + '\n';

    const qint64 size = QFileInfo(m_path).size();
    if (size > 0 && size + line.size() > m_rotateBytes) {
        const QString previous = previousPath(m_path);
        QFile::remove(previous);
        if (!QFile::rename(m_path, previous))
            return fail(QStringLiteral("cannot move the full history to %1").arg(previous));
        qCDebug(lcHistory).noquote() << "Full history moved to" << previous;
    } else if (size > 0) {
        // A line cut short by a crash stays a line of its own, skipped when
        // read, instead of swallowing this entry.
        QFile file(m_path);
        if (file.open(QIODevice::ReadOnly) && file.seek(size - 1) && file.read(1) != "\n")
            line.prepend('\n');
    }
    QString writeError;
    if (!writeDurably(m_path, line, &writeError))
        return fail(QStringLiteral("cannot write %1: %2").arg(m_path, writeError));
    qCDebug(lcHistory).noquote() << "Recorded" << parsed.event << parsed.phase << "in" << m_path;
    return Result();
}

ReadResult HistoryFile::read() const
{
    ReadResult result;
    if (m_path.isEmpty()) {
        result.code = ErrorCode::BadFile;
        result.message = QStringLiteral("this system has no folder for user data (set HALVERO_HISTORY_FILE)");
        return result;
    }
    // Without the lock a rotation could happen between the two files; if
    // the lock cannot be had, reading goes ahead anyway.
    HistoryLock lock;
    QString ignored;
    if (QFileInfo::exists(m_path))
        lock.lock(lockPath(m_path), false, lockWaitMs, &ignored);
    qint64 last = 0;
    for (const QString &path : {previousPath(m_path), m_path})
        if (!readEntries(path, &last, &result))
            return result;
    qCDebug(lcHistory).noquote() << "Read" << result.entries.size() << "entries," << result.warnings.size()
                                 << "damaged, from" << m_path;
    return result;
}

} // namespace ConfigHistory

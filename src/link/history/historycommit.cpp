// The grouped commit: a queue of entries waiting for the disk, drained by
// whichever waiting thread finds no commit under way, and the file work of
// one commit (lock, numbering, rotation, one durable write per file).
#include "historycommit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <vector>
#if defined(Q_OS_WIN)
#include <io.h>
#else
#include <unistd.h>
#endif

#include "confighistory.h"
#include "historylock.h"
#include "historyreader.h"

namespace ConfigHistory {

Q_LOGGING_CATEGORY(lcHistory, "halvero.link.history")

namespace {

Result failure(const QString &why)
{
    return Result::failure(ErrorCode::History, why);
}

// The number of the newest entry (0: none). Only entries written without
// numbers, by older versions, make this read further than the last line.
qint64 lastNumber(const QString &path)
{
    HistoryReader reader(path);
    reader.setLocking(false); // the caller holds the exclusive lock
    reader.setChangesWanted(false);
    if (!reader.start().ok())
        return 0;
    const QList<ListedEntry> newest = reader.next(1);
    return newest.isEmpty() ? 0 : newest.first().entry.index;
}

// An entry on its way to the disk. Its thread waits until `done`; the
// commit that took it fills in `result` first.
struct Waiting
{
    QString path;
    qint64 rotateBytes = 0;
    QJsonObject entry;
    Result result;
    bool done = false;
};
using Batch = std::vector<std::shared_ptr<Waiting>>;

// Lines of one file that go out with one write, and the entries they hold.
class Chunk
{
public:
    void add(const std::shared_ptr<Waiting> &waiting, const QByteArray &line)
    {
        m_lines += line;
        m_entries.push_back(waiting);
    }
    qint64 size() const { return m_lines.size(); }
    bool isEmpty() const { return m_entries.empty(); }
    void prepend(char c) { m_lines.prepend(c); }

    // True when the lines are on the disk; otherwise every entry of the
    // chunk carries the failure.
    bool write(const QString &path)
    {
        if (m_entries.empty()) {
            m_lines.clear();
            return true;
        }
        QString why;
        const bool ok = writeDurably(path, m_lines, &why);
        for (const std::shared_ptr<Waiting> &waiting : m_entries)
            waiting->result = ok ? Result() : failure(QStringLiteral("cannot write %1: %2").arg(path, why));
        m_lines.clear();
        m_entries.clear();
        return ok;
    }

private:
    QByteArray m_lines;
    Batch m_entries;
};

void failAll(const Batch &entries, size_t from, const Result &result)
{
    for (size_t i = from; i < entries.size(); ++i)
        entries[i]->result = result;
}

// The entries of one file, in the order they came: numbered on from the
// file's last entry, in as few writes as rotation allows.
void commitFile(const QString &path, const Batch &entries)
{
    HistoryLock lock;
    QString why;
    if (!lock.lock(lockPathOf(path), true, lockWaitMs, &why)) {
        failAll(entries, 0, failure(why));
        return;
    }
    // Looked at under the lock: outside it, another program's rotation may
    // have the file away for a moment.
    if (const QFileInfo info(path); info.exists() && !info.isFile()) {
        failAll(entries, 0, failure(QStringLiteral("%1 is not a regular file: it cannot hold the history").arg(path)));
        return;
    }
    // Numbered under the lock, before a rotation moves the last entry away.
    qint64 number = lastNumber(path);
    qint64 size = QFileInfo(path).size();
    Chunk chunk;
    // A line cut short by a crash stays a line of its own, skipped when
    // read, instead of swallowing the first of these entries.
    if (size > 0) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly) && file.seek(size - 1) && file.read(1) != "\n")
            chunk.prepend('\n');
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        QJsonObject numbered = entries[i]->entry;
        numbered.insert(keySeq, number + 1);
        const QByteArray line = QJsonDocument(numbered).toJson(QJsonDocument::Compact) + '\n';
        const qint64 filled = size + chunk.size();
        if (filled > 0 && filled + line.size() > entries[i]->rotateBytes) {
            // What is waiting goes into the full file before it is moved.
            if (!chunk.write(path)) {
                failAll(entries, i, entries[i - 1]->result);
                return;
            }
            const QString previous = previousPath(path);
            QFile::remove(previous);
            if (!QFile::rename(path, previous)) {
                failAll(entries, i, failure(QStringLiteral("cannot move the full history to %1").arg(previous)));
                return;
            }
            qCDebug(lcHistory).noquote() << "Full history moved to" << previous;
            size = 0;
        }
        chunk.add(entries[i], line);
        ++number;
    }
    chunk.write(path);
}

// The program's queue of entries waiting for the disk. One thread at a time
// commits: on some file systems (NFS) the lock beside the file is the
// process's, not the descriptor's, and would let two threads of one
// program in at once.
struct Queue
{
    std::mutex mutex;
    std::condition_variable settled; // a commit has ended
    Batch waiting;
    bool committing = false;
};

Queue &queue()
{
    static Queue theQueue;
    return theQueue;
}

// Every entry of the batch, each file's entries together, in the order
// they came.
void commitBatch(const Batch &batch)
{
    QStringList paths;
    for (const std::shared_ptr<Waiting> &waiting : batch)
        if (!paths.contains(waiting->path))
            paths << waiting->path;
    for (const QString &path : paths) {
        Batch entries;
        for (const std::shared_ptr<Waiting> &waiting : batch)
            if (waiting->path == path)
                entries.push_back(waiting);
        commitFile(path, entries);
    }
}

} // namespace

// One write of whole lines on a file opened for appending, then forced to
// the disk. With O_APPEND a single write to a regular file is not
// interleaved with another process's; under the lock the file ends where
// the lines begin, so lines cut short (a full disk) or not forced to the
// disk are cut off again: every line is there whole, or none is.
bool writeDurably(const QString &path, const QByteArray &lines, QString *error)
{
    const auto systemError = [](int code) { return QString::fromLocal8Bit(std::strerror(code)); };
#if defined(Q_OS_WIN)
    const int fd = _wopen(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()),
                          _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        *error = systemError(errno);
        return false;
    }
    struct _stat64 status;
    if (_fstat64(fd, &status) != 0 || (status.st_mode & _S_IFMT) != _S_IFREG) {
        _close(fd);
        *error = QStringLiteral("it is not a regular file");
        return false;
    }
    const int written = _write(fd, lines.constData(), unsigned(lines.size()));
    const bool ok = written == lines.size() && _commit(fd) == 0;
    const int savedErrno = errno;
    if (!ok && written > 0)
        _chsize_s(fd, status.st_size);
    _close(fd);
#else
    // Without waiting: a pipe put in the history's place has no reader.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0) {
        *error = systemError(errno);
        return false;
    }
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        *error = QStringLiteral("it is not a regular file");
        return false;
    }
    ssize_t written = 0;
    do {
        written = ::write(fd, lines.constData(), size_t(lines.size()));
    } while (written < 0 && errno == EINTR);
    const bool ok = written == lines.size() && ::fsync(fd) == 0;
    const int savedErrno = errno;
    if (!ok && written > 0 && ::ftruncate(fd, status.st_size) == 0)
        ::fsync(fd);
    ::close(fd);
#endif
    if (!ok)
        *error = written >= 0 && written < lines.size()
                     ? QStringLiteral("only part of the entry could be written (disk full?)")
                     : systemError(savedErrno);
    return ok;
}

Result commitEntry(const QString &path, qint64 rotateBytes, const QJsonObject &entry)
{
    const auto mine = std::make_shared<Waiting>();
    mine->path = path;
    mine->rotateBytes = rotateBytes;
    mine->entry = entry;

    Queue &q = queue();
    std::unique_lock<std::mutex> lock(q.mutex);
    q.waiting.push_back(mine);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(lockWaitMs);
    bool pastDeadline = false;
    while (!mine->done) {
        if (!q.committing) {
            // This thread commits whatever waits, its own entry among it.
            q.committing = true;
            Batch batch;
            batch.swap(q.waiting);
            lock.unlock();
            commitBatch(batch);
            lock.lock();
            for (const std::shared_ptr<Waiting> &waiting : batch)
                waiting->done = true;
            q.committing = false;
            q.settled.notify_all();
        } else if (pastDeadline) {
            // Taken by a commit already: it ends, as its lock wait is bounded.
            q.settled.wait(lock);
        } else if (q.settled.wait_until(lock, deadline) == std::cv_status::timeout && !mine->done) {
            pastDeadline = true;
            const auto queued = std::find(q.waiting.begin(), q.waiting.end(), mine);
            if (queued != q.waiting.end()) {
                q.waiting.erase(queued);
                return failure(QStringLiteral("%1 is held by a write that does not end").arg(path));
            }
        }
    }
    return mine->result;
}

} // namespace ConfigHistory

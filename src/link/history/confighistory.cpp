// The history file: where it lives, appending an entry so that it survives a
// crash and never mixes with another program's entry, and reading it back
// past damaged lines (historyreader.cpp reads it).
#include "confighistory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#if defined(Q_OS_WIN)
#include <io.h>
#else
#include <unistd.h>
#endif

#include "historylock.h"
#include "historyreader.h"

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

QString changesText(const Entry &entry, const EntryChanges &changes)
{
    QStringList parts;
    for (const FieldDifference &d : changes.differences)
        parts << QStringLiteral("%1 %2->%3").arg(d.field.path, formatValue(d.field, d.board), formatValue(d.field, d.file));
    const QString changed = parts.join(QStringLiteral(", "));
    QString text = changed;
    if (entry.phase == phaseAfter && changes.compared && changed.isEmpty())
        text = QStringLiteral("unchanged");
    else if (entry.phase == phaseBefore && !changed.isEmpty())
        text = QStringLiteral("since its last entry: ") + changed;
    else if (entry.phase == phaseIntent && changes.compared)
        text = QStringLiteral("to write: ") + (changed.isEmpty() ? QStringLiteral("no change") : changed);
    if (!changes.outcomeUnknown)
        return text;
    return text.isEmpty() ? QStringLiteral("outcome unknown") : QStringLiteral("outcome unknown; ") + text;
}

namespace {

// What the history did: each entry recorded, each rotation, each read.
Q_LOGGING_CATEGORY(lcHistory, "halvero.history")

// An entry's number, kept in the entry so that it still names the same
// entry after a rotation has dropped older ones.
const QString keySeq = QStringLiteral("seq");

} // namespace

Entry parseEntry(const QByteArray &line, QString *why)
{
    Entry entry;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        *why = QStringLiteral("not JSON: %1")
                   .arg(error.error != QJsonParseError::NoError ? error.errorString() : QStringLiteral("no object"));
        return entry;
    }
    const ConfigLoad load = parseConfigObject(document.object());
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
    entry.writeId = entry.json.value(keyWriteId).toString();
    if (entry.event.isEmpty() || entry.tool.isEmpty() || entry.time.isEmpty()
        || (entry.phase != phaseBefore && entry.phase != phaseIntent && entry.phase != phaseAfter))
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

namespace {

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

// One write of the whole line on a file opened for appending, then the
// line is forced to the disk. With O_APPEND a single write to a regular
// file is not interleaved with another process's; under the lock the file
// ends where the line begins, so a line cut short (a full disk) or not
// forced to the disk is cut off again: a line is there whole or not at all.
bool writeDurably(const QString &path, const QByteArray &line, QString *error)
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
    const int written = _write(fd, line.constData(), unsigned(line.size()));
    const bool ok = written == line.size() && _commit(fd) == 0;
    const int savedErrno = errno;
    if (!ok && written > 0)
        _chsize_s(fd, status.st_size);
    _close(fd);
#else
    // Without waiting: a pipe put in the history's place has no reader.
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK,
                          0644);
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
        written = ::write(fd, line.constData(), size_t(line.size()));
    } while (written < 0 && errno == EINTR);
    const bool ok = written == line.size() && ::fsync(fd) == 0;
    const int savedErrno = errno;
    if (!ok && written > 0 && ::ftruncate(fd, status.st_size) == 0)
        ::fsync(fd);
    ::close(fd);
#endif
    if (!ok)
        *error = written >= 0 && written < line.size() ? QStringLiteral("only part of the entry could be written (disk full?)")
                                                       : systemError(savedErrno);
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

    const QFileInfo info(m_path);
    if (info.exists() && !info.isFile())
        return fail(QStringLiteral("%1 is not a regular file: it cannot hold the history").arg(m_path));
    const QString folder = info.absolutePath();
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
    if (!lock.lock(lockPathOf(m_path), true, lockWaitMs, &why))
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
    HistoryReader reader(m_path);
    reader.setChangesWanted(false);
    if (const Result started = reader.start(); !started.ok()) {
        static_cast<Result &>(result) = started;
        return result;
    }
    while (!reader.atEnd()) {
        for (ListedEntry &listed : reader.next(1024))
            result.entries.append(std::move(listed.entry));
        result.warnings << reader.takeWarnings();
    }
    std::reverse(result.entries.begin(), result.entries.end());
    std::reverse(result.warnings.begin(), result.warnings.end());
    qCDebug(lcHistory).noquote() << "Read" << result.entries.size() << "entries," << result.warnings.size()
                                 << "damaged, from" << m_path;
    return result;
}

} // namespace ConfigHistory

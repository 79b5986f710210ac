// The history file: where it lives, appending an entry so that it survives a
// crash and never mixes with another program's entry, and reading it back
// past damaged lines.
#include "confighistory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QLockFile>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#if defined(Q_OS_WIN)
#include <io.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

namespace ConfigHistory {

namespace {

// What the history did: each entry recorded, each rotation, each read.
Q_LOGGING_CATEGORY(lcHistory, "halvero.history")

// Another program appends in well under a millisecond; waiting longer than
// this means its lock is stuck, and the operator should hear about it.
constexpr int lockWaitMs = 5000;

QString lockPath(const QString &path)
{
    return path + QStringLiteral(".lock");
}

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
    return entry;
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

bool HistoryFile::append(const QJsonObject &entry, QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (m_path.isEmpty())
        return fail(QStringLiteral("this system has no folder for user data (set HALVERO_HISTORY_FILE)"));
    QByteArray line = QJsonDocument(entry).toJson(QJsonDocument::Compact);
    // What is recorded must be restorable; anything else would only turn up
    // later as a damaged line.
    QString why;
    const Entry parsed = parseEntry(line, &why);
    if (!why.isEmpty())
        return fail(QStringLiteral("not a complete entry: %1").arg(why));
    line += '\n';

    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QDir().mkpath(folder))
        return fail(QStringLiteral("cannot create the folder %1").arg(folder));
    QLockFile lock(lockPath(m_path));
    if (!lock.tryLock(lockWaitMs))
        return fail(lock.error() == QLockFile::LockFailedError
                        ? QStringLiteral("%1 is held by another program").arg(lockPath(m_path))
                        : QStringLiteral("cannot create %1").arg(lockPath(m_path)));

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
    return true;
}

ReadResult HistoryFile::read() const
{
    ReadResult result;
    if (m_path.isEmpty()) {
        result.error = QStringLiteral("this system has no folder for user data (set HALVERO_HISTORY_FILE)");
        return result;
    }
    // Without the lock a rotation could happen between the two files; if
    // the lock cannot be had, reading goes ahead anyway.
    QLockFile lock(lockPath(m_path));
    if (QFileInfo::exists(m_path))
        lock.tryLock(lockWaitMs);
    int index = 0;
    for (const QString &path : {previousPath(m_path), m_path}) {
        QFile file(path);
        if (!file.exists())
            continue;
        if (!file.open(QIODevice::ReadOnly)) {
            result.error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
            return result;
        }
        const QList<QByteArray> lines = file.readAll().split('\n');
        for (int i = 0; i < lines.size(); ++i) {
            if (lines.at(i).trimmed().isEmpty())
                continue;
            QString why;
            Entry entry = parseEntry(lines.at(i), &why);
            if (!why.isEmpty()) {
                result.warnings << QStringLiteral("%1 line %2: damaged entry skipped (%3)").arg(path).arg(i + 1).arg(why);
                continue;
            }
            entry.index = ++index;
            result.entries.append(entry);
        }
    }
    qCDebug(lcHistory).noquote() << "Read" << result.entries.size() << "entries," << result.warnings.size() << "damaged, from"
                       << m_path;
    return result;
}

} // namespace ConfigHistory

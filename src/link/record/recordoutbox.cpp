// The outbox file: appending under its lock, reading it, and rewriting it
// without the lines the record has taken.
#include "recordoutbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

#include <chrono>
#include <mutex>

#include "confighistory.h"
#include "historycommit.h"
#include "historylock.h"
#include "recordconnection.h"

namespace Record {

namespace {

// Threads of one program take turns before the file lock, which on some
// file systems is the process's and would let two of them in.
std::timed_mutex &turns()
{
    static std::timed_mutex mutex;
    return mutex;
}

std::mutex lostMutex;
int lostCount = 0;
QString lostWhy;

Result failure(const QString &why)
{
    return Result::failure(ErrorCode::Record, why);
}

// The program's turn and the lock beside the outbox, for a change to it; the
// outbox is looked at under them (a regular file, or none yet), so that
// another program's rewrite never has it away in between.
Result lockToChange(const QString &path, std::unique_lock<std::timed_mutex> *turn, ConfigHistory::HistoryLock *lock)
{
    *turn = std::unique_lock<std::timed_mutex>(turns(), std::chrono::milliseconds(ConfigHistory::lockWaitMs));
    QString why;
    if (!turn->owns_lock() || !lock->lock(ConfigHistory::lockPathOf(path), true, ConfigHistory::lockWaitMs, &why))
        return failure(
            QStringLiteral("cannot lock %1: %2").arg(path, why.isEmpty() ? QStringLiteral("held too long") : why));
    if (const QFileInfo info(path); info.exists() && !info.isFile())
        return failure(
            QStringLiteral("%1 is not a regular file: it cannot hold the entries that wait for the record").arg(path));
    return Result();
}

void addAppended(const QString &historyPath, const QJsonObject &entry)
{
    const Result added = Outbox(historyPath).add(entry);
    if (added.ok())
        return;
    qCWarning(lcRecord).noquote() << added.message;
    const std::lock_guard<std::mutex> lock(lostMutex);
    ++lostCount;
    lostWhy = added.message;
}

} // namespace

QString outboxPathOf(const QString &historyPath)
{
    return historyPath + QStringLiteral(".outbox");
}

Outbox::Outbox(const QString &historyPath)
    : m_path(outboxPathOf(historyPath))
{}

void Outbox::forwardEveryEntry()
{
    ConfigHistory::setAppendedHook(&addAppended);
}

QString Outbox::takeLostSentence()
{
    const std::lock_guard<std::mutex> lock(lostMutex);
    if (lostCount == 0)
        return QString();
    const QString sentence =
        QStringLiteral("%1 %2 in the local history only, not forwarded to the record: %3")
            .arg(lostCount)
            .arg(lostCount == 1 ? QStringLiteral("entry is") : QStringLiteral("entries are"), lostWhy);
    lostCount = 0;
    lostWhy.clear();
    return sentence;
}

Result Outbox::add(const QJsonObject &entry)
{
    std::unique_lock<std::timed_mutex> turn;
    ConfigHistory::HistoryLock lock;
    if (const Result locked = lockToChange(m_path, &turn, &lock); !locked.ok())
        return locked;
    const QByteArray line = QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n';
    QString why;
    if (!ConfigHistory::writeDurably(m_path, line, &why))
        return failure(QStringLiteral("cannot write %1: %2").arg(m_path, why));
    return Result();
}

namespace {

Result readLines(const QString &path, QList<QByteArray> *lines)
{
    lines->clear();
    QFile file(path);
    if (!file.exists())
        return Result();
    if (!QFileInfo(path).isFile())
        return failure(QStringLiteral("%1 is not a regular file").arg(path));
    if (!file.open(QIODevice::ReadOnly))
        return failure(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    const QByteArray all = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return failure(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    for (const QByteArray &line : all.split('\n'))
        if (!line.trimmed().isEmpty())
            lines->append(line);
    return Result();
}

} // namespace

Result Outbox::read(QList<QByteArray> *lines) const
{
    ConfigHistory::HistoryLock lock;
    QString why;
    if (QFileInfo::exists(m_path)
        && !lock.lock(ConfigHistory::lockPathOf(m_path), false, ConfigHistory::lockWaitMs, &why))
        return failure(QStringLiteral("cannot lock %1: %2").arg(m_path, why));
    return readLines(m_path, lines);
}

Result Outbox::remove(const QSet<QByteArray> &lines)
{
    if (lines.isEmpty())
        return Result();
    std::unique_lock<std::timed_mutex> turn;
    ConfigHistory::HistoryLock lock;
    if (const Result locked = lockToChange(m_path, &turn, &lock); !locked.ok())
        return locked;
    QList<QByteArray> now;
    if (const Result read = readLines(m_path, &now); !read.ok())
        return read;
    QByteArray kept;
    for (const QByteArray &line : now)
        if (!lines.contains(line))
            kept += line + '\n';
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return failure(QStringLiteral("cannot rewrite %1: %2").arg(m_path, file.errorString()));
    if (file.write(kept) != kept.size() || !file.commit())
        return failure(QStringLiteral("cannot rewrite %1: %2").arg(m_path, file.errorString()));
    return Result();
}

} // namespace Record

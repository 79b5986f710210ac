// The mark, the entries set aside and the outbox of earlier versions, each a
// small file beside the history, read and replaced only when it is a regular
// file (a link or a device is never followed), and always whole: a new one
// is on the disk before it takes the old one's name.
#include "recordpending.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include "confighistory.h"
#include "historylock.h"

namespace Record {

namespace {

// A file beside the history larger than this is none of ours: a history
// rotates at 1 MiB, and a legacy outbox of this size would be years of
// writes.
constexpr qint64 largestSideFile = 64 * 1024 * 1024;
// No history entry comes near this.
constexpr qint64 longestLine = 1024 * 1024;

Result failure(const QString &why)
{
    return Result::failure(ErrorCode::Record, why);
}

// Regular, or not there at all; a symbolic link is not followed.
Result checkRegular(const QString &path, const QString &holds)
{
    const QFileInfo info(path);
    if (info.isSymLink() || (info.exists() && !info.isFile()))
        return failure(QStringLiteral("%1 is not a regular file: it cannot hold %2").arg(path, holds));
    return Result();
}

// The lines of a small file beside the history, none when there is none.
Result readSideFile(const QString &path, const QString &holds, QList<QByteArray> *lines)
{
    lines->clear();
    if (const Result regular = checkRegular(path, holds); !regular.ok())
        return regular;
    QFile file(path);
    if (!file.exists())
        return Result();
    if (file.size() > largestSideFile)
        return failure(QStringLiteral("%1 is larger than %2 MiB: it is not read").arg(path).arg(largestSideFile >> 20));
    if (!file.open(QIODevice::ReadOnly))
        return failure(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    const QByteArray all = file.read(largestSideFile + 1);
    if (file.error() != QFileDevice::NoError)
        return failure(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    for (const QByteArray &line : all.split('\n'))
        if (!line.trimmed().isEmpty())
            lines->append(line.trimmed());
    return Result();
}

// Replaces the file with `content` (removes it when empty), after checking
// that what is there is a regular file.
Result replaceSideFile(const QString &path, const QString &holds, const QByteArray &content)
{
    if (const Result regular = checkRegular(path, holds); !regular.ok())
        return regular;
    if (content.isEmpty()) {
        if (QFile::exists(path) && !QFile::remove(path))
            return failure(QStringLiteral("cannot remove %1").arg(path));
        return Result();
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failure(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    if (file.write(content) != content.size() || !file.commit())
        return failure(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    return Result();
}

struct Mark
{
    QString id;
    qint64 seq = 0;
};

Result readMark(const QString &historyPath, Mark *mark)
{
    QList<QByteArray> lines;
    if (const Result read = readSideFile(markPathOf(historyPath), QStringLiteral("the record's mark"), &lines);
        !read.ok())
        return read;
    *mark = Mark();
    if (lines.isEmpty())
        return Result();
    const QJsonObject json = QJsonDocument::fromJson(lines.first()).object();
    mark->id = json.value(QStringLiteral("id")).toString();
    mark->seq = json.value(QStringLiteral("seq")).toInteger();
    if (mark->id.isEmpty())
        return failure(QStringLiteral("%1 is damaged: remove it, and 'halvero-cli record push --history' forwards "
                                      "every entry the record lacks")
                           .arg(markPathOf(historyPath)));
    return Result();
}

struct LineIds
{
    QString id;
    qint64 seq = 0;
};

LineIds idsOf(const QByteArray &line)
{
    const QJsonObject json = QJsonDocument::fromJson(line).object();
    return {json.value(QStringLiteral("id")).toString(), json.value(ConfigHistory::keySeq).toInteger()};
}

// The history's lines, the previous file's first, read under its lock so
// that no rotation is half done.
Result historyLines(const QString &historyPath, QList<QByteArray> *lines)
{
    lines->clear();
    ConfigHistory::HistoryLock lock;
    QString why;
    if (!lock.lock(ConfigHistory::lockPathOf(historyPath), false, ConfigHistory::lockWaitMs, &why))
        return failure(QStringLiteral("cannot lock %1: %2").arg(historyPath, why));
    for (const QString &path : {ConfigHistory::previousPath(historyPath), historyPath}) {
        const QFileInfo info(path);
        if (!info.exists())
            continue;
        if (!info.isFile())
            return failure(QStringLiteral("%1 is not a regular file: its entries cannot be forwarded").arg(path));
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return failure(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
        // A line longer than any entry (a file of NULs, say) is passed over
        // a piece at a time, never held whole.
        bool overlong = false;
        while (!file.atEnd()) {
            const QByteArray piece = file.readLine(longestLine);
            const bool ends = piece.endsWith('\n');
            if (!overlong && ends) {
                if (const QByteArray line = piece.trimmed(); !line.isEmpty())
                    lines->append(line);
            }
            overlong = !ends && (overlong || piece.size() >= longestLine - 1);
            if (!ends && !overlong && file.atEnd())
                if (const QByteArray line = piece.trimmed(); !line.isEmpty())
                    lines->append(line);
        }
        if (file.error() != QFileDevice::NoError)
            return failure(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    }
    return Result();
}

} // namespace

QString markPathOf(const QString &historyPath)
{
    return historyPath + QStringLiteral(".forwarded");
}

QString refusedPathOf(const QString &historyPath)
{
    return historyPath + QStringLiteral(".refused");
}

QString legacyOutboxPathOf(const QString &historyPath)
{
    return historyPath + QStringLiteral(".outbox");
}

Pending pending(const QString &historyPath, bool wholeHistory)
{
    Pending result;
    Mark mark;
    QList<QByteArray> all;
    if (const Result read = readMark(historyPath, &mark); !read.ok()) {
        static_cast<Result &>(result) = read;
        return result;
    }
    if (const Result read = historyLines(historyPath, &all); !read.ok()) {
        static_cast<Result &>(result) = read;
        return result;
    }
    qsizetype from = 0;
    result.markId = mark.id;
    if (!wholeHistory && !mark.id.isEmpty()) {
        // The mark's own line, looked for from the newest: everything after
        // it waits. Gone (rotated away): every entry numbered after it.
        from = -1;
        for (qsizetype i = all.size() - 1; i >= 0 && from < 0; --i)
            if (all.at(i).contains(mark.id.toUtf8()) && idsOf(all.at(i)).id == mark.id)
                from = i + 1;
        result.markFound = from >= 0;
        if (from < 0) {
            // A history begun anew numbers from 1 again: all of it waits.
            from = all.isEmpty() || idsOf(all.last()).seq <= mark.seq ? 0 : all.size();
            for (qsizetype i = 0; i < all.size() && from == all.size(); ++i)
                if (idsOf(all.at(i)).seq > mark.seq)
                    from = i;
            if (!all.isEmpty())
                result.warnings << QStringLiteral("the last entry forwarded to the record is no longer in %1: the "
                                                  "entries numbered after %2 are forwarded")
                                       .arg(historyPath)
                                       .arg(mark.seq);
        }
    }
    result.lines = all.mid(from);

    QList<QByteArray> refusedLines;
    if (const Result read =
            readSideFile(refusedPathOf(historyPath), QStringLiteral("the entries the record refused"), &refusedLines);
        !read.ok()) {
        static_cast<Result &>(result) = read;
        return result;
    }
    for (const QByteArray &line : refusedLines) {
        const QJsonObject json = QJsonDocument::fromJson(line).object();
        result.refused.append({json.value(QStringLiteral("id")).toString(),
                               json.value(QStringLiteral("line")).toString().toUtf8(),
                               json.value(QStringLiteral("reason")).toString()});
    }
    if (const Result read = readSideFile(legacyOutboxPathOf(historyPath),
                                         QStringLiteral("the entries that wait for the record"), &result.legacy);
        !read.ok())
        result.warnings << read.message + QStringLiteral(": its entries are forwarded from the history instead");
    return result;
}

int waitingCount(const QString &historyPath)
{
    const Pending waiting = pending(historyPath);
    if (!waiting.ok())
        return -1;
    return int(waiting.lines.size() + waiting.refused.size() + waiting.legacy.size());
}

Result advanceMark(const QString &historyPath, const QString &from, const QString &lastId, qint64 lastSeq)
{
    if (lastId.isEmpty())
        return Result();
    const QString path = markPathOf(historyPath);
    ConfigHistory::HistoryLock lock;
    QString why;
    if (!lock.lock(ConfigHistory::lockPathOf(path), true, ConfigHistory::lockWaitMs, &why))
        return failure(QStringLiteral("cannot lock %1: %2").arg(path, why));
    Mark now;
    if (const Result read = readMark(historyPath, &now); !read.ok() && QFileInfo::exists(path))
        return read;
    if (!now.id.isEmpty() && now.id != from && lastSeq <= now.seq)
        return Result();
    const QByteArray content =
        QJsonDocument(QJsonObject{{QStringLiteral("id"), lastId}, {QStringLiteral("seq"), lastSeq}})
            .toJson(QJsonDocument::Compact)
        + '\n';
    return replaceSideFile(path, QStringLiteral("the record's mark"), content);
}

Result keepRefused(const QString &historyPath, const QList<RefusedEntry> &refused, const QSet<QString> &stored)
{
    const QString path = refusedPathOf(historyPath);
    const QString holds = QStringLiteral("the entries the record refused");
    ConfigHistory::HistoryLock lock;
    QString why;
    if (!lock.lock(ConfigHistory::lockPathOf(path), true, ConfigHistory::lockWaitMs, &why))
        return failure(QStringLiteral("cannot lock %1: %2").arg(path, why));
    QList<QByteArray> kept;
    if (const Result read = readSideFile(path, holds, &kept); !read.ok())
        return read;
    QSet<QString> listed;
    QByteArray content;
    for (const RefusedEntry &entry : refused) {
        listed.insert(entry.id);
        content += QJsonDocument(QJsonObject{{QStringLiteral("id"), entry.id},
                                             {QStringLiteral("reason"), entry.reason},
                                             {QStringLiteral("line"), QString::fromUtf8(entry.line)}})
                       .toJson(QJsonDocument::Compact)
                   + '\n';
    }
    for (const QByteArray &line : kept) {
        const QString id = QJsonDocument::fromJson(line).object().value(QStringLiteral("id")).toString();
        if (!listed.contains(id) && !stored.contains(id)) {
            listed.insert(id);
            content += line + '\n';
        }
    }
    return replaceSideFile(path, holds, content);
}

Result dropLegacyOutbox(const QString &historyPath)
{
    return replaceSideFile(legacyOutboxPathOf(historyPath), QStringLiteral("the entries that wait for the record"),
                           QByteArray());
}

} // namespace Record

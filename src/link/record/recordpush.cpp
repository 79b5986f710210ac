// Pushing the outbox: one statement per batch, the columns taken from each
// entry by the server, so that a row's columns and its entry never disagree.
#include "recordpush.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "confighistory.h"
#include "recordconnection.h"
#include "recordoutbox.h"

namespace Record {

QString waitingSentence(int waiting)
{
    return waiting == 1 ? QStringLiteral("1 entry waits to be forwarded to the record")
                        : QStringLiteral("%1 entries wait to be forwarded to the record").arg(waiting);
}

QJsonObject checkedEntry(const QByteArray &line, QString *why)
{
    why->clear();
    const ConfigHistory::Entry entry = ConfigHistory::parseEntry(line, why);
    if (!why->isEmpty())
        return QJsonObject();
    for (const char *key : {"id", "station", "user"})
        if (entry.json.value(QLatin1String(key)).toString().isEmpty()) {
            *why = QStringLiteral("no \"%1\"").arg(QLatin1String(key));
            return QJsonObject();
        }
    if (!QDateTime::fromString(entry.time, Qt::ISODateWithMs).isValid()) {
        *why = QStringLiteral("\"time\" is no time");
        return QJsonObject();
    }
    if (ConfigHistory::normalSerial(entry.config.serial).isEmpty()) {
        *why = QStringLiteral("no serial number");
        return QJsonObject();
    }
    return entry.json;
}

Result store(Connection &connection, const QList<QJsonObject> &entries, int *stored)
{
    QJsonArray batch;
    for (const QJsonObject &entry : entries)
        batch.append(QJsonObject{
            {QStringLiteral("e"), entry},
            {QStringLiteral("s"), ConfigHistory::normalSerial(entry.value(QStringLiteral("serial")).toString())}});
    QSqlQuery query(connection.database());
    query.prepare(QStringLiteral(
        "INSERT INTO halvero_entries (id, write_id, run_id, station, login, tool, version, serial, product_code,"
        " event, phase, seq, written_at, entry)"
        " SELECT (x->'e'->>'id')::uuid, x->'e'->>'writeId', x->'e'->>'run', x->'e'->>'station', x->'e'->>'user',"
        " x->'e'->>'tool', coalesce(x->'e'->>'version', ''), x->>'s', coalesce(x->'e'->>'productCode', ''),"
        " x->'e'->>'event', x->'e'->>'phase', (x->'e'->>'seq')::bigint, (x->'e'->>'time')::timestamptz, x->'e'"
        " FROM jsonb_array_elements(?::jsonb) AS x"
        " ON CONFLICT (id) DO NOTHING"));
    query.addBindValue(QString::fromUtf8(QJsonDocument(batch).toJson(QJsonDocument::Compact)));
    if (!query.exec())
        return connection.failure(QStringLiteral("refused the entries"), query.lastError());
    *stored = query.numRowsAffected();
    return Result();
}

PushResult push(const Target &target, const QString &historyPath)
{
    PushResult result;
    Outbox outbox(historyPath);
    QList<QByteArray> lines;
    if (const Result read = outbox.read(&lines); !read.ok()) {
        static_cast<Result &>(result) = read;
        return result;
    }
    result.waiting = int(lines.size());
    if (lines.isEmpty())
        return result;

    Connection connection(target);
    if (const Result opened = connection.open(); !opened.ok()) {
        static_cast<Result &>(result) = opened;
        return result;
    }
    for (qsizetype from = 0; from < lines.size(); from += pushBatch) {
        QSet<QByteArray> done;
        QList<QJsonObject> entries;
        for (qsizetype i = from; i < qMin(lines.size(), from + pushBatch); ++i) {
            QString why;
            const QJsonObject entry = checkedEntry(lines.at(i), &why);
            done.insert(lines.at(i));
            if (why.isEmpty())
                entries.append(entry);
            else
                result.warnings << QStringLiteral("line %1 of %2 is damaged (%3): left out of the record")
                                       .arg(i + 1)
                                       .arg(outbox.path(), why);
        }
        int stored = 0;
        if (!entries.isEmpty()) {
            if (const Result taken = store(connection, entries, &stored); !taken.ok()) {
                static_cast<Result &>(result) = taken;
                return result;
            }
        }
        result.offered += int(entries.size());
        result.stored += stored;
        qCDebug(lcRecord).noquote() << "Forwarded" << entries.size() << "entries," << stored << "new, to"
                                    << target.masked;
        // Stored now; should the outbox not shrink, the next push offers
        // them again and the record keeps them once.
        if (const Result removed = outbox.remove(done); !removed.ok()) {
            static_cast<Result &>(result) = removed;
            return result;
        }
    }
    // What waits now: entries other programs added meanwhile count too.
    if (const Result reread = outbox.read(&lines); reread.ok())
        result.waiting = int(lines.size());
    return result;
}

} // namespace Record

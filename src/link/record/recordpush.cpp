// Pushing what waits: one statement per batch, the columns taken from each
// entry by the server, so that a row's columns and its entry never disagree.
// A batch the server refuses is tried entry by entry, so that one entry it
// cannot take never holds back the others.
#include "recordpush.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

#include "confighistory.h"
#include "recordconnection.h"
#include "recordpending.h"

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
    qint64 affected = 0;
    const Result done = connection.exec(
        QStringLiteral(
            "INSERT INTO halvero_entries (id, write_id, run_id, station, login, tool, version, serial, product_code,"
            " event, phase, seq, written_at, entry)"
            " SELECT (x->'e'->>'id')::uuid, x->'e'->>'writeId', x->'e'->>'run', x->'e'->>'station', x->'e'->>'user',"
            " x->'e'->>'tool', coalesce(x->'e'->>'version', ''), x->>'s', coalesce(x->'e'->>'productCode', ''),"
            " x->'e'->>'event', x->'e'->>'phase', (x->'e'->>'seq')::bigint, (x->'e'->>'time')::timestamptz, x->'e'"
            " FROM jsonb_array_elements($1::jsonb) AS x"
            " ON CONFLICT (id) DO NOTHING"),
        {QString::fromUtf8(QJsonDocument(batch).toJson(QJsonDocument::Compact))}, nullptr,
        QStringLiteral("storing the entries"), &affected);
    *stored = int(affected);
    return done;
}

namespace {

struct Offer
{
    QByteArray line;
    QJsonObject entry;
};

QString nameOf(const QJsonObject &entry)
{
    return QStringLiteral("entry %1 of board %2 (%3)")
        .arg(entry.value(QStringLiteral("id")).toString(), entry.value(QStringLiteral("serial")).toString(),
             entry.value(QStringLiteral("time")).toString());
}

// Stores the offers; those the server refuses one by one come back in
// `refused`, the others are in the record. A failure that is not about an
// entry (a time-out, a broken connection, a missing grant) ends it.
Result storeEach(Connection &connection, const QList<Offer> &offers, PushResult *result, QList<RefusedEntry> *refused,
                 QSet<QString> *storedIds)
{
    if (offers.isEmpty())
        return Result();
    QList<QJsonObject> entries;
    for (const Offer &offer : offers)
        entries << offer.entry;
    int stored = 0;
    Result done = store(connection, entries, &stored);
    if (done.ok()) {
        result->offered += int(entries.size());
        result->stored += stored;
        for (const QJsonObject &entry : entries)
            storedIds->insert(entry.value(QStringLiteral("id")).toString());
        return done;
    }
    if (connection.lastFailure() != Failure::Refused)
        return done;
    qCDebug(lcRecord).noquote() << "A batch of" << entries.size() << "was refused; its entries go one by one";
    for (const Offer &offer : offers) {
        stored = 0;
        done = store(connection, {offer.entry}, &stored);
        const QString id = offer.entry.value(QStringLiteral("id")).toString();
        if (done.ok()) {
            ++result->offered;
            result->stored += stored;
            storedIds->insert(id);
        } else if (connection.lastFailure() == Failure::Refused) {
            refused->append({id, offer.line, done.message});
        } else {
            return done;
        }
    }
    return Result();
}

} // namespace

PushResult push(const Target &target, const QString &historyPath, const PushOptions &options)
{
    PushResult result;
    const Pending waiting = pending(historyPath, options.wholeHistory);
    if (!waiting.ok()) {
        static_cast<Result &>(result) = waiting;
        return result;
    }
    result.warnings = waiting.warnings;
    result.fromStart = !options.wholeHistory && waiting.markId.isEmpty() && !waiting.lines.isEmpty();
    result.waiting = int(waiting.lines.size() + waiting.refused.size() + waiting.legacy.size());
    if (result.waiting == 0)
        return result;

    Connection connection(target);
    if (options.deadlineMs > 0)
        connection.setDeadline(QDeadlineTimer(options.deadlineMs));
    connection.setStopFlag(options.stop);
    if (const Result opened = connection.open(); !opened.ok()) {
        static_cast<Result &>(result) = opened;
        return result;
    }
    const auto failed = [&](const Result &why) {
        static_cast<Result &>(result) = why;
        result.waiting = qMax(0, waitingCount(historyPath));
        return result;
    };

    // What earlier pushes set aside, and an earlier version's outbox, first.
    QList<RefusedEntry> refused;
    QSet<QString> storedIds;
    QList<Offer> offers;
    for (const RefusedEntry &entry : waiting.refused) {
        QString why;
        const QJsonObject json = checkedEntry(entry.line, &why);
        if (why.isEmpty())
            offers.append({entry.line, json});
        else
            refused.append(entry);
    }
    for (const QByteArray &line : waiting.legacy) {
        QString why;
        const QJsonObject json = checkedEntry(line, &why);
        if (why.isEmpty())
            offers.append({line, json});
    }
    if (const Result done = storeEach(connection, offers, &result, &refused, &storedIds); !done.ok())
        return failed(done);
    if (const Result kept = keepRefused(historyPath, refused, storedIds); !kept.ok())
        return failed(kept);
    if (!waiting.legacy.isEmpty())
        if (const Result dropped = dropLegacyOutbox(historyPath); !dropped.ok())
            result.warnings << dropped.message;

    // Then the history after the mark, batch by batch, the mark moved after
    // each commit.
    QString markId = waiting.markId;
    for (qsizetype from = 0; from < waiting.lines.size(); from += pushBatch) {
        offers.clear();
        QString lastId;
        qint64 lastSeq = 0;
        const qsizetype end = qMin(waiting.lines.size(), from + pushBatch);
        for (qsizetype i = from; i < end; ++i) {
            QString why;
            const QByteArray &line = waiting.lines.at(i);
            const QJsonObject entry = checkedEntry(line, &why);
            if (!why.isEmpty()) {
                result.warnings
                    << QStringLiteral("an entry of %1 is damaged (%2): left out of the record").arg(historyPath, why);
                continue;
            }
            offers.append({line, entry});
            lastId = entry.value(QStringLiteral("id")).toString();
            lastSeq = entry.value(ConfigHistory::keySeq).toInteger();
        }
        QList<RefusedEntry> refusedNow;
        QSet<QString> storedNow;
        if (const Result done = storeEach(connection, offers, &result, &refusedNow, &storedNow); !done.ok())
            return failed(done);
        // Set aside on the disk before the mark moves past them.
        if (!refusedNow.isEmpty())
            if (const Result kept = keepRefused(historyPath, refusedNow, {}); !kept.ok())
                return failed(kept);
        refused << refusedNow;
        if (const Result moved = advanceMark(historyPath, markId, lastId, lastSeq); !moved.ok())
            return failed(moved);
        if (!lastId.isEmpty())
            markId = lastId;
        qCDebug(lcRecord).noquote() << "Forwarded" << offers.size() << "entries to" << target.masked;
    }
    for (const RefusedEntry &entry : refused) {
        QString why;
        const QJsonObject json = checkedEntry(entry.line, &why);
        result.refused << QStringLiteral("%1 was refused: %2").arg(nameOf(json), entry.reason);
    }
    // What waits now: entries other programs added meanwhile count too.
    result.waiting = qMax(0, waitingCount(historyPath));
    return result;
}

} // namespace Record

// Pushing what waits: one statement per batch, the columns taken from each
// entry by the server, so that a row's columns and its entry never disagree.
// A batch the server refuses is tried entry by entry, so that one entry it
// cannot take never holds back the others.
#include "recordpush.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

#include <future>

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

Result store(Connection &connection, const QList<QByteArray> &lines, const QStringList &serials, int *stored)
{
    // [{"e":<the line>,"s":"<serial>"},...]: the lines as they are, never
    // parsed and written again on this side.
    QByteArray batch;
    batch.reserve(lines.size() * 1024);
    batch += '[';
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            batch += ',';
        batch += "{\"e\":";
        batch += lines.at(i);
        batch += ",\"s\":";
        batch += QJsonDocument(QJsonArray{serials.value(i)}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
        batch += '}';
    }
    batch += ']';
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
        {batch}, nullptr, QStringLiteral("storing the entries"), &affected);
    *stored = int(affected);
    return done;
}

namespace {

struct Offer
{
    QByteArray line;
    QJsonObject entry;
    QString serial; // as the record files it

    Offer(const QByteArray &line, const QJsonObject &entry)
        : line(line.trimmed())
        , entry(entry)
        , serial(ConfigHistory::normalSerial(entry.value(QStringLiteral("serial")).toString()))
    {}
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
    QList<QByteArray> lines;
    QStringList serials;
    for (const Offer &offer : offers) {
        lines << offer.line;
        serials << offer.serial;
    }
    int stored = 0;
    Result done = store(connection, lines, serials, &stored);
    if (done.ok()) {
        result->offered += int(offers.size());
        result->stored += stored;
        for (const Offer &offer : offers)
            storedIds->insert(offer.entry.value(QStringLiteral("id")).toString());
        return done;
    }
    if (connection.lastFailure() != Failure::Refused)
        return done;
    qCDebug(lcRecord).noquote() << "A batch of" << offers.size() << "was refused; its entries go one by one";
    for (const Offer &offer : offers) {
        stored = 0;
        done = store(connection, {offer.line}, {offer.serial}, &stored);
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
        result.failure = connection.lastFailure();
        return result;
    }
    const auto failed = [&](const Result &why) {
        static_cast<Result &>(result) = why;
        result.failure = connection.lastFailure();
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
    // each commit. The next batch is checked while the server stores this
    // one.
    struct Batch
    {
        QList<Offer> offers;
        QStringList damaged;
        QString lastId;
        qint64 lastSeq = 0;
    };
    const auto checkBatch = [&waiting](qsizetype from) {
        Batch batch;
        const qsizetype end = qMin(waiting.lines.size(), from + pushBatch);
        for (qsizetype i = from; i < end; ++i) {
            QString why;
            const QByteArray &line = waiting.lines.at(i);
            const QJsonObject entry = checkedEntry(line, &why);
            if (!why.isEmpty()) {
                batch.damaged << why;
                continue;
            }
            batch.offers.append({line, entry});
            batch.lastId = entry.value(QStringLiteral("id")).toString();
            batch.lastSeq = entry.value(ConfigHistory::keySeq).toInteger();
        }
        return batch;
    };
    QString markId = waiting.markId;
    std::future<Batch> next = std::async(std::launch::deferred, checkBatch, 0);
    for (qsizetype from = 0; from < waiting.lines.size(); from += pushBatch) {
        const Batch batch = next.get();
        if (from + pushBatch < waiting.lines.size())
            next = std::async(std::launch::async, checkBatch, from + pushBatch);
        for (const QString &why : batch.damaged)
            result.warnings
                << QStringLiteral("an entry of %1 is damaged (%2): left out of the record").arg(historyPath, why);
        QList<RefusedEntry> refusedNow;
        QSet<QString> storedNow;
        if (const Result done = storeEach(connection, batch.offers, &result, &refusedNow, &storedNow); !done.ok())
            return failed(done);
        // Set aside on the disk before the mark moves past them.
        if (!refusedNow.isEmpty())
            if (const Result kept = keepRefused(historyPath, refusedNow, {}); !kept.ok())
                return failed(kept);
        refused << refusedNow;
        if (const Result moved = advanceMark(historyPath, markId, batch.lastId, batch.lastSeq); !moved.ok())
            return failed(moved);
        if (!batch.lastId.isEmpty())
            markId = batch.lastId;
        qCDebug(lcRecord).noquote() << "Forwarded" << batch.offers.size() << "entries to" << target.masked;
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

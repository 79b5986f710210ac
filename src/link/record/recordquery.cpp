// The record's two listings. Each looks its neighbours up through the index
// on serial number and time, so that a page of entries costs a few index
// probes however large the record is.
#include "recordquery.h"

#include <QJsonArray>
#include <QStringList>
#include <QVariant>

#include "boardconfig.h"
#include "recordconnection.h"

namespace Record {

namespace {

using ConfigHistory::Entry;

// Entries are ordered by their time, then their bench, then their step in a
// write (before, intent, after): one write's entries often share their
// millisecond.
const QString phaseOrder = QStringLiteral("coalesce(array_position(ARRAY['before', 'intent', 'after'], %1.phase), 0)");

QString order(const QString &alias)
{
    return phaseOrder.arg(alias);
}

// The columns a row is found by, then its entry: every one of them is
// checked against the entry (recorded()).
QString entryColumns(const QString &a)
{
    return QStringLiteral("%1.id::text, %1.serial, %1.station, %1.phase, %1.event,"
                          " (extract(epoch FROM %1.written_at) * 1000)::bigint, %1.seq, %1.write_id, %1.entry::text")
        .arg(a);
}
constexpr int entryColumnCount = 9;

QString text(const QVariant &value)
{
    return value.isNull() ? QString() : value.toString();
}

// The row's entry as the history would read it; damaged when the history
// would refuse the line, or when any column it is found or ordered by is not
// its entry's own.
RecordedEntry recorded(const QList<QVariant> &row, int at)
{
    const QString id = text(row.value(at)), serial = text(row.value(at + 1)), station = text(row.value(at + 2));
    RecordedEntry r;
    QString why;
    r.entry = ConfigHistory::parseEntry(text(row.value(at + 8)).toUtf8(), &why);
    const QJsonObject &json = r.entry.json;
    r.station = json.value(QStringLiteral("station")).toString();
    r.user = json.value(QStringLiteral("user")).toString();
    const QVariant seq = row.value(at + 6);
    const QJsonValue entrySeq = json.value(ConfigHistory::keySeq);
    const struct
    {
        bool same;
        const char *column;
    } columns[] = {
        {json.value(QStringLiteral("id")).toString() == id, "id"},
        {ConfigHistory::normalSerial(r.entry.config.serial) == serial, "serial number"},
        {r.station == station, "station"},
        {r.entry.phase == text(row.value(at + 3)), "phase"},
        {r.entry.event == text(row.value(at + 4)), "event"},
        {QDateTime::fromString(r.entry.time, Qt::ISODateWithMs).toMSecsSinceEpoch() == row.value(at + 5).toLongLong(),
         "time"},
        {seq.isNull() ? entrySeq.isUndefined() : entrySeq.toInteger(-1) == seq.toLongLong(), "number"},
        {r.entry.writeId == text(row.value(at + 7)), "write id"},
    };
    for (const auto &column : columns)
        if (why.isEmpty() && !column.same)
            why = QStringLiteral("its %1 is not the row's").arg(QLatin1String(column.column));
    r.damaged = why;
    if (!why.isEmpty()) {
        // Only what the row says of itself, nothing taken from the entry.
        r.entry = Entry();
        r.entry.config.serial = serial;
        r.entry.phase = text(row.value(at + 3));
        r.entry.event = text(row.value(at + 4));
        r.station = station;
        r.user.clear();
    }
    return r;
}

// Whether the write an entry opened was ever answered, as the history
// tells it: the next entry of the same board from the same bench is the
// write's "after" (or, after a defaults' "before", its intent).
bool unanswered(const Entry &entry, const QVariant &nextPhase, const QVariant &nextEvent)
{
    const bool opensWrite =
        entry.phase == ConfigHistory::phaseIntent
        || (entry.phase == ConfigHistory::phaseBefore && entry.event == ConfigHistory::eventDefaults);
    if (!opensWrite)
        return false;
    const QString phase = nextPhase.toString();
    return nextEvent.toString() != entry.event
           || !(phase == ConfigHistory::phaseAfter
                || (phase == ConfigHistory::phaseIntent && entry.phase == ConfigHistory::phaseBefore));
}

ConfigHistory::EntryChanges changesSince(const Entry &entry, const QVariant &previousText)
{
    ConfigHistory::EntryChanges changes;
    if (previousText.isNull())
        return changes;
    QString why;
    const Entry previous = ConfigHistory::parseEntry(previousText.toString().toUtf8(), &why);
    if (!why.isEmpty() || previous.config.family != entry.config.family)
        return changes;
    changes.compared = true;
    changes.differences = diffConfigs(previous.config, entry.config);
    return changes;
}

BoardEvent eventOf(const RecordedEntry &r)
{
    BoardEvent event;
    event.known = true;
    event.time = r.entry.time;
    event.station = r.station;
    event.user = r.user;
    event.damaged = r.damaged;
    event.file = r.entry.json.value(QStringLiteral("file")).toObject();
    return event;
}

// How the board's newest write ended: its "after" against its intent.
BoardEvent lastWriteOf(const RecordedEntry &write, const QVariant &intentText)
{
    BoardEvent event = eventOf(write);
    if (!write.damaged.isEmpty())
        return event;
    const Entry &e = write.entry;
    if (unanswered(e, QVariant(), QVariant())) {
        event.outcome = QStringLiteral("outcome-unknown");
    } else if (e.phase == ConfigHistory::phaseBefore) {
        event.outcome = QStringLiteral("not-written");
    } else {
        event.outcome = QStringLiteral("held");
        QString why;
        const Entry intent =
            intentText.isNull() ? Entry() : ConfigHistory::parseEntry(intentText.toString().toUtf8(), &why);
        if (!intentText.isNull() && why.isEmpty() && intent.config.family == e.config.family) {
            for (const FieldDifference &d : diffConfigs(e.config, intent.config))
                event.fields << d.field.path;
            if (!event.fields.isEmpty())
                event.outcome = QStringLiteral("other-values");
        }
    }
    return event;
}

// What the board's newest audit found, as the check told it.
BoardEvent lastCheckOf(const RecordedEntry &check)
{
    BoardEvent event = eventOf(check);
    if (!check.damaged.isEmpty())
        return event;
    event.outcome = check.entry.json.value(QStringLiteral("outcome")).toString();
    for (const QJsonValue &field : check.entry.json.value(QStringLiteral("differs")).toArray())
        event.fields << field.toString();
    return event;
}

} // namespace

ShowResult show(Connection &connection, const ShowFilter &filter)
{
    ShowResult result;
    QStringList where;
    QVariantList values;
    const auto bind = [&values](const QVariant &value) {
        values << value;
        return QStringLiteral("$%1").arg(values.size());
    };
    if (!filter.serial.isEmpty())
        where << QStringLiteral("e.serial = ") + bind(ConfigHistory::normalSerial(filter.serial));
    if (!filter.station.isEmpty())
        where << QStringLiteral("e.station = ") + bind(filter.station);
    if (filter.since.isValid())
        where << QStringLiteral("e.written_at >= %1::timestamptz")
                     .arg(bind(filter.since.toUTC().toString(Qt::ISODateWithMs)));
    QString sql = QStringLiteral("SELECT %1, prev.entry::text, nxt.phase, nxt.event"
                                 " FROM halvero_entries e"
                                 " LEFT JOIN LATERAL (SELECT p.entry FROM halvero_entries p"
                                 "   WHERE p.serial = e.serial AND p.phase <> 'intent'"
                                 "   AND (p.written_at, p.station, %2) < (e.written_at, e.station, %3)"
                                 "   ORDER BY p.written_at DESC, p.station DESC, %2 DESC LIMIT 1) prev ON true"
                                 " LEFT JOIN LATERAL (SELECT n.phase, n.event FROM halvero_entries n"
                                 "   WHERE n.serial = e.serial AND n.station = e.station"
                                 "   AND (n.written_at, %4) > (e.written_at, %3)"
                                 "   ORDER BY n.written_at, %4 LIMIT 1) nxt ON true")
                      .arg(entryColumns(QStringLiteral("e")), order(QStringLiteral("p")), order(QStringLiteral("e")),
                           order(QStringLiteral("n")));
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    sql += QStringLiteral(" ORDER BY e.written_at DESC, e.station DESC, %1 DESC").arg(order(QStringLiteral("e")));
    if (filter.count > 0)
        sql += QStringLiteral(" LIMIT ") + bind(filter.count);
    if (filter.offset > 0)
        sql += QStringLiteral(" OFFSET ") + bind(filter.offset);
    Rows rows;
    if (const Result listed = connection.exec(sql, values, &rows, QStringLiteral("listing its entries"));
        !listed.ok()) {
        static_cast<Result &>(result) = listed;
        return result;
    }
    for (const QList<QVariant> &row : rows) {
        RecordedEntry r = recorded(row, 0);
        if (r.damaged.isEmpty()) {
            r.changes = changesSince(r.entry, row.value(entryColumnCount));
            r.changes.outcomeUnknown =
                unanswered(r.entry, row.value(entryColumnCount + 1), row.value(entryColumnCount + 2));
        }
        result.entries.append(r);
    }
    return result;
}

BoardsResult boards(Connection &connection)
{
    BoardsResult result;
    // For each board: the newest entry that shows what it held, the newest
    // write (and, for an "after", that write's intent), the newest audit.
    const QString newest = QStringLiteral("(SELECT %1 FROM halvero_entries %2 WHERE %2.serial = s.serial AND %3"
                                          " ORDER BY %2.written_at DESC, %2.station DESC, %4 DESC LIMIT 1)");
    const auto newestOf = [&](const char *alias, const char *condition) {
        const QString a = QLatin1String(alias);
        return newest.arg(QStringLiteral("%1.*").arg(a), a, QString(QLatin1String(condition)).arg(a), order(a));
    };
    const QString sql = QStringLiteral("SELECT s.serial, %1, %2, i.entry::text, %3"
                                       " FROM (SELECT DISTINCT serial FROM halvero_entries) s"
                                       " LEFT JOIN LATERAL %4 h ON true"
                                       " LEFT JOIN LATERAL %5 w ON true"
                                       " LEFT JOIN LATERAL (SELECT i.entry FROM halvero_entries i"
                                       "   WHERE i.serial = s.serial AND i.station = w.station AND i.event = w.event"
                                       "   AND i.phase = 'intent' AND (w.write_id IS NULL OR i.write_id = w.write_id)"
                                       "   AND (i.written_at, %6) < (w.written_at, %7)"
                                       "   ORDER BY i.written_at DESC, %6 DESC LIMIT 1) i ON w.phase = 'after'"
                                       " LEFT JOIN LATERAL %8 c ON true"
                                       " ORDER BY s.serial")
                            .arg(entryColumns(QStringLiteral("h")), entryColumns(QStringLiteral("w")),
                                 entryColumns(QStringLiteral("c")), newestOf("h", "%1.phase <> 'intent'"),
                                 newestOf("w", "%1.event <> 'check'"), order(QStringLiteral("i")),
                                 order(QStringLiteral("w")), newestOf("c", "%1.event = 'check'"));
    Rows rows;
    if (const Result listed = connection.exec(sql, {}, &rows, QStringLiteral("listing its boards")); !listed.ok()) {
        static_cast<Result &>(result) = listed;
        return result;
    }
    const int heldAt = 1, writeAt = heldAt + entryColumnCount, intentAt = writeAt + entryColumnCount,
              checkAt = intentAt + 1;
    for (const QList<QVariant> &row : rows) {
        BoardSummary board;
        board.serial = text(row.value(0));
        if (!row.value(heldAt).isNull())
            board.held = recorded(row, heldAt);
        if (!row.value(writeAt).isNull())
            board.lastWrite = lastWriteOf(recorded(row, writeAt), row.value(intentAt));
        if (!row.value(checkAt).isNull())
            board.lastCheck = lastCheckOf(recorded(row, checkAt));
        result.boards.append(board);
    }
    return result;
}

} // namespace Record

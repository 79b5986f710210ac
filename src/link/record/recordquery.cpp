// The record's two listings. Each looks its neighbours up through the index
// on serial number and time, so that a page of entries costs a few index
// probes however large the record is.
#include "recordquery.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include "boardconfig.h"
#include "recordconnection.h"

namespace Record {

namespace {

using ConfigHistory::Entry;

// Entries are ordered by their time, then their bench, then their step in a
// write (before, intent, after): one write's entries often share their
// millisecond, and the record has no number of its own to tell them apart.

// The row's entry as the history would read it; damaged when the history
// would refuse the line, or when the columns it was found by are not its own.
RecordedEntry recorded(const QVariant &entryText, const QString &id, const QString &serial, const QString &station)
{
    RecordedEntry r;
    QString why;
    r.entry = ConfigHistory::parseEntry(entryText.toString().toUtf8(), &why);
    r.station = r.entry.json.value(QStringLiteral("station")).toString();
    r.user = r.entry.json.value(QStringLiteral("user")).toString();
    if (why.isEmpty() && r.entry.json.value(QStringLiteral("id")).toString() != id)
        why = QStringLiteral("its id is not the row's");
    if (why.isEmpty() && ConfigHistory::normalSerial(r.entry.config.serial) != serial)
        why = QStringLiteral("its serial number is not the row's");
    if (why.isEmpty() && r.station != station)
        why = QStringLiteral("its station is not the row's");
    r.damaged = why;
    if (!why.isEmpty()) {
        // Only what the row says of itself, nothing taken from the entry.
        r.entry.config.serial = serial;
        r.station = station;
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

} // namespace

ShowResult show(Connection &connection, const ShowFilter &filter)
{
    ShowResult result;
    QStringList where;
    QVariantList values;
    if (!filter.serial.isEmpty()) {
        where << QStringLiteral("e.serial = ?");
        values << ConfigHistory::normalSerial(filter.serial);
    }
    if (!filter.station.isEmpty()) {
        where << QStringLiteral("e.station = ?");
        values << filter.station;
    }
    if (filter.since.isValid()) {
        where << QStringLiteral("e.written_at >= ?::timestamptz");
        values << filter.since.toUTC().toString(Qt::ISODateWithMs);
    }
    QString sql = QStringLiteral(
        "SELECT e.id::text, e.serial, e.station, e.entry::text, prev.entry::text, nxt.phase, nxt.event"
        " FROM halvero_entries e"
        " LEFT JOIN LATERAL (SELECT p.entry FROM halvero_entries p"
        "   WHERE p.serial = e.serial AND p.phase <> 'intent'"
        "   AND (p.written_at, p.station, coalesce(array_position(ARRAY['before', 'intent', 'after'], p.phase), 0)) < "
        "(e.written_at, e.station, coalesce(array_position(ARRAY['before', 'intent', 'after'], e.phase), 0))"
        "   ORDER BY p.written_at DESC, p.station DESC, coalesce(array_position(ARRAY['before', 'intent', 'after'], "
        "p.phase), 0) DESC LIMIT 1) prev ON true"
        " LEFT JOIN LATERAL (SELECT n.phase, n.event FROM halvero_entries n"
        "   WHERE n.serial = e.serial AND n.station = e.station"
        "   AND (n.written_at, coalesce(array_position(ARRAY['before', 'intent', 'after'], n.phase), 0)) > "
        "(e.written_at, coalesce(array_position(ARRAY['before', 'intent', 'after'], e.phase), 0))"
        "   ORDER BY n.written_at, coalesce(array_position(ARRAY['before', 'intent', 'after'], n.phase), 0) LIMIT 1) "
        "nxt ON true");
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    sql += QStringLiteral(" ORDER BY e.written_at DESC, e.station DESC, coalesce(array_position(ARRAY['before', "
                          "'intent', 'after'], e.phase), 0) DESC");
    if (filter.count > 0) {
        sql += QStringLiteral(" LIMIT ?");
        values << filter.count;
    }
    if (filter.offset > 0) {
        sql += QStringLiteral(" OFFSET ?");
        values << filter.offset;
    }
    QSqlQuery query(connection.database());
    query.setForwardOnly(true);
    query.prepare(sql);
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec()) {
        static_cast<Result &>(result) =
            connection.failure(QStringLiteral("cannot list its entries"), query.lastError());
        return result;
    }
    while (query.next()) {
        RecordedEntry r =
            recorded(query.value(3), query.value(0).toString(), query.value(1).toString(), query.value(2).toString());
        if (r.damaged.isEmpty()) {
            r.changes = changesSince(r.entry, query.value(4));
            r.changes.outcomeUnknown = unanswered(r.entry, query.value(5), query.value(6));
        }
        result.entries.append(r);
    }
    return result;
}

BoardsResult boards(Connection &connection)
{
    BoardsResult result;
    QSqlQuery query(connection.database());
    query.setForwardOnly(true);
    // The newest entry of each board, the newest that shows what it held,
    // and, for an "after", the intent of that write.
    if (!query.exec(QStringLiteral(
            "WITH newest AS (SELECT DISTINCT ON (serial) id, serial, station, written_at, phase, event, entry"
            "   FROM halvero_entries ORDER BY serial, written_at DESC, station DESC, "
            "   coalesce(array_position(ARRAY['before', 'intent', 'after'], phase), 0) DESC)"
            " SELECT n.id::text, n.serial, n.station, n.entry::text, h.id::text, h.station, h.entry::text, "
            "i.entry::text"
            " FROM newest n"
            " LEFT JOIN LATERAL (SELECT h.id, h.station, h.entry FROM halvero_entries h"
            "   WHERE h.serial = n.serial AND h.phase <> 'intent'"
            "   ORDER BY h.written_at DESC, h.station DESC, coalesce(array_position(ARRAY['before', 'intent', "
            "'after'], h.phase), 0) DESC LIMIT 1) h ON true"
            " LEFT JOIN LATERAL (SELECT i.entry FROM halvero_entries i"
            "   WHERE i.serial = n.serial AND i.station = n.station AND i.event = n.event AND i.phase = 'intent'"
            "   AND (i.written_at, coalesce(array_position(ARRAY['before', 'intent', 'after'], i.phase), 0)) < "
            "(n.written_at, coalesce(array_position(ARRAY['before', 'intent', 'after'], n.phase), 0))"
            "   ORDER BY i.written_at DESC, coalesce(array_position(ARRAY['before', 'intent', 'after'], i.phase), 0) "
            "DESC LIMIT 1) i ON n.phase = 'after'"
            " ORDER BY n.serial"))) {
        static_cast<Result &>(result) = connection.failure(QStringLiteral("cannot list its boards"), query.lastError());
        return result;
    }
    while (query.next()) {
        BoardSummary board;
        board.serial = query.value(1).toString();
        const RecordedEntry newest =
            recorded(query.value(3), query.value(0).toString(), board.serial, query.value(2).toString());
        board.held = query.value(4).isNull()
                         ? newest
                         : recorded(query.value(6), query.value(4).toString(), board.serial, query.value(5).toString());
        board.outcomeTime = newest.entry.time;
        board.outcomeStation = newest.station;
        const Entry &e = newest.entry;
        if (!newest.damaged.isEmpty())
            board.outcome = QStringLiteral("damaged entry: ") + newest.damaged;
        else if (const QString told = e.json.value(QStringLiteral("outcome")).toString(); !told.isEmpty())
            board.outcome = told;
        else if (unanswered(e, QVariant(), QVariant()))
            board.outcome = QStringLiteral("outcome unknown");
        else if (e.phase == ConfigHistory::phaseBefore)
            board.outcome = QStringLiteral("not written");
        else if (e.phase == ConfigHistory::phaseAfter && !query.value(7).isNull()) {
            QString why;
            const Entry intent = ConfigHistory::parseEntry(query.value(7).toString().toUtf8(), &why);
            const QList<FieldDifference> differences =
                why.isEmpty() ? diffConfigs(e.config, intent.config) : QList<FieldDifference>();
            QStringList fields;
            for (const FieldDifference &d : differences)
                fields << d.field.path;
            board.outcome = !why.isEmpty() ? QStringLiteral("answered")
                            : differences.isEmpty()
                                ? QStringLiteral("held")
                                : QStringLiteral("other values: ") + fields.join(QStringLiteral(", "));
        } else
            board.outcome = QStringLiteral("answered");
        result.boards.append(board);
    }
    return result;
}

} // namespace Record

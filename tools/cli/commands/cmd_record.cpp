// 'record push', 'record show' and 'record boards', and the forwarding that
// follows every write: the factory's record, one PostgreSQL that every
// bench's history entries go to, read from any bench.
#include "clirunner.h"

#include <QJsonDocument>
#include <QTextStream>

#include "confighistory.h"
#include "historywords.h"
#include "recordconnection.h"
#include "recordoutbox.h"
#include "recordpush.h"
#include "recordquery.h"
#include "recorduri.h"
#include "texttable.h"

namespace {

// `record show` without --count: a record holds millions of entries, and a
// terminal wants the newest ones.
constexpr int defaultShown = 100;

// A push that finds entries added meanwhile by another program tries again
// a few times, so that "nothing waits" is true when it says so.
constexpr int pushRounds = 3;

} // namespace

QString CliRunner::recordUri() const
{
    return Record::configuredUri(o.record);
}

void CliRunner::forwardToRecord()
{
    link.reset(); // the board is free while the record is asked
    if (const QString lost = Record::Outbox::takeLostSentence(); !lost.isEmpty())
        warn(lost);
    Record::Target target;
    QString why;
    Record::PushResult pushed;
    if (Record::parseUri(recordUri(), &target, &why)) {
        pushed = Record::push(target, ConfigHistory::defaultPath());
    } else {
        pushed.code = ErrorCode::Record;
        pushed.message = why;
        QList<QByteArray> lines;
        Record::Outbox(ConfigHistory::defaultPath()).read(&lines);
        pushed.waiting = int(lines.size());
    }
    for (const QString &warning : pushed.warnings)
        warn(warning);
    progress(QStringLiteral("forwarded %1 entries to the record %2 (%3 new to it)")
                 .arg(pushed.offered)
                 .arg(target.masked)
                 .arg(pushed.stored));
    if (pushed.waiting > 0)
        warn(QStringLiteral("%1%2; 'halvero-cli record push' forwards them")
                 .arg(Record::waitingSentence(pushed.waiting),
                      pushed.ok() ? QString() : QStringLiteral(" (%1)").arg(pushed.message)));
}

namespace {

Record::Target requireTarget(const QString &uri)
{
    if (uri.isEmpty())
        throw CliFailure{ErrorCode::Record,
                         QStringLiteral("no record is configured: set HALVERO_RECORD (or give --record URI)")};
    Record::Target target;
    QString why;
    if (!Record::parseUri(uri, &target, &why))
        throw CliFailure{ErrorCode::Record, why};
    return target;
}

} // namespace

int CliRunner::recordPush()
{
    const Record::Target target = requireTarget(recordUri());
    Record::PushResult total;
    for (int round = 0; round < pushRounds; ++round) {
        const Record::PushResult pushed = Record::push(target, ConfigHistory::defaultPath());
        for (const QString &warning : pushed.warnings)
            warn(warning);
        total.offered += pushed.offered;
        total.stored += pushed.stored;
        total.waiting = pushed.waiting;
        if (!pushed.ok())
            throw CliFailure{pushed.code,
                             QStringLiteral("%1; %2").arg(pushed.message, Record::waitingSentence(pushed.waiting)),
                             QJsonObject{{QStringLiteral("offered"), total.offered},
                                         {QStringLiteral("stored"), total.stored},
                                         {QStringLiteral("waiting"), pushed.waiting}}};
        if (pushed.waiting == 0)
            break;
    }
    if (o.json)
        emitJson(QJsonObject{{QStringLiteral("record"), target.masked},
                             {QStringLiteral("offered"), total.offered},
                             {QStringLiteral("stored"), total.stored},
                             {QStringLiteral("waiting"), total.waiting}});
    else if (total.offered == 0 && total.waiting == 0)
        note(QStringLiteral("nothing waits to be forwarded to the record %1").arg(target.masked));
    else
        note(QStringLiteral("forwarded %1 entries to the record %2 (%3 new to it); %4")
                 .arg(total.offered)
                 .arg(target.masked)
                 .arg(total.stored)
                 .arg(total.waiting == 0 ? QStringLiteral("nothing waits") : Record::waitingSentence(total.waiting)));
    if (total.waiting > 0)
        throw CliFailure{ErrorCode::Record, QStringLiteral("%1: other programs keep adding to %2")
                                                .arg(Record::waitingSentence(total.waiting),
                                                     Record::outboxPathOf(ConfigHistory::defaultPath()))};
    return ExitOk;
}

int CliRunner::recordShow()
{
    Record::Connection connection(requireTarget(recordUri()));
    if (const Result opened = connection.open(); !opened.ok())
        throw CliFailure(opened);
    Record::ShowFilter filter{o.serial, o.station, o.since, o.count > 0 ? o.count : defaultShown};
    const Record::ShowResult shown = Record::show(connection, filter);
    if (!shown.ok())
        throw CliFailure(shown);
    for (const Record::RecordedEntry &r : shown.entries) {
        const ConfigHistory::Entry &e = r.entry;
        if (!r.damaged.isEmpty()) {
            warn(QStringLiteral("the record holds a damaged entry of board %1 from %2 (%3): not shown as an entry")
                     .arg(e.config.serial, r.station, r.damaged));
            if (o.json)
                emitJson(QJsonObject{{QStringLiteral("damaged"), r.damaged},
                                     {QStringLiteral("serial"), e.config.serial},
                                     {QStringLiteral("station"), r.station}});
            else
                out << QStringLiteral("damaged  %1  %2  %3\n").arg(r.station, e.config.serial, r.damaged);
            continue;
        }
        if (o.json) {
            emitJson(entryJson(e, r.changes));
            continue;
        }
        QString line = QStringLiteral("%1  %2  %3  %4  %5  %6 %7 %8 %9")
                           .arg(ConfigHistory::localTime(e.time), r.station, r.user, e.config.serial,
                                e.config.productCode, e.event.leftJustified(8), e.phase.leftJustified(6),
                                e.tool.leftJustified(13), HistoryWords::changes(e, r.changes));
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        out << line << '\n';
    }
    requireOutput();
    if (shown.entries.isEmpty())
        note(QStringLiteral("no entries in the record %1 that match").arg(connection.target().masked));
    return ExitOk;
}

int CliRunner::recordBoards()
{
    Record::Connection connection(requireTarget(recordUri()));
    if (const Result opened = connection.open(); !opened.ok())
        throw CliFailure(opened);
    const Record::BoardsResult listed = Record::boards(connection);
    if (!listed.ok())
        throw CliFailure(listed);
    QList<QStringList> rows;
    if (!o.json)
        rows << QStringList{QStringLiteral("SERIAL"),  QStringLiteral("PRODUCT"),      QStringLiteral("WRITTEN"),
                            QStringLiteral("STATION"), QStringLiteral("LAST OUTCOME"), QStringLiteral("HELD")};
    for (const Record::BoardSummary &board : listed.boards) {
        const ConfigHistory::Entry &held = board.held.entry;
        const bool good = board.held.damaged.isEmpty();
        if (!good)
            warn(QStringLiteral("the record holds a damaged entry of board %1 (%2): what it held is not shown")
                     .arg(board.serial, board.held.damaged));
        const QJsonObject config = good ? held.json.value(QStringLiteral("config")).toObject() : QJsonObject();
        if (o.json) {
            QJsonObject line{{QStringLiteral("serial"), good ? held.config.serial : board.serial},
                             {QStringLiteral("outcome"), board.outcome},
                             {QStringLiteral("outcomeTime"), board.outcomeTime},
                             {QStringLiteral("outcomeStation"), board.outcomeStation}};
            if (good) {
                line.insert(QStringLiteral("productCode"), held.config.productCode);
                line.insert(QStringLiteral("firmware"), held.json.value(QStringLiteral("firmware")));
                line.insert(QStringLiteral("config"), config);
                line.insert(QStringLiteral("station"), board.held.station);
                line.insert(QStringLiteral("user"), board.held.user);
                line.insert(QStringLiteral("time"), held.time);
            } else {
                line.insert(QStringLiteral("damaged"), board.held.damaged);
            }
            emitJson(line);
            continue;
        }
        rows << QStringList{good ? held.config.serial : board.serial,
                            good ? held.config.productCode : QStringLiteral("-"),
                            good ? ConfigHistory::localTime(held.time) : QStringLiteral("-"),
                            good ? board.held.station : QStringLiteral("-"),
                            board.outcome,
                            good ? QString::fromUtf8(QJsonDocument(config).toJson(QJsonDocument::Compact))
                                 : QStringLiteral("damaged: ") + board.held.damaged};
    }
    if (!o.json && rows.size() > 1)
        out << alignedRows(rows);
    requireOutput();
    if (listed.boards.isEmpty())
        note(QStringLiteral("no boards in the record %1").arg(connection.target().masked));
    return ExitOk;
}

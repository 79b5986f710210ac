// 'record push', 'record show' and 'record boards', and the forwarding that
// follows every write: the factory's record, one PostgreSQL that every
// bench's history entries go to, read from any bench.
#include "clirunner.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTextStream>

#include "clisignals.h"
#include "confighistory.h"
#include "displayformat.h"
#include "historywords.h"
#include "recordconnection.h"
#include "recordpending.h"
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

// The forwarding after a write: the write is done, and the operator hears
// of it within this bound however the record behaves; what it did not take
// waits for 'record push'.
constexpr int forwardDeadlineMs = 10000;
// A whole 'record push': a backlog of 100,000 entries takes seconds.
constexpr int pushDeadlineMs = 300000;

// A name as it is printed on a line of a table: never wider than `width`.
QString cell(const QString &text, int width)
{
    const QString shown = DisplayFormat::printable(text);
    return shown.size() <= width ? shown : shown.left(width - 1) + QChar(0x2026);
}

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

bool signalled()
{
    return CliSignals::pending() != 0;
}

QJsonValue eventJson(const Record::BoardEvent &event, bool check)
{
    if (!event.known)
        return QJsonValue::Null;
    QJsonObject json{{QStringLiteral("time"), event.time},
                     {QStringLiteral("station"), event.station},
                     {QStringLiteral("user"), event.user},
                     {QStringLiteral("outcome"), event.outcome}};
    if (!event.fields.isEmpty())
        json.insert(check ? QStringLiteral("differs") : QStringLiteral("fields"),
                    QJsonArray::fromStringList(event.fields));
    if (check || !event.file.isEmpty())
        json.insert(QStringLiteral("file"), event.file.isEmpty() ? QJsonValue::Null : QJsonValue(event.file));
    if (!event.damaged.isEmpty())
        json.insert(QStringLiteral("damaged"), event.damaged);
    return json;
}

// "2026-05-04 10:30:12 held", "… differs: channel3.mode", "-" when none.
QString eventText(const Record::BoardEvent &event)
{
    if (!event.known)
        return QStringLiteral("-");
    if (!event.damaged.isEmpty())
        return QStringLiteral("damaged entry");
    QString text = ConfigHistory::localTime(event.time) + QLatin1Char(' ')
                   + (event.outcome.isEmpty() ? QStringLiteral("?") : event.outcome);
    if (!event.fields.isEmpty())
        text += QStringLiteral(" (%1)").arg(
            event.fields.size() == 1 ? event.fields.first() : QStringLiteral("%1 fields").arg(event.fields.size()));
    return text;
}

// What a board holds, short: the golden file it was last found or written
// to match, else a fingerprint of its configuration that two rows can be
// compared by (the whole of it is in --json).
QString heldText(const Record::BoardSummary &board)
{
    if (!board.held.damaged.isEmpty())
        return QStringLiteral("damaged: ") + board.held.damaged;
    const QString file = board.lastCheck.outcome == QLatin1String("matches")
                             ? board.lastCheck.file.value(QStringLiteral("name")).toString()
                         : board.lastWrite.outcome == QLatin1String("held")
                             ? board.lastWrite.file.value(QStringLiteral("name")).toString()
                             : QString();
    if (!file.isEmpty())
        return QStringLiteral("as %1").arg(DisplayFormat::printable(QFileInfo(file).fileName()));
    const QByteArray config =
        QJsonDocument(board.held.entry.json.value(QStringLiteral("config")).toObject()).toJson(QJsonDocument::Compact);
    return QStringLiteral("config %1")
        .arg(QString::fromLatin1(QCryptographicHash::hash(config, QCryptographicHash::Sha256).toHex().left(12)));
}

} // namespace

QString CliRunner::recordUri() const
{
    return Record::configuredUri(o.record);
}

void CliRunner::forwardToRecord()
{
    link.reset(); // the board is free while the record is asked
    Record::setInterruptCheck(&signalled);
    Record::Target target;
    QString why;
    Record::PushResult pushed;
    if (Record::parseUri(recordUri(), &target, &why)) {
        pushed = Record::push(target, ConfigHistory::defaultPath(), Record::PushOptions{false, forwardDeadlineMs});
    } else {
        pushed.code = ErrorCode::Record;
        pushed.message = why;
        pushed.waiting = qMax(0, Record::waitingCount(ConfigHistory::defaultPath()));
    }
    for (const QString &warning : pushed.warnings)
        warn(warning);
    for (const QString &refused : pushed.refused)
        warn(DisplayFormat::printable(refused));
    progress(QStringLiteral("forwarded %1 entries to the record %2 (%3 new to it)")
                 .arg(pushed.offered)
                 .arg(target.masked)
                 .arg(pushed.stored));
    if (pushed.waiting > 0)
        warn(QStringLiteral("%1%2; 'halvero-cli record push' forwards them")
                 .arg(Record::waitingSentence(pushed.waiting),
                      pushed.ok() ? QString() : QStringLiteral(" (%1)").arg(pushed.message)));
    if (pushed.code == ErrorCode::Interrupted)
        forwardingInterrupted = true;
}

int CliRunner::recordPush()
{
    const Record::Target target = requireTarget(recordUri());
    CliSignals::catchEndingSignals();
    Record::setInterruptCheck(&signalled);
    const QString historyPath = ConfigHistory::defaultPath();
    Record::PushResult total;
    QDeadlineTimer deadline(pushDeadlineMs);
    for (int round = 0; round < pushRounds; ++round) {
        const Record::PushResult pushed = Record::push(
            target, historyPath,
            Record::PushOptions{o.wholeHistory && round == 0, int(qMax<qint64>(1, deadline.remainingTime()))});
        for (const QString &warning : pushed.warnings)
            warn(warning);
        total.offered += pushed.offered;
        total.stored += pushed.stored;
        total.waiting = pushed.waiting;
        total.refused = pushed.refused;
        if (round == 0)
            total.fromStart = pushed.fromStart;
        if (!pushed.ok())
            throw CliFailure{pushed.code,
                             QStringLiteral("%1; %2").arg(pushed.message, Record::waitingSentence(pushed.waiting)),
                             QJsonObject{{QStringLiteral("offered"), total.offered},
                                         {QStringLiteral("stored"), total.stored},
                                         {QStringLiteral("waiting"), pushed.waiting}}};
        if (pushed.waiting <= int(pushed.refused.size()))
            break;
    }
    for (const QString &refused : total.refused)
        warn(DisplayFormat::printable(refused));
    const int waiting = qMax(0, total.waiting - int(total.refused.size()));
    if (o.json)
        emitJson(QJsonObject{{QStringLiteral("record"), target.masked},
                             {QStringLiteral("offered"), total.offered},
                             {QStringLiteral("stored"), total.stored},
                             {QStringLiteral("waiting"), waiting},
                             {QStringLiteral("refused"), total.refused.size()}});
    else if (total.offered == 0 && total.waiting == 0)
        note(QStringLiteral("nothing waits to be forwarded to the record %1").arg(target.masked));
    else
        note(QStringLiteral("forwarded %1 entries to the record %2 (%3 new to it)%4; %5")
                 .arg(total.offered)
                 .arg(target.masked)
                 .arg(total.stored)
                 .arg(o.wholeHistory ? QStringLiteral(": the whole local history, each entry once")
                      : total.fromStart
                          ? QStringLiteral(": the whole local history, written with or without a record configured, "
                                           "as none had been forwarded from it before")
                          : QString(),
                      waiting == 0 ? QStringLiteral("nothing waits") : Record::waitingSentence(waiting)));
    if (!total.refused.isEmpty())
        throw CliFailure{ErrorCode::Record,
                         QStringLiteral("the record refused %1 %2: set aside in %3 with its reasons, tried again at "
                                        "every push, while every other entry was forwarded")
                             .arg(total.refused.size())
                             .arg(total.refused.size() == 1 ? QStringLiteral("entry") : QStringLiteral("entries"),
                                  Record::refusedPathOf(historyPath))};
    if (waiting > 0)
        throw CliFailure{
            ErrorCode::Record,
            QStringLiteral("%1: other programs keep adding to %2").arg(Record::waitingSentence(waiting), historyPath)};
    return ExitOk;
}

int CliRunner::recordShow()
{
    CliSignals::catchEndingSignals();
    Record::setInterruptCheck(&signalled);
    Record::Connection connection(requireTarget(recordUri()));
    if (const Result opened = connection.open(); !opened.ok())
        throw CliFailure(opened);
    Record::ShowFilter filter{o.serial, o.station, o.since, o.count > 0 ? o.count : defaultShown};
    const Record::ShowResult shown = Record::show(connection, filter);
    if (!shown.ok())
        throw CliFailure(shown);
    QList<QStringList> rows;
    QStringList below; // each row's changes, on a line of their own
    rows << QStringList{QStringLiteral("TIME"),   QStringLiteral("STATION"), QStringLiteral("USER"),
                        QStringLiteral("SERIAL"), QStringLiteral("CODE"),    QStringLiteral("EVENT"),
                        QStringLiteral("PHASE")};
    below << QString();
    for (const Record::RecordedEntry &r : shown.entries) {
        const ConfigHistory::Entry &e = r.entry;
        if (!r.damaged.isEmpty()) {
            warn(QStringLiteral("the record holds a damaged entry of board %1 from %2 (%3): not shown as an entry")
                     .arg(DisplayFormat::printable(e.config.serial), DisplayFormat::printable(r.station), r.damaged));
            if (o.json)
                emitJson(QJsonObject{{QStringLiteral("damaged"), r.damaged},
                                     {QStringLiteral("serial"), e.config.serial},
                                     {QStringLiteral("station"), r.station}});
            else {
                rows << QStringList{QStringLiteral("-"),
                                    cell(r.station, 12),
                                    QStringLiteral("-"),
                                    DisplayFormat::printable(e.config.serial),
                                    QStringLiteral("-"),
                                    e.event,
                                    e.phase};
                below << QStringLiteral("damaged: ") + r.damaged;
            }
            continue;
        }
        if (o.json) {
            emitJson(entryJson(e, r.changes));
            continue;
        }
        rows << QStringList{ConfigHistory::localTime(e.time),
                            cell(r.station, 12),
                            cell(r.user, 10),
                            DisplayFormat::printable(e.config.serial),
                            cell(e.config.productCode, 4),
                            e.event,
                            HistoryWords::phaseWord(e)};
        below << DisplayFormat::printable(HistoryWords::changes(e, r.changes));
    }
    if (!o.json && rows.size() > 1) {
        const QStringList lines = alignedRows(rows).split(QLatin1Char('\n'));
        for (qsizetype i = 0; i < lines.size() && i < below.size(); ++i) {
            out << lines.at(i) << '\n';
            if (!below.at(i).isEmpty())
                out << QStringLiteral("    ") << below.at(i) << '\n';
        }
    }
    requireOutput();
    if (shown.entries.isEmpty())
        note(QStringLiteral("no entries in the record %1 that match").arg(connection.target().masked));
    return ExitOk;
}

int CliRunner::recordBoards()
{
    CliSignals::catchEndingSignals();
    Record::setInterruptCheck(&signalled);
    Record::Connection connection(requireTarget(recordUri()));
    if (const Result opened = connection.open(); !opened.ok())
        throw CliFailure(opened);
    const Record::BoardsResult listed = Record::boards(connection);
    if (!listed.ok())
        throw CliFailure(listed);
    QList<QStringList> rows;
    if (!o.json)
        rows << QStringList{QStringLiteral("SERIAL"), QStringLiteral("CODE"),       QStringLiteral("STATION"),
                            QStringLiteral("USER"),   QStringLiteral("LAST WRITE"), QStringLiteral("LAST CHECK"),
                            QStringLiteral("HOLDS")};
    for (const Record::BoardSummary &board : listed.boards) {
        const ConfigHistory::Entry &held = board.held.entry;
        const bool good = board.held.damaged.isEmpty();
        if (!good)
            warn(QStringLiteral("the record holds a damaged entry of board %1 (%2): what it held is not shown")
                     .arg(DisplayFormat::printable(board.serial), board.held.damaged));
        if (o.json) {
            QJsonObject line{{QStringLiteral("serial"), good ? held.config.serial : board.serial},
                             {QStringLiteral("lastWrite"), eventJson(board.lastWrite, false)},
                             {QStringLiteral("lastCheck"), eventJson(board.lastCheck, true)}};
            if (good) {
                line.insert(QStringLiteral("productCode"), held.config.productCode);
                line.insert(QStringLiteral("firmware"), held.json.value(QStringLiteral("firmware")));
                line.insert(QStringLiteral("config"), held.json.value(QStringLiteral("config")).toObject());
                line.insert(QStringLiteral("station"), board.held.station);
                line.insert(QStringLiteral("user"), board.held.user);
                line.insert(QStringLiteral("time"), held.time);
            } else {
                line.insert(QStringLiteral("damaged"), board.held.damaged);
            }
            emitJson(line);
            continue;
        }
        rows << QStringList{DisplayFormat::printable(good ? held.config.serial : board.serial),
                            good ? cell(held.config.productCode, 4) : QStringLiteral("-"),
                            good ? cell(board.held.station, 12) : QStringLiteral("-"),
                            good ? cell(board.held.user, 10) : QStringLiteral("-"),
                            eventText(board.lastWrite),
                            eventText(board.lastCheck),
                            heldText(board)};
    }
    if (!o.json && rows.size() > 1)
        out << alignedRows(rows);
    requireOutput();
    if (listed.boards.isEmpty())
        note(QStringLiteral("no boards in the record %1").arg(connection.target().masked));
    return ExitOk;
}

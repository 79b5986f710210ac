// 'history' and 'history restore', and the entries config set, defaults and
// history restore leave around every write: what the board held before, and
// what it holds after, so that no write is beyond undoing.
#include "clirunner.h"

#include <QDateTime>
#include <QTextStream>
#include <optional>

#include "confighistory.h"
#include "displayformat.h"
#include "exchangetext.h"
#include "historyreader.h"
#include "historywords.h"

using namespace ConfigHistory;

namespace {

const QString toolName = QStringLiteral("halvero-cli");

// Entries a page of the listing holds: enough to keep the file reads few,
// few enough that memory does not grow with the history.
constexpr int pageEntries = 200;

// The entries' numbers as runs, "1..40, 57..212": older ones go with a
// rotation, and a damaged line leaves a gap. Fed newest first.
class NumberRuns
{
public:
    void add(qint64 index)
    {
        if (!m_runs.isEmpty() && m_runs.last().first <= index && index <= m_runs.last().second)
            return; // a number given twice
        if (!m_runs.isEmpty() && m_runs.last().first == index + 1)
            m_runs.last().first = index;
        else
            m_runs.append({index, index});
    }
    bool isEmpty() const { return m_runs.isEmpty(); }
    QString text() const
    {
        QStringList runs;
        for (auto run = m_runs.crbegin(); run != m_runs.crend(); ++run)
            runs << (run->first == run->second ? QString::number(run->first)
                                               : QStringLiteral("%1..%2").arg(run->first).arg(run->second));
        return runs.join(QStringLiteral(", "));
    }

private:
    QList<QPair<qint64, qint64>> m_runs; // lowest, highest; newest run first
};

} // namespace

bool CliRunner::historyOn() const
{
    return !o.noHistory && !disabledByEnvironment();
}

void CliRunner::warn(const QString &text)
{
    if (!o.quiet)
        err << "halvero-cli: warning: " << DisplayFormat::printable(text, true) << Qt::endl;
}

// Why the write did not end with the board holding it, as the window says it.
QString CliRunner::writeFailure(const WriteTransaction &write) const
{
    return ExchangeText::writeFailure(write, commandName(o.command), {o.port, o.baud});
}

WriteTransaction CliRunner::runWrite(WriteTransaction::Operation operation, const BoardConfig &config)
{
    using Outcome = WriteTransaction::Outcome;
    std::optional<HistoryFile> history;
    if (historyOn())
        history.emplace();
    WriteTransaction write(operation, config, history ? &*history : nullptr, toolName);
    if (!writtenFrom.name.isEmpty())
        write.setSourceFile(writtenFrom);
    // A signal before the write went out gives it up; once it is out, the
    // transaction runs to its end (its read-backs are bounded), so that what
    // the board holds is known and recorded before the process exits.
    while (!write.step(*link)) {
        if (!write.sent())
            stopIfInterrupted(QStringLiteral("nothing was written to the board"));
    }
    progress(QStringLiteral("%1 %2, %3 read-backs unanswered")
                 .arg(commandName(o.command),
                      write.writeAnswered() ? QStringLiteral("answered") : QStringLiteral("not answered"))
                 .arg(write.unansweredReadBacks()));
    if (write.succeeded())
        stopIfInterrupted(operation == WriteTransaction::Operation::Defaults
                              ? QStringLiteral("the board restored its factory configuration")
                              : QStringLiteral("the board holds what was written"));
    else if (write.sent())
        stopIfInterrupted(writeFailure(write));
    else
        stopIfInterrupted(QStringLiteral("nothing was written to the board"));

    // What a failed defaults adds to its --json error: it did not restore.
    const QJsonObject details =
        operation == WriteTransaction::Operation::Defaults
            ? QJsonObject{{QStringLiteral("restored"), false}, {QStringLiteral("acknowledged"), write.acknowledged()}}
            : QJsonObject{};
    switch (write.outcome()) {
    case Outcome::Held:
    case Outcome::HeldOther:
        break;
    case Outcome::Pending: // run() only returns once it has ended; never told as success
        throw CliFailure{ErrorCode::NoReply, QStringLiteral("the write did not finish"), details};
    case Outcome::NotAcknowledged:
        throw CliFailure{ErrorCode::HeldOther, writeFailure(write), details};
    case Outcome::NotSentRequest:
        throw CliFailure{ErrorCode::NoReply, writeFailure(write), details};
    case Outcome::NotSentHistory:
        throw CliFailure{ErrorCode::History,
                         QStringLiteral("nothing written to the board: the history cannot be recorded (%1); "
                                        "--no-history writes without it")
                             .arg(write.historyError())};
    case Outcome::NotSentFamily:
        throw CliFailure{ErrorCode::WrongFamily, writeFailure(write), details};
    case Outcome::NotSentLine:
        throw CliFailure{ErrorCode::NeverQuiet, writeFailure(write), details};
    case Outcome::NoAnswer:
        throw CliFailure{errorCodeOf(write.lastExchange()), writeFailure(write), details};
    case Outcome::NotSentUnread:
    case Outcome::ConnectionLost:
        throw CliFailure{ErrorCode::NoReply, writeFailure(write), details};
    }
    if (history) {
        progress(QStringLiteral("recorded the configuration before and after the write in %1").arg(history->path()));
        if (!write.historyError().isEmpty())
            warn(QStringLiteral("the history could not record the configuration after the write (%1)")
                     .arg(write.historyError()));
    }
    return write;
}

QJsonObject CliRunner::entryJson(const ConfigHistory::Entry &entry, const ConfigHistory::EntryChanges &changes)
{
    QJsonObject line = entry.json;
    line.insert(QStringLiteral("changes"), differencesJson(changes.differences, "from", "to"));
    if (changes.outcomeUnknown)
        line.insert(QStringLiteral("outcomeUnknown"), true);
    return line;
}

int CliRunner::history()
{
    HistoryReader reader(defaultPath(), EntryFilter{o.serial});
    if (const Result started = reader.start(); !started.ok())
        throw CliFailure(started);
    int shown = 0;
    while (!reader.atEnd() && (o.count == 0 || shown < o.count)) {
        const QList<ListedEntry> page = reader.next(o.count == 0 ? pageEntries : qMin(pageEntries, o.count - shown));
        for (const QString &warning : reader.takeWarnings())
            warn(warning);
        for (const ListedEntry &listed : page) {
            const Entry &e = listed.entry;
            ++shown;
            if (o.json) {
                QJsonObject line = entryJson(e, listed.changes);
                line.insert(QStringLiteral("index"), e.index);
                emitJson(line);
                continue;
            }
            QString line =
                QStringLiteral("%1  %2  %3  %4  %5 %6 %7 %8")
                    .arg(QString::number(e.index).rightJustified(4), localTime(e.time), e.config.serial,
                         e.config.productCode, e.event.leftJustified(8), HistoryWords::phaseWord(e).leftJustified(6),
                         e.tool.leftJustified(13), HistoryWords::changes(e, listed.changes));
            while (line.endsWith(QLatin1Char(' ')))
                line.chop(1);
            out << line << '\n';
        }
        // A reader that has taken what it wanted (| head) ends the listing.
        requireOutput();
    }
    if (shown == 0)
        note(o.serial.isEmpty() ? QStringLiteral("no entries in %1").arg(reader.path())
                                : QStringLiteral("no entries of board %1 in %2").arg(o.serial, reader.path()));
    return ExitOk;
}

int CliRunner::historyRestore()
{
    HistoryReader reader;
    reader.setChangesWanted(false);
    if (const Result started = reader.start(); !started.ok())
        throw CliFailure(started);
    // Read to the end: a number given twice (a history put together from
    // two, a numbering that started again) must not pick one of them.
    QList<Entry> found;
    NumberRuns kept;
    while (!reader.atEnd()) {
        for (const ListedEntry &listed : reader.next(pageEntries)) {
            kept.add(listed.entry.index);
            if (listed.entry.index == o.entry)
                found << listed.entry;
        }
        for (const QString &warning : reader.takeWarnings())
            warn(warning);
    }
    if (found.isEmpty())
        throw CliFailure{
            ErrorCode::BadFile,
            kept.isEmpty() ? QStringLiteral("the history is empty: there is no entry %1").arg(o.entry)
                           : QStringLiteral("the history has no entry %1 (it holds %2)").arg(o.entry).arg(kept.text())};
    const auto describe = [](const Entry &e) {
        return QStringLiteral("%1 %2 %3, %4, by %5").arg(e.config.serial, e.event, e.phase, localTime(e.time), e.tool);
    };
    if (found.size() > 1) {
        QStringList entries;
        for (const Entry &e : found)
            entries << describe(e);
        throw CliFailure{
            ErrorCode::BadFile,
            QStringLiteral("the history has %1 entries numbered %2, so which is meant is not clear: %3 "
                           "(history --json shows each; save the one wanted to a file and write it with config set)")
                .arg(found.size())
                .arg(o.entry)
                .arg(entries.join(QStringLiteral("; ")))};
    }
    const Entry &entry = found.first();
    const QString source = QStringLiteral("history entry %1").arg(o.entry);
    // An entry is what a board held: it goes back as it was, and what a file
    // would be refused for is only pointed out. The structure was checked
    // when the history was read.
    const ConfigLoad checked = checkRanges(entry.config);
    if (!checked.ok())
        warn(QStringLiteral("%1: %2").arg(source, checked.message));
    if (const std::optional<CrossedPair> crossed = crossedPair(entry.config))
        warn(QStringLiteral("%1: %2").arg(source, crossed->message()));
    progress(QStringLiteral("%1: %2").arg(source, describe(entry)));
    return writeConfig(entry.config, source, eventRestore);
}

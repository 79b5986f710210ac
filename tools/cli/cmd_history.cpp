// 'history' and 'history restore', and the entries config set, defaults and
// history restore leave around every write: what the board held before, and
// what it holds after, so that no write is beyond undoing.
#include "clirunner.h"

#include <QDateTime>
#include <QHash>
#include <QTextStream>
#include <algorithm>
#include <optional>

#include "confighistory.h"
#include "exchangetext.h"

using namespace ConfigHistory;

namespace {

const QString toolName = QStringLiteral("halvero-cli");

// The entries' numbers as runs, "1..40, 57..212": older ones go with a
// rotation, and a damaged line leaves a gap.
QString numbersText(const QList<Entry> &entries)
{
    QStringList runs;
    for (qsizetype i = 0; i < entries.size();) {
        qsizetype end = i;
        while (end + 1 < entries.size() && entries.at(end + 1).index == entries.at(end).index + 1)
            ++end;
        runs << (end == i ? QString::number(entries.at(i).index)
                          : QStringLiteral("%1..%2").arg(entries.at(i).index).arg(entries.at(end).index));
        i = end + 1;
    }
    return runs.join(QStringLiteral(", "));
}

} // namespace

bool CliRunner::historyOn() const
{
    return !o.noHistory && !disabledByEnvironment();
}

void CliRunner::warn(const QString &text)
{
    if (!o.quiet)
        err << "halvero-cli: warning: " << text << Qt::endl;
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
    write.run(*link);
    progress(QStringLiteral("%1 %2, %3 read-backs unanswered")
                 .arg(commandName(o.command), write.writeAnswered() ? QStringLiteral("answered") : QStringLiteral("not answered"))
                 .arg(write.unansweredReadBacks()));

    // What a failed defaults adds to its --json error: it did not restore.
    const QJsonObject details = operation == WriteTransaction::Operation::Defaults
                                    ? QJsonObject{{QStringLiteral("restored"), false},
                                                  {QStringLiteral("acknowledged"), write.acknowledged()}}
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

int CliRunner::history()
{
    const HistoryFile file;
    const ReadResult recorded = file.read();
    if (!recorded.ok())
        throw CliFailure(recorded);
    for (const QString &warning : recorded.warnings)
        warn(warning);

    const QList<Entry> &entries = recorded.entries;
    const QList<EntryChanges> changes = changesOf(entries);

    int shown = 0;
    for (int i = int(entries.size()) - 1; i >= 0; --i) {
        const Entry &e = entries.at(i);
        if (!o.serial.isEmpty() && normalSerial(e.config.serial) != normalSerial(o.serial))
            continue;
        ++shown;
        if (o.json) {
            QJsonObject line = e.json;
            line.insert(QStringLiteral("index"), e.index);
            line.insert(QStringLiteral("changes"), differencesJson(changes.at(i).differences, "from", "to"));
            emitJson(line);
            continue;
        }
        const QString changed = changesText(e, changes.at(i));
        QString line = QStringLiteral("%1  %2  %3  %4  %5 %6 %7 %8")
                           .arg(QString::number(e.index).rightJustified(4), localTime(e.time), e.config.serial,
                                e.config.productCode, e.event.leftJustified(8), e.phase.leftJustified(6),
                                e.tool.leftJustified(13), changed);
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        out << line << '\n';
    }
    if (shown == 0)
        note(o.serial.isEmpty() ? QStringLiteral("no entries in %1").arg(file.path())
                                : QStringLiteral("no entries of board %1 in %2").arg(o.serial, file.path()));
    return ExitOk;
}

int CliRunner::historyRestore()
{
    const ReadResult recorded = HistoryFile().read();
    if (!recorded.ok())
        throw CliFailure(recorded);
    for (const QString &warning : recorded.warnings)
        warn(warning);
    const auto found = std::find_if(recorded.entries.crbegin(), recorded.entries.crend(),
                                    [this](const Entry &e) { return e.index == o.entry; });
    if (found == recorded.entries.crend())
        throw CliFailure{ErrorCode::BadFile,
                         recorded.entries.isEmpty()
                             ? QStringLiteral("the history is empty: there is no entry %1").arg(o.entry)
                             : QStringLiteral("the history has no entry %1 (it holds %2)")
                                   .arg(o.entry)
                                   .arg(numbersText(recorded.entries))};
    const Entry &entry = *found;
    const QString source = QStringLiteral("history entry %1").arg(o.entry);
    // An entry is what a board held: it goes back as it was, and what a file
    // would be refused for is only pointed out. The structure was checked
    // when the history was read.
    const ConfigLoad checked = checkRanges(entry.config);
    if (!checked.ok())
        warn(QStringLiteral("%1: %2").arg(source, checked.message));
    if (const std::optional<CrossedPair> crossed = crossedPair(entry.config))
        warn(QStringLiteral("%1: %2").arg(source, crossed->message()));
    progress(QStringLiteral("%1: %2 %3 %4, %5, by %6")
                 .arg(source, entry.config.serial, entry.event, entry.phase, localTime(entry.time), entry.tool));
    return writeConfig(entry.config, source, eventRestore);
}

// 'history' and 'history restore', and the entries config set, defaults and
// history restore leave around every write: what the board held before, and
// what it holds after, so that no write is beyond undoing.
#include "clirunner.h"

#include <QDateTime>
#include <QHash>
#include <QTextStream>

#include "confighistory.h"

using namespace ConfigHistory;

namespace {

const QString toolName = QStringLiteral("halvero-cli");

QString now()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
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

void CliRunner::recordBefore(const QString &event)
{
    if (!historyOn())
        return;
    readOrFail(USBmsgConfig, USBoptNone, QStringLiteral("configuration (the history keeps it before a write)"));
    BoardConfig held = configFromRecord(*link);
    held.readAt = now();
    HistoryFile file;
    QString error;
    if (!file.append(makeEntry(held, event, phaseBefore, toolName), &error))
        throw CliFailure{ExitHistory,
                         QStringLiteral("nothing written to the board: the history cannot be recorded (%1); "
                                        "--no-history writes without it")
                             .arg(error),
                         {}};
    progress(QStringLiteral("recorded the configuration before the write in %1").arg(file.path()));
}

void CliRunner::recordAfter(const QString &event, bool recordHoldsBoard)
{
    if (!historyOn())
        return;
    if (!recordHoldsBoard && !read(USBmsgConfig)) {
        warn(QStringLiteral("the board did not send its configuration after the write; the history has no entry for it"));
        return;
    }
    BoardConfig held = configFromRecord(*link);
    held.readAt = now();
    QString error;
    if (!HistoryFile().append(makeEntry(held, event, phaseAfter, toolName), &error))
        warn(QStringLiteral("the history could not record the configuration after the write (%1)").arg(error));
}

int CliRunner::history()
{
    const HistoryFile file;
    const ReadResult recorded = file.read();
    if (!recorded.error.isEmpty())
        throw CliFailure{ExitBadFile, recorded.error, {}};
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
    if (!recorded.error.isEmpty())
        throw CliFailure{ExitBadFile, recorded.error, {}};
    for (const QString &warning : recorded.warnings)
        warn(warning);
    if (o.entry > recorded.entries.size())
        throw CliFailure{ExitBadFile,
                         recorded.entries.isEmpty()
                             ? QStringLiteral("the history is empty: there is no entry %1").arg(o.entry)
                             : QStringLiteral("the history has no entry %1 (it holds 1..%2)")
                                   .arg(o.entry)
                                   .arg(recorded.entries.size()),
                         {}};
    const Entry &entry = recorded.entries.at(o.entry - 1);
    const QString source = QStringLiteral("history entry %1").arg(o.entry);
    // The checks config set makes on a file; the structure was checked when
    // the history was read.
    const ConfigLoad checked = checkRanges(entry.config);
    if (!checked.ok())
        throw CliFailure{ExitOutOfRange, QStringLiteral("%1: %2").arg(source, checked.message), {}};
    progress(QStringLiteral("%1: %2 %3 %4, %5, by %6")
                 .arg(source, entry.config.serial, entry.event, entry.phase, localTime(entry.time), entry.tool));
    return writeConfig(entry.config, source, eventRestore);
}

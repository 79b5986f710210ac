// 'config get', 'config set' and 'config diff': a board's configuration kept
// in a file people can read and edit, checked whole before any of it is
// written, and compared field by field with what the board holds.
#include "clirunner.h"

#include <QDateTime>
#include <QLoggingCategory>
#include <QTextStream>

#include "boardformat.h"
#include "configfileread.h"
#include "confighistory.h"

int CliRunner::configGet()
{
    refuseOutputOnPort();
    connectBoard();
    readOrFail(USBmsgConfig, USBoptNone, QStringLiteral("configuration"));
    BoardConfig config = configFromRecord(*link);
    config.readAt = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    // The file is for people to read and edit, so it stays indented even
    // with --json; only what goes to a script comes as one line.
    if (toStdout()) {
        if (o.json)
            emitJson(configToJson(config));
        else
            out << configToText(config);
        return ExitOk;
    }
    const QString board = boardName();
    writeOutput(configToText(config));
    if (o.json)
        emitJson(QJsonObject{{QStringLiteral("file"), o.output},
                             {QStringLiteral("productCode"), config.productCode},
                             {QStringLiteral("serial"), config.serial},
                             {QStringLiteral("readAt"), config.readAt}});
    note(QStringLiteral("saved the configuration of %1 to %2").arg(board, o.output));
    return ExitOk;
}

// What the configuration commands were given.
Q_LOGGING_CATEGORY(lcCommands, "halvero.cli.commands")

int CliRunner::configSet()
{
    qCDebug(lcCommands).noquote() << "config set" << o.port << "from" << o.file;
    // The whole file is checked before the port is even opened; the entries
    // of the write name it, as a provisioning's do.
    const BoardConfig config = loadInput(true, &writtenFrom);
    return writeConfig(config, o.file, ConfigHistory::eventSave);
}

int CliRunner::writeConfig(const BoardConfig &config, const QString &source, const QString &event)
{
    connectBoard();
    requireFamily(config, source);
    if (!config.serial.isEmpty() && config.serial != serialText(*link))
        progress(QStringLiteral("%1 was read from board %2").arg(source, config.serial));
    // A file is meant to be copied between boards; a history entry is one
    // board's past, and another board with the same family takes it only
    // when asked to.
    if (event == ConfigHistory::eventRestore && !o.anyBoard && config.serial != serialText(*link))
        throw CliFailure{
            ErrorCode::OtherBoard,
            QStringLiteral("%1 was recorded from board %2, but the board on %3 is %4 (--any-board writes it anyway)")
                .arg(source, config.serial.isEmpty() ? QStringLiteral("(none)") : config.serial, o.port,
                     serialText(*link))};
    const bool restore = event == ConfigHistory::eventRestore;
    // A file may cross the trigger pair only where the board already holds it
    // so: a backup of such a board restores, a slip in an edited file does not
    // reach it. A history entry goes back as the board held it.
    if (!restore && crossedPair(config)) {
        readOrFail(USBmsgConfig, USBoptNone, QStringLiteral("configuration"));
        const BoardConfig held = configFromRecord(*link);
        if (const std::optional<CrossedPair> crossed = crossedPair(config, &held))
            throw CliFailure{ErrorCode::OutOfRange, QStringLiteral("%1: %2").arg(source, crossed->message())};
    }
    const WriteTransaction::Operation operation =
        restore ? WriteTransaction::Operation::Restore : WriteTransaction::Operation::Save;
    WriteTransaction write = runWrite(operation, config);
    if (write.outcome() == WriteTransaction::Outcome::HeldOther) {
        const QList<FieldDifference> &differences = write.differences();
        if (!o.json)
            printDifferences(differences, "board", "written");
        throw CliFailure{
            ErrorCode::HeldOther, writeFailure(write),
            QJsonObject{{QStringLiteral("differences"), differencesJson(differences, "board", "written")}}};
    }

    QJsonObject result{{QStringLiteral("written"), true},
                       {QStringLiteral("productCode"), productCodeText(*link)},
                       {QStringLiteral("serial"), serialText(*link)}};
    if (!o.verify) {
        if (o.json)
            emitJson(result);
        note(QStringLiteral("wrote the configuration to %1; it holds what was written").arg(boardName()));
        return ExitOk;
    }
    // The write's own answer already showed the values; --verify reads
    // them once more, as a separate request.
    readOrFail(USBmsgConfig, USBoptNone, QStringLiteral("configuration back"));
    const QList<FieldDifference> differences = diffConfigs(configFromRecord(*link), config);
    if (!differences.isEmpty()) {
        if (!o.json)
            printDifferences(differences, "board", "written");
        throw CliFailure{
            ErrorCode::HeldOther,
            QStringLiteral("verify failed: %1 of the written fields differ on %2")
                .arg(differences.size())
                .arg(boardName()),
            QJsonObject{{QStringLiteral("differences"), differencesJson(differences, "board", "written")}}};
    }
    result.insert(QStringLiteral("verified"), true);
    if (o.json)
        emitJson(result);
    note(QStringLiteral("wrote and verified the configuration of %1 (%2 fields)")
             .arg(boardName())
             .arg(configFields(config.family).size()));
    return ExitOk;
}

int CliRunner::configDiff()
{
    // Values out of range are still worth comparing, so only the
    // structure has to be right.
    const BoardConfig file = loadInput(false);
    connectBoard();
    requireFamily(file, o.file);
    readOrFail(USBmsgConfig, USBoptNone, QStringLiteral("configuration"));
    const QList<FieldDifference> differences = diffConfigs(configFromRecord(*link), file);
    if (o.json) {
        emitJson(QJsonObject{{QStringLiteral("equal"), differences.isEmpty()},
                             {QStringLiteral("differences"), differencesJson(differences, "board", "file")}});
    } else if (differences.isEmpty()) {
        note(QStringLiteral("no differences"));
    } else {
        printDifferences(differences, "board", "file");
    }
    return differences.isEmpty() ? ExitOk : ExitDiffers;
}

// A configuration file is under 2 KB; reading on past the bound would only
// fill memory from a device such as /dev/zero or a runaway pipe. The
// window reads its files by the same rules.
QByteArray CliRunner::readInputFile()
{
    const ConfigFileRead::Bytes read = ConfigFileRead::readFile(o.file);
    if (!read.ok())
        throw CliFailure(read);
    return read.data;
}

BoardConfig CliRunner::loadInput(bool forWrite, ConfigHistory::SourceFile *source)
{
    // Read once: a file replaced meanwhile must not be hashed as another
    // version than the one parsed.
    const QByteArray text = readInputFile();
    if (source)
        *source = ConfigHistory::SourceFile::of(o.file, text);
    const ConfigLoad load = forWrite ? loadConfigForWrite(text) : parseConfigJson(text);
    if (!load.ok())
        throw CliFailure{load.code, QStringLiteral("%1: %2").arg(o.file, load.message)};
    return load.config;
}

void CliRunner::requireFamily(const BoardConfig &config, const QString &source)
{
    const BoardFamily board = recordFamily(*link);
    if (board != config.family)
        throw CliFailure{ErrorCode::WrongFamily,
                         wrongFamilyMessage(source, config.family, o.port, productCodeText(*link))};
}

QJsonArray CliRunner::differencesJson(const QList<FieldDifference> &differences, const char *left, const char *right)
{
    QJsonArray list;
    for (const FieldDifference &d : differences) {
        const auto value = [&d](int v) { return d.field.boolean ? QJsonValue(v != 0) : QJsonValue(v); };
        list.append(QJsonObject{{QStringLiteral("field"), d.field.path},
                                {QStringLiteral("meaning"), d.field.meaning},
                                {QLatin1String(left), value(d.board)},
                                {QLatin1String(right), value(d.file)}});
    }
    return list;
}

void CliRunner::printDifferences(const QList<FieldDifference> &differences, const char *left, const char *right)
{
    for (const FieldDifference &d : differences)
        out << QStringLiteral("%1: %2 %3, %4 %5\n")
                   .arg(d.field.displayName(), QLatin1String(left), formatValue(d.field, d.board), QLatin1String(right),
                        formatValue(d.field, d.file));
}

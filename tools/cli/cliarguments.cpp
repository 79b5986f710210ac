// The command line of halvero-cli: one command per run, options that only
// make sense for some commands refused elsewhere, so a slip is reported
// instead of silently ignored.
#include "cliarguments.h"

#include <QCommandLineParser>

namespace {

const QStringList commandWords = {QStringLiteral("ports"), QStringLiteral("identify"), QStringLiteral("status"),
                                  QStringLiteral("config"), QStringLiteral("defaults"), QStringLiteral("dump"),
                                  QStringLiteral("history")};

} // namespace

QString commandName(CliCommand command)
{
    switch (command) {
    case CliCommand::Help: return QStringLiteral("help");
    case CliCommand::Version: return QStringLiteral("version");
    case CliCommand::Ports: return QStringLiteral("ports");
    case CliCommand::Identify: return QStringLiteral("identify");
    case CliCommand::Status: return QStringLiteral("status");
    case CliCommand::ConfigGet: return QStringLiteral("config get");
    case CliCommand::ConfigSet: return QStringLiteral("config set");
    case CliCommand::ConfigDiff: return QStringLiteral("config diff");
    case CliCommand::Defaults: return QStringLiteral("defaults");
    case CliCommand::Dump: return QStringLiteral("dump");
    case CliCommand::History: return QStringLiteral("history");
    case CliCommand::HistoryRestore: return QStringLiteral("history restore");
    }
    return QString();
}

QString helpText()
{
    return QStringLiteral(
        "Usage: halvero-cli COMMAND [ARGUMENTS] [OPTIONS]\n"
        "\n"
        "Identify, monitor, back up and restore Halvero parachute-system boards\n"
        "(08A3/08A2 switch boards, 04F2 trigger boards) over a serial port.\n"
        "\n"
        "Commands:\n"
        "  ports [-v]                       list the serial ports (-v: all about each,\n"
        "                                   with its /dev/serial/by-id path on Linux)\n"
        "  identify PORT                    product code, firmware, serial, chip ids\n"
        "  status PORT [--watch]            live values with units\n"
        "  config get PORT [-o FILE]        stored configuration as JSON\n"
        "  config set PORT FILE [--verify]  check FILE, then write it to the board\n"
        "  config diff PORT FILE            fields that differ between board and FILE\n"
        "  defaults PORT --yes              restore the factory configuration\n"
        "  dump PORT [-o FILE]              EEPROM dump text\n"
        "  history [--serial S]             the configurations recorded around every\n"
        "                                   write, newest first, with the fields changed\n"
        "  history restore PORT N [--verify] [--any-board]\n"
        "                                   write entry N of the history back, with the\n"
        "                                   checks of config set\n"
        "\n"
        "PORT is a name from 'ports' (ttyUSB0, COM3) or a device path (/dev/ttyACM0,\n"
        "/dev/serial/by-id/...).\n"
        "FILE may be - for standard input.\n"
        "\n"
        "Before config set, defaults and history restore write to a board, the\n"
        "configuration it holds is appended to the history, and after the write what\n"
        "it holds then: ~/.local/share/halvero/history.jsonl, or $HALVERO_HISTORY_FILE.\n"
        "--no-history or HALVERO_HISTORY=off write without it.\n"
        "\n"
        "Options:\n"
        "  --baud N           line speed (default 9600)\n"
        "  --json             one compact JSON object per line (per port, per poll);\n"
        "                     failures too, as {\"error\": ...}; -o files stay indented\n"
        "  -o, --output FILE  (config get, dump) write to FILE instead of standard output\n"
        "  --verify           (config set, history restore) read the configuration\n"
        "                     back and compare\n"
        "  --watch            (status) poll every 300 ms, one line each, until interrupted\n"
        "  --count N          (status --watch) stop after N polls\n"
        "  --yes              (defaults) confirm overwriting the configuration\n"
        "  --serial S         (history) only the entries of the board with serial S\n"
        "  --any-board        (history restore) write an entry of another board too\n"
        "  --no-history       (config set, defaults, history restore) do not record\n"
        "                     the configuration before and after the write\n"
        "  -q, --quiet        print only data and errors\n"
        "  -v, --verbose      print progress and the serial exchange on standard error;\n"
        "                     (ports) every fact about each port\n"
        "  -h, --help         print this text\n"
        "  --version          print the version\n"
        "\n"
        "Exit status:\n"
        "  0   success\n"
        "  1   usage: unknown command or option, missing or extra argument\n"
        "  2   bad file: unreadable, over 1 MiB, malformed JSON, unknown format\n"
        "      version, missing or unknown field; the history cannot be read or has\n"
        "      no entry N\n"
        "  3   a value in the file is out of range (the field is named), or\n"
        "      trigger.low is not below trigger.high\n"
        "  4   the file is for the other board family\n"
        "  5   no such port, or PORT is no serial port (a folder, /dev/null)\n"
        "  6   the port cannot be opened (permission, busy or locked, gone)\n"
        "  7   the board does not identify or does not reply\n"
        "  8   verify: the board does not hold what was written\n"
        "  9   refused: defaults without --yes\n"
        "  10  config diff: the board and the file differ\n"
        "  11  the output file or standard output cannot be written\n"
        "  12  the device keeps sending without pause (not a Halvero board,\n"
        "      or a wrong baud rate)\n"
        "  13  the history cannot be written: nothing was sent to the board\n"
        "      (--no-history writes without it)\n"
        "  14  history restore: the entry was recorded from a board with another\n"
        "      serial (--any-board writes it anyway)\n");
}

ParsedArguments parseArguments(const QStringList &arguments)
{
    ParsedArguments parsed;
    CliOptions &o = parsed.options;

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption baud(QStringLiteral("baud"), QString(), QStringLiteral("N"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")}, QString(), QStringLiteral("FILE"));
    const QCommandLineOption verify(QStringLiteral("verify"));
    const QCommandLineOption watch(QStringLiteral("watch"));
    const QCommandLineOption count(QStringLiteral("count"), QString(), QStringLiteral("N"));
    const QCommandLineOption yes(QStringLiteral("yes"));
    const QCommandLineOption quiet(QStringList{QStringLiteral("q"), QStringLiteral("quiet")});
    const QCommandLineOption verbose(QStringList{QStringLiteral("v"), QStringLiteral("verbose")});
    const QCommandLineOption serial(QStringLiteral("serial"), QString(), QStringLiteral("S"));
    const QCommandLineOption anyBoard(QStringLiteral("any-board"));
    const QCommandLineOption noHistory(QStringLiteral("no-history"));
    parser.addOptions({help, version, baud, json, output, verify, watch, count, yes, quiet, verbose, serial, anyBoard,
                       noHistory});

    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        parsed.error = unknown.isEmpty()
                           ? parser.errorText()
                           : QStringLiteral("unknown option '%1%2'")
                                 .arg(unknown.first().size() == 1 ? QStringLiteral("-") : QStringLiteral("--"),
                                      unknown.first());
        return parsed;
    }
    o.json = parser.isSet(json);
    if (parser.isSet(help)) {
        o.command = CliCommand::Help;
        return parsed;
    }
    if (parser.isSet(version)) {
        o.command = CliCommand::Version;
        return parsed;
    }

    const QStringList words = parser.positionalArguments();
    if (words.isEmpty()) {
        parsed.error = QStringLiteral("no command given");
        return parsed;
    }
    int expected = 2; // command and PORT
    const QString &word = words.first();
    if (word == QLatin1String("ports")) {
        o.command = CliCommand::Ports;
        expected = 1;
    } else if (word == QLatin1String("identify")) {
        o.command = CliCommand::Identify;
    } else if (word == QLatin1String("status")) {
        o.command = CliCommand::Status;
    } else if (word == QLatin1String("defaults")) {
        o.command = CliCommand::Defaults;
    } else if (word == QLatin1String("dump")) {
        o.command = CliCommand::Dump;
    } else if (word == QLatin1String("history")) {
        const QString sub = words.value(1);
        if (sub.isEmpty()) {
            o.command = CliCommand::History;
            expected = 1;
        } else if (sub == QLatin1String("restore")) {
            o.command = CliCommand::HistoryRestore;
            expected = 4;
        } else {
            parsed.error = QStringLiteral("unknown command 'history %1' (use history or history restore PORT N)").arg(sub);
            return parsed;
        }
    } else if (word == QLatin1String("config")) {
        const QString sub = words.value(1);
        if (sub == QLatin1String("get")) {
            o.command = CliCommand::ConfigGet;
            expected = 3;
        } else if (sub == QLatin1String("set")) {
            o.command = CliCommand::ConfigSet;
            expected = 4;
        } else if (sub == QLatin1String("diff")) {
            o.command = CliCommand::ConfigDiff;
            expected = 4;
        } else {
            // "config ttyUSB0" is most likely a forgotten subcommand, not a
            // misspelt one: show the three forms rather than echo the port.
            const QString forms = QStringLiteral("config get PORT, config set PORT FILE or config diff PORT FILE");
            parsed.error = words.size() <= 2
                               ? QStringLiteral("'config' needs a subcommand: %1").arg(forms)
                               : QStringLiteral("unknown command 'config %1' (use %2)").arg(sub, forms);
            return parsed;
        }
    } else {
        parsed.error = QStringLiteral("unknown command '%1' (one of: %2)").arg(word, commandWords.join(QStringLiteral(", ")));
        return parsed;
    }

    const QString name = commandName(o.command);
    if (words.size() > expected) {
        parsed.error = QStringLiteral("unexpected argument '%1' for '%2'").arg(words.at(expected), name);
        return parsed;
    }
    const bool restore = o.command == CliCommand::HistoryRestore;
    const int firstOperand = word == QLatin1String("config") || restore ? 2 : 1;
    if (words.size() < expected) {
        const QString second = restore ? QStringLiteral("an entry number N") : QStringLiteral("a FILE");
        parsed.error = QStringLiteral("'%1' needs %2").arg(name, words.size() <= firstOperand ? QStringLiteral("a PORT") : second);
        return parsed;
    }
    if (expected > 1)
        o.port = words.at(firstOperand);
    if (restore) {
        bool ok = false;
        o.entry = words.at(firstOperand + 1).toInt(&ok);
        if (!ok || o.entry <= 0) {
            parsed.error = QStringLiteral("'history restore' needs an entry number as listed by 'history', not '%1'")
                               .arg(words.at(firstOperand + 1));
            return parsed;
        }
    } else if (expected > firstOperand + 1) {
        o.file = words.at(firstOperand + 1);
    }

    // An option that means nothing to the command is most likely a mistake
    // (a --verify on a diff, say) that the user would want to hear about.
    const struct {
        const QCommandLineOption &option;
        QList<CliCommand> commands;
    } limitedOptions[] = {
        {output, {CliCommand::ConfigGet, CliCommand::Dump}},
        {verify, {CliCommand::ConfigSet, CliCommand::HistoryRestore}},
        {watch, {CliCommand::Status}},
        {count, {CliCommand::Status}},
        {yes, {CliCommand::Defaults}},
        {serial, {CliCommand::History}},
        {anyBoard, {CliCommand::HistoryRestore}},
        {noHistory, {CliCommand::ConfigSet, CliCommand::Defaults, CliCommand::HistoryRestore}},
        {baud, {CliCommand::Identify, CliCommand::Status, CliCommand::ConfigGet, CliCommand::ConfigSet,
                CliCommand::ConfigDiff, CliCommand::Defaults, CliCommand::Dump, CliCommand::HistoryRestore}},
    };
    for (const auto &rule : limitedOptions) {
        if (parser.isSet(rule.option) && !rule.commands.contains(o.command)) {
            QString optionName = rule.option.names().constLast();
            for (const QString &typed : parser.optionNames())
                if (rule.option.names().contains(typed))
                    optionName = typed;
            parsed.error = QStringLiteral("option %1%2 does not apply to '%3'")
                               .arg(optionName.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), optionName, name);
            return parsed;
        }
    }

    o.quiet = parser.isSet(quiet);
    o.verbose = parser.isSet(verbose);
    o.watch = parser.isSet(watch);
    o.verify = parser.isSet(verify);
    o.yes = parser.isSet(yes);
    o.output = parser.value(output);
    o.serial = parser.value(serial);
    o.anyBoard = parser.isSet(anyBoard);
    o.noHistory = parser.isSet(noHistory);
    if (o.quiet && o.verbose) {
        parsed.error = QStringLiteral("-q and -v cannot be combined");
        return parsed;
    }
    // --baud N and --count N take a positive whole number.
    auto positive = [&parser, &parsed](const QCommandLineOption &option, auto *value) {
        if (!parser.isSet(option))
            return true;
        bool ok = false;
        *value = parser.value(option).toInt(&ok);
        if (ok && *value > 0)
            return true;
        parsed.error = QStringLiteral("--%1 needs a positive whole number, not '%2'")
                           .arg(option.names().constLast(), parser.value(option));
        return false;
    };
    if (!positive(baud, &o.baud) || !positive(count, &o.count))
        return parsed;
    if (parser.isSet(count)) {
        if (!o.watch) {
            parsed.error = QStringLiteral("--count only makes sense with --watch");
            return parsed;
        }
    }
    return parsed;
}

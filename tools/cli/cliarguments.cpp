// The command line of halvero-cli: one command per run, options that only
// make sense for some commands refused elsewhere, so a slip is reported
// instead of silently ignored.
#include "cliarguments.h"

#include <QCommandLineParser>

#include "clicommands.h"

namespace {

// "a PORT", said of an operand that is missing.
QString missingOperand(Operand operand)
{
    switch (operand) {
    case Operand::Port:
        return QStringLiteral("a PORT");
    case Operand::File:
        return QStringLiteral("a FILE");
    case Operand::Entry:
        return QStringLiteral("an entry number N");
    case Operand::Ports:
        return QStringLiteral("a PORT, --all or --slots FILE");
    }
    return QString();
}

// "config get PORT": a command's words with its operands.
QString commandForm(const CommandRow &row)
{
    QStringList parts{row.words};
    for (Operand operand : row.operands)
        parts << operandName(operand);
    return parts.join(QLatin1Char(' '));
}

// The commands a first word starts, in table order.
QList<const CommandRow *> commandsStartingWith(const QString &word)
{
    QList<const CommandRow *> found;
    for (const CommandRow &row : commandTable())
        if (!row.byOption && row.words.section(QLatin1Char(' '), 0, 0) == word)
            found << &row;
    return found;
}

// "a, b or c"
QString alternatives(const QStringList &forms)
{
    if (forms.size() < 2)
        return forms.join(QString());
    return forms.mid(0, forms.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" or ") + forms.last();
}

// The "Commands:" part of --help: the synopsis in a column of its own, the
// description beside it, or below it when the synopsis does not leave room.
QString commandsHelp()
{
    constexpr int column = 35;
    const QString indent(column, QLatin1Char(' '));
    QString text;
    for (const CommandRow &row : commandTable()) {
        if (row.byOption)
            continue;
        QString synopsis = QStringLiteral("  ") + commandForm(row);
        if (!row.usage.isEmpty())
            synopsis += QLatin1Char(' ') + row.usage;
        text += synopsis.size() + 2 <= column ? synopsis.leftJustified(column) : synopsis + QLatin1Char('\n') + indent;
        text += row.help.split(QLatin1Char('\n')).join(QLatin1Char('\n') + indent) + QLatin1Char('\n');
    }
    return text;
}

} // namespace

QDateTime sinceTime(const QString &text)
{
    QString iso = text.trimmed();
    if (iso.size() > 10 && iso.at(10) == QLatin1Char(' '))
        iso[10] = QLatin1Char('T');
    if (iso.size() == 10) {
        const QDate day = QDate::fromString(iso, Qt::ISODate);
        return day.isValid() ? day.startOfDay() : QDateTime();
    }
    return QDateTime::fromString(iso, Qt::ISODateWithMs);
}

QString commandName(CliCommand command)
{
    return commandRow(command).words;
}

QString helpText()
{
    return QStringLiteral("Usage: halvero-cli COMMAND [ARGUMENTS] [OPTIONS]\n"
                          "\n"
                          "Identify, monitor, back up, restore and provision Halvero parachute-system\n"
                          "boards (08A3/08A2 switch boards, 04F2 trigger boards) over a serial port.\n"
                          "\n"
                          "Commands:\n")
           + commandsHelp()
           + QStringLiteral("\n"
                            "PORT is a name from 'ports' (ttyUSB0, COM3) or a device path (/dev/ttyACM0,\n"
                            "/dev/serial/by-id/...).\n"
                            "FILE may be - for standard input.\n"
                            "\n"
                            "Before config set, defaults, history restore and provision write to a board,\n"
                            "the configuration it holds is appended to the history, and after the write\n"
                            "what it holds then: ~/.local/share/halvero/history.jsonl, or\n"
                            "$HALVERO_HISTORY_FILE.\n"
                            "--no-history or HALVERO_HISTORY=off write without it.\n"
                            "With a factory's record configured (--record or $HALVERO_RECORD, station\n"
                            "$HALVERO_STATION or the host name), every entry is then forwarded to it;\n"
                            "what the record does not take within a few seconds waits, never failing\n"
                            "the write, until 'record push'.\n"
                            "\n"
                            "provision works on every port at once, each board on its own: one board's\n"
                            "failure neither stops nor slows the others. Each port ends in one outcome:\n"
                            "held, other-values, no-answer, skipped-family, no-board, busy or error.\n"
                            "Ctrl-C, SIGTERM and a closed terminal (SIGHUP) leave boards not yet written\n"
                            "untouched and let writes under way finish; the report is written all the\n"
                            "same. Boards that share a serial number are named in each other's line.\n"
                            "check writes nothing: its outcomes are matches, differs, skipped-family,\n"
                            "no-board, busy or error, and each board's configuration is recorded in the\n"
                            "history as a check.\n"
                            "\n"
                            "A slots file names the bench's sockets, one a line: NAME PORT (best a\n"
                            "/dev/serial/by-path/ name, see ports -v); # starts a comment. The lines,\n"
                            "summary and report then carry the slot, in the file's order; a slot whose\n"
                            "port is not there is no-board.\n"
                            "\n"
                            "Options:\n"
                            "  --baud N           line speed (default 9600)\n"
                            "  --json             one compact JSON object per line (per port, per poll);\n"
                            "                     failures too, as {\"error\": ...}; -o files stay indented\n"
                            "  -o, --output FILE  (config get, dump) write to FILE instead of standard output\n"
                            "  --verify           (config set, history restore, provision) read the\n"
                            "                     configuration back and compare\n"
                            "  --watch            (status) poll every 300 ms, one line each, until interrupted\n"
                            "  --count N          (status --watch) stop after N polls; (history, record\n"
                            "                     show) show the newest N entries\n"
                            "  --yes              (defaults) confirm overwriting the configuration\n"
                            "  --serial S         (history, record show) only the entries of the board\n"
                            "                     with serial S\n"
                            "  --any-board        (history restore) write an entry of another board too\n"
                            "  --no-history       (config set, defaults, history restore, provision, check)\n"
                            "                     do not record the configuration before and after the\n"
                            "                     write (check: the configuration compared)\n"
                            "  --all              (identify, provision, check) also every port 'ports'\n"
                            "                     lists: each is opened and sent the identity request;\n"
                            "                     busy ones are reported, not waited for\n"
                            "  --slots FILE       (identify, provision, check) the ports of the slots in\n"
                            "                     FILE, instead of PORT... and --all\n"
                            "  --jobs N           (provision, check) at most N boards at once (default: all)\n"
                            "  --report FILE      (provision, check) one row per port: JSON lines for\n"
                            "                     .jsonl, CSV for .csv; checked before any port is opened\n"
                            "                     (no folder, device or read-only file); a file that was\n"
                            "                     there stays whole on failure\n"
                            "  --record URI       (config set, defaults, history restore, provision, check,\n"
                            "                     record) the factory's record, a PostgreSQL connection\n"
                            "                     string: postgresql://[user@]host[:port]/dbname[?...] or\n"
                            "                     host=H dbname=D ...; else $HALVERO_RECORD. Give the password\n"
                            "                     in $HALVERO_RECORD, PGPASSWORD or ~/.pgpass, never here:\n"
                            "                     a command line is seen by every user of the machine\n"
                            "  --station N        (record show) only the entries of bench N\n"
                            "  --history          (record push) every entry of the local history, not only\n"
                            "                     those after the mark; the record keeps each once\n"
                            "  --since TIME       (record show) only entries from TIME on (2026-05-04,\n"
                            "                     2026-05-04T10:30; local time unless Z or an offset)\n"
                            "  -q, --quiet        print only data and errors\n"
                            "  -v, --verbose      print progress and the serial exchange on standard error;\n"
                            "                     (ports) every fact about each port\n"
                            "  -h, --help         print this text\n"
                            "  --version          print the version\n"
                            "\n"
                            "Exit status:\n"
                            "  0   success\n"
                            "  1   usage: unknown command or option, missing or extra argument\n"
                            "  2   bad file: unreadable, over 1 MiB, malformed JSON, a key set twice,\n"
                            "      unknown format version, missing or unknown field; the history cannot\n"
                            "      be read, or has no entry N or two of that number\n"
                            "  3   a value in the file is out of range (the field is named), or the\n"
                            "      file sets trigger.low not below trigger.high where the board does not\n"
                            "      already hold them so\n"
                            "  4   the file is for the other board family\n"
                            "  5   no such port, or PORT is no serial port (a folder, /dev/null)\n"
                            "  6   the port cannot be opened (permission, busy or locked, gone)\n"
                            "  7   the board does not identify or does not reply (defaults: no answer;\n"
                            "      identify with several ports: no board on any of them)\n"
                            "  8   verify: the board does not hold what was written; defaults: the\n"
                            "      board answered, but not with its acknowledgement\n"
                            "  9   refused: defaults without --yes\n"
                            "  10  config diff: the board and the file differ\n"
                            "  11  the output file or standard output cannot be written (a pipe nobody\n"
                            "      reads, the board's own port); provision: a --report that cannot be,\n"
                            "      before any board is touched\n"
                            "  12  the device keeps sending without pause (not a Halvero board,\n"
                            "      or a wrong baud rate)\n"
                            "  13  the history cannot be written: nothing was sent to the board\n"
                            "      (--no-history writes without it)\n"
                            "  14  history restore: the entry was recorded from a board with another\n"
                            "      serial (--any-board writes it anyway)\n"
                            "  15  provision: not every board holds the configuration; check: not every\n"
                            "      board matches FILE (the summary and the report say which and why)\n"
                            "  16  interrupted (SIGINT, SIGTERM, SIGHUP): the exchange under way was\n"
                            "      finished, what is known recorded, the port closed; provision: while\n"
                            "      its report waited for a pipe's reader\n"
                            "  17  the program reading standard output went away (| head)\n"
                            "  18  record: the record cannot be reached or refuses (the reason is\n"
                            "      given, the password masked), or none is configured\n");
}

ExitCode exitCodeFor(ErrorCode code)
{
    static const struct
    {
        ErrorCode code;
        ExitCode exit;
    } exitCodes[] = {
        {ErrorCode::None, ExitOk},
        {ErrorCode::Usage, ExitUsage},
        {ErrorCode::BadFile, ExitBadFile},
        {ErrorCode::OutOfRange, ExitOutOfRange},
        {ErrorCode::WrongFamily, ExitWrongFamily},
        {ErrorCode::NoSuchPort, ExitNoSuchPort},
        {ErrorCode::PortOpen, ExitPortOpen},
        {ErrorCode::NoReply, ExitNoReply},
        {ErrorCode::HeldOther, ExitVerifyFailed},
        {ErrorCode::Refused, ExitRefused},
        {ErrorCode::OutputFile, ExitOutputFile},
        {ErrorCode::NeverQuiet, ExitNeverQuiet},
        {ErrorCode::History, ExitHistory},
        {ErrorCode::OtherBoard, ExitOtherBoard},
        {ErrorCode::Interrupted, ExitInterrupted},
        {ErrorCode::OutputClosed, ExitOutputClosed},
        {ErrorCode::Record, ExitRecord},
    };
    for (const auto &row : exitCodes)
        if (row.code == code)
            return row.exit;
    return ExitUsage;
}

namespace {

ParsedArguments parse(const QStringList &arguments)
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
    const QCommandLineOption all(QStringLiteral("all"));
    const QCommandLineOption jobs(QStringLiteral("jobs"), QString(), QStringLiteral("N"));
    const QCommandLineOption report(QStringLiteral("report"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption benchSlots(QStringLiteral("slots"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption record(QStringLiteral("record"), QString(), QStringLiteral("URI"));
    const QCommandLineOption station(QStringLiteral("station"), QString(), QStringLiteral("N"));
    const QCommandLineOption since(QStringLiteral("since"), QString(), QStringLiteral("TIME"));
    const QCommandLineOption wholeHistory(QStringLiteral("history"));
    parser.addOptions({help,   version,    baud,    json,    output,   verify,      watch, count,
                       yes,    quiet,      verbose, serial,  anyBoard, noHistory,   all,   jobs,
                       report, benchSlots, record,  station, since,    wholeHistory});

    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        parsed.message =
            unknown.isEmpty()
                ? parser.errorText()
                : QStringLiteral("unknown option '%1%2'")
                      .arg(unknown.first().size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), unknown.first());
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
        parsed.message = QStringLiteral("no command given");
        return parsed;
    }
    // The command: its first word, then a second one where several commands
    // share the first ("config get", "history restore").
    const QString &word = words.first();
    const QList<const CommandRow *> group = commandsStartingWith(word);
    if (group.isEmpty()) {
        QStringList firstWords;
        for (const CommandRow &row : commandTable()) {
            const QString first = row.words.section(QLatin1Char(' '), 0, 0);
            if (!row.byOption && !firstWords.contains(first))
                firstWords << first;
        }
        parsed.message =
            QStringLiteral("unknown command '%1' (one of: %2)").arg(word, firstWords.join(QStringLiteral(", ")));
        return parsed;
    }
    const CommandRow *row = nullptr;
    const QString sub = words.value(1);
    for (const CommandRow *candidate : group)
        if (candidate->words == word + QLatin1Char(' ') + sub || (!row && candidate->words == word))
            row = candidate;
    if (!row || (group.size() > 1 && row->words == word && row->operands.isEmpty() && !sub.isEmpty())) {
        QStringList forms;
        for (const CommandRow *candidate : group)
            forms << commandForm(*candidate);
        // "config ttyUSB0" is most likely a forgotten subcommand, not a
        // misspelt one: show the forms rather than echo the port.
        parsed.message = !row && words.size() <= 2
                             ? QStringLiteral("'%1' needs a subcommand: %2").arg(word, alternatives(forms))
                             : QStringLiteral("unknown command '%1 %2' (use %3)").arg(word, sub, alternatives(forms));
        return parsed;
    }
    o.command = row->command;

    const QString &name = row->words;
    const int firstOperand = int(name.count(QLatin1Char(' '))) + 1;
    const int expected = firstOperand + int(row->operands.size());
    const bool manyPorts = !row->operands.isEmpty() && row->operands.last() == Operand::Ports;
    if (words.size() > expected && !manyPorts) {
        parsed.message = QStringLiteral("unexpected argument '%1' for '%2'").arg(words.at(expected), name);
        return parsed;
    }
    const bool portsByOption = parser.isSet(all) || parser.isSet(benchSlots);
    if (words.size() < expected && !(manyPorts && words.size() == expected - 1 && portsByOption)) {
        parsed.message =
            QStringLiteral("'%1' needs %2").arg(name, missingOperand(row->operands.at(words.size() - firstOperand)));
        return parsed;
    }
    for (int i = 0; i < row->operands.size(); ++i) {
        if (row->operands.at(i) == Operand::Ports) {
            o.ports = words.mid(firstOperand + i);
            o.port = o.ports.size() == 1 ? o.ports.first() : QString();
            break;
        }
        const QString &operand = words.at(firstOperand + i);
        switch (row->operands.at(i)) {
        case Operand::Port:
            o.port = operand;
            break;
        case Operand::File:
            o.file = operand;
            break;
        case Operand::Entry: {
            bool ok = false;
            o.entry = operand.toInt(&ok);
            if (!ok || o.entry <= 0) {
                parsed.message =
                    QStringLiteral("'%1' needs an entry number as listed by 'history', not '%2'").arg(name, operand);
                return parsed;
            }
            break;
        }
        case Operand::Ports:
            break;
        }
    }

    // An option that means nothing to the command is most likely a mistake
    // (a --verify on a diff, say) that the user would want to hear about.
    const struct
    {
        const QCommandLineOption &option;
        CommandOption bit;
    } limitedOptions[] = {
        {output, OptOutput},
        {verify, OptVerify},
        {watch, OptWatch},
        {count, OptCount},
        {yes, OptYes},
        {serial, OptSerial},
        {anyBoard, OptAnyBoard},
        {noHistory, OptNoHistory},
        {baud, OptBaud},
        {all, OptAll},
        {jobs, OptJobs},
        {report, OptReport},
        {benchSlots, OptSlots},
        {record, OptRecord},
        {station, OptStation},
        {since, OptSince},
        {wholeHistory, OptWholeHistory},
    };
    for (const auto &rule : limitedOptions) {
        if (parser.isSet(rule.option) && !(row->options & rule.bit)) {
            QString optionName = rule.option.names().constLast();
            for (const QString &typed : parser.optionNames())
                if (rule.option.names().contains(typed))
                    optionName = typed;
            parsed.message =
                QStringLiteral("option %1%2 does not apply to '%3'")
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
    o.all = parser.isSet(all);
    o.report = parser.value(report);
    o.record = parser.value(record);
    o.station = parser.value(station);
    o.wholeHistory = parser.isSet(wholeHistory);
    if (parser.isSet(since)) {
        o.since = sinceTime(parser.value(since));
        if (!o.since.isValid()) {
            parsed.message = QStringLiteral("--since needs a date or a time, such as 2026-05-04 or 2026-05-04T10:30 "
                                            "(local time unless it ends in Z or an offset), not '%1'")
                                 .arg(parser.value(since));
            return parsed;
        }
    }
    if (parser.isSet(record) && o.record.trimmed().isEmpty()) {
        parsed.message = QStringLiteral("--record needs a URI: postgresql://[user@]host[:port]/dbname");
        return parsed;
    }
    o.slotsFile = parser.value(benchSlots);
    // The slots file names the bench's ports, each once and in its order.
    if (parser.isSet(benchSlots) && (o.all || !o.ports.isEmpty())) {
        parsed.message = QStringLiteral("--slots names the ports itself: give no PORT and no --all with it");
        return parsed;
    }
    if (o.quiet && o.verbose) {
        parsed.message = QStringLiteral("-q and -v cannot be combined");
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
        parsed.message = QStringLiteral("--%1 needs a positive whole number, not '%2'")
                             .arg(option.names().constLast(), parser.value(option));
        return false;
    };
    if (!positive(baud, &o.baud) || !positive(count, &o.count) || !positive(jobs, &o.jobs))
        return parsed;
    // The report's format goes by its name, and is known before any board
    // is touched.
    if (parser.isSet(report) && !o.report.endsWith(QLatin1String(".jsonl"), Qt::CaseInsensitive)
        && !o.report.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)) {
        parsed.message =
            QStringLiteral("--report needs a file name ending in .jsonl (JSON lines) or .csv, not '%1'").arg(o.report);
        return parsed;
    }
    if (parser.isSet(count) && o.command == CliCommand::Status && !o.watch) {
        parsed.message = QStringLiteral("--count only makes sense with --watch");
        return parsed;
    }
    return parsed;
}

} // namespace

ParsedArguments parseArguments(const QStringList &arguments)
{
    ParsedArguments parsed = parse(arguments);
    if (!parsed.message.isEmpty())
        parsed.code = ErrorCode::Usage;
    return parsed;
}

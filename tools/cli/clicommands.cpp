// The commands of halvero-cli: argument handling, port opening with a
// diagnosis when it fails, and each command's exchange with the board.
#include "clicommands.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSerialPortInfo>
#include <QTextStream>
#include <QThread>
#include <QTime>
#include <csignal>
#include <memory>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "boardformat.h"
#include "boardconfig.h"
#include "parachuteradiocomm.h"
#include "portdiagnosis.h"

#ifndef HALVERO_VERSION
#define HALVERO_VERSION "0"
#endif

namespace {

// The window polls at this rate too; the boards are known to keep up with it.
constexpr int watchPeriodMs = 300;
// One retry of a read absorbs a late reply left over from before we opened
// the port; writes are never repeated.
constexpr int readAttempts = 2;

volatile std::sig_atomic_t interrupted = 0;

void onInterrupt(int)
{
    interrupted = 1;
}

// Routes the link's own diagnostics: shown with -v, otherwise kept off the
// error stream so that a failure stays the one line a script expects.
QTextStream *logStream = nullptr;
bool logVerbose = false;

void logHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (!logStream || (!logVerbose && type != QtCriticalMsg && type != QtFatalMsg))
        return;
    *logStream << "halvero-cli: link: " << message << Qt::endl;
}

struct CliFailure
{
    ExitCode code;
    QString message;
    QJsonObject details; // extra members of the --json error object
};

const QStringList commandWords = {QStringLiteral("ports"), QStringLiteral("identify"), QStringLiteral("status"),
                                  QStringLiteral("config"), QStringLiteral("defaults"), QStringLiteral("dump")};

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
        "  ports                            list the serial ports\n"
        "  identify PORT                    product code, firmware, serial, chip ids\n"
        "  status PORT [--watch]            live values with units\n"
        "  config get PORT [-o FILE]        stored configuration as JSON\n"
        "  config set PORT FILE [--verify]  check FILE, then write it to the board\n"
        "  config diff PORT FILE            fields that differ between board and FILE\n"
        "  defaults PORT --yes              restore the factory configuration\n"
        "  dump PORT [-o FILE]              EEPROM dump text\n"
        "\n"
        "PORT is a name from 'ports' (ttyUSB0, COM3) or a device path (/dev/ttyACM0).\n"
        "FILE may be - for standard input.\n"
        "\n"
        "Options:\n"
        "  --baud N           line speed (default 9600)\n"
        "  --json             machine-readable output; failures too, as {\"error\": ...}\n"
        "  -o, --output FILE  (config get, dump) write to FILE instead of standard output\n"
        "  --verify           (config set) read the configuration back and compare\n"
        "  --watch            (status) poll every 300 ms, one line each, until interrupted\n"
        "  --count N          (status --watch) stop after N polls\n"
        "  --yes              (defaults) confirm overwriting the configuration\n"
        "  -q, --quiet        print only data and errors\n"
        "  -v, --verbose      print progress and the serial exchange on standard error\n"
        "  -h, --help         print this text\n"
        "  --version          print the version\n"
        "\n"
        "Exit status:\n"
        "  0   success\n"
        "  1   usage: unknown command or option, missing or extra argument\n"
        "  2   bad file: unreadable, malformed JSON, unknown format version,\n"
        "      missing or unknown field\n"
        "  3   a value in the file is out of range (the field is named)\n"
        "  4   the file is for the other board family\n"
        "  5   no such port\n"
        "  6   the port cannot be opened (permission, busy or locked, gone)\n"
        "  7   the board does not identify or does not reply\n"
        "  8   verify: the board does not hold what was written\n"
        "  9   refused: defaults without --yes\n"
        "  10  config diff: the board and the file differ\n"
        "  11  the output file cannot be written\n");
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
    parser.addOptions({help, version, baud, json, output, verify, watch, count, yes, quiet, verbose});

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
            parsed.error = sub.isEmpty() ? QStringLiteral("'config' needs get, set or diff")
                                         : QStringLiteral("unknown command 'config %1' (config takes get, set or diff)").arg(sub);
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
    const int firstOperand = word == QLatin1String("config") ? 2 : 1;
    if (words.size() < expected) {
        parsed.error = QStringLiteral("'%1' needs %2").arg(name, words.size() <= firstOperand ? QStringLiteral("a PORT")
                                                                                              : QStringLiteral("a FILE"));
        return parsed;
    }
    if (expected > 1)
        o.port = words.at(firstOperand);
    if (expected > firstOperand + 1)
        o.file = words.at(firstOperand + 1);

    // An option that means nothing to the command is most likely a mistake
    // (a --verify on a diff, say) that the user would want to hear about.
    const struct {
        const QCommandLineOption &option;
        QList<CliCommand> commands;
    } limitedOptions[] = {
        {output, {CliCommand::ConfigGet, CliCommand::Dump}},
        {verify, {CliCommand::ConfigSet}},
        {watch, {CliCommand::Status}},
        {count, {CliCommand::Status}},
        {yes, {CliCommand::Defaults}},
        {baud, {CliCommand::Identify, CliCommand::Status, CliCommand::ConfigGet, CliCommand::ConfigSet,
                CliCommand::ConfigDiff, CliCommand::Defaults, CliCommand::Dump}},
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
    if (o.quiet && o.verbose) {
        parsed.error = QStringLiteral("-q and -v cannot be combined");
        return parsed;
    }
    if (parser.isSet(baud)) {
        bool ok = false;
        o.baud = parser.value(baud).toInt(&ok);
        if (!ok || o.baud <= 0) {
            parsed.error = QStringLiteral("--baud needs a positive whole number, not '%1'").arg(parser.value(baud));
            return parsed;
        }
    }
    if (parser.isSet(count)) {
        bool ok = false;
        o.count = parser.value(count).toInt(&ok);
        if (!ok || o.count <= 0) {
            parsed.error = QStringLiteral("--count needs a positive whole number, not '%1'").arg(parser.value(count));
            return parsed;
        }
        if (!o.watch) {
            parsed.error = QStringLiteral("--count only makes sense with --watch");
            return parsed;
        }
    }
    return parsed;
}

namespace {

class CliRunner
{
public:
    CliRunner(const CliOptions &options, QTextStream &out, QTextStream &err)
        : o(options), out(out), err(err)
    {
    }

    int run()
    {
        switch (o.command) {
        case CliCommand::Help: out << helpText(); return ExitOk;
        case CliCommand::Version: out << "halvero-cli " HALVERO_VERSION "\n"; return ExitOk;
        case CliCommand::Ports: return ports();
        case CliCommand::Identify: return identify();
        case CliCommand::Status: return status();
        case CliCommand::ConfigGet: return configGet();
        case CliCommand::ConfigSet: return configSet();
        case CliCommand::ConfigDiff: return configDiff();
        case CliCommand::Defaults: return defaults();
        case CliCommand::Dump: return dump();
        }
        return ExitUsage;
    }

private:
    const CliOptions &o;
    QTextStream &out;
    QTextStream &err;
    std::unique_ptr<parachuteRadioComm> link;
    QString portPath;

    void progress(const QString &text)
    {
        if (o.verbose)
            err << "halvero-cli: " << text << Qt::endl;
    }

    // Confirmations for a person; data goes out regardless of -q.
    void note(const QString &text)
    {
        if (!o.quiet && !o.json)
            out << text << '\n';
    }

    void emitJson(const QJsonObject &object)
    {
        out << QJsonDocument(object).toJson(QJsonDocument::Compact) << '\n';
    }

    QString boardName() const
    {
        return QStringLiteral("%1 board %2").arg(productCodeText(*link), serialText(*link));
    }

    QString resolvePort(const QString &port)
    {
        QString path;
        if (port.contains(QLatin1Char('/'))) {
            // Pseudo-terminals and udev symlinks are not listed as ports
            // but are as good a serial device as any.
            if (QFileInfo::exists(port))
                path = port;
        } else {
            for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
                if (info.portName() == port)
                    path = info.systemLocation();
            }
#ifdef Q_OS_UNIX
            if (path.isEmpty() && QFileInfo::exists(QStringLiteral("/dev/") + port))
                path = QStringLiteral("/dev/") + port;
#endif
        }
        if (path.isEmpty())
            throw CliFailure{ExitNoSuchPort, QStringLiteral("no such port: %1 (halvero-cli ports lists them)").arg(port), {}};
#ifdef Q_OS_UNIX
        struct stat info;
        if (::stat(QFile::encodeName(path).constData(), &info) == 0 && !S_ISCHR(info.st_mode))
            throw CliFailure{ExitNoSuchPort, QStringLiteral("%1 is not a serial device").arg(port), {}};
#endif
        return path;
    }

    // Open the port and make sure a board of a known family answers on it:
    // nothing else is sent to a device that has not identified itself.
    void connectBoard()
    {
        portPath = resolvePort(o.port);
        progress(QStringLiteral("opening %1 at %2 baud").arg(portPath).arg(o.baud));
        link = std::make_unique<parachuteRadioComm>(portPath, o.baud);
        if (!link->isConnected()) {
            const QString message = describeOpenFailure(portPath, serialPort);
            link.reset();
            throw CliFailure{ExitPortOpen, message, {}};
        }
        if (!read(USBmsgIdentity)) {
            const uint16_t code = uint16_t(link->productCodeHigh << 8 | link->productCodeLow);
            QString message;
            if (code == 0)
                message = QStringLiteral("no reply from a board on %1 (powered? right baud rate?)").arg(o.port);
            else if (recordFamily(*link) == BoardFamily::Unknown)
                message = QStringLiteral("the device on %1 answered with product code %2, which is no Halvero board")
                              .arg(o.port, productCodeText(*link));
            else
                message = QStringLiteral("the %1 board on %2 did not identify (firmware %3 is not supported)")
                              .arg(productCodeText(*link), o.port, firmwareText(*link));
            throw CliFailure{ExitNoReply, message, {}};
        }
        progress(QStringLiteral("found %1, firmware %2").arg(boardName(), firmwareText(*link)));
    }

    bool read(USBmessages kind, USBmsgOptions option = USBoptNone)
    {
        for (int attempt = 0; attempt < readAttempts; ++attempt) {
            if (link->send(false, kind, option) == kind)
                return true;
            progress(QStringLiteral("no valid reply to request %1").arg(int(kind)));
        }
        return false;
    }

    void readOrFail(USBmessages kind, USBmsgOptions option, const QString &what)
    {
        if (!read(kind, option))
            throw CliFailure{ExitNoReply, QStringLiteral("the board on %1 did not send its %2").arg(o.port, what), {}};
    }

    QByteArray readInputFile()
    {
        QFile file;
        bool opened = false;
        if (o.file == QLatin1String("-"))
            opened = file.open(stdin, QIODevice::ReadOnly);
        else {
            file.setFileName(o.file);
            opened = file.open(QIODevice::ReadOnly);
        }
        if (!opened)
            throw CliFailure{ExitBadFile, QStringLiteral("cannot read %1: %2").arg(o.file, file.errorString()), {}};
        return file.readAll();
    }

    BoardConfig loadInput(bool forWrite)
    {
        const QByteArray text = readInputFile();
        const ConfigLoad load = forWrite ? loadConfigForWrite(text) : parseConfigJson(text);
        if (!load.ok()) {
            const ExitCode code = load.problem == ConfigProblem::OutOfRange ? ExitOutOfRange : ExitBadFile;
            throw CliFailure{code, QStringLiteral("%1: %2").arg(o.file, load.message), {}};
        }
        return load.config;
    }

    void requireFamily(const BoardConfig &config)
    {
        const BoardFamily board = recordFamily(*link);
        if (board != config.family)
            throw CliFailure{ExitWrongFamily,
                             QStringLiteral("%1 is a configuration for a %2 board, but the board on %3 is a %4 board")
                                 .arg(o.file, Protocol::familyName(config.family), o.port, productCodeText(*link)),
                             {}};
    }

    bool toStdout() const { return o.output.isEmpty() || o.output == QLatin1String("-"); }

    void writeOutput(const QByteArray &data)
    {
        QSaveFile file(o.output);
        if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
            throw CliFailure{ExitOutputFile, QStringLiteral("cannot write %1: %2").arg(o.output, file.errorString()), {}};
    }

    static QJsonArray differencesJson(const QList<FieldDifference> &differences, const char *left, const char *right)
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

    void printDifferences(const QList<FieldDifference> &differences, const char *left, const char *right)
    {
        for (const FieldDifference &d : differences)
            out << QStringLiteral("%1: %2 %3, %4 %5\n").arg(d.field.displayName(), QLatin1String(left),
                                                          formatValue(d.field, d.board), QLatin1String(right),
                                                          formatValue(d.field, d.file));
    }

    int ports()
    {
        const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
        const auto text = [](const QString &s) { return s.isEmpty() ? QStringLiteral("-") : s; };
        const auto id = [](bool has, quint16 v) { return has ? QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0')) : QString(); };
        if (o.json) {
            QJsonArray list;
            for (const QSerialPortInfo &info : infos) {
                const auto optional = [](const QString &s) { return s.isEmpty() ? QJsonValue() : QJsonValue(s); };
                list.append(QJsonObject{
                    {QStringLiteral("name"), info.portName()},
                    {QStringLiteral("location"), info.systemLocation()},
                    {QStringLiteral("description"), optional(info.description())},
                    {QStringLiteral("manufacturer"), optional(info.manufacturer())},
                    {QStringLiteral("serialNumber"), optional(info.serialNumber())},
                    {QStringLiteral("vendorId"), optional(id(info.hasVendorIdentifier(), info.vendorIdentifier()))},
                    {QStringLiteral("productId"), optional(id(info.hasProductIdentifier(), info.productIdentifier()))},
                });
            }
            emitJson(QJsonObject{{QStringLiteral("ports"), list}});
            return ExitOk;
        }
        if (infos.isEmpty()) {
            note(QStringLiteral("no serial ports found"));
            return ExitOk;
        }
        QList<QStringList> rows;
        if (!o.quiet)
            rows.append({QStringLiteral("PORT"), QStringLiteral("LOCATION"), QStringLiteral("DESCRIPTION"),
                         QStringLiteral("MANUFACTURER"), QStringLiteral("SERIAL"), QStringLiteral("VID:PID")});
        for (const QSerialPortInfo &info : infos) {
            const QString usb = info.hasVendorIdentifier()
                                    ? id(true, info.vendorIdentifier()) + QLatin1Char(':')
                                          + text(id(info.hasProductIdentifier(), info.productIdentifier()))
                                    : QString();
            rows.append({info.portName(), info.systemLocation(), text(info.description()), text(info.manufacturer()),
                         text(info.serialNumber()), text(usb)});
        }
        QList<int> widths(rows.first().size(), 0);
        for (const QStringList &row : rows)
            for (int c = 0; c < row.size(); ++c)
                widths[c] = qMax(widths[c], int(row.at(c).size()));
        for (const QStringList &row : rows) {
            QString line;
            for (int c = 0; c < row.size(); ++c)
                line += c + 1 < row.size() ? row.at(c).leftJustified(widths[c] + 2) : row.at(c);
            out << line << '\n';
        }
        return ExitOk;
    }

    int identify()
    {
        connectBoard();
        if (o.json) {
            QJsonObject identity = identityJson(*link);
            identity.insert(QStringLiteral("port"), portPath);
            emitJson(identity);
        } else {
            out << identityText(*link);
        }
        return ExitOk;
    }

    void printStatus(bool stamped)
    {
        const QDateTime now = QDateTime::currentDateTime();
        if (o.json) {
            QJsonObject status = statusJson(*link);
            status.insert(QStringLiteral("productCode"), productCodeText(*link));
            // Logs from several machines get merged: no local time there.
            status.insert(QStringLiteral("time"), now.toUTC().toString(Qt::ISODateWithMs));
            emitJson(status);
        } else {
            out << (stamped ? now.toString(QStringLiteral("HH:mm:ss.zzz  ")) : QString()) << statusLine(*link) << '\n';
        }
        out.flush();
    }

    int status()
    {
        connectBoard();
        if (!o.watch) {
            readOrFail(USBmsgStatus, USBoptNone, QStringLiteral("status"));
            printStatus(false);
            return ExitOk;
        }
        interrupted = 0;
        std::signal(SIGINT, onInterrupt);
        std::signal(SIGTERM, onInterrupt);
        QElapsedTimer tick;
        for (int polls = 0; !interrupted && (o.count == 0 || polls < o.count); ++polls) {
            tick.start();
            if (link->send(false, USBmsgStatus, USBoptNone) == USBmsgStatus) {
                printStatus(true);
            } else {
                if (serialPort.error() == QSerialPort::ResourceError || !serialPort.isOpen())
                    throw CliFailure{ExitNoReply, QStringLiteral("lost %1 (unplugged?)").arg(o.port), {}};
                err << "halvero-cli: no status reply at " << QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz"))
                    << Qt::endl;
            }
            if (o.count != 0 && polls + 1 == o.count)
                break;
            // Short naps so that Ctrl-C ends the watch promptly.
            while (!interrupted && tick.elapsed() < watchPeriodMs)
                QThread::msleep(qMin<qint64>(20, watchPeriodMs - tick.elapsed()));
        }
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        return ExitOk;
    }

    int configGet()
    {
        connectBoard();
        readOrFail(USBmsgConfig, USBoptNone, QStringLiteral("configuration"));
        BoardConfig config = configFromRecord(*link);
        config.readAt = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
        const QByteArray text = configToText(config);
        if (toStdout()) {
            out << text;
            return ExitOk;
        }
        writeOutput(text);
        if (o.json)
            emitJson(QJsonObject{{QStringLiteral("file"), o.output},
                                 {QStringLiteral("productCode"), config.productCode},
                                 {QStringLiteral("serial"), config.serial},
                                 {QStringLiteral("readAt"), config.readAt}});
        note(QStringLiteral("saved the configuration of %1 to %2").arg(boardName(), o.output));
        return ExitOk;
    }

    int configSet()
    {
        // The whole file is checked before the port is even opened.
        const BoardConfig config = loadInput(true);
        connectBoard();
        requireFamily(config);
        if (!config.serial.isEmpty() && config.serial != serialText(*link))
            progress(QStringLiteral("the file was read from board %1").arg(config.serial));

        // Product code and firmware stay as the board reported them: the
        // board checks its own header in a write.
        applyConfigToRecord(config, *link);
        const uint8_t answer = link->send(true, USBmsgConfig, USBoptNone);
        progress(QStringLiteral("write answered with reply kind %1").arg(answer));
        if (answer == 0 && !o.verify && !o.quiet)
            err << "halvero-cli: warning: the board did not acknowledge the write; --verify would check it" << Qt::endl;

        QJsonObject result{{QStringLiteral("written"), true}, {QStringLiteral("productCode"), productCodeText(*link)},
                           {QStringLiteral("serial"), serialText(*link)}};
        if (!o.verify) {
            if (o.json)
                emitJson(result);
            note(QStringLiteral("wrote the configuration to %1").arg(boardName()));
            return ExitOk;
        }
        readOrFail(USBmsgConfig, USBoptNone, QStringLiteral("configuration back"));
        const QList<FieldDifference> differences = diffConfigs(configFromRecord(*link), config);
        if (!differences.isEmpty()) {
            if (!o.json)
                printDifferences(differences, "board", "written");
            throw CliFailure{ExitVerifyFailed,
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

    int configDiff()
    {
        // Values out of range are still worth comparing, so only the
        // structure has to be right.
        const BoardConfig file = loadInput(false);
        connectBoard();
        requireFamily(file);
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

    int defaults()
    {
        if (!o.yes)
            throw CliFailure{ExitRefused,
                             QStringLiteral("refusing to overwrite the configuration of the board on %1 without --yes").arg(o.port),
                             {}};
        connectBoard();
        const uint8_t answer = link->send(true, USBmsgSetDefaults, USBoptNone);
        progress(QStringLiteral("set defaults answered with reply kind %1").arg(answer));
        if (o.json)
            emitJson(QJsonObject{{QStringLiteral("restored"), true}, {QStringLiteral("productCode"), productCodeText(*link)},
                                 {QStringLiteral("serial"), serialText(*link)}});
        note(QStringLiteral("restored the factory configuration of %1").arg(boardName()));
        return ExitOk;
    }

    int dump()
    {
        connectBoard();
        readOrFail(USBmsgEepromDump, USBoptDump, QStringLiteral("EEPROM dump"));
        const QString text = dumpBody(*link);
        if (!toStdout()) {
            writeOutput(text.toUtf8());
            if (o.json)
                emitJson(QJsonObject{{QStringLiteral("file"), o.output}, {QStringLiteral("productCode"), productCodeText(*link)},
                                     {QStringLiteral("serial"), serialText(*link)}});
            note(QStringLiteral("saved the EEPROM dump of %1 to %2").arg(boardName(), o.output));
        } else if (o.json) {
            emitJson(QJsonObject{{QStringLiteral("productCode"), productCodeText(*link)},
                                 {QStringLiteral("serial"), serialText(*link)},
                                 {QStringLiteral("dump"), text}});
        } else {
            out << text;
            if (!text.endsWith(QLatin1Char('\n')))
                out << '\n';
        }
        return ExitOk;
    }

public:
    int runReportingFailures()
    {
        try {
            return run();
        } catch (const CliFailure &failure) {
            link.reset(); // close the port before the process reports and exits
            err << "halvero-cli: " << failure.message << Qt::endl;
            if (o.json) {
                QJsonObject error = failure.details;
                error.insert(QStringLiteral("exitCode"), int(failure.code));
                error.insert(QStringLiteral("message"), failure.message);
                emitJson(QJsonObject{{QStringLiteral("error"), error}});
            }
            return failure.code;
        }
    }
};

} // namespace

int runCli(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    const ParsedArguments parsed = parseArguments(arguments);
    logStream = &err;
    logVerbose = parsed.options.verbose;
    const QtMessageHandler previous = qInstallMessageHandler(logHandler);

    int code = ExitUsage;
    if (!parsed.ok()) {
        err << "halvero-cli: " << parsed.error << " (halvero-cli --help lists commands and options)" << Qt::endl;
        if (parsed.options.json || arguments.contains(QLatin1String("--json")))
            out << QJsonDocument(QJsonObject{{QStringLiteral("error"),
                                              QJsonObject{{QStringLiteral("exitCode"), int(ExitUsage)},
                                                          {QStringLiteral("message"), parsed.error}}}})
                       .toJson(QJsonDocument::Compact)
                << '\n';
    } else {
        CliRunner runner(parsed.options, out, err);
        code = runner.runReportingFailures();
    }
    out.flush();
    err.flush();
    qInstallMessageHandler(previous);
    logStream = nullptr;
    return code;
}

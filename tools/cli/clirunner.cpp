// The part every board command shares: finding and opening the port, making
// sure a Halvero board answers before anything else is sent, and turning any
// failure into the one line and exit status a script relies on.
#include "clirunner.h"

#include <QJsonDocument>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QTextStream>

#include "boardformat.h"
#include "portdiagnosis.h"
#include "portpath.h"

#ifndef HALVERO_VERSION
#define HALVERO_VERSION "0"
#endif

namespace {

// One retry of a read absorbs a late reply left over from before we opened
// the port; writes are never repeated.
constexpr int readAttempts = 2;

// The link's exchange log and the history's ("halvero.*") reach standard
// error with -v; without it they stay off, as does anything else short of a
// critical message, so that a failure stays the one line a script expects.
bool verboseLog = false;
QLoggingCategory::CategoryFilter previousLogFilter = nullptr;

void logFilter(QLoggingCategory *category)
{
    if (previousLogFilter)
        previousLogFilter(category);
    const bool ours = qstrncmp(category->categoryName(), "halvero.", 8) == 0;
    if (verboseLog && !ours)
        return;
    for (QtMsgType type : {QtDebugMsg, QtInfoMsg, QtWarningMsg})
        category->setEnabled(type, verboseLog);
}

} // namespace

CliRunner::CliRunner(const CliOptions &options, QTextStream &out, QTextStream &err)
    : o(options), out(out), err(err)
{
}

int CliRunner::run()
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
    case CliCommand::History: return history();
    case CliCommand::HistoryRestore: return historyRestore();
    }
    return ExitUsage;
}

void CliRunner::progress(const QString &text)
{
    if (o.verbose)
        err << "halvero-cli: " << text << Qt::endl;
}

// Confirmations for a person; data goes out regardless of -q.
void CliRunner::note(const QString &text)
{
    if (!o.quiet && !o.json)
        out << text << '\n';
}

void CliRunner::emitJson(const QJsonObject &object)
{
    out << QJsonDocument(object).toJson(QJsonDocument::Compact) << '\n';
}

QString CliRunner::boardName() const
{
    return QStringLiteral("%1 board %2").arg(productCodeText(*link), serialText(*link));
}

bool CliRunner::toStdout() const
{
    return o.output.isEmpty() || o.output == QLatin1String("-");
}

void CliRunner::writeOutput(const QByteArray &data)
{
    QSaveFile file(o.output);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        throw CliFailure{ExitOutputFile, QStringLiteral("cannot write %1: %2").arg(o.output, file.errorString()), {}};
}

// Open the port and make sure a board of a known family answers on it:
// nothing else is sent to a device that has not identified itself.
void CliRunner::connectBoard()
{
    const PortPath resolved = resolvePortPath(o.port);
    if (!resolved.problem.isEmpty())
        throw CliFailure{ExitNoSuchPort, resolved.problem, {}};
    portPath = resolved.path;
    progress(QStringLiteral("opening %1 at %2 baud").arg(portPath).arg(o.baud));
    link = std::make_unique<parachuteRadioComm>(portPath, o.baud);
    if (!link->isConnected()) {
        const QString notPort = notASerialPort(o.port, portPath);
        const QString message = notPort.isEmpty() ? describeOpenFailure(portPath, serialPort) : notPort;
        link.reset();
        throw CliFailure{notPort.isEmpty() ? ExitPortOpen : ExitNoSuchPort, message, {}};
    }
    if (!read(USBmsgIdentity))
        throw exchangeFailure(QStringLiteral("no reply from a board on %1 (powered? right baud rate?)").arg(o.port));
    progress(QStringLiteral("found %1, firmware %2").arg(boardName(), firmwareText(*link)));
}

// One request and its reply. A line that never falls quiet ends the command
// at once: another try would only sit out the same bound again, and what
// keeps coming is not a board's reply anyway.
uint8_t CliRunner::exchange(bool write, USBmessages kind, USBmsgOptions option)
{
    const uint8_t answer = link->send(write, kind, option);
    if (link->lastOutcome() == ExchangeOutcome::NeverQuiet)
        throw exchangeFailure(QString());
    return answer;
}

// What the link says about the last exchange, in the operator's words;
// `noReply` covers a silent line and a reply that could not be read.
CliFailure CliRunner::exchangeFailure(const QString &noReply) const
{
    switch (link->lastOutcome()) {
    case ExchangeOutcome::NeverQuiet:
        return {ExitNeverQuiet,
                QStringLiteral("the device on %1 keeps sending without pause (not a Halvero board, or wrong baud rate?)")
                    .arg(o.port),
                {}};
    case ExchangeOutcome::UnknownProduct:
        return {ExitNoReply,
                QStringLiteral("the device on %1 answered with unknown product code %2: no Halvero board")
                    .arg(o.port, productCodeText(*link)),
                {}};
    case ExchangeOutcome::UnsupportedFirmware:
        return {ExitNoReply,
                QStringLiteral("the %1 board on %2 did not identify (firmware %3 is not supported)")
                    .arg(productCodeText(*link), o.port, firmwareText(*link)),
                {}};
    case ExchangeOutcome::Undecodable:
        if (link->isIdentified())
            break;
        return {ExitNoReply,
                QStringLiteral("the device on %1 answered with %2 bytes that are no Halvero reply (right baud rate?)")
                    .arg(o.port)
                    .arg(link->lastReply().size()),
                {}};
    case ExchangeOutcome::OtherBoard:
        return {ExitNoReply, QStringLiteral("another board answers on %1 now; run the command again").arg(o.port), {}};
    case ExchangeOutcome::PortClosed:
    case ExchangeOutcome::WriteTimeout:
        return {ExitNoReply, QStringLiteral("lost %1 (unplugged?)").arg(o.port), {}};
    default:
        break;
    }
    return {ExitNoReply, noReply, {}};
}

bool CliRunner::read(USBmessages kind, USBmsgOptions option)
{
    for (int attempt = 0; attempt < readAttempts; ++attempt) {
        if (exchange(false, kind, option) == kind)
            return true;
        progress(QStringLiteral("no valid reply to request %1").arg(int(kind)));
    }
    return false;
}

void CliRunner::readOrFail(USBmessages kind, USBmsgOptions option, const QString &what)
{
    if (!read(kind, option))
        throw exchangeFailure(QStringLiteral("the board on %1 did not send its %2").arg(o.port, what));
}

int CliRunner::runReportingFailures()
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

int runCli(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    const ParsedArguments parsed = parseArguments(arguments);
    verboseLog = parsed.options.verbose;
    previousLogFilter = QLoggingCategory::installFilter(logFilter);

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
    QLoggingCategory::installFilter(previousLogFilter);
    return code;
}

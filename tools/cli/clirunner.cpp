// The part every board command shares: finding and opening the port, making
// sure a Halvero board answers before anything else is sent, and turning any
// failure into the one line and exit status a script relies on.
#include "clirunner.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QTextStream>

#include "boardconnection.h"
#include "boardformat.h"
#include "clicommands.h"
#include "clisignals.h"
#include "displayformat.h"
#include "exchangetext.h"
#include "halvero_version.h"
#include "outputfile.h"
#include "portdiagnosis.h"
#include "portlock.h"
#include "portpath.h"

namespace {

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

// Data that never reached standard output (a full disk behind '>', a
// device that refuses it) is as much a failed command as a failed -o file.
// Empty while all went out. A reader that has gone (`| head -1`) took what
// it wanted: that is OutputClosed, said by no message.
Result lostOutput(QTextStream &out)
{
    out.flush();
    if (out.status() == QTextStream::Ok)
        return Result();
    if (CliSignals::stdoutReaderGone())
        return Result::failure(ErrorCode::OutputClosed, QString());
    const QString why = out.device() ? out.device()->errorString() : QString();
    return Result::failure(ErrorCode::OutputFile, why.isEmpty()
                                                      ? QStringLiteral("cannot write to standard output")
                                                      : QStringLiteral("cannot write to standard output: %1").arg(why));
}

} // namespace

ErrorCode errorCodeOf(ExchangeOutcome outcome)
{
    // A line that never falls quiet is told apart, as it points at the baud
    // rate or at a device that is no board; every other way of not getting
    // the reply wanted (including a decoded reply of the wrong kind) is the
    // board not answering.
    return outcome == ExchangeOutcome::NeverQuiet ? ErrorCode::NeverQuiet : ErrorCode::NoReply;
}

CliFailure::CliFailure(ErrorCode code, const QString &message, const QJsonObject &details)
    : code(code)
    , message(message)
    , details(details)
    , utf8(message.toUtf8())
{}

CliRunner::CliRunner(const CliOptions &options, QTextStream &out, QTextStream &err)
    : o(options)
    , out(out)
    , err(err)
{}

// Which command ran, and how it ended.
Q_LOGGING_CATEGORY(lcCli, "halvero.cli")

int CliRunner::run()
{
    const CommandRow &row = commandRow(o.command);
    qCDebug(lcCli) << "Running" << commandName(o.command);
    // A command that writes to a board leaves history entries, which go to
    // the record too when one is configured.
    const bool forwarding = (row.options & OptNoHistory) && historyOn() && !recordUri().isEmpty();
    if (!forwarding)
        return (this->*row.run)();
    int code = ExitOk;
    try {
        code = (this->*row.run)();
    } catch (const CliFailure &) {
        forwardToRecord();
        throw;
    }
    forwardToRecord();
    if (forwardingInterrupted)
        throw CliFailure{ErrorCode::Interrupted,
                         QStringLiteral("interrupted while forwarding to the record: the board was written, and what "
                                        "the record did not take waits for 'halvero-cli record push'")};
    return code;
}

int CliRunner::help()
{
    out << helpText();
    return ExitOk;
}

int CliRunner::version()
{
    out << "halvero-cli " HALVERO_VERSION "\n";
    return ExitOk;
}

void CliRunner::progress(const QString &text)
{
    if (o.verbose)
        err << "halvero-cli: " << DisplayFormat::printable(text, true) << Qt::endl;
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
    // The port goes first: whatever the output waits on, the board is free.
    link.reset();
    const Result written = OutputFile::writeFileSafely(o.output, data);
    if (!written.ok())
        throw CliFailure{written.code, QStringLiteral("cannot write %1: %2").arg(o.output, written.message)};
}

// For commands that keep writing (status --watch): stop at the first line
// that did not go out, rather than poll on for nobody.
void CliRunner::requireOutput()
{
    const Result lost = lostOutput(out);
    if (!lost.ok())
        throw CliFailure(lost);
}

// `-o` naming the board's own port would send the file to the board.
void CliRunner::refuseOutputOnPort()
{
    if (toStdout())
        return;
    const PortPath resolved = resolvePortPath(o.port);
    if (resolved.ok() && isSameDevice(o.output, resolved.path))
        throw CliFailure{ErrorCode::OutputFile,
                         QStringLiteral("cannot write %1: it is the board's own port %2").arg(o.output, o.port)};
}

// What a signal asked for, once the exchange under way has ended: nothing
// more is sent, the port is closed as the failure is reported.
void CliRunner::stopIfInterrupted(const QString &whatIsKnown)
{
    if (const int signal = CliSignals::pending())
        throw CliFailure{ErrorCode::Interrupted,
                         QStringLiteral("interrupted by %1: %2").arg(CliSignals::name(signal), whatIsKnown)};
}

// Open the port and make sure a board of a known family answers on it:
// nothing else is sent to a device that has not identified itself.
void CliRunner::connectBoard()
{
    const PortPath resolved = resolvePortPath(o.port);
    if (!resolved.ok())
        throw CliFailure(resolved);
    portPath = resolved.path;
    // The lock of a program that died is taken over, and said so.
    const QString canonical = QFileInfo(portPath).canonicalFilePath();
    const PortLock::Holder stale = PortLock::takeOverStale(canonical.isEmpty() ? portPath : canonical);
    if (stale.found && stale.removeError.isEmpty())
        warn(QStringLiteral("took over the lock of %1 from %2, which is no longer running (%3 removed)")
                 .arg(o.port, stale.describe(), stale.lockFile));
    progress(QStringLiteral("opening %1 at %2 baud").arg(portPath).arg(o.baud));
    // From now on a signal lets the port be closed before the process ends.
    CliSignals::catchEndingSignals();
    // No window freezes here: a board that answers a little late is waited for.
    BoardConnection board(ExchangeTiming::unattended(), &line);
    if (!board.open(portPath, o.baud)) {
        const QString notPort = notASerialPort(o.port, portPath);
        const QString message = notPort.isEmpty() ? describeOpenFailure(portPath, line) : notPort;
        throw CliFailure{notPort.isEmpty() ? ErrorCode::PortOpen : ErrorCode::NoSuchPort, message};
    }
    stopIfInterrupted(QStringLiteral("nothing was written to the board"));
    const bool identified = board.identify();
    link = board.take();
    if (!identified)
        throw exchangeFailure(QString());
    progress(QStringLiteral("found %1, firmware %2").arg(boardName(), firmwareText(*link)));
}

// One request and its reply. A line that never falls quiet ends the command
// at once: another try would only sit out the same bound again, and what
// keeps coming is not a board's reply anyway.
uint8_t CliRunner::exchange(bool write, USBmessages kind, USBmsgOptions option)
{
    stopIfInterrupted(QStringLiteral("nothing was written to the board"));
    const uint8_t answer = link->send(write, kind, option);
    if (link->lastOutcome() == ExchangeOutcome::NeverQuiet)
        throw exchangeFailure(QString());
    return answer;
}

// What the link says about the last exchange, in the words the window uses
// too; `noReply` says what was missing when the board was silent or its
// reply unreadable once identified.
CliFailure CliRunner::exchangeFailure(const QString &noReply) const
{
    const ExchangeOutcome outcome = link->lastOutcome();
    const bool silent =
        outcome == ExchangeOutcome::NoReply || (outcome == ExchangeOutcome::Undecodable && link->isIdentified());
    // A board that answers too late is told as such, whatever was missing.
    if (silent && !noReply.isEmpty() && !link->lateReplyDropped())
        return CliFailure{ErrorCode::NoReply, noReply};
    return CliFailure{errorCodeOf(outcome), ExchangeText::failure(silent ? ExchangeOutcome::NoReply : outcome,
                                                                  ExchangeText::factsOf(*link, o.port, o.baud))};
}

bool CliRunner::read(USBmessages kind, USBmsgOptions option)
{
    stopIfInterrupted(QStringLiteral("nothing was written to the board"));
    const bool decoded = BoardConnection::read(*link, kind, option) == kind;
    if (link->lastOutcome() == ExchangeOutcome::NeverQuiet)
        throw exchangeFailure(QString());
    return decoded;
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
        if (failure.code == ErrorCode::OutputClosed) {
            progress(QStringLiteral("standard output was closed by its reader"));
            return exitCodeFor(failure.code);
        }
        // A message may quote a file or another bench's names: what would
        // act on the terminal is shown, not done.
        err << "halvero-cli: " << DisplayFormat::printable(failure.message, true) << Qt::endl;
        if (o.json) {
            QJsonObject error = failure.details;
            error.insert(QStringLiteral("exitCode"), int(exitCodeFor(failure.code)));
            error.insert(QStringLiteral("message"), failure.message);
            emitJson(QJsonObject{{QStringLiteral("error"), error}});
        }
        return exitCodeFor(failure.code);
    }
}

int runCli(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    const ParsedArguments parsed = parseArguments(arguments);
    verboseLog = parsed.options.verbose;
    previousLogFilter = QLoggingCategory::installFilter(logFilter);

    int code = exitCodeFor(parsed.code);
    if (!parsed.ok()) {
        err << "halvero-cli: " << DisplayFormat::printable(parsed.message, true)
            << " (halvero-cli --help lists commands and options)" << Qt::endl;
        if (parsed.options.json || arguments.contains(QLatin1String("--json")))
            out << QJsonDocument(
                       QJsonObject{{QStringLiteral("error"), QJsonObject{{QStringLiteral("exitCode"), code},
                                                                         {QStringLiteral("message"), parsed.message}}}})
                       .toJson(QJsonDocument::Compact)
                << '\n';
    } else {
        CliRunner runner(parsed.options, out, err);
        code = runner.runReportingFailures();
    }
    // A command that failed has said so already; its lost output is no news.
    const Result lost = lostOutput(out);
    if (!lost.ok() && code == ExitOk) {
        if (!lost.message.isEmpty())
            err << "halvero-cli: " << lost.message << Qt::endl;
        code = exitCodeFor(lost.code);
    }
    err.flush();
    QLoggingCategory::installFilter(previousLogFilter);
    return code;
}

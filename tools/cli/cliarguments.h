// What the user asked halvero-cli for, and the exit statuses scripts branch
// on: kept apart from the board code so a mistyped line is answered before
// any port is touched.
#ifndef HALVERO_CLI_CLIARGUMENTS_H
#define HALVERO_CLI_CLIARGUMENTS_H

#include <QDateTime>
#include <QString>
#include <QStringList>

#include "result.h"

// Part of the tool's interface: scripts branch on these, so never renumber.
enum ExitCode : int {
    ExitOk = 0,
    ExitUsage = 1,       // unknown command or option, wrong arguments
    ExitBadFile = 2,     // unreadable, malformed, unknown format or fields
    ExitOutOfRange = 3,  // a value the board does not accept
    ExitWrongFamily = 4, // file for the other board family
    ExitNoSuchPort = 5,
    ExitPortOpen = 6,      // exists but cannot be opened
    ExitNoReply = 7,       // board does not identify or stops answering
    ExitVerifyFailed = 8,  // read back differs from what was written
    ExitRefused = 9,       // defaults without --yes
    ExitDiffers = 10,      // config diff found differences
    ExitOutputFile = 11,   // cannot write the -o file or standard output
    ExitNeverQuiet = 12,   // the line never falls quiet: no board, or a wrong speed
    ExitHistory = 13,      // the history cannot be written: nothing was sent
    ExitOtherBoard = 14,   // history restore: the entry is another board's
    ExitNotAllHeld = 15,   // provision: not every board holds the configuration; check: not every board matches
    ExitInterrupted = 16,  // ended by SIGINT, SIGTERM or SIGHUP
    ExitOutputClosed = 17, // the reader of standard output went away (| head)
    ExitRecord = 18,       // the factory's record cannot be reached, or refuses
};

// The exit status of each kind of failure.
ExitCode exitCodeFor(ErrorCode code);

enum class CliCommand {
    Help,
    Version,
    Ports,
    Identify,
    Status,
    ConfigGet,
    ConfigSet,
    ConfigDiff,
    Defaults,
    Dump,
    History,
    HistoryRestore,
    Provision,
    Check,
    RecordPush,
    RecordShow,
    RecordBoards
};

struct CliOptions
{
    CliCommand command = CliCommand::Help;
    QString port;      // the one PORT of a single-board command
    QStringList ports; // identify, provision, check: every PORT named
    QString slotsFile; // --slots: the bench's sockets, instead of PORT... and --all
    QString file;      // config set / diff input; "-" is standard input
    QString output;    // -o; empty or "-" is standard output
    QString serial;    // history, record show --serial: only this board's entries
    QString record;    // --record: the factory's record, else $HALVERO_RECORD
    QString station;   // record show --station: only this bench's entries
    QDateTime since;   // record show --since: entries from then on; invalid: all
    QString report;    // provision, check --report: .jsonl or .csv
    int entry = 0;     // history restore: the entry's number
    qint32 baud = 9600;
    int count = 0; // --watch polls before stopping, history entries shown; 0: no bound
                   // (record show: its default)
    int jobs = 0;  // provision, check: boards at once; 0 is all of them
    bool json = false;
    bool quiet = false;
    bool verbose = false;
    bool watch = false;
    bool verify = false;
    bool yes = false;
    bool anyBoard = false;     // history restore onto a board of another serial
    bool noHistory = false;    // write without recording the history
    bool wholeHistory = false; // record push --history: every entry of the local history
    bool all = false;          // every port 'ports' lists, besides those named
};

// A failure is ErrorCode::Usage, with one line saying what is wrong.
struct ParsedArguments : Result
{
    CliOptions options;
};

// arguments[0] is the program name, as in QCoreApplication::arguments().
ParsedArguments parseArguments(const QStringList &arguments);
QString helpText();
// --since: an ISO 8601 date (the start of that day) or time, local unless
// it says otherwise; invalid when it is neither.
QDateTime sinceTime(const QString &text);
QString commandName(CliCommand command); // "config set", as typed

#endif // HALVERO_CLI_CLIARGUMENTS_H

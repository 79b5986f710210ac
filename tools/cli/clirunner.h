// Runs one parsed command line against a board: the connection every board
// command starts with, the output conventions (-q, -v,
// --json) and the one-line failure report, shared by all the commands.
#ifndef HALVERO_CLI_CLIRUNNER_H
#define HALVERO_CLI_CLIRUNNER_H

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <exception>
#include <functional>
#include <memory>

#include "boardconfig.h"
#include "boardprovisioning.h"
#include "cliarguments.h"
#include "confighistory.h"
#include "parachuteradiocomm.h"
#include "provisionview.h"
#include "result.h"
#include "writetransaction.h"

QT_BEGIN_NAMESPACE
class QTextStream;
QT_END_NAMESPACE

// Why a command stopped; thrown from anywhere in a command and reported once,
// with the exit status exitCodeFor(code).
struct CliFailure : std::exception
{
    CliFailure(ErrorCode code, const QString &message, const QJsonObject &details = {});
    explicit CliFailure(const Result &result)
        : CliFailure(result.code, result.message)
    {}
    const char *what() const noexcept override { return utf8.constData(); }

    ErrorCode code;
    QString message;
    QJsonObject details; // extra members of the --json error object

private:
    QByteArray utf8; // what() points into it
};

struct CommandRow;

// The kind of failure of an exchange that brought no usable reply and ended
// in `outcome`.
ErrorCode errorCodeOf(ExchangeOutcome outcome);

class CliRunner
{
public:
    CliRunner(const CliOptions &options, QTextStream &out, QTextStream &err);
    int runReportingFailures();

private:
    friend const QList<CommandRow> &commandTable();
    int run();

    // The commands, one file per group, as commandTable() names them.
    int help(); // clirunner.cpp
    int version();
    int ports();    // cmd_ports.cpp
    int identify(); // cmd_identify_status.cpp
    int status();
    void printStatus(bool stamped);
    int configGet(); // cmd_config.cpp
    int configSet();
    // config set and history restore: `config` has passed checkRanges;
    // `source` names it in messages; `event` is what the history records.
    int writeConfig(const BoardConfig &config, const QString &source, const QString &event);
    int configDiff();
    QByteArray readInputFile();
    // The file read once and parsed; `source`, when given, gets its name
    // and the hash of the very bytes parsed.
    BoardConfig loadInput(bool forWrite, ConfigHistory::SourceFile *source = nullptr);
    void requireFamily(const BoardConfig &config, const QString &source);
    static QJsonArray differencesJson(const QList<FieldDifference> &differences, const char *left, const char *right);
    void printDifferences(const QList<FieldDifference> &differences, const char *left, const char *right);
    int defaults(); // cmd_defaults_dump.cpp
    int dump();
    int history(); // cmd_history.cpp
    // An entry as --json gives it, with what it changed.
    static QJsonObject entryJson(const ConfigHistory::Entry &entry, const ConfigHistory::EntryChanges &changes);
    int historyRestore();
    int provision();  // cmd_provision.cpp
    int check();      // cmd_check.cpp
    int recordPush(); // cmd_record.cpp
    int recordShow();
    int recordBoards();
    // The record a write's entries go to; empty when none is configured.
    QString recordUri() const;
    // After a write: the entries it left are offered to the record, within
    // a few seconds; what is not taken waits, said once, and the command's
    // outcome stays what the board's was.
    void forwardToRecord();
    bool forwardingInterrupted = false;    // a signal came while the record was asked
    ConfigHistory::SourceFile writtenFrom; // config set: the file the write's entries name
    int inventory();                       // cmd_inventory.cpp: identify with several ports, --all or --slots
    // The ports of a bench run (provision, check, an inventory): those of
    // the slots file, or those named, then with --all every port 'ports'
    // lists, each device once. `path` is the device to open, empty when
    // there is none (`why` says so); `missing`: nothing is there, as in a
    // socket with no board plugged in.
    struct BenchPort
    {
        QString name;
        QString path;
        QString why;
        QString slot; // the slots file's name for it; empty without one
        bool missing = false;
    };
    QList<BenchPort> benchPorts();
    QList<BenchPort> slotPorts();
    // The file of provision and check, checked whole, and the run's settings.
    Provisioning::Settings benchSettings();
    // The row of a port without a device: no-board where nothing is there.
    static Provisioning::BoardRow portlessRow(const BenchPort &port);
    // One port's work on a worker thread; a port without a device never
    // reaches it, and every row gets its port's slot.
    using BenchJob = std::function<Provisioning::BoardRow(const BenchPort &port, const Provisioning::StepReport &report,
                                                          const std::atomic<bool> &stop)>;
    // Runs `job` on every port at once (at most --jobs), shows the run as
    // it goes, the summary at its end, and writes the --report, which names
    // `file`. Ctrl-C begins no more ports; the jobs under way see `stop` set.
    QList<Provisioning::BoardRow> runBench(const QList<BenchPort> &ports, BenchCommand command, int jobs,
                                           const ConfigHistory::SourceFile &file, const BenchJob &job);

    // A write to the board as one transaction, its history entries
    // included (cmd_history.cpp). Returns once the board holds what was
    // written or holds other values (HeldOther, for the caller to report);
    // every other outcome is thrown as the failure it is.
    bool historyOn() const;
    WriteTransaction runWrite(WriteTransaction::Operation operation, const BoardConfig &config);
    QString writeFailure(const WriteTransaction &write) const;
    void warn(const QString &text);

    // Output.
    void progress(const QString &text);
    void note(const QString &text);
    void emitJson(const QJsonObject &object);
    QString boardName() const;
    bool toStdout() const;
    void writeOutput(const QByteArray &data); // the -o file, once the port is closed
    void requireOutput();                     // standard output took all so far
    void refuseOutputOnPort();                // -o is not the board's port
    // Throws Interrupted once a signal has come, with what is known then.
    void stopIfInterrupted(const QString &whatIsKnown);

    // The board.
    void connectBoard();
    uint8_t exchange(bool write, USBmessages kind, USBmsgOptions option);
    CliFailure exchangeFailure(const QString &noReply) const;
    // A read, tried once more as every program does (see BoardConnection).
    bool read(USBmessages kind, USBmsgOptions option = USBoptNone);
    void readOrFail(USBmessages kind, USBmsgOptions option, const QString &what);

    const CliOptions &o;
    QTextStream &out;
    QTextStream &err;
    QSerialPort line; // the board's port, of this run alone; outlives the link, which closes it
    std::unique_ptr<parachuteRadioComm> link;
    QString portPath;
};

// Runs one command line to completion; the result is the process exit status.
int runCli(const QStringList &arguments, QTextStream &out, QTextStream &err);

#endif // HALVERO_CLI_CLIRUNNER_H

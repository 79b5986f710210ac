// The table of halvero-cli's commands. Its rows are in the order --help
// shows them, and the first words of the rows, in that order, are what an
// unknown command is answered with.
#include "clicommands.h"

#include "clirunner.h"

const QList<CommandRow> &commandTable()
{
    using O = Operand;
    constexpr unsigned boardLine = OptBaud;               // every command that talks to a board
    constexpr unsigned writes = OptNoHistory | OptRecord; // every command that records entries
    static const QList<CommandRow> table{
        {CliCommand::Help, QStringLiteral("help"), {}, 0, {}, {}, &CliRunner::help, true},
        {CliCommand::Version, QStringLiteral("version"), {}, 0, {}, {}, &CliRunner::version, true},
        {CliCommand::Ports,
         QStringLiteral("ports"),
         {},
         0,
         QStringLiteral("[-v]"),
         QStringLiteral(
             "list the serial ports (-v: all about each,\nwith its /dev/serial/by-id and by-path names\non Linux)"),
         &CliRunner::ports},
        {CliCommand::Identify,
         QStringLiteral("identify"),
         {O::Ports},
         boardLine | OptAll | OptSlots,
         QStringLiteral("| --all | --slots F"),
         QStringLiteral("product code, firmware, serial, chip ids;\nfor several ports one row each"),
         &CliRunner::identify},
        {CliCommand::Status,
         QStringLiteral("status"),
         {O::Port},
         boardLine | OptWatch | OptCount,
         QStringLiteral("[--watch]"),
         QStringLiteral("live values with units"),
         &CliRunner::status},
        {CliCommand::ConfigGet,
         QStringLiteral("config get"),
         {O::Port},
         boardLine | OptOutput,
         QStringLiteral("[-o FILE]"),
         QStringLiteral("stored configuration as JSON"),
         &CliRunner::configGet},
        {CliCommand::ConfigSet,
         QStringLiteral("config set"),
         {O::Port, O::File},
         boardLine | OptVerify | writes,
         QStringLiteral("[--verify]"),
         QStringLiteral("check FILE, then write it to the board"),
         &CliRunner::configSet},
        {CliCommand::ConfigDiff,
         QStringLiteral("config diff"),
         {O::Port, O::File},
         boardLine,
         {},
         QStringLiteral("fields that differ between board and FILE"),
         &CliRunner::configDiff},
        {CliCommand::Defaults,
         QStringLiteral("defaults"),
         {O::Port},
         boardLine | OptYes | writes,
         QStringLiteral("--yes"),
         QStringLiteral("restore the factory configuration"),
         &CliRunner::defaults},
        {CliCommand::Dump,
         QStringLiteral("dump"),
         {O::Port},
         boardLine | OptOutput,
         QStringLiteral("[-o FILE]"),
         QStringLiteral("EEPROM dump text"),
         &CliRunner::dump},
        {CliCommand::History,
         QStringLiteral("history"),
         {},
         OptSerial | OptCount,
         QStringLiteral("[--serial S] [--count N]"),
         QStringLiteral("the configurations recorded around every\nwrite, newest first, with the fields changed"),
         &CliRunner::history},
        {CliCommand::HistoryRestore,
         QStringLiteral("history restore"),
         {O::Port, O::Entry},
         boardLine | OptVerify | OptAnyBoard | writes,
         QStringLiteral("[--verify] [--any-board]"),
         QStringLiteral("write entry N of the history back, with the\nchecks of config set"),
         &CliRunner::historyRestore},
        {CliCommand::Provision,
         QStringLiteral("provision"),
         {O::File, O::Ports},
         boardLine | OptVerify | writes | OptAll | OptSlots | OptJobs | OptReport,
         QStringLiteral("[--all | --slots F] [--verify] [--report FILE]"),
         QStringLiteral("check FILE, then write it to the boards on\nevery PORT at once, as config set does; "
                        "one\noutcome per port and a summary"),
         &CliRunner::provision},
        {CliCommand::Check,
         QStringLiteral("check"),
         {O::File, O::Ports},
         boardLine | writes | OptAll | OptSlots | OptJobs | OptReport,
         QStringLiteral("[--all | --slots F] [--report FILE]"),
         QStringLiteral("compare every board with FILE, writing\nnothing: matches or differs, one outcome per\nport "
                        "and a summary"),
         &CliRunner::check},
        {CliCommand::RecordPush,
         QStringLiteral("record push"),
         {},
         OptRecord | OptWholeHistory,
         QStringLiteral("[--history]"),
         QStringLiteral("forward the entries that wait to the\nfactory's record (--history: every entry of\nthe local "
                        "history it lacks, each once)"),
         &CliRunner::recordPush},
        {CliCommand::RecordShow,
         QStringLiteral("record show"),
         {},
         OptRecord | OptSerial | OptStation | OptSince | OptCount,
         QStringLiteral("[--serial S] [--station N] [--since TIME] [--count N]"),
         QStringLiteral("the entries of every bench in the record,\nnewest first (the newest 100 unless --count)"),
         &CliRunner::recordShow},
        {CliCommand::RecordBoards,
         QStringLiteral("record boards"),
         {},
         OptRecord,
         {},
         QStringLiteral("one row per board in the record: what it\nheld last, where, when, and the last outcome"),
         &CliRunner::recordBoards},
    };
    return table;
}

const CommandRow &commandRow(CliCommand command)
{
    const QList<CommandRow> &table = commandTable();
    for (const CommandRow &row : table)
        if (row.command == command)
            return row;
    Q_UNREACHABLE();
    return table.first();
}

QString operandName(Operand operand)
{
    switch (operand) {
    case Operand::Port:
        return QStringLiteral("PORT");
    case Operand::File:
        return QStringLiteral("FILE");
    case Operand::Entry:
        return QStringLiteral("N");
    case Operand::Ports:
        return QStringLiteral("PORT...");
    }
    return QString();
}

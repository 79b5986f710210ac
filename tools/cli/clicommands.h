// halvero-cli's commands, one row each: the words that name it, its operands,
// the options it takes, its line in --help and the CliRunner member that runs
// it. The parser, the help text, commandName() and the dispatch all read this
// table, so a new command is one new row (and its member).
#ifndef HALVERO_CLI_CLICOMMANDS_H
#define HALVERO_CLI_CLICOMMANDS_H

#include <QList>
#include <QString>

#include "cliarguments.h"

class CliRunner;

// The options that make sense for some commands only; any other command
// refuses them. -q, -v, --json, --help and --version go with every command.
enum CommandOption : unsigned {
    OptOutput = 1u << 0,
    OptVerify = 1u << 1,
    OptWatch = 1u << 2,
    OptCount = 1u << 3,
    OptYes = 1u << 4,
    OptSerial = 1u << 5,
    OptAnyBoard = 1u << 6,
    OptNoHistory = 1u << 7,
    OptBaud = 1u << 8,
    OptAll = 1u << 9,
    OptJobs = 1u << 10,
    OptReport = 1u << 11,
    OptSlots = 1u << 12,
    OptRecord = 1u << 13,
    OptStation = 1u << 14,
    OptSince = 1u << 15,
    OptWholeHistory = 1u << 16,
};

// What the words after the command stand for, in the order typed. Ports
// comes last and takes every word left: one or more, or none with --all or
// --slots.
enum class Operand {
    Port,
    File,
    Entry,
    Ports
};

struct CommandRow
{
    CliCommand command;
    QString words; // as typed: "config set"
    QList<Operand> operands;
    unsigned options = 0; // CommandOption bits
    QString usage;        // the --help synopsis after the operands: "[--verify]"
    QString help;         // the --help description; '\n' continues it below
    int (CliRunner::*run)() = nullptr;
    bool byOption = false; // reached through --help or --version, never typed as a word
};

// Every command, in the order --help lists them.
const QList<CommandRow> &commandTable();
const CommandRow &commandRow(CliCommand command);

// "PORT", "FILE", "N", "PORT..." as the help and the man page write them.
QString operandName(Operand operand);

#endif // HALVERO_CLI_CLICOMMANDS_H

// How an operation of the link library says it did not work out: what kind
// of failure it was, for the program to act on (halvero-cli turns it into an
// exit status), and one line saying why, for the operator. Results that
// carry a value as well (a configuration read from a file, the entries of
// the history) derive from it.
#ifndef HALVERO_RESULT_H
#define HALVERO_RESULT_H

#include <QString>

enum class ErrorCode {
    None,
    Usage,       // a command line that makes no command
    BadFile,     // unreadable, malformed, unknown format or fields; the history cannot be read
    OutOfRange,  // a value the board does not accept
    WrongFamily, // a configuration for the other board family
    NoSuchPort,
    PortOpen,     // the port exists but cannot be opened
    NoReply,      // the board does not identify or stops answering
    HeldOther,    // the board holds other values than were written
    Refused,      // an overwrite that was not confirmed
    OutputFile,   // an output file or stream cannot be written
    NeverQuiet,   // the line never falls quiet: no board, or a wrong speed
    History,      // the history cannot be written
    OtherBoard,   // a history entry of a board with another serial
    Interrupted,  // SIGINT, SIGTERM or SIGHUP ended the command early
    OutputClosed, // the program reading standard output has gone
    Record,       // the factory's record cannot be reached, or refuses
};

struct Result
{
    ErrorCode code = ErrorCode::None;
    QString message; // one line; empty when ok

    bool ok() const { return code == ErrorCode::None; }
    static Result failure(ErrorCode code, const QString &message) { return Result{code, message}; }
};

#endif // HALVERO_RESULT_H

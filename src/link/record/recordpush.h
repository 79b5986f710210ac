// Forwarding what waits in the local history to the factory's record:
// checked as the history checks its lines, stored in batches keyed on each
// entry's own id (an entry already there is kept once), an entry the server
// refuses set aside with its reason while every other goes in, and the mark
// moved only once the record has committed.
#ifndef HALVERO_RECORDPUSH_H
#define HALVERO_RECORDPUSH_H

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>

#include "recordconnection.h"
#include "recorduri.h"
#include "result.h"

namespace Record {

struct PushOptions
{
    // Every entry of the local history, not only those after the mark: a
    // record that lacks some (a new record, entries from before one was
    // configured) gets each once.
    bool wholeHistory = false;
    // The most the whole push may take; 0: no bound but each step's.
    int deadlineMs = 0;
    // Set from another thread, it ends the push at once (the window
    // quitting); what was not forwarded waits for the next.
    const std::atomic<bool> *stop = nullptr;
};

struct PushResult : Result
{
    int offered = 0;                 // entries sent to the record
    int stored = 0;                  // of those, new to it (the others it held already)
    int waiting = 0;                 // still waiting afterwards, refused ones included
    QStringList refused;             // "entry <id> of board <serial> (<time>): <the server's reason>"
    QStringList warnings;            // damaged lines, left out of the record
    bool fromStart = false;          // nothing had been forwarded from this history before: all of it was offered
    Failure failure = Failure::None; // what kind of failure, when the record was the cause
};

// Entries taken per statement: a long outage's backlog goes in a few round
// trips, each one well inside the statement bound (2,000 entries take the
// server about 0.1 s).
constexpr int pushBatch = 2000;

// Forwards what waits beside `historyPath`. A failure (ErrorCode::Record)
// says why the record did not take them, the password masked; they then
// wait for the next push. Entries the record refused make no failure of
// their own: they are in `refused`.
PushResult push(const Target &target, const QString &historyPath, const PushOptions &options = PushOptions());

// Stores history lines whose entries passed checkedEntry(), each filed
// under its serial number (normalSerial()); `stored` counts the new ones.
// The lines go as the history holds them: the server reads each once.
Result store(Connection &connection, const QList<QByteArray> &lines, const QStringList &serials, int *stored);

// The entry on a history line when the record may take it: the history's
// own checks, and an id, a station and a user to file it under. Otherwise
// `why` is set.
QJsonObject checkedEntry(const QByteArray &line, QString *why);

// "1 entry waits to be forwarded to the record" / "N entries wait ...".
QString waitingSentence(int waiting);

} // namespace Record

#endif // HALVERO_RECORDPUSH_H

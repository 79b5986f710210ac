// Forwarding the outbox to the factory's record: what waits is checked as
// the history checks its lines, stored in batches keyed on each entry's own
// id (an entry already there is kept once), and taken out of the outbox
// only once the record has committed it.
#ifndef HALVERO_RECORDPUSH_H
#define HALVERO_RECORDPUSH_H

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include "recorduri.h"
#include "result.h"

namespace Record {

class Connection;

struct PushResult : Result
{
    int offered = 0;      // entries sent to the record
    int stored = 0;       // of those, new to it (the others it held already)
    int waiting = 0;      // still in the outbox afterwards
    QStringList warnings; // damaged lines, left out of the record
};

// Entries taken per statement: a long outage's backlog goes in a few round
// trips, each one well inside the statement bound.
constexpr int pushBatch = 500;

// Forwards what waits beside `historyPath`. A failure (ErrorCode::Record)
// says why the record did not take them, the password masked; the entries
// then stay in the outbox for the next push.
PushResult push(const Target &target, const QString &historyPath);

// Stores entries that passed checkedEntry(); `stored` counts the new ones.
Result store(Connection &connection, const QList<QJsonObject> &entries, int *stored);

// The entry on an outbox line when the record may take it: the history's
// own checks, and an id, a station and a user to file it under. Otherwise
// `why` is set.
QJsonObject checkedEntry(const QByteArray &line, QString *why);

// "1 entry waits to be forwarded to the record" / "N entries wait ...".
QString waitingSentence(int waiting);

} // namespace Record

#endif // HALVERO_RECORDPUSH_H

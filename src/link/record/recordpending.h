// What waits for the factory's record is the local history itself: every
// entry after a mark beside it (history.jsonl -> history.jsonl.forwarded),
// which names the last entry the record has committed. The mark moves only
// after the server's commit, so an entry that is in the history is
// forwarded whatever moment the program is killed at; there is no second
// copy of it to lose. Entries the record refused are set aside in a file of
// their own (history.jsonl.refused) with the server's reason, tried again
// at every push, and never hold back the entries after them.
#ifndef HALVERO_RECORDPENDING_H
#define HALVERO_RECORDPENDING_H

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include "result.h"

namespace Record {

QString markPathOf(const QString &historyPath);
QString refusedPathOf(const QString &historyPath);
// The outbox file of earlier versions: its lines are forwarded once more,
// then it is removed.
QString legacyOutboxPathOf(const QString &historyPath);

struct RefusedEntry
{
    QString id;
    QByteArray line; // as the history holds it
    QString reason;  // the server's words
};

struct Pending : Result
{
    QList<QByteArray> lines;     // after the mark, oldest first (the whole history with `wholeHistory`)
    QList<RefusedEntry> refused; // set aside earlier, tried again
    QList<QByteArray> legacy;    // from an outbox of an earlier version
    QString markId;              // where the mark stood when read (empty: none yet)
    QStringList warnings;        // a mark that names no entry the history still holds, ...
    bool markFound = false;      // the mark named an entry of the history
};

// What waits beside `historyPath`. A history or mark that is no regular
// file, or a mark that cannot be read, is a failure (ErrorCode::Record).
Pending pending(const QString &historyPath, bool wholeHistory = false);
// How many entries wait (refused ones included); -1 when it cannot be told.
int waitingCount(const QString &historyPath);

// The record has committed every entry up to the one with `lastId`
// (numbered `lastSeq`): the mark moves there from `from`, where this push
// found it, on the disk before it returns. Never back: should another push
// have moved it meanwhile, it moves only to a higher number.
Result advanceMark(const QString &historyPath, const QString &from, const QString &lastId, qint64 lastSeq);
// Sets aside the entries this push saw refused, and takes back those it
// has stored since; what another push set aside meanwhile stays. On the
// disk before the mark moves past them.
Result keepRefused(const QString &historyPath, const QList<RefusedEntry> &refused, const QSet<QString> &stored);
// The outbox of an earlier version, once its lines are in the record.
Result dropLegacyOutbox(const QString &historyPath);

} // namespace Record

#endif // HALVERO_RECORDPENDING_H

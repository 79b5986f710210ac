// Reading the factory's record: the entries of every bench, newest first,
// each with what it changed on its board and whether its write was ever
// answered, as the local history lists them; and one row per board. A row
// whose entry fails the history's checks, or whose columns disagree with
// its entry, is marked damaged and never passed off as good.
#ifndef HALVERO_RECORDQUERY_H
#define HALVERO_RECORDQUERY_H

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include "confighistory.h"
#include "result.h"

namespace Record {

class Connection;

struct RecordedEntry
{
    ConfigHistory::Entry entry;
    QString station;
    QString user;
    ConfigHistory::EntryChanges changes;
    QString damaged; // why the row is not a good entry; empty when it is
};

struct ShowFilter
{
    QString serial;  // any form normalSerial() takes; empty: every board
    QString station; // empty: every bench
    QDateTime since; // invalid: from the first
    int count = 0;   // the newest N; 0: all of them
    int offset = 0;  // skipping the newest `offset` (a listing read page by page)
};

struct ShowResult : Result
{
    QList<RecordedEntry> entries; // newest first
};
ShowResult show(Connection &connection, const ShowFilter &filter);

// A board as the record knows it: the configuration it held last (its
// newest entry that is no intent), its last write and how it ended, and its
// last audit and what it found, each apart: an audit never hides a write.
struct BoardEvent
{
    bool known = false; // false: the board has none
    QString time;       // UTC, ISO 8601
    QString station;
    QString user;
    QString outcome;    // write: held, other-values, outcome-unknown, not-written; check: matches, differs
    QStringList fields; // the fields that differ (other-values, differs)
    QJsonObject file;   // the golden file a check (or a provisioning write) was made with: {name, sha256}
    QString damaged;    // why the entry it was told from is not a good one
};

struct BoardSummary
{
    QString serial;
    RecordedEntry held;
    BoardEvent lastWrite;
    BoardEvent lastCheck;
};

struct BoardsResult : Result
{
    QList<BoardSummary> boards; // by serial number
};
BoardsResult boards(Connection &connection);

} // namespace Record

#endif // HALVERO_RECORDQUERY_H

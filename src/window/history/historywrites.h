// The history as the operator thinks of it: one row per write, not the
// entries behind it. A write's entries (what the board held before, what
// was about to be written, what it held after) share the write's id; older
// entries without one are paired by their order on one board. Each row says
// what the write changed and how it ended, in the page's words. A check is
// a row of its own, an audit: what the board was compared with and what
// was found, nothing written.
#ifndef HALVERO_HISTORYWRITES_H
#define HALVERO_HISTORYWRITES_H

#include <QCoreApplication>
#include <QList>
#include <QString>

#include "historyreader.h"

namespace HistoryWrites {

enum class Outcome {
    Held,        // the board answered with what was written (Set defaults: it answered)
    OtherValues, // it answered with other values
    NotKnown,    // it went out, and no answer was recorded
    NotWritten,  // only the read before it was recorded: nothing went out
    Matches,     // a check: the board held what the file has
    Differs,     // a check: it held other values for `differing`
    Compared,    // a check recorded before its finding was
};

struct Row
{
    QList<int> entries; // indices into the listing, newest first
    int values = -1;    // the entry whose values the row stands for: after, else intent, else before
    Outcome outcome = Outcome::NotKnown;
    QString changes;   // what it changed, or was to change, in the page's words; for a check, what it compared with
    QString differing; // Differs: the fields, in the page's words
};

// The rows of `listed` (newest first, as HistoryReader gives them), newest
// first. A write whose older entries are not in `listed` yet is a row of
// the entries that are.
QList<Row> group(const QList<ConfigHistory::ListedEntry> &listed);

// "Save CONF", "Set defaults", "Restore", "Check (audit)"; another event as
// it is recorded.
QString writeText(const QString &event);
// "held", "other values", "not known", "not written"; "matches", "differs:
// channel 3 failsafe", "compared".
QString outcomeText(const Row &row);

} // namespace HistoryWrites

#endif // HALVERO_HISTORYWRITES_H

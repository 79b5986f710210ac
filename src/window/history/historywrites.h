// The history as the operator thinks of it: one row per write, not the
// entries behind it. A write's entries (what the board held before, what
// was about to be written, what it held after) share the write's id; older
// entries without one are paired by their order on one board. Each row says
// what the write changed and how it ended, in the page's words.
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
};

struct Row
{
    QList<int> entries; // indices into the listing, newest first
    int values = -1;    // the entry whose values the row stands for: after, else intent, else before
    Outcome outcome = Outcome::NotKnown;
    QString changes; // what it changed, or was to change, in the page's words
};

// The rows of `listed` (newest first, as HistoryReader gives them), newest
// first. A write whose older entries are not in `listed` yet is a row of
// the entries that are.
QList<Row> group(const QList<ConfigHistory::ListedEntry> &listed);

// "Save CONF", "Set defaults", "Restore"; another event as it is recorded.
QString writeText(const QString &event);
// "held", "other values", "not known", "not written".
QString outcomeText(Outcome outcome);

} // namespace HistoryWrites

#endif // HALVERO_HISTORYWRITES_H

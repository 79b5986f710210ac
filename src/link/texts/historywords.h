// The configuration history in the operator's words: each changed field by
// the name the page gives it and each value as the page shows it, "group 2
// bank: Bank A → Bank B", as the history window and `halvero-cli history`
// list it, and as a bench run (check) names the fields a board differs in.
#ifndef HALVERO_HISTORYWORDS_H
#define HALVERO_HISTORYWORDS_H

#include <QList>
#include <QString>

#include "boardconfig.h"
#include "confighistory.h"

namespace HistoryWords {

// "group 2 bank: Bank A → Bank B, channel 1 failsafe: 1000 → 1500"; `board`
// is the value before (or on the board), `file` the value after (or in the
// file).
QString differences(const QList<FieldDifference> &differences);
// What an entry changed: the differences, "unchanged" for a write that
// changed nothing, "changed since its last entry: …" for a "before" that
// found the board changed by another hand, "to write: …" for an "intent",
// and "outcome unknown" first for a write whose answer was never recorded.
QString changes(const ConfigHistory::Entry &entry, const ConfigHistory::EntryChanges &changes);

} // namespace HistoryWords

#endif // HALVERO_HISTORYWORDS_H

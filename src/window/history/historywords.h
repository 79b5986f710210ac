// The configuration history in the operator's words: each changed field by
// the name the page gives it and each value as the page shows it, "group 2
// bank: Bank A → Bank B", where halvero-cli lists the JSON's paths.
#ifndef HALVERO_HISTORYWORDS_H
#define HALVERO_HISTORYWORDS_H

#include <QList>
#include <QString>

#include "boardconfig.h"
#include "confighistory.h"

namespace HistoryWords {

// "group 2 bank: Bank A → Bank B, channel 1 failsafe: 1000 → 1500"; `board`
// is the value before, `file` the value after.
QString differences(const QList<FieldDifference> &differences);
// What an entry changed, as the history window lists it: the differences,
// "unchanged" for a write that changed nothing, "changed since its last
// entry: …" for a "before" that found the board changed by another hand.
QString changes(const ConfigHistory::Entry &entry, const ConfigHistory::EntryChanges &changes);

} // namespace HistoryWords

#endif // HALVERO_HISTORYWORDS_H

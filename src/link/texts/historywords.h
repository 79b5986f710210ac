// The configuration history in the operator's words: each changed field by
// the name the page gives it and each value as the page shows it, "group 2
// bank: Bank A → Bank B", as the history window and `halvero-cli history`
// list it, and as a bench run (check) names the fields a board differs in.
// A check is put as the audit it is, with what it found.
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
// A check is an audit, never a write: "compared with golden.json: differs:
// channel 3 failsafe", then what changed since the board's last entry.
QString changes(const ConfigHistory::Entry &entry, const ConfigHistory::EntryChanges &changes);

// The phase column of an entries listing: the entry's phase, "audit" for a
// check (whose "before" is no write's). Untranslated, as the phases are.
QString phaseWord(const ConfigHistory::Entry &entry);

// A check's finding: "matches", or "differs: channel 3 failsafe, trigger
// High" (the fields by the page's names); empty for any other entry, and for
// a check recorded before its outcome was.
QString auditOutcome(const ConfigHistory::Entry &entry);
// The fields a check found different, by the page's names: "channel 3
// failsafe, trigger High".
QString auditFields(const ConfigHistory::Entry &entry);
// What a check compared the board with: "compared with golden.json", or
// "compared with a file" for a check that names none.
QString auditSource(const ConfigHistory::Entry &entry);

} // namespace HistoryWords

#endif // HALVERO_HISTORYWORDS_H

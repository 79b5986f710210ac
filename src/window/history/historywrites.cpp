// One row per write, from the history's entries.
#include "historywrites.h"

#include <QHash>

#include "historywords.h"

using namespace ConfigHistory;

namespace HistoryWrites {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("HistoryWrites", text);
}

// Phases of one write, newest last: an older entry of a write comes later
// in a listing that runs newest first.
int phaseOrder(const QString &phase)
{
    if (phase == phaseBefore)
        return 0;
    if (phase == phaseIntent)
        return 1;
    if (phase == phaseAfter)
        return 2;
    return 3;
}

QString boardKey(const Entry &entry)
{
    return Protocol::familyName(entry.config.family) + QLatin1Char('/') + normalSerial(entry.config.serial);
}

// A check: nothing was written, so there is no outcome of a write to tell;
// what it found is its outcome.
void settleAudit(Row &row, const ListedEntry &check)
{
    const Entry &e = check.entry;
    row.values = row.entries.first();
    row.outcome = e.outcome == outcomeMatches   ? Outcome::Matches
                  : e.outcome == outcomeDiffers ? Outcome::Differs
                                                : Outcome::Compared;
    if (row.outcome == Outcome::Differs)
        row.differing = HistoryWords::auditFields(e);
    row.changes = HistoryWords::auditSource(e);
    if (!check.changes.differences.isEmpty())
        row.changes = tr("%1; changed since its last entry: %2")
                          .arg(row.changes, HistoryWords::differences(check.changes.differences));
}

void settle(Row &row, const QList<ListedEntry> &listed)
{
    if (listed.at(row.entries.first()).entry.isCheck())
        return settleAudit(row, listed.at(row.entries.first()));
    const Entry *before = nullptr;
    const Entry *intent = nullptr;
    const Entry *after = nullptr;
    int afterAt = -1, intentAt = -1, beforeAt = -1;
    for (int i : std::as_const(row.entries)) {
        const Entry &e = listed.at(i).entry;
        if (e.phase == phaseAfter && !after) {
            after = &e;
            afterAt = i;
        } else if (e.phase == phaseIntent && !intent) {
            intent = &e;
            intentAt = i;
        } else if (e.phase == phaseBefore && !before) {
            before = &e;
            beforeAt = i;
        }
    }
    row.values = afterAt >= 0 ? afterAt : intentAt >= 0 ? intentAt : beforeAt >= 0 ? beforeAt : row.entries.first();

    QStringList said;
    if (after) {
        row.outcome =
            intent && diffConfigs(after->config, intent->config).size() > 0 ? Outcome::OtherValues : Outcome::Held;
        said << HistoryWords::changes(*after, listed.at(afterAt).changes);
        if (row.outcome == Outcome::OtherValues)
            said << tr("the board holds other values than written for: %1")
                        .arg(HistoryWords::differences(diffConfigs(after->config, intent->config)));
    } else if (intent) {
        row.outcome = Outcome::NotKnown;
        EntryChanges changes = listed.at(intentAt).changes;
        changes.outcomeUnknown = false; // the outcome has a column of its own
        said << HistoryWords::changes(*intent, changes);
    } else {
        // Set defaults announces nothing before it goes out: its read before
        // is all there is of one the board never answered.
        row.outcome = before && before->event == eventDefaults ? Outcome::NotKnown : Outcome::NotWritten;
    }
    if (before) {
        EntryChanges changes = listed.at(beforeAt).changes;
        changes.outcomeUnknown = false;
        if (!changes.differences.isEmpty())
            said << HistoryWords::changes(*before, changes);
    }
    said.removeAll(QString());
    row.changes = said.join(QLatin1String("; "));
}

} // namespace

QList<Row> group(const QList<ListedEntry> &listed)
{
    QList<Row> rows;
    QHash<QString, int> byWrite;     // write id -> row
    QHash<QString, int> openOnBoard; // entries without an id: the row a board's next older entry may join
    for (int i = 0; i < listed.size(); ++i) {
        const Entry &e = listed.at(i).entry;
        const QString id = e.json.value(QStringLiteral("writeId")).toString();
        if (!id.isEmpty()) {
            if (const auto it = byWrite.constFind(id); it != byWrite.cend()) {
                rows[*it].entries << i;
                continue;
            }
            byWrite.insert(id, int(rows.size()));
            Row row;
            row.entries << i;
            rows.append(row);
            continue;
        }
        const QString board = boardKey(e);
        if (const auto it = openOnBoard.constFind(board); it != openOnBoard.cend()) {
            const Entry &newer = listed.at(rows.at(*it).entries.last()).entry;
            if (newer.event == e.event && phaseOrder(e.phase) < phaseOrder(newer.phase)) {
                rows[*it].entries << i;
                if (e.phase == phaseBefore)
                    openOnBoard.remove(board);
                continue;
            }
        }
        openOnBoard.insert(board, int(rows.size()));
        Row row;
        row.entries << i;
        rows.append(row);
        if (e.phase == phaseBefore)
            openOnBoard.remove(board);
    }
    for (Row &row : rows)
        settle(row, listed);
    return rows;
}

QString writeText(const QString &event)
{
    if (event == eventSave)
        return tr("Save CONF");
    if (event == eventDefaults)
        return tr("Set defaults");
    if (event == eventRestore)
        return tr("Restore");
    if (event == eventCheck)
        return tr("Check (audit)");
    return event;
}

QString outcomeText(const Row &row)
{
    switch (row.outcome) {
    case Outcome::Held:
        return tr("held");
    case Outcome::OtherValues:
        return tr("other values");
    case Outcome::NotKnown:
        return tr("not known");
    case Outcome::NotWritten:
        return tr("not written");
    case Outcome::Matches:
        return tr("matches");
    case Outcome::Differs:
        return row.differing.isEmpty() ? tr("differs") : tr("differs: %1").arg(row.differing);
    case Outcome::Compared:
        return tr("compared");
    }
    return QString();
}

} // namespace HistoryWrites

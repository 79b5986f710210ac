// History entries in the operator's language, from the family table's labels
// and value names, translated under the link's own context.
#include "historywords.h"

#include <QCoreApplication>
#include <QStringList>

namespace HistoryWords {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("DeviceLink", text);
}

} // namespace

QString differences(const QList<FieldDifference> &differences)
{
    QStringList parts;
    for (const FieldDifference &d : differences)
        parts << tr("%1: %2 → %3").arg(d.field.label(), d.field.valueName(d.board), d.field.valueName(d.file));
    return parts.join(QStringLiteral(", "));
}

QString changes(const ConfigHistory::Entry &entry, const ConfigHistory::EntryChanges &changes)
{
    using namespace ConfigHistory;
    const QString changed = differences(changes.differences);
    QString text = changed;
    if (changes.compared && changed.isEmpty() && entry.phase == phaseAfter)
        text = tr("unchanged");
    else if (!changed.isEmpty() && entry.phase == phaseBefore)
        text = tr("changed since its last entry: %1").arg(changed);
    else if (changes.compared && entry.phase == phaseIntent)
        text = changed.isEmpty() ? tr("to write: no change") : tr("to write: %1").arg(changed);
    // A write whose answer was never recorded: the board may hold it.
    if (!changes.outcomeUnknown)
        return text;
    return text.isEmpty() ? tr("outcome unknown") : tr("outcome unknown; %1").arg(text);
}

} // namespace HistoryWords

// History entries in the window's language, from the family table's labels
// and value names.
#include "historywords.h"

#include <QCoreApplication>
#include <QStringList>

namespace HistoryWords {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Halvero_configurator", text);
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
    const QString changed = differences(changes.differences);
    if (changes.compared && changed.isEmpty() && entry.phase == ConfigHistory::phaseAfter)
        return tr("unchanged");
    if (!changed.isEmpty() && entry.phase == ConfigHistory::phaseBefore)
        return tr("changed since its last entry: %1").arg(changed);
    return changed;
}

} // namespace HistoryWords

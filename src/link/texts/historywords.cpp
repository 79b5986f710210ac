// History entries in the operator's language, from the family table's labels
// and value names, translated under the link's own context.
#include "historywords.h"

#include <QCoreApplication>
#include <QStringList>
#include <algorithm>

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

QString phaseWord(const ConfigHistory::Entry &entry)
{
    return entry.isCheck() ? QStringLiteral("audit") : entry.phase;
}

QString auditOutcome(const ConfigHistory::Entry &entry)
{
    if (!entry.isCheck())
        return QString();
    if (entry.outcome == ConfigHistory::outcomeMatches)
        return tr("matches");
    if (entry.outcome != ConfigHistory::outcomeDiffers)
        return QString();
    const QString fields = auditFields(entry);
    return fields.isEmpty() ? tr("differs") : tr("differs: %1").arg(fields);
}

QString auditFields(const ConfigHistory::Entry &entry)
{
    // The entry keeps the fields by their paths; the page's names for them
    // come from the board's family, and a path it does not know stays a path.
    const QList<ConfigField> fields = configFields(entry.config.family);
    QStringList names;
    for (const QString &path : entry.differs) {
        const auto field =
            std::find_if(fields.begin(), fields.end(), [&path](const ConfigField &f) { return f.path == path; });
        names << (field != fields.end() ? field->label() : path);
    }
    return names.join(QStringLiteral(", "));
}

QString auditSource(const ConfigHistory::Entry &entry)
{
    return entry.file.name.isEmpty() ? tr("compared with a file") : tr("compared with %1").arg(entry.file.name);
}

QString changes(const ConfigHistory::Entry &entry, const ConfigHistory::EntryChanges &changes)
{
    using namespace ConfigHistory;
    const QString changed = differences(changes.differences);
    if (entry.isCheck()) {
        const QString found = auditOutcome(entry);
        QString text = found.isEmpty() ? auditSource(entry) : tr("%1: %2").arg(auditSource(entry), found);
        return changed.isEmpty() ? text : tr("%1; changed since its last entry: %2").arg(text, changed);
    }
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

// The board's values in the page's editors and value fields, both ways.
#include "configpage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSpinBox>

#include "boardfamilies.h"
#include "displayformat.h"
#include "familyform.h"
#include "fieldhelp.h"
#include "parachuteradiocomm.h"
#include "recordtext.h"

ConfigPage::ConfigPage(const QList<QWidget *> &pages, QObject *parent)
    : QObject(parent)
    , m_pages(pages)
{
    for (BoardFamily family : Protocol::knownFamilies()) {
        // A value field on a family's page that none of its status replies
        // fills (the trigger board's switch status and trigger reading)
        // shows no value.
        QStringList shown;
        for (const StatusField &field : Protocol::familyTable(family).status)
            shown << FamilyForm::statusWidgetName(family, field);
        if (QWidget *page = named(FamilyForm::pageName(family))) {
            for (QWidget *line : page->findChildren<QWidget *>()) {
                // Value fields have a text; the separator lines do not.
                if (line->objectName().startsWith(QLatin1String("line_")) && !shown.contains(line->objectName())
                    && line->metaObject()->indexOfProperty("text") >= 0) {
                    line->setEnabled(false);
                    line->setProperty("text", tr("N/A"));
                }
            }
        }
        // Each editor named after its field, with its range and unit in its
        // tool tip; what the form then says of it, to come back to once a
        // value out of its range is no longer shown.
        for (const ConfigField &field : configFields(family)) {
            QWidget *widget = editor(family, field);
            if (!widget)
                continue;
            if (const auto *spin = qobject_cast<const QSpinBox *>(widget))
                m_formRanges.insert(widget, {spin->minimum(), spin->maximum()});
            FieldHelp::describe(widget, field);
            m_formToolTips.insert(widget, widget->toolTip());
            if (auto *spin = qobject_cast<QSpinBox *>(widget))
                connect(spin, &QSpinBox::valueChanged, this, &ConfigPage::edited);
            else if (auto *combo = qobject_cast<QComboBox *>(widget))
                connect(combo, &QComboBox::currentIndexChanged, this, &ConfigPage::edited);
            else if (auto *check = qobject_cast<QCheckBox *>(widget))
                connect(check, &QCheckBox::toggled, this, &ConfigPage::edited);
        }
    }
}

QWidget *ConfigPage::named(const QString &name) const
{
    // An empty name would find whichever unnamed widget comes first.
    if (name.isEmpty())
        return nullptr;
    for (QWidget *page : m_pages) {
        if (page->objectName() == name)
            return page;
        if (auto *found = page->findChild<QWidget *>(name))
            return found;
    }
    return nullptr;
}

QWidget *ConfigPage::editor(BoardFamily family, const ConfigField &field) const
{
    return named(FamilyForm::configWidgetName(family, field));
}

QList<QWidget *> ConfigPage::editors() const
{
    QList<QWidget *> all;
    for (BoardFamily family : Protocol::knownFamilies())
        for (const ConfigField &field : configFields(family))
            if (QWidget *widget = named(FamilyForm::configWidgetName(family, field)))
                all << widget;
    return all;
}

void ConfigPage::show(const BoardConfig &config)
{
    for (const ConfigField &field : configFields(config.family)) {
        QWidget *widget = named(FamilyForm::configWidgetName(config.family, field));
        const int value = config.values.value(field.path);
        QString outside;
        if (auto *combo = qobject_cast<QComboBox *>(widget)) {
            // The form's items stand for the values 0, 1, ...; a value past
            // them gets an item of its own for as long as it is shown.
            const int formItems = field.max - field.min + 1;
            while (combo->count() > formItems)
                combo->removeItem(combo->count() - 1);
            if (value >= 0 && value < formItems) {
                combo->setCurrentIndex(value);
            } else {
                combo->addItem(tr("%1 (unknown)").arg(value), value);
                combo->setCurrentIndex(combo->count() - 1);
                outside = tr("The board holds %1, which this page has no name for.").arg(value);
            }
        } else if (auto *spin = qobject_cast<QSpinBox *>(widget)) {
            const QPair<int, int> range = m_formRanges.value(spin, {spin->minimum(), spin->maximum()});
            spin->setRange(qMin(range.first, value), qMax(range.second, value));
            spin->setValue(value);
            if (value < range.first || value > range.second)
                outside = tr("The board holds %1, outside %2 to %3.").arg(value).arg(range.first).arg(range.second);
        } else if (auto *check = qobject_cast<QCheckBox *>(widget)) {
            check->setChecked(value != 0);
        }
        if (widget)
            widget->setToolTip(outside.isEmpty() ? m_formToolTips.value(widget) : outside);
    }
}

BoardConfig ConfigPage::read(const BoardConfig &held) const
{
    BoardConfig page = held;
    page.readAt.clear();
    for (const ConfigField &field : configFields(page.family)) {
        const QWidget *widget = named(FamilyForm::configWidgetName(page.family, field));
        int value = held.values.value(field.path);
        if (const auto *combo = qobject_cast<const QComboBox *>(widget)) {
            const QVariant data = combo->currentData();
            if (combo->currentIndex() >= 0)
                value = data.isValid() ? data.toInt() : combo->currentIndex();
        } else if (const auto *spin = qobject_cast<const QSpinBox *>(widget)) {
            if (!field.displayOnly)
                value = spin->value();
        } else if (const auto *check = qobject_cast<const QCheckBox *>(widget)) {
            value = check->isChecked() ? 1 : 0;
        }
        page.values.insert(field.path, value);
    }
    return page;
}

QString ConfigPage::valueText(BoardFamily family, const ConfigField &field, int value) const
{
    QWidget *widget = editor(family, field);
    if (auto *combo = qobject_cast<QComboBox *>(widget)) {
        // The form's items stand for 0, 1, ...; an item added for another
        // value carries it as its data.
        int item = combo->findData(value);
        if (item < 0 && value >= 0 && value < combo->count() && !combo->itemData(value).isValid())
            item = value;
        return item >= 0 ? combo->itemText(item) : QString::number(value);
    }
    if (qobject_cast<QCheckBox *>(widget))
        return value ? tr("checked") : tr("not checked");
    return QString::number(value);
}

QString ConfigPage::refusal(const BoardConfig &page, const BoardConfig &held)
{
    // Only what the operator changed must be in range.
    for (const ConfigField &field : configFields(page.family)) {
        const int value = page.values.value(field.path);
        if (value != held.values.value(field.path) && (value < field.min || value > field.max))
            return tr("Not saved: %1 is %2, outside %3 to %4.")
                .arg(field.label())
                .arg(value)
                .arg(field.min)
                .arg(field.max);
    }
    return QString();
}

void ConfigPage::showStatus(const parachuteRadioComm &record)
{
    // Each value the family's table puts on its page. A reading that needs
    // a flag (the trigger pulse) stays as last shown, greyed out, while the
    // flag is off.
    const BoardFamily family = recordFamily(record);
    const QList<StatusField> &fields = Protocol::familyTable(family).status;
    for (const StatusField &field : fields) {
        // A line edit or a label: either shows its text.
        QWidget *line = named(FamilyForm::statusWidgetName(family, field));
        if (!line)
            continue;
        const float value = record.statusValue(field);
        const bool valid = field.validWith < 0 || record.statusValue(fields.at(field.validWith)) != 0;
        if (valid)
            line->setProperty("text", field.flag ? tr(value != 0 ? field.onWord : field.offWord)
                                                 : DisplayFormat::general(value));
        if (field.validWith >= 0)
            line->setEnabled(valid);
    }
}

void ConfigPage::setLiveGreyed(bool greyed)
{
    // The groups, not their fields: the fields keep their own enabled state
    // (trigger reading present or not) for when the board answers again.
    for (BoardFamily family : Protocol::knownFamilies())
        if (QWidget *group = named(FamilyForm::statusGroupName(family)))
            group->setEnabled(!greyed);
}

// Editors' names and tool tips from the family table; captions as buddies.
#include "fieldhelp.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QStringList>
#include <QTextDocument>
#include <QWidget>

namespace FieldHelp {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Halvero_configurator", text);
}

QString capitalised(QString text)
{
    if (!text.isEmpty())
        text[0] = text.at(0).toUpper();
    return text;
}

QString unitText(const QString &unit)
{
    return unit == QLatin1String("us") ? tr("µs") : unit;
}

void nameInGrid(QGridLayout *grid)
{
    for (int i = 0; i < grid->count(); ++i) {
        int row, column, rowSpan, columnSpan;
        grid->getItemPosition(i, &row, &column, &rowSpan, &columnSpan);
        QLayoutItem *item = grid->itemAt(i);
        auto *caption = qobject_cast<QLabel *>(item->widget());
        if (column != 0 || !caption || caption->text().isEmpty() || caption->buddy())
            continue;
        // The first widget after the caption in its row that takes the focus.
        for (int c = 1; c < grid->columnCount(); ++c) {
            QLayoutItem *beside = grid->itemAtPosition(row, c);
            QWidget *widget = beside ? beside->widget() : nullptr;
            if (widget && (widget->focusPolicy() & Qt::TabFocus)) {
                caption->setBuddy(widget);
                break;
            }
        }
    }
}

} // namespace

QString rangeText(const ConfigField &field)
{
    const QString name = capitalised(field.label());
    if (!field.valueNames.isEmpty()) {
        QStringList names;
        for (int value = field.min; value <= field.max; ++value)
            names << tr("“%1”").arg(field.valueName(value));
        return tr("%1: %2.").arg(name, names.join(tr(" or ")));
    }
    const QString unit = unitText(field.unit);
    return unit.isEmpty() ? tr("%1: %2 to %3.").arg(name).arg(field.min).arg(field.max)
                          : tr("%1: %2 to %3 %4.").arg(name).arg(field.min).arg(field.max).arg(unit);
}

void describe(QWidget *editor, const ConfigField &field)
{
    editor->setAccessibleName(capitalised(field.label()));
    const QString range = rangeText(field);
    editor->setAccessibleDescription(range);
    const QString form = editor->toolTip();
    if (form.isEmpty()) {
        editor->setToolTip(range);
    } else if (Qt::mightBeRichText(form)) {
        // The range as the first paragraph of the form's rich text.
        QString tip = form;
        const int body = tip.indexOf(QLatin1String("<body>"));
        tip.insert(body < 0 ? 0 : body + 6, QStringLiteral("<p>%1</p>").arg(range.toHtmlEscaped()));
        editor->setToolTip(tip);
    } else {
        editor->setToolTip(range + QLatin1Char('\n') + form);
    }
}

void nameByCaptions(QWidget *root)
{
    for (QGridLayout *grid : root->findChildren<QGridLayout *>())
        nameInGrid(grid);
}

} // namespace FieldHelp

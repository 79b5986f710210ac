// Unsaved edits: while the page differs from what the board last answered
// with, the window is marked modified and each differing field shows it
// (bold, tinted) with the board's value in its tool tip. Read CONF,
// Disconnect and closing the window ask before such edits are thrown away.
#include "Halvero_configurator.h"

#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QSpinBox>

#include "historydialog.h"
#include "statustext.h"
#include "ui_Halvero_configurator.h"

namespace {

// Marked widgets keep the tool tip the form gave them under this property.
const char *const formToolTip = "halveroFormToolTip";
// Set on a widget while it holds an unsaved edit (style sheets may use it).
const char *const unsavedEdit = "unsavedEdit";

void setMarked(QWidget *widget, bool marked, const QString &boardValue)
{
    if (!marked && !widget->property(unsavedEdit).toBool())
        return;
    if (!widget->property(formToolTip).isValid())
        widget->setProperty(formToolTip, widget->toolTip());
    widget->setProperty(unsavedEdit, marked);
    // Only the roles set here override what the widget inherits, so an
    // empty font or palette gives it back its own look.
    QFont font;
    QPalette palette;
    if (marked) {
        font.setBold(true);
        // A pale amber behind the value, dark text stays readable on it.
        palette.setColor(QPalette::Base, QColor(0xff, 0xf0, 0xc0));
        palette.setColor(QPalette::Button, QColor(0xff, 0xf0, 0xc0));
    }
    widget->setFont(font);
    widget->setPalette(palette);
    const QString original = widget->property(formToolTip).toString();
    if (!marked)
        widget->setToolTip(original);
    else
        widget->setToolTip(original.isEmpty() ? boardValue : boardValue + QStringLiteral("<br><br>") + original);
}

} // namespace

void Halvero_configurator::watchPageEdits()
{
    const auto changed = [this] { updateEditMarks(); };
    for (QSpinBox *spin : channelSpins())
        connect(spin, &QSpinBox::valueChanged, this, changed);
    for (QSpinBox *spin : {ui->spin_08A3_trig_high, ui->spin_08A3_trig_low, ui->spin_04F2_trig_high,
                           ui->spin_04F2_trig_low})
        connect(spin, &QSpinBox::valueChanged, this, changed);
    for (QComboBox *combo : bankCombos() + rateCombos())
        connect(combo, &QComboBox::currentIndexChanged, this, changed);
    for (QCheckBox *check : {ui->check_08A3_active_low, ui->check_04F2_active_low})
        connect(check, &QCheckBox::toggled, this, changed);
}

QWidget *Halvero_configurator::fieldWidget(const QString &path) const
{
    const bool trigger = boardHeld.family == BoardFamily::Trigger04F2;
    if (path == QLatin1String("trigger.activeLow"))
        return trigger ? ui->check_04F2_active_low : ui->check_08A3_active_low;
    if (path == QLatin1String("trigger.high"))
        return trigger ? ui->spin_04F2_trig_high : ui->spin_08A3_trig_high;
    if (path == QLatin1String("trigger.low"))
        return trigger ? ui->spin_04F2_trig_low : ui->spin_08A3_trig_low;
    if (path == QLatin1String("inaGain"))
        return ui->spin_ina_gain;
    for (int i = 0; i < 12; ++i) {
        if (path == QStringLiteral("failsafe[%1]").arg(i))
            return channelSpins().at(i);
        if (i < 3 && path == QStringLiteral("groups[%1].bank").arg(i))
            return bankCombos().at(i);
        if (i < 3 && path == QStringLiteral("groups[%1].refreshRate").arg(i))
            return rateCombos().at(i);
    }
    return nullptr;
}

QString Halvero_configurator::valueText(const QString &path, int value) const
{
    QWidget *widget = fieldWidget(path);
    if (auto *combo = qobject_cast<QComboBox *>(widget))
        return value >= 0 && value < combo->count() ? combo->itemText(value) : QString::number(value);
    if (qobject_cast<QCheckBox *>(widget))
        return value ? tr("checked") : tr("not checked");
    return QString::number(value);
}

void Halvero_configurator::updateEditMarks()
{
    QList<FieldDifference> differences;
    if (radioDevice && radioDevice->isConnected() && boardHeld.family != BoardFamily::Unknown
        && ui->tab_all->count() > 0)
        differences = diffConfigs(boardHeld, pageConfig());
    QList<QWidget *> marked;
    for (const FieldDifference &d : differences) {
        QWidget *widget = fieldWidget(d.field.path);
        if (!widget)
            continue;
        setMarked(widget, true, tr("The board holds %1.").arg(valueText(d.field.path, d.board)));
        marked << widget;
    }
    QList<QWidget *> all = {ui->spin_08A3_trig_high, ui->spin_08A3_trig_low, ui->spin_04F2_trig_high,
                            ui->spin_04F2_trig_low,  ui->check_08A3_active_low, ui->check_04F2_active_low,
                            ui->spin_ina_gain};
    for (QSpinBox *spin : channelSpins())
        all << spin;
    for (QComboBox *combo : bankCombos() + rateCombos())
        all << combo;
    for (QWidget *widget : all)
        if (!marked.contains(widget))
            setMarked(widget, false, QString());
    setWindowModified(!differences.isEmpty() || editsAtLoss.family != BoardFamily::Unknown);
}

bool Halvero_configurator::confirmDiscardEdits(const QString &question)
{
    if (!isWindowModified())
        return true;
    QString what;
    if (editsAtLoss.family != BoardFamily::Unknown && ui->tab_all->count() == 0) {
        what = tr("The edits made before the connection was lost are not saved to the board.");
    } else {
        QStringList fields;
        for (const FieldDifference &d : diffConfigs(boardHeld, pageConfig()))
            fields << StatusText::fieldLabel(d.field.path);
        what = tr("The page holds edits not saved to the board: %1.").arg(fields.join(QStringLiteral(", ")));
    }
    QMessageBox box(QMessageBox::Question, tr("Unsaved edits"), what + QLatin1Char(' ') + question,
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("dialog_unsaved_edits"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void Halvero_configurator::boardConfigShown()
{
    updateEditMarks();
    if (historyDialog && historyDialog->isVisible())
        historyDialog->reload();
}

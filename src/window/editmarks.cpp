// Unsaved edits: while the page differs from what the board last answered
// with, the window is marked modified and each differing field shows it
// (bold, tinted) with the board's value in its tool tip. Read CONF,
// Disconnect and closing the window ask before such edits are thrown away.
#include "Halvero_configurator.h"

#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QSpinBox>
#include <QTimer>

#include "statustext.h"
#include "ui_Halvero_configurator.h"

namespace {

// Set on a widget while it holds an unsaved edit (style sheets may use it).
const char *const unsavedEdit = "unsavedEdit";
// The tool tip a marked widget had before, and the one the mark gave it:
// the mark gives back the former only if nobody replaced the latter since.
const char *const toolTipBefore = "halveroToolTipBefore";
const char *const markToolTip = "halveroMarkToolTip";

void setMarked(QWidget *widget, bool marked, const QString &boardValue)
{
    const bool wasMarked = widget->property(unsavedEdit).toBool();
    if (!marked && !wasMarked)
        return;
    const bool ownToolTip = wasMarked && widget->toolTip() == widget->property(markToolTip).toString();
    if (!ownToolTip)
        widget->setProperty(toolTipBefore, widget->toolTip());
    const QString before = widget->property(toolTipBefore).toString();
    widget->setProperty(unsavedEdit, marked);
    // Only what is set here overrides what the widget inherits, so an empty
    // font gives it back its own look. Set only when the mark comes or goes.
    // The mark is in the font alone: a palette of its own would give the
    // style's pixmap cache a new set of frames every time.
    if (marked != wasMarked) {
        QFont font;
        if (marked) {
            // A combo box has no room to spare for bold text.
            if (qobject_cast<QComboBox *>(widget))
                font.setItalic(true);
            else
                font.setBold(true);
        }
        widget->setFont(font);
    }
    if (!marked) {
        if (ownToolTip)
            widget->setToolTip(before);
        return;
    }
    const QString tip = before.isEmpty() ? boardValue : boardValue + QStringLiteral("<br><br>") + before;
    widget->setToolTip(tip);
    widget->setProperty(markToolTip, tip);
}

} // namespace

void Halvero_configurator::watchPageEdits()
{
    // Typing or a whole configuration put in the page changes many values
    // in a row: the marks follow once the event loop is free again.
    editMarksTimer = new QTimer(this);
    editMarksTimer->setSingleShot(true);
    editMarksTimer->setInterval(0);
    connect(editMarksTimer, &QTimer::timeout, this, &Halvero_configurator::updateEditMarks);
    const auto changed = [this] { editMarksTimer->start(); };
    for (BoardFamily family : {BoardFamily::Switch08A3, BoardFamily::Trigger04F2}) {
        for (const ConfigField &field : configFields(family)) {
            QWidget *widget = fieldWidget(field);
            if (auto *spin = qobject_cast<QSpinBox *>(widget))
                connect(spin, &QSpinBox::valueChanged, this, changed);
            else if (auto *combo = qobject_cast<QComboBox *>(widget))
                connect(combo, &QComboBox::currentIndexChanged, this, changed);
            else if (auto *check = qobject_cast<QCheckBox *>(widget))
                connect(check, &QCheckBox::toggled, this, changed);
        }
    }
}

QString Halvero_configurator::valueText(const ConfigField &field, int value) const
{
    QWidget *widget = fieldWidget(field);
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

void Halvero_configurator::updateEditMarks()
{
    QList<FieldDifference> differences;
    if (radioDevice && radioDevice->isConnected() && boardHeld.family != BoardFamily::Unknown
        && ui->tab_all->count() > 0)
        differences = diffConfigs(boardHeld, pageConfig());
    QList<QWidget *> marked;
    for (const FieldDifference &d : differences) {
        QWidget *widget = fieldWidget(d.field);
        if (!widget)
            continue;
        setMarked(widget, true, tr("The board holds %1.").arg(valueText(d.field, d.board)));
        marked << widget;
    }
    for (BoardFamily family : {BoardFamily::Switch08A3, BoardFamily::Trigger04F2}) {
        for (const ConfigField &field : configFields(family)) {
            QWidget *widget = fieldWidget(field);
            if (widget && !marked.contains(widget))
                setMarked(widget, false, QString());
        }
    }
    setWindowModified(!differences.isEmpty() || editsAtLoss.family != BoardFamily::Unknown);
}

QMap<QString, int> Halvero_configurator::pageEdits() const
{
    QMap<QString, int> edits;
    for (const FieldDifference &d : diffConfigs(boardHeld, pageConfig()))
        edits.insert(d.field.path, d.file);
    return edits;
}

bool Halvero_configurator::confirmDiscardEdits(const QString &question, bool queueGoesOn)
{
    updateEditMarks();
    if (!isWindowModified())
        return true;
    // Edits a Save CONF queued ahead carries still reach the board while it
    // stays connected (a Read CONF goes after it).
    if (queueGoesOn && ui->tab_all->count() > 0) {
        const QMap<QString, int> edits = pageEdits();
        for (const action *queued : std::as_const(commandQueue))
            if (queued->transaction && queued->transaction->operation() == WriteTransaction::Operation::Save
                && !queued->transaction->finished() && queued->transaction->edits() == edits)
                return true;
    }
    QString what;
    if (editsAtLoss.family != BoardFamily::Unknown && ui->tab_all->count() == 0) {
        what = tr("The edits made before the connection was lost are not saved to the board.");
    } else {
        QStringList fields;
        for (const FieldDifference &d : diffConfigs(boardHeld, pageConfig()))
            fields << d.field.label();
        what = tr("The page holds edits not saved to the board: %1.").arg(fields.join(QStringLiteral(", ")));
    }
    QMessageBox box(QMessageBox::Question, tr("Unsaved edits"), what + QLatin1Char(' ') + question,
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("dialog_unsaved_edits"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

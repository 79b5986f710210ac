// The board pages of the main window: every decoded reply shown in the
// widgets of the board's family (and the Internal page), and the page
// buttons, which only queue commands for the poll cycle to send.
#include "Halvero_configurator.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QMessageBox>
#include <QSpinBox>
#include <QTimer>

#include "displayformat.h"
#include "historydialog.h"
#include "protocol.h"
#include "recordtext.h"
#include "statustext.h"
#include "ui_Halvero_configurator.h"

using Protocol::familyOf;

void Halvero_configurator::parseResponse(uint8_t response)
{
    using namespace DisplayFormat;
    const parachuteRadioComm *dev = radioDevice;
    if (!dev)
        return;
    const BoardFamily family = familyOf(dev->productCodeHigh, dev->productCodeLow);
    if (family == BoardFamily::Unknown)
        return;

    switch (response) {
    case USBmsgIdentity:
        ui->line_product->setText(productCode(dev->productCodeHigh, dev->productCodeLow));
        ui->line_fw_ver->setText(firmwareVersion(dev->fwVersionMajor, dev->fwVersionMinor));
        ui->line_REVID->setText(hex4(dev->chipRevId));
        ui->line_DEVID->setText(hex4(dev->chipDevId));
        ui->line_UUID->setText(serialNumber(dev->uniqueId));
        break;

    case USBmsgConfig:
        boardHeld = configFromRecord(*dev);
        boardHeld.readAt = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
        showConfigInPage(boardHeld);
        boardConfigShown();
        break;

    case USBmsgEepromDump:
        // The reply header's control bytes are not part of the text.
        dumpRecord.setDump(dumpBody(*dev), boardHeld, QDateTime::currentDateTime());
        ui->line_debug->setPlainText(dumpRecord.text());
        break;

    case USBmsgStatus: {
        // Each value the family's table puts on its page. A reading that
        // needs a flag (the trigger pulse) stays as last shown, greyed out,
        // while the flag is off.
        const QList<StatusField> &fields = Protocol::familyTable(family).status;
        for (const StatusField &field : fields) {
            // A line edit or a label: either shows its text. A field the
            // page has no widget for is not looked for (an empty name
            // would find whichever unnamed widget comes first).
            if (!field.widget || !*field.widget)
                continue;
            QWidget *line = findChild<QWidget *>(QLatin1String(field.widget));
            if (!line)
                continue;
            const float value = dev->statusValue(field);
            const bool valid = field.validWith < 0 || dev->statusValue(fields.at(field.validWith)) != 0;
            if (valid)
                line->setProperty("text", field.flag ? tr(value != 0 ? field.onWord : field.offWord) : general(value));
            if (field.validWith >= 0)
                line->setEnabled(valid);
        }
        statusReplyShown();
        break;
    }

    default:
        break;
    }
}

QWidget *Halvero_configurator::fieldWidget(const ConfigField &field) const
{
    return field.widget.isEmpty() ? nullptr : findChild<QWidget *>(field.widget);
}

void Halvero_configurator::showConfigInPage(const BoardConfig &config)
{
    for (const ConfigField &field : configFields(config.family)) {
        QWidget *widget = fieldWidget(field);
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
            const QPair<int, int> range = formRanges.value(spin, {spin->minimum(), spin->maximum()});
            spin->setRange(qMin(range.first, value), qMax(range.second, value));
            spin->setValue(value);
            if (value < range.first || value > range.second)
                outside = tr("The board holds %1, outside %2 to %3.").arg(value).arg(range.first).arg(range.second);
        } else if (auto *check = qobject_cast<QCheckBox *>(widget)) {
            check->setChecked(value != 0);
        }
        if (widget)
            widget->setToolTip(outside.isEmpty() ? formToolTips.value(widget) : outside);
    }
}

BoardConfig Halvero_configurator::pageConfig() const
{
    BoardConfig page = boardHeld;
    page.readAt.clear();
    for (const ConfigField &field : configFields(page.family)) {
        const QWidget *widget = fieldWidget(field);
        int value = boardHeld.values.value(field.path);
        if (const auto *combo = qobject_cast<const QComboBox *>(widget)) {
            const QVariant data = combo->currentData();
            if (combo->currentIndex() >= 0)
                value = data.isValid() ? data.toInt() : combo->currentIndex();
        } else if (const auto *spin = qobject_cast<const QSpinBox *>(widget)) {
            // A read-only field (the gain) is written as the board holds it.
            if (!spin->isReadOnly())
                value = spin->value();
        } else if (const auto *check = qobject_cast<const QCheckBox *>(widget)) {
            value = check->isChecked() ? 1 : 0;
        }
        page.values.insert(field.path, value);
    }
    return page;
}

void Halvero_configurator::boardConfigShown()
{
    // The page is the board's again: no unsaved edits; an open history
    // window lists what a write has just recorded.
    updateEditMarks();
    if (historyDialog && historyDialog->isVisible())
        historyDialog->reload();
}

QString Halvero_configurator::saveRefusal(const BoardConfig &page) const
{
    // A value the board already holds is written back as it is, even one
    // out of range; only what the operator changed must be in range.
    for (const ConfigField &field : configFields(page.family)) {
        const int value = page.values.value(field.path);
        if (value != boardHeld.values.value(field.path) && (value < field.min || value > field.max))
            return tr("Not saved: %1 is %2, outside %3 to %4.")
                .arg(field.label()).arg(value).arg(field.min).arg(field.max);
    }
    return QString();
}

void Halvero_configurator::on_btn_08A3_ReadConf_clicked()
{
    if (!canQueue())
        return;
    // The board's answer replaces the page: unsaved edits go only when the
    // operator says so, and only for the connection asked on.
    const int askedOn = connectionGeneration;
    if (confirmDiscardEdits(tr("Read the board's configuration and discard them?")) && askedOn == connectionGeneration
        && canQueue())
        queueAction(USBmsgConfig, false, USBoptNone);
}

void Halvero_configurator::on_btn_04F2_ReadConf_clicked()
{
    on_btn_08A3_ReadConf_clicked();
}

void Halvero_configurator::on_btn_08A3_SaveConf_clicked()
{
    saveConf();
}

void Halvero_configurator::on_btn_04F2_SaveConf_clicked()
{
    saveConf();
}

// Both pages save alike: the operator's edits as they stand when the button
// is clicked are what the board receives, over whatever it holds when the
// write is sent; the fields the operator did not touch keep the board's
// values of that moment (a Set defaults queued ahead is not undone).
void Halvero_configurator::saveConf()
{
    // The page is reachable only while polling, but a stray click without a
    // board must not wait in the queue for whichever board comes next.
    if (!canQueue())
        return;
    const BoardConfig page = pageConfig();
    const QString refusal = saveRefusal(page);
    if (!refusal.isEmpty()) {
        showNotice(refusal);
        return;
    }
    // A pair the board already holds crossed is written back as it is;
    // crossing it is the operator's call, asked once (No the default).
    if (const std::optional<CrossedPair> crossed = crossedPair(page, &boardHeld)) {
        const int askedOn = connectionGeneration;
        QMessageBox box(QMessageBox::Question, tr("Save CONF"),
                        StatusText::crossedPair(*crossed) + QLatin1Char(' ') + tr("Save anyway?"),
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setObjectName(QStringLiteral("dialog_crossed_pair"));
        box.setDefaultButton(QMessageBox::No);
        if (box.exec() != QMessageBox::Yes || askedOn != connectionGeneration || !canQueue())
            return;
    }
    // A double click adds nothing while the first write still waits.
    if (!commandQueue.isEmpty()) {
        const action *last = commandQueue.last();
        if (last->transaction && last->transaction->operation() == WriteTransaction::Operation::Save
            && !last->transaction->sent() && last->transaction->config().values == page.values)
            return;
    }
    queueWrite(WriteTransaction::Operation::Save, page);
}

void Halvero_configurator::on_btn_08A3_SetDefaults_clicked()
{
    if (!canQueue())
        return;
    // Modal, so the poll timer keeps ticking while the operator decides. The
    // answer holds only for the connection it was asked on: a board lost or
    // replaced meanwhile is not reset.
    const int askedOn = connectionGeneration;
    QMessageBox question;
    question.setText(tr("Are you sure you want to set defaults?"));
    question.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    question.setDefaultButton(QMessageBox::No);
    if (question.exec() != QMessageBox::Yes)
        return;
    if (askedOn != connectionGeneration || !canQueue())
        return;
    queueWrite(WriteTransaction::Operation::Defaults, BoardConfig());
}

void Halvero_configurator::on_btn_04F2_SetDefaults_clicked()
{
    on_btn_08A3_SetDefaults_clicked();
}

void Halvero_configurator::on_btnEEPROM_DUMP_clicked()
{
    if (canQueue())
        queueAction(USBmsgEepromDump, false, USBoptDump);
}

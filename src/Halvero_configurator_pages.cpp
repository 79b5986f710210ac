// The board pages of the main window: every decoded reply shown in the
// widgets of the board's family (and the Internal page), and the page
// buttons, which only queue commands for the poll cycle to send.
#include "Halvero_configurator.h"

#include <QDateTime>
#include <QMessageBox>
#include <QTimer>

#include "displayformat.h"
#include "protocol.h"
#include "recordtext.h"
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
    const bool is08A3 = family == BoardFamily::Switch08A3;

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
        if (is08A3) {
            const QList<QComboBox *> banks = bankCombos();
            const QList<QComboBox *> rates = rateCombos();
            // A byte of 2 or more leaves the combo box with no current item.
            for (int g = 0; g < 3; ++g)
                banks[g]->setCurrentIndex(dev->groupBank[g]);
            for (int g = 0; g < 3; ++g)
                rates[g]->setCurrentIndex(dev->groupRefreshRate[g]);
            const QList<QSpinBox *> channels = channelSpins();
            for (int ch = 0; ch < channels.size(); ++ch)
                channels[ch]->setValue(dev->failsafeValue[ch]);
            ui->check_08A3_active_low->setChecked(dev->triggerActiveLow);
            ui->spin_08A3_trig_high->setValue(dev->triggerHigh);
            ui->spin_08A3_trig_low->setValue(dev->triggerLow);
        } else {
            ui->spin_ina_gain->setValue(dev->inaGain);
            ui->check_04F2_active_low->setChecked(dev->triggerActiveLow);
            ui->spin_04F2_trig_high->setValue(dev->triggerHigh);
            ui->spin_04F2_trig_low->setValue(dev->triggerLow);
        }
        boardConfigShown();
        break;

    case USBmsgEepromDump:
        // The reply header's control bytes are not part of the text.
        ui->line_debug->setPlainText(dumpBody(*dev));
        break;

    case USBmsgStatus:
        if (is08A3) {
            ui->line_08A3_sw_status->setText(dev->failsafeActive ? tr("FAILSAFE") : tr("NORMAL"));
            // Without a trigger pulse the last reading stays visible, greyed out.
            if (dev->triggerPresent) {
                ui->line_08A3_trig_val->setText(decimal(dev->triggerValue));
                ui->line_08A3_trig_freq->setText(decimal(dev->triggerFrequency));
            }
            ui->line_08A3_trig_val->setEnabled(dev->triggerPresent);
            ui->line_08A3_trig_freq->setEnabled(dev->triggerPresent);
        } else {
            // No trigger board reply carries a switch status or a trigger
            // reading: those fields keep "N/A" (see the constructor).
            ui->line_04F2_temperature->setText(general(dev->temperature));
            ui->line_04F2_fuse_probe_curr->setText(general(dev->fuseProbeCurrent));
            ui->line_04F2_fuse_curr->setText(general(dev->fuseCurrent));
            ui->line_04F2_fuse_peak_curr->setText(general(dev->fusePeakCurrent));
            ui->line_04F2_trigger_voltage->setText(general(dev->triggerVoltage));
            ui->line_04F2_battery_voltage->setText(general(dev->batteryVoltage));
        }
        statusReplyShown();
        break;

    default:
        break;
    }
}

QList<QSpinBox *> Halvero_configurator::channelSpins() const
{
    return {ui->spin_08A3_val_ch1, ui->spin_08A3_val_ch2,  ui->spin_08A3_val_ch3,
            ui->spin_08A3_val_ch4, ui->spin_08A3_val_ch5,  ui->spin_08A3_val_ch6,
            ui->spin_08A3_val_ch7, ui->spin_08A3_val_ch8,  ui->spin_08A3_val_ch9,
            ui->spin_08A3_val_ch10, ui->spin_08A3_val_ch11, ui->spin_08A3_val_ch12};
}

QList<QComboBox *> Halvero_configurator::bankCombos() const
{
    return {ui->combo_08A3_gr1_bank, ui->combo_08A3_gr2_bank, ui->combo_08A3_gr3_bank};
}

QList<QComboBox *> Halvero_configurator::rateCombos() const
{
    return {ui->combo_08A3_gr1_frq, ui->combo_08A3_gr2_frq, ui->combo_08A3_gr3_frq};
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
    // The page is reachable only while polling, but a stray click without a
    // board must neither write through a null pointer nor wait in the queue.
    if (!canQueue())
        return;
    parachuteRadioComm *dev = radioDevice;
    const QList<QComboBox *> banks = bankCombos();
    const QList<QComboBox *> rates = rateCombos();
    // A combo box with no current item gives -1, which the board receives as 0xFF.
    for (int g = 0; g < 3; ++g)
        dev->groupBank[g] = uint8_t(banks[g]->currentIndex());
    for (int g = 0; g < 3; ++g)
        dev->groupRefreshRate[g] = uint8_t(rates[g]->currentIndex());
    const QList<QSpinBox *> channels = channelSpins();
    for (int ch = 0; ch < channels.size(); ++ch)
        dev->failsafeValue[ch] = uint16_t(channels[ch]->value());
    saveTriggerInput(ui->check_08A3_active_low, ui->spin_08A3_trig_high, ui->spin_08A3_trig_low);
}

void Halvero_configurator::on_btn_04F2_SaveConf_clicked()
{
    if (!canQueue())
        return;
    // The gain is not taken from its spin box: the write carries the gain
    // last read from the board.
    saveTriggerInput(ui->check_04F2_active_low, ui->spin_04F2_trig_high, ui->spin_04F2_trig_low);
}

// Both pages end their Save CONF alike: the trigger input as shown goes into
// the record, then the write is queued.
void Halvero_configurator::saveTriggerInput(const QCheckBox *activeLow, const QSpinBox *high, const QSpinBox *low)
{
    radioDevice->triggerActiveLow = activeLow->isChecked();
    radioDevice->triggerHigh = uint16_t(high->value());
    radioDevice->triggerLow = uint16_t(low->value());
    queueAction(USBmsgConfig, true, USBoptNone);
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
    queueAction(USBmsgSetDefaults, true, USBoptNone);
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

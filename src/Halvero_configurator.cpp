// Main window: lists the serial ports, connects to a board and identifies it,
// polls its status on a timer, sends the operator's queued commands one per
// tick and shows every decoded reply in the widgets of the board's page.
#include "Halvero_configurator.h"

#include <QMessageBox>
#include <QSerialPortInfo>
#include <QTimer>

#include "displayformat.h"
#include "ui_Halvero_configurator.h"

QList<action *> commandQueue;
parachuteRadioComm *radioDevice = nullptr;
// Created before the application object and never deleted: it outlives every
// window, and a window's connection to it ends with that window.
QTimer *scanTimer = new QTimer();

namespace {

// Actions still queued when the program ends are freed with the queue, so
// that leak checkers see a clean exit.
struct CommandQueueRelease
{
    ~CommandQueueRelease()
    {
        qDeleteAll(commandQueue);
        commandQueue.clear();
    }
} commandQueueRelease;

using Protocol::familyOf;

// Device paths a developer adds to the port list, e.g. simulated boards on
// pseudo-terminals, which the system's port enumeration does not report.
QStringList extraPortNames()
{
    return qEnvironmentVariable("HALVERO_EXTRA_PORTS").split(QLatin1Char(':'), Qt::SkipEmptyParts);
}

} // namespace

Halvero_configurator::Halvero_configurator(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui_Halvero_configurator)
{
    ui->setupUi(this);

    // Pages come back only for a board that needs them (see Connect).
    while (ui->tab_all->count() > 0) {
        QWidget *page = ui->tab_all->widget(0);
        const QString name = page->objectName();
        const QString title = ui->tab_all->tabText(0);
        ui->tab_all->removeTab(0);
        tabPages.insert(name, page);
        tabTitles.insert(name, title);
    }

    connect(scanTimer, &QTimer::timeout, this, &Halvero_configurator::onScanTimeout);
    scanSerialPorts();
    ui->serialList->setFocus(Qt::OtherFocusReason);
}

Halvero_configurator::~Halvero_configurator()
{
    delete radioDevice; // closes the port
    radioDevice = nullptr;
    delete ui;
}

void Halvero_configurator::scanSerialPorts()
{
    ui->serialList->clear();
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports)
        ui->serialList->addItem(port.portName());
    // Added ports come after the system's own; the first of them is chosen,
    // so that a simulated board started for a demo is what Connect opens.
    const QStringList extra = extraPortNames();
    for (const QString &path : extra)
        ui->serialList->addItem(path);
    if (!extra.isEmpty())
        ui->serialList->setCurrentIndex(int(ports.size()));
}

void Halvero_configurator::restorePage(const QString &name)
{
    QWidget *page = tabPages.value(name, nullptr);
    if (!page)
        return;
    const int index = ui->tab_all->addTab(page, name);
    ui->tab_all->setTabText(index, tabTitles.value(name));
}

void Halvero_configurator::hideAllPages()
{
    ui->tab_all->clear();
}

void Halvero_configurator::queueAction(USBmessages kind, bool write, USBmsgOptions option)
{
    commandQueue.append(new action{kind, write, option});
}

void Halvero_configurator::on_btnRefreshSerialPorts_clicked()
{
    scanSerialPorts();
    ui->serialList->setFocus(Qt::OtherFocusReason);
}

void Halvero_configurator::on_btnSerialConnect_clicked()
{
    const QString portName = ui->serialList->currentText();
    const int32_t baudRate = ui->serialBauds->currentText().toInt(nullptr, 10);

    // Only an object whose port never opened can still be here. The port is
    // shared, so the old object must go before the new one opens it.
    delete radioDevice;
    radioDevice = new parachuteRadioComm(portName, baudRate);

    if (!radioDevice->isConnected()) {
        scanTimer->stop();
        ui->line_connect->setText(tr("Not connected"));
        ui->btnSerialConnect->setEnabled(true);
        ui->btnSerialDisconnect->setEnabled(false);
        ui->group_system->setEnabled(false);
        hideAllPages();
        return;
    }

    ui->line_connect->setText(tr("Connected"));
    ui->btnSerialConnect->setEnabled(false);
    ui->btnSerialDisconnect->setEnabled(true);

    if (radioDevice->send(false, USBmsgIdentity, USBoptNone) != USBmsgIdentity) {
        // The port opened but no board answered: give it up at once. The
        // operator leaves this state with Disconnect.
        scanTimer->stop();
        hideAllPages();
        ui->group_system->setEnabled(false);
        delete radioDevice;
        radioDevice = nullptr;
        return;
    }
    parseResponse(USBmsgIdentity);
    ui->group_system->setEnabled(true);

    QString page;
    switch (familyOf(radioDevice->productCodeHigh, radioDevice->productCodeLow)) {
    case BoardFamily::Switch08A3:
        page = QStringLiteral("tab_08A3_config");
        break;
    case BoardFamily::Trigger04F2:
        page = QStringLiteral("tab_04F2_config");
        break;
    case BoardFamily::Unknown:
        hideAllPages();
        return;
    }

    // A page is shown only with values read from the board, so that Save CONF
    // never writes back the form's initial values.
    if (radioDevice->send(false, USBmsgConfig, USBoptNone) != USBmsgConfig) {
        hideAllPages();
        return;
    }
    parseResponse(USBmsgConfig);

    restorePage(page);
    restorePage(QStringLiteral("tab_all_internal"));
    scanTimer->start(Protocol::pollIntervalMs);
}

void Halvero_configurator::on_btnSerialDisconnect_clicked()
{
    scanTimer->stop();
    delete radioDevice;
    radioDevice = nullptr;
    ui->line_connect->setText(tr("Not connected"));
    ui->btnSerialConnect->setEnabled(true);
    ui->btnSerialDisconnect->setEnabled(false);
    ui->group_system->setEnabled(false);
    hideAllPages();
}

void Halvero_configurator::onScanTimeout()
{
    if (!radioDevice || !radioDevice->isConnected())
        return;

    if (commandQueue.isEmpty()) {
        parseResponse(radioDevice->send(false, USBmsgStatus, USBoptNone));
        return;
    }

    // Sent once and dropped whatever the outcome: a failed command is not
    // retried, the operator sees its effect (or none) on screen.
    action *next = commandQueue.first();
    parseResponse(radioDevice->send(next->write, next->kind, next->option));
    commandQueue.removeFirst();
    delete next;
}

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
        break;

    case USBmsgEepromDump:
        ui->line_debug->setPlainText(dev->eepromDump);
        break;

    case USBmsgStatus: {
        QLabel *status = is08A3 ? ui->line_08A3_sw_status : ui->line_04F2_sw_status;
        QLineEdit *value = is08A3 ? ui->line_08A3_trig_val : ui->line_04F2_trig_val;
        QLineEdit *frequency = is08A3 ? ui->line_08A3_trig_freq : ui->line_04F2_trig_freq;
        status->setText(dev->failsafeActive ? tr("FAILSAFE") : tr("NORMAL"));
        // Without a trigger pulse the last reading stays visible, greyed out.
        if (dev->triggerPresent) {
            value->setText(decimal(dev->triggerValue));
            frequency->setText(decimal(dev->triggerFrequency));
        }
        value->setEnabled(dev->triggerPresent);
        frequency->setEnabled(dev->triggerPresent);
        if (!is08A3) {
            ui->line_04F2_temperature->setText(general(dev->temperature));
            ui->line_04F2_fuse_probe_curr->setText(general(dev->fuseProbeCurrent));
            ui->line_04F2_fuse_curr->setText(general(dev->fuseCurrent));
            ui->line_04F2_fuse_peak_curr->setText(general(dev->fusePeakCurrent));
            ui->line_04F2_trigger_voltage->setText(general(dev->triggerVoltage));
            ui->line_04F2_battery_voltage->setText(general(dev->batteryVoltage));
        }
        break;
    }

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
    queueAction(USBmsgConfig, false, USBoptNone);
}

void Halvero_configurator::on_btn_04F2_ReadConf_clicked()
{
    queueAction(USBmsgConfig, false, USBoptNone);
}

void Halvero_configurator::on_btn_08A3_SaveConf_clicked()
{
    // The page is reachable only with a device, but a stray click without
    // one must not write through a null pointer.
    parachuteRadioComm *dev = radioDevice;
    if (!dev)
        return;
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
    dev->triggerActiveLow = ui->check_08A3_active_low->isChecked();
    dev->triggerHigh = uint16_t(ui->spin_08A3_trig_high->value());
    dev->triggerLow = uint16_t(ui->spin_08A3_trig_low->value());
    queueAction(USBmsgConfig, true, USBoptNone);
}

void Halvero_configurator::on_btn_04F2_SaveConf_clicked()
{
    parachuteRadioComm *dev = radioDevice;
    if (!dev)
        return;
    // The gain is not taken from its spin box: the write carries the gain
    // last read from the board.
    dev->triggerActiveLow = ui->check_04F2_active_low->isChecked();
    dev->triggerHigh = uint16_t(ui->spin_04F2_trig_high->value());
    dev->triggerLow = uint16_t(ui->spin_04F2_trig_low->value());
    queueAction(USBmsgConfig, true, USBoptNone);
}

void Halvero_configurator::on_btn_08A3_SetDefaults_clicked()
{
    // Modal, so the poll timer keeps ticking while the operator decides.
    QMessageBox question;
    question.setText(tr("Are you sure you want to set defaults?"));
    question.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    question.setDefaultButton(QMessageBox::No);
    if (question.exec() == QMessageBox::Yes)
        queueAction(USBmsgSetDefaults, true, USBoptNone);
}

void Halvero_configurator::on_btn_04F2_SetDefaults_clicked()
{
    on_btn_08A3_SetDefaults_clicked();
}

void Halvero_configurator::on_btnEEPROM_DUMP_clicked()
{
    queueAction(USBmsgEepromDump, false, USBoptDump);
}

// Main window: lists the serial ports, connects to a board and identifies it,
// polls its status on a timer, sends the operator's queued commands one per
// tick and says on the status bar how each step ended. The board pages
// (showing replies, the page buttons) are in Halvero_configurator_pages.cpp.
#include "Halvero_configurator.h"

#include <QDateTime>
#include <QDebug>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSerialPortInfo>
#include <QSpinBox>
#include <QTimer>
#include <optional>

#include "boardfamilies.h"
#include "confighistory.h"
#include "dumprecord.h"
#include "fieldhelp.h"
#include "keyboardorder.h"
#include "noticepanel.h"
#include "portdiagnosis.h"
#include "recordtext.h"
#include "statusrecorder.h"
#include "statustext.h"
#include "writeoutcome.h"
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

// Everything the system knows of a port, for its item's tool tip.
QString portToolTip(const QSerialPortInfo &port)
{
    QStringList lines{port.systemLocation()};
    if (!port.description().isEmpty())
        lines << port.description();
    if (!port.manufacturer().isEmpty())
        lines << port.manufacturer();
    if (port.hasVendorIdentifier() && port.hasProductIdentifier())
        lines << QStringLiteral("USB %1:%2")
                     .arg(port.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                     .arg(port.productIdentifier(), 4, 16, QLatin1Char('0'));
    if (!port.serialNumber().isEmpty())
        lines << QCoreApplication::translate("Halvero_configurator", "Serial number %1").arg(port.serialNumber());
    return lines.join(QLatin1Char('\n'));
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

    // A value field on a family's page that none of its status replies
    // fills (the trigger board's switch status and trigger reading) shows
    // no value.
    for (BoardFamily family : Protocol::knownFamilies()) {
        const BoardFamilyTable &table = Protocol::familyTable(family);
        QStringList shown;
        for (const StatusField &field : table.status)
            shown << QLatin1String(field.widget);
        if (QWidget *page = tabPages.value(table.page)) {
            for (QWidget *line : page->findChildren<QWidget *>(QRegularExpression(QStringLiteral("^line_")))) {
                // Value fields have a text; the separator lines do not.
                if (!shown.contains(line->objectName()) && line->metaObject()->indexOfProperty("text") >= 0) {
                    line->setEnabled(false);
                    line->setProperty("text", tr("N/A"));
                }
            }
        }
    }

    // Each configuration field's editor named after it, with its range and
    // unit in its tool tip; what the form then says of it, to come back to
    // once a value out of its range is no longer shown.
    for (BoardFamily family : Protocol::knownFamilies()) {
        for (const ConfigField &field : configFields(family)) {
            QWidget *widget = fieldWidget(field);
            if (const auto *spin = qobject_cast<const QSpinBox *>(widget))
                formRanges.insert(widget, {spin->minimum(), spin->maximum()});
            if (widget) {
                FieldHelp::describe(widget, field);
                formToolTips.insert(widget, widget->toolTip());
            }
        }
    }

    connect(scanTimer, &QTimer::timeout, this, &Halvero_configurator::onScanTimeout);
    scanSerialPorts();
    setupCockpit();
    restoreSettings();
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
    for (const QSerialPortInfo &port : ports) {
        ui->serialList->addItem(port.portName());
        ui->serialList->setItemData(ui->serialList->count() - 1, portToolTip(port), Qt::ToolTipRole);
        ui->serialList->setItemData(ui->serialList->count() - 1, port.description(), PortDescriptionRole);
    }
    // Added ports come after the system's own; the first of them is chosen,
    // so that a simulated board started for a demo is what Connect opens.
    const QStringList extra = extraPortNames();
    for (const QString &path : extra) {
        ui->serialList->addItem(path);
        ui->serialList->setItemData(ui->serialList->count() - 1, path, Qt::ToolTipRole);
    }
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

void Halvero_configurator::showStatus(const QString &text)
{
    ui->statusbar->showMessage(text);
}

void Halvero_configurator::showNotice(const QString &text)
{
    noticePanel->showNotice(text);
    const bool quiet = logQuiet;
    logQuiet = false;
    showStatus(text);
    logQuiet = quiet;
}

// Commands are taken only while a board is connected: anything clicked for
// a board that has gone would otherwise wait for whichever board comes next.
bool Halvero_configurator::canQueue()
{
    if (radioDevice && radioDevice->isConnected())
        return true;
    showStatus(StatusText::notSent());
    return false;
}

void Halvero_configurator::queueAction(USBmessages kind, bool write, USBmsgOptions option)
{
    commandQueue.append(new action{kind, write, option});
}

void Halvero_configurator::queueWrite(WriteTransaction::Operation operation, const BoardConfig &config)
{
    const bool saving = operation != WriteTransaction::Operation::Defaults;
    std::optional<ConfigHistory::HistoryFile> history;
    if (!ConfigHistory::disabledByEnvironment())
        history.emplace();
    // The window keeps reading back until the board answers: its answer,
    // however late, is the outcome the operator is told.
    auto write = std::make_unique<WriteTransaction>(operation, config, history ? &*history : nullptr,
                                                    QStringLiteral("configurator"), 0);
    if (operation == WriteTransaction::Operation::Save)
        write->writeEditsOver(boardHeld);
    commandQueue.append(new action{saving ? USBmsgConfig : USBmsgSetDefaults, true, USBoptNone, std::move(write)});
}

QString Halvero_configurator::dropQueuedCommands()
{
    ++connectionGeneration;
    if (commandQueue.isEmpty())
        return QString();
    qDebug() << "Dropped" << commandQueue.size() << "queued commands";
    // A write given up is said, never dropped in silence; one in flight
    // says its own outcome.
    QString note;
    if (const action *write = pendingWrite(); write && !write->transaction->sent())
        note = StatusText::writeNotSent(*write->transaction);
    qDeleteAll(commandQueue);
    commandQueue.clear();
    return note;
}

const action *Halvero_configurator::pendingWrite() const
{
    for (const action *queued : std::as_const(commandQueue))
        if (queued->transaction && !queued->transaction->finished())
            return queued;
    return nullptr;
}

bool Halvero_configurator::confirmLeave(const QString &anyway, const QString &discardEdits)
{
    if (const action *pending = pendingWrite()) {
        const WriteTransaction &write = *pending->transaction;
        // Asked by value: the write may end while the question is open.
        const QMap<QString, int> edits = write.edits();
        const bool save = write.operation() != WriteTransaction::Operation::Defaults;
        QMessageBox box(QMessageBox::Question, tr("Write not finished"),
                        StatusText::writeUnfinished(write) + QLatin1Char(' ') + anyway, QMessageBox::Yes | QMessageBox::No,
                        this);
        box.setObjectName(QStringLiteral("dialog_unfinished_write"));
        box.setDefaultButton(QMessageBox::No);
        if (box.exec() != QMessageBox::Yes)
            return false;
        // The edits the operator has just given up with their write are not
        // asked about a second time.
        if (save && ui->tab_all->count() > 0 && pageEdits() == edits)
            return true;
    }
    return confirmDiscardEdits(discardEdits, false);
}

void Halvero_configurator::on_btnRefreshSerialPorts_clicked()
{
    scanSerialPorts();
    ui->serialList->setFocus(Qt::OtherFocusReason);
}

void Halvero_configurator::on_btnSerialConnect_clicked()
{
    stopReconnecting();
    openBoard(ui->serialList->currentText(), ui->serialBauds->currentText().toInt(nullptr, 10));
}

bool Halvero_configurator::openBoard(const QString &portName, int32_t baudRate)
{
    // What was queued for the previous board never reaches this one (the
    // operator was asked, or told, before it got here).
    dropQueuedCommands();
    setLiveStatusGreyed(false);
    silentTicks = 0;
    boardHeld = BoardConfig(); // nothing read from this board yet

    // Only an object whose port never opened can still be here. The port is
    // shared, so the old object must go before the new one opens it.
    delete radioDevice;
    radioDevice = nullptr;
    // Identification blocks the window for up to a second: say what it waits for.
    showStatus(tr("Connecting to %1 at %2 baud…").arg(portName).arg(baudRate));
    ui->statusbar->repaint();
    radioDevice = new parachuteRadioComm(portName, baudRate);

    if (!radioDevice->isConnected()) {
        scanTimer->stop();
        ui->line_connect->setText(tr("Not connected"));
        ui->btnSerialConnect->setEnabled(true);
        ui->btnSerialDisconnect->setEnabled(false);
        ui->group_system->setEnabled(false);
        hideAllPages();
        showStatus(portName.isEmpty() ? tr("No serial port to open: plug the board in and press Refresh.")
                                      : describeOpenFailure(portName, serialPort));
        updateCockpitState();
        return false;
    }

    connectedPort = portName;
    ui->line_connect->setText(tr("Connected"));
    ui->btnSerialConnect->setEnabled(false);
    ui->btnSerialDisconnect->setEnabled(true);

    if (readWithRetry(*radioDevice, USBmsgIdentity) != USBmsgIdentity) {
        // The port opened but no board identified: give it up at once. The
        // operator leaves this state with Disconnect.
        showStatus(StatusText::identifyFailed(radioDevice->lastOutcome(), portName, baudRate,
                                              productCodeText(*radioDevice), firmwareText(*radioDevice),
                                              int(radioDevice->lastReply().size())));
        ui->line_connect->setText(tr("Not identified"));
        scanTimer->stop();
        hideAllPages();
        ui->group_system->setEnabled(false);
        delete radioDevice;
        radioDevice = nullptr;
        updateCockpitState();
        return false;
    }
    parseResponse(USBmsgIdentity);
    ui->group_system->setEnabled(true);

    const QString page = Protocol::familyTable(recordFamily(*radioDevice)).page;
    if (page.isEmpty()) {
        hideAllPages();
        updateCockpitState();
        return false;
    }

    // A page is shown only with values read from the board, so that Save CONF
    // never writes back the form's initial values.
    if (readWithRetry(*radioDevice, USBmsgConfig) != USBmsgConfig) {
        showStatus(StatusText::configReadFailedAtConnect(radioDevice->lastOutcome()));
        hideAllPages();
        updateCockpitState();
        return false;
    }
    parseResponse(USBmsgConfig);
    lostWrite.settle(boardHeld, QStringLiteral("configurator"));

    restorePage(page);
    restorePage(QStringLiteral("tab_all_internal"));
    lastReplyAt = QTime::currentTime();
    showStatus(StatusText::connected(productCodeText(*radioDevice), portName));
    scanTimer->start(Protocol::pollIntervalMs);
    QStringList notes{StatusText::connected(productCodeText(*radioDevice), portName)};
    if (boardConnected(portName, baudRate))
        notes << tr("The edits made before the connection was lost are back in the page.");
    notes << lostWrite.settledText();
    notes.removeAll(QString());
    if (notes.size() > 1)
        showStatus(notes.join(QLatin1Char(' ')));
    updateCockpitState();
    KeyboardOrder::focusFirstIn(ui->tab_all->currentWidget());
    return true;
}

void Halvero_configurator::on_btnSerialDisconnect_clicked()
{
    if (!confirmLeave(tr("Disconnect anyway?"), tr("Disconnect and discard them?")))
        return;
    editsAtLoss = BoardConfig();
    stopReconnecting();
    const QString dropped = closeConnection(tr("Not connected"));
    if (dropped.isEmpty())
        ui->statusbar->clearMessage();
    else
        showStatus(dropped);
    actionRecordStatus->setChecked(false); // says how many rows it kept
}

// Back to the Disconnected state, with `state` in the connection field.
QString Halvero_configurator::closeConnection(const QString &state)
{
    scanTimer->stop();
    const QString dropped = dropQueuedCommands();
    delete radioDevice;
    radioDevice = nullptr;
    setLiveStatusGreyed(false);
    silentTicks = 0;
    ui->line_connect->setText(state);
    ui->btnSerialConnect->setEnabled(true);
    ui->btnSerialDisconnect->setEnabled(false);
    ui->group_system->setEnabled(false);
    hideAllPages();
    updateCockpitState();
    return dropped;
}

// The link closes the port when the device has gone (a pulled cable); the
// window then lets go of the board entirely, so that Connect works again
// once it is back.
void Halvero_configurator::connectionLost(const QString &note)
{
    qDebug() << "Connection lost";
    if (boardHeld.family != BoardFamily::Unknown && !diffConfigs(boardHeld, pageConfig()).isEmpty())
        editsAtLoss = pageConfig();
    const QString dropped = closeConnection(tr("Connection lost"));
    lostAt = QTime::currentTime();
    startReconnecting(connectedPort, connectedBaud);
    // A write cut short says last whether it may have gone out.
    QStringList said{reconnectTimer->isActive() ? StatusText::connectionLostRetrying(lostAt)
                                                : StatusText::connectionLost(lostAt),
                     dropped, note};
    said.removeAll(QString());
    showStatus(said.join(QLatin1Char(' ')));
}

void Halvero_configurator::onScanTimeout()
{
    if (!radioDevice)
        return;
    if (!radioDevice->isConnected()) {
        if (scanTimer->isActive())
            connectionLost();
        return;
    }

    QString writeNote;
    bool defaultsLost = false;
    if (commandQueue.isEmpty()) {
        const uint8_t result = radioDevice->send(false, USBmsgStatus, USBoptNone);
        parseResponse(result);
        noteTickResult(result);
    } else if (commandQueue.first()->transaction) {
        action *next = commandQueue.first();
        stepWrite(next);
        if (next->transaction->outcome() == WriteTransaction::Outcome::ConnectionLost) {
            writeNote = lostWrite.keep(*next->transaction);
            if (writeNote.isEmpty())
                writeNote = StatusText::writeOutcome(*next->transaction, connectedPort);
            defaultsLost = next->transaction->operation() == WriteTransaction::Operation::Defaults;
        }
        if (next->transaction->finished()) {
            commandQueue.removeOne(next);
            delete next;
        }
    } else {
        // Sent once and dropped whatever the outcome: a failed command is not
        // retried, the operator sees its effect (or none) on screen.
        action *next = commandQueue.takeFirst();
        runAction(*next);
        delete next;
    }

    if (radioDevice && !radioDevice->isConnected()) {
        connectionLost(writeNote);
        // The page shows the board's configuration once it is back, not
        // the edits that Set defaults was to replace.
        if (defaultsLost)
            editsAtLoss = BoardConfig();
    }
}

// One read queued by the operator, and the status line that tells how it
// ended.
void Halvero_configurator::runAction(const action &next)
{
    parachuteRadioComm *dev = radioDevice;
    const uint8_t result = dev->send(next.write, next.kind, next.option);
    parseResponse(result);
    noteTickResult(result);
    if (next.kind == USBmsgConfig)
        showStatus(StatusText::configRead(result == USBmsgConfig));
    else if (next.kind == USBmsgEepromDump)
        showStatus(StatusText::dumpReceived(result == USBmsgEepromDump, int(dumpBody(*dev).size())));
}

// One exchange of a write transaction. The page is not refreshed from the
// read before the write, only from what the board holds at the end.
void Halvero_configurator::stepWrite(action *next)
{
    WriteTransaction &write = *next->transaction;
    const bool done = write.step(*radioDevice);
    noteTickResult(write.lastResult());
    if (done) {
        reportWrite(write);
    } else if (write.sent() && write.unansweredReadBacks() > 0) {
        showStatus(StatusText::writePending(write, lastReplyAt));
    }
}

void Halvero_configurator::reportWrite(const WriteTransaction &write)
{
    if (write.sent() && !dumpRecord.isEmpty()) {
        dumpRecord.noteWrite(boardHeld.serial, QDateTime::currentDateTime());
        ui->line_debug->setPlainText(dumpRecord.text());
    }
    if (write.outcome() == WriteTransaction::Outcome::ConnectionLost)
        return; // told with the lost connection
    if (write.afterKnown()) {
        boardHeld = write.after();
        showConfigInPage(WriteOutcome::pageAfter(write));
        boardConfigShown();
    }
    QString text = StatusText::writeOutcome(write, connectedPort);
    if (!write.changedUnderEdits().isEmpty())
        text += QLatin1Char(' ') + StatusText::editedOverChanges(write.changedUnderEdits());
    if (write.afterKnown() && !write.historyError().isEmpty())
        text += QLatin1Char(' ') + StatusText::resultNotRecorded(write.historyError());
    if (WriteOutcome::needsNotice(write)) {
        showNotice(text);
    } else {
        noticePanel->dismiss();
        showStatus(text);
    }
}

// Three ticks in a row with nothing decoded grey the live values out: they
// are no longer live. The next decoded reply brings them back.
void Halvero_configurator::noteTickResult(uint8_t result)
{
    if (result != 0) {
        silentTicks = 0;
        lastReplyAt = QTime::currentTime();
        if (liveStatusGreyed) {
            setLiveStatusGreyed(false);
            // What was said before the silence is still true.
            showStatus(messageBeforeSilence);
        }
        return;
    }
    if (++silentTicks >= 3 && radioDevice && radioDevice->isConnected()) {
        if (!liveStatusGreyed)
            messageBeforeSilence = ui->statusbar->currentMessage();
        setLiveStatusGreyed(true);
        // A write that went out says the silence in its own sentence; both,
        // one after the other, would take turns on the bar every poll.
        const action *next = commandQueue.isEmpty() ? nullptr : commandQueue.first();
        if (!next || !next->transaction || !next->transaction->sent())
            showStatus(StatusText::silentSince(lastReplyAt, radioDevice->lastOutcome()));
    }
}

void Halvero_configurator::setLiveStatusGreyed(bool greyed)
{
    liveStatusGreyed = greyed;
    // The groups, not their fields: the fields keep their own enabled state
    // (trigger reading present or not) for when the board answers again.
    for (BoardFamily family : Protocol::knownFamilies()) {
        if (auto *group = findChild<QWidget *>(QStringLiteral("gr_%1_status").arg(Protocol::familyTable(family).name)))
            group->setEnabled(!greyed);
    }
}

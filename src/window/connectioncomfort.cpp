// What spares the operator clicks around the connection: the port and rate
// that last connected are chosen at the next start, the port list follows
// ports coming and going while nothing is connected, and a lost board is
// connected again by itself once it is back on the same port.
#include "Halvero_configurator.h"

#include <QAbstractItemView>
#include <QDebug>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QTimer>

#include "confighistory.h"
#include "messagelog.h"
#include "portdiagnosis.h"
#include "statustext.h"
#include "ui_Halvero_configurator.h"
#include "windowsettings.h"

namespace {

const QString keyPort = QStringLiteral("connection/port");
const QString keyBaud = QStringLiteral("connection/baud");
const QString keyAutoReconnect = QStringLiteral("connection/autoReconnect");
const QString reconnectKind = QStringLiteral("reconnect");

// The names the port list would show now, in its order.
QStringList portNamesNow()
{
    QStringList names;
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts())
        names << port.portName();
    names << qEnvironmentVariable("HALVERO_EXTRA_PORTS").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return names;
}

// Whether a device is there to open: opening a port that is not there
// costs a diagnosis and a status line, a look at the system's list does not.
bool portIsThere(const QString &port)
{
#ifdef Q_OS_UNIX
    return QFileInfo::exists(systemLocationOf(port));
#else
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        if (info.portName() == port || info.systemLocation() == port)
            return true;
    return false;
#endif
}

} // namespace

void Halvero_configurator::restoreSettings()
{
    if (const QString problem = windowSettingsProblem(); !problem.isEmpty()) {
        qWarning().noquote() << problem;
        showStatus(problem);
    }
    const auto settings = windowSettings();
    const int port = ui->serialList->findText(settings->value(keyPort).toString());
    if (port >= 0)
        ui->serialList->setCurrentIndex(port);
    const int baud = ui->serialBauds->findText(settings->value(keyBaud).toString());
    if (baud >= 0)
        ui->serialBauds->setCurrentIndex(baud);
    const QSignalBlocker quiet(actionAutoReconnect);
    actionAutoReconnect->setChecked(settings->value(keyAutoReconnect, true).toBool());
}

bool Halvero_configurator::boardConnected(const QString &port, int baud)
{
    connectedPort = port;
    connectedBaud = baud;
    {
        const auto settings = windowSettings();
        settings->setValue(keyPort, port);
        settings->setValue(keyBaud, QString::number(baud));
    }
    const BoardConfig kept = editsAtLoss;
    editsAtLoss = BoardConfig();
    if (kept.family == BoardFamily::Unknown)
        return false;
    if (kept.family != boardHeld.family
        || ConfigHistory::normalSerial(kept.serial) != ConfigHistory::normalSerial(boardHeld.serial)) {
        showNotice(StatusText::keptEditsForAnotherBoard(kept));
        return false;
    }
    showConfigInPage(kept);
    return true;
}

void Halvero_configurator::rescanPorts()
{
    if (radioDevice && radioDevice->isConnected())
        return;
    // Rebuilding the list under an open popup would close it in the operator's face.
    if (ui->serialList->view()->isVisible())
        return;
    QStringList shown;
    for (int i = 0; i < ui->serialList->count(); ++i)
        shown << ui->serialList->itemText(i);
    if (portNamesNow() == shown)
        return;
    const QString chosen = ui->serialList->currentText();
    scanSerialPorts();
    const int index = ui->serialList->findText(chosen);
    if (index >= 0)
        ui->serialList->setCurrentIndex(index);
}

void Halvero_configurator::startReconnecting(const QString &port, int baud)
{
    if (!actionAutoReconnect->isChecked() || port.isEmpty())
        return;
    connectedPort = port;
    connectedBaud = baud;
    reconnectAttempt = 0;
    reconnectTimer->start();
    // Disconnect is how the operator stops the attempts.
    ui->btnSerialDisconnect->setEnabled(true);
}

void Halvero_configurator::stopReconnecting()
{
    reconnectTimer->stop();
    reconnectAttempt = 0;
}

void Halvero_configurator::setAutoReconnect(bool on)
{
    windowSettings()->setValue(keyAutoReconnect, on);
    if (on || !reconnectTimer->isActive())
        return;
    stopReconnecting();
    ui->btnSerialDisconnect->setEnabled(false);
    showStatus(tr("Stopped reconnecting to %1: press Connect when the board is back.").arg(connectedPort));
}

void Halvero_configurator::tryReconnect()
{
    ++reconnectAttempt;
    const QString trying = tr("Reconnecting to %1 (attempt %2)").arg(connectedPort).arg(reconnectAttempt);
    // A write lost with the connection stays in view while waiting.
    const QString unknown = lostWrite.pending() ? QLatin1Char(' ') + lostWrite.pendingText() : QString();
    if (!portIsThere(connectedPort)) {
        showRepeatedStatus(tr("%1: waiting for the board to be plugged in (connection lost at %2).")
                                   .arg(trying, lostAt.toString(QStringLiteral("HH:mm:ss")))
                               + unknown,
                           reconnectKind);
        return;
    }
    const QString port = connectedPort;
    logQuiet = true;
    const bool back = openBoard(port, connectedBaud);
    logQuiet = false;
    if (back) {
        stopReconnecting();
        QStringList notes{tr("Reconnected to the %1 board on %2.").arg(boardHeld.productCode, port)};
        if (isWindowModified())
            notes << tr("The edits made before the connection was lost are back in the page.");
        if (!lostWrite.settledText().isEmpty())
            notes << lostWrite.settledText();
        showStatus(notes.join(QLatin1Char(' ')));
        return;
    }
    // The board is not answering yet (still starting, say): back to waiting,
    // with what this attempt found.
    const QString found = ui->statusbar->currentMessage();
    closeConnection(tr("Connection lost"));
    ui->btnSerialDisconnect->setEnabled(true);
    showRepeatedStatus(tr("%1: %2").arg(trying, found) + unknown, reconnectKind);
}

// Remembered ports, the port list's follower and the reconnect attempts.
#include "reconnection.h"

#include <QDebug>
#include <QTimer>

#include "portlist.h"
#include "windowsettings.h"

namespace {

const QString keyPort = QStringLiteral("connection/port");
const QString keyBaud = QStringLiteral("connection/baud");
const QString keyAutoReconnect = QStringLiteral("connection/autoReconnect");

} // namespace

Reconnection::Reconnection(QObject *parent, PortNames names, PortPresent present)
    : QObject(parent)
    , m_names(names ? std::move(names) : PortNames(PortList::namesNow))
    , m_present(present ? std::move(present) : PortPresent(PortList::isThere))
    , m_retry(new QTimer(this))
    , m_rescan(new QTimer(this))
{
    m_retry->setInterval(1000);
    connect(m_retry, &QTimer::timeout, this, &Reconnection::attempt);
    m_rescan->setInterval(1500);
    connect(m_rescan, &QTimer::timeout, this, &Reconnection::checkPorts);
    m_automatic = windowSettings()->value(keyAutoReconnect, true).toBool();
}

QString Reconnection::rememberedPort() const
{
    return windowSettings()->value(keyPort).toString();
}

QString Reconnection::rememberedBaud() const
{
    return windowSettings()->value(keyBaud).toString();
}

void Reconnection::remember(const QString &port, int baud)
{
    m_port = port;
    m_baud = baud;
    const auto settings = windowSettings();
    settings->setValue(keyPort, port);
    settings->setValue(keyBaud, QString::number(baud));
}

void Reconnection::chooseRemembered(QComboBox *ports, QComboBox *bauds) const
{
    PortList::choose(ports, rememberedPort());
    PortList::choose(bauds, rememberedBaud());
}

void Reconnection::setAutomatic(bool on)
{
    m_automatic = on;
    windowSettings()->setValue(keyAutoReconnect, on);
    if (on || !active())
        return;
    stop();
    emit stopped(tr("Stopped reconnecting to %1: press Connect when the board is back.").arg(m_port));
}

bool Reconnection::start(const QString &port, int baud, const QTime &lostAt)
{
    m_lostAt = lostAt;
    if (!m_automatic || port.isEmpty())
        return false;
    m_port = port;
    m_baud = baud;
    m_attempt = 0;
    m_retry->start();
    return true;
}

void Reconnection::stop()
{
    m_retry->stop();
    m_attempt = 0;
}

bool Reconnection::active() const
{
    return m_retry->isActive();
}

void Reconnection::watchPorts(bool on)
{
    if (!on)
        m_rescan->stop();
    else if (!m_rescan->isActive())
        m_rescan->start();
}

void Reconnection::attempt()
{
    ++m_attempt;
    const QString trying = tr("Reconnecting to %1 (attempt %2)").arg(m_port).arg(m_attempt);
    if (!m_present(m_port)) {
        emit waiting(tr("%1: waiting for the board to be plugged in (connection lost at %2).")
                         .arg(trying, m_lostAt.toString(QStringLiteral("HH:mm:ss"))));
        return;
    }
    emit attemptDue(m_port, m_baud, trying);
}

void Reconnection::checkPorts()
{
    if (m_names() != m_shown)
        emit portsChanged();
}

// Opening, identifying and the read retry, for the window, halvero-cli and
// provisioning alike.
#include "boardconnection.h"

#include <QSerialPort>

BoardConnection::BoardConnection(const ExchangeTiming &timing, QSerialPort *port)
    : m_timing(timing)
    , m_port(port ? *port : serialPort)
{}

bool BoardConnection::open(const QString &path, int32_t baud)
{
    // A port is opened by one link at a time: the old one closes it first.
    m_link.reset();
    m_link = std::make_unique<parachuteRadioComm>(path, baud, &m_port);
    m_link->setTiming(m_timing);
    return m_link->isConnected();
}

bool BoardConnection::identify()
{
    return read(USBmsgIdentity) == USBmsgIdentity;
}

uint8_t BoardConnection::read(USBmessages kind, USBmsgOptions option)
{
    return read(*m_link, kind, option);
}

uint8_t BoardConnection::read(parachuteRadioComm &link, USBmessages kind, USBmsgOptions option)
{
    uint8_t result = 0;
    for (int attempt = 0; attempt < readAttempts; ++attempt) {
        result = link.send(false, kind, option);
        if (result == kind || !link.isConnected() || link.lastOutcome() == ExchangeOutcome::NeverQuiet)
            break;
    }
    return result;
}

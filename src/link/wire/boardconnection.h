// A board reached on a serial port, the same way by every program: the port
// opened on a link that waits for replies as the program can afford, the
// board asked who it is before anything else is sent, and a read tried once
// more when nothing usable came back.
#ifndef HALVERO_BOARDCONNECTION_H
#define HALVERO_BOARDCONNECTION_H

#include <QString>
#include <cstdint>
#include <memory>

#include "parachuteradiocomm.h"
#include "protocol.h"

QT_BEGIN_NAMESPACE
class QSerialPort;
QT_END_NAMESPACE

class BoardConnection
{
public:
    // Links opened here wait for a reply's first byte as `timing` says and
    // work on `port`, the program's one serialPort when null. The port must
    // outlive them.
    explicit BoardConnection(const ExchangeTiming &timing, QSerialPort *port = nullptr);

    // A new link on `path` at `baud`; false when the port did not open
    // (port().error() says why). The link is there either way.
    bool open(const QString &path, int32_t baud);
    // The board says who it is: true once a board of a known family
    // answered, which from then on is the only one the link listens to.
    bool identify();
    // A read of `kind` on the link; the kind decoded (0: none).
    uint8_t read(USBmessages kind, USBmsgOptions option = USBoptNone);

    // A read tried once more when nothing usable came back: a reply lost on
    // the line, or one that came too late and has been dropped (the link
    // lets the line fall quiet before the second request). Not on a closed
    // port or a line that never falls quiet, where a second try would only
    // sit out the same bound again.
    static constexpr int readAttempts = 2;
    static uint8_t read(parachuteRadioComm &link, USBmessages kind, USBmsgOptions option = USBoptNone);

    bool hasLink() const { return bool(m_link); }
    parachuteRadioComm &link() const { return *m_link; }
    QSerialPort &port() const { return m_port; }
    // The link handed over to be kept (the window's one device object);
    // the connection has none after.
    std::unique_ptr<parachuteRadioComm> take() { return std::move(m_link); }

private:
    ExchangeTiming m_timing;
    QSerialPort &m_port;
    std::unique_ptr<parachuteRadioComm> m_link;
};

#endif // HALVERO_BOARDCONNECTION_H

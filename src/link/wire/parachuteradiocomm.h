// Link to one board: the mirror of its state, the binary request/reply codec
// and the blocking serial exchange over the shared port.
#ifndef PARACHUTERADIOCOMM_H
#define PARACHUTERADIOCOMM_H

#include <QByteArray>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QString>
#include <cstdint>

#include "boardfamilies.h"
#include "protocol.h"

// Message kind: byte 0 of every request and reply.
enum USBmessages : int32_t {
    USBmsgIdentity = 1,
    USBmsgConfig = 2,
    USBmsgEepromDump = 3,
    USBmsgStatus = 4,
    USBmsgSetDefaults = 5,
};

// Request option; only the EEPROM dump request carries it (its byte 1).
enum USBmsgOptions : int32_t {
    USBoptNone = 0,
    USBoptDump = 1,
};

// The one serial port of the program; every parachuteRadioComm works on it
// unless it is given a port of its own.
extern QSerialPort serialPort;

// How the last exchange ended, for the operator's status line and the
// command-line tool's message; send() itself only returns the kind decoded.
enum class ExchangeOutcome {
    None,                // nothing sent yet
    Decoded,             // a reply was decoded
    PortClosed,          // the port is not open: nothing was sent
    NotEncodable,        // no request can be built for these arguments
    WriteTimeout,        // the request did not go out
    NoReply,             // not a byte came back
    NeverQuiet,          // the line kept sending past the reply bounds
    UnknownProduct,      // a reply of no known product code
    UnsupportedFirmware, // a known product with a firmware version we do not read
    OtherBoard,          // product or firmware differ from the board identified
    Undecodable,         // too short, unknown kind or a bad dump marker
    Acknowledged,        // the set-defaults acknowledgement: a header of kind 5, nothing to decode
};

class parachuteRadioComm
{
public:
    static constexpr int maxReplyLength = Protocol::maxReplyLength;
    static constexpr int exchangeTimeoutMs = Protocol::exchangeTimeoutMs;

    // `port` is the serial port the link opens and works on: the program's
    // one `serialPort` unless another is given. Links on ports of their own
    // can serve several boards at once, each from a thread of its own.
    parachuteRadioComm(QString portName, int32_t baudRate, QSerialPort *port = nullptr);
    ~parachuteRadioComm();

    parachuteRadioComm(const parachuteRadioComm &) = delete;
    parachuteRadioComm &operator=(const parachuteRadioComm &) = delete;

    bool isConnected();
    QSerialPort &port() const { return m_port; }
    // How long send() waits for a reply's first byte (the window's wait
    // unless set otherwise).
    void setTiming(const ExchangeTiming &timing) { m_timing = timing; }
    const ExchangeTiming &timing() const { return m_timing; }
    uint8_t send(bool write, USBmessages kind, USBmsgOptions option);
    uint8_t parseRxMessage(QByteArray msg);

    // The request frame send() would put on the wire for these arguments,
    // built from the record as it is now; empty when none can be built.
    QByteArray buildRequest(bool write, USBmessages kind, USBmsgOptions option) const;

    // Once an identity reply has been accepted, the object belongs to that
    // board: replies with another product code or firmware version are not
    // decoded, and writes carry that board's header.
    bool isIdentified() const { return identified; }
    ExchangeOutcome lastOutcome() const { return outcome; }
    // The reply bytes of the last exchange, as received (empty without one).
    QByteArray lastReply() const { return reply; }
    // Before the last exchange, bytes that came after the one before it had
    // given up waiting (or got no reply it could decode) were dropped: the
    // board answers, but too late or in pieces.
    bool lateReplyDropped() const { return lateDropped; }

    // The record member that holds a field of the family's table, as a
    // number: a flag is 0 or 1. Setting one takes what its member can hold.
    int configValue(const ConfigField &field) const;
    void setConfigValue(const ConfigField &field, int value);
    float statusValue(const StatusField &field) const;
    void setStatusValue(const StatusField &field, float value);

    // Device state record: what the host knows of the board.
    uint8_t productCodeHigh = 0;
    uint8_t productCodeLow = 0;
    uint8_t fwVersionMajor = 0;
    uint8_t fwVersionMinor = 0;
    uint32_t chipRevId = 0;
    uint32_t chipDevId = 0;
    uint32_t uniqueId[3] = {0, 0, 0};
    uint8_t groupBank[3] = {0, 0, 0};
    uint8_t groupRefreshRate[3] = {0, 0, 0};
    uint16_t failsafeValue[12] = {};
    bool triggerActiveLow = false;
    uint16_t triggerHigh = 0;
    uint16_t triggerLow = 0;
    QString eepromDump;
    uint16_t triggerValue = 0;
    uint16_t triggerFrequency = 0;
    bool triggerPresent = false;
    bool failsafeActive = false;
    float fuseProbeCurrent = 0;
    float fuseCurrent = 0;
    float fusePeakCurrent = 0;
    float triggerVoltage = 0;
    float batteryVoltage = 0;
    float temperature = 0;
    uint8_t inaGain = 0;

private:
    uint8_t decodeReply();
    uint8_t decodeBody(const QByteArray &msg, BoardFamily family);
    bool dropLeftovers();

    QSerialPort &m_port;
    ExchangeTiming m_timing;
    // Running since the last exchange gave up waiting for its reply, or got
    // one it could not decode; not running once the line has been let fall
    // quiet after it.
    QElapsedTimer m_gaveUp;

    bool identified = false;
    uint8_t identity[4] = {0, 0, 0, 0}; // product high, low, firmware major, minor
    ExchangeOutcome outcome = ExchangeOutcome::None;
    QByteArray reply;
    bool lateDropped = false;
};

#endif // PARACHUTERADIOCOMM_H

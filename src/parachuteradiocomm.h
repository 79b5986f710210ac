// Link to one board: the mirror of its state, the binary request/reply codec
// and the blocking serial exchange over the shared port.
#ifndef PARACHUTERADIOCOMM_H
#define PARACHUTERADIOCOMM_H

#include <QByteArray>
#include <QSerialPort>
#include <QString>
#include <cstdint>

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

// The one serial port of the program; every parachuteRadioComm works on it.
extern QSerialPort serialPort;

class parachuteRadioComm
{
public:
    // A reply that keeps growing past this is cut off (a line that never
    // falls quiet must not freeze the window); far above any board's EEPROM.
    static constexpr int maxReplyLength = 64 * 1024;
    // Every wait of an exchange: write out, first reply byte, quiet gap.
    static constexpr int exchangeTimeoutMs = 100;

    parachuteRadioComm(QString portName, int32_t baudRate);
    ~parachuteRadioComm();

    parachuteRadioComm(const parachuteRadioComm &) = delete;
    parachuteRadioComm &operator=(const parachuteRadioComm &) = delete;

    bool isConnected();
    uint8_t send(bool write, USBmessages kind, USBmsgOptions option);
    uint8_t parseRxMessage(QByteArray msg);

    // The request frame send() would put on the wire for these arguments,
    // built from the record as it is now; empty when none can be built.
    QByteArray buildRequest(bool write, USBmessages kind, USBmsgOptions option) const;

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
};

#endif // PARACHUTERADIOCOMM_H

// Device link to one parachute-system board: opens the shared serial port,
// encodes requests from the state record, runs the blocking request/reply
// exchange and decodes the board's replies back into the record.
#include "parachuteradiocomm.h"

#include <QDebug>
#include <QtEndian>

QSerialPort serialPort;

namespace {

enum class Family { None, Trigger04F2, Switch08A3 };

// The board has no framing, so every layout is a fixed minimum length; a
// shorter reply is a cut-off one and is never decoded.
constexpr int headerLength = 5;
constexpr int identityLength = 25;
constexpr int dumpLength = 6;
constexpr int config04F2Length = 11;
constexpr int config08A3Length = 40;
constexpr int status04F2Length = 20;
constexpr int status08A3Length = 12;

constexpr uint8_t dumpMarker = 0x01;

Family familyOf(uint8_t high, uint8_t low)
{
    if (high == 0x04 && low == 0xF2)
        return Family::Trigger04F2;
    if (high == 0x08 && (low == 0xA2 || low == 0xA3))
        return Family::Switch08A3;
    return Family::None;
}

quint16 be16(const uchar *at)
{
    return qFromBigEndian<quint16>(at);
}

quint32 be32(const uchar *at)
{
    return qFromBigEndian<quint32>(at);
}

// A pulled cable leaves the port open in Qt, which then retries the unsent
// request without pause: a busy loop until the operator disconnects. Closing
// the port instead makes every later exchange return at once.
void closeIfGone()
{
    switch (serialPort.error()) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
        serialPort.close();
        break;
    default:
        break;
    }
}

} // namespace

parachuteRadioComm::parachuteRadioComm(QString portName, int32_t baudRate)
{
    // An empty name means "no port picked": a port another object still
    // holds open must not be disturbed.
    if (portName.isEmpty())
        return;

    serialPort.setPortName(portName);
    if (serialPort.isOpen())
        serialPort.close();
    if (!serialPort.open(QIODevice::ReadWrite))
        return;

    // A USB virtual COM port accepts all of these whatever it reports, so
    // the results are not worth acting on.
    serialPort.setBaudRate(baudRate, QSerialPort::AllDirections);
    serialPort.setDataBits(QSerialPort::Data8);
    serialPort.setParity(QSerialPort::NoParity);
    serialPort.setStopBits(QSerialPort::OneStop);
    serialPort.setFlowControl(QSerialPort::NoFlowControl);
}

parachuteRadioComm::~parachuteRadioComm()
{
    if (serialPort.isOpen())
        serialPort.close();
}

bool parachuteRadioComm::isConnected()
{
    return serialPort.isOpen();
}

QByteArray parachuteRadioComm::buildRequest(bool write, USBmessages kind,
                                            USBmsgOptions option) const
{
    if (!write) {
        // Read requests carry nothing of the record; they reuse one buffer.
        static char data[2] = {0, 0};
        switch (kind) {
        case USBmsgIdentity:
        case USBmsgConfig:
        case USBmsgStatus:
            data[0] = char(kind);
            return QByteArray(data, 1);
        case USBmsgEepromDump:
            if (option != USBoptDump)
                return QByteArray();
            data[0] = char(kind);
            data[1] = char(option);
            return QByteArray(data, 2);
        default:
            return QByteArray();
        }
    }

    // A write echoes the board's own product code and firmware version, so
    // it is refused until a reply of a known family has been stored.
    const Family family = familyOf(productCodeHigh, productCodeLow);
    if (family == Family::None || (kind != USBmsgConfig && kind != USBmsgSetDefaults))
        return QByteArray();

    int length = headerLength;
    if (kind == USBmsgConfig)
        length = family == Family::Trigger04F2 ? config04F2Length : config08A3Length;

    QByteArray frame(length, '\0');
    uchar *out = reinterpret_cast<uchar *>(frame.data());
    out[0] = uchar(kind);
    out[1] = productCodeHigh;
    out[2] = productCodeLow;
    out[3] = fwVersionMajor;
    out[4] = fwVersionMinor;
    if (kind == USBmsgSetDefaults)
        return frame;

    if (family == Family::Trigger04F2) {
        out[5] = inaGain;
        out[6] = triggerActiveLow ? 1 : 0;
        qToBigEndian<quint16>(triggerHigh, out + 7);
        qToBigEndian<quint16>(triggerLow, out + 9);
    } else {
        for (int group = 0; group < 3; ++group) {
            out[5 + group] = groupBank[group];
            out[8 + group] = groupRefreshRate[group];
        }
        for (int channel = 0; channel < 12; ++channel)
            qToBigEndian<quint16>(failsafeValue[channel], out + 11 + 2 * channel);
        out[35] = triggerActiveLow ? 1 : 0;
        qToBigEndian<quint16>(triggerHigh, out + 36);
        qToBigEndian<quint16>(triggerLow, out + 38);
    }
    return frame;
}

uint8_t parachuteRadioComm::send(bool write, USBmessages kind, USBmsgOptions option)
{
    if (!serialPort.isOpen())
        return 0;

    const QByteArray request = buildRequest(write, kind, option);
    if (request.isEmpty())
        return 0;

    qDebug() << (write ? "Sending write cmd " : "Sending read cmd ") << request.toHex();

    // Whatever is still waiting from an earlier, late reply is kept: it
    // becomes the front of this reply, and the decoder sorts it out.
    serialPort.write(request);
    if (!serialPort.waitForBytesWritten(exchangeTimeoutMs)) {
        qDebug() << "Timeout write";
        closeIfGone();
        return 0;
    }
    if (!serialPort.waitForReadyRead(exchangeTimeoutMs)) {
        qDebug() << "Timeout read";
        closeIfGone();
        return 0;
    }

    // Replies carry no length: one ends when the line has been quiet for a
    // whole timeout. A line that never falls quiet is cut off instead of
    // freezing the window; what keeps coming stays for the next exchange.
    QByteArray reply = serialPort.readAll();
    for (;;) {
        if (reply.size() > maxReplyLength) {
            qDebug() << "Reply too long" << reply.size();
            return 0;
        }
        if (!serialPort.waitForReadyRead(exchangeTimeoutMs))
            break;
        reply += serialPort.readAll();
    }

    qDebug() << "Result " << reply.toHex();
    return parseRxMessage(reply);
}

uint8_t parachuteRadioComm::parseRxMessage(QByteArray msg)
{
    const qsizetype length = msg.size();
    const uchar *in = reinterpret_cast<const uchar *>(msg.constData());

    if (length < 3)
        return 0;
    // Kept even when the reply is then refused, so a garbled reply blocks
    // writes until the board is heard from properly again.
    productCodeHigh = in[1];
    productCodeLow = in[2];

    const Family family = familyOf(productCodeHigh, productCodeLow);
    if (family == Family::None || length < headerLength)
        return 0;

    fwVersionMajor = in[3];
    fwVersionMinor = in[4];
    if (family == Family::Trigger04F2) {
        if (fwVersionMajor != 0 || fwVersionMinor != 1)
            return 0;
    } else if (fwVersionMinor > 3 || fwVersionMajor > 1) {
        return 0;
    }

    // The reply's own kind decides the layout, not what was asked for.
    switch (in[0]) {
    case USBmsgIdentity:
        if (length < identityLength)
            return 0;
        chipRevId = be32(in + 5);
        chipDevId = be32(in + 9);
        for (int word = 0; word < 3; ++word)
            uniqueId[word] = be32(in + 13 + 4 * word);
        return USBmsgIdentity;

    case USBmsgConfig:
        if (family == Family::Trigger04F2) {
            if (length < config04F2Length)
                return 0;
            inaGain = in[5];
            triggerActiveLow = in[6] != 0;
            triggerHigh = be16(in + 7);
            triggerLow = be16(in + 9);
        } else {
            if (length < config08A3Length)
                return 0;
            for (int group = 0; group < 3; ++group) {
                groupBank[group] = in[5 + group];
                groupRefreshRate[group] = in[8 + group];
            }
            for (int channel = 0; channel < 12; ++channel)
                failsafeValue[channel] = be16(in + 11 + 2 * channel);
            triggerActiveLow = in[35] != 0;
            triggerHigh = be16(in + 36);
            triggerLow = be16(in + 38);
        }
        return USBmsgConfig;

    case USBmsgEepromDump:
        if (length < dumpLength || in[5] != dumpMarker)
            return 0;
        // The whole reply, header and zero bytes included, is what the
        // Internal page shows.
        eepromDump = QString::fromUtf8(msg);
        qDebug() << eepromDump;
        return USBmsgEepromDump;

    case USBmsgStatus:
        if (family == Family::Trigger04F2) {
            if (length < status04F2Length)
                return 0;
            temperature = in[6] * 0.5f - 25.0f;
            fuseProbeCurrent = in[8] * 2.0f;
            fuseCurrent = in[9];
            fusePeakCurrent = in[10];
            triggerVoltage = in[11] / 10.0f;
            batteryVoltage = in[19] / 5.0f;
        } else {
            if (length < status08A3Length)
                return 0;
            triggerValue = be16(in + 6);
            triggerFrequency = be16(in + 8);
            triggerPresent = in[10] != 0;
            failsafeActive = in[11] != 0;
        }
        return USBmsgStatus;

    default:
        return 0;
    }
}

// Device link to one parachute-system board: opens the shared serial port,
// encodes requests from the state record, runs the blocking request/reply
// exchange and decodes the board's replies back into the record.
#include "parachuteradiocomm.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QtEndian>
#include <cstring>
#include <mutex>

QSerialPort serialPort;

namespace {

// The exchange log: every request, every reply as received, and how an
// exchange ended without one.
Q_LOGGING_CATEGORY(lcLink, "halvero.link.wire")

using namespace Protocol;

quint16 be16(const uchar *at)
{
    return qFromBigEndian<quint16>(at);
}

quint32 be32(const uchar *at)
{
    return qFromBigEndian<quint32>(at);
}

// A field of one or two bytes, big-endian.
unsigned fieldAt(const uchar *in, int offset, int width)
{
    return width == 2 ? be16(in + offset) : in[offset];
}

void putField(uchar *out, int offset, int width, int value)
{
    if (width == 2)
        qToBigEndian<quint16>(quint16(value), out + offset);
    else
        out[offset] = uchar(value);
}

template<typename T, size_t N>
T &element(T (&array)[N], int index)
{
    Q_ASSERT(index >= 0 && size_t(index) < N);
    return array[index];
}

// A pulled cable leaves the port open in Qt, which then retries the unsent
// request without pause: a busy loop until the operator disconnects. Closing
// the port instead makes every later exchange return at once.
void closeIfGone(QSerialPort &port)
{
    switch (port.error()) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
        port.close();
        break;
    default:
        break;
    }
}

// A kind of message the boards send.
bool isReplyKind(uchar kind)
{
    return kind >= USBmsgIdentity && kind <= USBmsgSetDefaults;
}

// Where the first header a board of ours could have sent begins: a kind the
// boards send, a known product code and a firmware this host reads. -1 when
// no such header is in `bytes`.
qsizetype headerStart(const QByteArray &bytes)
{
    const uchar *in = reinterpret_cast<const uchar *>(bytes.constData());
    for (qsizetype at = 0; at + headerLength <= bytes.size(); ++at) {
        const uchar *header = in + at;
        if (!isReplyKind(header[kindOffset]))
            continue;
        const BoardFamily family = familyOf(header[productHighOffset], header[productLowOffset]);
        if (family != BoardFamily::Unknown && firmwareAccepted(family, header[fwMajorOffset], header[fwMinorOffset]))
            return at;
    }
    return -1;
}

} // namespace

parachuteRadioComm::parachuteRadioComm(QString portName, int32_t baudRate, QSerialPort *port)
    : m_port(port ? *port : serialPort)
{
    // An empty name means "no port picked": a port another object still
    // holds open must not be disturbed.
    if (portName.isEmpty())
        return;

#ifdef Q_OS_UNIX
    // Qt locks a port by its name, so /dev/serial/by-id/... and the
    // /dev/ttyACM0 it points to would both open one board and take each
    // other's replies. The lock goes on the device itself.
    const QFileInfo named(portName);
    if (named.isAbsolute() && named.isSymLink() && !named.canonicalFilePath().isEmpty())
        portName = named.canonicalFilePath();
#endif
    m_port.setPortName(portName);
    if (m_port.isOpen())
        m_port.close();
    if (!m_port.open(QIODevice::ReadWrite))
        return;

    // A USB virtual COM port accepts all of these whatever it reports, so
    // the results are not worth acting on.
    m_port.setBaudRate(baudRate, QSerialPort::AllDirections);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
}

parachuteRadioComm::~parachuteRadioComm()
{
    if (m_port.isOpen())
        m_port.close();
}

bool parachuteRadioComm::isConnected()
{
    return m_port.isOpen();
}

QByteArray parachuteRadioComm::buildRequest(bool write, USBmessages kind, USBmsgOptions option) const
{
    if (!write) {
        // Read requests carry nothing of the record; they reuse one buffer,
        // which links serving boards from several threads take in turn.
        static char data[2] = {0, 0};
        static std::mutex dataLock;
        const std::lock_guard<std::mutex> taken(dataLock);
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
    // it is refused until a reply of a known family has been stored; once a
    // board is identified, its header and no other.
    const uint8_t high = identified ? identity[0] : productCodeHigh;
    const uint8_t low = identified ? identity[1] : productCodeLow;
    const BoardFamily family = familyOf(high, low);
    if (family == BoardFamily::Unknown || (kind != USBmsgConfig && kind != USBmsgSetDefaults))
        return QByteArray();

    const int length = kind == USBmsgConfig ? configLength(family) : headerLength;
    QByteArray frame(length, '\0');
    uchar *out = reinterpret_cast<uchar *>(frame.data());
    out[kindOffset] = uchar(kind);
    out[productHighOffset] = high;
    out[productLowOffset] = low;
    out[fwMajorOffset] = identified ? identity[2] : fwVersionMajor;
    out[fwMinorOffset] = identified ? identity[3] : fwVersionMinor;
    if (kind == USBmsgSetDefaults)
        return frame;

    for (const ConfigField &field : familyTable(family).config)
        putField(out, field.offset, field.width, configValue(field));
    return frame;
}

uint8_t parachuteRadioComm::send(bool write, USBmessages kind, USBmsgOptions option)
{
    reply.clear();
    lateDropped = false;
    if (!m_port.isOpen()) {
        outcome = ExchangeOutcome::PortClosed;
        return 0;
    }

    const QByteArray request = buildRequest(write, kind, option);
    if (request.isEmpty()) {
        outcome = ExchangeOutcome::NotEncodable;
        return 0;
    }

    if (!dropLeftovers()) {
        outcome = ExchangeOutcome::PortClosed;
        return 0;
    }

    qCDebug(lcLink) << (write ? "Sending write cmd " : "Sending read cmd ") << request.toHex();

    m_port.write(request);
    if (!m_port.waitForBytesWritten(exchangeTimeoutMs)) {
        qCDebug(lcLink) << "Timeout write";
        outcome = ExchangeOutcome::WriteTimeout;
        m_gaveUp.start();
        closeIfGone(m_port);
        return 0;
    }
    if (!m_port.waitForReadyRead(m_timing.firstByteMs)) {
        qCDebug(lcLink) << "Timeout read";
        outcome = ExchangeOutcome::NoReply;
        m_gaveUp.start();
        closeIfGone(m_port);
        return 0;
    }

    // Replies carry no length: one ends when the line has been quiet for a
    // whole timeout. A line that never falls quiet is cut off, by size and
    // by time, instead of freezing the window; what keeps coming is dropped
    // before the next request.
    const int maxDurationMs = maxReplyDurationMs(m_port.baudRate());
    QElapsedTimer arriving;
    arriving.start();
    reply = m_port.readAll();
    for (;;) {
        if (reply.size() > maxReplyLength || arriving.elapsed() > maxDurationMs) {
            qCDebug(lcLink) << "Reply does not end" << reply.size() << "bytes in" << arriving.elapsed() << "ms";
            outcome = ExchangeOutcome::NeverQuiet;
            return 0;
        }
        if (!m_port.waitForReadyRead(exchangeTimeoutMs))
            break;
        reply += m_port.readAll();
    }

    qCDebug(lcLink) << "Result " << reply.toHex();
    return decodeReply();
}

// Replies carry no framing: the tail of one that paused longer than the
// quiet gap can arrive after its exchange has ended, and run into the front
// of the next reply. Its bytes must not be read as a header (a product code
// 0000, another board): what comes before the first header a board could
// have sent is dropped, and a reply that does not even start with a kind of
// message is none. A reply that is no board's answer, or stops short of its
// layout, may still have bytes on the way: the line is let fall quiet before
// the next request, so that they are dropped rather than taken for its answer.
uint8_t parachuteRadioComm::decodeReply()
{
    const qsizetype start = headerStart(reply);
    uint8_t result = 0;
    if (start > 0) {
        qCDebug(lcLink) << "Dropping" << start << "bytes ahead of the reply's header:" << reply.left(start).toHex();
        result = parseRxMessage(reply.mid(start));
    } else if (start < 0 && (reply.isEmpty() || !isReplyKind(uchar(reply[kindOffset])))) {
        qCDebug(lcLink) << "No reply header in" << reply.size() << "bytes";
        outcome = ExchangeOutcome::Undecodable;
    } else {
        // A header of a board we do not know is still a board's reply: its
        // product code or firmware says what is wrong.
        result = parseRxMessage(reply);
    }
    if (outcome == ExchangeOutcome::Undecodable)
        m_gaveUp.start();
    return result;
}

// Replies carry no sequence number: a reply is this request's only when the
// line was quiet as it went out. Whatever waits before it is left over from
// an exchange that has ended (a reply that came too late, the tail of one
// that paused longer than the quiet gap) and would be decoded as this
// request's answer: it is dropped, and logged. After an exchange that gave
// up waiting, its reply may still be on the way, so the line is first let
// fall quiet. False when the port went away meanwhile.
bool parachuteRadioComm::dropLeftovers()
{
    // Enough of what is dropped for the log; a flood is counted, not kept.
    constexpr int shownBytes = 64;
    QByteArray shown;
    qint64 dropped = 0;
    QElapsedTimer sinceByte;
    const auto take = [&] {
        const QByteArray bytes = m_port.readAll();
        if (bytes.isEmpty())
            return;
        dropped += bytes.size();
        shown += bytes.left(shownBytes - shown.size());
        sinceByte.start();
    };
    // Bytes reach the port's buffer only when it looks for them.
    const auto looked = [this](int ms) {
        if (m_port.waitForReadyRead(ms))
            return true;
        closeIfGone(m_port);
        return false;
    };
    take();
    while (dropped < maxReplyLength && looked(0))
        take();

    if (m_gaveUp.isValid()) {
        // Quiet since the exchange gave up, and for a whole quiet gap after
        // any byte that came meanwhile; a line that never falls quiet is
        // left to the exchange, which has its own bound for that.
        QElapsedTimer settling;
        settling.start();
        const int boundMs = maxReplyDurationMs(m_port.baudRate());
        for (;;) {
            qint64 waitMs = m_timing.settleMs() - m_gaveUp.elapsed();
            if (sinceByte.isValid())
                waitMs = qMax(waitMs, exchangeTimeoutMs - sinceByte.elapsed());
            if (waitMs <= 0 || settling.elapsed() > boundMs || !m_port.isOpen())
                break;
            if (looked(int(waitMs)))
                take();
        }
    }

    lateDropped = dropped > 0 && m_gaveUp.isValid();
    m_gaveUp.invalidate();
    if (dropped > 0)
        qCDebug(lcLink) << "Discarding" << dropped << "bytes left over:" << shown.toHex();
    return m_port.isOpen();
}

uint8_t parachuteRadioComm::parseRxMessage(QByteArray msg)
{
    const qsizetype length = msg.size();
    const uchar *in = reinterpret_cast<const uchar *>(msg.constData());
    outcome = ExchangeOutcome::Undecodable;

    // After identification nothing but the identified board's replies may
    // reach the record: a late tail of another reply whose bytes happen to
    // read as another product must not turn the next write into that
    // product's frame.
    if (identified) {
        if (length < headerLength)
            return 0;
        if (memcmp(in + productHighOffset, identity, sizeof identity) != 0) {
            qCDebug(lcLink) << "Reply from another board ignored" << msg.left(headerLength).toHex();
            outcome = ExchangeOutcome::OtherBoard;
            return 0;
        }
    }

    if (length < 3)
        return 0;
    // Kept even when the reply is then refused, so a garbled reply blocks
    // writes until the board is heard from properly again.
    productCodeHigh = in[productHighOffset];
    productCodeLow = in[productLowOffset];

    const BoardFamily family = familyOf(productCodeHigh, productCodeLow);
    if (family == BoardFamily::Unknown) {
        outcome = ExchangeOutcome::UnknownProduct;
        return 0;
    }
    if (length < headerLength)
        return 0;

    fwVersionMajor = in[fwMajorOffset];
    fwVersionMinor = in[fwMinorOffset];
    if (!firmwareAccepted(family, fwVersionMajor, fwVersionMinor)) {
        outcome = ExchangeOutcome::UnsupportedFirmware;
        return 0;
    }

    const uint8_t result = decodeBody(msg, family);
    if (result != 0)
        outcome = ExchangeOutcome::Decoded;
    else if (in[0] == USBmsgSetDefaults && length == headerLength)
        // The acknowledgement is the header alone: with bytes behind it, it
        // is some other reply, or two run together, and proves nothing.
        outcome = ExchangeOutcome::Acknowledged;
    if (result == USBmsgIdentity && !identified) {
        identified = true;
        memcpy(identity, in + productHighOffset, sizeof identity);
    }
    return result;
}

uint8_t parachuteRadioComm::decodeBody(const QByteArray &msg, BoardFamily family)
{
    const qsizetype length = msg.size();
    const uchar *in = reinterpret_cast<const uchar *>(msg.constData());

    // The reply's own kind decides the layout, not what was asked for.
    switch (in[kindOffset]) {
    case USBmsgIdentity:
        if (length < identityLength)
            return 0;
        chipRevId = be32(in + revIdOffset);
        chipDevId = be32(in + devIdOffset);
        for (int word = 0; word < 3; ++word)
            uniqueId[word] = be32(in + uniqueIdOffset + 4 * word);
        return USBmsgIdentity;

    case USBmsgConfig:
        if (length < configLength(family))
            return 0;
        for (const ConfigField &field : familyTable(family).config)
            setConfigValue(field, int(fieldAt(in, field.offset, field.width)));
        return USBmsgConfig;

    case USBmsgEepromDump:
        if (length < dumpLength || in[dumpMarkerOffset] != dumpMarker)
            return 0;
        // The whole reply, header and zero bytes included, is what the
        // record keeps; the window shows it without the header.
        eepromDump = QString::fromUtf8(msg);
        qCDebug(lcLink) << eepromDump;
        return USBmsgEepromDump;

    case USBmsgStatus:
        if (length < statusLength(family))
            return 0;
        for (const StatusField &field : familyTable(family).status)
            setStatusValue(field, field.scaled(fieldAt(in, field.offset, field.width)));
        return USBmsgStatus;

    default:
        return 0;
    }
}

int parachuteRadioComm::configValue(const ConfigField &field) const
{
    switch (field.member) {
    case ConfigMember::GroupBank:
        return element(groupBank, field.index);
    case ConfigMember::GroupRefreshRate:
        return element(groupRefreshRate, field.index);
    case ConfigMember::FailsafeValue:
        return element(failsafeValue, field.index);
    case ConfigMember::TriggerActiveLow:
        return triggerActiveLow ? 1 : 0;
    case ConfigMember::TriggerHigh:
        return triggerHigh;
    case ConfigMember::TriggerLow:
        return triggerLow;
    case ConfigMember::InaGain:
        return inaGain;
    }
    return 0;
}

void parachuteRadioComm::setConfigValue(const ConfigField &field, int value)
{
    switch (field.member) {
    case ConfigMember::GroupBank:
        element(groupBank, field.index) = uint8_t(value);
        break;
    case ConfigMember::GroupRefreshRate:
        element(groupRefreshRate, field.index) = uint8_t(value);
        break;
    case ConfigMember::FailsafeValue:
        element(failsafeValue, field.index) = uint16_t(value);
        break;
    case ConfigMember::TriggerActiveLow:
        triggerActiveLow = value != 0;
        break;
    case ConfigMember::TriggerHigh:
        triggerHigh = uint16_t(value);
        break;
    case ConfigMember::TriggerLow:
        triggerLow = uint16_t(value);
        break;
    case ConfigMember::InaGain:
        inaGain = uint8_t(value);
        break;
    }
}

float parachuteRadioComm::statusValue(const StatusField &field) const
{
    switch (field.member) {
    case StatusMember::FailsafeActive:
        return failsafeActive ? 1 : 0;
    case StatusMember::TriggerPresent:
        return triggerPresent ? 1 : 0;
    case StatusMember::TriggerValue:
        return triggerValue;
    case StatusMember::TriggerFrequency:
        return triggerFrequency;
    case StatusMember::BatteryVoltage:
        return batteryVoltage;
    case StatusMember::TriggerVoltage:
        return triggerVoltage;
    case StatusMember::FuseProbeCurrent:
        return fuseProbeCurrent;
    case StatusMember::FuseCurrent:
        return fuseCurrent;
    case StatusMember::FusePeakCurrent:
        return fusePeakCurrent;
    case StatusMember::Temperature:
        return temperature;
    }
    return 0;
}

void parachuteRadioComm::setStatusValue(const StatusField &field, float value)
{
    switch (field.member) {
    case StatusMember::FailsafeActive:
        failsafeActive = value != 0;
        break;
    case StatusMember::TriggerPresent:
        triggerPresent = value != 0;
        break;
    case StatusMember::TriggerValue:
        triggerValue = uint16_t(value);
        break;
    case StatusMember::TriggerFrequency:
        triggerFrequency = uint16_t(value);
        break;
    case StatusMember::BatteryVoltage:
        batteryVoltage = value;
        break;
    case StatusMember::TriggerVoltage:
        triggerVoltage = value;
        break;
    case StatusMember::FuseProbeCurrent:
        fuseProbeCurrent = value;
        break;
    case StatusMember::FuseCurrent:
        fuseCurrent = value;
        break;
    case StatusMember::FusePeakCurrent:
        fusePeakCurrent = value;
        break;
    case StatusMember::Temperature:
        temperature = value;
        break;
    }
}

// The board's firmware side of the wire protocol: what a board of either
// family stores and what it answers to each request, with live readings that
// move with time. No I/O here; SimulatedBoard feeds it complete requests.
#include "simulatedboard.h"

#include <QLoggingCategory>
#include <QtEndian>
#include <QtGlobal>

#include <algorithm>
#include <cmath>

namespace {

// The simulated board's own complaints.
Q_LOGGING_CATEGORY(lcBoardsim, "halvero.boardsim")

enum Kind : uint8_t {
    Identity = 1,
    Config = 2,
    EepromDump = 3,
    Status = 4,
    SetDefaults = 5
};

constexpr int HeaderLength = 5;
constexpr int SwitchPayloadLength = 35; // 08A2/08A3: 40-byte frame
constexpr int TriggerPayloadLength = 6; // 04F2: 11-byte frame
constexpr int SwitchStatusLength = 12;
constexpr int TriggerStatusLength = 20;
constexpr int EepromSize = 64;
constexpr double Pi = 3.14159265358979323846;

bool isTriggerBoard(uint16_t productCode)
{
    return (productCode >> 8) == 0x04;
}

int payloadLength(uint16_t productCode)
{
    return isTriggerBoard(productCode) ? TriggerPayloadLength : SwitchPayloadLength;
}

void appendU16(QByteArray &out, uint16_t value)
{
    out.append(char(value >> 8));
    out.append(char(value & 0xFF));
}

void appendU32(QByteArray &out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char((value >> shift) & 0xFF));
}

uint8_t byteAt(const QByteArray &bytes, int i)
{
    return uint8_t(bytes.at(i));
}

uint16_t u16At(const QByteArray &bytes, int i)
{
    return qFromBigEndian<quint16>(bytes.constData() + i);
}

// A slow wave between lo and hi; the phase keeps the readings from moving in
// lockstep so that every field of a status page visibly lives on its own.
double wave(qint64 ms, double periodMs, double lo, double hi, double phase = 0.0)
{
    const double s = std::sin(2.0 * Pi * double(ms) / periodMs + phase);
    return lo + (hi - lo) * (s + 1.0) / 2.0;
}

uint8_t clampByte(double v)
{
    return uint8_t(qBound(0L, std::lround(v), 255L));
}

QByteArray header(const BoardIdentity &id, uint8_t kind)
{
    QByteArray h;
    h.append(char(kind));
    appendU16(h, id.productCode);
    h.append(char(id.fwMajor));
    h.append(char(id.fwMinor));
    return h;
}

bool addressedTo(const BoardIdentity &id, const QByteArray &request)
{
    return request.size() >= 3 && u16At(request, 1) == id.productCode;
}

QByteArray identityReply(const BoardIdentity &id)
{
    QByteArray r = header(id, Identity);
    appendU32(r, id.revId);
    appendU32(r, id.devId);
    for (uint32_t word : id.serial)
        appendU32(r, word);
    return r;
}

QByteArray statusReply(const BoardIdentity &id, qint64 ms)
{
    QByteArray r = header(id, Status);
    if (isTriggerBoard(id.productCode)) {
        const double tempC = wave(ms, 90000, 21.5, 30.0);
        const double probeA = wave(ms, 7000, 0.0, 6.0, 1.0);
        const double fuseA = wave(ms, 5000, 0.0, 8.0, 2.0);
        const double triggerV = wave(ms, 11000, 11.8, 12.6, 0.5);
        const double batteryV = wave(ms, 240000, 12.2, 12.6, 3.0);
        r.append(char(0));                               // 5: reserved
        r.append(char(clampByte((tempC + 25.0) / 0.5))); // 6
        r.append(char(0));                               // 7: reserved
        r.append(char(clampByte(probeA / 2.0)));         // 8
        r.append(char(clampByte(fuseA)));                // 9
        // The peak trails the live current and never drops below it, as the
        // board's peak detector does.
        r.append(char(clampByte(qMax(fuseA, wave(ms - 1500, 5000, 0.0, 8.0, 2.0)) + 1.0))); // 10
        r.append(char(clampByte(triggerV * 10.0)));                                         // 11
        r.append(7, char(0));                                                               // 12..18: reserved
        r.append(char(clampByte(batteryV * 5.0)));                                          // 19
        Q_ASSERT(r.size() == TriggerStatusLength);
    } else {
        // The receiver's pulse drops out for a moment every twelve seconds,
        // which is when the switch falls back to its failsafe outputs.
        const bool present = (ms % BoardModel::pulseCycleMs) < BoardModel::pulsePresentMs;
        const uint16_t pulseUs = present ? uint16_t(std::lround(wave(ms, 8000, 1000, 2000))) : 0;
        const uint16_t freqHz = present ? uint16_t(std::lround(wave(ms, 3300, 49, 51, 1.0))) : 0;
        r.append(char(0)); // 5: reserved
        appendU16(r, pulseUs);
        appendU16(r, freqHz);
        r.append(char(present ? 1 : 0));
        r.append(char(present ? 0 : 1));
        Q_ASSERT(r.size() == SwitchStatusLength);
    }
    return r;
}

QByteArray eepromImage(const BoardIdentity &id, const QByteArray &config)
{
    // Product code and firmware first, then the configuration as it is sent
    // on the wire; the rest of the page is erased flash.
    QByteArray image;
    appendU16(image, id.productCode);
    image.append(char(id.fwMajor));
    image.append(char(id.fwMinor));
    image.append(config);
    image.append(EepromSize - image.size(), char(0xFF));
    return image;
}

QString eepromText(const BoardIdentity &id, const QByteArray &config)
{
    const QByteArray image = eepromImage(id, config);
    const QString product = QStringLiteral("%1").arg(id.productCode, 4, 16, QLatin1Char('0')).toUpper();
    QString text = QStringLiteral("\nEEPROM %1 fw %2.%3, %4 bytes\n")
                       .arg(product)
                       .arg(id.fwMajor)
                       .arg(id.fwMinor)
                       .arg(image.size());
    for (int addr = 0; addr < image.size(); addr += 16) {
        text += QStringLiteral("%1:").arg(addr, 4, 16, QLatin1Char('0'));
        const QByteArray line = image.mid(addr, 16).toHex(' ').toUpper();
        text += QLatin1Char(' ') + QString::fromLatin1(line) + QLatin1Char('\n');
    }

    const QByteArray &c = config;
    auto bytesList = [&c](int from, int count) {
        QStringList parts;
        for (int i = 0; i < count; ++i)
            parts << QString::number(byteAt(c, from + i));
        return parts.join(QLatin1Char(','));
    };
    int trig = 0;
    if (isTriggerBoard(id.productCode)) {
        text += QStringLiteral("gain=%1\n").arg(byteAt(c, 0));
        trig = 1;
    } else {
        text += QStringLiteral("bank=%1\n").arg(bytesList(0, 3));
        text += QStringLiteral("refresh=%1\n").arg(bytesList(3, 3));
        QStringList failsafe;
        for (int ch = 0; ch < 12; ++ch)
            failsafe << QString::number(u16At(c, 6 + 2 * ch));
        text += QStringLiteral("failsafe=%1\n").arg(failsafe.join(QLatin1Char(',')));
        trig = 30;
    }
    text += QStringLiteral("active_low=%1\n").arg(byteAt(c, trig));
    text += QStringLiteral("trig_high=%1\n").arg(u16At(c, trig + 1));
    text += QStringLiteral("trig_low=%1\n").arg(u16At(c, trig + 3));
    return text;
}

} // namespace

bool BoardIdentity::setSerial(const QString &shown)
{
    QString digits = shown.trimmed();
    if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        digits = digits.mid(2);
    const auto hexDigit = [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
    };
    if (digits.size() != 24 || !std::all_of(digits.cbegin(), digits.cend(), hexDigit))
        return false;
    for (int w = 0; w < 3; ++w)
        serial[2 - w] = digits.mid(8 * w, 8).toUInt(nullptr, 16);
    return true;
}

BoardModel::BoardModel(const BoardIdentity &identity)
    : m_identity(identity)
    , m_config(factoryPayload())
{}

QByteArray BoardModel::factoryPayload() const
{
    QByteArray p;
    if (isTriggerBoard(m_identity.productCode)) {
        p.append(char(1)); // amplifier gain
        p.append(char(0)); // active low
        appendU16(p, 1600);
        appendU16(p, 1400);
    } else {
        p.append(3, char(0)); // banks
        p.append(3, char(0)); // refresh rates
        for (int ch = 0; ch < 12; ++ch)
            appendU16(p, 1000);
        p.append(char(0));
        appendU16(p, 1600);
        appendU16(p, 1400);
    }
    return p;
}

QByteArray BoardModel::configPayload() const
{
    return m_config;
}

bool BoardModel::setConfigPayload(const QByteArray &payload)
{
    // The EEPROM image has a fixed size: a payload of another family's
    // length would leave the layout half written, so it is refused.
    if (payload.size() != payloadLength(m_identity.productCode)) {
        qCWarning(lcBoardsim, "BoardModel: configuration payload of %d bytes refused", int(payload.size()));
        return false;
    }
    m_config = payload;
    return true;
}

int BoardModel::requestLength(const QByteArray &pending)
{
    if (pending.isEmpty())
        return 0;
    switch (byteAt(pending, 0)) {
    case Identity:
    case Status:
        return 1;
    case EepromDump:
        return pending.size() < 2 ? 0 : 2;
    case SetDefaults:
        return HeaderLength;
    case Config: {
        // A read is the lone kind byte; a write carries a product code of a
        // family right after it. Until byte 2 is in, 0x02 0x04 could still be
        // a read followed by a status request.
        if (pending.size() < 2)
            return 0;
        const uint8_t hi = byteAt(pending, 1);
        if (hi != 0x04 && hi != 0x08)
            return 1;
        if (pending.size() < 3)
            return 0;
        const uint8_t lo = byteAt(pending, 2);
        if (hi == 0x04 && lo == 0xF2)
            return HeaderLength + TriggerPayloadLength;
        if (hi == 0x08 && (lo == 0xA2 || lo == 0xA3))
            return HeaderLength + SwitchPayloadLength;
        return 1;
    }
    default:
        return -1;
    }
}

QByteArray BoardModel::reply(const QByteArray &request, qint64 elapsedMs, Writes writes)
{
    if (request.isEmpty())
        return {};
    const int expected = requestLength(request);
    switch (byteAt(request, 0)) {
    case Identity:
        if (request.size() != 1)
            return {};
        return identityReply(m_identity);
    case Config:
        if (request.size() == 1)
            return header(m_identity, Config) + m_config;
        // A write for another family or another board is not for us; the
        // firmware ignores it rather than guessing a layout.
        if (request.size() != expected || !addressedTo(m_identity, request))
            return {};
        if (writes == Writes::Stored)
            m_config = request.mid(HeaderLength);
        return header(m_identity, Config) + m_config;
    case EepromDump:
        if (request.size() != 2 || byteAt(request, 1) != 0x01)
            return {};
        return header(m_identity, EepromDump) + char(0x01) + eepromText(m_identity, m_config).toLatin1();
    case Status:
        if (request.size() != 1)
            return {};
        return statusReply(m_identity, elapsedMs);
    case SetDefaults:
        if (request.size() != HeaderLength || !addressedTo(m_identity, request))
            return {};
        // A board that ignores writes answers as to a read.
        if (writes == Writes::Ignored)
            return header(m_identity, Config) + m_config;
        m_config = factoryPayload();
        return header(m_identity, SetDefaults);
    default:
        return {};
    }
}

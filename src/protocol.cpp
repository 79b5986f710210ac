// Product families, accepted firmware, layout lengths, status scalings and
// the bound on a reply that will not end.
#include "protocol.h"

#include <QtGlobal>

namespace Protocol {

BoardFamily familyOf(uint8_t productCodeHigh, uint8_t productCodeLow)
{
    return familyOfProductCode(uint16_t(productCodeHigh << 8 | productCodeLow));
}

BoardFamily familyOfProductCode(uint16_t productCode)
{
    switch (productCode) {
    case 0x08A3:
    case 0x08A2:
        return BoardFamily::Switch08A3;
    case 0x04F2:
        return BoardFamily::Trigger04F2;
    default:
        return BoardFamily::Unknown;
    }
}

BoardFamily familyOfProductText(const QString &productCode)
{
    if (productCode.size() != 4)
        return BoardFamily::Unknown;
    bool ok = false;
    const uint code = productCode.toUInt(&ok, 16);
    return ok ? familyOfProductCode(uint16_t(code)) : BoardFamily::Unknown;
}

QString familyName(BoardFamily family)
{
    switch (family) {
    case BoardFamily::Switch08A3:
        return QStringLiteral("08A3");
    case BoardFamily::Trigger04F2:
        return QStringLiteral("04F2");
    case BoardFamily::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

bool firmwareAccepted(BoardFamily family, uint8_t major, uint8_t minor)
{
    switch (family) {
    case BoardFamily::Trigger04F2:
        return major == 0 && minor == 1;
    case BoardFamily::Switch08A3:
        return major <= 1 && minor <= 3;
    case BoardFamily::Unknown:
        break;
    }
    return false;
}

namespace {

// The family's own value of a layout fact; 0 for an unknown family.
int perFamily(BoardFamily family, int trigger04F2, int switch08A3)
{
    return family == BoardFamily::Trigger04F2 ? trigger04F2 : family == BoardFamily::Switch08A3 ? switch08A3 : 0;
}

} // namespace

int configLength(BoardFamily family)
{
    return perFamily(family, config04F2Length, config08A3Length);
}

int statusLength(BoardFamily family)
{
    return perFamily(family, status04F2Length, status08A3Length);
}

float temperatureC(uint8_t raw) { return raw * 0.5f - 25.0f; }
float fuseProbeCurrentA(uint8_t raw) { return raw * 2.0f; }
float fuseCurrentA(uint8_t raw) { return raw; }
float fusePeakCurrentA(uint8_t raw) { return raw; }
float triggerVoltageV(uint8_t raw) { return raw / 10.0f; }
float batteryVoltageV(uint8_t raw) { return raw / 5.0f; }

int maxReplyDurationMs(int32_t baudRate)
{
    // A speed that makes no sense is taken as the slowest one offered.
    const qint64 baud = baudRate >= 1200 ? baudRate : 1200;
    const qint64 wireMs = qint64(longestReplyBytes) * 10 * 1000 / baud;
    return int(qMax<qint64>(1000, wireMs * 5 / 4 + 2 * exchangeTimeoutMs));
}

} // namespace Protocol

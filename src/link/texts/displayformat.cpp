// Display formats of the board's identity and measurements.
#include "displayformat.h"

namespace DisplayFormat {

QString hex2(uint8_t value)
{
    return QStringLiteral("%1").arg(uint(value), 2, 16, QLatin1Char('0')).toUpper();
}

QString hex4(uint32_t value)
{
    return QStringLiteral("%1").arg(uint(value), 4, 16, QLatin1Char('0')).toUpper();
}

QString hex8(uint32_t value)
{
    return QStringLiteral("%1").arg(uint(value), 8, 16, QLatin1Char('0')).toUpper();
}

QString hexPlain(uint8_t value)
{
    return QString::number(value, 16);
}

QString decimal(uint16_t value)
{
    return QString::number(value);
}

QString general(float value)
{
    return QString::number(double(value), 'g', 6);
}

QString productCode(uint8_t high, uint8_t low)
{
    return hex2(high) + hex2(low);
}

QString firmwareVersion(uint8_t major, uint8_t minor)
{
    return hexPlain(major) + QLatin1Char('.') + hexPlain(minor);
}

QString serialNumber(const uint32_t uniqueId[3])
{
    return QStringLiteral("0x") + hex8(uniqueId[2]) + hex8(uniqueId[1]) + hex8(uniqueId[0]);
}

} // namespace DisplayFormat

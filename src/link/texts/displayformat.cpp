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

QString printable(const QString &text, bool keepBackslashes)
{
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const char16_t u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            shown += c;
            shown += text.at(++i);
            continue;
        }
        const bool turns =
            (u >= 0x202a && u <= 0x202e) || (u >= 0x2066 && u <= 0x2069) || u == 0x200e || u == 0x200f || u == 0x061c;
        if (u == '\\' && !keepBackslashes)
            shown += QStringLiteral("\\\\");
        else if (u < 0x20 || u == 0x7f)
            shown += QStringLiteral("\\x%1").arg(uint(u), 2, 16, QLatin1Char('0'));
        else if ((u >= 0x80 && u < 0xa0) || turns || c.isSurrogate() || u == 0xfeff)
            shown += QStringLiteral("\\u%1").arg(uint(u), 4, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

} // namespace DisplayFormat

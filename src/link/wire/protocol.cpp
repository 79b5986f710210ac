// Product families and accepted firmware, answered from the families'
// tables, and the bound on a reply that will not end.
#include "protocol.h"

#include <QtGlobal>

#include "boardfamilies.h"

namespace Protocol {

BoardFamily familyOf(uint8_t productCodeHigh, uint8_t productCodeLow)
{
    return familyOfProductCode(uint16_t(productCodeHigh << 8 | productCodeLow));
}

BoardFamily familyOfProductCode(uint16_t productCode)
{
    for (BoardFamily family : knownFamilies()) {
        if (familyTable(family).productCodes.contains(productCode))
            return family;
    }
    return BoardFamily::Unknown;
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
    const QString name = familyTable(family).name;
    return name.isEmpty() ? QStringLiteral("unknown") : name;
}

bool firmwareAccepted(BoardFamily family, uint8_t major, uint8_t minor)
{
    return familyTable(family).firmwareAccepted(major, minor);
}

int configLength(BoardFamily family)
{
    return familyTable(family).configLength;
}

int statusLength(BoardFamily family)
{
    return familyTable(family).statusLength;
}

int maxReplyDurationMs(int32_t baudRate)
{
    // A speed that makes no sense is taken as the slowest one offered.
    const qint64 baud = baudRate >= 1200 ? baudRate : 1200;
    const qint64 wireMs = qint64(longestReplyBytes) * 10 * 1000 / baud;
    return int(qMax<qint64>(1000, wireMs * 5 / 4 + 2 * exchangeTimeoutMs));
}

} // namespace Protocol

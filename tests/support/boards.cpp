#include "boards.h"

#include <algorithm>
#include <iterator>

#include "protocol.h"

namespace TestSupport {

namespace {

struct Board
{
    uint16_t productCode;
    uint8_t fwMajor, fwMinor;
    uint32_t revId, devId;
    uint32_t serial[3]; // word 0 first on the wire
};

const Board boards[] = {
    {0x08A3, 1, 3, 0x0001, 0x10000, {1, 2, 3}},
    {0x08A2, 0, 2, 0x2A5F, 0x0415, {0xDEADBEEF, 0x0000ABCD, 0x89ABCDEF}},
    {0x04F2, 0, 1, 0x1001, 0xFFFFFFFF, {0x00390021, 0x4E465009, 0x20383352}},
};

} // namespace

BoardIdentity identityOf(int productCode)
{
    // Any other product code gets the 08A3's figures under its own code.
    const Board *board = std::begin(boards);
    for (const Board &b : boards) {
        if (b.productCode == productCode)
            board = &b;
    }
    BoardIdentity id;
    id.productCode = uint16_t(productCode);
    id.fwMajor = board->fwMajor;
    id.fwMinor = board->fwMinor;
    id.revId = board->revId;
    id.devId = board->devId;
    std::copy(std::begin(board->serial), std::end(board->serial), id.serial);
    return id;
}

bool isTriggerBoard(int productCode)
{
    return Protocol::familyOfProductCode(uint16_t(productCode)) == BoardFamily::Trigger04F2;
}

QString productText(int productCode)
{
    return QStringLiteral("%1").arg(productCode, 4, 16, QLatin1Char('0')).toUpper();
}

QByteArray frameHeader(const BoardIdentity &identity, uint8_t kind)
{
    return QByteArray(1, char(kind)) + char(identity.productCode >> 8) + char(identity.productCode & 0xFF)
           + char(identity.fwMajor) + char(identity.fwMinor);
}

} // namespace TestSupport

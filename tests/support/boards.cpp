#include "boards.h"

namespace TestSupport {

BoardIdentity identityOf(int productCode)
{
    BoardIdentity id;
    id.productCode = uint16_t(productCode);
    switch (productCode) {
    case 0x08A2:
        id.fwMajor = 0;
        id.fwMinor = 2;
        id.revId = 0x2A5F;
        id.devId = 0x0415;
        id.serial[0] = 0xDEADBEEF;
        id.serial[1] = 0x0000ABCD;
        id.serial[2] = 0x89ABCDEF;
        break;
    case 0x04F2:
        id.fwMajor = 0;
        id.fwMinor = 1;
        id.revId = 0x1001;
        id.devId = 0xFFFFFFFF;
        id.serial[0] = 0x00390021;
        id.serial[1] = 0x4E465009;
        id.serial[2] = 0x20383352;
        break;
    default: // 0x08A3
        id.fwMajor = 1;
        id.fwMinor = 3;
        id.revId = 0x0001;
        id.devId = 0x10000;
        id.serial[0] = 1;
        id.serial[1] = 2;
        id.serial[2] = 3;
        break;
    }
    return id;
}

} // namespace TestSupport

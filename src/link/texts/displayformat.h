// How the board's numbers are written on screen (and by the command-line
// tool): fixed-width upper-case hex for identifiers, plain lower-case hex for
// the firmware version, short general notation for measurements.
#ifndef DISPLAYFORMAT_H
#define DISPLAYFORMAT_H

#include <QString>
#include <cstdint>

namespace DisplayFormat {

QString hex2(uint8_t value);     // 08, A3
QString hex4(uint32_t value);    // at least four digits, never cut: 0001, 10000
QString hex8(uint32_t value);    // 0000ABCD
QString hexPlain(uint8_t value); // 1, a
QString decimal(uint16_t value); // 1500
QString general(float value);    // 12.4, -25, 6 significant digits at most

QString productCode(uint8_t high, uint8_t low);        // 08A3
QString firmwareVersion(uint8_t major, uint8_t minor); // 1.3
QString serialNumber(const uint32_t uniqueId[3]);      // 0x + last word first, 26 characters

} // namespace DisplayFormat

#endif // DISPLAYFORMAT_H

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

// A name that came from a file or another bench (a station, a user, a
// serial, a slot) as it may be printed on a terminal: control characters,
// and the marks that turn text around, shown as \x1b or \u202e instead of
// acting on the terminal. A backslash is doubled so that nothing printed
// passes for an escape it is not; a sentence that may hold a Windows path
// keeps its backslashes (`keepBackslashes`).
QString printable(const QString &text, bool keepBackslashes = false);

} // namespace DisplayFormat

#endif // DISPLAYFORMAT_H

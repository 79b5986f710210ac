// The wire protocol of the boards in one place: which product codes make a
// family, which firmware versions the host accepts, the length and field
// offsets of every message, how status bytes scale to units, and the
// exchange's timing. The device link, the window, halvero-cli and the tests
// read these facts from here and nowhere else.
#ifndef HALVERO_PROTOCOL_H
#define HALVERO_PROTOCOL_H

#include <QString>
#include <cstdint>

enum class BoardFamily { Unknown, Switch08A3, Trigger04F2 };

namespace Protocol {

// 0x08A3 and 0x08A2 are one family (the switch board), 0x04F2 the other.
BoardFamily familyOf(uint8_t productCodeHigh, uint8_t productCodeLow);
BoardFamily familyOfProductCode(uint16_t productCode);
BoardFamily familyOfProductText(const QString &productCode); // "08A3", "08a2", "04F2"
QString familyName(BoardFamily family);                       // "08A3", "04F2", "unknown"
// Firmware versions whose layouts this host knows: 0.1 for the trigger
// board; 0.0 to 1.3 for the switch board.
bool firmwareAccepted(BoardFamily family, uint8_t major, uint8_t minor);

// Every message, both directions, starts with this header.
constexpr int headerLength = 5;
constexpr int kindOffset = 0;
constexpr int productHighOffset = 1;
constexpr int productLowOffset = 2;
constexpr int fwMajorOffset = 3;
constexpr int fwMinorOffset = 4;

// Identity reply.
constexpr int identityLength = 25;
constexpr int revIdOffset = 5;
constexpr int devIdOffset = 9;
constexpr int uniqueIdOffset = 13; // three 32-bit words, word 0 first

// Configuration reply and write request: the same layout each way.
constexpr int config04F2Length = 11;
constexpr int gain04F2Offset = 5;
constexpr int activeLow04F2Offset = 6;
constexpr int triggerHigh04F2Offset = 7;
constexpr int triggerLow04F2Offset = 9;

constexpr int config08A3Length = 40;
constexpr int groupCount = 3;
constexpr int channelCount = 12;
constexpr int bank08A3Offset = 5;        // one byte per group
constexpr int refreshRate08A3Offset = 8; // one byte per group
constexpr int failsafe08A3Offset = 11;   // 16 bits per channel
constexpr int activeLow08A3Offset = 35;
constexpr int triggerHigh08A3Offset = 36;
constexpr int triggerLow08A3Offset = 38;

int configLength(BoardFamily family); // 0 for an unknown family

// EEPROM dump reply: header, the request's option echoed, then text.
constexpr int dumpMarkerOffset = 5;
constexpr uint8_t dumpMarker = 0x01;
constexpr int dumpLength = 6;

// Status reply.
constexpr int status04F2Length = 20;
constexpr int temperatureOffset = 6;
constexpr int fuseProbeCurrentOffset = 8;
constexpr int fuseCurrentOffset = 9;
constexpr int fusePeakCurrentOffset = 10;
constexpr int triggerVoltageOffset = 11;
constexpr int batteryVoltageOffset = 19;

constexpr int status08A3Length = 12;
constexpr int triggerValueOffset = 6;
constexpr int triggerFrequencyOffset = 8;
constexpr int triggerPresentOffset = 10;
constexpr int failsafeActiveOffset = 11;

int statusLength(BoardFamily family); // 0 for an unknown family

// The trigger board reports its measurements as single raw bytes.
float temperatureC(uint8_t raw);      // raw * 0.5 - 25
float fuseProbeCurrentA(uint8_t raw); // raw * 2
float fuseCurrentA(uint8_t raw);      // raw
float fusePeakCurrentA(uint8_t raw);  // raw
float triggerVoltageV(uint8_t raw);   // raw / 10
float batteryVoltageV(uint8_t raw);   // raw / 5

// Pulse widths, in microseconds, the boards accept for thresholds and
// failsafe outputs.
constexpr int pulseMinUs = 900;
constexpr int pulseMaxUs = 2100;

// Every wait of an exchange: write out, first reply byte, and the quiet gap
// that ends a reply (the protocol has no framing).
constexpr int exchangeTimeoutMs = 100;
// The window polls the board's status this often.
constexpr int pollIntervalMs = 300;

// The longest reply a board sends is its EEPROM dump, well under this.
constexpr int longestReplyBytes = 2048;
// A line that never falls quiet is cut off at this many bytes...
constexpr int maxReplyLength = 64 * 1024;
// ...or once a reply has been arriving for longer than this: the wire time
// of the longest reply at the line's speed (10 bits a byte) and a quarter
// more, plus two quiet gaps, and never less than a second. A line that
// never falls quiet thus holds the window for about 1 s at 115200 baud,
// 2.9 s at 9600 and 21 s at 1200.
int maxReplyDurationMs(int32_t baudRate);

} // namespace Protocol

#endif // HALVERO_PROTOCOL_H

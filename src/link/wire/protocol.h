// The wire protocol of the boards: the families and the rules that tell
// them apart, the header and the layouts every family shares, and the
// exchange's timing. What differs from family to family (product codes,
// firmware, lengths, fields) is in the families' tables (boardfamilies.h);
// the functions here answer from them. The device link, the window,
// halvero-cli and the tests read these facts from here and nowhere else.
#ifndef HALVERO_PROTOCOL_H
#define HALVERO_PROTOCOL_H

#include <QString>
#include <cstdint>

// Every family is switched over without a default, so that the compiler
// names each place a new one must be handled.
enum class BoardFamily {
    Unknown,
    Switch08A3,
    Trigger04F2
};

namespace Protocol {

// The family whose table lists the product code; Unknown for any other.
BoardFamily familyOf(uint8_t productCodeHigh, uint8_t productCodeLow);
BoardFamily familyOfProductCode(uint16_t productCode);
BoardFamily familyOfProductText(const QString &productCode); // "08A3", "08a2", "04F2"
QString familyName(BoardFamily family);                      // "08A3", "04F2", "unknown"
// Firmware versions whose layouts this host knows.
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

// Configuration reply and write request: the same layout each way. The
// length and the fields of each family's are in its table (boardfamilies.h).
int configLength(BoardFamily family); // 0 for an unknown family

// EEPROM dump reply: header, the request's option echoed, then text.
constexpr int dumpMarkerOffset = 5;
constexpr uint8_t dumpMarker = 0x01;
constexpr int dumpLength = 6;

// Status reply: length, fields and their scalings are in the family's table.
int statusLength(BoardFamily family); // 0 for an unknown family

// Pulse widths, in microseconds, the boards accept for thresholds and
// failsafe outputs.
constexpr int pulseMinUs = 900;
constexpr int pulseMaxUs = 2100;

// Every wait of an exchange: write out, first reply byte, and the quiet gap
// that ends a reply (the protocol has no framing).
constexpr int exchangeTimeoutMs = 100;
// The wait for a reply's first byte in programs that freeze no window
// (halvero-cli, provisioning): a USB adapter's latency timer and a busy
// board put a reply a few milliseconds past the window's wait.
constexpr int unattendedFirstByteMs = 500;
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

// How long an exchange waits for a reply's first byte. The window freezes
// while it waits, so it keeps the protocol's short wait; programs without a
// window wait longer and so hear a board that answers a little late. The
// write-out wait and the quiet gap that ends a reply are the same for all.
struct ExchangeTiming
{
    int firstByteMs = Protocol::exchangeTimeoutMs;

    static ExchangeTiming window() { return ExchangeTiming{Protocol::exchangeTimeoutMs}; }
    static ExchangeTiming unattended() { return ExchangeTiming{Protocol::unattendedFirstByteMs}; }

    // After an exchange gave up waiting, its reply may still be on the way:
    // the next request goes out once the line has been quiet this long
    // since, so that a reply up to a whole further wait late is dropped
    // rather than taken for the next one's answer.
    int settleMs() const { return firstByteMs + Protocol::exchangeTimeoutMs; }
};

#endif // HALVERO_PROTOCOL_H

// Shared by the fuzz harnesses: a comparable copy of the device state record,
// grouped by what a reply of each kind may change, and well-formed board
// replies to start from.
#ifndef RECORDSTATE_H
#define RECORDSTATE_H

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "linktesthelpers.h"
#include "parachuteradiocomm.h"

namespace FuzzRecord {

// Groups of members: a reply may change its own kind's group and the header.
enum Group : unsigned {
    Header = 1u << 0,
    Identity = 1u << 1,
    SwitchConfig = 1u << 2,  // 08A3 only: banks, refresh rates, failsafe values
    TriggerInput = 1u << 3,  // both families' configurations: active low, thresholds
    TriggerConfig = 1u << 4, // 04F2 only: amplifier gain
    Dump = 1u << 5,
    SwitchStatus = 1u << 6,
    TriggerStatus = 1u << 7,
};

struct State
{
    uint8_t header[4];
    uint32_t identity[5];
    uint8_t banks[3], rates[3];
    uint16_t failsafe[12];
    bool activeLow;
    uint16_t high, low;
    uint8_t gain;
    QString dump;
    uint16_t triggerValue, triggerFrequency;
    bool triggerPresent, failsafeActive;
    float measurements[6];

    static State of(const parachuteRadioComm &d)
    {
        State s{};
        s.header[0] = d.productCodeHigh;
        s.header[1] = d.productCodeLow;
        s.header[2] = d.fwVersionMajor;
        s.header[3] = d.fwVersionMinor;
        s.identity[0] = d.chipRevId;
        s.identity[1] = d.chipDevId;
        std::memcpy(s.identity + 2, d.uniqueId, sizeof d.uniqueId);
        std::memcpy(s.banks, d.groupBank, sizeof s.banks);
        std::memcpy(s.rates, d.groupRefreshRate, sizeof s.rates);
        std::memcpy(s.failsafe, d.failsafeValue, sizeof s.failsafe);
        s.activeLow = d.triggerActiveLow;
        s.high = d.triggerHigh;
        s.low = d.triggerLow;
        s.gain = d.inaGain;
        s.dump = d.eepromDump;
        s.triggerValue = d.triggerValue;
        s.triggerFrequency = d.triggerFrequency;
        s.triggerPresent = d.triggerPresent;
        s.failsafeActive = d.failsafeActive;
        const float m[6] = {d.fuseProbeCurrent, d.fuseCurrent, d.fusePeakCurrent,
                            d.triggerVoltage, d.batteryVoltage, d.temperature};
        std::memcpy(s.measurements, m, sizeof m);
        return s;
    }

    // The groups in which this and the other record differ. Floats compare
    // bit for bit: a decoder must not touch them, not merely keep their value.
    unsigned differences(const State &o) const
    {
        unsigned g = 0;
        auto same = [](const void *a, const void *b, size_t n) { return std::memcmp(a, b, n) == 0; };
        if (!same(header, o.header, sizeof header))
            g |= Header;
        if (!same(identity, o.identity, sizeof identity))
            g |= Identity;
        if (!same(banks, o.banks, sizeof banks) || !same(rates, o.rates, sizeof rates)
            || !same(failsafe, o.failsafe, sizeof failsafe))
            g |= SwitchConfig;
        if (activeLow != o.activeLow || high != o.high || low != o.low)
            g |= TriggerInput;
        if (gain != o.gain)
            g |= TriggerConfig;
        if (dump != o.dump)
            g |= Dump;
        if (triggerValue != o.triggerValue || triggerFrequency != o.triggerFrequency
            || triggerPresent != o.triggerPresent || failsafeActive != o.failsafeActive)
            g |= SwitchStatus;
        if (!same(measurements, o.measurements, sizeof measurements))
            g |= TriggerStatus;
        return g;
    }
};

// The family a product code belongs to, as the board's wire format names it.
enum class Family { None, Trigger04F2, Switch08A3 };

inline Family familyOf(uint8_t high, uint8_t low)
{
    if (high == 0x04 && low == 0xF2)
        return Family::Trigger04F2;
    if (high == 0x08 && (low == 0xA2 || low == 0xA3))
        return Family::Switch08A3;
    return Family::None;
}

inline bool firmwareAccepted(Family f, uint8_t major, uint8_t minor)
{
    if (f == Family::Trigger04F2)
        return major == 0 && minor == 1;
    return f == Family::Switch08A3 && major <= 1 && minor <= 3;
}

inline int configLength(Family f)
{
    return f == Family::Trigger04F2 ? 11 : 40;
}

// A configuration reply a board of the family could send.
inline QByteArray configReply(uint8_t high, uint8_t low, uint8_t major, uint8_t minor)
{
    QByteArray r;
    r.append(char(0x02)).append(char(high)).append(char(low)).append(char(major)).append(char(minor));
    if (familyOf(high, low) == Family::Trigger04F2) {
        r.append("\x03\x01\x06\x40\x05\x78", 6);
    } else {
        r.append("\x00\x01\x00\x01\x00\x01", 6);
        for (int ch = 0; ch < 12; ++ch)
            r.append(char(0x03 + ch / 6)).append(char(0x84 + 7 * ch));
        r.append("\x01\x07\x08\x04\x4C", 5);
    }
    return r;
}

[[noreturn]] inline void violated(const char *what, const char *file, int line, const QByteArray &input)
{
    std::fprintf(stderr, "%s:%d: invariant violated: %s\ninput: %s\n", file, line, what,
                 input.left(256).toHex().constData());
    std::abort();
}

} // namespace FuzzRecord

#define FUZZ_CHECK(cond, input)                                                  \
    do {                                                                        \
        if (!(cond))                                                            \
            FuzzRecord::violated(#cond, __FILE__, __LINE__, (input));           \
    } while (0)

#endif // RECORDSTATE_H

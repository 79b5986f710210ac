// Copies of the device link's state record, to compare it before and after
// a reply: member by member, grouped by what a reply of each kind may change
// (the fuzz harnesses), or by name for readable failures (the QtTest suites).
#ifndef HALVERO_TESTSUPPORT_RECORDSTATE_H
#define HALVERO_TESTSUPPORT_RECORDSTATE_H

#include <QString>
#include <QVariantMap>

#include <cstdint>

class parachuteRadioComm;

namespace TestSupport {

struct RecordState
{
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

    uint8_t header[4];    // product high, low, firmware major, minor
    uint32_t identity[5]; // revision, device, unique id words
    uint8_t banks[3], rates[3];
    uint16_t failsafe[12];
    bool activeLow;
    uint16_t high, low;
    uint8_t gain;
    QString dump;
    uint16_t triggerValue, triggerFrequency;
    bool triggerPresent, failsafeActive;
    float measurements[6]; // probe, fuse, peak currents, trigger and battery voltages, temperature

    static RecordState of(const parachuteRadioComm &device);

    // The groups in which this and the other record differ. Floats compare
    // bit for bit: a decoder must not touch them, not merely keep their value.
    unsigned differences(const RecordState &other) const;

    // Every member keyed by its name in the record ("uniqueId[1]", "failsafeValue[11]").
    QVariantMap byName() const;
};

// RecordState::of(device).byName().
QVariantMap recordSnapshot(const parachuteRadioComm &device);

// Gives every member a value that differs from its initial one and from what
// any reply in the tests carries, so a member a reply should leave alone shows
// up if it is written anyway.
void fillWithSentinels(parachuteRadioComm &device);

// Lists, one per line, the members whose value differs; empty when equal.
QString recordDifferences(const QVariantMap &actual, const QVariantMap &expected);

} // namespace TestSupport

#endif // HALVERO_TESTSUPPORT_RECORDSTATE_H

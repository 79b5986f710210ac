#include "recordstate.h"

#include "parachuteradiocomm.h"

#include <QStringList>

#include <cstring>

namespace TestSupport {

RecordState RecordState::of(const parachuteRadioComm &d)
{
    RecordState s{};
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
    const float m[6] = {d.fuseProbeCurrent, d.fuseCurrent,    d.fusePeakCurrent,
                        d.triggerVoltage,   d.batteryVoltage, d.temperature};
    std::memcpy(s.measurements, m, sizeof m);
    return s;
}

unsigned RecordState::differences(const RecordState &o) const
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
    if (triggerValue != o.triggerValue || triggerFrequency != o.triggerFrequency || triggerPresent != o.triggerPresent
        || failsafeActive != o.failsafeActive)
        g |= SwitchStatus;
    if (!same(measurements, o.measurements, sizeof measurements))
        g |= TriggerStatus;
    return g;
}

QVariantMap RecordState::byName() const
{
    QVariantMap m;
    m["productCodeHigh"] = uint(header[0]);
    m["productCodeLow"] = uint(header[1]);
    m["fwVersionMajor"] = uint(header[2]);
    m["fwVersionMinor"] = uint(header[3]);
    m["chipRevId"] = uint(identity[0]);
    m["chipDevId"] = uint(identity[1]);
    for (int i = 0; i < 3; ++i) {
        m[QString("uniqueId[%1]").arg(i)] = uint(identity[2 + i]);
        m[QString("groupBank[%1]").arg(i)] = uint(banks[i]);
        m[QString("groupRefreshRate[%1]").arg(i)] = uint(rates[i]);
    }
    for (int i = 0; i < 12; ++i)
        m[QString("failsafeValue[%1]").arg(i)] = uint(failsafe[i]);
    m["triggerActiveLow"] = activeLow;
    m["triggerHigh"] = uint(high);
    m["triggerLow"] = uint(low);
    m["eepromDump"] = dump;
    m["triggerValue"] = uint(triggerValue);
    m["triggerFrequency"] = uint(triggerFrequency);
    m["triggerPresent"] = triggerPresent;
    m["failsafeActive"] = failsafeActive;
    const char *const measured[6] = {"fuseProbeCurrent", "fuseCurrent",    "fusePeakCurrent",
                                     "triggerVoltage",   "batteryVoltage", "temperature"};
    for (int i = 0; i < 6; ++i)
        m[measured[i]] = measurements[i];
    m["inaGain"] = uint(gain);
    return m;
}

QVariantMap recordSnapshot(const parachuteRadioComm &device)
{
    return RecordState::of(device).byName();
}

void fillWithSentinels(parachuteRadioComm &d)
{
    d.productCodeHigh = 0x5A;
    d.productCodeLow = 0x5B;
    d.fwVersionMajor = 0x5C;
    d.fwVersionMinor = 0x5D;
    d.chipRevId = 0x11111111;
    d.chipDevId = 0x22222222;
    for (int i = 0; i < 3; ++i) {
        d.uniqueId[i] = 0x33333333u + uint(i);
        d.groupBank[i] = uint8_t(70 + i);
        d.groupRefreshRate[i] = uint8_t(80 + i);
    }
    for (int i = 0; i < 12; ++i)
        d.failsafeValue[i] = uint16_t(4000 + i);
    d.triggerActiveLow = true;
    d.triggerHigh = 4444;
    d.triggerLow = 5555;
    d.eepromDump = QStringLiteral("earlier dump");
    d.triggerValue = 6666;
    d.triggerFrequency = 7777;
    d.triggerPresent = true;
    d.failsafeActive = true;
    d.fuseProbeCurrent = 0.25f;
    d.fuseCurrent = 0.5f;
    d.fusePeakCurrent = 0.75f;
    d.triggerVoltage = 1.25f;
    d.batteryVoltage = 1.5f;
    d.temperature = 1.75f;
    d.inaGain = 99;
}

QString recordDifferences(const QVariantMap &actual, const QVariantMap &expected)
{
    // Compared as text: a float prints its shortest exact form, so 12.6f and
    // a value a hair off it do not compare equal.
    QStringList out;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const QString want = it.value().toString();
        const QString got = actual.value(it.key()).toString();
        if (!actual.contains(it.key()))
            out << QString("%1: not in the record").arg(it.key());
        else if (want != got)
            out << QString("%1: %2, expected %3").arg(it.key(), got, want);
    }
    return out.join('\n');
}

} // namespace TestSupport

// libFuzzer harness: any bytes as one board reply into the decoder. Checks
// the result code, that a reply changes only what its kind may change (a
// refused one only the header bytes it got as far as), that nothing is
// decoded from a reply too short for its layout and nothing complete is
// refused, and that the record can always be written back as a frame of its
// family's exact length - for a decoded configuration, byte for byte.
#include <QtGlobal>

#include "recordstate.h"

using namespace FuzzRecord;

namespace {

void discardMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

// The reply kind a board frame stands for, or 0 when it must be refused.
int decodableKind(const QByteArray &in)
{
    if (in.size() < 5)
        return 0;
    const auto at = [&in](int i) { return uint8_t(in.at(i)); };
    const Family family = familyOf(at(1), at(2));
    if (family == Family::None || !firmwareAccepted(family, at(3), at(4)))
        return 0;
    switch (at(0)) {
    case USBmsgIdentity:
        return in.size() >= 25 ? 1 : 0;
    case USBmsgConfig:
        return in.size() >= configLength(family) ? 2 : 0;
    case USBmsgEepromDump:
        return in.size() >= 6 && at(5) == 0x01 ? 3 : 0;
    case USBmsgStatus:
        return in.size() >= (family == Family::Trigger04F2 ? 20 : 12) ? 4 : 0;
    default:
        return 0;
    }
}

unsigned groupsOf(int result, Family family)
{
    const bool trigger = family == Family::Trigger04F2;
    switch (result) {
    case 1:
        return Header | Identity;
    case 2:
        return Header | TriggerInput | (trigger ? TriggerConfig : SwitchConfig);
    case 3:
        return Header | Dump;
    case 4:
        return Header | (trigger ? TriggerStatus : SwitchStatus);
    default:
        return Header;
    }
}

void checkHeaderBytes(const State &before, const State &after, const QByteArray &in)
{
    const auto at = [&in](int i) { return uint8_t(in.at(i)); };
    // The product code is kept from any reply long enough to carry it, the
    // firmware version only once the product code names a family.
    if (in.size() >= 3) {
        FUZZ_CHECK(after.header[0] == at(1) && after.header[1] == at(2), in);
    } else {
        FUZZ_CHECK(std::memcmp(after.header, before.header, 2) == 0, in);
    }
    if (in.size() >= 5 && familyOf(at(1), at(2)) != Family::None) {
        FUZZ_CHECK(after.header[2] == at(3) && after.header[3] == at(4), in);
    } else {
        FUZZ_CHECK(std::memcmp(after.header + 2, before.header + 2, 2) == 0, in);
    }
}

// Whatever the record holds now, a write either is refused outright or
// carries the record's own header and the family's exact length.
void checkWriteFrames(const parachuteRadioComm &dev, const QByteArray &in)
{
    const QByteArray config = dev.buildRequest(true, USBmsgConfig, USBoptNone);
    const QByteArray defaults = dev.buildRequest(true, USBmsgSetDefaults, USBoptNone);
    const Family family = familyOf(dev.productCodeHigh, dev.productCodeLow);
    if (family == Family::None) {
        FUZZ_CHECK(config.isEmpty() && defaults.isEmpty(), in);
        return;
    }
    const char header[4] = {char(dev.productCodeHigh), char(dev.productCodeLow),
                            char(dev.fwVersionMajor), char(dev.fwVersionMinor)};
    FUZZ_CHECK(config.size() == configLength(family), in);
    FUZZ_CHECK(config.at(0) == USBmsgConfig && config.mid(1, 4) == QByteArray(header, 4), in);
    FUZZ_CHECK(defaults.size() == 5, in);
    FUZZ_CHECK(defaults.at(0) == USBmsgSetDefaults && defaults.mid(1, 4) == QByteArray(header, 4), in);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Every accepted dump is logged; at fuzzing speed that is only noise.
    qInstallMessageHandler(discardMessages);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Not copied, so that a read past the reply's end lands outside the
    // fuzzer's buffer, where the address sanitizer sees it.
    const QByteArray in = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));

    parachuteRadioComm dev(QString(), 0);
    fillWithSentinels(dev);
    const State before = State::of(dev);
    const int result = dev.parseRxMessage(in);
    const State after = State::of(dev);

    FUZZ_CHECK(result >= 0 && result <= 4, in);
    FUZZ_CHECK(result == decodableKind(in), in);
    checkHeaderBytes(before, after, in);

    const Family family = in.size() >= 3 ? familyOf(uint8_t(in.at(1)), uint8_t(in.at(2))) : Family::None;
    FUZZ_CHECK((after.differences(before) & ~groupsOf(result, family)) == 0, in);

    if (result == USBmsgConfig) {
        // Written back unchanged, a configuration is the reply's own frame,
        // with the active-low flag as 0 or 1.
        const int length = configLength(family);
        QByteArray expected = in.left(length);
        const int flag = family == Family::Trigger04F2 ? 6 : 35;
        expected[flag] = expected.at(flag) ? 1 : 0;
        FUZZ_CHECK(dev.buildRequest(true, USBmsgConfig, USBoptNone) == expected, in);
    }
    if (result == USBmsgEepromDump)
        FUZZ_CHECK(after.dump == QString::fromUtf8(in), in);

    checkWriteFrames(dev, in);
    return 0;
}

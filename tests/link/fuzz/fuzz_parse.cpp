// libFuzzer harness: any bytes as one board reply into the decoder. Checks
// the result code, that a reply changes only what its kind may change (a
// refused one only the header bytes it got as far as), that nothing is
// decoded from a reply too short for its layout and nothing complete is
// refused, and that the record can always be written back as a frame of its
// family's exact length - for a decoded configuration, byte for byte.
#include <QtGlobal>

#include <cstring>

#include "fuzzcheck.h"
#include "parachuteradiocomm.h"
#include "recordstate.h"

using namespace Protocol;
using TestSupport::RecordState;

namespace {

void discardMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

// The reply kind a board frame stands for, or 0 when it must be refused.
int decodableKind(const QByteArray &in)
{
    if (in.size() < headerLength)
        return 0;
    const auto at = [&in](int i) { return uint8_t(in.at(i)); };
    const BoardFamily family = familyOf(at(productHighOffset), at(productLowOffset));
    if (family == BoardFamily::Unknown || !firmwareAccepted(family, at(fwMajorOffset), at(fwMinorOffset)))
        return 0;
    switch (at(kindOffset)) {
    case USBmsgIdentity:
        return in.size() >= identityLength ? 1 : 0;
    case USBmsgConfig:
        return in.size() >= configLength(family) ? 2 : 0;
    case USBmsgEepromDump:
        return in.size() >= dumpLength && at(dumpMarkerOffset) == dumpMarker ? 3 : 0;
    case USBmsgStatus:
        return in.size() >= statusLength(family) ? 4 : 0;
    default:
        return 0;
    }
}

unsigned groupsOf(int result, BoardFamily family)
{
    const bool trigger = family == BoardFamily::Trigger04F2;
    switch (result) {
    case 1:
        return RecordState::Header | RecordState::Identity;
    case 2:
        return RecordState::Header | RecordState::TriggerInput
               | (trigger ? RecordState::TriggerConfig : RecordState::SwitchConfig);
    case 3:
        return RecordState::Header | RecordState::Dump;
    case 4:
        return RecordState::Header | (trigger ? RecordState::TriggerStatus : RecordState::SwitchStatus);
    default:
        return RecordState::Header;
    }
}

void checkHeaderBytes(const RecordState &before, const RecordState &after, const QByteArray &in)
{
    const auto at = [&in](int i) { return uint8_t(in.at(i)); };
    // The product code is kept from any reply long enough to carry it, the
    // firmware version only once the product code names a family.
    if (in.size() > productLowOffset) {
        FUZZ_CHECK(after.header[0] == at(productHighOffset) && after.header[1] == at(productLowOffset), in);
    } else {
        FUZZ_CHECK(std::memcmp(after.header, before.header, 2) == 0, in);
    }
    if (in.size() >= headerLength && familyOf(at(productHighOffset), at(productLowOffset)) != BoardFamily::Unknown) {
        FUZZ_CHECK(after.header[2] == at(fwMajorOffset) && after.header[3] == at(fwMinorOffset), in);
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
    const BoardFamily family = familyOf(dev.productCodeHigh, dev.productCodeLow);
    if (family == BoardFamily::Unknown) {
        FUZZ_CHECK(config.isEmpty() && defaults.isEmpty(), in);
        return;
    }
    const char header[4] = {char(dev.productCodeHigh), char(dev.productCodeLow), char(dev.fwVersionMajor),
                            char(dev.fwVersionMinor)};
    FUZZ_CHECK(config.size() == configLength(family), in);
    FUZZ_CHECK(config.at(kindOffset) == USBmsgConfig && config.mid(productHighOffset, 4) == QByteArray(header, 4), in);
    FUZZ_CHECK(defaults.size() == headerLength, in);
    FUZZ_CHECK(defaults.at(kindOffset) == USBmsgSetDefaults
                   && defaults.mid(productHighOffset, 4) == QByteArray(header, 4),
               in);
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
    TestSupport::fillWithSentinels(dev);
    const RecordState before = RecordState::of(dev);
    const int result = dev.parseRxMessage(in);
    const RecordState after = RecordState::of(dev);

    FUZZ_CHECK(result >= 0 && result <= 4, in);
    FUZZ_CHECK(result == decodableKind(in), in);
    checkHeaderBytes(before, after, in);

    const BoardFamily family = in.size() > productLowOffset
                                   ? familyOf(uint8_t(in.at(productHighOffset)), uint8_t(in.at(productLowOffset)))
                                   : BoardFamily::Unknown;
    FUZZ_CHECK((after.differences(before) & ~groupsOf(result, family)) == 0, in);

    if (result == USBmsgConfig) {
        // Written back unchanged, a configuration is the reply's own frame,
        // with its flags as 0 or 1.
        QByteArray expected = in.left(configLength(family));
        for (const ConfigField &field : familyTable(family).config) {
            if (field.boolean)
                expected[field.offset] = expected.at(field.offset) ? 1 : 0;
        }
        FUZZ_CHECK(dev.buildRequest(true, USBmsgConfig, USBoptNone) == expected, in);
    }
    if (result == USBmsgEepromDump)
        FUZZ_CHECK(after.dump == QString::fromUtf8(in), in);

    checkWriteFrames(dev, in);
    return 0;
}

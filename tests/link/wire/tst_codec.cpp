// The request encoder and the reply decoder of the device link, without a
// port: which record members each reply writes (and which it must leave
// alone), cut-off replies, and the exact bytes of every request.
#include <QtTest>

#include "boardconfig.h"
#include "hex.h"
#include "logcapture.h"
#include "parachuteradiocomm.h"
#include "recordstate.h"

#include <memory>
#include <string>

using namespace std::string_literals;
using namespace TestSupport;

Q_DECLARE_METATYPE(ExchangeOutcome)

namespace {

QVariantMap header(uint high, uint low, uint major, uint minor)
{
    return {{"productCodeHigh", high}, {"productCodeLow", low}, {"fwVersionMajor", major}, {"fwVersionMinor", minor}};
}

QVariantMap productOnly(uint high, uint low)
{
    return {{"productCodeHigh", high}, {"productCodeLow", low}};
}

QVariantMap operator+(QVariantMap a, const QVariantMap &b)
{
    a.insert(b);
    return a;
}

// The decoder gets a copy of exactly the reply's bytes on the heap, with no
// terminator behind them, so AddressSanitizer sees a read one byte too far.
uint8_t decodeExact(parachuteRadioComm &device, const QByteArray &reply)
{
    std::unique_ptr<char[]> exact(new char[size_t(reply.size())]);
    memcpy(exact.get(), reply.constData(), size_t(reply.size()));
    return device.parseRxMessage(QByteArray::fromRawData(exact.get(), reply.size()));
}

const QByteArray status08A3 = hex("04 08a3 0103  00 05dc 0032 01 00");
const QByteArray status04F2 = hex("04 04f2 0001  aa 00 bb 03 07 09 7d cccccccccccccc 3f");
const QByteArray identity08A3 = hex("01 08a3 0103  89abcdef 01020304 fedcba98 76543210 0f1e2d3c");
const QByteArray identity04F2 = hex("01 04f2 0001  89abcdef 01020304 fedcba98 76543210 0f1e2d3c");
const QByteArray config08A3 = hex("02 08a3 0103  01 00 01  00 01 01"
                                  "  03e8 044c 05dc 06a4 0708 076c 07d0 0834 0898 08fc 0960 09c4"
                                  "  00 0640 0578");
const QByteArray config04F2 = hex("02 04f2 0001  2a 80 0834 0384");
const QByteArray dump08A3 = hex("03 08a3 0103 01");
const QByteArray dump04F2 = hex("03 04f2 0001 01");

const QVariantMap identityFields = {{"chipRevId", 0x89abcdefu},
                                    {"chipDevId", 0x01020304u},
                                    {"uniqueId[0]", 0xfedcba98u},
                                    {"uniqueId[1]", 0x76543210u},
                                    {"uniqueId[2]", 0x0f1e2d3cu}};

QVariantMap config08A3Fields()
{
    QVariantMap m = {{"groupBank[0]", 1u},        {"groupBank[1]", 0u},        {"groupBank[2]", 1u},
                     {"groupRefreshRate[0]", 0u}, {"groupRefreshRate[1]", 1u}, {"groupRefreshRate[2]", 1u},
                     {"triggerActiveLow", false}, {"triggerHigh", 1600u},      {"triggerLow", 1400u}};
    const uint values[12] = {1000, 1100, 1500, 1700, 1800, 1900, 2000, 2100, 2200, 2300, 2400, 2500};
    for (int i = 0; i < 12; ++i)
        m[QString("failsafeValue[%1]").arg(i)] = values[i];
    return m;
}

// Record contents used to build write requests.
void fillSample(parachuteRadioComm &d, uint8_t high, uint8_t low, uint8_t major, uint8_t minor)
{
    d.productCodeHigh = high;
    d.productCodeLow = low;
    d.fwVersionMajor = major;
    d.fwVersionMinor = minor;
    const uint8_t banks[3] = {1, 0, 1};
    const uint8_t rates[3] = {0, 1, 1};
    for (int i = 0; i < 3; ++i) {
        d.groupBank[i] = banks[i];
        d.groupRefreshRate[i] = rates[i];
    }
    for (int i = 0; i < 12; ++i)
        d.failsafeValue[i] = uint16_t(0x0100 * (i + 1) + 0x10 + i);
    d.triggerActiveLow = true;
    d.triggerHigh = 0x0640;
    d.triggerLow = 0x0578;
    d.inaGain = 0x2a;
}

} // namespace

class tst_codec : public QObject
{
    Q_OBJECT

private slots:
    void decode_data();
    void decode();
    void truncated_data();
    void truncated();
    void writeRequest_data();
    void writeRequest();
    void readRequest_data();
    void readRequest();
    void readRequestCarriesNoLeftovers();
    void roundTrip_data();
    void roundTrip();
    void throughFile_data();
    void throughFile();
    void garbledReplyBlocksWritesUntilNextGoodOne();
    void identifiedBoardOnly_data();
    void identifiedBoardOnly();
};

void tst_codec::decode_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("result");
    QTest::addColumn<QVariantMap>("changes"); // every member not listed keeps its value
    QTest::addColumn<int>("logged");

    const QVariantMap hdr08A3 = header(0x08, 0xa3, 1, 3);
    const QVariantMap hdr04F2 = header(0x04, 0xf2, 0, 1);
    const QVariantMap status08A3Fields = {
        {"triggerValue", 1500u}, {"triggerFrequency", 50u}, {"triggerPresent", true}, {"failsafeActive", false}};

    QTest::newRow("08A3 status") << status08A3 << 4 << hdr08A3 + status08A3Fields << 0;
    QTest::newRow("08A2 status") << hex("04 08a2 0103  00 05dc 0032 01 00") << 4
                                 << header(0x08, 0xa2, 1, 3) + status08A3Fields << 0;
    QTest::newRow("08A3 status, flags any non-zero, fw 0.0") << hex("04 08a3 0000  ff ffff 8001 80 ff") << 4
                                                             << header(0x08, 0xa3, 0, 0)
                                                                    + QVariantMap{{"triggerValue", 65535u},
                                                                                  {"triggerFrequency", 32769u},
                                                                                  {"triggerPresent", true},
                                                                                  {"failsafeActive", true}}
                                                             << 0;
    QTest::newRow("08A3 status, bytes past the layout")
        << status08A3 + hex("01 02 03 04 05 06 07 08 09 0a") << 4 << hdr08A3 + status08A3Fields << 0;
    QTest::newRow("08A3 firmware 2.0 refused")
        << hex("04 08a3 0200  00 05dc 0032 01 00") << 0 << header(0x08, 0xa3, 2, 0) << 0;
    QTest::newRow("08A3 firmware 1.4 refused")
        << hex("04 08a3 0104  00 05dc 0032 01 00") << 0 << header(0x08, 0xa3, 1, 4) << 0;

    const QVariantMap status04F2Fields = {{"temperature", -25.0f},   {"fuseProbeCurrent", 6.0f},
                                          {"fuseCurrent", 7.0f},     {"fusePeakCurrent", 9.0f},
                                          {"triggerVoltage", 12.5f}, {"batteryVoltage", 12.6f}};
    QTest::newRow("04F2 status") << status04F2 << 4 << hdr04F2 + status04F2Fields << 0;
    QTest::newRow("04F2 status, bytes read unsigned")
        << hex("04 04f2 0001  00 ff 00 ff ff ff ff 00000000000000 ff") << 4
        << hdr04F2 + QVariantMap{{"temperature", 102.5f},     {"fuseProbeCurrent", 510.0f}, {"fuseCurrent", 255.0f},
                                 {"fusePeakCurrent", 255.0f}, {"triggerVoltage", 25.5f},    {"batteryVoltage", 51.0f}}
        << 0;
    QTest::newRow("04F2 status, odd values")
        << hex("04 04f2 0001  00 33 00 01 00 00 03 00000000000000 07") << 4
        << hdr04F2 + QVariantMap{{"temperature", 0.5f},     {"fuseProbeCurrent", 2.0f}, {"fuseCurrent", 0.0f},
                                 {"fusePeakCurrent", 0.0f}, {"triggerVoltage", 0.3f},   {"batteryVoltage", 1.4f}}
        << 0;
    QTest::newRow("04F2 firmware 0.2 refused")
        << hex("04 04f2 0002") + status04F2.mid(5) << 0 << header(0x04, 0xf2, 0, 2) << 0;
    QTest::newRow("04F2 firmware 1.1 refused")
        << hex("04 04f2 0101") + status04F2.mid(5) << 0 << header(0x04, 0xf2, 1, 1) << 0;
    QTest::newRow("04F2 firmware 0.0 refused")
        << hex("04 04f2 0000") + status04F2.mid(5) << 0 << header(0x04, 0xf2, 0, 0) << 0;

    QTest::newRow("04 with A2 refused") << hex("04 04a2 0001") + status04F2.mid(5) << 0 << productOnly(0x04, 0xa2) << 0;
    QTest::newRow("08 with F2 refused") << hex("04 08f2 0103") + status04F2.mid(5) << 0 << productOnly(0x08, 0xf2) << 0;
    QTest::newRow("08 with A4 refused") << hex("04 08a4 0103  00 05dc 0032 01 00") << 0 << productOnly(0x08, 0xa4) << 0;
    QTest::newRow("unknown product refused")
        << hex("01 1234 0103") + identity08A3.mid(5) << 0 << productOnly(0x12, 0x34) << 0;

    QTest::newRow("08A3 identity") << identity08A3 << 1 << hdr08A3 + identityFields << 0;
    QTest::newRow("04F2 identity") << identity04F2 << 1 << hdr04F2 + identityFields << 0;
    QTest::newRow("08A3 config") << config08A3 << 2 << hdr08A3 + config08A3Fields() << 0;
    QTest::newRow("04F2 config") << config04F2 << 2
                                 << hdr04F2
                                        + QVariantMap{{"inaGain", 42u},
                                                      {"triggerActiveLow", true},
                                                      {"triggerHigh", 2100u},
                                                      {"triggerLow", 900u}}
                                 << 0;
    QTest::newRow("04F2 config, 08A3-sized") << hex("02 04f2 0001  2a 00 0834 0384") + QByteArray(29, '\x11') << 2
                                             << hdr04F2
                                                    + QVariantMap{{"inaGain", 42u},
                                                                  {"triggerActiveLow", false},
                                                                  {"triggerHigh", 2100u},
                                                                  {"triggerLow", 900u}}
                                             << 0;

    QTest::newRow("kind 5 acknowledgement") << hex("05 08a3 0103") << 0 << hdr08A3 << 0;
    QTest::newRow("kind 5, long") << hex("05") + status08A3.mid(1) << 0 << hdr08A3 << 0;
    QTest::newRow("kind 0") << hex("00") + identity04F2.mid(1) << 0 << hdr04F2 << 0;
    QTest::newRow("kind 6") << hex("06") + identity04F2.mid(1) << 0 << hdr04F2 << 0;
    QTest::newRow("kind ff") << hex("ff") + config08A3.mid(1) << 0 << hdr08A3 << 0;

    // Invalid UTF-8 becomes U+FFFD; zero bytes stay in the text.
    QTest::newRow("08A3 dump")
        << dump08A3 + hex("41 42 00 43 c3a9 ff") << 3
        << hdr08A3
               + QVariantMap{{"eepromDump",
                              QString::fromStdU16String(u"\u0003\u0008\uFFFD\u0001\u0003\u0001AB\u0000C\u00E9\uFFFD"s)}}
        << 1;
    QTest::newRow("04F2 dump, header only")
        << dump04F2 << 3
        << hdr04F2 + QVariantMap{{"eepromDump", QString::fromStdU16String(u"\u0003\u0004\uFFFD\u0000\u0001\u0001"s)}}
        << 1;
    QTest::newRow("dump marker 00") << hex("03 08a3 0103 00 41 42") << 0 << hdr08A3 << 0;
    QTest::newRow("dump marker 02") << hex("03 04f2 0001 02 41 42") << 0 << hdr04F2 << 0;
}

void tst_codec::decode()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, result);
    QFETCH(QVariantMap, changes);
    QFETCH(int, logged);

    parachuteRadioComm device(QString(), 9600);
    fillWithSentinels(device);
    const QVariantMap expected = recordSnapshot(device) + changes;

    LogCapture log;
    QCOMPARE(int(decodeExact(device, reply)), result);
    const QString diff = recordDifferences(recordSnapshot(device), expected);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
    QCOMPARE(log.lines().size(), logged);
}

void tst_codec::truncated_data()
{
    QTest::addColumn<QByteArray>("reply");

    const struct
    {
        const char *name;
        QByteArray full;
    } layouts[] = {
        {"08A3 identity", identity08A3}, {"04F2 identity", identity04F2}, {"08A3 config", config08A3},
        {"04F2 config", config04F2},     {"08A3 dump", dump08A3},         {"04F2 dump", dump04F2},
        {"08A3 status", status08A3},     {"04F2 status", status04F2},
    };
    for (const auto &layout : layouts) {
        for (int length = 0; length < layout.full.size(); ++length)
            QTest::addRow("%s, %d bytes", layout.name, length) << layout.full.left(length);
    }
}

void tst_codec::truncated()
{
    QFETCH(QByteArray, reply);

    parachuteRadioComm device(QString(), 9600);
    fillWithSentinels(device);
    QVariantMap expected = recordSnapshot(device);
    if (reply.size() >= 3)
        expected.insert(productOnly(uchar(reply[1]), uchar(reply[2])));
    if (reply.size() >= 5)
        expected.insert(header(uchar(reply[1]), uchar(reply[2]), uchar(reply[3]), uchar(reply[4])));

    QCOMPARE(int(decodeExact(device, reply)), 0);
    const QString diff = recordDifferences(recordSnapshot(device), expected);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
}

void tst_codec::writeRequest_data()
{
    QTest::addColumn<int>("productHigh");
    QTest::addColumn<int>("productLow");
    QTest::addColumn<int>("fwMajor");
    QTest::addColumn<int>("fwMinor");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("option");
    QTest::addColumn<QByteArray>("frame"); // empty: refused

    const QByteArray channels = hex("0110 0211 0312 0413 0514 0615 0716 0817 0918 0a19 0b1a 0c1b");
    const QByteArray payload08A3 = hex("01 00 01  00 01 01") + channels + hex("01 0640 0578");

    QTest::newRow("08A3 config") << 0x08 << 0xa3 << 1 << 3 << 2 << 0 << hex("02 08a3 0103") + payload08A3;
    QTest::newRow("08A2 config, option ignored")
        << 0x08 << 0xa2 << 0 << 2 << 2 << 1 << hex("02 08a2 0002") + payload08A3;
    QTest::newRow("04F2 config") << 0x04 << 0xf2 << 0 << 1 << 2 << 0 << hex("02 04f2 0001  2a 01 0640 0578");
    QTest::newRow("04F2 config echoes any firmware")
        << 0x04 << 0xf2 << 7 << 9 << 2 << 1 << hex("02 04f2 0709  2a 01 0640 0578");
    QTest::newRow("08A3 defaults") << 0x08 << 0xa3 << 1 << 3 << 5 << 0 << hex("05 08a3 0103");
    QTest::newRow("08A2 defaults") << 0x08 << 0xa2 << 1 << 2 << 5 << 1 << hex("05 08a2 0102");
    QTest::newRow("04F2 defaults") << 0x04 << 0xf2 << 0 << 1 << 5 << 0 << hex("05 04f2 0001");

    QTest::newRow("no product yet") << 0x00 << 0x00 << 0 << 0 << 2 << 0 << QByteArray();
    QTest::newRow("04 with A2") << 0x04 << 0xa2 << 0 << 1 << 2 << 0 << QByteArray();
    QTest::newRow("04 with A2, defaults") << 0x04 << 0xa2 << 0 << 1 << 5 << 0 << QByteArray();
    QTest::newRow("08 with F2") << 0x08 << 0xf2 << 1 << 3 << 2 << 0 << QByteArray();
    QTest::newRow("08 with A4") << 0x08 << 0xa4 << 1 << 3 << 5 << 0 << QByteArray();
    QTest::newRow("unknown product") << 0x12 << 0x34 << 1 << 3 << 2 << 0 << QByteArray();
    for (int kind : {0, 1, 3, 4, 6}) {
        QTest::addRow("08A3 kind %d", kind) << 0x08 << 0xa3 << 1 << 3 << kind << 1 << QByteArray();
        QTest::addRow("04F2 kind %d", kind) << 0x04 << 0xf2 << 0 << 1 << kind << 1 << QByteArray();
    }
}

void tst_codec::writeRequest()
{
    QFETCH(int, productHigh);
    QFETCH(int, productLow);
    QFETCH(int, fwMajor);
    QFETCH(int, fwMinor);
    QFETCH(int, kind);
    QFETCH(int, option);
    QFETCH(QByteArray, frame);

    parachuteRadioComm device(QString(), 9600);
    fillSample(device, uint8_t(productHigh), uint8_t(productLow), uint8_t(fwMajor), uint8_t(fwMinor));
    QCOMPARE(device.buildRequest(true, USBmessages(kind), USBmsgOptions(option)).toHex(' '), frame.toHex(' '));
}

void tst_codec::readRequest_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("option");
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("identity") << 1 << 0 << hex("01");
    QTest::newRow("identity, option ignored") << 1 << 1 << hex("01");
    QTest::newRow("config") << 2 << 0 << hex("02");
    QTest::newRow("status") << 4 << 0 << hex("04");
    QTest::newRow("status, option ignored") << 4 << 1 << hex("04");
    QTest::newRow("dump") << 3 << 1 << hex("03 01");
    QTest::newRow("dump without option") << 3 << 0 << QByteArray();
    QTest::newRow("dump with option 2") << 3 << 2 << QByteArray();
    QTest::newRow("set defaults") << 5 << 0 << QByteArray();
    QTest::newRow("kind 0") << 0 << 0 << QByteArray();
    QTest::newRow("kind 6") << 6 << 1 << QByteArray();
    QTest::newRow("kind -1") << -1 << 0 << QByteArray();
}

void tst_codec::readRequest()
{
    QFETCH(int, kind);
    QFETCH(int, option);
    QFETCH(QByteArray, frame);

    // A read is built from its arguments alone, whatever product is stored.
    for (uint8_t high : {0x00, 0x04, 0x08}) {
        parachuteRadioComm device(QString(), 9600);
        fillSample(device, high, 0xf2, 0, 1);
        QCOMPARE(device.buildRequest(false, USBmessages(kind), USBmsgOptions(option)).toHex(' '), frame.toHex(' '));
    }
}

void tst_codec::readRequestCarriesNoLeftovers()
{
    parachuteRadioComm device(QString(), 9600);
    QCOMPARE(device.buildRequest(false, USBmsgEepromDump, USBoptDump), hex("03 01"));
    QCOMPARE(device.buildRequest(false, USBmsgStatus, USBoptDump), hex("04"));
    QCOMPARE(device.buildRequest(false, USBmsgEepromDump, USBoptNone), QByteArray());
    QCOMPARE(device.buildRequest(false, USBmsgIdentity, USBoptNone), hex("01"));
}

void tst_codec::roundTrip_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("08A3") << config08A3 << config08A3;
    QTest::newRow("08A2, active low 7f, trailing bytes")
        << hex("02 08a2 0001  02 03 04  05 06 07"
               "  1112 1314 1516 1718 191a 1b1c 1d1e 1f20 2122 2324 2526 2728"
               "  7f fffe 0001  aabb")
        << hex("02 08a2 0001  02 03 04  05 06 07"
               "  1112 1314 1516 1718 191a 1b1c 1d1e 1f20 2122 2324 2526 2728"
               "  01 fffe 0001");
    QTest::newRow("04F2, active low 80") << config04F2 << hex("02 04f2 0001  2a 01 0834 0384");
    QTest::newRow("04F2, inactive, trailing bytes")
        << hex("02 04f2 0001  ff 00 ffff 0000  0102030405") << hex("02 04f2 0001  ff 00 ffff 0000");
}

void tst_codec::roundTrip()
{
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, frame);

    parachuteRadioComm device(QString(), 9600);
    fillWithSentinels(device);
    QCOMPARE(int(device.parseRxMessage(reply)), 2);
    QCOMPARE(device.buildRequest(true, USBmsgConfig, USBoptNone).toHex(' '), frame.toHex(' '));
}

void tst_codec::throughFile_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::newRow("08A3") << hex("08a3 0103");
    QTest::newRow("08A2") << hex("08a2 0002");
    QTest::newRow("04F2") << hex("04f2 0001");
}

// Record, write frame, decoded reply, JSON file, parsed file, record again:
// every member keeps its value all the way (the sentinels differ from field
// to field, so a value that lands in another field shows).
void tst_codec::throughFile()
{
    QFETCH(QByteArray, header);
    const auto identify = [&header](parachuteRadioComm &d) {
        d.productCodeHigh = uchar(header[0]);
        d.productCodeLow = uchar(header[1]);
        d.fwVersionMajor = uchar(header[2]);
        d.fwVersionMinor = uchar(header[3]);
    };
    parachuteRadioComm source(QString(), 9600), decoded(QString(), 9600), loaded(QString(), 9600);
    fillWithSentinels(source);
    identify(source);
    identify(loaded);
    const QByteArray frame = source.buildRequest(true, USBmsgConfig, USBoptNone);
    QCOMPARE(int(decoded.parseRxMessage(frame)), int(USBmsgConfig));

    const ConfigLoad file = parseConfigJson(configToText(configFromRecord(decoded)));
    QVERIFY2(file.ok(), qPrintable(file.message));
    applyConfigToRecord(file.config, loaded);
    QCOMPARE(recordDifferences(recordSnapshot(loaded), recordSnapshot(decoded)), QString());
    QCOMPARE(loaded.buildRequest(true, USBmsgConfig, USBoptNone).toHex(' '), frame.toHex(' '));
}

void tst_codec::garbledReplyBlocksWritesUntilNextGoodOne()
{
    parachuteRadioComm device(QString(), 9600);
    QCOMPARE(int(device.parseRxMessage(config04F2)), 2);
    QCOMPARE(device.buildRequest(true, USBmsgSetDefaults, USBoptNone), hex("05 04f2 0001"));

    QCOMPARE(int(device.parseRxMessage(hex("04 0000 0001"))), 0);
    QCOMPARE(device.buildRequest(true, USBmsgSetDefaults, USBoptNone), QByteArray());
    QCOMPARE(device.buildRequest(true, USBmsgConfig, USBoptNone), QByteArray());

    QCOMPARE(int(device.parseRxMessage(status08A3)), 4);
    QCOMPARE(device.buildRequest(true, USBmsgSetDefaults, USBoptNone), hex("05 08a3 0103"));
}

void tst_codec::identifiedBoardOnly_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("result");
    QTest::addColumn<ExchangeOutcome>("outcome");

    // A late tail whose bytes 1-2 read as the trigger board.
    QTest::newRow("04F2 status") << hex("04 04f2 0001  aa 00 bb 03 07 09 7d cccccccccccccc 3f") << 0
                                 << ExchangeOutcome::OtherBoard;
    QTest::newRow("same family, other product")
        << hex("04 08a2 0103  00 05dc 0032 01 00") << 0 << ExchangeOutcome::OtherBoard;
    QTest::newRow("other firmware") << hex("04 08a3 0102  00 05dc 0032 01 00") << 0 << ExchangeOutcome::OtherBoard;
    QTest::newRow("no family at all") << hex("04 0000 0001  00 05dc 0032 01 00") << 0 << ExchangeOutcome::OtherBoard;
    QTest::newRow("too short to tell") << hex("04 04f2") << 0 << ExchangeOutcome::Undecodable;
    QTest::newRow("the board itself") << status08A3 << 4 << ExchangeOutcome::Decoded;
}

void tst_codec::identifiedBoardOnly()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, result);
    QFETCH(ExchangeOutcome, outcome);

    parachuteRadioComm device(QString(), 9600);
    QVERIFY(!device.isIdentified());
    QCOMPARE(int(device.parseRxMessage(identity08A3)), 1);
    QVERIFY(device.isIdentified());
    QCOMPARE(int(device.parseRxMessage(config08A3)), 2);
    const QByteArray write = device.buildRequest(true, USBmsgConfig, USBoptNone);
    const QVariantMap before = recordSnapshot(device);

    QCOMPARE(int(decodeExact(device, reply)), result);
    QCOMPARE(device.lastOutcome(), outcome);
    if (result == 0)
        QCOMPARE(recordDifferences(recordSnapshot(device), before), QString());
    // Writes go to the identified board, in its layout, whatever came in.
    QCOMPARE(device.buildRequest(true, USBmsgConfig, USBoptNone).toHex(' '), write.toHex(' '));
    QCOMPARE(device.buildRequest(true, USBmsgSetDefaults, USBoptNone), hex("05 08a3 0103"));
}

QTEST_GUILESS_MAIN(tst_codec)
#include "tst_codec.moc"

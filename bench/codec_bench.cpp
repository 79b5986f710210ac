// Cost of the protocol codec on the host: decoding each kind of board reply
// with parseRxMessage and encoding each request frame with buildRequest.
// The replies come from the simulator's board model, which is written from
// the board's side of the wire and shares no code with the host's decoder.
#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QtGlobal>

#include "parachuteradiocomm.h"
#include "simulatedboard.h"

namespace {

QByteArray boardReply(uint16_t productCode, const QByteArray &request)
{
    BoardModel board(BoardIdentity::forProduct(productCode));
    // A moment when the 08A3's receiver pulse is present, so that every
    // status field carries a value.
    return board.reply(request, 1234);
}

// The dump reply is logged as text when it is decoded; the benchmark keeps
// that formatting work but not the terminal's.
void dropMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

void decode(benchmark::State &state, uint16_t productCode, QByteArray request, uint8_t expected)
{
    qInstallMessageHandler(dropMessages);
    const QByteArray reply = boardReply(productCode, request);
    parachuteRadioComm device(QString(), 0);
    if (device.parseRxMessage(reply) != expected) {
        state.SkipWithError("the reply does not decode to its kind");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(device.parseRxMessage(reply));
    state.SetBytesProcessed(int64_t(state.iterations()) * reply.size());
    state.counters["reply_bytes"] = double(reply.size());
}

void encode(benchmark::State &state, uint16_t productCode, bool write, USBmessages kind, USBmsgOptions option,
            int expectedLength)
{
    parachuteRadioComm device(QString(), 0);
    // A write carries the board's own header and configuration, so the
    // record first learns them as it does at connect time.
    device.parseRxMessage(boardReply(productCode, QByteArray(1, char(USBmsgConfig))));
    if (device.buildRequest(write, kind, option).size() != expectedLength) {
        state.SkipWithError("the frame has not the length the board expects");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(device.buildRequest(write, kind, option));
    state.counters["frame_bytes"] = double(expectedLength);
}

const QByteArray identityRead(1, char(USBmsgIdentity));
const QByteArray configRead(1, char(USBmsgConfig));
const QByteArray statusRead(1, char(USBmsgStatus));
const QByteArray dumpRead = QByteArray::fromHex("0301");

} // namespace

BENCHMARK_CAPTURE(decode, identity_08A3, 0x08A3, identityRead, USBmsgIdentity);
BENCHMARK_CAPTURE(decode, config_08A3, 0x08A3, configRead, USBmsgConfig);
BENCHMARK_CAPTURE(decode, config_04F2, 0x04F2, configRead, USBmsgConfig);
BENCHMARK_CAPTURE(decode, status_08A3, 0x08A3, statusRead, USBmsgStatus);
BENCHMARK_CAPTURE(decode, status_04F2, 0x04F2, statusRead, USBmsgStatus);
BENCHMARK_CAPTURE(decode, eeprom_dump_08A3, 0x08A3, dumpRead, USBmsgEepromDump);

BENCHMARK_CAPTURE(encode, config_write_08A3, 0x08A3, true, USBmsgConfig, USBoptNone, 40);
BENCHMARK_CAPTURE(encode, config_write_04F2, 0x04F2, true, USBmsgConfig, USBoptNone, 11);
BENCHMARK_CAPTURE(encode, set_defaults_08A3, 0x08A3, true, USBmsgSetDefaults, USBoptNone, 5);
BENCHMARK_CAPTURE(encode, set_defaults_04F2, 0x04F2, true, USBmsgSetDefaults, USBoptNone, 5);
BENCHMARK_CAPTURE(encode, status_read, 0x08A3, false, USBmsgStatus, USBoptNone, 1);
BENCHMARK_CAPTURE(encode, eeprom_dump_read, 0x08A3, false, USBmsgEepromDump, USBoptDump, 2);

BENCHMARK_MAIN();

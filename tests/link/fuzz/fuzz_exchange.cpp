// libFuzzer harness: whole exchanges over a pseudo-terminal. A simulated
// board in scripted mode takes the request the device link writes and
// answers with the fuzzer's bytes, cut into chunks with short pauses between
// them (and, for long replies, chunks repeated). However the answer is cut,
// when all of it fell within one reply the exchange must decode exactly what
// the decoder makes of the same bytes in one piece - or, past the reply
// length limit, nothing at all. Each run costs at least the 100 ms quiet gap.
//
// Input: byte 0 picks the command (bits 0-2) and the record's starting
// family (bits 3-4). Then chunks: a control byte, length (c & 0x1f) + 1, and
// c >> 5 picks the pause before the chunk (0, 0, 1, 2, 5, 10, 30 ms) or, for
// 7, no pause and the chunk sent 2048 times over.
#include <QCoreApplication>
#include <QList>

#include <poll.h>
#include <termios.h>

#include "fuzzcheck.h"
#include "parachuteradiocomm.h"
#include "recordstate.h"
#include "simulatedboard.h"

using namespace Protocol;
using TestSupport::RecordState;

namespace {

constexpr int PauseMs[7] = {0, 0, 1, 2, 5, 10, 30};
constexpr int RepeatCount = 2048;
// Pauses add up to well below the quiet gap, so a run stays short and one
// reply normally holds every chunk.
constexpr int PauseBudgetMs = 60;
constexpr int MaxChunks = 64;

struct Command
{
    bool write;
    USBmessages kind;
    USBmsgOptions option;
};

const Command Commands[8] = {
    {false, USBmsgIdentity, USBoptNone},   {false, USBmsgConfig, USBoptNone}, {false, USBmsgEepromDump, USBoptDump},
    {false, USBmsgStatus, USBoptNone},     {true, USBmsgConfig, USBoptNone},  {true, USBmsgSetDefaults, USBoptNone},
    {false, USBmsgEepromDump, USBoptNone}, // refused: a dump needs its option
    {true, USBmsgStatus, USBoptNone},      // refused: status cannot be written
};

QCoreApplication *application = nullptr;
SimulatedBoard *board = nullptr;
const SimulatedBoard::Script silence = [](const QByteArray &) { return QList<ReplyChunk>(); };

// What the runs came to, printed when the fuzzer exits.
struct Tally
{
    long runs = 0, refused = 0, compared = 0, overLength = 0, cutOff = 0, splitByScheduling = 0;
    ~Tally()
    {
        std::fprintf(stderr,
                     "exchanges: %ld; refused before the wire: %ld; compared: %ld (%ld of them over the "
                     "length limit); not compared: %ld cut off at the limit, %ld split by scheduling\n",
                     runs, refused, compared, overLength, cutOff, splitByScheduling);
    }
} tally;

void discardMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

QList<ReplyChunk> chunksOf(const QByteArray &in, int from)
{
    QList<ReplyChunk> chunks;
    int budget = PauseBudgetMs;
    int i = from;
    while (i < in.size() && chunks.size() < MaxChunks) {
        const uint8_t c = uint8_t(in.at(i++));
        const int length = (c & 0x1f) + 1;
        QByteArray bytes = in.mid(i, length);
        i += length;
        if (bytes.isEmpty())
            break;
        const int mode = c >> 5;
        ReplyChunk chunk{0, bytes};
        if (mode == 7) {
            chunk.bytes = bytes.repeated(RepeatCount);
        } else {
            chunk.pauseMs = qMin(PauseMs[mode], budget);
            budget -= chunk.pauseMs;
        }
        chunks.append(chunk);
    }
    return chunks;
}

// A configuration reply a board of the family could send: every field
// within its range, and groups and channels unlike each other.
QByteArray configReply(uint8_t high, uint8_t low, uint8_t major, uint8_t minor)
{
    const BoardFamilyTable &family = familyTable(familyOf(high, low));
    QByteArray r(family.configLength, '\0');
    r[kindOffset] = char(USBmsgConfig);
    r[productHighOffset] = char(high);
    r[productLowOffset] = char(low);
    r[fwMajorOffset] = char(major);
    r[fwMinorOffset] = char(minor);
    for (const ConfigField &field : family.config) {
        const int value =
            field.boolean ? 1 : field.min + (37 * field.index + field.offset) % (field.max - field.min + 1);
        if (field.width == 2)
            r[field.offset] = char(value >> 8);
        r[field.offset + field.width - 1] = char(value);
    }
    return r;
}

QByteArray primeReply(int start)
{
    switch (start) {
    case 1:
        return configReply(0x08, 0xA3, 1, 3);
    case 2:
        return configReply(0x08, 0xA2, 0, 2);
    case 3:
        return configReply(0x04, 0xF2, 0, 1);
    default:
        return QByteArray(); // the record names no board: writes are refused
    }
}

// What the link makes of a whole reply: it reads from the first header one
// of the boards could send (a kind they send, a known product, a firmware
// this host reads), so that the tail of an earlier reply ahead of it is
// never taken for a header; with no such header, a reply whose first byte
// is no kind of message is none at all, and changes nothing.
int expectedResult(parachuteRadioComm &reference, const QByteArray &whole)
{
    const auto isKind = [](uint8_t kind) { return kind >= USBmsgIdentity && kind <= USBmsgSetDefaults; };
    for (qsizetype at = 0; at + headerLength <= whole.size(); ++at) {
        const auto byte = [&](int offset) { return uint8_t(whole.at(at + offset)); };
        const BoardFamily family = familyOf(byte(productHighOffset), byte(productLowOffset));
        if (isKind(byte(kindOffset)) && family != BoardFamily::Unknown
            && firmwareAccepted(family, byte(fwMajorOffset), byte(fwMinorOffset)))
            return reference.parseRxMessage(whole.mid(at));
    }
    return isKind(uint8_t(whole.at(0))) ? reference.parseRxMessage(whole) : 0;
}

// Bytes from the board that the device link has not read.
bool lineHasInput()
{
    pollfd p{int(serialPort.handle()), POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qInstallMessageHandler(discardMessages);
    application = new QCoreApplication(*argc, *argv);
    board = new SimulatedBoard;
    board->setScript(silence);
    QString error;
    if (!board->start(&error)) {
        std::fprintf(stderr, "simulated board: %s\n", qPrintable(error));
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray in(reinterpret_cast<const char *>(data), qsizetype(size));
    if (in.isEmpty())
        return 0;
    const Command command = Commands[uint8_t(in.at(0)) & 7];
    const QByteArray prime = primeReply((uint8_t(in.at(0)) >> 3) & 3);
    const QList<ReplyChunk> chunks = chunksOf(in, 1);
    QByteArray whole;
    for (const ReplyChunk &c : chunks)
        whole += c.bytes;

    parachuteRadioComm dev(board->devicePath(), 115200);
    FUZZ_CHECK(dev.isConnected(), in);
    // What an earlier run's reply left in the line is not part of this one.
    ::tcflush(int(serialPort.handle()), TCIOFLUSH);
    parachuteRadioComm reference(QString(), 0);
    TestSupport::fillWithSentinels(dev);
    TestSupport::fillWithSentinels(reference);
    if (!prime.isEmpty()) {
        dev.parseRxMessage(prime);
        reference.parseRxMessage(prime);
    }
    const QByteArray request = reference.buildRequest(command.write, command.kind, command.option);

    board->clearRequests();
    const qint64 sentBefore = board->bytesWritten();
    board->setScript(SimulatedBoard::repliesInTurn({chunks}));
    const int result = dev.send(command.write, command.kind, command.option);
    // What the board has not sent by now is not part of this exchange.
    board->setScript(silence);
    const bool allSent = board->bytesWritten() - sentBefore == whole.size();

    FUZZ_CHECK(result >= 0 && result <= 4, in);
    // The request goes out exactly as built, once, and nothing else with it.
    FUZZ_CHECK(board->requests() == (request.isEmpty() ? QList<QByteArray>() : QList<QByteArray>{request}), in);
    ++tally.runs;
    if (request.isEmpty()) {
        ++tally.refused;
        FUZZ_CHECK(result == 0, in);
        FUZZ_CHECK(RecordState::of(dev).differences(RecordState::of(reference)) == 0, in);
        return 0;
    }

    // A pause that the scheduler stretched past the quiet gap splits the
    // reply legitimately, and a reply past the length limit is cut off; the
    // rest is then unsent or still waiting on the line and the run proves
    // nothing.
    if (!allSent || serialPort.bytesAvailable() > 0 || lineHasInput()) {
        ++(whole.size() > parachuteRadioComm::maxReplyLength ? tally.cutOff : tally.splitByScheduling);
        return 0;
    }
    ++tally.compared;
    if (whole.size() > parachuteRadioComm::maxReplyLength)
        ++tally.overLength;

    int expected = 0;
    if (!whole.isEmpty() && whole.size() <= parachuteRadioComm::maxReplyLength)
        expected = expectedResult(reference, whole);
    FUZZ_CHECK(result == expected, in);
    FUZZ_CHECK(RecordState::of(dev).differences(RecordState::of(reference)) == 0, in);
    return 0;
}

// libFuzzer harness: whole exchanges over a pseudo-terminal. A thread plays
// the board: it takes the request the device link writes and answers with the
// fuzzer's bytes, cut into chunks with short pauses between them (and, for
// long replies, chunks repeated). However the answer is cut, when all of it
// fell within one reply the exchange must decode exactly what the decoder
// makes of the same bytes in one piece - or, past the reply length limit,
// nothing at all. Each run costs at least the 100 ms quiet gap.
//
// Input: byte 0 picks the command (bits 0-2) and the record's starting
// family (bits 3-4). Then chunks: a control byte, length (c & 0x1f) + 1, and
// c >> 5 picks the pause before the chunk (0, 0, 1, 2, 5, 10, 30 ms) or, for
// 7, no pause and the chunk sent 2048 times over.
#include <QCoreApplication>
#include <QFile>
#include <QList>

#include <atomic>
#include <chrono>
#include <thread>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include "recordstate.h"

using namespace FuzzRecord;
using Clock = std::chrono::steady_clock;

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
    {false, USBmsgIdentity, USBoptNone},
    {false, USBmsgConfig, USBoptNone},
    {false, USBmsgEepromDump, USBoptDump},
    {false, USBmsgStatus, USBoptNone},
    {true, USBmsgConfig, USBoptNone},
    {true, USBmsgSetDefaults, USBoptNone},
    {false, USBmsgEepromDump, USBoptNone}, // refused: a dump needs its option
    {true, USBmsgStatus, USBoptNone},      // refused: status cannot be written
};

struct Chunk
{
    int pauseMs;
    QByteArray bytes;
};

struct PtyPair
{
    int master = -1;
    int slave = -1; // held open so that the master never sees a hang-up
    QString path;
};

PtyPair line;
QCoreApplication *application = nullptr;

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

QList<Chunk> chunksOf(const QByteArray &in, int from)
{
    QList<Chunk> chunks;
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
        Chunk chunk{0, bytes};
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

void drainLine()
{
    char buf[4096];
    while (::read(line.master, buf, sizeof buf) > 0) {
    }
    ::tcflush(line.slave, TCIOFLUSH);
}

bool slaveHasInput()
{
    pollfd p{line.slave, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

// The board's side of one exchange.
class Board
{
public:
    Board(int requestLength, QList<Chunk> chunks)
        : m_requestLength(requestLength), m_chunks(std::move(chunks))
    {
        m_thread = std::thread([this] { run(); });
    }
    void finish(bool hostDone)
    {
        m_hostDone = hostDone;
        m_thread.join();
    }

    QByteArray request;
    bool gaveUp = false; // some bytes were never written

private:
    void run()
    {
        const auto deadline = Clock::now() + std::chrono::seconds(2);
        while (request.size() < m_requestLength && Clock::now() < deadline) {
            pollfd p{line.master, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            char buf[64];
            const ssize_t n = ::read(line.master, buf, size_t(m_requestLength - request.size()));
            if (n > 0)
                request.append(buf, int(n));
        }
        if (request.size() < m_requestLength)
            return;
        for (const Chunk &chunk : m_chunks) {
            if (chunk.pauseMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(chunk.pauseMs));
            if (!writeAll(chunk.bytes)) {
                gaveUp = true;
                return;
            }
        }
    }

    bool writeAll(const QByteArray &bytes)
    {
        qsizetype done = 0;
        auto lastProgress = Clock::now();
        while (done < bytes.size()) {
            const ssize_t n = ::write(line.master, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0) {
                done += n;
                lastProgress = Clock::now();
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            // A host that stopped reading (reply cut off) leaves the line full.
            if (m_hostDone || Clock::now() - lastProgress > std::chrono::seconds(2))
                return false;
            pollfd p{line.master, POLLOUT, 0};
            ::poll(&p, 1, 10);
        }
        return true;
    }

    const int m_requestLength;
    const QList<Chunk> m_chunks;
    std::atomic<bool> m_hostDone{false};
    std::thread m_thread;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qInstallMessageHandler(discardMessages);
    application = new QCoreApplication(*argc, *argv);
    if (::openpty(&line.master, &line.slave, nullptr, nullptr, nullptr) != 0) {
        std::perror("openpty");
        std::abort();
    }
    termios t{};
    ::tcgetattr(line.slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(line.slave, TCSANOW, &t);
    ::fcntl(line.master, F_SETFL, ::fcntl(line.master, F_GETFL) | O_NONBLOCK);
    ::fcntl(line.slave, F_SETFL, ::fcntl(line.slave, F_GETFL) | O_NONBLOCK);
    line.path = QString::fromLocal8Bit(::ptsname(line.master));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray in(reinterpret_cast<const char *>(data), qsizetype(size));
    if (in.isEmpty())
        return 0;
    const Command command = Commands[uint8_t(in.at(0)) & 7];
    const QByteArray prime = primeReply((uint8_t(in.at(0)) >> 3) & 3);
    const QList<Chunk> chunks = chunksOf(in, 1);
    QByteArray whole;
    for (const Chunk &c : chunks)
        whole += c.bytes;

    drainLine();
    parachuteRadioComm dev(line.path, 115200);
    FUZZ_CHECK(dev.isConnected(), in);
    parachuteRadioComm reference(QString(), 0);
    fillWithSentinels(dev);
    fillWithSentinels(reference);
    if (!prime.isEmpty()) {
        dev.parseRxMessage(prime);
        reference.parseRxMessage(prime);
    }
    const QByteArray request = reference.buildRequest(command.write, command.kind, command.option);

    Board board(int(request.size()), request.isEmpty() ? QList<Chunk>() : chunks);
    const int result = dev.send(command.write, command.kind, command.option);
    board.finish(true);

    FUZZ_CHECK(result >= 0 && result <= 4, in);
    // The request goes out exactly as built, once, and nothing else with it.
    FUZZ_CHECK(board.request == request, in);
    {
        char extra;
        FUZZ_CHECK(::read(line.master, &extra, 1) <= 0, in);
    }
    ++tally.runs;
    if (request.isEmpty()) {
        ++tally.refused;
        FUZZ_CHECK(result == 0, in);
        FUZZ_CHECK(State::of(dev).differences(State::of(reference)) == 0, in);
        return 0;
    }

    // A pause that the scheduler stretched past the quiet gap splits the
    // reply legitimately, and a reply past the length limit is cut off; the
    // rest is then still waiting on the line and the run proves nothing.
    if (board.gaveUp || serialPort.bytesAvailable() > 0 || slaveHasInput()) {
        ++(whole.size() > parachuteRadioComm::maxReplyLength ? tally.cutOff : tally.splitByScheduling);
        return 0;
    }
    ++tally.compared;
    if (whole.size() > parachuteRadioComm::maxReplyLength)
        ++tally.overLength;

    int expected = 0;
    if (!whole.isEmpty() && whole.size() <= parachuteRadioComm::maxReplyLength)
        expected = reference.parseRxMessage(whole);
    FUZZ_CHECK(result == expected, in);
    FUZZ_CHECK(State::of(dev).differences(State::of(reference)) == 0, in);
    return 0;
}

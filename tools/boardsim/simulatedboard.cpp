// Serves a BoardModel on a pseudo-terminal from its own thread, the way a
// board sits behind a USB virtual COM port, and makes it misbehave on demand
// (silence, slow or split replies, noise, a line that never falls quiet, a
// pulled cable, a real UART's pace and baud rate, foreign product/firmware,
// writes not acted on), or plays scripted replies byte for byte.
#include "simulatedboard.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// The host writes each request in one call, so a pause this long means the
// request is over even when its length alone cannot tell (0x02 alone). Kept
// short: every configuration read waits this long before it is answered.
constexpr auto RequestQuiet = std::chrono::milliseconds(2);
constexpr auto StreamInterval = std::chrono::milliseconds(2);
// After the last reply before an unplug, give the host time to read it and
// see the line fall quiet, so the cable is pulled between two exchanges.
constexpr auto UnplugLinger = std::chrono::milliseconds(200);
// A reply nobody reads fills the pty; past this the rest is dropped.
constexpr auto WriteStall = std::chrono::seconds(1);

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// glibc knows no arbitrary rates; Qt sets them through the kernel's termios2
// with the BOTHER marker, so those are read back the same way.
struct KernelTermios2
{
    tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed, c_ospeed;
};
constexpr speed_t SpeedOther = CBAUDEX;

int baudOf(int fd)
{
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return -1;
    const speed_t s = ::cfgetospeed(&t);
    static const struct
    {
        speed_t code;
        int baud;
    } table[] = {
        {B0, 0},
        {B50, 50},
        {B75, 75},
        {B110, 110},
        {B134, 134},
        {B150, 150},
        {B200, 200},
        {B300, 300},
        {B600, 600},
        {B1200, 1200},
        {B1800, 1800},
        {B2400, 2400},
        {B4800, 4800},
        {B9600, 9600},
        {B19200, 19200},
        {B38400, 38400},
        {B57600, 57600},
        {B115200, 115200},
        {B230400, 230400},
        {B460800, 460800},
        {B500000, 500000},
        {B576000, 576000},
        {B921600, 921600},
        {B1000000, 1000000},
        {B1152000, 1152000},
        {B1500000, 1500000},
        {B2000000, 2000000},
        {B2500000, 2500000},
        {B3000000, 3000000},
        {B3500000, 3500000},
        {B4000000, 4000000},
    };
    for (const auto &e : table)
        if (e.code == s)
            return e.baud;
    if (s == SpeedOther) {
        KernelTermios2 t2{};
        if (::ioctl(fd, _IOR('T', 0x2A, KernelTermios2), &t2) == 0)
            return int(t2.c_ospeed);
    }
    return -1;
}

void logLine(const QByteArray &line)
{
    const QByteArray out = line + '\n';
    // One write per line keeps lines whole next to other threads' output.
    [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, out.constData(), size_t(out.size()));
}

} // namespace

struct SimulatedBoard::Impl
{
    mutable std::mutex mutex; // everything below that the thread and callers share
    BoardFaults faults;
    BoardModel model;
    QList<QByteArray> requests;
    QString path;
    QString linkPath;
    int masterFd = -1;
    int slaveFd = -1;
    unsigned faultsGeneration = 0;
    Script script;
    std::atomic<unsigned> scriptGeneration{0}; // changed under both locks
    std::atomic<qint64> statusClock{-1};

    // Held across each write to the line, so that setScript() can cut a
    // scripted reply off between two writes. Taken before `mutex`.
    mutable std::mutex writeMutex;
    qint64 written = 0;
    Clock::time_point lastSent{};

    int wakeFd = -1;
    std::thread thread;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> running{false};
    std::atomic<bool> log{false};
    const Clock::time_point born = Clock::now();
    std::mt19937 rng{std::random_device{}()};

    Impl(const BoardIdentity &id, const BoardFaults &f)
        : faults(f)
        , model(id)
    {}

    bool openPty(QString *error);
    void closePty();
    void startThread();
    void joinThread();
    void wake();

    // Serving thread. A scripted reply passes its script generation along:
    // sleeping and writing give up once the script has been replaced.
    void serve();
    void handle(const QByteArray &request, int &handled, bool &streaming, Clock::time_point &nextStreamByte);
    void playScript(const QByteArray &request);
    bool replyCut(const unsigned *generation) const { return generation && *generation != scriptGeneration; }
    bool sleepUntil(Clock::time_point deadline, const unsigned *generation = nullptr); // false when stopping or cut
    ssize_t writeOnce(const char *data, int size, const unsigned *generation = nullptr);
    bool writeAll(const char *data, int size, const unsigned *generation = nullptr);
    bool writePaced(const QByteArray &bytes, int baud);
    void unplug();
    QByteArray randomBytes(int minLen, int maxLen);
    void say(const char *prefix, const QByteArray &bytes, const char *note = nullptr);
};

bool SimulatedBoard::Impl::openPty(QString *error)
{
    int master = -1, slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        if (error)
            *error = QStringLiteral("openpty: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    // Raw from the start so that a client which does not configure the line
    // (a plain open() in a test) sees the bytes untouched and unechoed.
    termios t{};
    ::tcgetattr(slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave, TCSANOW, &t);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    const char *name = ::ptsname(master);

    std::lock_guard<std::mutex> lock(mutex);
    masterFd = master;
    // Held for the board's lifetime: without it the master would see a
    // hang-up each time the application closes the port.
    slaveFd = slave;
    path = QString::fromLocal8Bit(name ? name : "");
    return true;
}

void SimulatedBoard::Impl::closePty()
{
    std::lock_guard<std::mutex> lock(mutex);
    closeFd(masterFd);
    closeFd(slaveFd);
}

void SimulatedBoard::Impl::startThread()
{
    stopRequested = false;
    running = true;
    thread = std::thread([this] { serve(); });
}

void SimulatedBoard::Impl::joinThread()
{
    if (!thread.joinable())
        return;
    stopRequested = true;
    wake();
    thread.join();
    stopRequested = false;
}

void SimulatedBoard::Impl::wake()
{
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd, &one, sizeof one);
}

void SimulatedBoard::Impl::say(const char *prefix, const QByteArray &bytes, const char *note)
{
    if (!log)
        return;
    QByteArray line = QByteArray(prefix) + ' ' + bytes.toHex();
    if (note)
        line += QByteArray(" (") + note + ')';
    logLine(line);
}

QByteArray SimulatedBoard::Impl::randomBytes(int minLen, int maxLen)
{
    std::uniform_int_distribution<int> len(minLen, maxLen), byte(0, 255);
    QByteArray out(len(rng), Qt::Uninitialized);
    for (char &c : out)
        c = char(byte(rng));
    return out;
}

bool SimulatedBoard::Impl::sleepUntil(Clock::time_point deadline, const unsigned *generation)
{
    for (;;) {
        if (stopRequested || replyCut(generation))
            return false;
        const auto now = Clock::now();
        if (now >= deadline)
            return true;
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - now).count();
        const timespec ts{time_t(ns / 1000000000), long(ns % 1000000000)};
        pollfd p{wakeFd, POLLIN, 0};
        if (::ppoll(&p, 1, &ts, nullptr) > 0) {
            uint64_t v;
            [[maybe_unused]] ssize_t n = ::read(wakeFd, &v, sizeof v);
        }
    }
}

ssize_t SimulatedBoard::Impl::writeOnce(const char *data, int size, const unsigned *generation)
{
    std::lock_guard<std::mutex> lock(writeMutex);
    if (replyCut(generation)) {
        errno = ECANCELED;
        return -1;
    }
    const ssize_t n = ::write(masterFd, data, size_t(size));
    if (n > 0) {
        written += n;
        lastSent = Clock::now();
    }
    return n;
}

bool SimulatedBoard::Impl::writeAll(const char *data, int size, const unsigned *generation)
{
    auto stalledSince = Clock::now();
    while (size > 0) {
        const ssize_t n = writeOnce(data, size, generation);
        if (n > 0) {
            data += n;
            size -= int(n);
            stalledSince = Clock::now();
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        if (stopRequested || replyCut(generation) || Clock::now() - stalledSince > WriteStall)
            return false;
        pollfd p[2] = {{masterFd, POLLOUT, 0}, {wakeFd, POLLIN, 0}};
        ::poll(p, 2, 50);
    }
    return true;
}

bool SimulatedBoard::Impl::writePaced(const QByteArray &bytes, int baud)
{
    if (baud <= 0)
        return writeAll(bytes.constData(), int(bytes.size()));
    // A byte is on the host's side only once its start bit, eight data bits
    // and stop bit have gone over the line.
    const auto perByte = std::chrono::nanoseconds(10'000'000'000LL / baud);
    const auto t0 = Clock::now();
    int sent = 0;
    while (sent < bytes.size()) {
        if (!sleepUntil(t0 + perByte * (sent + 1)))
            return false;
        const auto due = qMin<qint64>(bytes.size(), (Clock::now() - t0) / perByte);
        if (!writeAll(bytes.constData() + sent, int(due - sent)))
            return false;
        sent = int(due);
    }
    return true;
}

void SimulatedBoard::Impl::unplug()
{
    QString link;
    {
        std::lock_guard<std::mutex> lock(mutex);
        closeFd(masterFd);
        closeFd(slaveFd);
        link = linkPath;
    }
    // As udev would drop a by-id link; replug() puts it back.
    if (!link.isEmpty())
        QFile::remove(link);
    running = false;
    if (log)
        logLine("unplugged");
}

void SimulatedBoard::Impl::serve()
{
    QByteArray pending;
    auto lastByte = Clock::now();
    bool streaming = false;
    auto nextStreamByte = Clock::now();
    int handled = 0; // requests since the faults were last set or the cable plugged
    unsigned generation;
    int unplugAfter;
    {
        std::lock_guard<std::mutex> lock(mutex);
        generation = faultsGeneration;
        unplugAfter = faults.unplugAfter;
    }
    if (unplugAfter == 0) { // nothing may be answered on this plug at all
        unplug();
        return;
    }

    char buf[512];
    for (;;) {
        const auto now = Clock::now();
        Clock::duration wait = Clock::duration::max();
        if (!pending.isEmpty())
            wait = qMax(Clock::duration::zero(), lastByte + RequestQuiet - now);
        if (streaming)
            wait = qMin(wait, qMax(Clock::duration::zero(), nextStreamByte - now));
        const int timeoutMs =
            wait == Clock::duration::max() ? -1 : int(std::chrono::ceil<std::chrono::milliseconds>(wait).count());

        pollfd p[2] = {{masterFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        const int ready = ::poll(p, 2, timeoutMs);
        if (ready < 0 && errno != EINTR) {
            running = false;
            return;
        }
        if (stopRequested)
            return;
        if (p[1].revents & POLLIN) {
            uint64_t v;
            [[maybe_unused]] ssize_t n = ::read(wakeFd, &v, sizeof v);
        }
        // Checked on every turn: a reply's pauses may have eaten the wake-up.
        {
            std::lock_guard<std::mutex> lock(mutex);
            unplugAfter = faults.unplugAfter;
            if (generation != faultsGeneration) {
                generation = faultsGeneration;
                handled = 0;
                streaming = false;
            }
        }
        if (unplugAfter == 0) {
            unplug();
            return;
        }
        if (p[0].revents & POLLIN) {
            const ssize_t n = ::read(masterFd, buf, sizeof buf);
            if (n > 0) {
                pending.append(buf, int(n));
                lastByte = Clock::now();
            }
        } else if (p[0].revents & (POLLHUP | POLLERR)) {
            // Cannot happen while the slave is held open, but never spin.
            if (!sleepUntil(Clock::now() + std::chrono::milliseconds(10)))
                return;
        }

        const bool quiet = Clock::now() - lastByte >= RequestQuiet;
        bool scripted;
        {
            std::lock_guard<std::mutex> lock(mutex);
            scripted = bool(script);
        }
        if (scripted) {
            // Whatever came before the line fell quiet is the request.
            if (quiet && !pending.isEmpty()) {
                playScript(pending);
                pending.clear();
                if (stopRequested)
                    return;
            }
            continue;
        }

        // Once the line is quiet, what cannot be told by length is decided:
        // a lone 0x02 or 0x03 is a request of its own, and a write cut short
        // is noise the firmware throws away.
        while (!pending.isEmpty()) {
            int len = BoardModel::requestLength(pending);
            if (len < 0) {
                say("rx", pending.left(1), "starts no request, dropped");
                pending.remove(0, 1);
                continue;
            }
            if (len == 0 || pending.size() < len) {
                if (!quiet)
                    break;
                if (len > 0) {
                    say("rx", pending, "incomplete, dropped");
                    pending.clear();
                    break;
                }
                len = 1;
            }
            const QByteArray request = pending.left(len);
            pending.remove(0, len);
            handle(request, handled, streaming, nextStreamByte);
            if (!running || stopRequested)
                return;
        }

        if (streaming && Clock::now() >= nextStreamByte) {
            const QByteArray b = randomBytes(1, 1);
            writeOnce(b.constData(), 1); // a full pty just loses it
            nextStreamByte = Clock::now() + StreamInterval;
        }
    }
}

void SimulatedBoard::Impl::handle(const QByteArray &request, int &handled, bool &streaming,
                                  Clock::time_point &nextStreamByte)
{
    BoardFaults f;
    QByteArray reply;
    const int lineBaud = baudOf(masterFd);
    {
        std::lock_guard<std::mutex> lock(mutex);
        requests.append(request);
        f = faults;
    }
    ++handled;
    say("rx", request);

    // A wrong line speed garbles every byte at a real UART, so such a board
    // neither acts on the request nor answers it.
    const bool wrongSpeed = f.uartBaud > 0 && lineBaud != f.uartBaud;
    if (streaming) {
        // Already babbling: the request is lost in it.
    } else if (f.stream) {
        streaming = true;
        nextStreamByte = Clock::now();
        if (log)
            logLine("tx stream of random bytes, one every 2 ms");
    } else if (f.silent) {
        if (log)
            logLine("tx nothing (silent)");
    } else if (wrongSpeed) {
        if (log)
            logLine(QByteArray("tx nothing (line at ") + QByteArray::number(lineBaud) + " baud, board at "
                    + QByteArray::number(f.uartBaud) + ")");
    } else {
        if (f.garbage) {
            reply = randomBytes(1, 40);
        } else {
            const qint64 pinned = statusClock;
            const qint64 elapsed =
                pinned >= 0 ? pinned
                            : std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - born).count();
            std::lock_guard<std::mutex> lock(mutex);
            reply = model.reply(request, elapsed,
                                f.ignoreWrites ? BoardModel::Writes::Ignored : BoardModel::Writes::Stored);
        }
        if (!f.garbage && reply.size() >= 5) {
            if (f.wrongProduct) {
                reply[1] = char(0x09);
                reply[2] = char(0x99);
            }
            if (f.wrongFirmware) {
                reply[3] = char(9);
                reply[4] = char(9);
            }
        }
        if (reply.isEmpty()) {
            if (log)
                logLine("tx nothing (request ignored)");
        } else {
            say("tx", reply);
            bool ok = f.delayMs <= 0 || sleepUntil(Clock::now() + std::chrono::milliseconds(f.delayMs));
            const int baud = f.uartBaud > 0 ? f.uartBaud : 0;
            if (ok && f.splitMs > 0 && reply.size() >= 2) {
                const int half = int(reply.size()) / 2;
                ok = writePaced(reply.left(half), baud)
                     && sleepUntil(Clock::now() + std::chrono::milliseconds(f.splitMs))
                     && writePaced(reply.mid(half), baud);
            } else if (ok) {
                ok = writePaced(reply, baud);
            }
            if (!ok)
                return;
        }
    }

    if (f.unplugAfter > 0 && handled >= f.unplugAfter) {
        if (sleepUntil(Clock::now() + UnplugLinger))
            unplug();
    }
}

void SimulatedBoard::Impl::playScript(const QByteArray &request)
{
    Script play;
    unsigned generation;
    {
        std::lock_guard<std::mutex> lock(mutex);
        requests.append(request);
        play = script;
        generation = scriptGeneration;
    }
    say("rx", request);
    // Called without the lock: a script may look at the board.
    const QList<ReplyChunk> chunks = play ? play(request) : QList<ReplyChunk>();
    if (chunks.isEmpty() && log)
        logLine("tx nothing (scripted)");
    for (const ReplyChunk &chunk : chunks) {
        for (int i = 0; chunk.times == ReplyChunk::untilReplaced || i < chunk.times; ++i) {
            if (chunk.pauseMs > 0 && !sleepUntil(Clock::now() + std::chrono::milliseconds(chunk.pauseMs), &generation))
                return;
            if (replyCut(&generation) || stopRequested)
                return;
            say("tx", chunk.bytes);
            if (!writeAll(chunk.bytes.constData(), int(chunk.bytes.size()), &generation))
                return;
        }
    }
}

SimulatedBoard::Script SimulatedBoard::repliesInTurn(const QList<QList<ReplyChunk>> &replies)
{
    auto next = std::make_shared<qsizetype>(0);
    return [replies, next](const QByteArray &) {
        return *next < replies.size() ? replies.at((*next)++) : QList<ReplyChunk>();
    };
}

SimulatedBoard::SimulatedBoard(const BoardIdentity &identity, const BoardFaults &faults)
    : d(std::make_unique<Impl>(identity, faults))
{
    d->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

SimulatedBoard::~SimulatedBoard()
{
    stop();
    closeFd(d->wakeFd);
}

bool SimulatedBoard::start(QString *error)
{
    if (d->thread.joinable()) {
        if (!d->running)
            replug(); // pulled out earlier: plug a fresh device in
        return d->running;
    }
    if (d->wakeFd < 0) {
        if (error)
            *error = QStringLiteral("eventfd failed");
        return false;
    }
    if (!d->openPty(error))
        return false;
    d->startThread();
    return true;
}

void SimulatedBoard::stop()
{
    d->joinThread();
    d->closePty();
    d->running = false;
    QString link;
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        link = d->linkPath;
        d->linkPath.clear();
    }
    if (!link.isEmpty() && QFileInfo(link).isSymLink())
        QFile::remove(link);
}

bool SimulatedBoard::isRunning() const
{
    return d->running;
}

QString SimulatedBoard::devicePath() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->path;
}

bool SimulatedBoard::createLink(const QString &path)
{
    const QString target = devicePath();
    if (target.isEmpty() || !d->running)
        return false;
    // Replace a stale link from an earlier run, never a real file.
    const QFileInfo existing(path);
    if (existing.isSymLink())
        QFile::remove(path);
    else if (existing.exists())
        return false;
    if (::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()) != 0)
        return false;
    std::lock_guard<std::mutex> lock(d->mutex);
    d->linkPath = path;
    return true;
}

void SimulatedBoard::setFaults(const BoardFaults &faults)
{
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->faults = faults;
        ++d->faultsGeneration;
    }
    d->wake();
}

BoardFaults SimulatedBoard::faults() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->faults;
}

void SimulatedBoard::setIdentity(const BoardIdentity &identity)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->model = BoardModel(identity);
}

void SimulatedBoard::replug()
{
    d->joinThread();
    d->closePty();
    if (!d->openPty(nullptr)) {
        d->running = false;
        return;
    }
    QString link, target;
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        link = d->linkPath;
        target = d->path;
    }
    if (!link.isEmpty()) {
        if (QFileInfo(link).isSymLink())
            QFile::remove(link);
        [[maybe_unused]] int rc = ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData());
    }
    if (d->log)
        logLine("plugged in at " + target.toLocal8Bit());
    d->startThread();
}

QList<QByteArray> SimulatedBoard::requests() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->requests;
}

void SimulatedBoard::clearRequests()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->requests.clear();
}

QByteArray SimulatedBoard::storedConfig() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->model.configPayload();
}

bool SimulatedBoard::setStoredConfig(const QByteArray &payload)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->model.setConfigPayload(payload);
}

void SimulatedBoard::setStatusClock(qint64 ms)
{
    d->statusClock = ms < 0 ? -1 : ms;
}

void SimulatedBoard::setLogToStderr(bool on)
{
    d->log = on;
}

void SimulatedBoard::setScript(Script script)
{
    {
        std::lock_guard<std::mutex> writing(d->writeMutex);
        std::lock_guard<std::mutex> lock(d->mutex);
        d->script = std::move(script);
        ++d->scriptGeneration;
    }
    d->wake();
}

qint64 SimulatedBoard::bytesWritten() const
{
    std::lock_guard<std::mutex> lock(d->writeMutex);
    return d->written;
}

std::chrono::steady_clock::time_point SimulatedBoard::lastSentAt() const
{
    std::lock_guard<std::mutex> lock(d->writeMutex);
    return d->lastSent;
}

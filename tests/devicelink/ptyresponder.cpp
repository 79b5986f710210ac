// Master side of the scripted pseudo-terminal board.
#include "ptyresponder.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {
// How long the board waits for a request before giving up on its script, so
// a test that never sends cannot keep the thread alive.
constexpr int requestWaitMs = 5000;
// Requests go out in one write; this only collects a request split by the pty.
constexpr int requestTailMs = 5;
} // namespace

PtyResponder::PtyResponder()
{
    char name[128] = {};
    if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    termios tio;
    if (tcgetattr(m_slave, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(m_slave, TCSANOW, &tio);
    }
    // The board must never block on a full line: it has to notice stop().
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
}

PtyResponder::~PtyResponder()
{
    stop();
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
}

void PtyResponder::start(std::function<void()> body)
{
    stop();
    m_stop = false;
    m_finished = false;
    m_thread = std::thread([this, body] {
        body();
        m_finished = true;
    });
}

void PtyResponder::script(const QList<ScriptedReply> &replies)
{
    start([this, replies] {
        for (const ScriptedReply &reply : replies) {
            if (readRequest().isEmpty())
                return;
            for (const ReplyChunk &chunk : reply) {
                std::this_thread::sleep_for(std::chrono::milliseconds(chunk.delayMs));
                if (m_stop || !writeAll(chunk.bytes))
                    return;
            }
        }
    });
}

void PtyResponder::stream(int chunkSize, int intervalMs)
{
    start([this, chunkSize, intervalMs] {
        if (readRequest().isEmpty())
            return;
        QByteArray chunk(chunkSize, '\0');
        for (int i = 0; i < chunkSize; ++i)
            chunk[i] = char('a' + i % 26);
        while (!m_stop && writeAll(chunk))
            std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
    });
}

bool PtyResponder::waitFinished(int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!m_finished && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return m_finished;
}

void PtyResponder::stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

QList<QByteArray> PtyResponder::requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

PtyResponder::Clock::time_point PtyResponder::lastWrite() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastWrite;
}

QByteArray PtyResponder::readRequest()
{
    QByteArray request;
    const auto deadline = Clock::now() + std::chrono::milliseconds(requestWaitMs);
    while (!m_stop && Clock::now() < deadline) {
        pollfd pfd{m_master, POLLIN, 0};
        const int waitMs = request.isEmpty() ? 20 : requestTailMs;
        const int ready = ::poll(&pfd, 1, waitMs);
        if (ready > 0 && (pfd.revents & POLLIN)) {
            char buf[256];
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n > 0) {
                request.append(buf, n);
                continue;
            }
        }
        if (!request.isEmpty())
            break;
    }
    if (!request.isEmpty()) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.append(request);
    }
    return request;
}

bool PtyResponder::writeAll(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        if (m_stop)
            return false;
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            m_written += n;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else {
            pollfd pfd{m_master, POLLOUT, 0};
            ::poll(&pfd, 1, 10);
        }
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lastWrite = Clock::now();
    return true;
}

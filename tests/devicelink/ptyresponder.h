// A scripted stand-in for a board on the far side of a pseudo-terminal: the
// test opens the slave path with the device link, and a thread on the master
// side reads each request and answers with scripted chunks and pauses.
#ifndef PTYRESPONDER_H
#define PTYRESPONDER_H

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

struct ReplyChunk
{
    int delayMs;      // pause before this chunk goes out
    QByteArray bytes;
};

// What the board does with one request; no chunks means it stays silent.
using ScriptedReply = QList<ReplyChunk>;

class PtyResponder
{
public:
    using Clock = std::chrono::steady_clock;

    PtyResponder();  // opens the pty in raw mode; check isOpen()
    ~PtyResponder(); // stops the thread and closes both ends

    PtyResponder(const PtyResponder &) = delete;
    PtyResponder &operator=(const PtyResponder &) = delete;

    bool isOpen() const { return m_master >= 0 && m_slave >= 0; }
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }
    int slaveFd() const { return m_slave; }

    // Answers the next requests in turn, one scripted reply each.
    void script(const QList<ScriptedReply> &replies);
    // After the next request, sends chunkSize bytes every intervalMs until stopped.
    void stream(int chunkSize, int intervalMs);
    // True once the script has been played out; false after timeoutMs.
    bool waitFinished(int timeoutMs);
    void stop();

    QList<QByteArray> requests() const;
    Clock::time_point lastWrite() const;
    qint64 bytesWritten() const { return m_written; }

private:
    void start(std::function<void()> body);
    QByteArray readRequest();
    bool writeAll(const QByteArray &bytes);

    int m_master = -1;
    int m_slave = -1; // kept open so the master never sees a hang-up
    QString m_slavePath;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{true};
    std::atomic<qint64> m_written{0};
    mutable std::mutex m_mutex;
    QList<QByteArray> m_requests;
    Clock::time_point m_lastWrite;
};

#endif // PTYRESPONDER_H

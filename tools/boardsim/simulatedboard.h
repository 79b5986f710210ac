// A simulated board of either family served on a pseudo-terminal, so that the
// configurator, its tests and its tools can talk to a "real" serial device
// without hardware. The board model is written from the board's side of the
// protocol and shares no code with the host's codec.
#ifndef SIMULATEDBOARD_H
#define SIMULATEDBOARD_H

#include <QByteArray>
#include <QList>
#include <QString>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// What the board is.
struct BoardIdentity
{
    uint16_t productCode = 0x08A3; // 0x08A3, 0x08A2 or 0x04F2
    uint8_t fwMajor = 1;
    uint8_t fwMinor = 3;
    uint32_t revId = 0x1001;
    uint32_t devId = 0x0415;
    uint32_t serial[3] = {0x00390021, 0x4E465009, 0x20383352}; // word 0 first on the wire

    // The serial as the configurator shows it: 24 hex digits (after an
    // optional "0x"), word 2 first, the word that goes last on the wire.
    // False, and the serial left as it was, for anything else.
    bool setSerial(const QString &shown);

    // A board of this product with the firmware it ships with (1.3 for the
    // switch boards, 0.1 for the trigger board).
    static BoardIdentity forProduct(uint16_t productCode)
    {
        BoardIdentity id;
        id.productCode = productCode;
        if (productCode == 0x04F2) {
            id.fwMajor = 0;
            id.fwMinor = 1;
        }
        return id;
    }
};

// How the board misbehaves. All default to a healthy USB virtual COM port.
struct BoardFaults
{
    bool silent = false;        // never answers
    int delayMs = 0;            // waits this long before answering
    int splitMs = 0;            // answers in two halves this far apart
    bool garbage = false;       // random bytes instead of replies
    bool stream = false;        // never falls quiet: sends bytes without pause
    int unplugAfter = -1;       // closes the device after this many requests (-1: never)
    int uartBaud = 0;           // >0: paced at 10 bits/byte of the line speed, silent on another speed
    bool wrongProduct = false;  // replies carry a product code of no family
    bool wrongFirmware = false; // replies carry a firmware version the host refuses
    // Configuration writes and set-defaults are received (and listed in
    // requests()) but not acted on: the stored configuration stays as it
    // was, and each is answered with a configuration reply carrying what the
    // board still holds, as a read would be. Writes for another board are
    // left unanswered as usual.
    bool ignoreWrites = false;
};

// The board's state and its answers, without any I/O. Not thread safe.
class BoardModel
{
public:
    explicit BoardModel(const BoardIdentity &identity = BoardIdentity());

    // What a configuration write or set-defaults does to the stored
    // configuration (see BoardFaults::ignoreWrites).
    enum class Writes {
        Stored,
        Ignored
    };

    // The reply to one complete request; empty when the board ignores it.
    // elapsedMs drives the live status values.
    QByteArray reply(const QByteArray &request, qint64 elapsedMs, Writes writes = Writes::Stored);

    // The switch board's receiver pulse is there for the first
    // pulsePresentMs of every pulseCycleMs and missing (failsafe outputs on)
    // for the rest.
    static constexpr qint64 pulseCycleMs = 12000;
    static constexpr qint64 pulsePresentMs = 10500;

    // Length of the request that starts the buffer, once enough of it has
    // arrived to tell; 0 while it cannot yet be told, -1 for a byte that
    // starts no request (the board drops it).
    static int requestLength(const QByteArray &pending);

    const BoardIdentity &identity() const { return m_identity; }
    QByteArray configPayload() const;                 // stored configuration, bytes 5.. of a config reply
    QByteArray factoryPayload() const;                // factory configuration, same layout
    bool setConfigPayload(const QByteArray &payload); // false (and kept) for another family's length

private:
    BoardIdentity m_identity;
    QByteArray m_config;
};

// One piece of a scripted reply: after pauseMs the bytes go out, and this
// happens `times` times in a row (untilReplaced: until the script is
// replaced). While a reply is under way the board reads nothing, so a long
// pause also lets the host's side of the line fill up.
struct ReplyChunk
{
    static constexpr int untilReplaced = -1;
    int pauseMs = 0;
    QByteArray bytes;
    int times = 1;
};

// A BoardModel behind a pseudo-terminal, served on its own thread.
class SimulatedBoard
{
public:
    // Scripted mode: whatever arrives until the line falls quiet is one
    // request, and the script decides the reply to it (no chunks: silence).
    // It runs on the serving thread. The model and the faults sit idle.
    using Script = std::function<QList<ReplyChunk>(const QByteArray &request)>;
    // A script that answers the next requests in turn, then stays silent.
    static Script repliesInTurn(const QList<QList<ReplyChunk>> &replies);

    explicit SimulatedBoard(const BoardIdentity &identity = BoardIdentity(), const BoardFaults &faults = BoardFaults());
    ~SimulatedBoard(); // stops and removes the link

    bool start(QString *error = nullptr); // opens the pty and starts serving
    void stop();
    bool isRunning() const;
    QString devicePath() const;           // slave side, e.g. /dev/pts/7
    bool createLink(const QString &path); // symlink to devicePath(), removed by stop()

    void setFaults(const BoardFaults &faults); // takes effect from the next request
    BoardFaults faults() const;
    void setIdentity(const BoardIdentity &identity); // a different board on the same line
    void replug();                                   // after an unplug: a new pty, serving again

    QList<QByteArray> requests() const; // every complete request received, oldest first
    void clearRequests();
    QByteArray storedConfig() const; // the model's configuration payload
    // Stores a configuration payload (bytes 5.. of a configuration reply)
    // before it returns, as if the board had been configured earlier; false
    // for a payload of another family's length.
    bool setStoredConfig(const QByteArray &payload);
    // The live status readings as they are at this time on the board's clock
    // (in ms; see BoardModel::pulseCycleMs), from the next status request on
    // and until changed; a negative time lets them follow real time again.
    void setStatusClock(qint64 ms);
    void setLogToStderr(bool on); // hex log of requests and replies

    // Replaces the model's answers with a script; an empty one goes back to
    // the model. A scripted reply still under way is cut off: once this
    // returns, nothing more of it goes out.
    void setScript(Script script);
    qint64 bytesWritten() const;                              // every byte the board sent so far
    std::chrono::steady_clock::time_point lastSentAt() const; // when the last of them went out

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

#endif // SIMULATEDBOARD_H

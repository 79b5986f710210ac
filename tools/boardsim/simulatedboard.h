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
#include <cstdint>
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
};

// The board's state and its answers, without any I/O. Not thread safe.
class BoardModel
{
public:
    explicit BoardModel(const BoardIdentity &identity = BoardIdentity());

    // The reply to one complete request; empty when the board ignores it.
    // elapsedMs drives the live status values.
    QByteArray reply(const QByteArray &request, qint64 elapsedMs);

    // Length of the request that starts the buffer, once enough of it has
    // arrived to tell; 0 while it cannot yet be told, -1 for a byte that
    // starts no request (the board drops it).
    static int requestLength(const QByteArray &pending);

    const BoardIdentity &identity() const { return m_identity; }
    QByteArray configPayload() const;  // stored configuration, bytes 5.. of a config reply
    QByteArray factoryPayload() const; // factory configuration, same layout
    void setConfigPayload(const QByteArray &payload);

private:
    BoardIdentity m_identity;
    QByteArray m_config;
};

// A BoardModel behind a pseudo-terminal, served on its own thread.
class SimulatedBoard
{
public:
    explicit SimulatedBoard(const BoardIdentity &identity = BoardIdentity(),
                            const BoardFaults &faults = BoardFaults());
    ~SimulatedBoard(); // stops and removes the link

    bool start(QString *error = nullptr); // opens the pty and starts serving
    void stop();
    bool isRunning() const;
    QString devicePath() const;            // slave side, e.g. /dev/pts/7
    bool createLink(const QString &path);  // symlink to devicePath(), removed by stop()

    void setFaults(const BoardFaults &faults); // takes effect from the next request
    BoardFaults faults() const;
    void setIdentity(const BoardIdentity &identity); // a different board on the same line
    void replug();                                   // after an unplug: a new pty, serving again

    QList<QByteArray> requests() const;        // every complete request received, oldest first
    void clearRequests();
    QByteArray storedConfig() const;           // the model's configuration payload
    void setLogToStderr(bool on);              // hex log of requests and replies

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

#endif // SIMULATEDBOARD_H

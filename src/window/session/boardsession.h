// The window's board session: opening a port and identifying the board on
// it, reading its configuration, the poll tick with its command queue (one
// exchange per tick, through the three globals below), the silence of a
// board that stops answering and the lost connection. It owns no widget:
// what the operator should see goes out as signals.
#ifndef HALVERO_BOARDSESSION_H
#define HALVERO_BOARDSESSION_H

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QTime>
#include <cstdint>
#include <memory>

#include "boardconfig.h"
#include "lostwrite.h"
#include "parachuteradiocomm.h"
#include "sessionevent.h"
#include "writetransaction.h"

#include <QTimer>

// One command waiting for its turn on the poll timer. A configuration write
// or a Set defaults carries its transaction, made at the click: what it
// writes is fixed then, and it takes as many ticks as its exchanges need.
struct action
{
    USBmessages kind;
    bool write;
    USBmsgOptions option;
    std::unique_ptr<WriteTransaction> transaction = nullptr;
};

// Oldest first; owns its actions until the tick that sends them.
extern QList<action *> commandQueue;
// The one device object, or null when there is none.
extern parachuteRadioComm *radioDevice;
// Poll timer: one exchange per tick while a board is connected.
extern QTimer *scanTimer;

class BoardSession : public QObject
{
    Q_OBJECT

public:
    explicit BoardSession(QObject *parent = nullptr);
    ~BoardSession() override;

    // Opens the port, identifies the board and reads its configuration;
    // polling starts only when that ends Connected. The event says how far
    // it got.
    SessionEvent open(const QString &port, int32_t baud);
    // Stops polling and lets the board go; WriteDropped names a write given
    // up unsent.
    SessionEvent close();

    bool connected() const { return radioDevice && radioDevice->isConnected(); }
    // The device object of the board, for what shows its record; null
    // without one.
    const parachuteRadioComm *device() const { return radioDevice; }
    // Each tick of the poll timer reaches `slot` of `receiver`, which runs
    // tick().
    template<typename Receiver>
    static void connectPollTicks(Receiver *receiver, void (Receiver::*slot)())
    {
        QObject::connect(scanTimer, &QTimer::timeout, receiver, slot);
    }
    bool identified() const { return connected() && radioDevice->isIdentified(); }
    QString port() const { return m_port; }
    int baud() const { return m_baud; }
    // What the board answered the last configuration read or write with:
    // what the page's untouched fields are written as.
    const BoardConfig &held() const { return m_held; }
    void setHeld(const BoardConfig &held) { m_held = held; }
    // Every open, close and lost connection starts a new one, so that a
    // decision the operator took for one board is not carried to another.
    int generation() const { return m_generation; }
    QTime lastReplyAt() const { return m_lastReplyAt; }
    const LostWrite &lostWrite() const { return m_lostWrite; }

    // Commands go into the queue only while a board is connected.
    void queueRead(USBmessages kind, USBmsgOptions option);
    void queueWrite(WriteTransaction::Operation operation, const BoardConfig &config);
    // A Save CONF of these very values already waits unsent.
    bool saveQueued(const QMap<QString, int> &values) const;
    // A Save CONF queued or under way carries exactly these edits.
    bool editsOnTheirWay(const QMap<QString, int> &edits) const;
    // The write transaction queued or under way, if any.
    const WriteTransaction *pendingWrite() const;
    // Empties the queue; WriteDropped names a write given up unsent.
    SessionEvent dropQueue();

    // One poll tick: a status request, or the next queued command.
    void tick();

signals:
    // A reply was decoded into the device record (identity, configuration
    // already in held(), dump or status).
    void replied(uint8_t kind);
    // A write took an exchange; `done` when it has ended.
    void writeStepped(const WriteTransaction &write, bool done);
    // A queued read ended (ConfigRead, DumpRead).
    void readEnded(const SessionEvent &event);
    // Three ticks without a decoded reply grey the live values out; the
    // next decoded reply brings them back.
    void silenceChanged(bool silent);
    // What the silence is (Silent), while no write that went out speaks
    // for it.
    void silent(const SessionEvent &event);
    // The link closed the port (a pulled cable): ConnectionLost, with the
    // write under way then, if any.
    void lost(const SessionEvent &event);

private:
    void decoded(uint8_t result);
    void noteTickResult(uint8_t result);

    BoardConfig m_held;
    QString m_port;
    int m_baud = 0;
    int m_generation = 0;
    int m_silentTicks = 0;
    bool m_silent = false;
    QTime m_lastReplyAt;
    LostWrite m_lostWrite;
};

#endif // HALVERO_BOARDSESSION_H

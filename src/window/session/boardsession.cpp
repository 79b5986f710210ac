// The board session: Connect's identification and first read, the poll
// tick and its queue, silence and the lost connection, in signals.
#include "boardsession.h"
#include "windowlog.h"

#include <QDateTime>
#include <QDebug>
#include <QTimer>
#include <optional>

#include "boardconnection.h"
#include "boardfamilies.h"
#include "confighistory.h"
#include "familyform.h"
#include "portdiagnosis.h"
#include "recordtext.h"

QList<action *> commandQueue;
parachuteRadioComm *radioDevice = nullptr;
// Created before the application object and never deleted: it outlives every
// window, and a window's connection to it ends with that window.
QTimer *scanTimer = new QTimer();

namespace {

// Actions still queued when the program ends are freed with the queue, so
// that leak checkers see a clean exit.
struct CommandQueueRelease
{
    ~CommandQueueRelease()
    {
        qDeleteAll(commandQueue);
        commandQueue.clear();
    }
} commandQueueRelease;

} // namespace

BoardSession::BoardSession(QObject *parent)
    : QObject(parent)
{}

BoardSession::~BoardSession()
{
    delete radioDevice; // closes the port
    radioDevice = nullptr;
}

SessionEvent BoardSession::open(const QString &port, int32_t baud)
{
    using Kind = SessionEvent::Kind;
    SessionEvent event;
    event.port = port;
    // What was queued for the previous board never reaches this one (the
    // operator was asked, or told, before it got here).
    dropQueue();
    m_silentTicks = 0;
    m_silent = false;
    m_held = BoardConfig(); // nothing read from this board yet

    // Only an object whose port never opened can still be here. The port is
    // shared, so the old object must go before the new one opens it.
    delete radioDevice;
    radioDevice = nullptr;
    BoardConnection board(ExchangeTiming::window());
    if (!board.open(port, baud)) {
        radioDevice = board.take().release();
        scanTimer->stop();
        event.kind = port.isEmpty() ? Kind::NoPortNamed : Kind::PortNotOpened;
        if (!port.isEmpty())
            event.refusal = describeOpenFailure(port, serialPort);
        return event;
    }
    m_port = port;

    const bool identified = board.identify();
    radioDevice = board.take().release();
    if (!identified) {
        // The port opened but no board identified: give it up at once.
        event.kind = Kind::NotIdentified;
        event.outcome = radioDevice->lastOutcome();
        event.facts = ExchangeText::factsOf(*radioDevice, port, baud);
        scanTimer->stop();
        delete radioDevice;
        radioDevice = nullptr;
        return event;
    }
    decoded(USBmsgIdentity);
    if (FamilyForm::pageName(recordFamily(*radioDevice)).isEmpty()) {
        event.kind = Kind::NoPage;
        return event;
    }

    // A page is shown only with values read from the board, so that Save CONF
    // never writes back the form's initial values.
    if (BoardConnection::read(*radioDevice, USBmsgConfig) != USBmsgConfig) {
        event.kind = Kind::ConfigUnread;
        event.outcome = radioDevice->lastOutcome();
        return event;
    }
    decoded(USBmsgConfig);
    m_lostWrite.settle(m_held, QStringLiteral("configurator"));
    m_lastReplyAt = QTime::currentTime();
    m_baud = baud;
    scanTimer->start(Protocol::pollIntervalMs);
    event.kind = Kind::Connected;
    event.productCode = productCodeText(*radioDevice);
    return event;
}

SessionEvent BoardSession::close()
{
    scanTimer->stop();
    const SessionEvent dropped = dropQueue();
    delete radioDevice;
    radioDevice = nullptr;
    m_silentTicks = 0;
    m_silent = false;
    return dropped;
}

void BoardSession::queueRead(USBmessages kind, USBmsgOptions option)
{
    commandQueue.append(new action{kind, false, option});
}

void BoardSession::queueWrite(WriteTransaction::Operation operation, const BoardConfig &config)
{
    const bool saving = operation != WriteTransaction::Operation::Defaults;
    std::optional<ConfigHistory::HistoryFile> history;
    if (!ConfigHistory::disabledByEnvironment())
        history.emplace();
    // The window keeps reading back until the board answers: its answer,
    // however late, is the outcome the operator is told.
    auto write = std::make_unique<WriteTransaction>(operation, config, history ? &*history : nullptr,
                                                    QStringLiteral("configurator"), 0);
    if (operation == WriteTransaction::Operation::Save)
        write->writeEditsOver(m_held);
    commandQueue.append(new action{saving ? USBmsgConfig : USBmsgSetDefaults, true, USBoptNone, std::move(write)});
}

bool BoardSession::saveQueued(const QMap<QString, int> &values) const
{
    if (commandQueue.isEmpty())
        return false;
    const action *last = commandQueue.last();
    return last->transaction && last->transaction->operation() == WriteTransaction::Operation::Save
           && !last->transaction->sent() && last->transaction->config().values == values;
}

bool BoardSession::editsOnTheirWay(const QMap<QString, int> &edits) const
{
    for (const action *queued : std::as_const(commandQueue))
        if (queued->transaction && queued->transaction->operation() == WriteTransaction::Operation::Save
            && !queued->transaction->finished() && queued->transaction->edits() == edits)
            return true;
    return false;
}

const WriteTransaction *BoardSession::pendingWrite() const
{
    for (const action *queued : std::as_const(commandQueue))
        if (queued->transaction && !queued->transaction->finished())
            return queued->transaction.get();
    return nullptr;
}

SessionEvent BoardSession::dropQueue()
{
    ++m_generation;
    SessionEvent dropped;
    if (commandQueue.isEmpty())
        return dropped;
    qCDebug(lcSession) << "Dropped" << commandQueue.size() << "queued commands";
    // A write given up is said, never dropped in silence; one in flight
    // says its own outcome.
    if (const WriteTransaction *write = pendingWrite(); write && !write->sent()) {
        dropped.kind = SessionEvent::Kind::WriteDropped;
        dropped.write = write->operation();
    }
    qDeleteAll(commandQueue);
    commandQueue.clear();
    return dropped;
}

void BoardSession::tick()
{
    if (!radioDevice)
        return;
    SessionEvent lostEvent;
    lostEvent.kind = SessionEvent::Kind::ConnectionLost;
    lostEvent.port = m_port;
    if (!radioDevice->isConnected()) {
        if (scanTimer->isActive())
            emit lost(lostEvent);
        return;
    }

    if (commandQueue.isEmpty()) {
        const uint8_t result = radioDevice->send(false, USBmsgStatus, USBoptNone);
        decoded(result);
        noteTickResult(result);
    } else if (commandQueue.first()->transaction) {
        // The page is not refreshed from the read before the write, only
        // from what the board holds at the end.
        action *next = commandQueue.first();
        WriteTransaction &write = *next->transaction;
        const bool done = write.step(*radioDevice);
        noteTickResult(write.lastResult());
        if (done && write.afterKnown() && write.outcome() != WriteTransaction::Outcome::ConnectionLost)
            m_held = write.after();
        emit writeStepped(write, done);
        if (write.outcome() == WriteTransaction::Outcome::ConnectionLost) {
            lostEvent.write = write.operation();
            lostEvent.writeSent = write.sent();
            lostEvent.outcomeAwaited = m_lostWrite.keep(write);
        }
        if (write.finished()) {
            commandQueue.removeOne(next);
            delete next;
        }
    } else {
        // Sent once and dropped whatever the outcome: a failed command is not
        // retried, the operator sees its effect (or none) on screen.
        std::unique_ptr<action> next(commandQueue.takeFirst());
        const uint8_t result = radioDevice->send(next->write, next->kind, next->option);
        decoded(result);
        noteTickResult(result);
        SessionEvent ended;
        ended.port = m_port;
        if (next->kind == USBmsgConfig) {
            ended.kind = SessionEvent::Kind::ConfigRead;
            ended.decoded = result == USBmsgConfig;
        } else if (next->kind == USBmsgEepromDump) {
            ended.kind = SessionEvent::Kind::DumpRead;
            ended.decoded = result == USBmsgEepromDump;
            ended.characters = int(dumpBody(*radioDevice).size());
        }
        if (!ended.isNone())
            emit readEnded(ended);
    }

    if (radioDevice && !radioDevice->isConnected())
        emit lost(lostEvent);
}

void BoardSession::decoded(uint8_t result)
{
    if (!radioDevice || recordFamily(*radioDevice) == BoardFamily::Unknown)
        return;
    if (result == USBmsgConfig) {
        m_held = configFromRecord(*radioDevice);
        m_held.readAt = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    }
    if (result != 0)
        emit replied(result);
}

void BoardSession::noteTickResult(uint8_t result)
{
    if (result != 0) {
        m_silentTicks = 0;
        m_lastReplyAt = QTime::currentTime();
        if (m_silent) {
            m_silent = false;
            emit silenceChanged(false);
        }
        return;
    }
    if (++m_silentTicks >= 3 && connected()) {
        if (!m_silent) {
            m_silent = true;
            emit silenceChanged(true);
        }
        // A write that went out says the silence in its own sentence; both,
        // one after the other, would take turns on the bar every poll.
        const action *next = commandQueue.isEmpty() ? nullptr : commandQueue.first();
        if (!next || !next->transaction || !next->transaction->sent()) {
            SessionEvent silence;
            silence.kind = SessionEvent::Kind::Silent;
            silence.port = m_port;
            silence.since = m_lastReplyAt;
            silence.outcome = radioDevice->lastOutcome();
            silence.late = radioDevice->lateReplyDropped();
            emit silent(silence);
        }
    }
}

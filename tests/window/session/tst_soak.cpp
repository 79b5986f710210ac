// Fault soak: the real window, offscreen, polls a simulated board over a
// pseudo-terminal for a thousand and more exchanges while the board keeps
// changing how it misbehaves (silence, split and late replies, noise, foreign
// product or firmware, a line that never falls quiet, a pulled cable) and an
// operator clicks Read CONF, Save CONF, EEPROM DUMP and Set defaults at
// random. Ticks are run directly for speed; the poll timer keeps running, so
// its own ticks (for instance while the Set defaults question is open) are
// watched the same way.
//
// Checked throughout: one exchange per tick, and every queued command's
// exchanges go on the wire in order, unless the cable was being pulled. A
// Save CONF or Set defaults stays at the front as one write transaction: the
// configuration read before it (tried twice; left unanswered, nothing is
// written), exactly one write, then read-backs until one is answered (none
// after a Save the board echoed with the page's values); the tick it ends,
// the status bar tells its outcome. A Save CONF writes its edits over what
// the read before it found; one whose edits leave trigger Low not below High
// asks first (answered No), and one repeating a Save not yet sent is
// dropped: neither queues anything. Set defaults succeeds only on the
// board's acknowledgement. A lost connection drops the queue, and clicks without a
// board are refused. Every write the board receives carries the product code
// and firmware the board identified itself with at Connect, at that family's
// length; the record keeps that identity whatever the line brings; the
// window, the device object and the timer stay in the polling state until
// the cable goes, and in the connection-lost state after; and, after a
// warm-up round, resident memory stays flat.
//
// HALVERO_SOAK_SEED replays a run's clicks and fault order (the simulator's
// noise is its own); HALVERO_SOAK_TRANSACTIONS sets the length.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <malloc.h>
#include <optional>
#include <random>
#include <thread>

#include "Halvero_configurator.h"
#include "boardconfig.h"
#include "boards.h"
#include "protocol.h"
#include "simulatedboard.h"
#include "ui_Halvero_configurator.h"
#include "windowfixture.h"
#include "windowprobe.h"

using Probe::Connection;

namespace {

constexpr qint64 MaxGrowthBytes = 1024 * 1024;
constexpr double ClickChance = 0.3;
// A streaming board is stopped after this long; left alone it would keep one
// exchange reading for the whole length limit (a byte every 2 ms).
constexpr int StreamMs = 400;

enum class Fault {
    Healthy,
    Silent,
    SplitWithinGap, // two halves 40 ms apart: still one reply
    SplitPastGap,   // 160 ms apart: the tail lands in the next reply
    LateReply,      // 150 ms late: every reply lands in the next exchange
    Garbage,
    WrongProduct,
    WrongFirmware,
    Stream,
    Unplug,
};
constexpr int FaultCount = int(Fault::Unplug) + 1;

const char *nameOf(Fault f)
{
    static const char *const names[FaultCount] = {"healthy",    "silent",  "split within gap", "split past gap",
                                                  "late reply", "garbage", "wrong product",    "wrong firmware",
                                                  "stream",     "unplug"};
    return names[int(f)];
}

BoardFaults faultsFor(Fault f)
{
    BoardFaults b;
    switch (f) {
    case Fault::Silent:
        b.silent = true;
        break;
    case Fault::SplitWithinGap:
        b.splitMs = 40;
        break;
    case Fault::SplitPastGap:
        b.splitMs = 160;
        break;
    case Fault::LateReply:
        b.delayMs = 150;
        break;
    case Fault::Garbage:
        b.garbage = true;
        break;
    case Fault::WrongProduct:
        b.wrongProduct = true;
        break;
    case Fault::WrongFirmware:
        b.wrongFirmware = true;
        break;
    case Fault::Stream:
        b.stream = true;
        break;
    case Fault::Healthy:
    case Fault::Unplug:
        break;
    }
    return b;
}

// Product code and firmware, as bytes 1-4 of every frame carry them.
QByteArray headerOf(const BoardIdentity &id)
{
    return TestSupport::frameHeader(id, 0).mid(1);
}

QByteArray recordHeader(const parachuteRadioComm &dev)
{
    return QByteArray() + char(dev.productCodeHigh) + char(dev.productCodeLow) + char(dev.fwVersionMajor)
           + char(dev.fwVersionMinor);
}

// What a request frame asks for, as the operator would name it.
QString commandOf(const QByteArray &frame)
{
    const auto k = frame.isEmpty() ? 0 : uint8_t(frame.at(0));
    if (frame.size() == 1 && k == USBmsgIdentity)
        return QStringLiteral("identity");
    if (frame.size() == 1 && k == USBmsgConfig)
        return QStringLiteral("read-conf");
    if (frame.size() == 1 && k == USBmsgStatus)
        return QStringLiteral("status");
    if (frame == QByteArray("\x03\x01", 2))
        return QStringLiteral("dump");
    if (k == USBmsgConfig && (frame.size() == 11 || frame.size() == 40))
        return QStringLiteral("save-conf");
    if (k == USBmsgSetDefaults && frame.size() == 5)
        return QStringLiteral("set-defaults");
    return QStringLiteral("unknown ") + QString::fromLatin1(frame.toHex());
}

// The request a queued command sends next: a transaction (a write) reads
// the configuration but for the one tick of its write.
QString requestOf(USBmessages kind, bool write, bool writesNext)
{
    if (write && writesNext)
        return kind == USBmsgConfig ? QStringLiteral("save-conf") : QStringLiteral("set-defaults");
    return kind == USBmsgEepromDump ? QStringLiteral("dump") : QStringLiteral("read-conf");
}

// A command the operator queued, as far as it has gone.
struct Queued
{
    enum Step {
        ReadBefore,
        Write,
        ReadBack
    };
    int id;
    USBmessages kind;
    bool write;
    QMap<QString, int> page = {};   // a Save CONF's values, as the page showed them at the click, then
                                    // (once read before the write) its edits over what the board held
    QMap<QString, int> edits = {};  // the fields the page showed unlike the board at the click
    QMap<QString, int> before = {}; // what the read before the write found
    Step step = ReadBefore;
    int unansweredReads = 0;
    bool writeAnswered = false;      // something came back to the write
    bool acknowledged = false;       // Set defaults: the board's acknowledgement came back
    QMap<QString, int> clicked = {}; // the page at the click, which a double click repeats
};

// One frame the window put on the wire, as the test accounts for it.
struct Sent
{
    QString command;
    int actionId;   // -1 for polls and the connect sequence
    bool mayBeLost; // written once the cable was set to be pulled
};

struct Messages
{
    int timeoutWrite = 0, timeoutRead = 0, tooLong = 0, otherBoard = 0, dropped = 0;
};
Messages messages;
QtMessageHandler previousHandler = nullptr;

void countMessages(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type != QtDebugMsg) {
        // The offscreen platform says so for every message box it shows.
        if (!text.contains(QLatin1String("propagateSizeHints")))
            previousHandler(type, context, text);
        return;
    }
    // The exchange log of a thousand transactions is only noise here.
    if (text.startsWith(QLatin1String("Timeout write")))
        ++messages.timeoutWrite;
    else if (text.startsWith(QLatin1String("Timeout read")))
        ++messages.timeoutRead;
    else if (text.startsWith(QLatin1String("Reply does not end")))
        ++messages.tooLong;
    else if (text.startsWith(QLatin1String("Reply from another board ignored")))
        ++messages.otherBoard;
    else if (text.startsWith(QLatin1String("Dropped ")))
        messages.dropped += text.section(QLatin1Char(' '), 1, 1).toInt();
}

qint64 settledResident()
{
    // Give freed heap back first, so that only memory still in use counts.
    ::malloc_trim(0);
    return Probe::residentBytes();
}

class Soak : public QObject
{
public:
    Soak(Halvero_configurator &window, SimulatedBoard &board, const BoardIdentity &identity, quint32 seed)
        : m_window(window)
        , m_ui(HalveroTestAccess::ui(window))
        , m_board(board)
        , m_identity(identity)
        , m_trigger(Protocol::familyOfProductCode(identity.productCode) == BoardFamily::Trigger04F2)
        , m_header(headerOf(identity))
        , m_rng(seed)
        , m_answerer(
              [this](const Probe::MessageBoxAnswerer::Seen &) {
                  return m_answerYes ? Probe::MessageBoxAnswerer::Yes : Probe::MessageBoxAnswerer::No;
              },
              // With the board gone the operator takes longer than a poll
              // tick to answer: the tick finds the port gone.
              [this] {
                  if (m_fault == Fault::Unplug && !m_board.isRunning())
                      QTest::qWait(400);
              })
    {
        // The page's configuration widgets by field.
        const auto field = [this](const QString &path, const QString &widget) {
            m_fields.insert(path, m_window.findChild<QWidget *>(widget.arg(m_trigger ? "04F2" : "08A3")));
        };
        field(QStringLiteral("trigger.activeLow"), QStringLiteral("check_%1_active_low"));
        field(QStringLiteral("trigger.high"), QStringLiteral("spin_%1_trig_high"));
        field(QStringLiteral("trigger.low"), QStringLiteral("spin_%1_trig_low"));
        for (int i = 0; !m_trigger && i < 12; ++i) {
            field(QStringLiteral("failsafe[%1]").arg(i), QStringLiteral("spin_%2_val_ch%1").arg(i + 1));
            if (i < 3) {
                field(QStringLiteral("groups[%1].bank").arg(i), QStringLiteral("combo_%2_gr%1_bank").arg(i + 1));
                field(QStringLiteral("groups[%1].refreshRate").arg(i), QStringLiteral("combo_%2_gr%1_frq").arg(i + 1));
            }
        }
        scanTimer->installEventFilter(this);
        m_afterTimerTick = connect(scanTimer, &QTimer::timeout, this, [this] {
            if (m_inTimerTick) {
                m_inTimerTick = false;
                afterTick();
            }
        });
    }
    ~Soak() override
    {
        scanTimer->removeEventFilter(this);
        disconnect(m_afterTimerTick);
    }

    QStringList failures;
    int transactions = 0;
    int ticksUnder[FaultCount] = {};
    int episodes[FaultCount] = {};
    int clicks = 0, refusedClicks = 0, answeredNo = 0, yesAfterLoss = 0, timerTicks = 0, refusedSaves = 0,
        repeatedSaves = 0, writesSent = 0, notSent = 0, readBacks = 0, dropped = 0, lostToUnplug = 0, writesChecked = 0,
        reconnects = 0;

    // One fault episode of about `ticks` exchanges, then a healthy stretch
    // that ends with the board's log checked and cleared.
    void runEpisode(Fault fault, int ticks)
    {
        ++episodes[int(fault)];
        switch (fault) {
        case Fault::Stream:
            runStream();
            break;
        case Fault::Unplug:
            runUnplug();
            break;
        default:
            setFault(fault);
            for (int i = 0; i < ticks && failures.isEmpty(); ++i)
                step();
            break;
        }
        setFault(Fault::Healthy);
        ++episodes[int(Fault::Healthy)];
        const int healthy = randomIn(3, 8);
        for (int i = 0; i < healthy && failures.isEmpty(); ++i)
            step();
        if (failures.isEmpty())
            checkpoint(false);
    }

    // Ticks until every queued command is out, then a last check.
    void drain()
    {
        setFault(Fault::Healthy);
        for (int guard = 0; guard < 200 && failures.isEmpty() && (!commandQueue.isEmpty() || guard < 3); ++guard)
            tick();
        if (failures.isEmpty())
            checkpoint(false);
        if (!commandQueue.isEmpty())
            fail(QStringLiteral("%1 commands still queued at the end").arg(commandQueue.size()));
    }

    bool connectFirst() { return reconnect(); }

    int randomIn(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }
    std::mt19937 &rng() { return m_rng; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == scanTimer && event->type() == QEvent::Timer
            && static_cast<QTimerEvent *>(event)->timerId() == scanTimer->timerId()) {
            ++timerTicks;
            m_inTimerTick = true;
            beforeTick();
        }
        return false;
    }

private:
    void fail(const QString &what)
    {
        if (failures.size() < 20)
            failures << QStringLiteral("[%1, transaction %2] %3")
                            .arg(QLatin1String(nameOf(m_fault)))
                            .arg(transactions)
                            .arg(what);
    }

    void expectStatus(const QString &start, const char *when)
    {
        const QString status = m_ui->statusbar->currentMessage();
        if (!status.startsWith(start))
            fail(QStringLiteral("status bar %1: \"%2\", expected \"%3...\"").arg(QLatin1String(when), status, start));
    }

    void setFault(Fault f)
    {
        m_fault = f;
        m_board.setFaults(faultsFor(f));
    }

    // One operator moment: maybe a click, then a tick; pending timer ticks
    // get their turn too.
    void step()
    {
        if (std::bernoulli_distribution(ClickChance)(m_rng))
            clickRandom();
        tick();
        QCoreApplication::processEvents();
    }

    void tick()
    {
        beforeTick();
        HalveroTestAccess::tick(m_window);
        afterTick();
    }

    void beforeTick()
    {
        ++ticksUnder[int(m_fault)];
        checkQueue("before a tick");
        m_connectedBeforeTick = radioDevice && radioDevice->isConnected();
        if (!m_connectedBeforeTick)
            return;
        QString command = QStringLiteral("status");
        int id = -1;
        if (!m_model.isEmpty()) {
            const Queued &front = m_model.first();
            command = requestOf(front.kind, front.write, front.step == Queued::Write);
            id = front.id;
        }
        m_sent.append({command, id, m_unplugArmed});
        ++transactions;
    }

    void afterTick()
    {
        const bool connected = radioDevice && radioDevice->isConnected();
        std::optional<Queued> cutShort; // the command whose exchange found the cable gone
        if (m_connectedBeforeTick && !m_model.isEmpty()) {
            if (connected)
                advance();
            else
                cutShort = m_model.takeFirst();
        }
        if (m_connected && !connected)
            connectionLost(cutShort);
        checkQueue("after a tick");
        const QString state = Probe::describeState(m_window);
        const QString expected =
            Probe::expectedState(m_connected ? Connection::Polling : Connection::Lost, m_identity.productCode);
        if (state != expected)
            fail(QStringLiteral("state %1, expected %2").arg(state, expected));
        watchRecordHeader();
    }

    // What the tick did to the command at the front. A read goes once; a
    // transaction moves on as the board's answers decide, and ends with its
    // outcome on the status bar.
    void advance()
    {
        Queued &q = m_model.first();
        if (!q.write) {
            m_model.removeFirst();
            return;
        }
        const ExchangeOutcome exchange = radioDevice->lastOutcome();
        const QByteArray reply = radioDevice->lastReply();
        const bool config =
            exchange == ExchangeOutcome::Decoded && !reply.isEmpty() && uint8_t(reply.at(0)) == USBmsgConfig;
        QString outcome; // how the status bar starts once the transaction ends
        switch (q.step) {
        case Queued::ReadBefore:
            if (config) {
                q.step = Queued::Write;
                q.before = configFromRecord(*radioDevice).values;
                // The edits go over what the board holds now.
                if (q.kind == USBmsgConfig) {
                    q.page = configFromRecord(*radioDevice).values;
                    for (auto it = q.edits.cbegin(); it != q.edits.cend(); ++it)
                        q.page[it.key()] = it.value();
                }
            } else if (exchange == ExchangeOutcome::NeverQuiet)
                outcome = QStringLiteral("The device on ");
            else if (++q.unansweredReads == 2)
                outcome = QStringLiteral("Nothing written: the board did not answer the read before the write");
            notSent += outcome.isEmpty() ? 0 : 1;
            break;
        case Queued::Write:
            ++writesSent;
            q.step = Queued::ReadBack;
            q.writeAnswered = !reply.isEmpty() && exchange != ExchangeOutcome::NeverQuiet;
            q.acknowledged = exchange == ExchangeOutcome::Acknowledged;
            if (q.kind == USBmsgConfig && config && holds(q.page))
                outcome = QStringLiteral("Configuration saved: ");
            break;
        case Queued::ReadBack:
            ++readBacks;
            if (!config)
                expectStatus(QStringLiteral("No answer since "), "while a read-back goes unanswered");
            else if (q.kind == USBmsgSetDefaults)
                // A board that already held its defaults is told so.
                outcome = QLatin1String(q.acknowledged && holds(q.before) ? "The board acknowledged Set defaults; its "
                                                                            "configuration is unchanged"
                                        : q.acknowledged                  ? "Defaults restored: "
                                        : q.writeAnswered                 ? "The board did not acknowledge Set defaults"
                                                                          : "The board did not answer Set defaults");
            else
                outcome =
                    QLatin1String(holds(q.page) ? "Configuration saved: "
                                                : "Configuration written, but the board holds other values for: ");
            break;
        }
        if (!outcome.isEmpty()) {
            m_model.removeFirst();
            expectStatus(outcome, "as a transaction ends");
        }
    }

    // The configuration just decoded has these values.
    static bool holds(const QMap<QString, int> &values)
    {
        const BoardConfig board = configFromRecord(*radioDevice);
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            if (board.values.value(it.key(), -1) != it.value())
                return false;
        return true;
    }

    // Only a pulled cable may end the connection; whatever was queued for
    // the board goes with it.
    void connectionLost(const std::optional<Queued> &cutShort)
    {
        m_connected = false;
        dropped += int(m_model.size());
        m_model.clear();
        if (m_fault != Fault::Unplug)
            fail(QStringLiteral("connection lost without a pulled cable"));
        expectStatus(QStringLiteral("Connection lost at "), "after the connection was lost");
        // A transaction cut short tells whether its write may have gone out.
        // Due next, it may have found the port gone before writing anything;
        // it never says so of a write the board took (its last request).
        const QString status = m_ui->statusbar->currentMessage();
        const QList<QByteArray> received = m_board.requests();
        const bool writeReached = !received.isEmpty() && received.last().size() > 2;
        const bool nothingWritten = status.endsWith(QLatin1String(" nothing was written."));
        const bool unknown = status.endsWith(QLatin1String(" is not known."));
        const bool told = cutShort && cutShort->step == Queued::ReadBefore ? nothingWritten
                          : cutShort && cutShort->step == Queued::Write ? unknown || (nothingWritten && !writeReached)
                                                                        : unknown;
        if (cutShort && cutShort->write && !told)
            fail(QStringLiteral("status bar after a transaction was cut short: \"%1\"").arg(status));
    }

    // After identification the record keeps the board's product code and
    // firmware whatever arrives: noise, a foreign reply or a reply's tail.
    void watchRecordHeader()
    {
        if (!radioDevice)
            return;
        const QByteArray header = recordHeader(*radioDevice);
        if (header != m_header)
            fail(QStringLiteral("after a \"%1\" reply the record names %2, the board identified as %3")
                     .arg(QLatin1String(nameOf(m_fault)), QString::fromLatin1(header.toHex()),
                          QString::fromLatin1(m_header.toHex())));
    }

    // A write goes to the identified board only: its header, its family's
    // length. Every write the board received is checked, expected or not.
    void checkWrite(const QByteArray &frame)
    {
        const auto kind = frame.isEmpty() ? 0 : uint8_t(frame.at(0));
        const bool write = (kind == USBmsgConfig && frame.size() > 1) || kind == USBmsgSetDefaults;
        if (!write)
            return;
        ++writesChecked;
        const int length = kind == USBmsgSetDefaults ? 5 : m_trigger ? 11 : 40;
        if (frame.size() != length || frame.mid(1, 4) != m_header)
            fail(QStringLiteral("write %1 is not a %2-byte frame for the board identified as %3")
                     .arg(QString::fromLatin1(frame.toHex()))
                     .arg(length)
                     .arg(QString::fromLatin1(m_header.toHex())));
    }

    void checkQueue(const char *when)
    {
        QStringList queue, model;
        const auto name = [](USBmessages kind, bool write, bool writesNext) {
            return requestOf(kind, write, writesNext) + (write ? " of " + requestOf(kind, true, true) : QString());
        };
        for (const action *a : std::as_const(commandQueue))
            queue << name(a->kind, a->write, a->transaction && a->transaction->writesNext());
        for (const Queued &q : std::as_const(m_model))
            model << name(q.kind, q.write, q.step == Queued::Write);
        if (queue != model)
            fail(QStringLiteral("%1: the queue holds [%2], expected [%3]")
                     .arg(QLatin1String(when), queue.join(QLatin1String(", ")), model.join(QLatin1String(", "))));
    }

    // Picks 0-2 read the configuration, 3 edits the page and saves, 4 saves
    // the page as it stands with a double click, 5 dumps, 6 and 7 ask Set
    // defaults and answer Yes and No.
    void clickRandom(int pick = -1)
    {
        ++clicks;
        const bool trigger = m_trigger;
        if (pick < 0)
            pick = randomIn(0, 7);
        const int id = m_nextId++;
        // Without a board every click is refused; none asks the question.
        const bool connected = m_connected;
        const int asked = m_answerer.answered();
        std::optional<Queued> queued;
        if (pick <= 2) {
            m_ui->tab_all->setCurrentIndex(0);
            m_answerYes = true; // page edits a refused save left are discarded
            (trigger ? m_ui->btn_04F2_ReadConf : m_ui->btn_08A3_ReadConf)->click();
            queued = Queued{id, USBmsgConfig, false};
        } else if (pick <= 4) {
            m_ui->tab_all->setCurrentIndex(0);
            if (pick == 3)
                editPage();
            clickSave(id);
            if (pick == 4)
                clickSave(m_nextId++); // a double click
        } else if (pick == 5) {
            m_ui->tab_all->setCurrentIndex(1);
            m_ui->btnEEPROM_DUMP->click();
            queued = Queued{id, USBmsgEepromDump, false};
        } else {
            // The question runs a nested event loop; the timer keeps ticking,
            // and may find the cable gone: a Yes then resets nothing.
            m_answerYes = pick == 6;
            m_ui->tab_all->setCurrentIndex(0);
            (trigger ? m_ui->btn_04F2_SetDefaults : m_ui->btn_08A3_SetDefaults)->click();
            if (m_answerer.answered() != asked + (connected ? 1 : 0))
                fail(connected ? QStringLiteral("Set defaults asked nothing")
                               : QStringLiteral("Set defaults asked without a board"));
            if (m_answerer.stuck() > 0)
                fail(QStringLiteral("the Set defaults question did not close on its answer"));
            if (connected) {
                if (!m_answerYes)
                    ++answeredNo;
                else if (!m_connected)
                    ++yesAfterLoss;
                else
                    queued = Queued{id, USBmsgSetDefaults, true};
            }
        }
        if (!connected) {
            // The lost board's page stays greyed: its buttons take no click.
            ++refusedClicks;
            if (m_ui->tab_all->currentWidget() && m_ui->tab_all->currentWidget()->isEnabled())
                fail(QStringLiteral("the lost board's page is not greyed"));
        } else if (queued && m_connected) {
            m_model.append(*queued);
        }
        checkQueue("after a click");
    }

    // Save CONF asks when the edits cross trigger Low and High (answered No
    // here: nothing queued), is dropped when it repeats a Save not yet
    // sent, else queued.
    void clickSave(int id)
    {
        const QMap<QString, int> page = pageValues();
        const BoardConfig held = HalveroTestAccess::boardHeld(m_window);
        QMap<QString, int> edits;
        for (auto it = page.cbegin(); it != page.cend(); ++it)
            if (held.values.value(it.key()) != it.value())
                edits.insert(it.key(), it.value());
        const int asked = m_answerer.answered();
        m_answerYes = false;
        (m_trigger ? m_ui->btn_04F2_SaveConf : m_ui->btn_08A3_SaveConf)->click();
        const Queued *last = m_model.isEmpty() ? nullptr : &m_model.last();
        if (!m_connected)
            return; // refused, as every click without a board
        const bool crossed =
            page.value(QStringLiteral("trigger.low")) >= page.value(QStringLiteral("trigger.high"))
            && (edits.contains(QStringLiteral("trigger.low")) || edits.contains(QStringLiteral("trigger.high")));
        if (m_answerer.answered() != asked + (crossed ? 1 : 0))
            fail(QStringLiteral("Save CONF asked %1 questions over a pair %2crossed by the edits")
                     .arg(m_answerer.answered() - asked)
                     .arg(crossed ? QString() : QStringLiteral("not ")));
        if (crossed) {
            ++refusedSaves;
        } else if (last && last->write && last->kind == USBmsgConfig && last->step != Queued::ReadBack
                   && last->clicked == page) {
            ++repeatedSaves;
        } else {
            Queued save{id, USBmsgConfig, true, page, edits};
            save.clicked = page;
            m_model.append(save);
        }
        checkQueue("after a Save CONF");
    }

    // Values an operator might type, the trigger's Low below its High three
    // times in four. One switch board edit in three puts channels 5 and 6 at
    // 1026 and 1266 (0x0402, 0x04F2): bytes 20-22 of the configuration then
    // read 02 04 F2, so the tail of a reply split past the quiet gap starts
    // like a 04F2 board's configuration reply.
    void editPage()
    {
        for (QWidget *w : std::as_const(m_fields)) {
            if (auto *combo = qobject_cast<QComboBox *>(w))
                combo->setCurrentIndex(randomIn(0, combo->count() - 1));
            else if (auto *spin = qobject_cast<QSpinBox *>(w))
                spin->setValue(randomIn(spin->minimum(), spin->maximum()));
            else if (auto *check = qobject_cast<QCheckBox *>(w))
                check->setChecked(randomIn(0, 1));
        }
        const auto spin = [this](const char *path) {
            return qobject_cast<QSpinBox *>(m_fields.value(QLatin1String(path)));
        };
        if (randomIn(0, 3) > 0 && spin("trigger.high")->value() > spin("trigger.low")->minimum())
            spin("trigger.low")->setValue(randomIn(spin("trigger.low")->minimum(), spin("trigger.high")->value() - 1));
        if (!m_trigger && randomIn(0, 2) == 0) {
            spin("failsafe[4]")->setValue(0x0402);
            spin("failsafe[5]")->setValue(0x04F2);
        }
    }

    // The page's values by field, as a Save CONF clicked now writes them.
    QMap<QString, int> pageValues() const
    {
        QMap<QString, int> values;
        for (auto it = m_fields.cbegin(); it != m_fields.cend(); ++it) {
            if (const auto *combo = qobject_cast<const QComboBox *>(*it))
                values[it.key()] =
                    combo->currentData().isValid() ? combo->currentData().toInt() : combo->currentIndex();
            else if (const auto *spin = qobject_cast<const QSpinBox *>(*it))
                values[it.key()] = spin->value();
            else if (const auto *check = qobject_cast<const QCheckBox *>(*it))
                values[it.key()] = check->isChecked() ? 1 : 0;
        }
        return values;
    }

    // The board babbles from the next request on; a helper thread quiets it
    // while the exchange is still reading, since the GUI thread is blocked.
    void runStream()
    {
        setFault(Fault::Stream);
        std::thread quieter([this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(StreamMs));
            m_board.setFaults(faultsFor(Fault::Healthy));
        });
        tick();
        quieter.join();
    }

    // The cable goes after a few more requests; the window finds the port
    // gone and lets go of the board. The operator keeps clicking for a while,
    // then plugs the board in again, at a new device path, and connects.
    void runUnplug()
    {
        setFault(Fault::Healthy);
        m_fault = Fault::Unplug;
        BoardFaults pull;
        pull.unplugAfter = randomIn(1, 4);
        m_unplugArmed = true;
        const qsizetype pulledAfter = m_board.requests().size() + pull.unplugAfter;
        m_board.setFaults(pull);
        for (int i = 0; i < 40 && m_connected && failures.isEmpty(); ++i) {
            // The board has gone and the window has not noticed yet: what the
            // operator queues now goes with the connection, and a Yes to Set
            // defaults given while the poll tick finds the port gone resets
            // nothing.
            if (m_board.requests().size() >= pulledAfter && waitForPull()) {
                for (int c = randomIn(1, 3); c > 0; --c)
                    clickRandom(randomIn(0, 5));
                clickRandom(6);
            }
            step();
        }
        if (!waitForPull())
            fail(QStringLiteral("the board was never pulled"));
        else if (m_connected)
            fail(QStringLiteral("the window never noticed the pulled cable"));
        // Clicks without a board are refused, and ticks send nothing.
        for (int i = 0; i < 3 && failures.isEmpty(); ++i) {
            clickRandom();
            tick();
        }
        if (!failures.isEmpty())
            return;

        checkpoint(true);
        m_board.setFaults(faultsFor(Fault::Healthy));
        m_board.replug();
        m_unplugArmed = false;
        m_fault = Fault::Healthy;
        reconnect();
    }

    bool waitForPull()
    {
        QElapsedTimer waited;
        waited.start();
        while (m_board.isRunning() && waited.elapsed() < 1000)
            QTest::qSleep(10);
        return !m_board.isRunning();
    }

    bool reconnect()
    {
        ++reconnects;
        if (!m_board.isRunning()) {
            fail(QStringLiteral("the board did not come back"));
            return false;
        }
        m_sent.append({QStringLiteral("identity"), -1, false});
        m_sent.append({QStringLiteral("read-conf"), -1, false});
        transactions += 2;
        Probe::connectTo(m_window, m_board.devicePath());
        const QString state = Probe::describeState(m_window);
        const QString expected = Probe::expectedState(Connection::Polling, m_identity.productCode);
        if (state != expected) {
            fail(QStringLiteral("after Connect: %1, expected %2").arg(state, expected));
            return false;
        }
        m_connected = true;
        watchRecordHeader();
        return failures.isEmpty();
    }

    // The board's log against what the window sent since the last check. A
    // pulled board has received a prefix of it; everything else must match
    // one for one, commands in the order they were queued.
    void checkpoint(bool boardGone)
    {
        QList<QByteArray> received = m_board.requests();
        if (!boardGone) {
            QElapsedTimer waited;
            waited.start();
            while (received.size() < m_sent.size() && waited.elapsed() < 2000) {
                QTest::qSleep(10);
                received = m_board.requests();
            }
        }
        for (const QByteArray &frame : received)
            checkWrite(frame);
        if (received.size() > m_sent.size() || (!boardGone && received.size() != m_sent.size())) {
            QStringList got, sent;
            for (const QByteArray &r : received)
                got << commandOf(r);
            for (const Sent &s : m_sent)
                sent << s.command;
            fail(QStringLiteral("board received %1 requests [%2], window sent %3 [%4]")
                     .arg(received.size())
                     .arg(got.join(' '))
                     .arg(m_sent.size())
                     .arg(sent.join(' ')));
            return;
        }
        for (qsizetype i = 0; i < m_sent.size(); ++i) {
            const Sent &s = m_sent.at(i);
            if (i >= received.size()) {
                if (!s.mayBeLost)
                    fail(QStringLiteral("%1 (command %2) never reached the board").arg(s.command).arg(s.actionId));
                else
                    ++lostToUnplug;
                continue;
            }
            const QByteArray &frame = received.at(i);
            if (commandOf(frame) != s.command) {
                fail(QStringLiteral("request %1: board received %2, window sent %3 (command %4)")
                         .arg(i)
                         .arg(commandOf(frame), s.command)
                         .arg(s.actionId));
                return;
            }
            // A transaction's exchanges share its command's number.
            if (s.actionId >= 0) {
                if (s.actionId < m_lastIdOnWire)
                    fail(QStringLiteral("command %1 went out after command %2").arg(s.actionId).arg(m_lastIdOnWire));
                m_lastIdOnWire = s.actionId;
            }
        }
        m_board.clearRequests();
        m_sent.clear();
    }

    Halvero_configurator &m_window;
    Ui_Halvero_configurator *m_ui;
    SimulatedBoard &m_board;
    const BoardIdentity m_identity;
    const bool m_trigger;      // the board is of the 04F2 family
    const QByteArray m_header; // as the board identifies itself at Connect
    std::mt19937 m_rng;
    Probe::MessageBoxAnswerer m_answerer;
    QMetaObject::Connection m_afterTimerTick;

    QMap<QString, QWidget *> m_fields; // the page's configuration widgets by field

    Fault m_fault = Fault::Healthy;
    QList<Queued> m_model;
    QList<Sent> m_sent;
    int m_nextId = 0;
    int m_lastIdOnWire = -1;
    bool m_answerYes = false;
    bool m_inTimerTick = false;
    bool m_connected = false; // as far as the soak has seen
    bool m_connectedBeforeTick = false;
    bool m_unplugArmed = false;
};

int envInt(const char *name, int fallback)
{
    bool ok = false;
    const int v = qEnvironmentVariableIntValue(name, &ok);
    return ok ? v : fallback;
}

} // namespace

class tst_Soak : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void faultSoak_data();
    void faultSoak();
};

void tst_Soak::initTestCase()
{
    previousHandler = qInstallMessageHandler(countMessages);
}

void tst_Soak::cleanup()
{
    WindowFixture::resetGlobals();
}

void tst_Soak::faultSoak_data()
{
    QTest::addColumn<int>("productCode");
    // Run as two processes side by side (see CMakeLists.txt): the exchanges
    // are paced by the 100 ms quiet gap, not by the processor.
    QTest::newRow("08A3") << 0x08A3;
    QTest::newRow("04F2") << 0x04F2;
}

void tst_Soak::faultSoak()
{
    QFETCH(int, productCode);
    const int target = envInt("HALVERO_SOAK_TRANSACTIONS", 1000);
    const quint32 seed = quint32(envInt("HALVERO_SOAK_SEED", int(QRandomGenerator::system()->generate() & 0x7fffffff)));
    qInfo("seed %u (HALVERO_SOAK_SEED=%u replays the clicks and the fault order), %d transactions", seed, seed, target);
    messages = Messages();

    const BoardIdentity identity = TestSupport::identityOf(productCode);
    SimulatedBoard board(identity);
    QString error;
    QVERIFY2(board.start(&error), qPrintable(error));
    Halvero_configurator window;
    // The soak plugs the board back in and presses Connect itself: the
    // window waits for it, the lost board's page greyed.
    window.findChild<QAction *>(QStringLiteral("actionAutoReconnect"))->setChecked(false);
    window.show();
    Soak soak(window, board, identity, seed);
    QVERIFY2(soak.connectFirst(), qPrintable(soak.failures.join('\n')));

    QElapsedTimer clock;
    clock.start();
    QList<Fault> round;
    for (int f = 1; f < FaultCount; ++f)
        round << Fault(f);

    // The first round visits every fault and every command once, so that
    // whatever the window allocates once for good is in place.
    qint64 baseline = -1;
    int rounds = 0;
    while (soak.failures.isEmpty() && (soak.transactions < target || rounds == 0)) {
        std::shuffle(round.begin(), round.end(), soak.rng());
        for (Fault f : round) {
            soak.runEpisode(f, soak.randomIn(4, 16));
            if (!soak.failures.isEmpty() || (rounds > 0 && soak.transactions >= target))
                break;
        }
        if (++rounds == 1)
            baseline = settledResident();
    }
    soak.drain();
    const qint64 finalResident = settledResident();

    QStringList faults;
    for (int f = 0; f < FaultCount; ++f)
        faults << QStringLiteral("%1: %2 episodes, %3 ticks")
                      .arg(QLatin1String(nameOf(Fault(f))))
                      .arg(soak.episodes[f])
                      .arg(soak.ticksUnder[f]);
    qInfo("%d transactions in %.1f s (%d rounds, %d ticks from the poll timer, %d reconnects)", soak.transactions,
          clock.elapsed() / 1000.0, rounds, soak.timerTicks, soak.reconnects);
    qInfo("faults: %s", qPrintable(faults.join(QStringLiteral("; "))));
    qInfo("%d clicks (%d refused without a board; Save CONF: %d refused, %d repeats dropped; Set defaults: %d "
          "answered No, %d Yes after the board was lost); transactions: %d writes, %d not sent for want of a read "
          "before, %d read-backs; %d commands dropped with a lost connection; %d requests lost to a pulled cable; "
          "%d writes checked against the identified board",
          soak.clicks, soak.refusedClicks, soak.refusedSaves, soak.repeatedSaves, soak.answeredNo, soak.yesAfterLoss,
          soak.writesSent, soak.notSent, soak.readBacks, soak.dropped, soak.lostToUnplug, soak.writesChecked);
    qInfo("exchange log: %d write time-outs, %d read time-outs, %d replies cut off, %d replies of another "
          "board ignored, %d queued commands dropped",
          messages.timeoutWrite, messages.timeoutRead, messages.tooLong, messages.otherBoard, messages.dropped);
    qInfo("resident memory after warm-up %.2f MiB, at the end %.2f MiB (%+lld KiB)", baseline / 1048576.0,
          finalResident / 1048576.0, (finalResident - baseline) / 1024);

    QVERIFY2(soak.failures.isEmpty(), qPrintable(soak.failures.join('\n')));
    QVERIFY(soak.transactions >= target);
    QCOMPARE(messages.dropped, soak.dropped);
    if (Probe::memoryIsInstrumented()) {
        qInfo("memory growth not judged: the address sanitizer holds freed memory back");
    } else {
        QVERIFY2(finalResident - baseline < MaxGrowthBytes,
                 qPrintable(QStringLiteral("resident memory grew by %1 KiB").arg((finalResident - baseline) / 1024)));
    }
}

QTEST_MAIN(tst_Soak)
#include "tst_soak.moc"

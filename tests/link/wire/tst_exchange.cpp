// Whole exchanges of the device link over a pseudo-terminal, with a simulated
// board playing scripted replies: what goes on the wire, what is logged, how
// the reply is delimited by the quiet gap, and how the port is set up and shut.
#include <QtTest>

#include "hex.h"
#include "logcapture.h"
#include "parachuteradiocomm.h"
#include "recordstate.h"
#include "simulatedboard.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <memory>

using namespace TestSupport;

Q_DECLARE_METATYPE(ExchangeOutcome)

namespace {

using Clock = std::chrono::steady_clock;

qint64 msSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

const QByteArray status08A3 = hex("04 08a3 0103  00 05dc 0032 01 00");
const QByteArray otherStatus08A3 = hex("04 08a3 0103  00 0640 0064 00 01");

// The quiet gap is 100 ms; the upper bound leaves room for a loaded machine
// or a sanitizer build.
constexpr qint64 quietGapLowMs = 95;
constexpr qint64 quietGapHighMs = 700;

} // namespace

class tst_exchange : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void exchange_data();
    void exchange();
    void replyEndsAfterQuietGap();
    void splitReply_data();
    void splitReply();
    void silentBoard();
    void lineBlocked();
    void lineSettings_data();
    void lineSettings();
    void construction_data();
    void construction();
    void destructorClosesPort();
    void endlessReply_data();
    void endlessReply();
};

void tst_exchange::cleanup()
{
    // The port is global: a failing test must not leave it to the next one.
    if (serialPort.isOpen())
        serialPort.close();
}

void tst_exchange::exchange_data()
{
    QTest::addColumn<QByteArray>("stored"); // header the record holds beforehand
    QTest::addColumn<bool>("write");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("option");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("request"); // empty: nothing may reach the board
    QTest::addColumn<int>("result");
    QTest::addColumn<ExchangeOutcome>("outcome");
    QTest::addColumn<QStringList>("log");

    QTest::newRow("status poll") << QByteArray() << false << 4 << 0 << status08A3 << hex("04") << 4
                                 << ExchangeOutcome::Decoded
                                 << QStringList{R"(Sending read cmd  "04")", R"(Result  "0408a301030005dc00320100")"};
    QTest::newRow("config read answered with status")
        << QByteArray() << false << 2 << 0 << status08A3 << hex("02") << 4 << ExchangeOutcome::Decoded
        << QStringList{R"(Sending read cmd  "02")", R"(Result  "0408a301030005dc00320100")"};
    QTest::newRow("identity") << QByteArray() << false << 1 << 1
                              << hex("01 04f2 0001  00001001 00000415 00390021 4e465009 20383352") << hex("01") << 1
                              << ExchangeOutcome::Decoded
                              << QStringList{R"(Sending read cmd  "01")",
                                             R"(Result  "0104f200010000100100000415003900214e46500920383352")"};
    QTest::newRow("dump request") << QByteArray() << false << 3 << 1 << hex("03 04f2 0001 00") << hex("0301") << 0
                                  << ExchangeOutcome::Undecodable
                                  << QStringList{R"(Sending read cmd  "0301")", R"(Result  "0304f2000100")"};
    QTest::newRow("04F2 config write") << hex("04f2 0001") << true << 2 << 0 << hex("02 04f2 0001  2a 01 0640 0578")
                                       << hex("02 04f2 0001 00 00 0000 0000") << 2 << ExchangeOutcome::Decoded
                                       << QStringList{R"(Sending write cmd  "0204f20001000000000000")",
                                                      R"(Result  "0204f200012a0106400578")"};
    QTest::newRow("08A3 set defaults, acknowledged")
        << hex("08a3 0103") << true << 5 << 0 << hex("05 08a3 0103") << hex("05 08a3 0103") << 0
        << ExchangeOutcome::Acknowledged
        << QStringList{R"(Sending write cmd  "0508a30103")", R"(Result  "0508a30103")"};
    QTest::newRow("write without a known product") << QByteArray() << true << 2 << 0 << status08A3 << QByteArray() << 0
                                                   << ExchangeOutcome::NotEncodable << QStringList();
    QTest::newRow("dump read without option") << QByteArray() << false << 3 << 0 << status08A3 << QByteArray() << 0
                                              << ExchangeOutcome::NotEncodable << QStringList();

    // The tail of an identity reply that paused past the quiet gap, come
    // after its exchange had ended: its bytes read as product code 0039.
    const QByteArray tail = hex("15 0039 0021 4e465009 20383352");
    QTest::newRow("status behind a late tail")
        << QByteArray() << false << 4 << 0 << tail + status08A3 << hex("04") << 4 << ExchangeOutcome::Decoded
        << QStringList{R"(Sending read cmd  "04")", QString(R"(Result  "%1")").arg((tail + status08A3).toHex()),
                       QString(R"(Dropping 13 bytes ahead of the reply's header: "%1")").arg(tail.toHex())};
    QTest::newRow("a late tail alone") << QByteArray() << false << 1 << 0 << tail << hex("01") << 0
                                       << ExchangeOutcome::Undecodable
                                       << QStringList{R"(Sending read cmd  "01")",
                                                      QString(R"(Result  "%1")").arg(tail.toHex()),
                                                      "No reply header in 13 bytes"};
}

void tst_exchange::exchange()
{
    QFETCH(QByteArray, stored);
    QFETCH(bool, write);
    QFETCH(int, kind);
    QFETCH(int, option);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, request);
    QFETCH(int, result);
    QFETCH(ExchangeOutcome, outcome);
    QFETCH(QStringList, log);

    SimulatedBoard board;
    board.setScript(SimulatedBoard::repliesInTurn({{{0, reply}}}));
    QVERIFY(board.start());

    parachuteRadioComm device(board.devicePath(), 115200);
    QVERIFY(device.isConnected());
    if (!stored.isEmpty()) {
        device.productCodeHigh = uchar(stored[0]);
        device.productCodeLow = uchar(stored[1]);
        device.fwVersionMajor = uchar(stored[2]);
        device.fwVersionMinor = uchar(stored[3]);
    }

    LogCapture capture;
    QCOMPARE(int(device.send(write, USBmessages(kind), USBmsgOptions(option))), result);
    QCOMPARE(device.lastOutcome(), outcome);
    QCOMPARE(capture.lines(), log);

    if (request.isEmpty()) {
        // Nothing went out: the next exchange is the board's first, and the
        // scripted reply is still there for it.
        QCOMPARE(int(device.send(false, USBmsgStatus, USBoptNone)), 4);
        QCOMPARE(board.requests(), QList<QByteArray>{hex("04")});
    } else {
        QCOMPARE(board.requests(), QList<QByteArray>{request});
    }
}

void tst_exchange::replyEndsAfterQuietGap()
{
    SimulatedBoard board;
    board.setScript(SimulatedBoard::repliesInTurn(
        {{{0, status08A3.left(4)}, {20, status08A3.mid(4, 4)}, {20, status08A3.mid(8)}}}));
    QVERIFY(board.start());
    parachuteRadioComm device(board.devicePath(), 115200);
    QVERIFY(device.isConnected());

    LogCapture capture;
    QCOMPARE(int(device.send(false, USBmsgStatus, USBoptNone)), 4);
    const qint64 afterLastByte = msSince(board.lastSentAt());
    QVERIFY2(afterLastByte >= quietGapLowMs && afterLastByte <= quietGapHighMs,
             qPrintable(QString("returned %1 ms after the last byte").arg(afterLastByte)));
    QCOMPARE(device.triggerValue, uint16_t(1500));
    QCOMPARE(capture.lines(), QStringList({R"(Sending read cmd  "04")", R"(Result  "0408a301030005dc00320100")"}));
}

void tst_exchange::splitReply_data()
{
    QTest::addColumn<int>("gapMs");
    QTest::addColumn<int>("firstResult");
    QTest::addColumn<QByteArray>("firstReply");
    QTest::addColumn<QByteArray>("dropped"); // before the second request
    QTest::addColumn<bool>("askedAtOnce");   // not waiting for the late half to land

    // The gaps keep a wide margin to the 100 ms quiet gap, so that a loaded
    // machine's scheduling delays cannot move them across it.
    QTest::newRow("25 ms apart: one reply") << 25 << 4 << status08A3 << QByteArray() << false;
    // The late half is dropped before the next request, not taken for the
    // front of its reply.
    QTest::newRow("250 ms apart: two replies") << 250 << 0 << status08A3.left(6) << status08A3.mid(6) << false;
    // A reply cut short may have more on the way: the line is let fall quiet
    // before the next request (200 ms after the first gave up, the half
    // comes 100 ms after it did).
    QTest::newRow("200 ms apart, asked again at once") << 200 << 0 << status08A3.left(6) << status08A3.mid(6) << true;
}

void tst_exchange::splitReply()
{
    QFETCH(int, gapMs);
    QFETCH(int, firstResult);
    QFETCH(QByteArray, firstReply);
    QFETCH(QByteArray, dropped);
    QFETCH(bool, askedAtOnce);

    SimulatedBoard board;
    board.setScript(
        SimulatedBoard::repliesInTurn({{{0, status08A3.left(6)}, {gapMs, status08A3.mid(6)}}, {{0, otherStatus08A3}}}));
    QVERIFY(board.start());
    parachuteRadioComm device(board.devicePath(), 115200);
    QVERIFY(device.isConnected());

    {
        LogCapture capture;
        QCOMPARE(int(device.send(false, USBmsgStatus, USBoptNone)), firstResult);
        QCOMPARE(capture.lines().value(1), QString("Result  \"%1\"").arg(firstReply.toHex()));
    }

    // Let the late half land before the next request goes out.
    if (!askedAtOnce)
        QTRY_VERIFY_WITH_TIMEOUT(board.bytesWritten() == status08A3.size(), 2000);

    LogCapture capture;
    QCOMPARE(int(device.send(false, USBmsgStatus, USBoptNone)), 4);
    QStringList log{R"(Sending read cmd  "04")", QString("Result  \"%1\"").arg(otherStatus08A3.toHex())};
    if (!dropped.isEmpty())
        log.prepend(QString("Discarding %1 bytes left over: \"%2\"").arg(dropped.size()).arg(dropped.toHex()));
    QCOMPARE(capture.lines(), log);
}

void tst_exchange::silentBoard()
{
    BoardFaults silent;
    silent.silent = true;
    SimulatedBoard board(BoardIdentity(), silent);
    QVERIFY(board.start());
    parachuteRadioComm device(board.devicePath(), 9600);
    QVERIFY(device.isConnected());
    fillWithSentinels(device);
    const QVariantMap before = recordSnapshot(device);

    LogCapture capture;
    const auto start = Clock::now();
    QCOMPARE(int(device.send(false, USBmsgIdentity, USBoptNone)), 0);
    const qint64 elapsed = msSince(start);
    QCOMPARE(capture.lines(), QStringList({R"(Sending read cmd  "01")", "Timeout read"}));
    QVERIFY2(elapsed >= quietGapLowMs && elapsed <= quietGapHighMs,
             qPrintable(QString("gave up after %1 ms").arg(elapsed)));
    const QString diff = recordDifferences(recordSnapshot(device), before);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
}

void tst_exchange::lineBlocked()
{
    SimulatedBoard board;
    // Busy with a reply that does not come, the board reads nothing more.
    board.setScript(SimulatedBoard::repliesInTurn({{{60000, QByteArray()}}}));
    QVERIFY(board.start());
    parachuteRadioComm device(board.devicePath(), 115200);
    QVERIFY(device.isConnected());
    const int line = int(serialPort.handle());
    QCOMPARE(::write(line, "x", 1), ssize_t(1));
    QTRY_COMPARE_WITH_TIMEOUT(board.requests().size(), 1, 2000);

    // Fill the line towards the board until it takes no more: the request
    // can then not go out.
    fcntl(line, F_SETFL, fcntl(line, F_GETFL) | O_NONBLOCK);
    // The kernel moves data on to the reading side behind our back, freeing
    // room again, so keep topping up until a pass gets nothing in.
    const QByteArray filler(4096, 'x');
    qint64 filled = 0;
    for (qint64 pass = 1; pass > 0; filled += pass) {
        pass = 0;
        for (ssize_t n; (n = ::write(line, filler.constData(), size_t(filler.size()))) > 0;)
            pass += n;
        QTest::qSleep(20);
    }
    QVERIFY(filled > 0);

    LogCapture capture;
    QCOMPARE(int(device.send(false, USBmsgStatus, USBoptNone)), 0);
    QCOMPARE(capture.lines(), QStringList({R"(Sending read cmd  "04")", "Timeout write"}));

    // The board reads again and drains the line, so that closing the port
    // has nothing to wait for.
    board.setScript(nullptr);
}

void tst_exchange::lineSettings_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("speed");
    QTest::addColumn<int>("earlierFlow"); // what the port was last set to, to be undone

    const struct
    {
        int baud;
        speed_t speed;
    } rates[] = {{1200, B1200},   {2400, B2400},   {4800, B4800},   {9600, B9600},
                 {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};
    int row = 0;
    for (const auto &rate : rates) {
        const auto flow = row++ % 2 ? QSerialPort::SoftwareControl : QSerialPort::HardwareControl;
        QTest::addRow("%d", rate.baud) << rate.baud << int(rate.speed) << int(flow);
    }
}

void tst_exchange::lineSettings()
{
    QFETCH(int, baud);
    QFETCH(int, speed);
    QFETCH(int, earlierFlow);

    SimulatedBoard board;
    QVERIFY(board.start());
    // The port keeps its settings between connections and applies them when
    // it opens; the constructor has to override every one of them.
    serialPort.setBaudRate(baud == 2400 ? 4800 : 2400);
    serialPort.setDataBits(QSerialPort::Data7);
    serialPort.setParity(QSerialPort::EvenParity);
    serialPort.setStopBits(QSerialPort::TwoStop);
    serialPort.setFlowControl(QSerialPort::FlowControl(earlierFlow));

    parachuteRadioComm device(board.devicePath(), baud);
    QVERIFY(device.isConnected());

    // A pty always reports 8 data bits and no parity, and glibc has one
    // speed for both directions, so those are checked on the port as well.
    QCOMPARE(serialPort.baudRate(QSerialPort::Input), baud);
    QCOMPARE(serialPort.baudRate(QSerialPort::Output), baud);
    QCOMPARE(serialPort.dataBits(), QSerialPort::Data8);
    QCOMPARE(serialPort.parity(), QSerialPort::NoParity);
    QCOMPARE(serialPort.stopBits(), QSerialPort::OneStop);
    QCOMPARE(serialPort.flowControl(), QSerialPort::NoFlowControl);

    // The terminal's own settings, which both of its ends share.
    termios tio;
    QCOMPARE(tcgetattr(int(serialPort.handle()), &tio), 0);
    QCOMPARE(int(cfgetospeed(&tio)), speed);
    QCOMPARE(int(cfgetispeed(&tio)), speed);
    QCOMPARE(tio.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(tio.c_cflag & PARENB, tcflag_t(0));
    QCOMPARE(tio.c_cflag & CSTOPB, tcflag_t(0));
    QCOMPARE(tio.c_cflag & CRTSCTS, tcflag_t(0));
    QCOMPARE(tio.c_iflag & (IXON | IXOFF), tcflag_t(0));
}

void tst_exchange::construction_data()
{
    QTest::addColumn<bool>("earlierOpen"); // another object holds the port on the first pty
    QTest::addColumn<QString>("name");     // "first" / "second" stand for the two ptys
    QTest::addColumn<QString>("talksTo");  // the pty the new object reaches, "" for none

    QTest::newRow("empty name, port closed") << false << QString() << QString();
    QTest::newRow("empty name leaves an open port alone") << true << QString() << "first";
    QTest::newRow("missing device") << false << "/dev/halvero-no-such-port" << QString();
    QTest::newRow("missing device after an open port") << true << "/dev/halvero-no-such-port" << QString();
    QTest::newRow("second port") << false << "second"
                                 << "second";
    QTest::newRow("second port while the first is open") << true << "second"
                                                         << "second";
}

void tst_exchange::construction()
{
    QFETCH(bool, earlierOpen);
    QFETCH(QString, name);
    QFETCH(QString, talksTo);

    SimulatedBoard first;
    SimulatedBoard second;
    QVERIFY(first.start() && second.start());
    auto pathOf = [&](const QString &which) {
        return which == "first" ? first.devicePath() : which == "second" ? second.devicePath() : which;
    };

    std::unique_ptr<parachuteRadioComm> earlier;
    if (earlierOpen) {
        earlier = std::make_unique<parachuteRadioComm>(first.devicePath(), 9600);
        QVERIFY(earlier->isConnected());
    }
    parachuteRadioComm device(pathOf(name), 9600);
    QCOMPARE(device.isConnected(), !talksTo.isEmpty());

    SimulatedBoard &reached = talksTo == "first" ? first : second;
    SimulatedBoard &other = talksTo == "first" ? second : first;

    LogCapture capture;
    const int result = device.send(false, USBmsgStatus, USBoptNone);
    // Give a request that should not exist time to show up.
    QTest::qSleep(50);
    if (talksTo.isEmpty()) {
        QCOMPARE(result, 0);
        QCOMPARE(capture.lines(), QStringList());
        QCOMPARE(first.requests().size() + second.requests().size(), 0);
    } else {
        QCOMPARE(result, 4);
        QCOMPARE(reached.requests(), QList<QByteArray>{hex("04")});
        QCOMPARE(other.requests(), QList<QByteArray>());
    }
}

void tst_exchange::destructorClosesPort()
{
    SimulatedBoard board;
    QVERIFY(board.start());
    auto device = std::make_unique<parachuteRadioComm>(board.devicePath(), 9600);
    QVERIFY(device->isConnected());
    QVERIFY(serialPort.isOpen());

    device.reset();
    QVERIFY(!serialPort.isOpen());
    parachuteRadioComm next(QString(), 9600);
    QVERIFY(!next.isConnected());
}

void tst_exchange::endlessReply_data()
{
    QTest::addColumn<int>("chunk");
    QTest::addColumn<int>("intervalMs");
    QTest::addColumn<bool>("cutBySize");
    // Bigger chunks than the pty hands over in one read, so that bytes are
    // still waiting in the line when the reply is cut off.
    QTest::newRow("flood") << 8192 << 5 << true;
    // Never quiet for 100 ms (a byte every 25 ms leaves a wide margin on a
    // loaded machine), yet far too slow to reach the size cap.
    QTest::newRow("trickle") << 1 << 25 << false;
}

void tst_exchange::endlessReply()
{
    QFETCH(int, chunk);
    QFETCH(int, intervalMs);
    QFETCH(bool, cutBySize);
    QByteArray bytes(chunk, '\0');
    for (int i = 0; i < chunk; ++i)
        bytes[i] = char('a' + i % 26);
    SimulatedBoard board;
    board.setScript(SimulatedBoard::repliesInTurn({{{intervalMs, bytes, ReplyChunk::untilReplaced}}}));
    QVERIFY(board.start());
    parachuteRadioComm device(board.devicePath(), 115200);
    QVERIFY(device.isConnected());

    LogCapture capture;
    const auto start = Clock::now();
    QCOMPARE(int(device.send(false, USBmsgStatus, USBoptNone)), 0);
    const qint64 elapsed = msSince(start);
    // The window must be back within 3 s on a fast line.
    QVERIFY2(elapsed < 3000, qPrintable(QString("cut off after %1 ms").arg(elapsed)));
    QCOMPARE(device.lastOutcome(), ExchangeOutcome::NeverQuiet);

    const QStringList lines = capture.lines();
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], QString(R"(Sending read cmd  "04")"));
    const QRegularExpressionMatch match =
        QRegularExpression(R"(^Reply does not end (\d+) bytes in (\d+) ms$)").match(lines[1]);
    QVERIFY2(match.hasMatch(), qPrintable(lines[1]));
    const qint64 taken = match.captured(1).toLongLong();
    if (cutBySize) {
        // Cut off at the first read past the limit; one read takes far less
        // than this slack.
        QVERIFY(taken > parachuteRadioComm::maxReplyLength);
        QVERIFY2(taken <= parachuteRadioComm::maxReplyLength + 32 * 1024,
                 qPrintable(QString("read %1 bytes").arg(taken)));
    } else {
        QVERIFY(taken < 100);
        QVERIFY(match.captured(2).toInt() >= Protocol::maxReplyDurationMs(115200));
    }

    // Nothing the board sent is thrown away: what the cut-off reply did not
    // take is still there for the next exchange.
    board.setScript(nullptr);
    qint64 waiting = serialPort.readAll().size();
    while (serialPort.waitForReadyRead(200))
        waiting += serialPort.readAll().size();
    QCOMPARE(taken + waiting, board.bytesWritten());
}

QTEST_GUILESS_MAIN(tst_exchange)
#include "tst_exchange.moc"

// Checks the simulated board against the wire layouts the host decodes, and
// its behaviour on a real pseudo-terminal: framing, reopening, UART pacing, a
// pulled cable, writes it ignores, state set directly and scripted replies.
// Host tests lean on it, so its faults would hide theirs.
#include "boards.h"
#include "hex.h"
#include "simulatedboard.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace TestSupport;

namespace {

const char *const factory08A3 = "000000"
                                "000000"
                                "03e803e803e803e803e803e803e803e803e803e803e803e8"
                                "00"
                                "0640"
                                "0578";
const char *const factory04F2 = "01"
                                "00"
                                "0640"
                                "0578";
// Stored configurations unlike the factory ones and unlike each other.
const char *const stored08A3 = "010001"
                               "000101"
                               "05dc05dd05de05df05e005e105e205e305e405e505e605e7"
                               "01"
                               "0700"
                               "0320";
const char *const stored04F2 = "07"
                               "01"
                               "0700"
                               "0320";

struct Received
{
    QByteArray bytes;
    qint64 firstMs = -1; // since the request was written
    qint64 lastMs = -1;
};

// Reads like the host does: until the line has been quiet for quietMs. The
// board writes an unpaced reply in one go, so a short gap is enough.
Received readReply(int fd, const QElapsedTimer &since, int firstTimeoutMs, int quietMs = 50)
{
    Received r;
    int timeout = firstTimeoutMs;
    // A line that never falls quiet is a fault in itself: give up on it.
    while (since.elapsed() < firstTimeoutMs + 3000) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeout) <= 0 || !(p.revents & POLLIN))
            return r;
        char buf[256];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            return r;
        if (r.firstMs < 0)
            r.firstMs = since.elapsed();
        r.lastMs = since.elapsed();
        r.bytes.append(buf, int(n));
        timeout = quietMs;
    }
    return r;
}

Received exchange(int fd, const QByteArray &request, int firstTimeoutMs = 1000)
{
    QElapsedTimer t;
    t.start();
    if (::write(fd, request.constData(), size_t(request.size())) != request.size())
        return {};
    return readReply(fd, t, firstTimeoutMs);
}

int openDevice(const QString &path)
{
    return ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY);
}

} // namespace

class TestBoardSim : public QObject
{
    Q_OBJECT

private slots:
    void replyBytes_data();
    void replyBytes();
    void statusLives_data();
    void statusLives();
    void configWriteStoredAndRestored_data();
    void configWriteStoredAndRestored();
    void requestLength_data();
    void requestLength();
    void ptyRoundTrip_data();
    void ptyRoundTrip();
    void faultsOnTheWire_data();
    void faultsOnTheWire();
    void uartSpeed_data();
    void uartSpeed();
    void unplugAndReplug();
    void ignoredWrites_data();
    void ignoredWrites();
    void storedConfigSetDirectly_data();
    void storedConfigSetDirectly();
    void statusClockPinned_data();
    void statusClockPinned();
    void scriptedReplies_data();
    void scriptedReplies();
    void scriptCutOff();
};

void TestBoardSim::replyBytes_data()
{
    QTest::addColumn<int>("product");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("identity 08A3") << 0x08A3 << hex("01")
                                   << hex("0108a30103"
                                          "00000001"
                                          "00010000"
                                          "00000001"
                                          "00000002"
                                          "00000003");
    QTest::newRow("identity 08A2") << 0x08A2 << hex("01")
                                   << hex("0108a20002"
                                          "00002a5f"
                                          "00000415"
                                          "deadbeef"
                                          "0000abcd"
                                          "89abcdef");
    QTest::newRow("identity 04F2") << 0x04F2 << hex("01")
                                   << hex("0104f20001"
                                          "00001001"
                                          "ffffffff"
                                          "00390021"
                                          "4e465009"
                                          "20383352");
    QTest::newRow("config 08A3 factory") << 0x08A3 << hex("02") << hex("0208a30103") + hex(factory08A3);
    QTest::newRow("config 04F2 factory") << 0x04F2 << hex("02")
                                         << hex("0204f20001"
                                                "01"
                                                "00"
                                                "0640"
                                                "0578");
    QTest::newRow("set defaults ack") << 0x08A3 << hex("0508a30103") << hex("0508a30103");
    QTest::newRow("set defaults, other fw still acked") << 0x04F2 << hex("0504f20203") << hex("0504f20001");
    QTest::newRow("set defaults for 08A3 to an 08A2") << 0x08A2 << hex("0508a30103") << QByteArray();
    QTest::newRow("config write for 04F2 to 08A3") << 0x08A3
                                                   << hex("0204f20001"
                                                          "01000640"
                                                          "0578")
                                                   << QByteArray();
    QTest::newRow("dump without option") << 0x08A3 << hex("0300") << QByteArray();
    QTest::newRow("unknown kind") << 0x04F2 << hex("07") << QByteArray();
}

void TestBoardSim::replyBytes()
{
    QFETCH(int, product);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    BoardModel model(identityOf(product));
    QCOMPARE(model.reply(request, 0).toHex(), reply.toHex());
}

void TestBoardSim::statusLives_data()
{
    QTest::addColumn<int>("product");
    QTest::newRow("08A3") << 0x08A3;
    QTest::newRow("08A2") << 0x08A2;
    QTest::newRow("04F2") << 0x04F2;
}

void TestBoardSim::statusLives()
{
    QFETCH(int, product);
    const bool trigger = isTriggerBoard(product);
    BoardModel model(identityOf(product));
    QSet<QByteArray> distinct;
    bool sawPresent = false, sawMissing = false;
    // Sample a few minutes of polling; every reading must stay plausible.
    for (qint64 ms = 0; ms < 300000; ms += 300) {
        const QByteArray r = model.reply(hex("04"), ms);
        QCOMPARE(r.size(), trigger ? 20 : 12);
        QCOMPARE(r.left(3), QByteArray::fromHex("04") + char(product >> 8) + char(product & 0xFF));
        distinct.insert(r.mid(5));
        auto b = [&r](int i) { return double(uint8_t(r.at(i))); };
        if (trigger) {
            QVERIFY2(b(6) * 0.5 - 25 >= 21.5 && b(6) * 0.5 - 25 <= 30.0, qPrintable(r.toHex()));
            QVERIFY2(b(19) / 5 >= 12.0 && b(19) / 5 <= 12.8, qPrintable(r.toHex()));
            QVERIFY2(b(11) / 10 > 5 && b(11) / 10 < 15, qPrintable(r.toHex()));
            QVERIFY(b(10) >= b(9)); // the peak never below the live current
        } else {
            const int pulse = int(b(6)) << 8 | int(b(7));
            const int freq = int(b(8)) << 8 | int(b(9));
            const bool present = r.at(10) != 0;
            QCOMPARE(r.at(11) != 0, !present); // failsafe exactly while the pulse is missing
            if (present) {
                QVERIFY2(pulse >= 1000 && pulse <= 2000, qPrintable(r.toHex()));
                QVERIFY2(freq >= 45 && freq <= 55, qPrintable(r.toHex()));
            }
            (present ? sawPresent : sawMissing) = true;
        }
    }
    QVERIFY2(distinct.size() > 20, "the readings hardly move");
    if (!trigger)
        QVERIFY(sawPresent && sawMissing);
}

void TestBoardSim::configWriteStoredAndRestored_data()
{
    QTest::addColumn<int>("product");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("dumpLine"); // the dump shows what was stored

    QTest::newRow("08A3") << 0x08A3
                          << hex("010200"
                                 "000101"
                                 "04b004b104b204b304b404b504b604b704b804b904ba07d0"
                                 "01"
                                 "04d2"
                                 "0457")
                          << QStringLiteral("failsafe=1200,1201,1202,1203,1204,1205,1206,1207,1208,1209,1210,2000\n");
    QTest::newRow("08A2") << 0x08A2
                          << hex("000000"
                                 "000000"
                                 "03e803e803e803e803e803e803e803e803e803e803e803e8"
                                 "01"
                                 "04d2"
                                 "0457")
                          << QStringLiteral("trig_high=1234\n");
    QTest::newRow("04F2") << 0x04F2
                          << hex("08"
                                 "01"
                                 "0700"
                                 "0320")
                          << QStringLiteral("gain=8\n");
}

void TestBoardSim::configWriteStoredAndRestored()
{
    QFETCH(int, product);
    QFETCH(QByteArray, payload);
    QFETCH(QString, dumpLine);
    const BoardIdentity id = identityOf(product);
    BoardModel model(id);
    const QByteArray header = frameHeader(id, 0x02);

    QCOMPARE(model.reply(header + payload, 0).toHex(), (header + payload).toHex());
    QCOMPARE(model.configPayload().toHex(), payload.toHex());
    QCOMPARE(model.reply(hex("02"), 0).toHex(), (header + payload).toHex());

    const QByteArray dump = model.reply(hex("0301"), 0);
    QVERIFY(dump.startsWith(hex("03") + header.mid(1) + hex("01")));
    const QString text = QString::fromLatin1(dump.mid(6));
    QVERIFY2(text.contains(dumpLine), qPrintable(text));
    // The hex lines start with the product code and the stored payload.
    const QByteArray image = header.mid(1) + payload;
    QVERIFY2(text.contains(QLatin1String("0000: ") + QString::fromLatin1(image.left(16).toHex(' ').toUpper())),
             qPrintable(text));

    QByteArray defaults = header;
    defaults[0] = 5;
    QCOMPARE(model.reply(defaults, 0).toHex(), defaults.toHex());
    QCOMPARE(model.configPayload().toHex(), model.factoryPayload().toHex());
    QVERIFY(model.configPayload() != payload);
}

void TestBoardSim::requestLength_data()
{
    QTest::addColumn<QByteArray>("pending");
    QTest::addColumn<int>("length");

    QTest::newRow("nothing yet") << QByteArray() << 0;
    QTest::newRow("identity") << hex("01") << 1;
    QTest::newRow("status, next one behind") << hex("0401") << 1;
    QTest::newRow("lone config byte") << hex("02") << 0;
    QTest::newRow("config read then identity") << hex("0201") << 1;
    QTest::newRow("config read then status") << hex("0204") << 0;
    QTest::newRow("config read then status then identity") << hex("020401") << 1;
    QTest::newRow("04F2 write") << hex("0204f2") << 11;
    QTest::newRow("08A3 write") << hex("0208a3") << 40;
    QTest::newRow("08A2 write") << hex("0208a2") << 40;
    QTest::newRow("dump marker pending") << hex("03") << 0;
    QTest::newRow("dump") << hex("0301") << 2;
    QTest::newRow("set defaults") << hex("05") << 5;
    QTest::newRow("zero byte") << hex("00") << -1;
    QTest::newRow("kind 6") << hex("06") << -1;
    QTest::newRow("noise") << hex("ff01") << -1;
}

void TestBoardSim::requestLength()
{
    QFETCH(QByteArray, pending);
    QFETCH(int, length);
    QCOMPARE(BoardModel::requestLength(pending), length);
}

void TestBoardSim::ptyRoundTrip_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("replyLength");
    QTest::addColumn<bool>("reopen"); // the application closed and reopened the port first
    QTest::addColumn<QByteArrayList>("recorded");

    QTest::newRow("identity") << hex("01") << 25 << false << QByteArrayList{hex("01")};
    QTest::newRow("identity after reopen") << hex("01") << 25 << true << QByteArrayList{hex("01")};
    QTest::newRow("lone config read, ended by quiet") << hex("02") << 40 << false << QByteArrayList{hex("02")};
    QTest::newRow("config read and status in one go")
        << hex("0204") << 52 << false << QByteArrayList{hex("02"), hex("04")};
    QTest::newRow("config write") << hex("0208a30103") + hex(factory08A3) << 40 << false
                                  << QByteArrayList{hex("0208a30103") + hex(factory08A3)};
    QTest::newRow("status") << hex("04") << 12 << true << QByteArrayList{hex("04")};
    QTest::newRow("noise before status is dropped") << hex("ff0004") << 12 << false << QByteArrayList{hex("04")};
    QTest::newRow("cut-short write is dropped") << hex("0208a30103") << 0 << false << QByteArrayList();
}

void TestBoardSim::ptyRoundTrip()
{
    QFETCH(QByteArray, request);
    QFETCH(int, replyLength);
    QFETCH(bool, reopen);
    QFETCH(QByteArrayList, recorded);

    SimulatedBoard board;
    QString error;
    QVERIFY2(board.start(&error), qPrintable(error));
    QVERIFY(board.isRunning());
    if (reopen) {
        const int first = openDevice(board.devicePath());
        QVERIFY(first >= 0);
        ::close(first);
    }
    const int fd = openDevice(board.devicePath());
    QVERIFY(fd >= 0);
    // Still raw for a client that does not set the line up: an echo would
    // send the board its own reply back.
    termios t{};
    QCOMPARE(::tcgetattr(fd, &t), 0);
    QCOMPARE(t.c_lflag & (ECHO | ICANON), tcflag_t(0));
    const Received r = exchange(fd, request, replyLength > 0 ? 1000 : 300);
    ::close(fd);
    QCOMPARE(r.bytes.size(), replyLength);
    if (replyLength > 0)
        QCOMPARE(r.bytes.left(5).toHex(), (recorded.first().left(1) + hex("08a30103")).toHex());
    QCOMPARE(board.requests(), recorded);
}

void TestBoardSim::faultsOnTheWire_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("silent") << QStringLiteral("silent");
    QTest::newRow("wrong product") << QStringLiteral("wrongProduct");
    QTest::newRow("wrong firmware") << QStringLiteral("wrongFirmware");
    QTest::newRow("garbage") << QStringLiteral("garbage");
    QTest::newRow("delay") << QStringLiteral("delay");
    QTest::newRow("split") << QStringLiteral("split");
}

void TestBoardSim::faultsOnTheWire()
{
    QFETCH(QString, fault);
    BoardFaults f;
    f.silent = fault == QLatin1String("silent");
    f.wrongProduct = fault == QLatin1String("wrongProduct");
    f.wrongFirmware = fault == QLatin1String("wrongFirmware");
    f.garbage = fault == QLatin1String("garbage");
    f.delayMs = fault == QLatin1String("delay") ? 200 : 0;
    f.splitMs = fault == QLatin1String("split") ? 60 : 0;

    SimulatedBoard board(BoardIdentity(), f);
    QVERIFY(board.start());
    const int fd = openDevice(board.devicePath());
    QVERIFY(fd >= 0);
    QElapsedTimer t;
    t.start();
    QCOMPARE(::write(fd, "\x01", 1), ssize_t(1));
    // A short quiet gap, so a split reply arrives as two parts.
    const Received first = readReply(fd, t, f.silent ? 300 : 1000, 30);
    const Received rest = readReply(fd, t, 200, 30);
    ::close(fd);
    const QByteArray good = BoardModel(BoardIdentity()).reply(hex("01"), 0);

    if (f.silent) {
        QVERIFY(first.bytes.isEmpty());
    } else if (f.wrongProduct) {
        QCOMPARE(first.bytes.toHex(), (good.left(1) + hex("0999") + good.mid(3)).toHex());
    } else if (f.wrongFirmware) {
        QCOMPARE(first.bytes.toHex(), (good.left(3) + hex("0909") + good.mid(5)).toHex());
    } else if (f.garbage) {
        QVERIFY(first.bytes.size() >= 1 && first.bytes.size() <= 40);
        QVERIFY(first.bytes != good);
    } else if (f.delayMs) {
        QCOMPARE(first.bytes, good);
        QVERIFY2(first.firstMs >= f.delayMs * 8 / 10, qPrintable(QString::number(first.firstMs)));
    } else {
        QCOMPARE(first.bytes + rest.bytes, good);
        QVERIFY(!first.bytes.isEmpty() && !rest.bytes.isEmpty());
        QVERIFY2(rest.firstMs - first.lastMs >= f.splitMs * 8 / 10,
                 qPrintable(QStringLiteral("%1 %2").arg(first.lastMs).arg(rest.firstMs)));
    }
    if (f.splitMs == 0)
        QVERIFY(rest.bytes.isEmpty());
    QCOMPARE(board.requests().size(), 1);
}

void TestBoardSim::uartSpeed_data()
{
    QTest::addColumn<int>("lineBaud");
    QTest::addColumn<bool>("answers");
    QTest::newRow("right speed") << 2400 << true;
    QTest::newRow("wrong speed") << 9600 << false;
    QTest::newRow("USB default speed") << 115200 << false;
}

void TestBoardSim::uartSpeed()
{
    QFETCH(int, lineBaud);
    QFETCH(bool, answers);
    BoardFaults f;
    f.uartBaud = 2400;
    SimulatedBoard board(BoardIdentity(), f);
    QVERIFY(board.start());
    const int fd = openDevice(board.devicePath());
    QVERIFY(fd >= 0);
    termios t{};
    QCOMPARE(::tcgetattr(fd, &t), 0);
    const speed_t speed = lineBaud == 2400 ? B2400 : lineBaud == 9600 ? B9600 : B115200;
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    QCOMPARE(::tcsetattr(fd, TCSANOW, &t), 0);

    const Received r = exchange(fd, hex("01"), 400);
    ::close(fd);
    QCOMPARE(board.requests().size(), 1);
    if (!answers) {
        QVERIFY(r.bytes.isEmpty());
        return;
    }
    QCOMPARE(r.bytes.size(), 25);
    // 25 bytes of 10 bits at 2400 baud take about 104 ms on a real line.
    const qint64 lineTimeMs = 25 * 10 * 1000 / 2400;
    QVERIFY2(r.lastMs >= lineTimeMs * 8 / 10, qPrintable(QString::number(r.lastMs)));
}

void TestBoardSim::unplugAndReplug()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("ttyBoard"));
    BoardFaults f;
    f.unplugAfter = 1;
    SimulatedBoard board(BoardIdentity(), f);
    QVERIFY(board.start());
    QVERIFY(board.createLink(link));
    const QString firstPath = board.devicePath();

    const int fd = openDevice(link);
    QVERIFY(fd >= 0);
    QCOMPARE(exchange(fd, hex("01")).bytes.size(), 25);
    QTRY_VERIFY_WITH_TIMEOUT(!board.isRunning(), 2000);
    QVERIFY(!QFileInfo::exists(firstPath));
    QVERIFY(!QFileInfo::exists(link));
    // The open descriptor is hung up: nothing more comes from it.
    char c;
    QVERIFY(::read(fd, &c, 1) <= 0);
    ::close(fd);

    board.replug();
    QVERIFY(board.isRunning());
    QVERIFY(QFileInfo::exists(board.devicePath()));
    QCOMPARE(QFileInfo(link).symLinkTarget(), board.devicePath());
    const int again = openDevice(link);
    QVERIFY(again >= 0);
    QCOMPARE(exchange(again, hex("04")).bytes.size(), 12);
    ::close(again);

    board.stop();
    QVERIFY(!QFileInfo(link).isSymLink());
}

void TestBoardSim::ignoredWrites_data()
{
    QTest::addColumn<int>("product");
    QTest::addColumn<bool>("ignore");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("storedAfter"); // empty: what the board held before

    const QByteArray write04F2 = hex("0204f20001") + hex(factory04F2);
    QTest::newRow("08A3 config write") << 0x08A3 << true << hex("0208a30103") + hex(factory08A3) << QByteArray();
    QTest::newRow("04F2 config write") << 0x04F2 << true << write04F2 << QByteArray();
    QTest::newRow("08A2 set defaults") << 0x08A2 << true << hex("0508a20002") << QByteArray();
    QTest::newRow("04F2 set defaults") << 0x04F2 << true << hex("0504f20001") << QByteArray();
    QTest::newRow("write for another board, unanswered") << 0x08A3 << true << write04F2 << QByteArray();
    QTest::newRow("healthy board stores the write") << 0x04F2 << false << write04F2 << hex(factory04F2);
    QTest::newRow("healthy board restores defaults") << 0x08A3 << false << hex("0508a30103") << hex(factory08A3);
}

void TestBoardSim::ignoredWrites()
{
    QFETCH(int, product);
    QFETCH(bool, ignore);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, storedAfter);
    const BoardIdentity id = identityOf(product);
    const QByteArray held = hex(isTriggerBoard(product) ? stored04F2 : stored08A3);
    BoardFaults f;
    f.ignoreWrites = ignore;
    SimulatedBoard board(id, f);
    QVERIFY(board.start());
    QVERIFY(board.setStoredConfig(held));

    const bool forThisBoard = request.mid(1, 2) == frameHeader(id, 0).mid(1, 2);
    const int fd = openDevice(board.devicePath());
    QVERIFY(fd >= 0);
    const Received r = exchange(fd, request, forThisBoard ? 1000 : 300);
    ::close(fd);

    QCOMPARE(board.requests(), QByteArrayList{request});
    QCOMPARE(board.storedConfig().toHex(), (storedAfter.isEmpty() ? held : storedAfter).toHex());
    QByteArray reply;
    if (!forThisBoard)
        reply = QByteArray();
    else if (ignore) // answered as a read: what the board still holds
        reply = frameHeader(id, 2) + held;
    else
        reply = BoardModel(id).reply(request, 0);
    QCOMPARE(r.bytes.toHex(), reply.toHex());
}

void TestBoardSim::storedConfigSetDirectly_data()
{
    QTest::addColumn<int>("product");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("08A3") << 0x08A3 << hex(stored08A3) << true;
    QTest::newRow("04F2") << 0x04F2 << hex(stored04F2) << true;
    QTest::newRow("08A3, 04F2 layout") << 0x08A3 << hex(stored04F2) << false;
    QTest::newRow("04F2, 08A3 layout") << 0x04F2 << hex(stored08A3) << false;
    QTest::newRow("08A2, one byte short") << 0x08A2 << hex(stored08A3).chopped(1) << false;
}

void TestBoardSim::storedConfigSetDirectly()
{
    QFETCH(int, product);
    QFETCH(QByteArray, payload);
    QFETCH(bool, accepted);
    const BoardIdentity id = identityOf(product);
    SimulatedBoard board(id);
    QVERIFY(board.start());
    const QByteArray factory = board.storedConfig();
    const int fd = openDevice(board.devicePath());
    QVERIFY(fd >= 0);

    if (!accepted) {
        QTest::ignoreMessage(
            QtWarningMsg,
            qPrintable(QStringLiteral("BoardModel: configuration payload of %1 bytes refused").arg(payload.size())));
    }
    QCOMPARE(board.setStoredConfig(payload), accepted);
    // In force as soon as the call returns: the very next read carries it.
    const Received r = exchange(fd, hex("02"));
    ::close(fd);
    const QByteArray expected = accepted ? payload : factory;
    QCOMPARE(r.bytes.toHex(), (frameHeader(id, 2) + expected).toHex());
    QCOMPARE(board.storedConfig().toHex(), expected.toHex());
}

void TestBoardSim::statusClockPinned_data()
{
    QTest::addColumn<int>("product");
    QTest::addColumn<qint64>("clockMs");
    QTest::addColumn<int>("pulse"); // 1 present, 0 missing (failsafe), -1 no pulse to speak of

    QTest::newRow("08A3, pulse present") << 0x08A3 << qint64(0) << 1;
    QTest::newRow("08A3, last moment of the pulse") << 0x08A3 << BoardModel::pulsePresentMs - 1 << 1;
    QTest::newRow("08A3, failsafe") << 0x08A3 << BoardModel::pulsePresentMs << 0;
    QTest::newRow("08A2, end of the cycle") << 0x08A2 << BoardModel::pulseCycleMs - 1 << 0;
    QTest::newRow("08A3, next cycle") << 0x08A3 << BoardModel::pulseCycleMs + 2000 << 1;
    QTest::newRow("04F2") << 0x04F2 << qint64(43210) << -1;
}

void TestBoardSim::statusClockPinned()
{
    QFETCH(int, product);
    QFETCH(qint64, clockMs);
    QFETCH(int, pulse);
    const BoardIdentity id = identityOf(product);
    SimulatedBoard board(id);
    board.setStatusClock(clockMs);
    QVERIFY(board.start());
    const int fd = openDevice(board.devicePath());
    QVERIFY(fd >= 0);
    // Two polls in one go, answered one after the other: the same readings.
    const Received r = exchange(fd, hex("0404"));
    ::close(fd);

    const QByteArray expected = BoardModel(id).reply(hex("04"), clockMs);
    QCOMPARE(r.bytes.toHex(), (expected + expected).toHex());
    if (pulse >= 0) {
        QCOMPARE(int(r.bytes.at(10)), pulse);     // pulse present
        QCOMPARE(int(r.bytes.at(11)), 1 - pulse); // failsafe outputs on
    }
}

void TestBoardSim::scriptedReplies_data()
{
    QTest::addColumn<int>("pauseMs");      // before the last piece
    QTest::addColumn<int>("times");        // of the last piece
    QTest::addColumn<QByteArray>("first"); // bytes that arrive at once
    QTest::addColumn<QByteArray>("rest");  // bytes that arrive after the pause

    QTest::newRow("in one go") << 0 << 1 << hex("010203") << QByteArray();
    QTest::newRow("piece repeated") << 0 << 3 << hex("0102030303") << QByteArray();
    QTest::newRow("piece left out") << 0 << 0 << hex("0102") << QByteArray();
    QTest::newRow("after a pause") << 80 << 1 << hex("0102") << hex("03");
    QTest::newRow("each time after its pause") << 80 << 2 << hex("0102") << hex("0303");
}

void TestBoardSim::scriptedReplies()
{
    QFETCH(int, pauseMs);
    QFETCH(int, times);
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, rest);
    SimulatedBoard board;
    board.setScript(SimulatedBoard::repliesInTurn({{{0, hex("0102")}, {pauseMs, hex("03"), times}}}));
    QVERIFY(board.start());
    const int fd = openDevice(board.devicePath());
    QVERIFY(fd >= 0);

    // Bytes the model would drop or take for two requests make one request
    // here: all that came before the line fell quiet.
    QElapsedTimer t;
    t.start();
    QCOMPARE(::write(fd, "\xff\x00\x04", 3), ssize_t(3));
    const Received now = readReply(fd, t, 1000, pauseMs / 2 + 1);
    const Received later = readReply(fd, t, 2 * pauseMs + 50, 2 * pauseMs + 50);
    QCOMPARE(now.bytes.toHex(), first.toHex());
    QCOMPARE(later.bytes.toHex(), rest.toHex());
    if (!rest.isEmpty())
        QVERIFY2(later.firstMs - now.lastMs >= pauseMs * 8 / 10,
                 qPrintable(QStringLiteral("%1 %2").arg(now.lastMs).arg(later.firstMs)));
    QCOMPARE(board.bytesWritten(), first.size() + rest.size());

    // The script had one reply: the next request goes unanswered.
    QVERIFY(exchange(fd, hex("01"), 200).bytes.isEmpty());
    ::close(fd);
    QCOMPARE(board.requests(), (QByteArrayList{hex("ff0004"), hex("01")}));
}

void TestBoardSim::scriptCutOff()
{
    SimulatedBoard board;
    board.setScript([](const QByteArray &) {
        return QList<ReplyChunk>{{5, QByteArray("xyz"), ReplyChunk::untilReplaced}};
    });
    QVERIFY(board.start());
    const int fd = openDevice(board.devicePath());
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, "\x04", 1), ssize_t(1));
    QTRY_VERIFY_WITH_TIMEOUT(board.bytesWritten() >= 30, 2000);

    board.setScript(nullptr);
    const qint64 sent = board.bytesWritten();
    QElapsedTimer t;
    t.start();
    // Everything sent is in the line, and not a byte more comes.
    const Received stream = readReply(fd, t, 200, 100);
    QCOMPARE(board.bytesWritten(), sent);
    QCOMPARE(stream.bytes, QByteArray("xyz").repeated(int(sent / 3)) + QByteArray("xyz").left(int(sent % 3)));

    // Back to the model's own answers.
    QCOMPARE(exchange(fd, hex("01")).bytes.toHex(), BoardModel().reply(hex("01"), 0).toHex());
    ::close(fd);
    QCOMPARE(board.requests(), (QByteArrayList{hex("04"), hex("01")}));
}

QTEST_GUILESS_MAIN(TestBoardSim)
#include "tst_boardsim.moc"

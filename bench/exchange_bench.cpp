// How close one blocking exchange comes to what the wire allows. A simulated
// board paced like a real UART (10 bits per byte at the line speed) answers
// status reads, configuration reads and configuration writes of both
// families; each exchange goes through parachuteRadioComm::send over a real
// QSerialPort on the board's pseudo-terminal. The physical minimum of an
// exchange is (request + reply bytes) x 10 bits / baud + the 100 ms quiet gap
// that ends every reply.
//
// To tell the device link's own cost from the link's, the same requests are
// also sent through a bare file descriptor with poll(), applying the same
// rule (first byte within 100 ms, reply over after 100 ms of quiet), which
// also shows when the board's bytes really arrive.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QTextStream>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "benchstats.h"
#include "parachuteradiocomm.h"
#include "simulatedboard.h"

namespace {

constexpr double quietGapMs = parachuteRadioComm::exchangeTimeoutMs;

struct Exchange
{
    const char *name;
    bool write;
    USBmessages kind;
    uint8_t expected; // result code of a good exchange
};

// The simulated board answers a configuration write with the configuration
// it stored, so a write is as much a round trip as a read.
const Exchange exchanges[] = {
    {"status read", false, USBmsgStatus, USBmsgStatus},
    {"config read", false, USBmsgConfig, USBmsgConfig},
    {"config write", true, USBmsgConfig, USBmsgConfig},
};
constexpr int exchangeCount = int(sizeof exchanges / sizeof exchanges[0]);

struct Series
{
    QList<double> totalMs;    // send() from call to return
    QList<double> rawTotalMs; // the same exchange over a bare descriptor
    QList<double> rawFirstMs; // first reply byte after the request was written
    QList<double> rawLastMs;  // last reply byte after the request was written
    int requestBytes = 0;
    int replyBytes = -1; // -1 until seen; -2 once replies of two lengths were seen
    int failures = 0;
};

// The device link reports each reply's bytes in its "Result" debug line; the
// benchmark reads the length from there and keeps the terminal quiet.
QList<int> g_replyLengths;

void captureReplies(QtMsgType, const QMessageLogContext &, const QString &message)
{
    static const QRegularExpression result(QStringLiteral("^Result\\s+\"([0-9a-f]*)\""));
    const QRegularExpressionMatch m = result.match(message);
    if (m.hasMatch())
        g_replyLengths.append(int(m.captured(1).size() / 2));
}

void noteReplyLength(Series &s, int length)
{
    if (s.replyBytes == -1)
        s.replyBytes = length;
    else if (s.replyBytes != length)
        s.replyBytes = -2;
}

speed_t speedCode(int baud)
{
    switch (baud) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return B0;
    }
}

double msSince(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// One exchange over a bare descriptor: write, then read until the line has
// been quiet for the gap. Returns false when no byte came at all.
bool rawExchange(int fd, const QByteArray &request, double *totalMs, double *firstMs, double *lastMs, int *replyBytes)
{
    char buf[4096];
    QElapsedTimer clock;
    clock.start();
    if (::write(fd, request.constData(), size_t(request.size())) != request.size())
        return false;
    ::tcdrain(fd);
    int got = 0;
    double first = -1, last = -1;
    double waitUntil = msSince(clock) + quietGapMs;
    for (;;) {
        const double left = waitUntil - msSince(clock);
        if (left <= 0)
            break;
        const timespec ts{0, long(left * 1e6)};
        pollfd p{fd, POLLIN, 0};
        const int ready = ::ppoll(&p, 1, &ts, nullptr);
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready <= 0 || !(p.revents & POLLIN))
            continue;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            continue;
        last = msSince(clock);
        if (first < 0)
            first = last;
        got += int(n);
        waitUntil = last + quietGapMs;
    }
    *totalMs = msSince(clock);
    *firstMs = first;
    *lastMs = last;
    *replyBytes = got;
    return got > 0;
}

int openRaw(const QString &path, int baud)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::cfsetispeed(&t, speedCode(baud));
    ::cfsetospeed(&t, speedCode(baud));
    t.c_cflag |= CLOCAL | CREAD;
    ::tcsetattr(fd, TCSANOW, &t);
    ::tcflush(fd, TCIOFLUSH);
    return fd;
}

// Every series of one board: first through the device link, then, with the
// port closed again, through a bare descriptor with the same request frames.
bool measureBoard(uint16_t productCode, int baud, int samples, Series series[exchangeCount], QTextStream &err)
{
    BoardFaults faults;
    faults.uartBaud = baud;
    SimulatedBoard board(BoardIdentity::forProduct(productCode), faults);
    QString error;
    if (!board.start(&error)) {
        err << "cannot start the simulated board: " << error << Qt::endl;
        return false;
    }
    const QString path = board.devicePath();

    QByteArray frames[exchangeCount];
    {
        parachuteRadioComm device(path, baud);
        if (!device.isConnected()) {
            err << "cannot open " << path << Qt::endl;
            return false;
        }
        // As at connect time: the record learns the board before any write.
        if (device.send(false, USBmsgIdentity, USBoptNone) != USBmsgIdentity
            || device.send(false, USBmsgConfig, USBoptNone) != USBmsgConfig) {
            err << "the simulated board at " << baud << " baud does not answer" << Qt::endl;
            return false;
        }
        for (int e = 0; e < exchangeCount; ++e) {
            frames[e] = device.buildRequest(exchanges[e].write, exchanges[e].kind, USBoptNone);
            series[e].requestBytes = int(frames[e].size());
        }
        // Round robin, so that a slow spell of the machine spreads over all.
        for (int i = 0; i < samples; ++i) {
            for (int e = 0; e < exchangeCount; ++e) {
                g_replyLengths.clear();
                QElapsedTimer clock;
                clock.start();
                const uint8_t code = device.send(exchanges[e].write, exchanges[e].kind, USBoptNone);
                const double ms = msSince(clock);
                if (code != exchanges[e].expected || g_replyLengths.size() != 1) {
                    ++series[e].failures;
                    continue;
                }
                series[e].totalMs.append(ms);
                noteReplyLength(series[e], g_replyLengths.first());
            }
        }
    } // closes the port

    const int fd = openRaw(path, baud);
    if (fd < 0) {
        err << "cannot open " << path << " directly" << Qt::endl;
        return false;
    }
    for (int i = 0; i < samples; ++i) {
        for (int e = 0; e < exchangeCount; ++e) {
            double total, first, last;
            int bytes = 0;
            if (!rawExchange(fd, frames[e], &total, &first, &last, &bytes) || bytes != series[e].replyBytes) {
                ++series[e].failures;
                continue;
            }
            series[e].rawTotalMs.append(total);
            series[e].rawFirstMs.append(first);
            series[e].rawLastMs.append(last);
        }
    }
    ::close(fd);
    board.stop();
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Times blocking exchanges with a UART-paced simulated board against the wire's minimum."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("samples"), QStringLiteral("Exchanges per series (default 30)."), QStringLiteral("n"),
         QStringLiteral("30")},
        {QStringLiteral("bauds"), QStringLiteral("Line speeds, comma separated (default 9600,115200)."),
         QStringLiteral("list"), QStringLiteral("9600,115200")},
    });
    parser.process(app);
    const int samples = qMax(1, parser.value(QStringLiteral("samples")).toInt());
    QList<int> bauds;
    for (const QString &b : parser.value(QStringLiteral("bauds")).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (speedCode(b.toInt()) == B0) {
            std::fprintf(stderr, "unsupported baud rate %s\n", qPrintable(b));
            return 2;
        }
        bauds.append(b.toInt());
    }

    qInstallMessageHandler(captureReplies);
    QTextStream out(stdout);
    QTextStream err(stderr);
    using namespace BenchStats;

    out << "Exchange against the wire: median of " << samples
        << " exchanges per row; minimum = (request + reply bytes) x 10 / baud + " << quietGapMs << " ms\n\n";
    out << "| baud | board | exchange | req B | reply B | minimum ms | median ms | p90 ms | ratio "
           "| over reply+gap ms | bare fd median ms | first byte ms | last byte ms | reply wire ms | failed |\n";
    out << "|---:|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";

    bool allMet = true;
    int failed = 0;
    QList<double> ratios;
    for (int baud : bauds) {
        for (uint16_t product : {uint16_t(0x08A3), uint16_t(0x04F2)}) {
            Series series[exchangeCount];
            if (!measureBoard(product, baud, samples, series, err))
                return 1;
            for (int e = 0; e < exchangeCount; ++e) {
                const Series &s = series[e];
                const double bitMs = 1000.0 / baud;
                const double replyWireMs = s.replyBytes > 0 ? s.replyBytes * 10 * bitMs : std::nan("");
                const double minimum = (s.requestBytes + qMax(0, s.replyBytes)) * 10 * bitMs + quietGapMs;
                const double med = median(s.totalMs);
                const double ratio = med / minimum;
                ratios.append(ratio);
                if (!(ratio <= 1.03))
                    allMet = false;
                failed += s.failures;
                out << "| " << baud << " | " << QStringLiteral("%1").arg(product, 4, 16, QLatin1Char('0')).toUpper()
                    << " | " << exchanges[e].name << " | " << s.requestBytes << " | " << s.replyBytes << " | "
                    << fixed(minimum, 2) << " | " << fixed(med, 2) << " | " << fixed(quantile(s.totalMs, 0.9), 2)
                    << " | " << fixed(ratio, 3) << " | " << fixed(med - replyWireMs - quietGapMs, 2) << " | "
                    << fixed(median(s.rawTotalMs), 2) << " | " << fixed(median(s.rawFirstMs), 2) << " | "
                    << fixed(median(s.rawLastMs), 2) << " | " << fixed(replyWireMs, 2) << " | " << s.failures << " |\n";
                out.flush();
            }
        }
    }
    out << "\nMedian ratio over all rows: " << fixed(median(ratios), 3)
        << "; worst row: " << fixed(*std::max_element(ratios.begin(), ratios.end()), 3)
        << "; target <= 1.03 per row: " << (allMet ? "met" : "missed") << "; failed exchanges: " << failed << "\n";
    return failed == 0 ? 0 : 1;
}

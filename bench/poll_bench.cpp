// The real main window polling a simulated board: the port is picked and
// Connect pressed as an operator would, then the window's own 300 ms timer
// drives the status reads. It reports how many transactions went out per
// second against the ideal of one per max(300 ms, exchange time); the timer
// is periodic, so an exchange shorter than the interval costs no cadence,
// and a tick that falls due during a longer one is not made up.
//
// With --forever it just keeps polling after Connect, for measuring the
// process from outside (memory, CPU time).
#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QList>
#include <QPushButton>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "Halvero_configurator.h"
#include "benchstats.h"
#include "protocol.h"
#include "simulatedboard.h"

namespace {

struct LogEvent
{
    enum Kind {
        Send,
        Result,
        Timeout
    } kind;
    double ms;
    int replyBytes; // of a Result
};

QElapsedTimer g_clock;
QList<LogEvent> g_events;

// The device link's debug lines mark the start and the end of every
// exchange; their times are the cadence. Nothing reaches the terminal.
void recordExchange(QtMsgType, const QMessageLogContext &, const QString &message)
{
    const double ms = double(g_clock.nsecsElapsed()) / 1e6;
    if (message.startsWith(QLatin1String("Sending "))) {
        g_events.append({LogEvent::Send, ms, 0});
    } else if (message.startsWith(QLatin1String("Result "))) {
        // Result "<hex>": two digits per byte between the quotes.
        const qsizetype open = message.indexOf(QLatin1Char('"'));
        const qsizetype close = message.lastIndexOf(QLatin1Char('"'));
        g_events.append({LogEvent::Result, ms, close > open ? int(close - open - 1) / 2 : 0});
    } else if (message.startsWith(QLatin1String("Timeout"))) {
        g_events.append({LogEvent::Timeout, ms, 0});
    }
}

// Picks the port and the speed in the connection bar and presses Connect.
bool connectLikeOperator(Halvero_configurator &window, const QString &port, int baud, QString *why)
{
    auto *ports = window.findChild<QComboBox *>(QStringLiteral("serialList"));
    auto *bauds = window.findChild<QComboBox *>(QStringLiteral("serialBauds"));
    auto *connectButton = window.findChild<QPushButton *>(QStringLiteral("btnSerialConnect"));
    auto *state = window.findChild<QLineEdit *>(QStringLiteral("line_connect"));
    if (!ports || !bauds || !connectButton || !state) {
        *why = QStringLiteral("the connection bar is not there");
        return false;
    }
    const int portIndex = ports->findText(port);
    const int baudIndex = bauds->findText(QString::number(baud));
    if (portIndex < 0 || baudIndex < 0) {
        *why = QStringLiteral("%1 or %2 baud is not offered").arg(port).arg(baud);
        return false;
    }
    ports->setCurrentIndex(portIndex);
    bauds->setCurrentIndex(baudIndex);
    connectButton->click();
    if (!scanTimer->isActive()) {
        *why = QStringLiteral("Connect did not start polling (%1)").arg(state->text());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Runs the configurator's window against a simulated board and measures its poll cadence."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("seconds"), QStringLiteral("How long to poll (default 10)."), QStringLiteral("s"),
         QStringLiteral("10")},
        {QStringLiteral("uart"),
         QStringLiteral("Simulated board paced at this baud rate, which the window also picks (default 115200; 0: "
                        "unpaced, window at 9600)."),
         QStringLiteral("baud"), QStringLiteral("115200")},
        {QStringLiteral("delay"), QStringLiteral("Simulated board waits this long before each reply."),
         QStringLiteral("ms"), QStringLiteral("0")},
        {QStringLiteral("split"), QStringLiteral("Simulated board sends each reply in two halves this far apart."),
         QStringLiteral("ms"), QStringLiteral("0")},
        {QStringLiteral("product"), QStringLiteral("Simulated board: 08A3 or 04F2 (default 08A3)."),
         QStringLiteral("code"), QStringLiteral("08A3")},
        {QStringLiteral("port"), QStringLiteral("Use the board on this device instead of one in this process."),
         QStringLiteral("path")},
        {QStringLiteral("baud"), QStringLiteral("Speed to pick with --port (default 115200)."), QStringLiteral("baud"),
         QStringLiteral("115200")},
        {QStringLiteral("forever"),
         QStringLiteral("Keep polling until killed; print nothing but the port once connected.")},
        {QStringLiteral("no-header"), QStringLiteral("Print the result row only.")},
    });
    parser.process(app);
    const bool keepPolling = parser.isSet(QStringLiteral("forever"));
    const double seconds = parser.value(QStringLiteral("seconds")).toDouble();
    const int uart = parser.value(QStringLiteral("uart")).toInt();
    const int delayMs = parser.value(QStringLiteral("delay")).toInt();
    const int splitMs = parser.value(QStringLiteral("split")).toInt();

    std::unique_ptr<SimulatedBoard> board;
    QString port;
    int baud = 0;
    QString scenario;
    // A board on --port is taken for a switch board.
    int statusBytes = Protocol::statusLength(BoardFamily::Switch08A3);
    if (parser.isSet(QStringLiteral("port"))) {
        port = parser.value(QStringLiteral("port"));
        baud = parser.value(QStringLiteral("baud")).toInt();
        scenario = QStringLiteral("board on %1").arg(port);
    } else {
        BoardFaults faults;
        faults.uartBaud = uart;
        faults.delayMs = delayMs;
        faults.splitMs = splitMs;
        const QString product = parser.value(QStringLiteral("product")).toUpper();
        statusBytes = Protocol::statusLength(Protocol::familyOfProductText(product));
        board =
            std::make_unique<SimulatedBoard>(BoardIdentity::forProduct(uint16_t(product.toUInt(nullptr, 16))), faults);
        QString error;
        if (!board->start(&error)) {
            std::fprintf(stderr, "cannot start the simulated board: %s\n", qPrintable(error));
            return 1;
        }
        port = board->devicePath();
        baud = uart > 0 ? uart : 9600;
        scenario = QStringLiteral("%1, %2").arg(product, uart > 0 ? QStringLiteral("UART %1 baud").arg(uart)
                                                                  : QStringLiteral("unpaced"));
        if (delayMs > 0)
            scenario += QStringLiteral(", replies %1 ms late").arg(delayMs);
        if (splitMs > 0)
            scenario += QStringLiteral(", replies split %1 ms apart").arg(splitMs);
    }
    // The window lists these beside the system's ports when it is built.
    qputenv("HALVERO_EXTRA_PORTS", QFile::encodeName(port));

    if (!keepPolling)
        qInstallMessageHandler(recordExchange);
    g_clock.start();

    Halvero_configurator window;
    window.show();
    QCoreApplication::processEvents();

    QString why;
    if (!connectLikeOperator(window, port, baud, &why)) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    if (keepPolling) {
        std::printf("polling %s at %d baud\n", qPrintable(port), baud);
        std::fflush(stdout);
        return app.exec();
    }

    const double startMs = double(g_clock.nsecsElapsed()) / 1e6;
    const qsizetype firstEvent = g_events.size();
    const qsizetype requestsBefore = board ? board->requests().size() : 0;
    // A coarse timer of this length may fire a few hundred milliseconds early.
    QTimer::singleShot(int(seconds * 1000), Qt::PreciseTimer, &app, &QCoreApplication::quit);
    app.exec();
    const double endMs = startMs + seconds * 1000;

    // Transactions that started inside the window count; the board's own log
    // of requests (all of them, late ones included) checks the window's.
    QList<double> sends, exchangeMs, intervals;
    int timeouts = 0;
    int cutReplies = 0; // shorter than a status reply: the quiet gap struck mid-reply
    qsizetype sentAfterStart = 0;
    for (qsizetype i = firstEvent; i < g_events.size(); ++i) {
        const LogEvent &e = g_events[i];
        if (e.kind != LogEvent::Send)
            continue;
        ++sentAfterStart;
        if (e.ms > endMs)
            continue;
        if (!sends.isEmpty())
            intervals.append(e.ms - sends.last());
        sends.append(e.ms);
        if (i + 1 < g_events.size()) {
            const LogEvent &next = g_events[i + 1];
            if (next.kind == LogEvent::Result) {
                exchangeMs.append(next.ms - e.ms);
                if (next.replyBytes < statusBytes)
                    ++cutReplies;
            } else if (next.kind == LogEvent::Timeout)
                ++timeouts;
        }
    }
    const qsizetype boardSaw = board ? board->requests().size() - requestsBefore : sentAfterStart;

    using namespace BenchStats;
    const double exchange = median(exchangeMs);
    const double idealPeriod = qMax(300.0, exchange);
    const double idealRate = 1000.0 / idealPeriod;
    const double rate = double(sends.size()) / seconds;
    const double firstTick = sends.isEmpty() ? std::nan("") : sends.first() - startMs;
    const double meanPeriod =
        sends.size() > 1 ? (sends.last() - sends.first()) / double(sends.size() - 1) : std::nan("");
    const double maxGap = intervals.isEmpty() ? std::nan("") : *std::max_element(intervals.begin(), intervals.end());

    QTextStream out(stdout);
    if (!parser.isSet(QStringLiteral("no-header"))) {
        out << "| board | s | transactions | per s | ideal per s | per s / ideal | exchange median ms "
               "| first tick ms | mean period ms | max gap ms | period ideal / mean | timeouts "
               "| cut replies | sent / board saw |\n";
        out << "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    }
    out << "| " << scenario << " | " << seconds << " | " << sends.size() << " | " << fixed(rate, 3) << " | "
        << fixed(idealRate, 3) << " | " << fixed(rate / idealRate, 3) << " | " << fixed(exchange, 2) << " | "
        << fixed(firstTick, 1) << " | " << fixed(meanPeriod, 1) << " | " << fixed(maxGap, 1) << " | "
        << fixed(idealPeriod / meanPeriod, 3) << " | " << timeouts << " | " << cutReplies << " | " << sentAfterStart
        << " / " << boardSaw << " |\n";
    out.flush();
    return timeouts == 0 && cutReplies == 0 && sends.size() > 1 && sentAfterStart == boardSaw ? 0 : 1;
}

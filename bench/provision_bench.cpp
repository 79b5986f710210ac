// How long `halvero-cli provision` takes for a bench of boards against the
// time of one board. Simulated 08A3 boards, paced like a real UART at the
// line speed, are served on pseudo-terminals in this process; the built
// halvero-cli provisions them all in one run, as an operator would start
// it, and its report says whether every board holds the configuration.
// Each bench size is run several times, with the history recorded (the
// program's default) and without it.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "benchstats.h"
#include "simulatedboard.h"

namespace {

// Differs from a fresh board's configuration, so every run writes.
const QByteArray configFile = R"({"format": 1, "productCode": "08A3", "config": {
    "trigger": {"activeLow": false, "high": 1750, "low": 1400},
    "groups": [{"bank": 0, "refreshRate": 0}, {"bank": 1, "refreshRate": 0}, {"bank": 0, "refreshRate": 1}],
    "failsafe": [1000, 1100, 1200, 1300, 1400, 1500, 1600, 1700, 1800, 1900, 2000, 2100]}})";

struct RunResult
{
    double seconds = 0;
    int held = 0;
    double slowestBoard = 0; // the report's `seconds` of the slowest board
    QString failure;         // empty when every board holds the file
};

RunResult provisionOnce(const QString &cli, const QString &file, const QStringList &ports, int baud, bool history,
                        const QString &report)
{
    QStringList arguments{QStringLiteral("provision"), file};
    arguments << ports << QStringLiteral("--baud") << QString::number(baud) << QStringLiteral("--report") << report;
    if (!history)
        arguments << QStringLiteral("--no-history");
    QFile::remove(report);
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(cli, arguments);
    process.waitForFinished(120000);
    RunResult result;
    result.seconds = double(clock.nsecsElapsed()) / 1e9;
    QFile rows(report);
    if (!rows.open(QIODevice::ReadOnly)) {
        result.failure = QStringLiteral("no report (exit %1): %2")
                             .arg(process.exitCode())
                             .arg(QString::fromUtf8(process.readAllStandardError()).trimmed());
        return result;
    }
    for (const QByteArray &line : rows.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject row = QJsonDocument::fromJson(line).object();
        result.slowestBoard = qMax(result.slowestBoard, row.value(QStringLiteral("seconds")).toDouble());
        if (row.value(QStringLiteral("outcome")).toString() == QLatin1String("held"))
            ++result.held;
        else if (result.failure.isEmpty())
            result.failure =
                QStringLiteral("%1: %2 (%3)")
                    .arg(row.value(QStringLiteral("port")).toString(), row.value(QStringLiteral("outcome")).toString(),
                         row.value(QStringLiteral("message")).toString());
    }
    if (result.held != ports.size() && result.failure.isEmpty())
        result.failure = QStringLiteral("%1 rows for %2 boards").arg(result.held).arg(ports.size());
    return result;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Time halvero-cli provision on benches of simulated boards."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("boards"), QStringLiteral("Bench sizes, comma-separated (default 1,8,16,32,64)."),
         QStringLiteral("list"), QStringLiteral("1,8,16,32,64")},
        {QStringLiteral("runs"), QStringLiteral("Runs per bench size and history setting (default 5)."),
         QStringLiteral("n"), QStringLiteral("5")},
        {QStringLiteral("baud"), QStringLiteral("Line speed the boards are paced at (default 115200)."),
         QStringLiteral("baud"), QStringLiteral("115200")},
        {QStringLiteral("cli"), QStringLiteral("The halvero-cli to run."), QStringLiteral("path"),
         QStringLiteral(HALVERO_CLI_PATH)},
    });
    parser.process(app);
    QList<int> sizes;
    for (const QString &size : parser.value(QStringLiteral("boards")).split(QLatin1Char(',')))
        sizes << size.toInt();
    const int runs = qMax(1, parser.value(QStringLiteral("runs")).toInt());
    const int baud = parser.value(QStringLiteral("baud")).toInt();
    const QString cli = parser.value(QStringLiteral("cli"));

    QTemporaryDir work;
    const QString file = work.filePath(QStringLiteral("board.json"));
    QFile config(file);
    if (!work.isValid() || !config.open(QIODevice::WriteOnly) || config.write(configFile) != configFile.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
        return 1;
    }
    config.close();
    // The history of these runs is a file of their own, on the same disk
    // as the user's would be.
    qputenv("HALVERO_HISTORY_FILE", work.filePath(QStringLiteral("history.jsonl")).toLocal8Bit());

    QTextStream out(stdout);
    out << "| boards | history | runs | median s | min s | max s | ratio to 1 board | slowest board s (median) | "
           "failed runs |\n"
        << "|---:|---|---:|---:|---:|---:|---:|---:|---:|\n";
    out.flush();
    bool allHeld = true;
    double oneBoard[2] = {0, 0};
    for (const int size : sizes) {
        BoardFaults paced;
        paced.uartBaud = baud;
        std::vector<std::unique_ptr<SimulatedBoard>> boards;
        QStringList ports;
        for (int i = 0; i < size; ++i) {
            BoardIdentity identity = BoardIdentity::forProduct(0x08A3);
            identity.serial[0] = uint32_t(i + 1); // every board its own serial number
            boards.push_back(std::make_unique<SimulatedBoard>(identity, paced));
            if (!boards.back()->start()) {
                std::fprintf(stderr, "cannot start simulated board %d\n", i + 1);
                return 1;
            }
            ports << boards.back()->devicePath();
        }
        for (const bool history : {true, false}) {
            QList<double> seconds, slowest;
            int failed = 0;
            for (int run = 0; run < runs; ++run) {
                const RunResult result =
                    provisionOnce(cli, file, ports, baud, history, work.filePath(QStringLiteral("report.jsonl")));
                seconds << result.seconds;
                slowest << result.slowestBoard;
                if (!result.failure.isEmpty()) {
                    ++failed;
                    std::fprintf(stderr, "%d boards, run %d: %s\n", size, run + 1, qPrintable(result.failure));
                }
            }
            allHeld = allHeld && failed == 0;
            const double median = BenchStats::median(seconds);
            if (size == 1)
                oneBoard[history ? 0 : 1] = median;
            const double base = oneBoard[history ? 0 : 1];
            out << "| " << size << " | " << (history ? "on" : "off") << " | " << runs << " | "
                << BenchStats::fixed(median, 3) << " | "
                << BenchStats::fixed(*std::min_element(seconds.begin(), seconds.end()), 3) << " | "
                << BenchStats::fixed(*std::max_element(seconds.begin(), seconds.end()), 3) << " | "
                << (base > 0 ? BenchStats::fixed(median / base, 2) : QStringLiteral("n/a")) << " | "
                << BenchStats::fixed(BenchStats::median(slowest), 3) << " | " << failed << " |\n";
            out.flush();
        }
    }
    return allHeld ? 0 : 1;
}

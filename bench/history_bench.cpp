// What a large configuration history costs: a history of --megabytes (50 MB)
// of numbered entries of three boards is written to a scratch folder, then
// halvero-cli lists its newest 100 entries, and all of them, each run as its
// own process (wall time and peak resident memory from wait4), and the
// window's history dialog opens on it and loads one more page as if scrolled
// (time and growth of this process's resident memory). Prints a table.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "confighistory.h"
#include "historydialog.h"

namespace {

// Resident set of this process, in bytes.
qint64 residentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    return -1;
}

BoardConfig boardConfig(int board)
{
    BoardConfig config;
    config.family = board == 2 ? BoardFamily::Trigger04F2 : BoardFamily::Switch08A3;
    config.productCode = board == 2 ? QStringLiteral("04F2") : QStringLiteral("08A3");
    config.firmware = board == 2 ? QStringLiteral("0.1") : QStringLiteral("1.3");
    config.serial = QStringLiteral("0x2038335%1524E46500900390021").arg(board);
    config.readAt = QStringLiteral("2026-05-04T08:22:03Z");
    for (const ConfigField &field : configFields(config.family))
        config.values[field.path] = field.min;
    return config;
}

// Entries as the programs write them: before, intent and after of writes to
// three boards in turn, each write changing one value.
void writeHistory(const QString &path, qint64 bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    const QStringList phases{ConfigHistory::phaseBefore, ConfigHistory::phaseIntent, ConfigHistory::phaseAfter};
    BoardConfig boards[3] = {boardConfig(0), boardConfig(1), boardConfig(2)};
    QByteArray chunk;
    qint64 seq = 0;
    while (file.size() + chunk.size() < bytes) {
        BoardConfig &board = boards[seq / 3 % 3];
        if (seq % 3 == 1)
            board.values[QStringLiteral("trigger.high")] = 1000 + int(seq % 1000);
        QJsonObject entry = ConfigHistory::makeEntry(board, ConfigHistory::eventSave, phases.at(int(seq % 3)),
                                                     QStringLiteral("halvero-cli"));
        entry.insert(QStringLiteral("seq"), ++seq);
        chunk += QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n';
        if (chunk.size() > 1024 * 1024) {
            file.write(chunk);
            chunk.clear();
        }
    }
    file.write(chunk);
}

struct ProcessRun
{
    double ms = 0;
    long peakKiB = 0;
    int status = -1;
};

ProcessRun runCli(const QString &cli, const QStringList &arguments)
{
    std::vector<QByteArray> words{QFile::encodeName(cli)};
    for (const QString &argument : arguments)
        words.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    QElapsedTimer clock;
    clock.start();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ProcessRun run;
    rusage usage{};
    ::wait4(pid, &run.status, 0, &usage);
    run.ms = double(clock.nsecsElapsed()) / 1e6;
    run.peakKiB = usage.ru_maxrss;
    return run;
}

void printRow(const char *what, const QList<double> &ms, double mib)
{
    QList<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    std::printf("| %s | %.0f | %.0f | %.1f |\n", what, sorted.at(sorted.size() / 2), sorted.last(), mib);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("cli"), QStringLiteral("The halvero-cli to run."), QStringLiteral("path")},
        {QStringLiteral("megabytes"), QStringLiteral("Size of the history."), QStringLiteral("n"),
         QStringLiteral("50")},
        {QStringLiteral("runs"), QStringLiteral("Runs of each case."), QStringLiteral("n"), QStringLiteral("5")},
    });
    parser.process(app);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    const int runs = qMax(1, parser.value(QStringLiteral("runs")).toInt());

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.jsonl"));
    writeHistory(path, parser.value(QStringLiteral("megabytes")).toLongLong() * 1000 * 1000);
    qputenv("HALVERO_HISTORY_FILE", QFile::encodeName(path));

    std::printf("History: %.1f MB, %s\n\n", double(QFileInfo(path).size()) / 1e6, qPrintable(path.section('/', -1)));
    std::printf("| case | median (ms) | worst of %d (ms) | memory (MiB) |\n|---|---|---|---|\n", runs);
    const QString cli = parser.value(QStringLiteral("cli"));
    if (!cli.isEmpty()) {
        const struct
        {
            const char *what;
            QStringList arguments;
        } cases[] = {
            {"`halvero-cli history --count 100`, peak resident",
             {QStringLiteral("history"), QStringLiteral("--count"), QStringLiteral("100")}},
            {"`halvero-cli history`, all entries, peak resident", {QStringLiteral("history")}},
        };
        for (const auto &c : cases) {
            QList<double> ms;
            long peak = 0;
            for (int i = 0; i < runs; ++i) {
                const ProcessRun run = runCli(cli, c.arguments);
                if (!WIFEXITED(run.status) || WEXITSTATUS(run.status) != 0)
                    qFatal("halvero-cli failed: %d", run.status);
                ms << run.ms;
                peak = std::max(peak, run.peakKiB);
            }
            printRow(c.what, ms, double(peak) / 1024);
        }
    }

    QList<double> open;
    QList<double> more;
    qint64 growth = 0;
    for (int i = 0; i < runs; ++i) {
        const qint64 before = residentBytes();
        QElapsedTimer clock;
        clock.start();
        HistoryDialog dialog;
        dialog.setBoard(BoardConfig(), false); // all boards
        dialog.reload();
        dialog.show();
        QApplication::processEvents();
        open << double(clock.nsecsElapsed()) / 1e6;
        auto *table = dialog.findChild<QTableWidget *>(QStringLiteral("table_history"));
        const int rows = table->rowCount();
        clock.restart();
        table->verticalScrollBar()->setValue(table->verticalScrollBar()->maximum());
        QApplication::processEvents();
        more << double(clock.nsecsElapsed()) / 1e6;
        if (table->rowCount() != rows + HistoryDialog::pageEntries)
            qFatal("the dialog did not load a page more (%d rows)", table->rowCount());
        growth = std::max(growth, residentBytes() - before);
    }
    printRow("history dialog opens (newest 100), growth of resident", open, double(growth) / 1024 / 1024);
    printRow("history dialog scrolled to the bottom (100 more)", more, double(growth) / 1024 / 1024);
    return 0;
}

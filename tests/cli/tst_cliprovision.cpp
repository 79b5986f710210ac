// halvero-cli provision, check and the inventory, run as a production bench
// would: several simulated boards at once, each with its own trouble, named
// by their ports or by a slots file, the report read back as the production
// record would read it.
#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/stat.h>

#include "boardconfig.h"
#include "clirun.h"
#include "clitestsupport.h"
#include "confighistory.h"
#include "portlock.h"
#include "simulatedboard.h"

using namespace clitest;

namespace {

TestSupport::CliRun runCli(const QStringList &arguments, const std::function<void(QProcess &)> &meanwhile = {})
{
    return TestSupport::runProgram(QStringLiteral(HALVERO_CLI_PATH), arguments, {}, {}, {}, meanwhile);
}

bool wasWritten(const SimulatedBoard &board)
{
    const QList<QByteArray> requests = board.requests();
    return std::any_of(requests.begin(), requests.end(), [](const QByteArray &r) { return r.size() > 2; });
}

// A report file as rows of column name to text, whichever its format.
QList<QVariantMap> readReport(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> lines = file.readAll().split('\n');
    QList<QVariantMap> rows;
    if (path.endsWith(".jsonl")) {
        for (const QByteArray &line : lines)
            if (!line.isEmpty())
                rows << QJsonDocument::fromJson(line).object().toVariantMap();
        return rows;
    }
    // RFC 4180 cells; no cell of these rows holds a line break.
    const auto cellsOf = [](const QByteArray &line) {
        static const QRegularExpression cell(R"re((?:^|,)(?:"((?:[^"]|"")*)"|([^,]*)))re");
        QStringList cells;
        for (auto it = cell.globalMatch(QString::fromUtf8(line)); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            cells << (m.hasCaptured(1) ? m.captured(1).replace("\"\"", "\"") : m.captured(2));
        }
        return cells;
    };
    const QStringList header = cellsOf(lines.first());
    for (const QByteArray &line : lines.mid(1)) {
        if (line.isEmpty())
            continue;
        const QStringList cells = cellsOf(line);
        QVariantMap row;
        for (int c = 0; c < header.size(); ++c)
            row.insert(header.at(c), cells.value(c));
        rows << row;
    }
    return rows;
}

// The variable set for the programs the test runs, as it was again once
// the guard goes.
auto environmentSet(const char *name, const QByteArray &value)
{
    const QByteArray before = qgetenv(name);
    const bool wasSet = qEnvironmentVariableIsSet(name);
    qputenv(name, value);
    return qScopeGuard([name, before, wasSet] { wasSet ? qputenv(name, before) : qunsetenv(name); });
}

// The bench: what each board is and does, and the outcome it must get.
struct Bench
{
    QList<std::shared_ptr<SimulatedBoard>> boards;
    QStringList outcomes;
    QSerialPort holder; // keeps the last port busy
    QStringList ports() const
    {
        QStringList paths;
        for (const auto &board : boards)
            paths << board->devicePath();
        return paths;
    }

    bool start()
    {
        // A serial of each board's own, but the third has the first one's.
        const auto add = [this](uint16_t product, const BoardFaults &faults, const char *outcome) {
            BoardIdentity identity = BoardIdentity::forProduct(product);
            identity.serial[0] = boards.size() == 2 ? 0 : uint32_t(boards.size());
            boards << std::make_shared<SimulatedBoard>(identity, faults);
            outcomes << outcome;
            return boards.last()->start();
        };
        BoardFaults silent, keepsItsValues;
        silent.silent = true;
        keepsItsValues.ignoreWrites = true;
        const bool started = add(0x08A3, {}, "held") && add(0x08A2, {}, "held") && add(0x08A3, {}, "held")
                             && add(0x04F2, {}, "skipped-family") && add(0x08A3, silent, "no-board")
                             && add(0x08A3, keepsItsValues, "other-values") && add(0x08A3, {}, "busy");
        holder.setPortName(boards.last()->devicePath());
        return started && holder.open(QIODevice::ReadWrite);
    }
};

// A healthy board whose answers go through a script, so that the test
// knows when it was first and last asked (ms on `clock`). One that
// `forgets` echoes a write, but every later read finds what it held before.
struct TimedBoard
{
    SimulatedBoard board;
    BoardModel model, before;
    std::atomic<qint64> first{-1}, last{-1};
    bool written = false; // the serving thread's alone

    TimedBoard(const QElapsedTimer &clock, bool forgets)
    {
        board.setScript([this, &clock, forgets](const QByteArray &request) -> QList<ReplyChunk> {
            qint64 unset = -1;
            first.compare_exchange_strong(unset, clock.elapsed());
            last = clock.elapsed();
            const bool read = request == QByteArray(1, 2);
            const QByteArray reply = (forgets && written && read ? before : model).reply(request, 0);
            written = written || (request.size() > 1 && request.at(0) == 2);
            return {ReplyChunk{0, reply}};
        });
    }
};

} // namespace

class TestCliProvision : public QObject
{
    Q_OBJECT

private slots:
    void benchOfBoards_data();
    void benchOfBoards();
    void inventoryListsEveryPort();
    void refusedBeforeAnyPort_data();
    void refusedBeforeAnyPort();
    void boardsWorkedOnAtOnce();
    void interruptLeavesAReport_data();
    void interruptLeavesAReport();
    void auditBySlots();
    void checkFindsEachField_data();
    void checkFindsEachField();
    void checkExitStatus_data();
    void checkExitStatus();
    void interruptWhileTheReportWaits();
    void lateBoardsHoldWhatIsWritten();

private:
    QTemporaryDir dir;
    QString writeFile(const QString &name, const QByteArray &content)
    {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(file.fileName()));
        return file.fileName();
    }
    // Differs from what a fresh board holds in two fields.
    QString boardFile()
    {
        const QJsonObject file =
            withConfigValue(withConfigValue(validFile("08A3"), "trigger.high", 1750), "failsafe[0]", 1234);
        return writeFile("board.json", QJsonDocument(file).toJson());
    }
};

void TestCliProvision::benchOfBoards_data()
{
    QTest::addColumn<QString>("report");
    QTest::addColumn<bool>("json");
    QTest::newRow("JSON lines report") << "report.jsonl" << false;
    QTest::newRow("CSV report, --json") << "report.csv" << true;
}

void TestCliProvision::benchOfBoards()
{
    QFETCH(QString, report);
    QFETCH(bool, json);

    Bench bench;
    QVERIFY(bench.start());
    const QByteArray before = bench.boards.at(5)->storedConfig();
    const QString reportPath = dir.filePath(report);
    QStringList arguments = QStringList{"provision", boardFile()} + bench.ports() + QStringList{"--report", reportPath};
    if (json)
        arguments << "--json";
    const TestSupport::CliRun run = runCli(arguments);
    QVERIFY2(run.exitCode == 15, qPrintable(run.describe()));

    // The report: one row per port, in the order named.
    const QList<QVariantMap> rows = readReport(reportPath);
    QCOMPARE(rows.size(), bench.boards.size());
    for (int i = 0; i < rows.size(); ++i) {
        const QVariantMap &row = rows.at(i);
        QCOMPARE(row.value("port").toString(), bench.ports().at(i));
        QCOMPARE(row.value("outcome").toString(), bench.outcomes.at(i));
        QVERIFY(QDateTime::fromString(row.value("time").toString(), Qt::ISODateWithMs).isValid());
        const bool identified = !QStringList{"no-board", "busy"}.contains(bench.outcomes.at(i));
        // Every exchange ends with the line quiet for 100 ms.
        QVERIFY(!identified || row.value("seconds").toDouble() >= 0.1);
        QCOMPARE(row.value("serial").toString().startsWith("0x"), identified);
        QCOMPARE(row.value("family").toString(), identified ? QString(i == 3 ? "04F2" : "08A3") : QString());
        // Only boards of the file's family that answered were written to.
        QCOMPARE(wasWritten(*bench.boards.at(i)), identified && i != 3);
        const bool shared = i == 0 || i == 2;
        QCOMPARE(row.value("message").toString().endsWith(
                     QStringLiteral("same serial as %1").arg(bench.ports().at(shared ? 2 - i : i))),
                 shared);
    }
    const QVariant fieldsCell = rows.at(5).value("fields"); // CSV: one cell, the names apart by spaces
    const QString fields = report.endsWith(".csv") ? fieldsCell.toString() : fieldsCell.toStringList().join(' ');
    QCOMPARE(fields, QString("failsafe[0] trigger.high"));
    QCOMPARE(bench.boards.at(5)->storedConfig(), before);
    for (int i : {1, 2})
        QCOMPARE(bench.boards.at(i)->storedConfig(), bench.boards.at(0)->storedConfig());
    QVERIFY(bench.boards.at(0)->storedConfig() != before);

    // Standard output: a line (or object) per board, then the summary.
    const QList<QByteArray> lines = run.out.trimmed().split('\n');
    QCOMPARE(lines.size(), bench.boards.size() + 1);
    const QString summary = QStringLiteral("3 of 7 boards hold the configuration; 1 holds other values: %1; "
                                           "1 skipped (04F2); 1 no board: %2; 1 busy: %3; 2 share serial %4: %5, %6")
                                .arg(bench.ports().at(5), bench.ports().at(4), bench.ports().at(6),
                                     rows.at(0).value("serial").toString(), bench.ports().at(0), bench.ports().at(2));
    if (json)
        QCOMPARE(QJsonDocument::fromJson(lines.last()).object().value("summary").toObject().value("text").toString(),
                 summary);
    else
        QCOMPARE(QString::fromUtf8(lines.last()), summary);
}

void TestCliProvision::inventoryListsEveryPort()
{
    Bench bench;
    QVERIFY(bench.start());
    const TestSupport::CliRun run = runCli(QStringList{"identify"} + bench.ports() + QStringList{"--json"});
    QVERIFY2(run.exitCode == 0, qPrintable(run.describe()));
    const QList<QByteArray> lines = run.out.trimmed().split('\n');
    QCOMPARE(lines.size(), bench.boards.size());
    const QStringList expected{"found", "found", "found", "found", "no-board", "found", "busy"};
    for (int i = 0; i < lines.size(); ++i) {
        const QJsonObject row = QJsonDocument::fromJson(lines.at(i)).object();
        QCOMPARE(row.value("port").toString(), bench.ports().at(i));
        QCOMPARE(row.value("outcome").toString(), expected.at(i));
        QVERIFY(!wasWritten(*bench.boards.at(i)));
        if (i == 0 || i == 2)
            QCOMPARE(row.value("message").toString(), QStringLiteral("same serial as %1").arg(bench.ports().at(2 - i)));
    }
}

void TestCliProvision::refusedBeforeAnyPort_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("report"); // made as its name says
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("named");

    const QByteArray good = QJsonDocument(validFile("08A3")).toJson();
    const QByteArray config =
        QJsonDocument(validFile("08A3").value("config").toObject()).toJson(QJsonDocument::Compact);
    QTest::newRow("malformed") << QByteArray("{\"format\": 1,") << "r.jsonl" << 2 << "malformed JSON";
    QTest::newRow("out of range") << QJsonDocument(withConfigValue(validFile("08A3"), "failsafe[3]", 2200)).toJson()
                                  << "r.csv" << 3 << "failsafe[3]";
    QTest::newRow("a key twice") << QByteArray(good).replace("\"high\": 1600", "\"high\": 1600,\n\"high\": 2000")
                                 << "r.csv" << 2 << "config.trigger.high is set twice";
    QTest::newRow("two config objects") << QByteArray(good).insert(1, "\"config\": " + config + ",") << "r.csv" << 2
                                        << "config is set twice";
    QTest::newRow("report of no known format") << good << "r.txt" << 1 << "--report";
    QTest::newRow("report is a folder") << good << "folder.csv" << 11 << "it is a folder";
    QTest::newRow("report in a missing folder") << good << "missing/r.csv" << 11 << "does not exist";
    QTest::newRow("report read-only") << good << "read-only.csv" << 11 << "read-only";
    QTest::newRow("report a device") << good << "device.csv" << 11 << "a device";
    QTest::newRow("report a link to a board's port") << good << "port.csv" << 11 << "a port of this bench";
}

// Nothing is sent to any board.
void TestCliProvision::refusedBeforeAnyPort()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, report);
    QFETCH(int, exitCode);
    QFETCH(QString, named);

    SimulatedBoard first, second;
    QVERIFY(first.start() && second.start());
    const QString reportPath = dir.filePath(report);
    const QByteArray kept("kept\n");
    if (report == "folder.csv")
        QVERIFY(QDir().mkpath(reportPath));
    if (report == "read-only.csv")
        QVERIFY(QFile::setPermissions(writeFile(report, kept), QFile::ReadOwner));
    if (report == "device.csv" || report == "port.csv")
        QVERIFY(QFile::link(report == "device.csv" ? "/dev/null" : second.devicePath(), reportPath));
    const TestSupport::CliRun run = runCli(
        {"provision", writeFile("bad.json", content), first.devicePath(), second.devicePath(), "--report", reportPath});
    QVERIFY2(run.exitCode == exitCode && run.err.count('\n') == 1 && run.err.contains(named.toUtf8()),
             qPrintable(run.describe()));
    QVERIFY(first.requests().isEmpty() && second.requests().isEmpty());
    // What was there stays as it was; no report where there was none.
    QCOMPARE(QFileInfo(reportPath).isFile() ? QFileInfo(reportPath).size() : 0,
             report == "read-only.csv" ? kept.size() : 0);
}

// Four boards, two at a time, with --verify. How many were worked on at
// once is read from when each was asked, not from how long the run took.
// The last board echoes the write but does not keep it, which only the
// extra read shows.
void TestCliProvision::boardsWorkedOnAtOnce()
{
    QElapsedTimer clock;
    clock.start();
    QList<std::shared_ptr<TimedBoard>> boards;
    QStringList ports;
    for (int i = 0; i < 4; ++i) {
        boards << std::make_shared<TimedBoard>(clock, i == 3);
        QVERIFY(boards.last()->board.start());
        ports << boards.last()->board.devicePath();
    }
    const TestSupport::CliRun run =
        runCli(QStringList{"provision", boardFile(), "--verify", "--no-history", "--jobs", "2"} + ports);
    QVERIFY2(
        run.exitCode == 15
            && run.out.contains("3 of 4 boards hold the configuration; 1 holds other values: " + ports.last().toUtf8()),
        qPrintable(run.describe()));
    int busiest = 0;
    for (const auto &board : boards) {
        const auto atWork = std::count_if(boards.begin(), boards.end(), [&board](const auto &other) {
            return other->first <= board->first && board->first <= other->last;
        });
        busiest = qMax(busiest, int(atWork));
    }
    QCOMPARE(busiest, 2);
}

void TestCliProvision::interruptLeavesAReport_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("boardCount");
    QTest::addColumn<QString>("jobs");
    QTest::newRow("SIGTERM, one board at a time") << int(SIGTERM) << 4 << "1";
    // A closed SSH session at the bench's PC.
    QTest::newRow("SIGHUP, 12 boards, 4 at a time") << int(SIGHUP) << 12 << "4";
}

// The run is interrupted once the first board's write has gone out. The
// writes under way are seen through; no board is written after them, each
// has its row, and every port is let go of.
void TestCliProvision::interruptLeavesAReport()
{
    QFETCH(int, signal);
    QFETCH(int, boardCount);
    QFETCH(QString, jobs);

    QList<std::shared_ptr<SimulatedBoard>> boards;
    QStringList ports;
    for (int i = 0; i < boardCount; ++i) {
        boards << std::make_shared<SimulatedBoard>();
        QVERIFY(boards.last()->start());
        ports << boards.last()->devicePath();
    }
    const QString reportPath = dir.filePath("interrupted.jsonl");
    const SimulatedBoard &first = *boards.first();
    const TestSupport::CliRun run = runCli(
        QStringList{"provision", boardFile(), "--jobs", jobs, "--report", reportPath} + ports, [&](QProcess &cli) {
            QTRY_VERIFY_WITH_TIMEOUT(wasWritten(first), 10000);
            ::kill(pid_t(cli.processId()), signal);
        });
    QVERIFY2(run.exitCode == 15 && run.err.contains("interrupted by"), qPrintable(run.describe()));

    const QList<QVariantMap> rows = readReport(reportPath);
    QCOMPARE(rows.size(), boards.size());
    QCOMPARE(rows.first().value("outcome").toString(), QString("held"));
    for (int i = 0; i < rows.size(); ++i) {
        QCOMPARE(wasWritten(*boards.at(i)), rows.at(i).value("outcome").toString() == "held");
        QVERIFY(!QFile::exists(PortLock::lockFilePath(ports.at(i))));
    }
    QVERIFY(boards.last()->requests().isEmpty());
    QVERIFY(rows.last().value("message").toString().contains("interrupted"));
}

// A bench named by its sockets, audited before and after it is provisioned:
// the slots file's order in every report, the socket left empty a no-board,
// the board that keeps its values found out, the fields in the window's words.
void TestCliProvision::auditBySlots()
{
    QList<std::shared_ptr<SimulatedBoard>> boards; // bay-3 ignores writes; bay-5 is an 04F2
    for (const uint16_t product : {0x08A3, 0x08A3, 0x08A3, 0x04F2}) {
        boards << std::make_shared<SimulatedBoard>(BoardIdentity::forProduct(product));
        QVERIFY(boards.last()->start());
    }
    BoardFaults keepsItsValues;
    keepsItsValues.ignoreWrites = true;
    boards.first()->setFaults(keepsItsValues);
    const QStringList bays{"bay-3", "bay-1", "bay-2", "bay-5"};
    QByteArray slotsText = "# bench 4\n";
    for (int i = 0; i < boards.size(); ++i) {
        const QString link = dir.filePath("socket-" + bays.at(i));
        QVERIFY(boards.at(i)->createLink(link));
        slotsText += bays.at(i).toUtf8() + ' ' + link.toUtf8() + '\n';
    }
    slotsText += "bay-4 " + dir.filePath("socket-bay-4").toUtf8() + "  # empty\n";
    const QString slotsFile = writeFile("slots.txt", slotsText);
    const QString report = dir.filePath("audit.csv");
    const QByteArray history = dir.filePath("audit-history.jsonl").toUtf8();
    const auto restoreHistory = environmentSet("HALVERO_HISTORY_FILE", history);
    const auto audit = [&] {
        const TestSupport::CliRun run = runCli({"check", boardFile(), "--slots", slotsFile, "--report", report});
        QStringList outcomes;
        for (const QVariantMap &row : readReport(report))
            outcomes << row.value("slot").toString() + ':' + row.value("outcome").toString();
        return qMakePair(run, outcomes.join(' '));
    };
    const QString untouched = "bay-3:differs bay-1:differs bay-2:differs bay-5:skipped-family bay-4:no-board";
    const auto before = audit();
    QVERIFY2(before.first.exitCode == 15 && before.second == untouched,
             qPrintable(before.first.describe() + before.second));
    for (const auto &board : boards)
        QVERIFY(!wasWritten(*board));

    const TestSupport::CliRun provision = runCli({"provision", boardFile(), "--slots", slotsFile});
    QVERIFY2(provision.exitCode == 15, qPrintable(provision.describe()));
    const auto after = audit();
    QCOMPARE(after.second, QString("bay-3:differs bay-1:matches bay-2:matches bay-5:skipped-family bay-4:no-board"));
    for (const TestSupport::CliRun &run : {provision, after.first}) {
        const QString out = QString::fromUtf8(run.out);
        QVERIFY2(out.contains("bay-3  " + dir.filePath("socket-bay-3")) && out.contains("channel 1 failsafe")
                     && !out.contains("failsafe[0]"),
                 qPrintable(out));
    }
    QVERIFY(QString::fromUtf8(after.first.out).contains("channel 1 failsafe: 1000 → 1234, trigger High: 1600 → 1750"));
    QVERIFY2(QString::fromUtf8(after.first.out)
                 .contains("2 of 5 boards match the file; 1 differs: bay-3; 1 skipped (04F2); "
                           "1 no board: bay-4"),
             after.first.out.constData());

    // Named by their ports, the two boards that took the file pass; each
    // board compared left an entry of what it held.
    const TestSupport::CliRun passed =
        runCli({"check", boardFile(), boards.at(1)->devicePath(), boards.at(2)->devicePath()});
    QVERIFY2(passed.exitCode == 0, qPrintable(passed.describe()));
    QFile entries(history);
    QVERIFY(entries.open(QIODevice::ReadOnly));
    QCOMPARE(entries.readAll().count("\"event\":\"check\""), 3 + 3 + 2);

    // The history lists each check as the audit it was, with the file and
    // what it found: the three boards before provisioning and bay-3 after
    // differ, the rest match.
    const TestSupport::CliRun listed = runCli({"history"});
    QVERIFY2(listed.exitCode == 0, qPrintable(listed.describe()));
    QMap<QString, int> found;
    for (const QString &line : QString::fromUtf8(listed.out).split('\n')) {
        if (!line.contains(" check "))
            continue;
        // The boards share a serial, so what changed since "its" last entry
        // depends on the order they were recorded in.
        const QString words = line.section(" audit  halvero-cli ", 1).section("; changed since", 0, 0).trimmed();
        ++found[words.isEmpty() ? line : words];
    }
    const QString compared = "compared with " + boardFile() + ": ";
    const QMap<QString, int> expected{{compared + "differs: channel 1 failsafe, trigger High", 4},
                                      {compared + "matches", 4}};
    QCOMPARE(found, expected);
}

// Every field of every family, one differing from a fresh board at a time:
// a check that left a field out of its comparison would pass such a board.
void TestCliProvision::checkFindsEachField_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QJsonValue>("value"); // the file's; the board holds the factory's

    for (const BoardFamily family : Protocol::knownFamilies()) {
        const BoardFamilyTable &table = Protocol::familyTable(family);
        const ConfigLoad factory = parseConfigObject(validFile(table.name));
        QVERIFY2(factory.ok(), qPrintable(factory.message));
        for (const ConfigField &field : table.config) {
            const int held = factory.config.values.value(field.path);
            const int other = held < field.max ? held + 1 : held - 1;
            QTest::addRow("%s %s", qPrintable(table.name), qPrintable(field.path))
                << table.name << field.path << (field.boolean ? QJsonValue(other != 0) : QJsonValue(other));
        }
    }
}

void TestCliProvision::checkFindsEachField()
{
    QFETCH(QString, family);
    QFETCH(QString, path);
    QFETCH(QJsonValue, value);

    const BoardFamilyTable &table = Protocol::familyTable(Protocol::familyOfProductText(family));
    SimulatedBoard board(BoardIdentity::forProduct(table.productCodes.first()));
    QVERIFY(board.start());
    const QByteArray content = QJsonDocument(withConfigValue(validFile(family), path, value)).toJson();
    writeFile("golden.json", content);
    // Named as the operator typed it, which the entries keep as it is.
    const QString named = dir.path() + "/./golden.json";
    const QString report = dir.filePath("field.jsonl");
    const QString history = dir.filePath("field-history.jsonl");
    QFile::remove(history);
    const auto restoreHistory = environmentSet("HALVERO_HISTORY_FILE", history.toUtf8());

    const TestSupport::CliRun run = runCli({"check", named, board.devicePath(), "--report", report});
    QVERIFY2(run.exitCode == 15, qPrintable(run.describe()));
    QVERIFY(!wasWritten(board));
    const QVariantMap file{{"name", named},
                           {"sha256", QString(QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex())}};
    const QList<QVariantMap> rows = readReport(report);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().value("outcome").toString(), QString("differs"));
    QCOMPARE(rows.first().value("fields").toStringList(), QStringList{path});
    QCOMPARE(rows.first().value("file").toMap(), file);
    const QList<ConfigHistory::Entry> entries = ConfigHistory::HistoryFile(history).read().entries;
    QCOMPARE(entries.size(), 1);
    const QJsonObject &entry = entries.first().json;
    QCOMPARE(entry.value("event").toString(), QString("check"));
    QCOMPARE(entry.value("outcome").toString(), QString("differs"));
    QCOMPARE(entry.value("differs").toArray(), QJsonArray{path});
    QCOMPARE(entry.value("file").toObject().toVariantMap(), file);
}

void TestCliProvision::checkExitStatus_data()
{
    // Each board by its product code; "+1500" holds channel 1 failsafe 1500.
    QTest::addColumn<QStringList>("boards");
    QTest::addColumn<QString>("outcomes");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("all match") << QStringList{"08A3", "08A2"} << "matches matches" << 0;
    QTest::newRow("one of three differs")
        << QStringList{"08A3", "08A3+1500", "08A2"} << "matches differs matches" << 15;
    QTest::newRow("a board of the other family") << QStringList{"08A3", "04F2"} << "matches skipped-family" << 15;
}

// The exit status passes a bench only when every board on it matches.
void TestCliProvision::checkExitStatus()
{
    QFETCH(QStringList, boards);
    QFETCH(QString, outcomes);
    QFETCH(int, exitCode);

    QList<std::shared_ptr<SimulatedBoard>> bench;
    QStringList ports;
    for (const QString &product : std::as_const(boards)) {
        bench << std::make_shared<SimulatedBoard>(BoardIdentity::forProduct(product.left(4).toUShort(nullptr, 16)));
        QVERIFY(bench.last()->start());
        if (product.endsWith("+1500")) {
            QByteArray payload = bench.last()->storedConfig();
            qToBigEndian<quint16>(1500, payload.data() + 6); // channel 1 failsafe
            QVERIFY(bench.last()->setStoredConfig(payload));
        }
        ports << bench.last()->devicePath();
    }
    const auto station = environmentSet("HALVERO_STATION", "bench-4");
    const QString report = dir.filePath("exit.csv");
    const QString file = writeFile("factory.json", QJsonDocument(validFile("08A3")).toJson());
    const TestSupport::CliRun run = runCli(QStringList{"check", file, "--no-history", "--report", report} + ports);
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.describe()));
    QStringList got;
    for (const QVariantMap &row : readReport(report)) {
        got << row.value("outcome").toString();
        QCOMPARE(row.value("file").toString(), file);
        QCOMPARE(row.value("station").toString(), QString("bench-4"));
        QCOMPARE(row.value("user").toString(), ConfigHistory::loginName());
    }
    QCOMPARE(got.join(' '), outcomes);
}

// Ctrl-C while the report, a named pipe, waits for a program to read it.
void TestCliProvision::interruptWhileTheReportWaits()
{
    SimulatedBoard board;
    QVERIFY(board.start());
    const QString fifo = dir.filePath("unread.csv");
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    const TestSupport::CliRun run =
        runCli({"provision", boardFile(), board.devicePath(), "--report", fifo}, [](QProcess &cli) {
            // The summary goes out before the report; the pipe is waited for 2 s.
            QTRY_VERIFY_WITH_TIMEOUT((cli.waitForReadyRead(50), cli.peek(4096).contains("holds the configuration")),
                                     10000);
            ::kill(pid_t(cli.processId()), SIGINT);
        });
    QVERIFY2(run.exitCode == 16 && run.err.contains("interrupted by SIGINT") && run.err.contains("report"),
             qPrintable(run.describe()));
}

// Boards that answer 200 ms after each request (past the window's wait,
// well inside halvero-cli's): every write is held, and recorded as held.
void TestCliProvision::lateBoardsHoldWhatIsWritten()
{
    BoardFaults late;
    late.delayMs = 200;
    QList<std::shared_ptr<SimulatedBoard>> boards;
    QStringList ports;
    for (uint32_t i = 0; i < 3; ++i) {
        BoardIdentity identity;
        identity.serial[0] = 0x1A7E0 + i;
        boards << std::make_shared<SimulatedBoard>(identity, late);
        QVERIFY(boards.last()->start());
        ports << boards.last()->devicePath();
    }
    const TestSupport::CliRun provisioned = runCli(QStringList{"provision", boardFile()} + ports);
    QVERIFY2(provisioned.exitCode == 0, qPrintable(provisioned.describe()));
    const QJsonObject other = withConfigValue(validFile("08A3"), "failsafe[0]", 1500);
    const TestSupport::CliRun set =
        runCli({"config", "set", ports.first(), writeFile("other.json", QJsonDocument(other).toJson())});
    QVERIFY2(set.exitCode == 0, qPrintable(set.describe()));

    QMap<QString, ConfigHistory::Entry> lastAfter; // by serial
    for (const ConfigHistory::Entry &entry : ConfigHistory::HistoryFile().read().entries)
        if (entry.phase == ConfigHistory::phaseAfter)
            lastAfter.insert(entry.config.serial, entry);
    for (int i = 0; i < boards.size(); ++i) {
        const QString serial =
            QStringLiteral("0x203833524E465009%1").arg(QString::number(0x1A7E0 + i, 16).toUpper(), 8, QLatin1Char('0'));
        const QMap<QString, int> values = lastAfter.value(serial).config.values;
        QCOMPARE(values.value("failsafe[0]"), i == 0 ? 1500 : 1234);
        QCOMPARE(values.value("trigger.high"), i == 0 ? 1600 : 1750);
        QCOMPARE(qFromBigEndian<quint16>(boards.at(i)->storedConfig().constData() + 6), values.value("failsafe[0]"));
    }
}

QTEST_GUILESS_MAIN(TestCliProvision)
#include "tst_cliprovision.moc"

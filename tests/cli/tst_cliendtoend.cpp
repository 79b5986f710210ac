// halvero-cli as a script would use it: the built program run against a
// simulated board on a pseudo-terminal, checking exit statuses, output, and
// what actually went over the line; and the version all three programs print.
#include <QJsonDocument>
#include <QScopeGuard>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <sys/stat.h>

#include "clirun.h"
#include "clitestsupport.h"
#include "halvero_version.h"
#include "parachuteradiocomm.h"
#include "simulatedboard.h"

using namespace clitest;
using Edits = QList<QPair<QString, QJsonValue>>;

namespace {

using Run = TestSupport::CliRun;

Run runCli(const QStringList &arguments, const QString &port = QString(), const QByteArray &input = QByteArray(),
           const QString &output = QString())
{
    return TestSupport::runProgram(QStringLiteral(HALVERO_CLI_PATH), arguments, port, input, output);
}

BoardIdentity boardOf(const QString &productCode)
{
    return BoardIdentity::forProduct(uint16_t(productCode.toUInt(nullptr, 16)));
}

// Only reads went over the line: nothing could have changed the board.
bool onlyReads(const QList<QByteArray> &requests)
{
    return std::all_of(requests.begin(), requests.end(), [](const QByteArray &r) { return r.size() <= 2; });
}

qsizetype statusRequests(const SimulatedBoard &board)
{
    const QList<QByteArray> requests = board.requests();
    return std::count_if(requests.begin(), requests.end(),
                         [](const QByteArray &r) { return r.at(0) == char(USBmsgStatus); });
}

int framesOfLength(const QList<QByteArray> &requests, int length)
{
    return int(
        std::count_if(requests.begin(), requests.end(), [length](const QByteArray &r) { return r.size() == length; }));
}

QJsonObject parseObject(const QByteArray &text)
{
    return QJsonDocument::fromJson(text).object();
}

QJsonObject edited(QJsonObject file, const Edits &edits)
{
    for (const auto &edit : edits)
        file = withConfigValue(file, edit.first, edit.second);
    return file;
}

QStringList reportedFields(const QJsonArray &differences)
{
    QStringList fields;
    for (const QJsonValue &d : differences)
        fields << d.toObject().value("field").toString();
    return fields;
}

} // namespace

class TestCliEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void backupEditRestore_data();
    void backupEditRestore();
    void diffNamesExactlyTheChangedFields_data();
    void diffNamesExactlyTheChangedFields();
    void refusedFilesSendNoWrite_data();
    void refusedFilesSendNoWrite();
    void verifyCatchesAnUnappliedWrite_data();
    void verifyCatchesAnUnappliedWrite();
    void failuresHaveTheirExitCode_data();
    void failuresHaveTheirExitCode();
    void writeOutcomeIsWhatTheBoardAnswered_data();
    void writeOutcomeIsWhatTheBoardAnswered();
    void crossedPairGoesBackAsTheBoardHeldIt();
    void jsonOutputParses_data();
    void jsonOutputParses();
    void showsWhatTheBoardSays_data();
    void showsWhatTheBoardSays();
    void fullStandardOutputFails_data();
    void fullStandardOutputFails();
    void watchWithoutRepliesFails_data();
    void watchWithoutRepliesFails();
    void answersWithoutADisplay_data();
    void answersWithoutADisplay();

private:
    QTemporaryDir dir;
    QString writeFile(const QJsonObject &content) { return writeFile(QJsonDocument(content).toJson()); }
    QString writeFile(const QByteArray &content)
    {
        QFile file(dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_') + ".json"));
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(file.fileName()));
        return file.fileName();
    }
};

void TestCliEndToEnd::backupEditRestore_data()
{
    QTest::addColumn<QString>("productCode");
    QTest::addColumn<Edits>("edits");

    QTest::newRow("08A3") << "08A3"
                          << Edits{{"failsafe[0]", 900},         {"failsafe[11]", 2100},      {"groups[1].bank", 1},
                                   {"groups[2].refreshRate", 1}, {"trigger.activeLow", true}, {"trigger.high", 1750}};
    QTest::newRow("08A2") << "08A2" << Edits{{"failsafe[6]", 1456}, {"trigger.low", 1111}};
    QTest::newRow("04F2") << "04F2" << Edits{{"inaGain", 42}, {"trigger.activeLow", true}, {"trigger.low", 1300}};
}

void TestCliEndToEnd::backupEditRestore()
{
    QFETCH(QString, productCode);
    QFETCH(Edits, edits);

    SimulatedBoard board(boardOf(productCode));
    QVERIFY(board.start());
    const QString backup = dir.filePath(productCode + "-backup.json");
    Run run = runCli({"config", "get", "PORT", "-o", backup}, board.devicePath());
    QVERIFY2(run.exitCode == 0, qPrintable(run.describe()));
    QFile file(backup);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject original = parseObject(file.readAll());
    QCOMPARE(original.value("productCode").toString(), productCode);
    QVERIFY(!original.value("readAt").toString().isEmpty());

    const QJsonObject changed = edited(original, edits);
    board.clearRequests();
    run = runCli({"config", "set", "PORT", writeFile(changed), "--verify"}, board.devicePath());
    QVERIFY2(run.exitCode == 0, qPrintable(run.describe()));
    QCOMPARE(framesOfLength(board.requests(), Protocol::configLength(Protocol::familyOfProductText(productCode))), 1);

    run = runCli({"config", "get", "PORT"}, board.devicePath());
    QCOMPARE(parseObject(run.out).value("config"), changed.value("config"));

    // The backup brings the board back, and so do the factory defaults.
    QCOMPARE(runCli({"config", "set", "PORT", backup}, board.devicePath()).exitCode, 0);
    QCOMPARE(runCli({"config", "diff", "PORT", backup}, board.devicePath()).exitCode, 0);
    QCOMPARE(runCli({"config", "set", "PORT", writeFile(changed)}, board.devicePath()).exitCode, 0);
    QCOMPARE(runCli({"defaults", "PORT", "--yes"}, board.devicePath()).exitCode, 0);
    QCOMPARE(runCli({"config", "diff", "PORT", backup}, board.devicePath()).exitCode, 0);
}

void TestCliEndToEnd::diffNamesExactlyTheChangedFields_data()
{
    QTest::addColumn<QString>("productCode");
    QTest::addColumn<Edits>("edits");
    QTest::addColumn<QStringList>("fields");

    QTest::newRow("08A3 same") << "08A3" << Edits{} << QStringList{};
    QTest::newRow("08A3 several") << "08A3"
                                  << Edits{{"trigger.low", 1200}, {"groups[0].refreshRate", 1}, {"failsafe[9]", 2000}}
                                  << QStringList{"groups[0].refreshRate", "failsafe[9]", "trigger.low"};
    QTest::newRow("04F2 gain") << "04F2" << Edits{{"inaGain", 9}} << QStringList{"inaGain"};
    QTest::newRow("04F2 out of range") << "04F2" << Edits{{"trigger.activeLow", true}, {"trigger.high", 2500}}
                                       << QStringList{"trigger.activeLow", "trigger.high"};
}

void TestCliEndToEnd::diffNamesExactlyTheChangedFields()
{
    QFETCH(QString, productCode);
    QFETCH(Edits, edits);
    QFETCH(QStringList, fields);

    SimulatedBoard board(boardOf(productCode));
    QVERIFY(board.start());
    const QString file = writeFile(edited(validFile(productCode), edits));
    const int expectedExit = fields.isEmpty() ? 0 : 10;

    Run run = runCli({"config", "diff", "PORT", file, "--json"}, board.devicePath());
    QVERIFY2(run.exitCode == expectedExit, qPrintable(run.describe()));
    const QJsonArray differences = parseObject(run.out).value("differences").toArray();
    QCOMPARE(reportedFields(differences), fields);
    for (const QJsonValue &difference : differences)
        for (const auto &edit : edits)
            if (edit.first == difference.toObject().value("field").toString())
                QCOMPARE(difference.toObject().value("file"), edit.second);
    QVERIFY(onlyReads(board.requests()));

    run = runCli({"config", "diff", "PORT", file}, board.devicePath());
    QCOMPARE(run.exitCode, expectedExit);
    const QStringList lines = QString::fromUtf8(run.out).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), qMax(1, int(fields.size()))); // "no differences" when equal
    for (int i = 0; i < fields.size(); ++i)
        QVERIFY2(lines.at(i).startsWith(fields.at(i)), qPrintable(lines.at(i)));
}

void TestCliEndToEnd::refusedFilesSendNoWrite_data()
{
    QTest::addColumn<QString>("boardProduct");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("named");
    QTest::addColumn<bool>("identified"); // refused only once the board said what it is

    const auto json = [](const QJsonObject &object) { return QJsonDocument(object).toJson(); };
    QTest::newRow("04F2 file, 08A3 board") << "08A3" << json(validFile("04F2")) << 4 << "04F2" << true;
    QTest::newRow("08A3 file, 04F2 board") << "04F2" << json(validFile("08A3")) << 4 << "08A3" << true;
    QTest::newRow("malformed") << "08A3"
                               << QByteArray("{\n  \"format\": 1,\n  \"productCode\": \"08A3\"\n  \"config\": {}\n}")
                               << 2 << "line 4" << false;
    QTest::newRow("typo in a field") << "04F2" << json(withConfigValue(validFile("04F2"), "trigger.lowe", 1000)) << 2
                                     << "trigger.lowe" << false;
    QTest::newRow("trigger low above high") << "04F2" << json(withConfigValue(validFile("04F2"), "trigger.low", 1700))
                                            << 3 << "trigger.low is 1700, must be below trigger.high" << true;
    for (const FieldRange &range : numericRanges()) {
        const QString board = range.family == QLatin1String("08A3") ? "08A2" : range.family;
        for (const int value : {range.min - 1, range.max + 1})
            QTest::addRow("%s %s = %d", qPrintable(board), qPrintable(range.path), value)
                << board << json(withConfigValue(validFile(range.family), range.path, value)) << 3 << range.path
                << false;
    }
}

void TestCliEndToEnd::refusedFilesSendNoWrite()
{
    QFETCH(QString, boardProduct);
    QFETCH(QByteArray, content);
    QFETCH(int, exitCode);
    QFETCH(QString, named);
    QFETCH(bool, identified);

    SimulatedBoard board(boardOf(boardProduct));
    QVERIFY(board.start());
    const QByteArray before = board.storedConfig();

    const Run run = runCli({"config", "set", "PORT", writeFile(content), "--verify"}, board.devicePath());
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.describe()));
    QVERIFY2(run.err.contains(named.toUtf8()) && run.err.count('\n') == 1, run.err.constData());
    QVERIFY(onlyReads(board.requests()));
    QCOMPARE(!board.requests().isEmpty(), identified);
    QCOMPARE(board.storedConfig(), before);

    // Piped in on standard input, the verdict is the same.
    QCOMPARE(runCli({"config", "set", "PORT", "-"}, board.devicePath(), content).exitCode, exitCode);
    QVERIFY(onlyReads(board.requests()));
}

void TestCliEndToEnd::verifyCatchesAnUnappliedWrite_data()
{
    QTest::addColumn<Edits>("edits");
    QTest::addColumn<QStringList>("fields");

    QTest::newRow("nothing to change") << Edits{} << QStringList{};
    QTest::newRow("trigger and group") << Edits{{"trigger.activeLow", true}, {"groups[2].bank", 1}}
                                       << QStringList{"groups[2].bank", "trigger.activeLow"};
}

void TestCliEndToEnd::verifyCatchesAnUnappliedWrite()
{
    QFETCH(Edits, edits);
    QFETCH(QStringList, fields);

    // The board's configuration memory no longer takes writes: it answers a
    // write with the configuration it still holds, as one with worn-out or
    // write-protected EEPROM would. Only a read back can notice.
    BoardFaults keepsItsValues;
    keepsItsValues.ignoreWrites = true;
    SimulatedBoard board(boardOf("08A3"), keepsItsValues);
    QVERIFY(board.start());
    const QByteArray held = board.storedConfig();
    const QString file = writeFile(edited(validFile("08A3"), edits));
    Run run = runCli({"config", "set", "PORT", file, "--verify", "--json"}, board.devicePath());
    QVERIFY2(run.exitCode == (fields.isEmpty() ? 0 : 8), qPrintable(run.describe()));
    QCOMPARE(framesOfLength(board.requests(), 40), 1);
    QCOMPARE(reportedFields(parseObject(run.out).value("error").toObject().value("differences").toArray()), fields);
    QCOMPARE(board.storedConfig(), held);

    // Without --verify the board's answer to the write tells the same.
    QCOMPARE(runCli({"config", "set", "PORT", file}, board.devicePath()).exitCode, fields.isEmpty() ? 0 : 8);
}

void TestCliEndToEnd::failuresHaveTheirExitCode_data()
{
    QTest::addColumn<QStringList>("arguments"); // PORT stands for the simulated board
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    const auto row = [](const char *name, const QStringList &args, const char *fault, int code, const char *message) {
        QTest::newRow(name) << args << QString(fault) << code << QString(message);
    };
    row("silent board, watch", {"status", "PORT", "--watch"}, "silent", 7, "No reply from a board on");
    row("no Halvero product", {"identify", "PORT"}, "product", 7, "product code");
    // The second half of each reply lands in the next one's: it once read as
    // product code 0039.
    row("replies in halves too far apart", {"identify", "PORT"}, "split", 7, "no board's reply");
    row("unsupported firmware", {"config", "get", "PORT"}, "firmware", 7, "firmware");
    row("line never quiet", {"identify", "PORT"}, "stream", 12, "sends without pause");
    row("port held by another program", {"identify", "PORT"}, "held", 6, "busy or locked");
    row("port held, named through a link", {"identify", "LINK"}, "held", 6, "busy or locked");
    row("missing device path", {"identify", "/dev/halvero-no-such-port"}, "", 5, "no such port");
    row("missing port name", {"status", "ttyHALVERO99"}, "", 5, "no such port");
    row("no port named", {"identify", ""}, "", 5, "no port given");
    row("folder", {"identify", "/"}, "", 5, "/ is a folder, not a serial port");
    row("no terminal", {"config", "get", "/dev/null"}, "", 5, "/dev/null is not a serial port");
    row("defaults without --yes", {"defaults", "PORT"}, "", 9, "--yes");
    row("unknown option", {"identify", "PORT", "--fast"}, "", 1, "--fast");
    row("unreadable file", {"config", "set", "PORT", "/nonexistent/board.json"}, "", 2, "cannot read");
    row("endless file", {"config", "set", "PORT", "/dev/zero"}, "", 2, "/dev/zero is over 1 MiB");
    row("unwritable output", {"dump", "PORT", "-o", "/nonexistent/dump.txt"}, "", 11, "cannot write");
    // It once waited for a reader for good, holding the port meanwhile.
    row("output to a pipe nobody reads", {"config", "get", "PORT", "-o", "FIFO"}, "", 11, "no program reads from");
    row("output to the board's own port", {"dump", "PORT", "-o", "PORT"}, "", 11, "the board's own port");
    // Both once waited for a writer for good.
    row("configuration from a pipe nobody writes to", {"config", "set", "PORT", "FIFO"}, "", 2,
        "it is a pipe that no program writes to");
    row("slots from a pipe nobody writes to", {"provision", "VALID", "--slots", "FIFO"}, "", 2,
        "it is a pipe that no program writes to");
#ifdef HALVERO_FAILSYNC_PATH
    // The history's entry never reached the disk: nothing goes to the board.
    row("history on a disk that fails", {"config", "set", "PORT", "VALID"}, "fsync", 13, "Input/output error");
#endif
}

void TestCliEndToEnd::failuresHaveTheirExitCode()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, fault);
    QFETCH(int, exitCode);
    QFETCH(QString, message);

    BoardFaults faults;
    faults.silent = fault == "silent";
    faults.wrongProduct = fault == "product";
    faults.wrongFirmware = fault == "firmware";
    faults.stream = fault == "stream";
    faults.splitMs = fault == "split" ? 250 : 0;
    SimulatedBoard board(BoardIdentity(), faults);
    QVERIFY(board.start());
    QSerialPort holder(board.devicePath());
    QVERIFY(fault != "held" || holder.open(QIODevice::ReadWrite));
    QVERIFY(board.createLink(dir.filePath("link")));
    arguments.replaceInStrings(QRegularExpression("^LINK$"), dir.filePath("link"));
    const QString fifo = dir.filePath("fifo");
    QVERIFY(QFile::exists(fifo) || ::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    arguments.replaceInStrings(QRegularExpression("^FIFO$"), fifo);
    QFile valid(dir.filePath("valid.json"));
    QVERIFY(valid.open(QIODevice::WriteOnly) && valid.write(QJsonDocument(validFile("08A3")).toJson()) > 0);
    valid.close();
    arguments.replaceInStrings(QRegularExpression("^VALID$"), valid.fileName());

#ifdef HALVERO_FAILSYNC_PATH
    if (fault == "fsync")
        qputenv("LD_PRELOAD", HALVERO_FAILSYNC_PATH);
#endif
    QElapsedTimer clock;
    clock.start();
    const Run run = runCli(arguments, board.devicePath());
    qunsetenv("LD_PRELOAD");
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.describe()));
    // A script waiting on a broken board gets its answer within seconds.
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    // One line a person can read, and nothing else on the error stream.
    QVERIFY2(run.err.startsWith("halvero-cli: ") && run.err.count('\n') == 1, run.err.constData());
    QVERIFY2(run.err.contains(message.toUtf8()), run.err.constData());
    QVERIFY(onlyReads(board.requests()));

#ifdef HALVERO_FAILSYNC_PATH
    if (fault == "fsync")
        qputenv("LD_PRELOAD", HALVERO_FAILSYNC_PATH);
#endif
    const Run json = runCli(arguments + QStringList{"--json"}, board.devicePath());
    qunsetenv("LD_PRELOAD");
    QCOMPARE(parseObject(json.out).value("error").toObject().value("exitCode").toInt(), exitCode);
}

void TestCliEndToEnd::writeOutcomeIsWhatTheBoardAnswered_data()
{
    QTest::addColumn<QString>("command"); // "set" or "defaults"
    QTest::addColumn<QString>("board");   // what the board does once it has answered the read before the write
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    QTest::newRow("set, board falls silent") << "set"
                                             << "silent" << 7 << "config set sent, but the board on";
    QTest::newRow("set, cable pulled") << "set"
                                       << "unplugged" << 7
                                       << "during config set: whether the board took it is not known";
    QTest::newRow("set, write unanswered, old values kept") << "set"
                                                            << "mute on writes" << 8 << "holds other values";
    QTest::newRow("defaults, board falls silent") << "defaults"
                                                  << "silent" << 7 << "did not answer nor send its configuration back";
    QTest::newRow("defaults, cable pulled") << "defaults"
                                            << "unplugged" << 7 << "during defaults";
    QTest::newRow("defaults, unanswered") << "defaults"
                                          << "mute on writes" << 7 << "the configuration it holds now was read back";
    QTest::newRow("defaults, answered with the configuration")
        << "defaults"
        << "keeps its values" << 8 << "did not acknowledge defaults; the configuration it holds now";
    QTest::newRow("defaults, acknowledged with a byte more")
        << "defaults"
        << "trailing byte" << 8 << "did not acknowledge defaults; the configuration it holds now";
}

void TestCliEndToEnd::writeOutcomeIsWhatTheBoardAnswered()
{
    // Success is said only when the board holds what was written: a write
    // that was not answered, or a board that went away, is a failure.
    QFETCH(QString, command);
    QFETCH(QString, board);
    QFETCH(int, exitCode);
    QFETCH(QString, message);

    BoardFaults faults;
    faults.unplugAfter = board == "unplugged" ? 2 : -1; // identity, then the read before the write
    faults.ignoreWrites = board == "keeps its values";
    SimulatedBoard sim(boardOf("08A3"), faults);
    if (board != "unplugged" && !faults.ignoreWrites) {
        // Reads are answered by a board model; writes, and with "silent"
        // everything after the read before the write, are not.
        auto model = std::make_shared<BoardModel>(boardOf("08A3"));
        auto reads = std::make_shared<int>(0);
        const bool silent = board == "silent";
        const bool trailing = board == "trailing byte";
        sim.setScript([model, reads, silent, trailing](const QByteArray &request) -> QList<ReplyChunk> {
            if (trailing && request.at(0) == char(USBmsgSetDefaults))
                return {ReplyChunk{0, model->reply(request, 0) + '\0', 1}};
            if (request.size() > 2 || (silent && ++*reads > 2))
                return {};
            return {ReplyChunk{0, model->reply(request, 0), 1}};
        });
    }
    QVERIFY(sim.start());
    const QStringList arguments =
        command == "set"
            ? QStringList{"config", "set", "PORT", writeFile(edited(validFile("08A3"), {{"trigger.high", 1990}}))}
            : QStringList{"defaults", "PORT", "--yes", "--json"};
    const Run run = runCli(arguments, sim.devicePath());
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.describe()));
    QVERIFY2(run.err.contains(message.toUtf8()), run.err.constData());
    if (command == "defaults")
        QCOMPARE(parseObject(run.out).value("error").toObject().value("restored"), QJsonValue(false));
}

void TestCliEndToEnd::crossedPairGoesBackAsTheBoardHeldIt()
{
    // A board may hold trigger Low above High: its own backup and its
    // history entry go back to it (the entry with a warning); a file that
    // crosses the pair itself is refused before anything is written.
    SimulatedBoard board(boardOf("04F2"));
    QByteArray crossed = board.storedConfig();
    crossed.replace(2, 4, QByteArray::fromHex("04b00708")); // High 1200, Low 1800
    QVERIFY(board.setStoredConfig(crossed));
    QVERIFY(board.start());
    const QByteArray historyBefore = qgetenv("HALVERO_HISTORY_FILE");
    qputenv("HALVERO_HISTORY_FILE", dir.filePath("crossed-history.jsonl").toLocal8Bit());
    const auto restoreEnvironment = qScopeGuard([&] { qputenv("HALVERO_HISTORY_FILE", historyBefore); });

    const QString backup = dir.filePath("crossed-backup.json");
    QCOMPARE(runCli({"config", "get", "PORT", "-o", backup}, board.devicePath()).exitCode, 0);
    Run run = runCli({"config", "set", "PORT", backup}, board.devicePath());
    QVERIFY2(run.exitCode == 0, qPrintable(run.describe()));
    run = runCli({"history", "restore", "PORT", "1"}, board.devicePath());
    QVERIFY2(run.exitCode == 0 && run.err.contains("warning: history entry 1: value out of range: trigger.low is 1800"),
             qPrintable(run.describe()));

    QFile file(backup);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString moved = writeFile(withConfigValue(parseObject(file.readAll()), "trigger.low", 1900));
    run = runCli({"config", "set", "PORT", moved}, board.devicePath());
    QVERIFY2(run.exitCode == 3 && run.err.contains("trigger.low is 1900, must be below trigger.high (1200)"),
             qPrintable(run.describe()));
    QCOMPARE(board.storedConfig().toHex(), crossed.toHex());
}

void TestCliEndToEnd::jsonOutputParses_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("keys"); // in every line
    QTest::addColumn<int>("lines");        // each one compact JSON object

    QTest::newRow("ports") << QStringList{"ports"} << QStringList{"name", "location", "byId", "vendorId"}
                           << int(QSerialPortInfo::availablePorts().size());
    QTest::newRow("identify") << QStringList{"identify", "PORT"} << QStringList{"productCode", "serial", "chipDevId"}
                              << 1;
    // The simulator's --link makes such a path; Qt would look for it under /dev.
    QTest::newRow("identify, relative path") << QStringList{"identify", "sims/a"} << QStringList{"productCode"} << 1;
    QTest::newRow("status") << QStringList{"status", "PORT"} << QStringList{"time", "switch"} << 1;
    QTest::newRow("status watch") << QStringList{"status", "PORT", "--watch", "--count", "3"}
                                  << QStringList{"time", "triggerPresent"} << 3;
    QTest::newRow("config get") << QStringList{"config", "get", "PORT"} << QStringList{"format", "serial", "config"}
                                << 1;
    QTest::newRow("config get to file") << QStringList{"config", "get", "PORT", "-o", "FILE"} << QStringList{"file"}
                                        << 1;
    QTest::newRow("config set") << QStringList{"config", "set", "PORT", "FILE", "--verify"} << QStringList{"verified"}
                                << 1;
    QTest::newRow("config diff") << QStringList{"config", "diff", "PORT", "FILE"} << QStringList{"equal"} << 1;
    QTest::newRow("defaults") << QStringList{"defaults", "PORT", "--yes"} << QStringList{"restored", "unchanged"} << 1;
    QTest::newRow("dump") << QStringList{"dump", "PORT"} << QStringList{"dump"} << 1;
    QTest::newRow("usage error") << QStringList{"identify"} << QStringList{"error"} << 1;
    QTest::newRow("failure") << QStringList{"identify", "/dev/null"} << QStringList{"error"} << 1;
}

void TestCliEndToEnd::jsonOutputParses()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, keys);
    QFETCH(int, lines);

    SimulatedBoard board;
    QVERIFY(board.start());
    const QString file = writeFile(validFile("08A3"));
    arguments.replaceInStrings(QRegularExpression("^FILE$"), file);
    QVERIFY(QDir(dir.path()).mkpath("sims") && board.createLink(dir.filePath("sims/a")));
    const QString folder = QDir::currentPath();
    QDir::setCurrent(dir.path()); // where "sims/a" is
    const Run run = runCli(arguments + QStringList{"--json"}, board.devicePath());
    QDir::setCurrent(folder);
    QVERIFY2(run.out.isEmpty() || run.out.endsWith('\n'), qPrintable(run.describe()));
    const QList<QByteArray> documents = run.out.split('\n').mid(0, run.out.count('\n'));
    QCOMPARE(documents.size(), lines);
    for (const QByteArray &document : documents) {
        QJsonParseError error;
        const QJsonObject object = QJsonDocument::fromJson(document, &error).object();
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(run.describe()));
        for (const QString &key : keys)
            QVERIFY2(object.contains(key), qPrintable(run.describe()));
    }
    // The file written with -o stays the indented one people edit.
    if (arguments.contains("-o")) {
        QFile written(file);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY2(written.readAll().count('\n') > 3, "an indented file");
    }
}

void TestCliEndToEnd::showsWhatTheBoardSays_data()
{
    QTest::addColumn<QString>("productCode");
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<QString>("statusWord"); // in every status line

    QTest::newRow("08A3") << "08A3"
                          << "1.3"
                          << "trigger";
    QTest::newRow("08A2") << "08A2"
                          << "1.3"
                          << "trigger";
    QTest::newRow("04F2") << "04F2"
                          << "0.1"
                          << "\u00B0C";
}

void TestCliEndToEnd::showsWhatTheBoardSays()
{
    QFETCH(QString, productCode);
    QFETCH(QString, firmware);
    QFETCH(QString, statusWord);

    BoardIdentity identity = boardOf(productCode);
    identity.revId = 0x2A;
    identity.devId = 0x12345;
    QVERIFY(identity.setSerial("0x111111112222222233333333")); // as halvero-boardsim --serial takes it
    SimulatedBoard board(identity);
    QVERIFY(board.start());

    const QJsonObject id = parseObject(runCli({"identify", "PORT", "--json"}, board.devicePath()).out);
    QCOMPARE(id.value("productCode").toString(), productCode);
    QCOMPARE(id.value("firmware").toString(), firmware);
    // As given to the simulator: the word that came last on the wire leads, as in the window.
    QCOMPARE(id.value("serial").toString(), QString("0x111111112222222233333333"));
    QCOMPARE(id.value("chipRevId").toString(), QString("002A"));
    QCOMPARE(id.value("chipDevId").toString(), QString("12345"));
    // -v adds the exchange to the error stream, under its logging category.
    const Run verbose = runCli({"identify", "PORT", "-v"}, board.devicePath());
    QVERIFY2(verbose.err.contains("\nhalvero-cli: halvero.link.wire: Sending read cmd  \"01\"\n"),
             qPrintable(verbose.describe()));

    // The board's dump text, without the reply header in front of it.
    const Run dump = runCli({"dump", "PORT"}, board.devicePath());
    QVERIFY2(dump.out.startsWith("\nEEPROM " + productCode.toUtf8()), qPrintable(dump.describe()));

    // A watch prints one line per poll, each stamped with its time.
    const QString watch = runCli({"status", "PORT", "--watch", "--count", "2"}, board.devicePath()).out;
    QVERIFY2(
        QRegularExpression(QStringLiteral("^(\\d\\d:\\d\\d:\\d\\d\\.\\d{3}  [^\n]*%1[^\n]*\n){2}$").arg(statusWord))
            .match(watch)
            .hasMatch(),
        qPrintable(watch));
}

void TestCliEndToEnd::fullStandardOutputFails_data()
{
    QTest::addColumn<QStringList>("arguments");
    for (const QStringList &arguments : QList<QStringList>{{"--version"},
                                                           {"ports"},
                                                           {"identify", "PORT"},
                                                           {"status", "PORT"},
                                                           {"status", "PORT", "--watch", "--count", "3"},
                                                           {"config", "get", "PORT"},
                                                           {"dump", "PORT"},
                                                           {"history"}})
        QTest::addRow("%s", qPrintable(arguments.join(QLatin1Char(' ')))) << arguments;
}

void TestCliEndToEnd::fullStandardOutputFails()
{
    QFETCH(QStringList, arguments);
    SimulatedBoard board;
    QVERIFY(board.start());
    const Run run = runCli(arguments, board.devicePath(), {}, "/dev/full");
    QVERIFY2(run.exitCode == 11 && run.err.startsWith("halvero-cli: cannot write to standard output")
                 && run.err.count('\n') == 1,
             qPrintable(run.describe()));
    QVERIFY(statusRequests(board) <= 1); // a watch stops at the first line lost
}

void TestCliEndToEnd::watchWithoutRepliesFails_data()
{
    QTest::addColumn<int>("answered"); // status requests the board answers
    QTest::addColumn<int>("exitCode");
    QTest::newRow("no status reply") << 0 << 7;
    QTest::newRow("one status reply") << 1 << 0;
}

void TestCliEndToEnd::watchWithoutRepliesFails()
{
    QFETCH(int, answered);
    QFETCH(int, exitCode);
    SimulatedBoard board;
    QVERIFY(board.start());
    const auto model = std::make_shared<BoardModel>();
    const auto left = std::make_shared<int>(answered);
    board.setScript([model, left](const QByteArray &request) {
        const bool silent = request.at(0) == char(USBmsgStatus) && (*left)-- <= 0;
        return silent ? QList<ReplyChunk>() : QList<ReplyChunk>{{0, model->reply(request, 0)}};
    });
    const Run run = runCli({"status", "PORT", "--watch", "--count", "3"}, board.devicePath());
    QVERIFY2(run.exitCode == exitCode && statusRequests(board) == 3, qPrintable(run.describe()));
}

void TestCliEndToEnd::answersWithoutADisplay_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("expected"); // the start of standard output

    const QString version = QStringLiteral(" " HALVERO_VERSION "\n");
    QTest::newRow("cli version") << HALVERO_CLI_PATH << "--version"
                                 << "halvero-cli" + version;
    QTest::newRow("boardsim version") << HALVERO_BOARDSIM_PATH << "--version"
                                      << "halvero-boardsim" + version;
    QTest::newRow("configurator version") << HALVERO_CONFIGURATOR_PATH << "--version"
                                          << "halvero-configurator" + version;
    QTest::newRow("configurator help") << HALVERO_CONFIGURATOR_PATH << "--help"
                                       << "Usage: halvero-configurator [options]\n";
}

// Every program prints the project's version, and the window program answers
// from a terminal with no display (xcb forced, nowhere to connect to).
void TestCliEndToEnd::answersWithoutADisplay()
{
    QFETCH(QString, program);
    QFETCH(QString, option);
    QFETCH(QString, expected);

    const Run run = TestSupport::runProgram(
        QStringLiteral("env"), {"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM=xcb", program, option});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.startsWith(expected.toUtf8()), qPrintable(run.describe()));
}

QTEST_GUILESS_MAIN(TestCliEndToEnd)
#include "tst_cliendtoend.moc"

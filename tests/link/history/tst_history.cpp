// The configuration history end to end: halvero-cli and the window each leave
// a before/intent/after trio around a write to a simulated board, a write
// whose program died keeps its values as "outcome unknown", restore writes an
// entry back (onto its own board unless told otherwise), damaged lines are
// skipped, and two programs appending at once, from one thread or several,
// never mix their lines (the test program is also the second program: see
// main).
#include <QApplication>
#include <QJsonArray>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <memory>
#include <thread>
#include <vector>

#include "Halvero_configurator.h"
#include "clirun.h"
#include "confighistory.h"
#include "configs.h"
#include "historydialog.h"
#include "historyreader.h"
#include "historywrites.h"
#include "portlock.h"
#include "simulatedboard.h"
#include "ui_Halvero_configurator.h"
#include "windowprobe.h"

namespace {

using TestSupport::switchConfig;

// Below a regular file: no folder can be made for it.
const QString Unwritable = QStringLiteral("/dev/null/history.jsonl");

// halvero-cli run on the board's port.
TestSupport::CliRun cli(const QStringList &arguments, const SimulatedBoard &board)
{
    return TestSupport::runProgram(QStringLiteral(HALVERO_CLI_PATH), arguments, board.devicePath());
}

// A 16-bit value of the stored 08A3 configuration: 6 is channel 1's
// failsafe, 31 trigger High.
int stored(const SimulatedBoard &board, int offset)
{
    return qFromBigEndian<quint16>(board.storedConfig().constData() + offset);
}

} // namespace

class tst_History : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cliWritesLeaveBeforeAndAfter_data();
    void cliWritesLeaveBeforeAndAfter();
    void windowSaveLeavesBeforeAndAfter_data();
    void windowSaveLeavesBeforeAndAfter();
    void writeEndedBySignal_data();
    void writeEndedBySignal();
    void damagedLinesAreSkipped();
    void concurrentAppendsStayWholeLines_data();
    void concurrentAppendsStayWholeLines();
    void restoreTakesTheEntrysNumber_data();
    void restoreTakesTheEntrysNumber();
    void writesListedOneRowEach_data();
    void writesListedOneRowEach();
    void boardsSharingASerial();

private:
    QString historyPath() const { return m_dir->filePath("history.jsonl"); }
    // "event phase tool value" per entry, oldest first.
    QStringList summary(const QString &field) const;
    QString fileWithHigh(int high) const;

    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_History::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    qputenv("HALVERO_HISTORY_FILE", historyPath().toLocal8Bit());
}

QStringList tst_History::summary(const QString &field) const
{
    QStringList list;
    for (const ConfigHistory::Entry &e : ConfigHistory::HistoryFile(historyPath()).read().entries)
        list << QStringLiteral("%1 %2 %3 %4").arg(e.event, e.phase, e.tool).arg(e.config.values.value(field));
    return list;
}

QString tst_History::fileWithHigh(int high) const
{
    QFile out(m_dir->filePath(QStringLiteral("high-%1.json").arg(high)));
    if (!out.open(QIODevice::WriteOnly) || out.write(configToText(switchConfig(high))) <= 0)
        qFatal("cannot write %s", qPrintable(out.fileName()));
    return out.fileName();
}

void tst_History::cliWritesLeaveBeforeAndAfter_data()
{
    QTest::addColumn<bool>("otherBoard");       // the same family, another serial, High 1600
    QTest::addColumn<QStringList>("arguments"); // FILE holds trigger High 1750
    QTest::addColumn<QString>("history");       // empty: the test's own file
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("high");            // on the board afterwards
    QTest::addColumn<QStringList>("entries"); // added to the history

    // The board starts at High 1700. The history holds 1: 1600, 2 and 3:
    // 1700 around that save, and 4: a trigger Low above High.
    const auto row = [](const char *name, bool other, const QStringList &args, const QString &history, int exit,
                        int high, const QStringList &entries) {
        QTest::newRow(name) << other << args << history << exit << high << entries;
    };
    row("config set", false, {"config", "set", "PORT", "FILE", "--verify"}, {}, 0, 1750,
        {"save before halvero-cli 1700", "save intent halvero-cli 1750", "save after halvero-cli 1750"});
    row("defaults", false, {"defaults", "PORT", "--yes"}, {}, 0, 1600,
        {"defaults before halvero-cli 1700", "defaults after halvero-cli 1600"});
    row("restore", false, {"history", "restore", "PORT", "1"}, {}, 0, 1600,
        {"restore before halvero-cli 1700", "restore intent halvero-cli 1600", "restore after halvero-cli 1600"});
    // An entry goes back as the board held it, Low above High included.
    row("restore a crossed pair", false, {"history", "restore", "PORT", "4"}, {}, 0, 1700,
        {"restore before halvero-cli 1700", "restore intent halvero-cli 1700", "restore after halvero-cli 1700"});
    row("restore no such entry", false, {"history", "restore", "PORT", "5"}, {}, 2, 1700, {});
    row("restore another board's", true, {"history", "restore", "PORT", "3"}, {}, 14, 1600, {});
    row("restore another board's, --any-board", true, {"history", "restore", "PORT", "3", "--any-board"}, {}, 0, 1700,
        {"restore before halvero-cli 1600", "restore intent halvero-cli 1700", "restore after halvero-cli 1700"});
    row("history unwritable", false, {"config", "set", "PORT", "FILE"}, Unwritable, 13, 1700, {});
    row("unwritable, --no-history", false, {"defaults", "PORT", "--yes", "--no-history"}, Unwritable, 0, 1600, {});
}

void tst_History::cliWritesLeaveBeforeAndAfter()
{
    QFETCH(bool, otherBoard);
    QFETCH(QStringList, arguments);
    QFETCH(QString, history);
    QFETCH(int, exitCode);
    QFETCH(int, high);
    QFETCH(QStringList, entries);

    BoardIdentity otherIdentity;
    otherIdentity.serial[0] = 0x1234;
    SimulatedBoard board;
    SimulatedBoard other(otherIdentity);
    QVERIFY(board.start() && other.start());
    QCOMPARE(cli({"config", "set", "PORT", fileWithHigh(1700)}, board).exitCode, 0);
    BoardConfig swapped = switchConfig(1700);
    swapped.values["trigger.low"] = 1800;
    QVERIFY(ConfigHistory::HistoryFile(historyPath())
                .append(ConfigHistory::makeEntry(swapped, "save", "after", "test"))
                .ok());

    if (!history.isEmpty())
        qputenv("HALVERO_HISTORY_FILE", history.toLocal8Bit());
    arguments.replaceInStrings(QRegularExpression("^FILE$"), fileWithHigh(1750));
    const SimulatedBoard &target = otherBoard ? other : board;
    const TestSupport::CliRun run = cli(arguments, target);
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.describe()));
    QCOMPARE(stored(target, 31), high);
    QCOMPARE(summary("trigger.high").mid(4), entries);
}

void tst_History::windowSaveLeavesBeforeAndAfter_data()
{
    QTest::addColumn<QString>("history");
    QTest::addColumn<int>("failsafe"); // channel 1 on the board afterwards
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("recorded") << QString() << 1234
                              << QStringList{"save before configurator 1000", "save intent configurator 1234",
                                             "save after configurator 1234"};
    QTest::newRow("history unwritable") << Unwritable << 1000 << QStringList{};
}

void tst_History::windowSaveLeavesBeforeAndAfter()
{
    QFETCH(QString, history);
    QFETCH(int, failsafe);
    QFETCH(QStringList, entries);

    SimulatedBoard board;
    QVERIFY(board.start());
    if (!history.isEmpty())
        qputenv("HALVERO_HISTORY_FILE", history.toLocal8Bit());
    Halvero_configurator window;
    Ui_Halvero_configurator *ui = HalveroTestAccess::ui(window);
    Probe::connectTo(window, board.devicePath());
    qunsetenv("HALVERO_EXTRA_PORTS");
    QCOMPARE(Probe::describeState(window), Probe::expectedState(Probe::Connection::Polling, 0x08A3));
    scanTimer->stop();

    ui->spin_08A3_val_ch1->setValue(1234);
    ui->btn_08A3_SaveConf->click();
    HalveroTestAccess::tick(window); // the read before the write
    HalveroTestAccess::tick(window);
    QCOMPARE(stored(board, 6), failsafe);
    QCOMPARE(summary("failsafe[0]"), entries);
    if (!history.isEmpty())
        QVERIFY2(ui->statusbar->currentMessage().contains(QFileInfo(history).path()),
                 qPrintable(ui->statusbar->currentMessage()));
}

void tst_History::writeEndedBySignal_data()
{
    QTest::addColumn<int>("signal");     // sent as the write reaches the board
    QTest::addColumn<QString>("newest"); // the history's newest entry, as listed
    QTest::addColumn<bool>("lockLeft");  // taken over by the next program

    // Killed, it records nothing more: the values written stay named.
    QTest::newRow("SIGKILL") << int(SIGKILL)
                             << "intent halvero-cli   outcome unknown; to write: trigger High: 1700 → 1750" << true;
    // Asked to end, it finishes the exchange, records and closes the port.
    QTest::newRow("SIGTERM") << int(SIGTERM) << "after  halvero-cli   trigger High: 1700 → 1750" << false;
}

void tst_History::writeEndedBySignal()
{
    QFETCH(int, signal);
    QFETCH(QString, newest);
    QFETCH(bool, lockLeft);

    SimulatedBoard board;
    QVERIFY(board.start());
    QCOMPARE(cli({"config", "set", "PORT", fileWithHigh(1700)}, board).exitCode, 0);
    // The board answers as ever; the configuration write reaches it along
    // with the signal to the program that sent it.
    BoardModel model;
    QVERIFY(model.setConfigPayload(board.storedConfig()));
    std::atomic<qint64> writer{0};
    board.setScript([&](const QByteArray &request) -> QList<ReplyChunk> {
        const QByteArray reply = model.reply(request, 0);
        if (request.size() > 1 && request.at(0) == 2) {
            ::kill(pid_t(writer.load()), signal);
            if (signal == SIGKILL)
                return {};
        }
        return {ReplyChunk{0, reply}};
    });
    QProcess process;
    process.start(QStringLiteral(HALVERO_CLI_PATH), {"config", "set", board.devicePath(), fileWithHigh(1750)});
    QVERIFY(process.waitForStarted());
    writer = process.processId();
    QVERIFY(process.waitForFinished(30000));
    if (signal == SIGTERM)
        QVERIFY2(process.exitCode() == 16 && process.readAllStandardError().contains("interrupted by SIGTERM"),
                 qPrintable(QString::number(process.exitCode())));
    QCOMPARE(QFile::exists(PortLock::lockFilePath(board.devicePath())), lockLeft);

    board.setScript({});
    const TestSupport::CliRun next = cli({"config", "get", "PORT"}, board);
    QVERIFY2(next.exitCode == 0 && next.err.contains("took over the lock") == lockLeft, qPrintable(next.describe()));
    const TestSupport::CliRun listed = cli({"history", "--count", "1"}, board);
    QVERIFY2(listed.out.trimmed().endsWith(newest.toUtf8()), qPrintable(listed.describe()));
    // The window lists it in the same words.
    HistoryDialog dialog;
    dialog.reload();
    const QTableWidget *table = dialog.findChild<QTableWidget *>("table_history");
    const QString shown = table->item(0, 5)->text();
    QVERIFY2(shown.endsWith(QStringLiteral("trigger High: 1700 \u2192 1750")), qPrintable(shown));
    QCOMPARE(table->item(0, 6)->text(), newest.contains("outcome unknown") ? "not known" : "held");
}

void tst_History::damagedLinesAreSkipped()
{
    const auto entry = [](int high) {
        return QJsonDocument(ConfigHistory::makeEntry(switchConfig(high), "save", "before", "test"))
            .toJson(QJsonDocument::Compact);
    };
    QFile file(historyPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    // Line 2 is cut short in the middle, line 5 at the end, as by a crash.
    file.write(entry(1001) + "\n{\"format\":1,\"config\":{\"trig\n\n" + entry(1004) + "\n" + entry(1005).left(40));
    file.close();
    QVERIFY(ConfigHistory::HistoryFile(historyPath()).append(QJsonDocument::fromJson(entry(1006)).object()).ok());

    QCOMPARE(summary("trigger.high"),
             QStringList({"save before test 1001", "save before test 1004", "save before test 1006"}));
    const QStringList warnings = ConfigHistory::HistoryFile(historyPath()).read().warnings;
    QCOMPARE(warnings.size(), 2);
    QVERIFY2(warnings.at(0).contains("line 2:") && warnings.at(1).contains("line 5:"), qPrintable(warnings.join('\n')));
    // Numbered on from the entries written without numbers, which keep their places.
    QCOMPARE(ConfigHistory::HistoryFile(historyPath()).read().entries.last().json.value("seq").toInt(), 3);
}

void tst_History::concurrentAppendsStayWholeLines_data()
{
    QTest::addColumn<qint64>("rotateBytes");
    QTest::addColumn<int>("count");   // entries per thread
    QTest::addColumn<int>("threads"); // of each program
    QTest::newRow("one file") << qint64(ConfigHistory::HistoryFile::defaultRotateBytes) << 300 << 1;
    QTest::newRow("rotating every few dozen entries") << qint64(16 * 1024) << 300 << 1;
    QTest::newRow("several threads of each program")
        << qint64(ConfigHistory::HistoryFile::defaultRotateBytes) << 60 << 4;
    // A bench of boards: their entries share commits, and each thread has
    // found its own entry in the file before going on (see main).
    QTest::newRow("32 threads of each program") << qint64(ConfigHistory::HistoryFile::defaultRotateBytes) << 10 << 32;
    QTest::newRow("32 threads, rotating") << qint64(32 * 1024) << 10 << 32;
}

void tst_History::concurrentAppendsStayWholeLines()
{
    QFETCH(qint64, rotateBytes);
    QFETCH(int, count);
    QFETCH(int, threads);
    QProcess writers[2];
    // Only a writer's complaint goes to its stderr, so that a failure shows it whole.
    QProcessEnvironment quiet = QProcessEnvironment::systemEnvironment();
    quiet.insert("QT_LOGGING_RULES", "halvero.*.debug=false");
    for (int i = 0; i < 2; ++i) {
        writers[i].setProcessEnvironment(quiet);
        writers[i].start(QCoreApplication::applicationFilePath(),
                         {"--append", historyPath(), QString::number(count), QStringLiteral("writer%1").arg(i),
                          QString::number(rotateBytes), QString::number(threads)});
    }
    for (QProcess &writer : writers)
        QVERIFY2(writer.waitForFinished(60000) && writer.exitStatus() == QProcess::NormalExit && writer.exitCode() == 0,
                 qPrintable(QStringLiteral("exit %1: %2").arg(writer.exitCode()).arg(writer.readAllStandardError())));

    const ConfigHistory::ReadResult read = ConfigHistory::HistoryFile(historyPath()).read();
    QCOMPARE(read.warnings, QStringList());
    // Each writer's entries in the order written, and only the oldest ones
    // gone with a rotation.
    QHash<QString, QList<int>> numbers;
    for (const ConfigHistory::Entry &e : read.entries)
        numbers[e.tool] << e.config.values.value("failsafe[0]");
    for (const QList<int> &list : numbers)
        for (int i = 0; i < list.size(); ++i)
            QCOMPARE(list.at(i), count - int(list.size()) + i);
    const int total = 2 * threads * count;
    QCOMPARE(read.entries.size() == total, rotateBytes == ConfigHistory::HistoryFile::defaultRotateBytes);
    QVERIFY(QFileInfo(historyPath()).size() <= rotateBytes);
    // Numbered in the order written, each number once, across rotations.
    for (int i = 0; i < read.entries.size(); ++i)
        QCOMPARE(read.entries.at(i).index, total - read.entries.size() + 1 + i);
}

void tst_History::restoreTakesTheEntrysNumber_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("layout"); // what differs from the two files below
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said");
    QTest::addColumn<int>("high"); // on the board afterwards
    QTest::addColumn<int>("last"); // the newest entry's number afterwards

    QTest::newRow("unnumbered, by position") << 2 << "" << 0 << "" << 1150 << 47;
    QTest::newRow("numbered, in the older file") << 42 << "" << 0 << "" << 1250 << 47;
    QTest::newRow("dropped by the rotation") << 3 << "" << 2 << "(it holds 1..2, 41..44)" << 1600 << 44;
    QTest::newRow("newest file gone") << 42 << "newest gone" << 0 << "" << 1250 << 45;
    // A numbering that started again.
    QTest::newRow("a number given twice") << 42 << "42 again" << 2 << "2 entries numbered 42" << 1600 << 42;
    // What has taken the older file's name hides nothing of the newer one,
    // nor does it start the numbering again.
    QTest::newRow("the older file a folder")
        << 43 << "older a folder" << 0 << "history.1.jsonl is not a regular file" << 1300 << 47;
}

void tst_History::restoreTakesTheEntrysNumber()
{
    QFETCH(int, entry);
    QFETCH(QString, layout);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    QFETCH(int, high);
    QFETCH(int, last);

    // Left after a rotation: two entries written without numbers, then 41..44.
    QFile previous(ConfigHistory::previousPath(historyPath()));
    QFile current(historyPath());
    QVERIFY(previous.open(QIODevice::WriteOnly) && current.open(QIODevice::WriteOnly));
    QList<QPair<int, int>> entries{{1100, 0}, {1150, 0}, {1200, 41}, {1250, 42}, {1300, 43}, {1350, 44}};
    if (layout == "42 again")
        entries.append({1400, 42});
    for (const auto &[value, seq] : std::as_const(entries)) {
        QJsonObject json = ConfigHistory::makeEntry(switchConfig(value), "save", "before", "test");
        if (seq > 0)
            json.insert("seq", seq);
        (seq < 43 && value < 1400 ? previous : current)
            .write(QJsonDocument(json).toJson(QJsonDocument::Compact) + '\n');
    }
    previous.close();
    current.close();
    QVERIFY(layout != "newest gone" || current.remove());
    QVERIFY(layout != "older a folder" || (previous.remove() && QDir().mkdir(previous.fileName())));

    SimulatedBoard board;
    QVERIFY(board.start());
    const TestSupport::CliRun run = cli({"history", "restore", "PORT", QString::number(entry)}, board);
    QVERIFY2(run.exitCode == exitCode && run.err.contains(said.toUtf8()), qPrintable(run.describe()));
    QCOMPARE(stored(board, 31), high);
    QCOMPARE(ConfigHistory::HistoryFile(historyPath()).read().entries.last().index, last);
}

// Three boards of one serial, provisioned twice at once: each write's
// entries are told from the others' by the write's id.
void tst_History::boardsSharingASerial()
{
    SimulatedBoard boards[3];
    QVERIFY(boards[0].start() && boards[1].start() && boards[2].start());
    const QStringList ports{boards[0].devicePath(), boards[1].devicePath(), boards[2].devicePath()};
    for (int high : {1750, 1800})
        QCOMPARE(
            TestSupport::runProgram(HALVERO_CLI_PATH, QStringList{"provision", fileWithHigh(high)} + ports).exitCode,
            0);
    ConfigHistory::HistoryReader reader(historyPath());
    QVERIFY(reader.start().ok());
    const QList<ConfigHistory::ListedEntry> listed = reader.next(100);
    QCOMPARE(listed.size(), 18);
    for (const ConfigHistory::ListedEntry &e : listed) {
        QVERIFY2(!e.changes.outcomeUnknown, qPrintable(e.entry.phase));
        // Each write changed its board.
        QVERIFY2(e.entry.phase != "after" || !e.changes.differences.isEmpty(),
                 qPrintable(QString::number(e.entry.index)));
    }
}

// "tst_history --append FILE COUNT TOOL ROTATE_BYTES THREADS" appends COUNT
// entries per thread, numbered in failsafe[0], as another program would. An
// entry whose append returned is in the file, whole, before the thread's next
// step, as an "intent" must be before the write it announces is sent (looked
// for without rotation, which may have dropped it by then).
int main(int argc, char *argv[])
{
    if (argc == 7 && qstrcmp(argv[1], "--append") == 0) {
        QCoreApplication app(argc, argv);
        const QStringList args = app.arguments();
        // Each thread is a writer of its own, as the boards of a provisioning run are.
        std::vector<std::thread> threads;
        for (int t = 0; t < args.at(6).toInt(); ++t) {
            threads.emplace_back([&args, t] {
                ConfigHistory::HistoryFile file(args.at(2), args.at(5).toLongLong());
                const bool rotating = args.at(5).toLongLong() < ConfigHistory::HistoryFile::defaultRotateBytes;
                BoardConfig config = switchConfig(1600);
                const QString tool = args.at(4) + QStringLiteral("-%1").arg(t);
                for (int i = 0; i < args.at(3).toInt(); ++i) {
                    config.values["failsafe[0]"] = i;
                    config.readAt = QStringLiteral("%1 entry %2").arg(tool).arg(i);
                    const Result appended = file.append(ConfigHistory::makeEntry(config, "save", "intent", tool));
                    if (!appended.ok())
                        qFatal("%s", qPrintable(appended.message));
                    const QByteArray mark = "\"readAt\":\"" + config.readAt.toUtf8() + "\"";
                    QFile written(args.at(2));
                    bool found = rotating;
                    for (const QByteArray &line :
                         written.open(QIODevice::ReadOnly) ? written.readAll().split('\n') : QList<QByteArray>())
                        found = found || (line.contains(mark) && line.endsWith('}'));
                    if (!found)
                        qFatal("%s: the append returned before its entry was in the file", qPrintable(config.readAt));
                }
            });
        }
        for (std::thread &thread : threads)
            thread.join();
        return 0;
    }
    QApplication app(argc, argv);
    tst_History test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

// The history window's rows: the entries of one write as one row, by the
// write's id when the entries carry one (writes to boards that share a
// serial interleave), else by their order on one board.
void tst_History::writesListedOneRowEach_data()
{
    // Entries newest first: "event phase trigger-high [write id]"; a check's
    // last word is its outcome, "differs:" with the fields' paths.
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("rows"); // "outcome: entries"
    QTest::newRow("a save held") << QStringList{"save after 1750", "save intent 1750", "save before 1700"}
                                 << QStringList{"held: 0 1 2"};
    QTest::newRow("a save the board did not take")
        << QStringList{"save after 1700", "save intent 1750", "save before 1700"} << QStringList{"other values: 0 1 2"};
    QTest::newRow("never answered, then a save held")
        << QStringList{"save after 1800", "save intent 1800", "save before 1750", "save intent 1750",
                       "save before 1700"}
        << QStringList{"held: 0 1 2", "not known: 3 4"};
    QTest::newRow("set defaults unanswered, a save not sent")
        << QStringList{"defaults before 1700", "save before 1700"} << QStringList{"not known: 0", "not written: 1"};
    // A check writes nothing: it is an audit of its own, whatever its
    // neighbours, and says what it found.
    QTest::newRow("checks around a save")
        << QStringList{"check before 1750 matches", "save after 1750", "save intent 1750", "save before 1700",
                       "check before 1700 differs:trigger.high,failsafe[2]"}
        << QStringList{"matches: 0", "held: 1 2 3", "differs: trigger High, channel 3 failsafe: 4"};
    QTest::newRow("a check recorded before its finding was")
        << QStringList{"check before 1700", "save before 1700"} << QStringList{"compared: 0", "not written: 1"};
    QTest::newRow("two boards of one serial, by id")
        << QStringList{"save after 1750 b",  "save after 1700 a",  "save intent 1750 b",
                       "save intent 1800 a", "save before 1700 b", "save before 1750 a"}
        << QStringList{"held: 0 2 4", "other values: 1 3 5"};
}

void tst_History::writesListedOneRowEach()
{
    QFETCH(QStringList, entries);
    QFETCH(QStringList, rows);
    QList<ConfigHistory::ListedEntry> listed;
    for (const QString &text : std::as_const(entries)) {
        const QStringList part = text.split(' ');
        QJsonObject json = ConfigHistory::makeEntry(switchConfig(part.at(2).toInt()), part.at(0), part.at(1), "test");
        if (part.size() > 3 && part.at(0) == ConfigHistory::eventCheck) {
            const QStringList outcome = part.at(3).split(':');
            json.insert(ConfigHistory::keyOutcome, outcome.first());
            json.insert(ConfigHistory::keyDiffers,
                        QJsonArray::fromStringList(outcome.value(1).split(',', Qt::SkipEmptyParts)));
        } else if (part.size() > 3) {
            json.insert("writeId", part.at(3));
        }
        QString why;
        listed.append({ConfigHistory::parseEntry(QJsonDocument(json).toJson(QJsonDocument::Compact), &why), {}});
        QVERIFY2(why.isEmpty(), qPrintable(why));
    }
    QStringList got;
    for (const HistoryWrites::Row &row : HistoryWrites::group(listed)) {
        QStringList indices;
        for (int i : row.entries)
            indices << QString::number(i);
        got << HistoryWrites::outcomeText(row) + ": " + indices.join(' ');
    }
    QCOMPARE(got, rows);
}

#include "tst_history.moc"

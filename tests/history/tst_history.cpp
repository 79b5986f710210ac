// The configuration history end to end: halvero-cli and the window each leave
// a before/after pair around a write to a simulated board, restore writes an
// entry back (onto its own board unless told otherwise), damaged lines are
// skipped, and two programs appending at once never mix their lines.
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>
#include <QtTest>

#include <memory>

#include "Halvero_configurator.h"
#include "confighistory.h"
#include "simulatedboard.h"
#include "ui_Halvero_configurator.h"

struct HalveroTestAccess
{
    static Ui_Halvero_configurator *ui(Halvero_configurator &w) { return w.ui; }
    static void tick(Halvero_configurator &w) { w.onScanTimeout(); }
};

namespace {

// Below a regular file: no folder can be made for it.
const QString Unwritable = QStringLiteral("/dev/null/history.jsonl");

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    Run r;
    if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit)
        r.exitCode = process.exitCode();
    r.out = process.readAllStandardOutput();
    r.err = process.readAllStandardError();
    return r;
}

Run cli(QStringList arguments, const SimulatedBoard *board = nullptr)
{
    if (board)
        arguments.replaceInStrings(QRegularExpression("^PORT$"), board->devicePath());
    return run(QStringLiteral(HALVERO_CLI_PATH), arguments);
}

QJsonObject boardFile(const SimulatedBoard &board)
{
    return QJsonDocument::fromJson(cli({"config", "get", "PORT"}, &board).out).object();
}

int boardHigh(const SimulatedBoard &board)
{
    const QJsonObject file = boardFile(board);
    return file["config"]["trigger"]["high"].toInt(-1);
}

BoardConfig switchConfig()
{
    BoardConfig config;
    config.family = BoardFamily::Switch08A3;
    config.serial = QStringLiteral("0x203833524E46500900390021");
    return config;
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
    void restoreWritesAnEntryBack_data();
    void restoreWritesAnEntryBack();
    void damagedLinesAreSkipped();
    void concurrentAppendsStayWholeLines_data();
    void concurrentAppendsStayWholeLines();

private:
    QString historyPath() const { return m_dir->filePath("history.jsonl"); }
    // "event phase tool value" per entry, oldest first.
    QStringList summary(const QString &field) const;
    // The board's configuration with trigger High changed, as a file.
    QString fileWithHigh(const SimulatedBoard &board, int high) const;

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

QString tst_History::fileWithHigh(const SimulatedBoard &board, int high) const
{
    QJsonObject file = boardFile(board);
    QJsonObject config = file["config"].toObject();
    QJsonObject trigger = config["trigger"].toObject();
    trigger["high"] = high;
    config["trigger"] = trigger;
    file["config"] = config;
    QFile out(m_dir->filePath(QStringLiteral("high-%1.json").arg(high)));
    if (!out.open(QIODevice::WriteOnly) || out.write(QJsonDocument(file).toJson()) <= 0)
        qFatal("cannot write %s", qPrintable(out.fileName()));
    return out.fileName();
}

void tst_History::cliWritesLeaveBeforeAndAfter_data()
{
    QTest::addColumn<QStringList>("arguments"); // FILE holds trigger High 1750
    QTest::addColumn<QString>("history");       // empty: the test's own file
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("high"); // on the board afterwards; it starts at 1700
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("config set") << QStringList{"config", "set", "PORT", "FILE", "--verify"} << QString() << 0 << 1750
                                << QStringList{"save before halvero-cli 1700", "save after halvero-cli 1750"};
    QTest::newRow("defaults") << QStringList{"defaults", "PORT", "--yes"} << QString() << 0 << 1600
                              << QStringList{"defaults before halvero-cli 1700", "defaults after halvero-cli 1600"};
    QTest::newRow("history unwritable") << QStringList{"config", "set", "PORT", "FILE"} << Unwritable << 13 << 1700
                                        << QStringList{};
    QTest::newRow("unwritable, --no-history") << QStringList{"defaults", "PORT", "--yes", "--no-history"} << Unwritable
                                              << 0 << 1600 << QStringList{};
}

void tst_History::cliWritesLeaveBeforeAndAfter()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, history);
    QFETCH(int, exitCode);
    QFETCH(int, high);
    QFETCH(QStringList, entries);

    SimulatedBoard board;
    QVERIFY(board.start());
    QCOMPARE(cli({"config", "set", "PORT", fileWithHigh(board, 1700), "--no-history"}, &board).exitCode, 0);
    QVERIFY(!QFile::exists(historyPath()));

    if (!history.isEmpty())
        qputenv("HALVERO_HISTORY_FILE", history.toLocal8Bit());
    arguments.replaceInStrings(QRegularExpression("^FILE$"), fileWithHigh(board, 1750));
    const Run r = cli(arguments, &board);
    QVERIFY2(r.exitCode == exitCode, r.err.constData());
    QCOMPARE(boardHigh(board), high);
    QCOMPARE(summary("trigger.high"), entries);
}

void tst_History::windowSaveLeavesBeforeAndAfter_data()
{
    QTest::addColumn<QString>("history");
    QTest::addColumn<int>("failsafe"); // channel 1 on the board afterwards
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("recorded") << QString() << 1234
                              << QStringList{"save before configurator 1000", "save after configurator 1234"};
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
    qputenv("HALVERO_EXTRA_PORTS", board.devicePath().toLocal8Bit());
    Halvero_configurator window;
    qunsetenv("HALVERO_EXTRA_PORTS");
    Ui_Halvero_configurator *ui = HalveroTestAccess::ui(window);
    ui->serialList->setCurrentIndex(ui->serialList->findText(board.devicePath()));
    ui->btnSerialConnect->click();
    scanTimer->stop();

    ui->spin_08A3_val_ch1->setValue(1234);
    ui->btn_08A3_SaveConf->click();
    HalveroTestAccess::tick(window);
    QCOMPARE(int(qFromBigEndian<quint16>(board.storedConfig().constData() + 6)), failsafe);
    QCOMPARE(summary("failsafe[0]"), entries);
    if (!history.isEmpty())
        QVERIFY2(ui->statusbar->currentMessage().contains(QFileInfo(history).path()),
                 qPrintable(ui->statusbar->currentMessage()));
}

void tst_History::restoreWritesAnEntryBack_data()
{
    QTest::addColumn<bool>("otherBoard"); // same family, another serial
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("high"); // on the target board afterwards

    // Entry 1 holds High 1600 (before the save), entry 2 holds 1750 (after
    // it), entry 3 a trigger Low above High.
    QTest::newRow("entry 1 onto its board") << false << QStringList{"1"} << 0 << 1600;
    QTest::newRow("out of range") << false << QStringList{"3", "--verify"} << 3 << 1750;
    QTest::newRow("no such entry") << false << QStringList{"4"} << 2 << 1750;
    QTest::newRow("another board's") << true << QStringList{"2"} << 14 << 1600;
    QTest::newRow("another board's, --any-board") << true << QStringList{"2", "--any-board", "--verify"} << 0 << 1750;
}

void tst_History::restoreWritesAnEntryBack()
{
    QFETCH(bool, otherBoard);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(int, high);

    BoardIdentity otherIdentity;
    otherIdentity.serial[0] = 0x1234;
    SimulatedBoard board;
    SimulatedBoard other(otherIdentity);
    QVERIFY(board.start() && other.start());
    QCOMPARE(cli({"config", "set", "PORT", fileWithHigh(board, 1750)}, &board).exitCode, 0);
    BoardConfig swapped = ConfigHistory::HistoryFile(historyPath()).read().entries.last().config;
    swapped.values["trigger.low"] = 1800;
    QVERIFY(ConfigHistory::HistoryFile(historyPath()).append(ConfigHistory::makeEntry(swapped, "save", "after", "test"), nullptr));

    SimulatedBoard *target = otherBoard ? &other : &board;
    const Run r = cli(QStringList{"history", "restore", "PORT"} + arguments, target);
    QVERIFY2(r.exitCode == exitCode, r.err.constData());
    QCOMPARE(boardHigh(*target), high);
    // A restore is recorded like any write, ready to be undone in turn.
    QCOMPARE(summary("trigger.high").last(),
             exitCode == 0 ? QStringLiteral("restore after halvero-cli %1").arg(high) : QStringLiteral("save after test 1750"));
}

void tst_History::damagedLinesAreSkipped()
{
    const QByteArray good = QJsonDocument(ConfigHistory::makeEntry(switchConfig(), "save", "before", "test")).toJson(QJsonDocument::Compact);
    QFile file(historyPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    // Line 2 is cut short in the middle, line 5 at the end, as by a crash.
    file.write(good + "\n{\"format\":1,\"productCode\":\"08A3\",\"config\":{\"trig\n\n" + good + "\n" + good.left(40));
    file.close();
    QVERIFY(ConfigHistory::HistoryFile(historyPath()).append(ConfigHistory::makeEntry(switchConfig(), "save", "after", "test"), nullptr));

    const Run r = cli({"history", "--json"});
    QCOMPARE(r.exitCode, 0);
    QStringList listed;
    for (const QByteArray &line : r.out.split('\n'))
        if (!line.isEmpty())
            listed << QStringLiteral("%1 %2").arg(QJsonDocument::fromJson(line)["index"].toInt()).arg(QJsonDocument::fromJson(line)["phase"].toString());
    QCOMPARE(listed, QStringList({"3 after", "2 before", "1 before"}));
    QCOMPARE(r.err.count("damaged entry skipped"), 2);
    QVERIFY2(r.err.contains("line 2:") && r.err.contains("line 5:"), r.err.constData());
}

void tst_History::concurrentAppendsStayWholeLines_data()
{
    QTest::addColumn<qint64>("rotateBytes");
    QTest::newRow("one file") << qint64(ConfigHistory::HistoryFile::defaultRotateBytes);
    QTest::newRow("rotating every few dozen entries") << qint64(16 * 1024);
}

void tst_History::concurrentAppendsStayWholeLines()
{
    QFETCH(qint64, rotateBytes);
    const int count = 300;
    QProcess writers[2];
    for (int i = 0; i < 2; ++i)
        writers[i].start(QStringLiteral(APPEND_HELPER_PATH),
                         {historyPath(), QString::number(count), QStringLiteral("writer%1").arg(i), QString::number(rotateBytes)});
    for (QProcess &writer : writers)
        QVERIFY2(writer.waitForFinished(60000) && writer.exitCode() == 0, writer.readAllStandardError().constData());

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
    QCOMPARE(read.entries.size() == 2 * count, rotateBytes == ConfigHistory::HistoryFile::defaultRotateBytes);
    QVERIFY(QFileInfo(historyPath()).size() <= rotateBytes);
}

QTEST_MAIN(tst_History)
#include "tst_history.moc"

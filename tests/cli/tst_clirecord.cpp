// halvero-cli and the factory's record, as benches use it: two stations
// writing one board through one record, a record that is down while the
// board is written, and a wrong password that must never be printed.
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <csignal>
#include <memory>

#include "clirun.h"
#include "clitestsupport.h"
#include "pgcluster.h"
#include "recordconnection.h"
#include "recorduri.h"
#include "simulatedboard.h"

using namespace clitest;

class tst_CliRecord : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void twoStationsOneBoard();
    void recordDownWhileWriting();
    void writeAndAuditApart();
    void stalledRecordBounded_data();
    void stalledRecordBounded();
    void passwordNeverPrinted_data();
    void passwordNeverPrinted();

private:
    // halvero-cli on bench `station`, with its own history, and the record.
    TestSupport::CliRun runAt(const QString &station, const QString &record, const QStringList &arguments);
    QString boardFile(int high);

    TestSupport::PgCluster cluster;
    QTemporaryDir dir;
    SimulatedBoard board;
};

void tst_CliRecord::initTestCase()
{
    QString error;
    if (!cluster.start(&error)) {
        if (TestSupport::PgCluster::binaryFolder().isEmpty() && !qEnvironmentVariableIsSet("CI"))
            QSKIP(qPrintable(QStringLiteral("The record's tests are skipped: %1").arg(error)));
        QFAIL(qPrintable(error));
    }
    // The bench's grants, as docs/record.md gives them; the owner makes the
    // tables on first use.
    QVERIFY(runAt("owner", cluster.ownerUri(), {"record", "boards"}).exitCode == 0);
    QVERIFY2(cluster.grantBench(&error), qPrintable(error));
    QVERIFY(board.start());
}

void tst_CliRecord::init()
{
    QString error;
    QVERIFY2(cluster.exec("TRUNCATE halvero_entries", &error), qPrintable(error));
}

TestSupport::CliRun tst_CliRecord::runAt(const QString &station, const QString &record, const QStringList &arguments)
{
    qputenv("HALVERO_STATION", station.toUtf8());
    qputenv("HALVERO_HISTORY_FILE", dir.filePath(station + "/history.jsonl").toUtf8());
    qputenv("HALVERO_RECORD", record.toUtf8());
    return TestSupport::runProgram(QStringLiteral(HALVERO_CLI_PATH), arguments, board.devicePath());
}

QString tst_CliRecord::boardFile(int high)
{
    QJsonObject file = validFile("08A3");
    file = withValue(file, pathSteps("config.trigger.high"), 0, high).toObject();
    const QString path = dir.filePath(QStringLiteral("high-%1.json").arg(high));
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(QJsonDocument(file).toJson()) < 0)
        return QString();
    return path;
}

void tst_CliRecord::twoStationsOneBoard()
{
    const QString bench = cluster.benchUri();
    for (const auto &[station, high] : {std::pair{QString("bench-1"), 1650}, std::pair{QString("bench-2"), 1750}}) {
        const TestSupport::CliRun run = runAt(station, bench, {"config", "set", "PORT", boardFile(high)});
        QVERIFY2(run.exitCode == 0 && run.err.isEmpty(), qPrintable(run.describe()));
    }
    const TestSupport::CliRun shown =
        runAt("bench-3", bench, {"record", "show", "--serial", "0x203833524E46500900390021", "--json"});
    QVERIFY2(shown.exitCode == 0, qPrintable(shown.describe()));
    QSet<QString> stations;
    QString lastChange;
    const QList<QByteArray> lines = shown.out.trimmed().split('\n');
    QCOMPARE(lines.size(), 6); // before, intent, after of each write
    for (const QByteArray &line : lines) {
        const QJsonObject entry = QJsonDocument::fromJson(line).object();
        for (const char *key : {"station", "user", "serial", "productCode", "event", "phase", "config", "time"})
            QVERIFY2(entry.contains(key), line.constData());
        stations << entry.value("station").toString();
        // A write from a file names the file, by its name and its bytes.
        const QJsonObject file = entry.value("file").toObject();
        QVERIFY2(file.value("name").toString().endsWith(".json") && file.value("sha256").toString().size() == 64,
                 line.constData());
        if (lastChange.isEmpty() && entry.value("phase") == "after")
            lastChange = QJsonDocument(entry.value("changes").toArray()).toJson(QJsonDocument::Compact);
    }
    QCOMPARE(stations, QSet<QString>({"bench-1", "bench-2"}));
    // bench-2's write is compared with the board's entry before it.
    QVERIFY2(lastChange.contains("\"from\":1650") && lastChange.contains("\"to\":1750"), qPrintable(lastChange));

    const TestSupport::CliRun boards = runAt("bench-3", bench, {"record", "boards", "--json"});
    const QJsonObject row = QJsonDocument::fromJson(boards.out).object();
    QVERIFY2(boards.exitCode == 0 && row.value("station") == "bench-2"
                 && row.value("lastWrite").toObject().value("outcome") == "held"
                 && row.value("lastWrite").toObject().value("station") == "bench-2" && row.value("lastCheck").isNull()
                 && row.value("config").toObject().value("trigger").toObject().value("high") == 1750,
             qPrintable(boards.describe()));
}

// The write neither fails nor waits long on a record that is down; a push
// once it is back forwards the entries, and a second push adds nothing.
void tst_CliRecord::recordDownWhileWriting()
{
    QVERIFY(cluster.stop());
    QElapsedTimer clock;
    clock.start();
    const TestSupport::CliRun written =
        runAt("bench-4", cluster.benchUri(), {"config", "set", "PORT", boardFile(1550)});
    const qint64 elapsed = clock.elapsed();
    QVERIFY(cluster.restart());
    QVERIFY2(written.exitCode == 0 && written.err.contains("3 entries wait to be forwarded to the record"),
             qPrintable(written.describe()));
    QVERIFY2(elapsed < 15000, qPrintable(QString::number(elapsed)));

    const TestSupport::CliRun pushed = runAt("bench-4", cluster.benchUri(), {"record", "push", "--json"});
    QVERIFY2(pushed.exitCode == 0 && QJsonDocument::fromJson(pushed.out).object().value("stored") == 3,
             qPrintable(pushed.describe()));
    const TestSupport::CliRun again = runAt("bench-4", cluster.benchUri(), {"record", "push"});
    QVERIFY2(again.exitCode == 0 && again.out.contains("nothing waits"), qPrintable(again.describe()));
    QCOMPARE(cluster.number("SELECT count(*) FROM halvero_entries WHERE station = 'bench-4'"), 3);
}

// A board provisioned, then checked against the same golden file: the
// record keeps the write's outcome and the audit's apart, each naming the
// file by its SHA-256; `record show` reads at a bench's width.
void tst_CliRecord::writeAndAuditApart()
{
    const QString golden = boardFile(1620);
    QFile file(golden);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString sha256 = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
    const QString bench = cluster.benchUri();
    for (const char *command : {"provision", "check"}) {
        const TestSupport::CliRun run = runAt("bench-6\x1b[31m", bench, {command, golden, "PORT"});
        QVERIFY2(run.exitCode == 0, qPrintable(run.describe()));
    }
    const TestSupport::CliRun boards = runAt("bench-7", bench, {"record", "boards", "--json"});
    const QJsonObject row = QJsonDocument::fromJson(boards.out).object();
    const QJsonObject write = row.value("lastWrite").toObject(), check = row.value("lastCheck").toObject();
    QVERIFY2(boards.exitCode == 0 && write.value("outcome") == "held" && check.value("outcome") == "matches"
                 && write.value("time").toString() < check.value("time").toString(),
             qPrintable(boards.describe()));
    QCOMPARE(write.value("file").toObject().value("sha256").toString(), sha256);
    QCOMPARE(check.value("file").toObject().value("sha256").toString(), sha256);
    QCOMPARE(check.value("file").toObject().value("name").toString(), golden);

    const TestSupport::CliRun shown = runAt("bench-7", bench, {"record", "show", "--station", "bench-6\x1b[31m"});
    const QList<QByteArray> lines = shown.out.split('\n');
    QVERIFY2(shown.exitCode == 0 && lines.first().startsWith("TIME") && !shown.out.contains('\x1b')
                 && shown.out.contains("bench-6\\x1b"),
             qPrintable(shown.describe()));
    for (const QByteArray &line : lines)
        QVERIFY2(line.size() <= 100 || line.startsWith("    "), line.constData());
    // Each filter filters, and a value is never taken for SQL.
    for (const QStringList &filter : {QStringList{"--station", "bench-7"}, QStringList{"--since", "2099-01-01"},
                                      QStringList{"--serial", "X' OR 'A'='A"}}) {
        const TestSupport::CliRun other = runAt("bench-7", bench, QStringList{"record", "show"} + filter);
        QVERIFY2(other.exitCode == 0 && other.out.startsWith("no entries in the record"), qPrintable(other.describe()));
    }
}

// A record that accepts a connection and answers nothing (its server
// stopped), or whose table another session holds locked: every command ends
// within its bound, a write is done all the same, and a signal ends a push at
// once with exit 16.
void tst_CliRecord::stalledRecordBounded_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("how"); // stalled, locked, signal
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said");
    QTest::addColumn<int>("boundMs");
    const QString waits = QStringLiteral("did not answer within %1 s");
    QTest::newRow("push") << QStringList{"record", "push"} << "stalled" << 18 << waits.arg(3) << 3000;
    QTest::newRow("show") << QStringList{"record", "show"} << "stalled" << 18 << waits.arg(3) << 3000;
    QTest::newRow("boards") << QStringList{"record", "boards"} << "stalled" << 18 << waits.arg(3) << 3000;
    QTest::newRow("config set") << QStringList{"config", "set", "PORT", "FILE"} << "stalled" << 0 << waits.arg(3)
                                << 3000;
    QTest::newRow("config set, locked") << QStringList{"config", "set", "PORT", "FILE"} << "locked" << 0 << waits.arg(5)
                                        << 5000;
    QTest::newRow("push, SIGTERM") << QStringList{"record", "push"} << "signal" << 16 << "asked to end" << 1000;
}

void tst_CliRecord::stalledRecordBounded()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, how);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    QFETCH(int, boundMs);
    const QString station = QStringLiteral("stalled-%1").arg(QTest::currentDataTag()).remove(' ').remove(',');
    arguments.replaceInStrings("FILE", boardFile(1580));
    // Something waits for a push.
    QVERIFY(runAt(station, QStringLiteral("host=/nonexistent dbname=none connect_timeout=2"),
                  {"config", "set", "PORT", boardFile(1570)})
                .exitCode
            == 0);
    std::unique_ptr<Record::Connection> holder;
    if (how == "locked") {
        Record::Target owner;
        QString why;
        QVERIFY(Record::parseUri(cluster.ownerUri(), &owner, &why));
        holder = std::make_unique<Record::Connection>(owner);
        QVERIFY(holder->openOnly().ok() && holder->exec("BEGIN").ok()
                && holder->exec("LOCK TABLE halvero_entries IN ACCESS EXCLUSIVE MODE").ok());
    } else {
        QVERIFY(cluster.freeze(true));
    }
    qputenv("HALVERO_STATION", station.toUtf8());
    qputenv("HALVERO_HISTORY_FILE", dir.filePath(station + "/history.jsonl").toUtf8());
    qputenv("HALVERO_RECORD", cluster.benchUri().toUtf8());
    QElapsedTimer clock;
    qint64 signalledAt = 0;
    clock.start();
    const TestSupport::CliRun run = TestSupport::runProgram(QStringLiteral(HALVERO_CLI_PATH), arguments,
                                                            board.devicePath(), {}, {}, [&](QProcess &cli) {
                                                                if (how != "signal")
                                                                    return;
                                                                QTest::qWait(1000);
                                                                signalledAt = clock.elapsed();
                                                                ::kill(pid_t(cli.processId()), SIGTERM);
                                                            });
    const qint64 took = clock.elapsed() - signalledAt;
    QVERIFY(how == "locked" || cluster.freeze(false));
    QVERIFY2(run.exitCode == exitCode && run.err.contains(said.toUtf8()), qPrintable(run.describe()));
    QVERIFY2(took < boundMs + 3000, qPrintable(QString::number(took)));
    QVERIFY2(!run.err.contains("syntax"), qPrintable(run.describe()));
}

// A password, right or wrong, in a URI or in the keyword form: the board is
// written all the same, a wrong one is told as such, and the password is in
// no output, every log category's included.
void tst_CliRecord::passwordNeverPrinted_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<QString>("password");
    QTest::newRow("URI, wrong") << "uri"
                                << "Wrong@Pass/99";
    QTest::newRow("keywords, wrong") << "keywords"
                                     << "Wrong@Pass/99";
    QTest::newRow("keywords, right") << "keywords" << TestSupport::PgCluster::benchPassword();
}

void tst_CliRecord::passwordNeverPrinted()
{
    QFETCH(QString, form);
    QFETCH(QString, password);
    const bool right = password == TestSupport::PgCluster::benchPassword();
    const QString record =
        form == "uri" ? cluster.uri("bench", QUrl::toPercentEncoding(password)) : cluster.keywords("bench", password);
    const QString station = QStringLiteral("bench-5-%1").arg(QTest::currentDataTag()).remove(' ').remove(',');
    qputenv("QT_LOGGING_RULES", "*=true");
    const TestSupport::CliRun written = runAt(station, record, {"config", "set", "PORT", boardFile(1450), "-v"});
    const TestSupport::CliRun pushed = runAt(station, record, {"record", "push", "-v", "--json"});
    const TestSupport::CliRun shown = runAt(station, QString(), {"record", "show", "--record", record});
    qunsetenv("QT_LOGGING_RULES");
    QVERIFY2(written.exitCode == 0, qPrintable(written.describe()));
    if (right) {
        QVERIFY2(pushed.exitCode == 0 && shown.exitCode == 0, qPrintable(pushed.describe() + shown.describe()));
    } else {
        QVERIFY2(written.err.contains("wait to be forwarded"), qPrintable(written.describe()));
        QVERIFY2(pushed.exitCode == 18 && pushed.err.contains("refused the user or password"),
                 qPrintable(pushed.describe()));
        QVERIFY2(shown.exitCode == 18, qPrintable(shown.describe()));
    }
    for (const TestSupport::CliRun &run : {written, pushed, shown})
        for (const QString &secret : {password, QString::fromUtf8(QUrl::toPercentEncoding(password))})
            QVERIFY2(!run.out.contains(secret.toUtf8()) && !run.err.contains(secret.toUtf8()),
                     qPrintable(run.describe()));
}

QTEST_GUILESS_MAIN(tst_CliRecord)
#include "tst_clirecord.moc"

// halvero-cli and the factory's record, as benches use it: two stations
// writing one board through one record, a record that is down while the
// board is written, and a wrong password that must never be printed.
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QSet>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include "clirun.h"
#include "clitestsupport.h"
#include "pgcluster.h"
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
    const TestSupport::CliRun other = runAt("bench-7", bench, {"record", "show", "--station", "bench-7"});
    QVERIFY2(other.exitCode == 0 && other.out.isEmpty(), qPrintable(other.describe()));
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

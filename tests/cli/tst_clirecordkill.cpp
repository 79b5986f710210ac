// halvero-cli provisioning a bench with the factory's record configured,
// killed (SIGKILL) at random moments over and over, then one push: the
// record must hold every entry of the bench's history, each once, whatever
// moment each run died at. A long run (label soak).
#include <QJsonDocument>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

#include "clirun.h"
#include "clitestsupport.h"
#include "pgcluster.h"
#include "portlock.h"
#include "simulatedboard.h"

using namespace clitest;

class tst_CliRecordKill : public QObject
{
    Q_OBJECT

private slots:
    void killedAnywhereLosesNothing();
};

void tst_CliRecordKill::killedAnywhereLosesNothing()
{
    TestSupport::PgCluster cluster;
    QString error;
    if (!cluster.start(&error)) {
        if (TestSupport::PgCluster::binaryFolder().isEmpty() && !qEnvironmentVariableIsSet("CI"))
            QSKIP(qPrintable(QStringLiteral("The record's tests are skipped: %1").arg(error)));
        QFAIL(qPrintable(error));
    }
    QTemporaryDir dir;
    const QString history = dir.filePath("history.jsonl");
    qputenv("HALVERO_HISTORY_FILE", history.toUtf8());
    qputenv("HALVERO_STATION", "killed-bench");
    qputenv("HALVERO_RECORD", cluster.ownerUri().toUtf8());
    QVERIFY(TestSupport::runProgram(QStringLiteral(HALVERO_CLI_PATH), {"record", "boards"}).exitCode == 0);
    QVERIFY2(cluster.grantBench(&error), qPrintable(error));
    qputenv("HALVERO_RECORD", cluster.benchUri().toUtf8());

    std::vector<std::unique_ptr<SimulatedBoard>> boards;
    QStringList ports;
    for (int i = 0; i < 3; ++i) {
        boards.push_back(std::make_unique<SimulatedBoard>());
        QVERIFY(boards.back()->start());
        ports << boards.back()->devicePath();
    }
    const QString file = dir.filePath("golden.json");
    QFile golden(file);
    QVERIFY(golden.open(QIODevice::WriteOnly) && golden.write(QJsonDocument(validFile("08A3")).toJson()) > 0);
    golden.close();

    const quint32 seed = QRandomGenerator::global()->generate();
    qInfo("seed %u", seed);
    QRandomGenerator random(seed);
    constexpr int runs = 50;
    int killed = 0;
    for (int run = 0; run < runs; ++run) {
        const int killAtMs = random.bounded(700);
        TestSupport::runProgram(QStringLiteral(HALVERO_CLI_PATH), QStringList{"provision", file} + ports, {}, {}, {},
                                [&](QProcess &cli) {
                                    if (!cli.waitForFinished(killAtMs)) {
                                        ::kill(pid_t(cli.processId()), SIGKILL);
                                        ++killed;
                                    }
                                });
    }
    qInfo("%d of %d runs killed", killed, runs);
    // A killed run leaves its ports' lock files: gone with the boards, so
    // that no later test on the same pseudo-terminals hears of them.
    for (const QString &port : ports)
        PortLock::takeOverStale(port);
    const TestSupport::CliRun pushed = TestSupport::runProgram(QStringLiteral(HALVERO_CLI_PATH), {"record", "push"});
    QVERIFY2(pushed.exitCode == 0, qPrintable(pushed.describe()));

    QSet<QString> ids;
    int lines = 0;
    for (const QString &path : {dir.filePath("history.1.jsonl"), history}) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        while (!f.atEnd()) {
            const QByteArray line = f.readLine().trimmed();
            if (line.isEmpty())
                continue;
            ++lines;
            ids << QJsonDocument::fromJson(line).object().value("id").toString();
        }
    }
    QVERIFY(killed > 0);
    QVERIFY(!ids.contains(QString()));
    QCOMPARE(ids.size(), lines);
    QCOMPARE(cluster.number("SELECT count(*) FROM halvero_entries WHERE station = 'killed-bench'"), qint64(lines));
    QCOMPARE(cluster.number("SELECT count(DISTINCT id) FROM halvero_entries"), qint64(lines));
}

QTEST_GUILESS_MAIN(tst_CliRecordKill)
#include "tst_clirecordkill.moc"

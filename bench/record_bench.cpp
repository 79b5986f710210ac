// The factory's record at scale, on a throwaway PostgreSQL cluster of its
// own: 8 stations with 32 boards each recording at once (before, intent and
// after of every write, each station's own history) and
// pushing together, then every entry counted once; and a record of
// --entries (1,000,000) entries, in which halvero-cli as built answers
// `record show --serial S --count 20`, timed as the process a user runs,
// with the server's plan for that query. Prints a table.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

#include <libpq-fe.h>

#include "confighistory.h"
#include "pgcluster.h"
#include "recordconnection.h"
#include "recordpush.h"
#include "recorduri.h"
#include "simulatedboard.h"

namespace {

constexpr int stations = 8;
constexpr int boardsPerStation = 32;

BoardConfig boardConfig(int station, int board)
{
    BoardConfig config;
    config.family = BoardFamily::Switch08A3;
    config.serial = QStringLiteral("0x2038%1%2")
                        .arg(station, 4, 16, QLatin1Char('0'))
                        .arg(board, 16, 16, QLatin1Char('0'))
                        .toUpper();
    for (const ConfigField &field : configFields(config.family))
        config.values[field.path] = field.min;
    return config;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values.at(values.size() / 2);
}

bool fail(const QString &what)
{
    std::fprintf(stderr, "record bench: %s\n", qPrintable(what));
    return false;
}

// Phase 1: every station's boards record at once, then every station pushes.
bool stationsAtOnce(TestSupport::PgCluster &cluster, const QString &folder)
{
    Record::Target bench;
    QString why;
    Record::parseUri(cluster.benchUri(), &bench, &why);
    QElapsedTimer clock;
    clock.start();
    std::vector<std::thread> threads;
    for (int s = 0; s < stations; ++s)
        for (int b = 0; b < boardsPerStation; ++b)
            threads.emplace_back([s, b, &folder] {
                ConfigHistory::HistoryFile history(QStringLiteral("%1/station-%2/history.jsonl").arg(folder).arg(s));
                for (const QString &phase :
                     {ConfigHistory::phaseBefore, ConfigHistory::phaseIntent, ConfigHistory::phaseAfter}) {
                    QJsonObject entry =
                        ConfigHistory::makeEntry(boardConfig(s, b), ConfigHistory::eventSave, phase, "halvero-cli");
                    entry.insert(QStringLiteral("station"), QStringLiteral("station-%1").arg(s));
                    history.append(entry);
                }
            });
    for (std::thread &t : threads)
        t.join();
    const double recorded = clock.nsecsElapsed() / 1e6;

    std::vector<Record::PushResult> pushed(stations);
    const auto pushAll = [&](bool wholeHistory) {
        std::vector<std::thread> pushers;
        for (int s = 0; s < stations; ++s)
            pushers.emplace_back([s, &pushed, &bench, &folder, wholeHistory] {
                pushed[s] = Record::push(bench, QStringLiteral("%1/station-%2/history.jsonl").arg(folder).arg(s),
                                         Record::PushOptions{wholeHistory});
            });
        for (std::thread &t : pushers)
            t.join();
    };
    clock.restart();
    pushAll(false);
    const double forwarded = clock.nsecsElapsed() / 1e6;
    int offered = 0, stored = 0, waiting = 0;
    for (const Record::PushResult &p : pushed) {
        if (!p.ok())
            return fail(p.message);
        offered += p.offered, stored += p.stored, waiting += p.waiting;
    }
    // The same again, as a 'record push --history' on every station.
    pushAll(true);
    int storedAgain = 0;
    for (const Record::PushResult &p : pushed)
        storedAgain += p.stored;
    const qint64 rows = cluster.number("SELECT count(*) FROM halvero_entries");
    const qint64 ids = cluster.number("SELECT count(DISTINCT id) FROM halvero_entries");
    const int expected = stations * boardsPerStation * 3;
    std::printf("| %d stations × %d boards recording at once: %d entries appended | %.0f ms |\n", stations,
                boardsPerStation, expected, recorded);
    std::printf("| the %d stations pushing together: %d offered, %d stored, %d waiting | %.0f ms |\n", stations,
                offered, stored, waiting, forwarded);
    std::printf("| every history pushed again whole: entries stored the second time | %d |\n", storedAgain);
    std::printf("| rows in the record / distinct ids / entries made | %lld / %lld / %d |\n", rows, ids, expected);
    return rows == expected && ids == expected && storedAgain == 0 && waiting == 0;
}

// Phase 2: a large record made by the server, then the listing a user asks for.
bool largeRecord(TestSupport::PgCluster &cluster, int entries, const QString &cli)
{
    QElapsedTimer clock;
    clock.start();
    // 50 entries per board; each a whole 08A3 entry as a bench records it.
    QString error;
    if (!cluster.exec(
            QStringLiteral(
                "INSERT INTO halvero_entries (id, station, login, tool, version, serial, product_code, event,"
                " phase, seq, written_at, entry)"
                " SELECT gen_random_uuid(), 'station-' || (i % 8), 'bench', 'halvero-cli', '1.0.0', s, '08A3',"
                " 'save', (ARRAY['before','intent','after'])[1 + i % 3], i,"
                " timestamptz '2026-01-01' + i * interval '1 second',"
                " jsonb_build_object('format', 1, 'productCode', '08A3', 'firmware', '1.3', 'serial', '0x' || s,"
                "  'readAt', '2026-01-01T00:00:00Z', 'event', 'save', 'tool', 'halvero-cli',"
                "  'phase', (ARRAY['before','intent','after'])[1 + i % 3], 'seq', i, 'station', 'station-' || (i % 8),"
                "  'user', 'bench', 'version', '1.0.0', 'time', to_char((timestamptz '2026-01-01' + i * interval '1 "
                "second')"
                "  AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"'),"
                "  'config', jsonb_build_object('trigger', jsonb_build_object('activeLow', false, 'high', 1600 + i % "
                "400, 'low', 1400),"
                "   'groups', jsonb_build_array(jsonb_build_object('bank', 0, 'refreshRate', 0), "
                "jsonb_build_object('bank', 0, 'refreshRate', 0),"
                "    jsonb_build_object('bank', 0, 'refreshRate', 0)),"
                "   'failsafe', jsonb_build_array(1000,1000,1000,1000,1000,1000,1000,1000,1000,1000,1000,1000)))"
                " FROM (SELECT i, 'BE' || lpad(to_hex(i % %1), 22, '0') AS s FROM generate_series(1, %2) AS i) AS g")
                .arg(qMax(1, entries / 50))
                .arg(entries),
            &error)
        || !cluster.exec(QStringLiteral("ANALYZE halvero_entries"), &error))
        return fail(error);
    std::printf("| a record of %lld entries (%lld boards) made by the server | %.0f s |\n",
                cluster.number("SELECT count(*) FROM halvero_entries"),
                cluster.number("SELECT count(DISTINCT serial) FROM halvero_entries"), clock.nsecsElapsed() / 1e9);

    const QString serial = QStringLiteral("0xBE%1").arg(entries / 100, 22, 16, QLatin1Char('0')).toUpper();
    std::vector<double> runs;
    int lines = 0;
    for (int run = 0; run < 21; ++run) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HALVERO_RECORD"), cluster.benchUri());
        process.setProcessEnvironment(environment);
        clock.restart();
        process.start(cli, {QStringLiteral("record"), QStringLiteral("show"), QStringLiteral("--serial"), serial,
                            QStringLiteral("--count"), QStringLiteral("20")});
        if (!process.waitForFinished(60000) || process.exitCode() != 0)
            return fail(QString::fromLocal8Bit(process.readAllStandardError()));
        runs.push_back(clock.nsecsElapsed() / 1e6);
        lines = int(process.readAllStandardOutput().count('\n'));
    }
    std::printf(
        "| `halvero-cli record show --serial S --count 20`, the whole process (median of 21; %d lines) | %.0f ms |\n",
        lines, median(runs));
    std::printf("| the same, slowest of 21 | %.0f ms |\n", *std::max_element(runs.begin(), runs.end()));

    // The server's part, as the listing asks it (its lateral look-ups included).
    Record::Target owner;
    Record::parseUri(cluster.ownerUri(), &owner, &error);
    Record::Connection connection(owner);
    if (!connection.open().ok())
        return fail(QStringLiteral("no connection for the plan"));
    Record::Rows plan;
    connection.exec(
        QStringLiteral("EXPLAIN (ANALYZE, COSTS OFF, SUMMARY ON) SELECT e.id FROM halvero_entries e"
                       " LEFT JOIN LATERAL (SELECT p.entry FROM halvero_entries p WHERE p.serial = e.serial"
                       " AND p.phase <> 'intent' AND (p.written_at, p.station, "
                       "coalesce(array_position(ARRAY['before', 'intent', 'after'], p.phase), 0)) < (e.written_at, "
                       "e.station, coalesce(array_position(ARRAY['before', 'intent', 'after'], e.phase), 0))"
                       " ORDER BY p.written_at DESC, p.station DESC, coalesce(array_position(ARRAY['before', 'intent', "
                       "'after'], p.phase), 0) DESC LIMIT 1) prev ON true"
                       " WHERE e.serial = '%1' ORDER BY e.written_at DESC, e.station DESC, "
                       "coalesce(array_position(ARRAY['before', 'intent', 'after'], e.phase), 0) DESC LIMIT 20")
            .arg(serial.mid(2)),
        {}, &plan);
    std::printf("\nThe server's plan for the listing of one board (its neighbours looked up per row):\n\n");
    for (const QList<QVariant> &line : plan)
        std::printf("    %s\n", qPrintable(line.value(0).toString()));
    return median(runs) < 100;
}

// Phase 3: what a record costs a write: `config set` as the process a user
// runs, against a simulated board, with no record and with one up.
bool writeCost(TestSupport::PgCluster &cluster, const QString &folder, const QString &cli)
{
    SimulatedBoard board;
    if (!board.start())
        return fail(QStringLiteral("no simulated board"));
    const QString file = folder + QStringLiteral("/board.json");
    {
        QProcess get;
        get.start(cli,
                  {QStringLiteral("config"), QStringLiteral("get"), board.devicePath(), QStringLiteral("-o"), file});
        if (!get.waitForFinished(60000) || get.exitCode() != 0)
            return fail(QStringLiteral("config get: %1").arg(QString::fromLocal8Bit(get.readAllStandardError())));
    }
    double medians[2] = {0, 0};
    for (int withRecord = 0; withRecord < 2; ++withRecord) {
        std::vector<double> runs;
        for (int run = 0; run < 21; ++run) {
            QProcess process;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("HALVERO_HISTORY_FILE"), folder + QStringLiteral("/write/history.jsonl"));
            environment.insert(QStringLiteral("HALVERO_RECORD"), withRecord ? cluster.benchUri() : QString());
            process.setProcessEnvironment(environment);
            QElapsedTimer clock;
            clock.start();
            process.start(cli, {QStringLiteral("config"), QStringLiteral("set"), board.devicePath(), file});
            if (!process.waitForFinished(60000) || process.exitCode() != 0)
                return fail(QString::fromLocal8Bit(process.readAllStandardError()));
            runs.push_back(clock.nsecsElapsed() / 1e6);
        }
        medians[withRecord] = median(runs);
    }
    std::printf("| `halvero-cli config set` with no record (median of 21) | %.0f ms |\n", medians[0]);
    std::printf("| the same with a record up: the entries forwarded (median of 21) | %.0f ms (%.2f×) |\n", medians[1],
                medians[1] / medians[0]);
    return medians[1] <= 1.1 * medians[0];
}

// CSV of one cell: quoted, its quotes doubled.
QByteArray csvCell(const QString &text)
{
    QByteArray cell = text.toUtf8();
    cell.replace('"', "\"\"");
    return '"' + cell + '"';
}

// Phase 4: 100,000 entries waiting in a bench's history pushed, against
// PostgreSQL's own COPY of the same rows into a table of the same kind.
bool pushAgainstCopy(TestSupport::PgCluster &cluster, const QString &folder)
{
    constexpr int entries = 100000;
    const QString history = folder + QStringLiteral("/backlog/history.jsonl");
    QDir().mkpath(QFileInfo(history).absolutePath());
    QFile file(history);
    if (!file.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("cannot write %1").arg(history));
    QByteArray copy;
    const BoardConfig config = boardConfig(9, 1);
    for (int i = 1; i <= entries; ++i) {
        QJsonObject entry = ConfigHistory::makeEntry(config, ConfigHistory::eventSave, ConfigHistory::phaseAfter,
                                                     QStringLiteral("halvero-cli"));
        entry.insert(ConfigHistory::keySeq, i);
        entry.insert(QStringLiteral("station"), QStringLiteral("backlog"));
        const QByteArray line = QJsonDocument(entry).toJson(QJsonDocument::Compact);
        file.write(line + '\n');
        const QStringList cells{entry.value(QStringLiteral("id")).toString(),
                                QString(),
                                QString(),
                                QStringLiteral("backlog"),
                                entry.value(QStringLiteral("user")).toString(),
                                QStringLiteral("halvero-cli"),
                                entry.value(QStringLiteral("version")).toString(),
                                ConfigHistory::normalSerial(config.serial),
                                QStringLiteral("08A3"),
                                ConfigHistory::eventSave,
                                ConfigHistory::phaseAfter,
                                QString::number(i),
                                entry.value(QStringLiteral("time")).toString(),
                                QString::fromUtf8(line)};
        QByteArrayList row;
        for (const QString &cell : cells)
            row << (cell.isEmpty() ? QByteArray() : csvCell(cell));
        copy += row.join(',') + '\n';
    }
    file.close();

    Record::Target bench;
    QString error;
    Record::parseUri(cluster.benchUri(), &bench, &error);
    QElapsedTimer clock;
    clock.start();
    const Record::PushResult pushed = Record::push(bench, history);
    const double pushMs = clock.nsecsElapsed() / 1e6;
    if (!pushed.ok() || pushed.stored != entries)
        return fail(QStringLiteral("push: %1 (%2 stored)").arg(pushed.message).arg(pushed.stored));

    if (!cluster.exec(QStringLiteral("CREATE TABLE copied (LIKE halvero_entries INCLUDING ALL)"), &error)
        || !cluster.exec(QStringLiteral("ALTER TABLE copied OWNER TO owner"), &error))
        return fail(error);
    PGconn *conn = PQconnectdb(cluster.ownerUri().toUtf8().constData());
    if (PQstatus(conn) != CONNECTION_OK)
        return fail(QString::fromUtf8(PQerrorMessage(conn)));
    clock.restart();
    PGresult *res = PQexec(conn, "COPY copied (id, write_id, run_id, station, login, tool, version, serial, "
                                 "product_code, event, phase, seq, written_at, entry) FROM STDIN WITH (FORMAT csv)");
    const bool started = PQresultStatus(res) == PGRES_COPY_IN;
    PQclear(res);
    bool copied =
        started && PQputCopyData(conn, copy.constData(), int(copy.size())) == 1 && PQputCopyEnd(conn, nullptr) == 1;
    while ((res = PQgetResult(conn))) {
        copied = copied && PQresultStatus(res) == PGRES_COMMAND_OK;
        PQclear(res);
    }
    const double copyMs = clock.nsecsElapsed() / 1e6;
    if (!copied)
        return fail(QString::fromUtf8(PQerrorMessage(conn)));
    PQfinish(conn);
    std::printf("| `record push` of %d waiting entries | %.0f ms |\n", entries, pushMs);
    std::printf("| PostgreSQL's COPY of the same rows into a table of the same kind | %.0f ms (push: %.2f×) |\n",
                copyMs, pushMs / copyMs);
    return pushMs <= 2 * copyMs;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("halvero.*.debug=false"));
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption entriesOption(QStringLiteral("entries"), QStringLiteral("entries in the large record"),
                                           QStringLiteral("N"), QStringLiteral("1000000"));
    parser.addOption(entriesOption);
    parser.process(app);

    TestSupport::PgCluster cluster;
    QString error;
    if (!cluster.start(&error))
        return fail(error), 1;
    Record::Target owner;
    Record::parseUri(cluster.ownerUri(), &owner, &error);
    if (const Result made = Record::Connection(owner).open(); !made.ok())
        return fail(made.message), 1;
    if (!cluster.grantBench(&error))
        return fail(error), 1;
    QTemporaryDir folder;
    std::printf("| Record | Figure |\n|---|---|\n");
    const bool once = stationsAtOnce(cluster, folder.path());
    const bool cheap = writeCost(cluster, folder.path(), QStringLiteral(HALVERO_CLI_PATH));
    const bool backlog = pushAgainstCopy(cluster, folder.path());
    const bool fast = largeRecord(cluster, parser.value(entriesOption).toInt(), QStringLiteral(HALVERO_CLI_PATH));
    std::printf("\nEvery entry stored exactly once: %s; a write with the record within 1.1x: %s; a backlog pushed "
                "within 2x COPY: %s; the listing under 100 ms: %s\n",
                once ? "yes" : "NO", cheap ? "yes" : "NO", backlog ? "yes" : "NO", fast ? "yes" : "NO");
    return once && cheap && backlog && fast ? 0 : 1;
}

// The throwaway cluster: its programs, run as the user the server accepts.
#include "pgcluster.h"

#include <libpq-fe.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QUuid>
#include <QVariant>

#include <algorithm>
#if defined(Q_OS_UNIX)
#include <csignal>
#include <unistd.h>
#endif

namespace TestSupport {

namespace {

bool asRoot()
{
#if defined(Q_OS_UNIX)
    return ::geteuid() == 0;
#else
    return false;
#endif
}

} // namespace

QString PgCluster::binaryFolder()
{
    const QString given = qEnvironmentVariable("HALVERO_PG_BINDIR");
    if (!given.isEmpty())
        return QFileInfo::exists(given + QStringLiteral("/initdb")) ? given : QString();
    // Debian keeps each major version apart; the newest one serves.
    QStringList versions = QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versions.begin(), versions.end(),
              [](const QString &a, const QString &b) { return a.toInt() > b.toInt(); });
    for (const QString &version : versions) {
        const QString folder = QStringLiteral("/usr/lib/postgresql/%1/bin").arg(version);
        if (QFileInfo::exists(folder + QStringLiteral("/initdb")))
            return folder;
    }
    return QString();
}

PgCluster::PgCluster()
{
    // A port of its own: it names the socket file; nothing listens on TCP.
    m_port = 20000 + int(QRandomGenerator::global()->bounded(30000));
}

PgCluster::~PgCluster()
{
    stop();
}

bool PgCluster::run(const QString &program, const QStringList &arguments, QString *error)
{
    QProcess process;
    QString command = binaryFolder() + QLatin1Char('/') + program;
    QStringList all = arguments;
    if (asRoot()) {
        all.prepend(command);
        all = QStringList{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--")} + all;
        command = QStringLiteral("runuser");
    }
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(command, all);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *error = QStringLiteral("%1 failed: %2").arg(program, QString::fromLocal8Bit(process.readAll()));
        return false;
    }
    return true;
}

bool PgCluster::start(QString *error)
{
    if (binaryFolder().isEmpty()) {
        *error = QStringLiteral("PostgreSQL's server programs are not installed (bash scripts/setup installs them)");
        return false;
    }
    if (!m_folder.isValid()) {
        *error = QStringLiteral("no temporary folder");
        return false;
    }
    const QString data = m_folder.filePath(QStringLiteral("data"));
    if (asRoot() && QProcess::execute(QStringLiteral("chown"), {QStringLiteral("postgres"), m_folder.path()}) != 0) {
        *error = QStringLiteral("cannot give %1 to the user postgres").arg(m_folder.path());
        return false;
    }
    if (!run(QStringLiteral("initdb"),
             {QStringLiteral("-D"), data, QStringLiteral("-U"), QStringLiteral("postgres"),
              QStringLiteral("--auth=trust"), QStringLiteral("-E"), QStringLiteral("UTF8"),
              QStringLiteral("--no-sync")},
             error))
        return false;
    // The superuser without a password, every other role with one: a wrong
    // password is refused as on a factory's server.
    QFile hba(data + QStringLiteral("/pg_hba.conf"));
    if (!hba.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || hba.write("local all postgres trust\nlocal all all scram-sha-256\n") < 0 || !hba.flush()) {
        *error = QStringLiteral("cannot write %1").arg(hba.fileName());
        return false;
    }
    hba.close();
    if (!restart()) {
        *error = QStringLiteral("the server did not start: %1").arg(m_folder.filePath(QStringLiteral("log")));
        return false;
    }
    return exec(QStringLiteral("CREATE ROLE owner LOGIN PASSWORD 'owner-pw'"), error, QStringLiteral("postgres"))
           && exec(QStringLiteral("CREATE ROLE bench LOGIN PASSWORD '%1'").arg(benchPassword()), error,
                   QStringLiteral("postgres"))
           && exec(QStringLiteral("CREATE DATABASE halvero OWNER owner"), error, QStringLiteral("postgres"))
           // As in a fresh PostgreSQL 15: only the owner makes tables.
           && exec(QStringLiteral("ALTER SCHEMA public OWNER TO owner"), error);
}

bool PgCluster::restart()
{
    QString error;
    const QString options = QStringLiteral("-c listen_addresses='' -k %1 -p %2 -c fsync=off -c max_connections=60")
                                .arg(m_folder.path())
                                .arg(m_port);
    m_running = run(QStringLiteral("pg_ctl"),
                    {QStringLiteral("start"), QStringLiteral("-w"), QStringLiteral("-D"),
                     m_folder.filePath(QStringLiteral("data")), QStringLiteral("-l"),
                     m_folder.filePath(QStringLiteral("log")), QStringLiteral("-o"), options},
                    &error);
    if (!m_running)
        qWarning("%s", qPrintable(error));
    return m_running;
}

bool PgCluster::stop()
{
    if (!m_running)
        return true;
    QString error;
    m_running = !run(QStringLiteral("pg_ctl"),
                     {QStringLiteral("stop"), QStringLiteral("-w"), QStringLiteral("-m"), QStringLiteral("fast"),
                      QStringLiteral("-D"), m_folder.filePath(QStringLiteral("data"))},
                     &error);
    return !m_running;
}

bool PgCluster::exec(const QString &sql, QString *error, const QString &database)
{
    return query(sql, error, database, nullptr);
}

bool PgCluster::freeze(bool frozen)
{
    QFile pidFile(m_folder.filePath(QStringLiteral("data/postmaster.pid")));
    if (!pidFile.open(QIODevice::ReadOnly))
        return false;
    const qint64 pid = pidFile.readLine().trimmed().toLongLong();
    return pid > 0 && ::kill(pid_t(pid), frozen ? SIGSTOP : SIGCONT) == 0;
}

bool PgCluster::grantBench(QString *error)
{
    return exec(QStringLiteral("GRANT SELECT, INSERT ON halvero_entries TO bench"), error)
           && exec(QStringLiteral("GRANT SELECT ON halvero_migrations TO bench"), error);
}

qint64 PgCluster::number(const QString &sql)
{
    QString error;
    qint64 first = -1;
    return query(sql, &error, QStringLiteral("halvero"), &first) ? first : -1;
}

bool PgCluster::query(const QString &sql, QString *error, const QString &database, qint64 *first)
{
    const QByteArray conninfo = QStringLiteral("host='%1' port=%2 user=postgres dbname='%3'")
                                    .arg(m_folder.path())
                                    .arg(m_port)
                                    .arg(database)
                                    .toUtf8();
    PGconn *conn = PQconnectdb(conninfo.constData());
    bool ok = PQstatus(conn) == CONNECTION_OK;
    if (!ok)
        *error = QStringLiteral("%1: %2").arg(sql, QString::fromUtf8(PQerrorMessage(conn)).trimmed());
    if (ok) {
        PGresult *res = PQexec(conn, sql.toUtf8().constData());
        const ExecStatusType status = PQresultStatus(res);
        ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
        if (ok && first)
            *first =
                PQntuples(res) > 0 && !PQgetisnull(res, 0, 0) ? QByteArray(PQgetvalue(res, 0, 0)).toLongLong() : -1;
        if (!ok)
            *error = QStringLiteral("%1: %2").arg(sql, QString::fromUtf8(PQresultErrorMessage(res)).trimmed());
        PQclear(res);
    }
    PQfinish(conn);
    return ok;
}

QString PgCluster::keywords(const QString &role, const QString &password) const
{
    return QStringLiteral("host=%1 port=%2 dbname=halvero user=%3 password='%4'")
        .arg(m_folder.path(), QString::number(m_port), role, password);
}

QString PgCluster::uri(const QString &role, const QString &password) const
{
    return QStringLiteral("postgresql://%1:%2@/halvero?host=%3&port=%4")
        .arg(role, password, m_folder.path(), QString::number(m_port));
}

} // namespace TestSupport

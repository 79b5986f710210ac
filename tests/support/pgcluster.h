// A throwaway PostgreSQL cluster for the tests of the factory's record:
// initdb into a temporary folder, the server on a Unix socket in that
// folder and a port of its own (no TCP), stopped and removed when the
// object goes, also when the test failed. As root (CI) the server runs as
// the system user "postgres", which the server requires. The record is a
// database "halvero" owned by the role "owner", with a role "bench" given
// what docs/record.md tells a factory to give each bench.
#ifndef HALVERO_TESTSUPPORT_PGCLUSTER_H
#define HALVERO_TESTSUPPORT_PGCLUSTER_H

#include <QString>
#include <QTemporaryDir>

namespace TestSupport {

class PgCluster
{
public:
    PgCluster();
    ~PgCluster();
    PgCluster(const PgCluster &) = delete;
    PgCluster &operator=(const PgCluster &) = delete;

    // The server's programs, or empty when PostgreSQL is not installed.
    static QString binaryFolder();

    // initdb, start, and the roles and database; false with `error` set.
    bool start(QString *error);
    bool stop(); // the server alone; the files stay for restart()
    bool restart();
    // The server stopped where it stands (SIGSTOP), or let go on: it accepts
    // connections and then answers nothing, as a stalled server does.
    bool freeze(bool frozen);
    // A statement as the superuser, in the record's database (or `database`).
    bool exec(const QString &sql, QString *error, const QString &database = QStringLiteral("halvero"));
    // The bench role given exactly what docs/record.md gives a bench, once
    // the owner has made the tables.
    bool grantBench(QString *error);
    // The first value a query as the superuser gives; -1 when it fails.
    qint64 number(const QString &sql);

    // postgresql://ROLE:PASSWORD@/halvero?host=SOCKETFOLDER&port=PORT
    QString uri(const QString &role, const QString &password) const;
    // host=SOCKETFOLDER port=PORT dbname=halvero user=ROLE password='PASSWORD'
    QString keywords(const QString &role, const QString &password) const;
    QString benchUri() const { return uri(QStringLiteral("bench"), benchPassword()); }
    QString ownerUri() const { return uri(QStringLiteral("owner"), QStringLiteral("owner-pw")); }
    static QString benchPassword() { return QStringLiteral("Bench-Secret-7"); }

private:
    bool run(const QString &program, const QStringList &arguments, QString *error);
    bool query(const QString &sql, QString *error, const QString &database, qint64 *first);

    QTemporaryDir m_folder;
    int m_port = 0;
    bool m_running = false;
};

} // namespace TestSupport

#endif // HALVERO_TESTSUPPORT_PGCLUSTER_H

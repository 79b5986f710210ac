// The migrations, oldest first. A step is never changed once released: a
// record that had it keeps it, and what changes comes as a new step.
#include "recordschema.h"

#include <QStringList>
#include <QVariant>

#include "recordconnection.h"

namespace Record {

namespace {

struct Step
{
    int version;
    const char *description;
    QStringList statements;
};

const QList<Step> &steps()
{
    static const QList<Step> all{
        {1,
         "entries of every bench, by serial number and by time",
         {QStringLiteral("CREATE TABLE halvero_entries ("
                         " id uuid PRIMARY KEY,"
                         " station text NOT NULL CHECK (station <> ''),"
                         " login text NOT NULL,"
                         " tool text NOT NULL CHECK (tool <> ''),"
                         " version text NOT NULL,"
                         " serial text NOT NULL CHECK (serial <> ''),"
                         " product_code text NOT NULL,"
                         " event text NOT NULL CHECK (event <> ''),"
                         " phase text NOT NULL CHECK (phase <> ''),"
                         " seq bigint,"
                         " written_at timestamptz NOT NULL,"
                         " stored_at timestamptz NOT NULL DEFAULT now(),"
                         " entry jsonb NOT NULL CHECK (jsonb_typeof(entry) = 'object'))"),
          QStringLiteral("CREATE INDEX halvero_entries_serial_time ON halvero_entries (serial, written_at DESC)"),
          QStringLiteral("CREATE INDEX halvero_entries_time ON halvero_entries (written_at DESC)")}},
        {2,
         "the write and the provisioning run an entry belongs to; entries by station",
         {QStringLiteral("ALTER TABLE halvero_entries ADD COLUMN write_id text, ADD COLUMN run_id text"),
          QStringLiteral("CREATE INDEX halvero_entries_station_time ON halvero_entries (station, written_at DESC)")}},
    };
    return all;
}

// Any number: the same for every program that migrates a record.
constexpr qint64 migrationLock = 0x48414c5645524f; // "HALVERO"

} // namespace

QString recordDocPath()
{
#ifdef Q_OS_WIN
    return QStringLiteral("record.md in the program's folder");
#else
    return QString::fromUtf8(HALVERO_DOC_DIR) + QStringLiteral("/record.md");
#endif
}

Result recordedVersion(Connection &connection, int *version)
{
    Rows rows;
    const QString what = QStringLiteral("telling its version");
    if (const Result asked =
            connection.exec(QStringLiteral("SELECT to_regclass('halvero_migrations') IS NOT NULL"), {}, &rows, what);
        !asked.ok())
        return asked;
    *version = 0;
    if (rows.value(0).value(0).toString() != QLatin1String("t"))
        return Result();
    if (const Result asked = connection.exec(QStringLiteral("SELECT coalesce(max(version), 0) FROM halvero_migrations"),
                                             {}, &rows, what);
        !asked.ok())
        return asked;
    *version = rows.value(0).value(0).toInt();
    return Result();
}

Result migrate(Connection &connection, int upTo)
{
    // A role that may not make the tables (a bench's) is told whose job
    // it is, not merely that a grant is missing.
    const auto fail = [&connection](const Result &failed) {
        const bool notAllowed = connection.lastFailure() == Failure::Permission;
        if (connection.isOpen())
            connection.exec(QStringLiteral("ROLLBACK"));
        if (!notAllowed)
            return failed;
        return Result::failure(ErrorCode::Record,
                               QStringLiteral("the record %1 is not a record this program can use: its tables are "
                                              "missing or older than this program, and this role may not make them "
                                              "(the record's owner runs this program against it once: see %2)")
                                   .arg(connection.target().masked, recordDocPath()));
    };
    const QString owner =
        QStringLiteral("making its tables (the record's owner makes them: see %1)").arg(recordDocPath());
    if (const Result begun = connection.exec(QStringLiteral("BEGIN"), {}, nullptr, QStringLiteral("migrating"));
        !begun.ok())
        return begun;
    if (const Result locked =
            connection.exec(QStringLiteral("SELECT pg_advisory_xact_lock($1)"), {QString::number(migrationLock)},
                            nullptr, QStringLiteral("locking it for its migration"));
        !locked.ok())
        return fail(locked);
    // Read again under the lock: another program may have just done it.
    int from = 0;
    if (const Result asked = recordedVersion(connection, &from); !asked.ok())
        return fail(asked);
    if (from == 0) {
        if (const Result made = connection.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS halvero_migrations ("
                                                               " version integer PRIMARY KEY,"
                                                               " description text NOT NULL,"
                                                               " applied_at timestamptz NOT NULL DEFAULT now())"),
                                                {}, nullptr, owner);
            !made.ok())
            return fail(made);
    }
    for (const Step &step : steps()) {
        if (step.version <= from || step.version > upTo)
            continue;
        for (const QString &statement : step.statements)
            if (const Result done = connection.exec(statement, {}, nullptr, owner); !done.ok())
                return fail(done);
        if (const Result noted =
                connection.exec(QStringLiteral("INSERT INTO halvero_migrations (version, description) VALUES ($1, $2)"),
                                {step.version, QString::fromLatin1(step.description)}, nullptr, owner);
            !noted.ok())
            return fail(noted);
    }
    return connection.exec(QStringLiteral("COMMIT"), {}, nullptr, QStringLiteral("committing its migration"));
}

} // namespace Record

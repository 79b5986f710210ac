// The migrations, oldest first. A step is never changed once released: a
// record that had it keeps it, and what changes comes as a new step.
#include "recordschema.h"

#include <QSqlError>
#include <QSqlQuery>
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

int recordedVersion(QSqlDatabase &db, QString *error)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT to_regclass('halvero_migrations') IS NOT NULL")) || !query.next()) {
        *error = query.lastError().text();
        return -1;
    }
    if (!query.value(0).toBool())
        return 0;
    if (!query.exec(QStringLiteral("SELECT coalesce(max(version), 0) FROM halvero_migrations")) || !query.next()) {
        *error = query.lastError().text();
        return -1;
    }
    return query.value(0).toInt();
}

Result migrate(QSqlDatabase &db, int upTo)
{
    const auto fail = [&db](const QString &what, const QSqlError &error) {
        db.rollback();
        return Result::failure(ErrorCode::Record, QStringLiteral("%1: %2").arg(what, errorText(error)));
    };
    if (!db.transaction())
        return fail(QStringLiteral("cannot begin the record's migration"), db.lastError());
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT pg_advisory_xact_lock(?)"));
    query.addBindValue(migrationLock);
    if (!query.exec())
        return fail(QStringLiteral("cannot lock the record for its migration"), query.lastError());
    // Read again under the lock: another program may have just done it.
    QString error;
    const int from = recordedVersion(db, &error);
    if (from < 0) {
        db.rollback();
        return Result::failure(ErrorCode::Record, QStringLiteral("cannot read the record's version: %1").arg(error));
    }
    if (from == 0
        && !query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS halvero_migrations ("
                                      " version integer PRIMARY KEY,"
                                      " description text NOT NULL,"
                                      " applied_at timestamptz NOT NULL DEFAULT now())")))
        return fail(QStringLiteral("cannot make the record's table of migrations (the record's owner makes the "
                                   "tables: see docs/record.md)"),
                    query.lastError());
    for (const Step &step : steps()) {
        if (step.version <= from || step.version > upTo)
            continue;
        for (const QString &statement : step.statements)
            if (!query.exec(statement))
                return fail(QStringLiteral("cannot take the record's tables to version %1 (the record's owner "
                                           "makes the tables: see docs/record.md)")
                                .arg(step.version),
                            query.lastError());
        query.prepare(QStringLiteral("INSERT INTO halvero_migrations (version, description) VALUES (?, ?)"));
        query.addBindValue(step.version);
        query.addBindValue(QString::fromLatin1(step.description));
        if (!query.exec())
            return fail(QStringLiteral("cannot note version %1 of the record").arg(step.version), query.lastError());
    }
    if (!db.commit())
        return fail(QStringLiteral("cannot commit the record's migration"), db.lastError());
    return Result();
}

} // namespace Record

// Opening the record: the driver, the bounds on waiting, the schema.
#include "recordconnection.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include "recordschema.h"

namespace Record {

Q_LOGGING_CATEGORY(lcRecord, "halvero.link.record", QtWarningMsg)

QString errorText(const QSqlError &error)
{
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.driverText().trimmed();
    // libpq's messages run over several lines ("connection to server ...
    // failed: ...\n\tIs the server running ...").
    return text.simplified();
}

Connection::Connection(const Target &target)
    : m_target(target)
    , m_name(QStringLiteral("halvero-record-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{}

Connection::~Connection()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        if (db.isValid())
            db.close();
    }
    if (QSqlDatabase::contains(m_name))
        QSqlDatabase::removeDatabase(m_name);
}

QSqlDatabase Connection::database() const
{
    return QSqlDatabase::database(m_name, false);
}

Result Connection::failure(const QString &what, const QSqlError &error) const
{
    const QString words = errorText(error);
    return Result::failure(ErrorCode::Record,
                           m_target.hidePassword(QStringLiteral("the record %1 %2%3")
                                                     .arg(m_target.masked, what,
                                                          words.isEmpty() ? QString() : QStringLiteral(": ") + words)));
}

Result Connection::openOnly()
{
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        return Result::failure(
            ErrorCode::Record,
            QStringLiteral("the record %1 cannot be reached: Qt's PostgreSQL driver is not installed "
                           "(Debian: libqt6sql6-psql)")
                .arg(m_target.masked));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
    db.setHostName(m_target.host);
    db.setPort(m_target.port);
    db.setDatabaseName(m_target.dbname);
    db.setUserName(m_target.user);
    db.setPassword(m_target.password);
    db.setConnectOptions(m_target.connectOptions());
    qCDebug(lcRecord).noquote() << "Connecting to" << m_target.masked;
    if (!db.open())
        return failure(QStringLiteral("cannot be reached"), db.lastError());
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SET statement_timeout = %1").arg(statementSeconds * 1000)))
        return failure(QStringLiteral("refuses a bound on its statements"), query.lastError());
    return Result();
}

Result Connection::open()
{
    if (const Result opened = openOnly(); !opened.ok())
        return opened;
    QSqlDatabase db = database();
    QString error;
    const int version = recordedVersion(db, &error);
    if (version < 0)
        return Result::failure(
            ErrorCode::Record,
            m_target.hidePassword(
                QStringLiteral("the record %1 cannot tell its version: %2").arg(m_target.masked, error)));
    if (version >= schemaVersion)
        return Result();
    qCDebug(lcRecord).noquote() << "Taking the record's tables from version" << version << "to" << schemaVersion;
    const Result migrated = migrate(db);
    if (!migrated.ok())
        return Result::failure(
            ErrorCode::Record,
            m_target.hidePassword(QStringLiteral("the record %1: %2").arg(m_target.masked, migrated.message)));
    return Result();
}

} // namespace Record

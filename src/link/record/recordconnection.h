// One connection to the factory's record, on the thread that made it (Qt
// SQL's connections belong to one thread): opened within a few seconds or
// not at all, every statement bounded on the server, the tables brought to
// this program's version, and every failure one sentence without the
// password.
#ifndef HALVERO_RECORDCONNECTION_H
#define HALVERO_RECORDCONNECTION_H

#include <QLoggingCategory>
#include <QSqlDatabase>
#include <QString>

#include "recorduri.h"
#include "result.h"

QT_BEGIN_NAMESPACE
class QSqlError;
QT_END_NAMESPACE

namespace Record {

// What the record did: connections, pushes, queries. Quiet unless asked for
// (-v, or QT_LOGGING_RULES="halvero.link.record.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcRecord)

// The most a statement may run on the server before it gives up.
constexpr int statementSeconds = 5;

// A driver's error as one line: the server's words, else the driver's.
QString errorText(const QSqlError &error);

class Connection
{
public:
    explicit Connection(const Target &target);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // Opens it and takes the tables to schemaVersion. A failure is
    // ErrorCode::Record: "the record postgresql://bench:***@db/halvero
    // cannot be reached: ...".
    Result open();
    // Opens it without touching the tables (a test that makes an old one).
    Result openOnly();

    QSqlDatabase database() const;
    const Target &target() const { return m_target; }
    // "the record postgresql://...: <what>: <the driver's words>", masked.
    Result failure(const QString &what, const QSqlError &error) const;

private:
    Target m_target;
    QString m_name;
};

} // namespace Record

#endif // HALVERO_RECORDCONNECTION_H

// Where the factory's record is: a libpq connection string, a URI
// (postgresql://bench@db/halvero) or keywords (host=db dbname=halvero),
// taken apart by libpq itself, and the string as it may be shown, with its
// password masked. Pure functions, so that they are tried without a server.
#ifndef HALVERO_RECORDURI_H
#define HALVERO_RECORDURI_H

#include <QMap>
#include <QString>

namespace Record {

// What a connection is opened with: every option libpq read from the
// string that has a value (host, port, dbname, user, password, sslmode,
// service, hostaddr, passfile, ...), with this program's bounds added where
// the string sets none. An option left out is libpq's to find (PGPASSWORD,
// ~/.pgpass, a service file, the default socket).
struct Target
{
    QMap<QString, QString> options;
    QString masked; // the string to show: postgresql://bench:***@db/halvero

    QString option(const char *key) const { return options.value(QLatin1String(key)); }
    // The seconds a connection may take before it is given up, over all the
    // hosts the string names.
    int connectSeconds() const;
    // `text` with the password replaced wherever it appears (a server's or
    // libpq's message may quote what it was given).
    QString hidePassword(const QString &text) const;
};

// The seconds libpq waits for one server to answer a connection, unless the
// string says otherwise.
constexpr int defaultConnectSeconds = 3;

// A URI (postgresql:// or postgres://) or a keyword string. False with
// `why` set (the password masked) when libpq cannot read it, or it names
// no database and no service.
bool parseUri(const QString &uri, Target *target, QString *why);

// The string with its password as "***", for any message; also a string
// libpq cannot read: whatever may be a password is masked all the same
// (everything between the user's colon and the last @, since a password
// that was not percent-encoded may hold @, /, ? or #).
QString maskedUri(const QString &uri);

// The record configured for halvero-cli: --record, else $HALVERO_RECORD;
// empty when none.
QString configuredUri(const QString &option);

} // namespace Record

#endif // HALVERO_RECORDURI_H

// Where the factory's record is: a libpq-style URI taken apart into what Qt
// SQL's PostgreSQL driver is given, and the URI as it may be shown, with its
// password masked. Pure functions, so that they are tried without a server.
#ifndef HALVERO_RECORDURI_H
#define HALVERO_RECORDURI_H

#include <QMap>
#include <QString>

namespace Record {

// What the driver is opened with. An empty field is left to libpq: no
// password means PGPASSWORD or ~/.pgpass; no host the default socket.
struct Target
{
    QString host;  // a name, an address or a socket folder (/run/postgresql)
    int port = -1; // -1: libpq's default (PGPORT or 5432)
    QString dbname;
    QString user;
    QString password;
    QMap<QString, QString> options; // sslmode, sslrootcert, connect_timeout, ...
    QString masked;                 // the URI to show: postgresql://bench:***@db/halvero

    // The driver's connect options: "connect_timeout='3';sslmode='require'".
    QString connectOptions() const;
    // `text` with the password replaced wherever it appears (a driver's
    // message may quote what it was given).
    QString hidePassword(const QString &text) const;
};

// The seconds libpq waits for a server to answer a connection, unless the
// URI says otherwise.
constexpr int defaultConnectSeconds = 3;

// postgresql://[user[:password]@][host][:port]/dbname[?key=value&...];
// "postgres://" too. False with `why` set (the password masked) when it is
// none.
bool parseUri(const QString &uri, Target *target, QString *why);

// The URI with its password as "***", for any message (also an unparsable
// URI: what looks like a password is masked all the same).
QString maskedUri(const QString &uri);

// The record configured for halvero-cli: --record, else $HALVERO_RECORD;
// empty when none.
QString configuredUri(const QString &option);

} // namespace Record

#endif // HALVERO_RECORDURI_H

// Reading a connection string with libpq's own parser (PQconninfoParse), so
// that whatever libpq takes is taken here too (several hosts, service=,
// hostaddr=, passfile=, the keyword form), and masking its password in
// whatever form it came.
#include "recorduri.h"

#include <QRegularExpression>
#include <QStringList>
#include <QUrl>

#include <libpq-fe.h>

namespace Record {

namespace {

bool isUri(const QString &text)
{
    return text.startsWith(QLatin1String("postgresql://")) || text.startsWith(QLatin1String("postgres://"));
}

// What a bench never waits past, unless the string says otherwise: a server
// that stops answering over TCP is given up within seconds.
const QList<QPair<QString, QString>> &bounds()
{
    static const QList<QPair<QString, QString>> all{
        {QStringLiteral("connect_timeout"), QString::number(defaultConnectSeconds)},
        {QStringLiteral("keepalives_idle"), QStringLiteral("5")},
        {QStringLiteral("keepalives_interval"), QStringLiteral("2")},
        {QStringLiteral("keepalives_count"), QStringLiteral("2")},
        {QStringLiteral("application_name"), QStringLiteral("halvero")},
    };
    return all;
}

} // namespace

int Target::connectSeconds() const
{
    bool ok = false;
    int seconds = option("connect_timeout").toInt(&ok);
    // libpq takes anything under 2 s as 2 s.
    seconds = ok && seconds > 0 ? qMax(seconds, 2) : defaultConnectSeconds;
    const int hosts = int(qMax(option("host").count(QLatin1Char(',')), option("hostaddr").count(QLatin1Char(','))) + 1);
    return seconds * hosts;
}

QString Target::hidePassword(const QString &text) const
{
    const QString password = option("password");
    if (password.isEmpty())
        return text;
    QString hidden = text;
    hidden.replace(password, QStringLiteral("***"));
    const QString encoded = QString::fromUtf8(QUrl::toPercentEncoding(password));
    if (encoded != password)
        hidden.replace(encoded, QStringLiteral("***"));
    return hidden;
}

QString maskedUri(const QString &uri)
{
    QString masked = uri.trimmed();
    if (isUri(masked)) {
        // user:password@ before the hosts, up to the last @ of the string:
        // an unencoded password may hold any of @ / ? #.
        const int start = int(masked.indexOf(QLatin1String("://"))) + 3;
        const int at = int(masked.lastIndexOf(QLatin1Char('@')));
        if (at > start) {
            const int colon = int(masked.indexOf(QLatin1Char(':'), start));
            if (colon >= 0 && colon < at)
                masked.replace(colon + 1, at - colon - 1, QStringLiteral("***"));
        }
        static const QRegularExpression inQuery(QStringLiteral("([?&]password=)[^&]*"));
        masked.replace(inQuery, QStringLiteral("\\1***"));
        return masked;
    }
    // password=secret, password = 'it''s \' secret'
    static const QRegularExpression keyword(QStringLiteral("(\\bpassword\\s*=\\s*)('(?:[^'\\\\]|\\\\.)*'?|\\S*)"));
    masked.replace(keyword, QStringLiteral("\\1***"));
    return masked;
}

bool parseUri(const QString &uri, Target *target, QString *why)
{
    const QString text = uri.trimmed();
    Target t;
    t.masked = maskedUri(text);
    char *error = nullptr;
    PQconninfoOption *parsed = PQconninfoParse(text.toUtf8().constData(), &error);
    if (!parsed) {
        // libpq quotes the part it stumbled on, which may be a piece of a
        // password: its words are given only where the string holds none.
        const bool secret = t.masked != text || text.contains(QLatin1Char('@'));
        const QString words = error ? QString::fromUtf8(error).simplified() : QString();
        PQfreemem(error);
        *why = QStringLiteral("the record %1 is no PostgreSQL connection string: %2")
                   .arg(t.masked, secret || words.isEmpty()
                                      ? QStringLiteral("libpq cannot read it (is an @, /, ?, # or : in the password "
                                                       "percent-encoded, as %40 %2F %3F %23 %3A?)")
                                      : words);
        return false;
    }
    for (PQconninfoOption *o = parsed; o->keyword; ++o)
        if (o->val && *o->val)
            t.options.insert(QString::fromUtf8(o->keyword), QString::fromUtf8(o->val));
    PQconninfoFree(parsed);
    if (t.option("dbname").isEmpty() && t.option("service").isEmpty()) {
        *why = QStringLiteral("the record %1 names no database (postgresql://host/DBNAME, or dbname=DBNAME)")
                   .arg(t.hidePassword(t.masked));
        return false;
    }
    for (const auto &[key, value] : bounds())
        if (!t.options.contains(key))
            t.options.insert(key, value);
    t.masked = t.hidePassword(t.masked);
    *target = t;
    return true;
}

QString configuredUri(const QString &option)
{
    return option.isEmpty() ? qEnvironmentVariable("HALVERO_RECORD").trimmed() : option.trimmed();
}

} // namespace Record

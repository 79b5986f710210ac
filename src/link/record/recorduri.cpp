// Taking a libpq-style URI apart by hand: QUrl would accept a path-only
// socket host in the query but normalise percent-encoded passwords and
// database names in ways libpq does not, and it cannot tell the masked form.
#include "recorduri.h"

#include <QRegularExpression>
#include <QStringList>
#include <QUrl>

namespace Record {

namespace {

// The parameters a bench may set in the query; anything else is more
// likely a typing slip than a wish, and libpq would refuse it anyway.
const QStringList knownParameters{
    QStringLiteral("host"),
    QStringLiteral("port"),
    QStringLiteral("dbname"),
    QStringLiteral("user"),
    QStringLiteral("password"),
    QStringLiteral("sslmode"),
    QStringLiteral("sslrootcert"),
    QStringLiteral("sslcert"),
    QStringLiteral("sslkey"),
    QStringLiteral("sslcrl"),
    QStringLiteral("connect_timeout"),
    QStringLiteral("application_name"),
    QStringLiteral("target_session_attrs"),
    QStringLiteral("keepalives_idle"),
    QStringLiteral("keepalives_interval"),
    QStringLiteral("keepalives_count"),
};
const QStringList sslModes{QStringLiteral("disable"), QStringLiteral("allow"),     QStringLiteral("prefer"),
                           QStringLiteral("require"), QStringLiteral("verify-ca"), QStringLiteral("verify-full")};

QString decode(const QString &part)
{
    return QUrl::fromPercentEncoding(part.toUtf8());
}

// A libpq connection-string value: quoted, with backslash and quote escaped.
QString quoted(QString value)
{
    value.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    value.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + value + QLatin1Char('\'');
}

bool portNumber(const QString &text, int *port)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 1 || value > 65535)
        return false;
    *port = value;
    return true;
}

} // namespace

QString Target::connectOptions() const
{
    QStringList parts;
    for (auto it = options.cbegin(); it != options.cend(); ++it)
        parts << it.key() + QLatin1Char('=') + quoted(it.value());
    return parts.join(QLatin1Char(';'));
}

QString Target::hidePassword(const QString &text) const
{
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
    // user:password@ before the host, and password= in the query.
    static const QRegularExpression inAuthority(QStringLiteral("^([a-zA-Z]+://[^:@/?]*):[^@]*@"));
    static const QRegularExpression inQuery(QStringLiteral("([?&]password=)[^&]*"));
    QString masked = uri;
    masked.replace(inAuthority, QStringLiteral("\\1:***@"));
    masked.replace(inQuery, QStringLiteral("\\1***"));
    return masked;
}

bool parseUri(const QString &uri, Target *target, QString *why)
{
    Target t;
    t.masked = maskedUri(uri);
    const auto fail = [&](const QString &what) {
        *why = QStringLiteral("the record %1 is no PostgreSQL URI: %2").arg(t.masked, what);
        return false;
    };
    QString rest = uri.trimmed();
    const int schemeEnd = rest.indexOf(QStringLiteral("://"));
    const QString scheme = schemeEnd < 0 ? QString() : rest.left(schemeEnd);
    if (scheme != QLatin1String("postgresql") && scheme != QLatin1String("postgres"))
        return fail(QStringLiteral("it does not begin with postgresql://"));
    rest = rest.mid(schemeEnd + 3);

    QString query;
    if (const int mark = rest.indexOf(QLatin1Char('?')); mark >= 0) {
        query = rest.mid(mark + 1);
        rest.truncate(mark);
    }
    const int slash = rest.indexOf(QLatin1Char('/'));
    QString authority = slash < 0 ? rest : rest.left(slash);
    t.dbname = slash < 0 ? QString() : decode(rest.mid(slash + 1));

    if (const int at = authority.lastIndexOf(QLatin1Char('@')); at >= 0) {
        const QString userInfo = authority.left(at);
        authority = authority.mid(at + 1);
        const int colon = userInfo.indexOf(QLatin1Char(':'));
        t.user = decode(colon < 0 ? userInfo : userInfo.left(colon));
        if (colon >= 0)
            t.password = decode(userInfo.mid(colon + 1));
    }
    // [::1]:5432, db.example:5432, db, or nothing (the default socket).
    QString portText;
    if (authority.startsWith(QLatin1Char('['))) {
        const int close = authority.indexOf(QLatin1Char(']'));
        if (close < 0)
            return fail(QStringLiteral("an IPv6 address without its closing ]"));
        t.host = authority.mid(1, close - 1);
        const QString after = authority.mid(close + 1);
        if (!after.isEmpty() && !after.startsWith(QLatin1Char(':')))
            return fail(QStringLiteral("something after the IPv6 address that is no :port"));
        portText = after.mid(1);
    } else {
        const int colon = authority.lastIndexOf(QLatin1Char(':'));
        t.host = decode(colon < 0 ? authority : authority.left(colon));
        if (colon >= 0)
            portText = authority.mid(colon + 1);
    }
    if (!portText.isEmpty() && !portNumber(portText, &t.port))
        return fail(QStringLiteral("the port '%1' is no number from 1 to 65535").arg(portText));

    for (const QString &pair : query.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const int equals = pair.indexOf(QLatin1Char('='));
        const QString key = decode(equals < 0 ? pair : pair.left(equals));
        const QString value = equals < 0 ? QString() : decode(pair.mid(equals + 1));
        if (!knownParameters.contains(key))
            return fail(QStringLiteral("unknown parameter '%1' (known: %2)")
                            .arg(key, knownParameters.join(QStringLiteral(", "))));
        // The driver joins its options with ';': one inside a value would
        // cut it in two.
        if (value.contains(QLatin1Char(';')))
            return fail(QStringLiteral("the value of '%1' holds a ';'").arg(key));
        if (key == QLatin1String("host"))
            t.host = value;
        else if (key == QLatin1String("port")) {
            if (!portNumber(value, &t.port))
                return fail(QStringLiteral("the port '%1' is no number from 1 to 65535").arg(value));
        } else if (key == QLatin1String("dbname"))
            t.dbname = value;
        else if (key == QLatin1String("user"))
            t.user = value;
        else if (key == QLatin1String("password"))
            t.password = value;
        else if (key == QLatin1String("sslmode") && !sslModes.contains(value))
            return fail(QStringLiteral("sslmode '%1' is none of %2").arg(value, sslModes.join(QStringLiteral(", "))));
        else
            t.options.insert(key, value);
    }
    if (t.dbname.isEmpty())
        return fail(QStringLiteral("no database named (postgresql://host/DBNAME)"));
    // A server that does not answer, or stops answering over TCP, is given
    // up within seconds: a bench never waits on the record for long.
    const QList<QPair<QString, QString>> bounds{
        {QStringLiteral("connect_timeout"), QString::number(defaultConnectSeconds)},
        {QStringLiteral("keepalives_idle"), QStringLiteral("5")},
        {QStringLiteral("keepalives_interval"), QStringLiteral("2")},
        {QStringLiteral("keepalives_count"), QStringLiteral("2")},
    };
    for (const auto &[key, value] : bounds)
        if (!t.options.contains(key))
            t.options.insert(key, value);
    *target = t;
    return true;
}

QString configuredUri(const QString &option)
{
    return option.isEmpty() ? qEnvironmentVariable("HALVERO_RECORD").trimmed() : option.trimmed();
}

} // namespace Record

// Talking to the record through libpq's asynchronous calls: the socket is
// looked at in slices of 50 ms, so that a deadline, a signal or the window's
// quitting ends any wait promptly, whatever the server does. A statement
// that outlives its deadline is not cancelled on the server (a cancel opens
// a second connection, which a stalled server would hold too): the
// connection is closed, and the server's own statement bound ends it there.
#include "recordconnection.h"

#include <QDateTime>
#include <QStringList>

#include <atomic>

#include <libpq-fe.h>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <cerrno>
#include <poll.h>
#endif

#include "recordschema.h"

namespace Record {

Q_LOGGING_CATEGORY(lcRecord, "halvero.link.record", QtWarningMsg)

namespace {

std::atomic<bool (*)()> interruptCheck{nullptr};

bool interrupted(const std::atomic<bool> *stop)
{
    if (stop && stop->load())
        return true;
    const auto check = interruptCheck.load();
    return check && check();
}

enum class Wait {
    Ready,
    Deadline,
    Interrupted
};

// Until the socket is ready (to read, or to write), the deadline passes, or
// the program is asked to end.
Wait waitFor(int socket, bool forWrite, const QDeadlineTimer &deadline, const std::atomic<bool> *stop)
{
    constexpr int sliceMs = 50;
    for (;;) {
        if (interrupted(stop))
            return Wait::Interrupted;
        const qint64 left = deadline.remainingTime();
        if (left == 0)
            return Wait::Deadline;
        const int slice = left < 0 ? sliceMs : int(qMin<qint64>(left, sliceMs));
#ifdef Q_OS_WIN
        WSAPOLLFD p{};
        p.fd = SOCKET(socket);
        p.events = forWrite ? POLLWRNORM : POLLRDNORM;
        const int ready = WSAPoll(&p, 1, slice);
        if (ready != 0)
            return Wait::Ready; // ready, or an error that libpq will name
#else
        pollfd p{socket, short(forWrite ? POLLOUT : POLLIN), 0};
        const int ready = ::poll(&p, 1, slice);
        if (ready > 0 || (ready < 0 && errno != EINTR))
            return Wait::Ready;
#endif
    }
}

QString libpqWords(const PGconn *conn)
{
    return QString::fromUtf8(PQerrorMessage(conn)).simplified();
}

QString text(const QVariant &value)
{
    if (value.userType() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (value.userType() == QMetaType::QDateTime)
        return value.toDateTime().toUTC().toString(Qt::ISODateWithMs);
    return value.toString();
}

// What the server's SQLSTATE says of a failed statement.
Failure failureOf(const QString &state)
{
    if (state == QLatin1String("57014") || state == QLatin1String("55P03"))
        return Failure::TimedOut; // statement or lock time-out
    if (state.startsWith(QLatin1String("28")))
        return Failure::Credentials;
    if (state == QLatin1String("42501"))
        return Failure::Permission;
    if (state == QLatin1String("42P01") || state == QLatin1String("42703"))
        return Failure::NotARecord;
    if (state.startsWith(QLatin1String("08")) || state.startsWith(QLatin1String("57P")))
        return Failure::Broke;
    return Failure::Refused;
}

// A connection that failed while it was being made: libpq has no SQLSTATE
// for it, only the server's words.
Failure connectFailureOf(const QString &words)
{
    static const QStringList credentials{
        QStringLiteral("password authentication failed"), QStringLiteral("authentication failed"),
        QStringLiteral("no password supplied"), QStringLiteral("password is required"), QStringLiteral("role \"")};
    for (const QString &sign : credentials)
        if (words.contains(sign))
            return Failure::Credentials;
    return Failure::Unreachable;
}

} // namespace

void setInterruptCheck(bool (*check)())
{
    interruptCheck.store(check);
}

struct Connection::Private
{
    PGconn *conn = nullptr;

    void close()
    {
        if (conn)
            PQfinish(conn);
        conn = nullptr;
    }
};

Connection::Connection(const Target &target)
    : d(new Private)
    , m_target(target)
{}

Connection::~Connection()
{
    d->close();
}

bool Connection::isOpen() const
{
    return d->conn && PQstatus(d->conn) == CONNECTION_OK;
}

Result Connection::fail(Failure why, const QString &what, const QString &words)
{
    m_lastFailure = why;
    const bool connecting = what == QLatin1String("connect");
    QString reason, advice;
    switch (why) {
    case Failure::None:
    case Failure::Refused:
        reason = QStringLiteral("refused the request");
        break;
    case Failure::Unreachable:
        reason = QStringLiteral("cannot be reached");
        break;
    case Failure::TimedOut:
        reason =
            QStringLiteral("did not answer within %1 s").arg(connecting ? m_target.connectSeconds() : statementSeconds);
        break;
    case Failure::Credentials:
        reason = QStringLiteral("refused the user or password");
        break;
    case Failure::Permission:
        reason = QStringLiteral("refused the request");
        advice = QStringLiteral("a bench's role needs SELECT and INSERT on halvero_entries and SELECT on "
                                "halvero_migrations: see %1")
                     .arg(recordDocPath());
        break;
    case Failure::Broke:
        reason = QStringLiteral("broke the connection");
        break;
    case Failure::NotARecord:
        reason = QStringLiteral("is not a record this program can use");
        advice = QStringLiteral("its tables are missing or older: the record's owner runs this program against it "
                                "once; see %1")
                     .arg(recordDocPath());
        break;
    case Failure::Interrupted:
        reason = QStringLiteral("was left: the program was asked to end");
        break;
    }
    QString sentence = QStringLiteral("the record %1 %2").arg(m_target.masked, reason);
    if (!what.isEmpty() && !connecting)
        sentence += QStringLiteral(" while ") + what;
    if (!words.isEmpty())
        sentence += QStringLiteral(": ") + words;
    if (!advice.isEmpty())
        sentence += QStringLiteral(" (%1)").arg(advice);
    sentence = m_target.hidePassword(sentence);
    qCDebug(lcRecord).noquote() << sentence;
    return Result::failure(why == Failure::Interrupted ? ErrorCode::Interrupted : ErrorCode::Record, sentence);
}

Result Connection::openOnly()
{
    d->close();
    m_lastState.clear();
    m_lastFailure = Failure::None;
    QList<QByteArray> keys, values;
    for (auto it = m_target.options.cbegin(); it != m_target.options.cend(); ++it) {
        keys << it.key().toUtf8();
        values << it.value().toUtf8();
    }
    QList<const char *> keyPointers, valuePointers;
    for (qsizetype i = 0; i < keys.size(); ++i) {
        keyPointers << keys.at(i).constData();
        valuePointers << values.at(i).constData();
    }
    keyPointers << nullptr;
    valuePointers << nullptr;
    qCDebug(lcRecord).noquote() << "Connecting to" << m_target.masked;
    QDeadlineTimer deadline(qint64(m_target.connectSeconds()) * 1000);
    if (m_overall.deadline() < deadline.deadline())
        deadline = m_overall;
    d->conn = PQconnectStartParams(keyPointers.constData(), valuePointers.constData(), 0);
    if (!d->conn)
        return fail(Failure::Unreachable, QString(), QStringLiteral("out of memory"));
    if (PQstatus(d->conn) == CONNECTION_BAD) {
        const QString words = libpqWords(d->conn);
        d->close();
        return fail(connectFailureOf(words), QString(), words);
    }
    PostgresPollingStatusType polling = PGRES_POLLING_WRITING;
    while (polling != PGRES_POLLING_OK) {
        if (polling == PGRES_POLLING_FAILED) {
            const QString words = libpqWords(d->conn);
            d->close();
            return fail(connectFailureOf(words), QString(), words);
        }
        const Wait waited = waitFor(PQsocket(d->conn), polling == PGRES_POLLING_WRITING, deadline, m_stop);
        if (waited != Wait::Ready) {
            d->close();
            return fail(waited == Wait::Deadline ? Failure::TimedOut : Failure::Interrupted, QStringLiteral("connect"),
                        QString());
        }
        polling = PQconnectPoll(d->conn);
    }
    if (PQsetnonblocking(d->conn, 1) != 0) {
        const QString words = libpqWords(d->conn);
        d->close();
        return fail(Failure::Unreachable, QString(), words);
    }
    // The server gives a statement up after the bound; this side waits a
    // little longer (Connection::exec), for a server that gives nothing up.
    return exec(QStringLiteral("SET statement_timeout = %1").arg(statementSeconds * 1000), {}, nullptr,
                QStringLiteral("setting a bound on its statements"));
}

Result Connection::open()
{
    if (const Result opened = openOnly(); !opened.ok())
        return opened;
    int version = 0;
    if (const Result asked = recordedVersion(*this, &version); !asked.ok())
        return asked;
    if (version >= schemaVersion)
        return Result();
    qCDebug(lcRecord).noquote() << "Taking the record's tables from version" << version << "to" << schemaVersion;
    return migrate(*this);
}

Result Connection::exec(const QString &sql, const QVariantList &params, Rows *rows, const QString &what,
                        qint64 *affected)
{
    m_lastState.clear();
    if (rows)
        rows->clear();
    if (!isOpen())
        return fail(Failure::Broke, what, QStringLiteral("no connection"));
    QList<QByteArray> values;
    QList<const char *> pointers;
    values.reserve(params.size());
    for (const QVariant &value : params)
        // Bytes go as they are: a batch of entries is megabytes of UTF-8.
        values << (value.isNull()                              ? QByteArray()
                   : value.userType() == QMetaType::QByteArray ? value.toByteArray()
                                                               : text(value).toUtf8());
    for (qsizetype i = 0; i < params.size(); ++i)
        pointers << (params.at(i).isNull() ? nullptr : values.at(i).constData());
    QDeadlineTimer deadline(qint64(statementSeconds) * 1000 + clientMarginMs);
    if (m_overall.deadline() < deadline.deadline())
        deadline = m_overall;

    const auto broke = [&](Failure why) {
        const QString words = why == Failure::Broke ? libpqWords(d->conn) : QString();
        d->close();
        return fail(why, what, words);
    };
    if (!PQsendQueryParams(d->conn, sql.toUtf8().constData(), int(params.size()), nullptr, pointers.constData(),
                           nullptr, nullptr, 0))
        return broke(Failure::Broke);
    // Everything sent, then every result read until libpq has none left.
    for (;;) {
        const int flushed = PQflush(d->conn);
        if (flushed < 0)
            return broke(Failure::Broke);
        if (flushed == 0)
            break;
        if (const Wait w = waitFor(PQsocket(d->conn), true, deadline, m_stop); w != Wait::Ready)
            return broke(w == Wait::Deadline ? Failure::TimedOut : Failure::Interrupted);
        if (!PQconsumeInput(d->conn))
            return broke(Failure::Broke);
    }
    Result outcome;
    for (;;) {
        while (PQisBusy(d->conn)) {
            if (const Wait w = waitFor(PQsocket(d->conn), false, deadline, m_stop); w != Wait::Ready)
                return broke(w == Wait::Deadline ? Failure::TimedOut : Failure::Interrupted);
            if (!PQconsumeInput(d->conn))
                return broke(Failure::Broke);
        }
        PGresult *res = PQgetResult(d->conn);
        if (!res)
            break;
        const ExecStatusType status = PQresultStatus(res);
        if (status == PGRES_TUPLES_OK && rows) {
            const int n = PQntuples(res), columns = PQnfields(res);
            rows->reserve(rows->size() + n);
            for (int r = 0; r < n; ++r) {
                QList<QVariant> row;
                row.reserve(columns);
                for (int c = 0; c < columns; ++c)
                    row << (PQgetisnull(res, r, c)
                                ? QVariant()
                                : QVariant(QString::fromUtf8(PQgetvalue(res, r, c), PQgetlength(res, r, c))));
                rows->append(row);
            }
        }
        if (affected && status == PGRES_COMMAND_OK)
            *affected = QByteArray(PQcmdTuples(res)).toLongLong();
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && outcome.ok()) {
            m_lastState = QString::fromLatin1(PQresultErrorField(res, PG_DIAG_SQLSTATE));
            const QString words = QString::fromUtf8(PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY)).simplified();
            const Failure why =
                m_lastState.isEmpty() && PQstatus(d->conn) == CONNECTION_BAD ? Failure::Broke : failureOf(m_lastState);
            outcome = fail(why, what, words.isEmpty() ? libpqWords(d->conn) : words);
        }
        PQclear(res);
    }
    if (PQstatus(d->conn) == CONNECTION_BAD) {
        if (outcome.ok())
            outcome = fail(Failure::Broke, what, libpqWords(d->conn));
        d->close();
    }
    return outcome;
}

} // namespace Record

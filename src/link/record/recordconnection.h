// One connection to the factory's record, through libpq's asynchronous
// calls: connecting and every statement have a deadline kept on this side,
// met even by a server that accepts and then never answers; a signal or the
// window's quitting ends any wait at once; and every failure is one
// sentence that says why, in the words of docs/record.md, without the
// password.
#ifndef HALVERO_RECORDCONNECTION_H
#define HALVERO_RECORDCONNECTION_H

#include <QDeadlineTimer>
#include <QList>
#include <QLoggingCategory>
#include <QString>
#include <QVariant>

#include <atomic>
#include <memory>

#include "recorduri.h"
#include "result.h"

namespace Record {

// What the record did: connections, pushes, queries. Quiet unless asked for
// (-v, or QT_LOGGING_RULES="halvero.link.record.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcRecord)

// The most a statement may run: the server gives up after this long, and
// this side stops waiting a little later (a server that is stalled).
constexpr int statementSeconds = 5;
// What this side waits on top of the server's own bound.
constexpr int clientMarginMs = 2000;

// Why a call to the record failed, for the program to act on; the sentence
// is in the Result's message.
enum class Failure {
    None,
    Unreachable, // no server answered the connection
    TimedOut,    // did not answer within the bound (connecting or a statement)
    Credentials, // refused the user or password
    Permission,  // refused the request: a grant is missing
    Broke,       // the connection broke
    NotARecord,  // tables missing or older than this program, and it may not make them
    Refused,     // refused the statement for another reason (a value it cannot take)
    Interrupted, // a signal or the window's quitting ended the wait
};

// Every row of a statement's answer, each column as text; an SQL NULL is a
// null QVariant.
using Rows = QList<QList<QVariant>>;

// Asked between two looks at the server (at most every 50 ms) by every
// wait: true ends it with Failure::Interrupted. halvero-cli: a signal came.
// Set once at start.
void setInterruptCheck(bool (*check)());

class Connection
{
public:
    explicit Connection(const Target &target);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // Opens it and takes the tables to schemaVersion. A failure is
    // ErrorCode::Record (ErrorCode::Interrupted when a signal ended it):
    // "the record postgresql://bench:***@db/halvero cannot be reached: ...".
    Result open();
    // Opens it without touching the tables (a test that makes an old one).
    Result openOnly();
    bool isOpen() const;

    // Runs one statement, its parameters sent apart from its text (never
    // spliced in), each as text (a null QVariant is NULL; a QByteArray is
    // sent as the UTF-8 it holds). The rows come in
    // `rows` and the count of rows it changed in `affected`. `what` says
    // what failed in the sentence: "cannot list its entries".
    Result exec(const QString &sql, const QVariantList &params = {}, Rows *rows = nullptr,
                const QString &what = QString(), qint64 *affected = nullptr);

    // No call ends later than this (a push as a whole); none: only the
    // bounds of each step.
    void setDeadline(const QDeadlineTimer &deadline) { m_overall = deadline; }
    // Once this flag is set (from any thread: the window quitting), every
    // wait ends at once with Failure::Interrupted. It outlives the
    // connection.
    void setStopFlag(const std::atomic<bool> *stop) { m_stop = stop; }
    // The server's SQLSTATE of the last failure ("57014"), empty when none.
    QString lastState() const { return m_lastState; }
    Failure lastFailure() const { return m_lastFailure; }

    const Target &target() const { return m_target; }

private:
    struct Private;
    std::unique_ptr<Private> d;
    Target m_target;
    QDeadlineTimer m_overall = QDeadlineTimer(QDeadlineTimer::Forever);
    const std::atomic<bool> *m_stop = nullptr;
    QString m_lastState;
    Failure m_lastFailure = Failure::None;

    Result fail(Failure why, const QString &what, const QString &words);
};

} // namespace Record

#endif // HALVERO_RECORDCONNECTION_H

// The reading thread: a worker that owns the record's connection.
#include "recordreader.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include "recordcalls.h"
#include "recordconnection.h"
#include "recorduri.h"
#include "windowlog.h"

class RecordReadWorker : public QObject
{
    Q_OBJECT

public:
    RecordReadWorker(const QString &uri, std::shared_ptr<std::atomic<quint64>> wanted,
                     std::shared_ptr<std::atomic<bool>> stop)
        : m_uri(uri)
        , m_wanted(std::move(wanted))
        , m_stop(std::move(stop))
        , m_idle(new QTimer(this))
    {
        m_idle->setSingleShot(true);
        m_idle->setInterval(RecordReader::idleMs);
        connect(m_idle, &QTimer::timeout, this, [this] { m_connection.reset(); });
    }

    void read(quint64 ticket, const Record::ShowFilter &filter)
    {
        // Asked for again meanwhile (another board, a reload), or the
        // window has gone.
        if (ticket != m_wanted->load())
            return;
        Record::ShowResult shown;
        if (const Result opened = open(); !opened.ok())
            static_cast<Result &>(shown) = opened;
        else
            shown = Record::show(*m_connection, filter);
        // After a failure the next read connects afresh.
        if (shown.ok())
            m_idle->start();
        else
            m_connection.reset();
        emit done(ticket, shown);
    }

signals:
    void done(quint64 ticket, const Record::ShowResult &shown);

private:
    Result open()
    {
        if (m_connection)
            return Result();
        Record::Target target;
        QString why;
        if (!Record::parseUri(m_uri, &target, &why))
            return Result::failure(ErrorCode::Record, why);
        auto connection = std::make_unique<Record::Connection>(target);
        connection->setStopFlag(m_stop.get());
        const Result opened = connection->open();
        if (opened.ok())
            m_connection = std::move(connection);
        return opened;
    }

    QString m_uri;
    std::shared_ptr<std::atomic<quint64>> m_wanted;
    std::shared_ptr<std::atomic<bool>> m_stop;
    QTimer *m_idle;
    std::unique_ptr<Record::Connection> m_connection;
};

RecordReader::RecordReader(const QString &uri, QObject *parent)
    : QObject(parent)
    , m_thread(new QThread)
    , m_worker(nullptr)
    , m_wanted(std::make_shared<std::atomic<quint64>>(0))
{
    Record::Target target;
    QString why;
    m_where = Record::parseUri(uri, &target, &why) ? target.masked : Record::maskedUri(uri);
    m_worker = new RecordReadWorker(uri, m_wanted, m_stop);
    m_worker->moveToThread(m_thread);
    connect(m_worker, &RecordReadWorker::done, this, &RecordReader::pageRead);
    // The connection is closed on the thread that opened it.
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->setObjectName(QStringLiteral("record reads"));
    m_thread->start();
}

RecordReader::~RecordReader()
{
    m_wanted->store(0);
    m_stop->store(true); // a read under way ends at once
    RecordCalls::endThread(m_thread, RecordCalls::endWaitMs);
}

quint64 RecordReader::read(const Record::ShowFilter &filter)
{
    const quint64 ticket = ++m_lastTicket;
    m_wanted->store(ticket);
    RecordReadWorker *worker = m_worker;
    QMetaObject::invokeMethod(worker, [worker, ticket, filter] { worker->read(ticket, filter); });
    return ticket;
}

#include "recordreader.moc"

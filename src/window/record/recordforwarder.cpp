// The forwarding worker: a timer on its own thread that pushes the outbox
// whenever it holds anything, backing off after a refusal.
#include "recordforwarder.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

#include <atomic>
#include <memory>

#include "confighistory.h"
#include "recordpending.h"
#include "recordpush.h"
#include "recorduri.h"
#include "statustext.h"
#include "windowlog.h"

namespace {

class Worker : public QObject
{
public:
    Worker(const QString &uri, int retryMs, RecordForwarder *forwarder, std::shared_ptr<std::atomic<bool>> stop)
        : m_uri(uri)
        , m_retryMs(retryMs)
        , m_forwarder(forwarder)
        , m_stop(std::move(stop))
    {}

    void begin()
    {
        m_timer = new QTimer(this);
        m_timer->setSingleShot(true);
        connect(m_timer, &QTimer::timeout, this, &Worker::look);
        m_timer->start(0);
    }

private:
    void look()
    {
        const QString history = ConfigHistory::defaultPath();
        int next = RecordForwarder::lookMs;
        // What waits is the history after the record's mark: looked at
        // whenever the history has changed since everything was forwarded.
        const QFileInfo file(history);
        const QString seen = QStringLiteral("%1 %2").arg(file.size()).arg(file.lastModified().toMSecsSinceEpoch());
        if (!history.isEmpty() && seen != m_forwardedAt) {
            Record::Target target;
            QString why;
            Record::PushResult pushed;
            if (Record::parseUri(m_uri, &target, &why))
                pushed = Record::push(target, history, Record::PushOptions{false, 0, m_stop.get()});
            else
                static_cast<Result &>(pushed) = Result::failure(ErrorCode::Record, why);
            QString sentence;
            if (!pushed.ok()) {
                next = m_retryMs;
                sentence = pushed.waiting > 0
                               ? QStringLiteral("%1 (%2).").arg(Record::waitingSentence(pushed.waiting), pushed.message)
                               : StatusText::asSentence(pushed.message);
            } else if (!m_lastSaid.isEmpty()) {
                sentence = QStringLiteral("The entries that waited are in the record %1 now.").arg(target.masked);
            }
            qCDebug(lcRecordWindow).noquote() << "Forwarded" << pushed.offered << "entries," << pushed.stored << "new;"
                                              << pushed.waiting << "wait" << pushed.message;
            for (const QString &warning : pushed.warnings)
                emit m_forwarder->said(warning);
            if (sentence != m_lastSaid && !sentence.isEmpty())
                emit m_forwarder->said(sentence);
            for (const QString &refused : pushed.refused)
                emit m_forwarder->said(StatusText::asSentence(refused));
            m_lastSaid = pushed.ok() ? QString() : sentence;
            if (pushed.ok() && pushed.waiting <= pushed.refused.size())
                m_forwardedAt = seen;
        }
        if (!m_stop->load())
            m_timer->start(next);
    }

    QString m_uri;
    int m_retryMs;
    RecordForwarder *m_forwarder;
    std::shared_ptr<std::atomic<bool>> m_stop;
    QTimer *m_timer = nullptr;
    QString m_lastSaid;
    QString m_forwardedAt; // the history's size and time when nothing waited
};

} // namespace

RecordForwarder::RecordForwarder(const QString &setting, QObject *parent, int retryMs)
    : QObject(parent)
    , m_uri(Record::configuredUri(setting))
{
    if (m_uri.isEmpty())
        return;
    auto *worker = new Worker(m_uri, retryMs, this, m_stop);
    worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::started, worker, &Worker::begin);
    connect(&m_thread, &QThread::finished, worker, &QObject::deleteLater);
    m_thread.setObjectName(QStringLiteral("record"));
    m_thread.start(QThread::LowPriority);
}

RecordForwarder::~RecordForwarder()
{
    if (!m_thread.isRunning())
        return;
    // A push under way ends at once; what it did not forward waits in the
    // history for the next start or 'record push'.
    m_stop->store(true);
    m_thread.quit();
    m_thread.wait();
}

// The forwarding worker: a timer on its own thread that pushes the outbox
// whenever it holds anything, backing off after a refusal.
#include "recordforwarder.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

#include "confighistory.h"
#include "recordoutbox.h"
#include "recordpush.h"
#include "recorduri.h"
#include "statustext.h"
#include "windowlog.h"

namespace {

class Worker : public QObject
{
public:
    Worker(const QString &uri, int retryMs, RecordForwarder *forwarder)
        : m_uri(uri)
        , m_retryMs(retryMs)
        , m_forwarder(forwarder)
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
        if (!history.isEmpty() && QFileInfo(Record::outboxPathOf(history)).size() > 0) {
            Record::Target target;
            QString why;
            Record::PushResult pushed;
            if (Record::parseUri(m_uri, &target, &why))
                pushed = Record::push(target, history);
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
            m_lastSaid = pushed.ok() ? QString() : sentence;
        }
        if (const QString lost = Record::Outbox::takeLostSentence(); !lost.isEmpty())
            emit m_forwarder->said(lost);
        m_timer->start(next);
    }

    QString m_uri;
    int m_retryMs;
    RecordForwarder *m_forwarder;
    QTimer *m_timer = nullptr;
    QString m_lastSaid;
};

} // namespace

RecordForwarder::RecordForwarder(const QString &setting, QObject *parent, int retryMs)
    : QObject(parent)
    , m_uri(Record::configuredUri(setting))
{
    if (m_uri.isEmpty())
        return;
    Record::Outbox::forwardEveryEntry();
    auto *worker = new Worker(m_uri, retryMs, this);
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
    m_thread.quit();
    // A push under way ends within the record's bounds; what it did not
    // finish stays in the outbox for the next start or 'record push'.
    m_thread.wait(15000);
}

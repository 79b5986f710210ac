// The forwarding worker: a timer on its own thread that pushes what waits in
// the history whenever the history has changed since all of it was
// forwarded, backing off after a refusal.
#include "recordforwarder.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <memory>

#include "confighistory.h"
#include "recordcalls.h"
#include "recordpending.h"
#include "recordpush.h"
#include "recorduri.h"
#include "statustext.h"
#include "windowlog.h"

namespace {

// It speaks only through its own signals: a push may outlast the forwarder.
class Worker : public QObject
{
    Q_OBJECT

public:
    Worker(const QString &uri, int retryMs, std::shared_ptr<std::atomic<bool>> stop)
        : m_uri(uri)
        , m_retryMs(retryMs)
        , m_stop(std::move(stop))
    {}

    void begin()
    {
        m_timer = new QTimer(this);
        m_timer->setSingleShot(true);
        connect(m_timer, &QTimer::timeout, this, &Worker::look);
        m_timer->start(0);
    }

signals:
    void said(const QString &sentence);
    void stateChanged(const RecordForwarder::State &state);

private:
    void look()
    {
        const QString history = ConfigHistory::defaultPath();
        int next = RecordForwarder::lookMs;
        RecordForwarder::State state = m_state;
        // What waits is the history after the record's mark: looked at
        // whenever the history has changed since everything was forwarded.
        const QFileInfo file(history);
        const QString seen = QStringLiteral("%1 %2").arg(file.size()).arg(file.lastModified().toMSecsSinceEpoch());
        const bool look = !history.isEmpty() && seen != m_forwardedAt;
        if (look) {
            Record::Target target;
            QString why;
            Record::PushResult pushed;
            if (Record::parseUri(m_uri, &target, &why))
                pushed = Record::push(target, history, Record::PushOptions{false, 0, m_stop.get()});
            else
                static_cast<Result &>(pushed) = Result::failure(ErrorCode::Record, why);
            QString sentence;
            state.reached = pushed.ok();
            state.why.clear();
            if (!pushed.ok()) {
                next = m_retryMs;
                state.reached = false;
                state.why = pushed.message;
                sentence = pushed.waiting > 0
                               ? QStringLiteral("%1 (%2).").arg(Record::waitingSentence(pushed.waiting), pushed.message)
                               : StatusText::asSentence(pushed.message);
            } else if (!m_lastSaid.isEmpty()) {
                sentence = QStringLiteral("The entries that waited are in the record %1 now.").arg(target.masked);
            }
            qCDebug(lcRecordWindow).noquote() << "Forwarded" << pushed.offered << "entries," << pushed.stored << "new;"
                                              << pushed.waiting << "wait" << pushed.message;
            for (const QString &warning : pushed.warnings)
                emit said(warning);
            // Said again only when something the operator acts on changed:
            // how many wait, or the kind of failure (not the server's words
            // of the moment, "starting up" after "no such file").
            const QString key = pushed.ok()
                                    ? QString()
                                    : QStringLiteral("%1 %2 %3")
                                          .arg(pushed.waiting)
                                          .arg(int(pushed.failure))
                                          .arg(pushed.failure == Record::Failure::None ? pushed.message : QString());
            if (key != m_lastSaid && !sentence.isEmpty())
                emit said(sentence);
            for (const QString &refused : pushed.refused)
                emit said(StatusText::asSentence(refused));
            m_lastSaid = key;
            state.waiting = pushed.ok() ? pushed.waiting : RecordCalls::waitingCount(history);
            if (pushed.ok() && pushed.waiting <= pushed.refused.size())
                m_forwardedAt = seen;
        }
        if (m_stop->load())
            return;
        if (!m_stateSaid || !(state == m_state)) {
            m_stateSaid = true;
            m_state = state;
            emit stateChanged(state);
        }
        m_timer->start(next);
    }

    QString m_uri;
    int m_retryMs;
    std::shared_ptr<std::atomic<bool>> m_stop;
    QString m_forwardedAt; // the history's size and time when nothing waited
    QTimer *m_timer = nullptr;
    QString m_lastSaid; // what the last failure was, as said; empty after a push that went well
    RecordForwarder::State m_state;
    bool m_stateSaid = false;
};

} // namespace

RecordForwarder::RecordForwarder(const QString &setting, QObject *parent, int retryMs)
    : QObject(parent)
    , m_uri(Record::configuredUri(setting))
{
    if (m_uri.isEmpty())
        return;
    m_thread = new QThread;
    auto *worker = new Worker(m_uri, retryMs, m_stop);
    worker->moveToThread(m_thread);
    connect(worker, &Worker::said, this, &RecordForwarder::said);
    connect(worker, &Worker::stateChanged, this, &RecordForwarder::stateChanged);
    connect(m_thread, &QThread::started, worker, &Worker::begin);
    connect(m_thread, &QThread::finished, worker, &QObject::deleteLater);
    m_thread->setObjectName(QStringLiteral("record"));
    m_thread->start(QThread::LowPriority);
}

RecordForwarder::~RecordForwarder()
{
    // A push under way ends at once; what it did not forward waits in the
    // history for the next start or 'record push'.
    m_stop->store(true);
    if (m_thread)
        RecordCalls::endThread(m_thread, RecordCalls::endWaitMs);
}

QString RecordForwarder::stateText(const State &state)
{
    if (!state.reached)
        return tr("Record cannot be reached");
    if (state.waiting < 0)
        return tr("Record: entries waiting not known");
    if (state.waiting > 0)
        return tr("%n waiting for the record", nullptr, state.waiting);
    return tr("In the record");
}

#include "recordforwarder.moc"

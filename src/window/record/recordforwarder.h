// The window's side of the factory's record: a worker thread forwards what
// waits in the history to the record, so that a record that is slow or down
// never holds the window. What waits is said once, when it changes, and the
// record's state (in it, waiting, out of reach) is there for the status bar.
#ifndef HALVERO_RECORDFORWARDER_H
#define HALVERO_RECORDFORWARDER_H

#include <QObject>
#include <QString>

QT_BEGIN_NAMESPACE
class QThread;
QT_END_NAMESPACE

#include <atomic>
#include <memory>

class RecordForwarder : public QObject
{
    Q_OBJECT

public:
    // What the last look at what waits found.
    struct State
    {
        bool reached = true; // false: the last push was refused, or the record not reached
        int waiting = 0;     // entries waiting for the record; -1: not known
        QString why;         // why the last push failed
        bool operator==(const State &other) const
        {
            return reached == other.reached && waiting == other.waiting && why == other.why;
        }
    };

    // The record: `setting` (the settings file's "record"), else
    // $HALVERO_RECORD; none: the forwarder does nothing.
    // `retryMs`: how long after a refusal it tries again.
    explicit RecordForwarder(const QString &setting, QObject *parent = nullptr, int retryMs = 30000);
    // Returns within a short bound: a push under way is left to end by
    // itself (RecordCalls::endThread()); what it did not finish stays in
    // the history for the next start or 'record push'.
    ~RecordForwarder() override;

    QString uri() const { return m_uri; } // empty when none is configured

    // "In the record", "3 waiting for the record", "Record cannot be reached".
    static QString stateText(const State &state);

    // The history is looked at this often.
    static constexpr int lookMs = 2000;

signals:
    // "3 entries wait to be forwarded to the record (why)", or, once they
    // have gone, that they have.
    void said(const QString &sentence);
    // After a look at what waits that found the record's state changed.
    void stateChanged(const RecordForwarder::State &state);

private:
    QString m_uri;
    std::shared_ptr<std::atomic<bool>> m_stop = std::make_shared<std::atomic<bool>>(false);
    QThread *m_thread = nullptr;
};

#endif // HALVERO_RECORDFORWARDER_H

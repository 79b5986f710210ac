// The window's side of the factory's record: a worker thread forwards what
// waits in the history to the record, so that a record that is slow or down
// never holds the window. What waits is said once, when it changes.
#ifndef HALVERO_RECORDFORWARDER_H
#define HALVERO_RECORDFORWARDER_H

#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <memory>

class RecordForwarder : public QObject
{
    Q_OBJECT

public:
    // The record: `setting` (the settings file's "record"), else
    // $HALVERO_RECORD; none: the forwarder does nothing.
    // `retryMs`: how long after a refusal it tries again.
    explicit RecordForwarder(const QString &setting, QObject *parent = nullptr, int retryMs = 30000);
    ~RecordForwarder() override;

    QString uri() const { return m_uri; } // empty when none is configured

    // The outbox is looked at this often.
    static constexpr int lookMs = 2000;

signals:
    // "3 entries wait to be forwarded to the record (why)", or, once they
    // have gone, that they have.
    void said(const QString &sentence);

private:
    QString m_uri;
    std::shared_ptr<std::atomic<bool>> m_stop = std::make_shared<std::atomic<bool>>(false);
    QThread m_thread;
};

#endif // HALVERO_RECORDFORWARDER_H

// The factory's record read for the history window on a thread of its own:
// a record that is down, slow or never answers holds that thread, never the
// window. The connection is opened, used and closed on that thread; it is
// kept between the pages of a listing and closed when no page has been asked
// for a while.
#ifndef HALVERO_RECORDREADER_H
#define HALVERO_RECORDREADER_H

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

#include "recordquery.h"

QT_BEGIN_NAMESPACE
class QThread;
QT_END_NAMESPACE

class RecordReadWorker;

class RecordReader : public QObject
{
    Q_OBJECT

public:
    explicit RecordReader(const QString &uri, QObject *parent = nullptr);
    // Returns within a short bound: a read still under way is left to end
    // by itself (RecordCalls::endThread()).
    ~RecordReader() override;

    // The record's URI as it may be shown, its password masked.
    QString where() const { return m_where; }

    // Asks for the entries `filter` picks; pageRead answers with the ticket
    // returned. A request that has not started yet when a newer one comes is
    // dropped unanswered.
    quint64 read(const Record::ShowFilter &filter);

    // An unused connection is closed after this long.
    static constexpr int idleMs = 60000;

signals:
    void pageRead(quint64 ticket, const Record::ShowResult &shown);

private:
    QString m_where;
    QThread *m_thread;
    RecordReadWorker *m_worker;
    std::shared_ptr<std::atomic<quint64>> m_wanted; // the newest ticket; 0: none
    std::shared_ptr<std::atomic<bool>> m_stop = std::make_shared<std::atomic<bool>>(false);
    quint64 m_lastTicket = 0;
};

#endif // HALVERO_RECORDREADER_H

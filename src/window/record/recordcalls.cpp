// The outbox counted, the record's waits ended, and the threads that talk
// to the record ended or left behind.
#include "recordcalls.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <vector>

#include "recordoutbox.h"
#include "windowlog.h"

namespace RecordCalls {

namespace {

std::vector<QPointer<QThread>> &leftRunning()
{
    static std::vector<QPointer<QThread>> threads;
    return threads;
}

// Qt SQL's drivers are torn down after the application object: a thread
// that ends meanwhile is let end first. One that outlasts the wait is left
// as it is (never destroyed running) and ends with the process.
void endLeftThreads()
{
    const QDeadlineTimer deadline(endWaitMs);
    for (const QPointer<QThread> &thread : std::exchange(leftRunning(), {})) {
        if (!thread)
            continue;
        if (thread->wait(deadline))
            delete thread.data();
        else
            qCDebug(lcRecordWindow) << "A thread still talks to the record; it ends with the program";
    }
}

} // namespace

int waitingCount(const QString &historyPath)
{
    if (historyPath.isEmpty())
        return -1;
    QFile outbox(Record::outboxPathOf(historyPath));
    if (!outbox.exists())
        return 0;
    if (!outbox.open(QIODevice::ReadOnly))
        return -1;
    int lines = 0;
    while (!outbox.atEnd()) {
        const QByteArray line = outbox.readLine();
        // A line not ended yet is an entry still being added.
        if (!line.trimmed().isEmpty() && line.endsWith('\n'))
            ++lines;
    }
    return lines;
}

void stopAll() {}

void endThread(QThread *thread, int waitMs)
{
    thread->quit();
    if (thread->wait(waitMs)) {
        delete thread;
        return;
    }
    qCDebug(lcRecordWindow).noquote() << "The thread" << thread->objectName()
                                      << "still talks to the record; it ends by itself";
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    static const bool endedAtExit = (qAddPostRoutine(endLeftThreads), true);
    Q_UNUSED(endedAtExit)
    std::vector<QPointer<QThread>> &left = leftRunning();
    left.erase(std::remove_if(left.begin(), left.end(), [](const QPointer<QThread> &gone) { return gone.isNull(); }),
               left.end());
    left.push_back(thread);
}

} // namespace RecordCalls

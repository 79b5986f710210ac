// What waits counted, and the threads that talk to the record ended or left
// behind.
#include "recordcalls.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <vector>

#include "recordpending.h"
#include "windowlog.h"

namespace RecordCalls {

namespace {

std::vector<QPointer<QThread>> &leftRunning()
{
    static std::vector<QPointer<QThread>> threads;
    return threads;
}

// A thread whose push or read is ending (its stop flag is set) is let end
// first. One that outlasts the wait is left
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
    return historyPath.isEmpty() ? -1 : Record::waitingCount(historyPath);
}

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

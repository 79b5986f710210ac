// The window's few calls about the record's threads, kept in one place:
// what waits to be forwarded, and a thread that talks to the record ended
// without ever holding the window (or its quitting) for it.
#ifndef HALVERO_RECORDCALLS_H
#define HALVERO_RECORDCALLS_H

#include <QString>

QT_BEGIN_NAMESPACE
class QThread;
QT_END_NAMESPACE

namespace RecordCalls {

// The entries waiting beside `historyPath` to be forwarded to the record;
// -1 when that cannot be told.
int waitingCount(const QString &historyPath);

// Quits `thread` and waits for it `waitMs` at most. A thread that ended is
// deleted; one still running is never destroyed (that aborts the program):
// it deletes itself once it ends, and as the application goes it is waited
// for a short while more and then left to the program's exit.
void endThread(QThread *thread, int waitMs);

// How long a thread is waited for as the window goes, and all of them
// together as the application ends.
constexpr int endWaitMs = 250;

} // namespace RecordCalls

#endif // HALVERO_RECORDCALLS_H

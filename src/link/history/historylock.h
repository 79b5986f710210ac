// The lock beside the history file (history.jsonl.lock): the operating
// system holds it for the program that took it, so that the window and any
// number of halvero-cli runs append one at a time, a reader never sees a
// rotation half done, and the lock of a program that died goes with it.
#ifndef HALVERO_HISTORYLOCK_H
#define HALVERO_HISTORYLOCK_H

#include <QString>

namespace ConfigHistory {

// history.jsonl -> history.jsonl.lock
QString lockPathOf(const QString &historyPath);

// Another program appends in well under a millisecond; waiting longer than
// this means its lock is stuck, and the operator should hear about it.
constexpr int lockWaitMs = 5000;

// The file itself stays; removing it would let two programs lock two
// different files of the same name.
class HistoryLock
{
public:
    HistoryLock() = default;
    HistoryLock(const HistoryLock &) = delete;
    HistoryLock &operator=(const HistoryLock &) = delete;
    ~HistoryLock();

    // Shared for reading, exclusive for writing. False, with `error` set,
    // when the file cannot be opened or the lock is not had in time.
    bool lock(const QString &path, bool exclusive, int timeoutMs, QString *error);

private:
#if defined(Q_OS_WIN)
    void *m_handle = nullptr;
#else
    int m_fd = -1;
#endif
};

} // namespace ConfigHistory

#endif // HALVERO_HISTORYLOCK_H

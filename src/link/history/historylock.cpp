// The history's lock file: flock() on POSIX systems, LockFileEx() on
// Windows, each waited for with a bound.
#include "historylock.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#if defined(Q_OS_WIN)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/file.h>
#include <thread>
#include <unistd.h>
#endif

namespace ConfigHistory {

namespace {

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace

QString lockPathOf(const QString &historyPath)
{
    return historyPath + QStringLiteral(".lock");
}

#if defined(Q_OS_WIN)

HistoryLock::~HistoryLock()
{
    if (m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr)
        CloseHandle(HANDLE(m_handle)); // releases the lock
}

bool HistoryLock::lock(const QString &path, bool exclusive, int timeoutMs, QString *error)
{
    HANDLE handle = CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    m_handle = handle;
    if (handle == INVALID_HANDLE_VALUE) {
        *error = QStringLiteral("cannot create %1: %2").arg(path, qt_error_string(int(GetLastError())));
        return false;
    }
    // Overlapped, the wait for the lock can be bounded and given up.
    OVERLAPPED overlapped = {};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD ignored = 0;
    BOOL locked = LockFileEx(handle, exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0, 1, 0, &overlapped);
    DWORD failure = locked ? ERROR_SUCCESS : GetLastError();
    if (failure == ERROR_IO_PENDING) {
        if (WaitForSingleObject(overlapped.hEvent, DWORD(timeoutMs)) != WAIT_OBJECT_0)
            CancelIoEx(handle, &overlapped);
        // Granted after all, or cancelled: the wait tells which.
        locked = GetOverlappedResult(handle, &overlapped, &ignored, TRUE);
        failure = locked ? ERROR_SUCCESS : GetLastError();
    }
    CloseHandle(overlapped.hEvent);
    if (!locked) {
        *error = failure == ERROR_OPERATION_ABORTED
                     ? QStringLiteral("%1 is held by another program").arg(path)
                     : QStringLiteral("cannot lock %1: %2").arg(path, qt_error_string(int(failure)));
        CloseHandle(handle);
        m_handle = nullptr;
    }
    return locked;
}

#else

HistoryLock::~HistoryLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // releases the lock
}

bool HistoryLock::lock(const QString &path, bool exclusive, int timeoutMs, QString *error)
{
    const QByteArray name = QFile::encodeName(path);
    m_fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    // A history one may read but not write: reading needs no more.
    if (m_fd < 0 && !exclusive)
        m_fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        *error = QStringLiteral("cannot create %1: %2").arg(path, systemError(errno));
        return false;
    }
    const int operation = exclusive ? LOCK_EX : LOCK_SH;
    if (::flock(m_fd, operation | LOCK_NB) == 0)
        return true;
    if (errno != EWOULDBLOCK) {
        *error = QStringLiteral("cannot lock %1: %2").arg(path, systemError(errno));
        return false;
    }
    // flock() waits without a bound: a thread waits in it, and should the
    // lock come after we gave up, lets go of it there and then.
    struct Wait
    {
        std::mutex mutex;
        std::condition_variable granted;
        bool done = false;
        bool abandoned = false;
        int error = 0;
    };
    const auto wait = std::make_shared<Wait>();
    const int fd = m_fd;
    std::thread([wait, fd, operation] {
        int result = 0;
        do {
            result = ::flock(fd, operation);
        } while (result != 0 && errno == EINTR);
        const int error = result == 0 ? 0 : errno;
        const std::lock_guard<std::mutex> guard(wait->mutex);
        if (wait->abandoned) {
            ::close(fd);
            return;
        }
        wait->done = true;
        wait->error = error;
        wait->granted.notify_one();
    }).detach();
    std::unique_lock<std::mutex> guard(wait->mutex);
    if (!wait->granted.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&wait] { return wait->done; })) {
        wait->abandoned = true;
        m_fd = -1; // the thread closes it
        *error = QStringLiteral("%1 is held by another program").arg(path);
        return false;
    }
    if (wait->error != 0) {
        *error = QStringLiteral("cannot lock %1: %2").arg(path, systemError(wait->error));
        return false;
    }
    return true;
}

#endif

} // namespace ConfigHistory

// Signal handlers that only set a flag. POSIX systems get sigaction() and
// SIGHUP; Windows has SIGINT and SIGTERM through signal() alone.
#include "clisignals.h"

#include <csignal>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace CliSignals {

namespace {

volatile std::sig_atomic_t received = 0;
volatile std::sig_atomic_t receivedCount = 0;

void onEndingSignal(int signal)
{
    if (received == 0)
        received = signal;
    receivedCount = receivedCount + 1;
}

} // namespace

void ignoreBrokenPipe()
{
#ifdef Q_OS_UNIX
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

void catchEndingSignals()
{
#ifdef Q_OS_UNIX
    struct sigaction action = {};
    action.sa_handler = onEndingSignal;
    sigemptyset(&action.sa_mask);
    // Restarted: the serial waits and file writes under way go on, and the
    // flag is looked at once they are done.
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
#else
    std::signal(SIGINT, onEndingSignal);
    std::signal(SIGTERM, onEndingSignal);
#endif
}

int pending()
{
    return received;
}

int count()
{
    return receivedCount;
}

QString name(int signal)
{
    switch (signal) {
    case SIGINT:
        return QStringLiteral("SIGINT (Ctrl-C)");
    case SIGTERM:
        return QStringLiteral("SIGTERM");
#ifdef Q_OS_UNIX
    case SIGHUP:
        return QStringLiteral("SIGHUP (the terminal closed)");
#endif
    default:
        return QStringLiteral("signal %1").arg(signal);
    }
}

bool stdoutReaderGone()
{
#ifdef Q_OS_UNIX
    struct stat status;
    if (::fstat(STDOUT_FILENO, &status) != 0 || !(S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode)))
        return false;
    // A pipe without a reader polls as an error.
    pollfd out{STDOUT_FILENO, POLLOUT, 0};
    return ::poll(&out, 1, 0) == 1 && (out.revents & (POLLERR | POLLHUP)) != 0;
#else
    return false;
#endif
}

} // namespace CliSignals

// Times a GUI program from process start to its first shown window, the same
// way for any program, so that the configurator can be set beside another Qt
// application. Under X11 the window counts as shown when the X server maps a
// top-level window of the child onto the root window. Without a display (Qt's
// offscreen platform) nothing is mapped anywhere, so a line that the program
// writes on stderr when its window is created marks the moment instead.
// Each run starts a fresh process, which is killed once it has shown its window.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#ifdef HALVERO_BENCH_X11
#include <X11/Xlib.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

[[noreturn]] void usage()
{
    std::fprintf(stderr, "usage: halvero-bench-launch [--runs N] [--warmup N] [--timeout-ms T]\n"
                         "                            (--x11 | --stderr TEXT) -- PROGRAM [ARGS...]\n"
                         "  --x11          the window is shown when a top-level window is mapped on $DISPLAY\n"
                         "  --stderr TEXT  the window is shown when TEXT appears on the program's stderr\n");
    std::exit(2);
}

pid_t spawn(char **argv, int stderrFd)
{
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, STDIN_FILENO);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(stderrFd >= 0 ? stderrFd : null, STDERR_FILENO);
    ::execvp(argv[0], argv);
    std::_Exit(127);
}

void reap(pid_t pid)
{
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        ::usleep(10000);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

// Milliseconds until TEXT shows on the child's stderr; negative on time-out
// or when the child ends first.
double runStderr(char **argv, const std::string &text, int timeoutMs)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    const Clock::time_point start = Clock::now();
    const pid_t pid = spawn(argv, fds[1]);
    ::close(fds[1]);
    std::string seen;
    double result = -1;
    for (;;) {
        const double left = timeoutMs - msBetween(start, Clock::now());
        if (left <= 0)
            break;
        pollfd p{fds[0], POLLIN, 0};
        if (::poll(&p, 1, int(left) + 1) <= 0)
            continue;
        char buf[4096];
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n <= 0)
            break;
        seen.append(buf, size_t(n));
        if (seen.find(text) != std::string::npos) {
            result = msBetween(start, Clock::now());
            break;
        }
    }
    reap(pid);
    ::close(fds[0]);
    return result;
}

#ifdef HALVERO_BENCH_X11
double runX11(Display *display, char **argv, int timeoutMs)
{
    const Window root = DefaultRootWindow(display);
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, True); // drops what earlier runs left in the queue

    const Clock::time_point start = Clock::now();
    const pid_t pid = spawn(argv, -1);
    double result = -1;
    while (result < 0) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            // Menus and tooltips are override-redirect; the main window is not.
            if (event.type == MapNotify && event.xmap.event == root && !event.xmap.override_redirect) {
                result = msBetween(start, Clock::now());
                break;
            }
        }
        if (result >= 0)
            break;
        const double left = timeoutMs - msBetween(start, Clock::now());
        if (left <= 0)
            break;
        pollfd p{ConnectionNumber(display), POLLIN, 0};
        ::poll(&p, 1, int(left) + 1);
    }
    reap(pid);
    return result;
}
#endif

} // namespace

int main(int argc, char *argv[])
{
    int runs = 10;
    int warmup = 1;
    int timeoutMs = 20000;
    bool x11 = false;
    std::string text;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--") {
            ++i;
            break;
        }
        if (a == "--x11")
            x11 = true;
        else if (a == "--stderr" && i + 1 < argc)
            text = argv[++i];
        else if (a == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--warmup" && i + 1 < argc)
            warmup = std::max(0, std::atoi(argv[++i]));
        else if (a == "--timeout-ms" && i + 1 < argc)
            timeoutMs = std::max(1, std::atoi(argv[++i]));
        else
            usage();
    }
    if (i >= argc || x11 == !text.empty())
        usage();
    char **program = argv + i;

#ifdef HALVERO_BENCH_X11
    Display *display = nullptr;
    if (x11) {
        display = XOpenDisplay(nullptr);
        if (!display) {
            std::fprintf(stderr, "halvero-bench-launch: cannot open display %s\n",
                         std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "(unset)");
            return 1;
        }
    }
#else
    if (x11) {
        std::fprintf(stderr, "halvero-bench-launch: built without X11\n");
        return 1;
    }
#endif

    std::vector<double> times;
    for (int run = 0; run < warmup + runs; ++run) {
#ifdef HALVERO_BENCH_X11
        const double ms = x11 ? runX11(display, program, timeoutMs) : runStderr(program, text, timeoutMs);
#else
        const double ms = runStderr(program, text, timeoutMs);
#endif
        if (ms < 0) {
            std::fprintf(stderr, "halvero-bench-launch: %s showed no window within %d ms\n", program[0], timeoutMs);
            return 1;
        }
        if (run >= warmup)
            times.push_back(ms);
        ::usleep(200000); // let the previous process's teardown settle
    }
    std::sort(times.begin(), times.end());
    const size_t n = times.size();
    const double median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
    std::printf("runs=%zu median_ms=%.1f min_ms=%.1f max_ms=%.1f\n", n, median, times.front(), times.back());
    return 0;
}

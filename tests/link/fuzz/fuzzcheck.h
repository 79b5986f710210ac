// Shared by the fuzz harnesses: an invariant check that stops the run with
// the input that broke it.
#ifndef FUZZCHECK_H
#define FUZZCHECK_H

#include <QByteArray>

#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void fuzzViolated(const char *what, const char *file, int line, const QByteArray &input)
{
    std::fprintf(stderr, "%s:%d: invariant violated: %s\ninput: %s\n", file, line, what,
                 input.left(256).toHex().constData());
    std::abort();
}

#define FUZZ_CHECK(cond, input)                                                                                        \
    do {                                                                                                               \
        if (!(cond))                                                                                                   \
            fuzzViolated(#cond, __FILE__, __LINE__, (input));                                                          \
    } while (0)

#endif // FUZZCHECK_H

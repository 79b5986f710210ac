// Reading a configuration file the operator named, by the same rules in
// halvero-cli and the window: at most 1 MiB (a file is under 2 KB), a
// regular file checked by its size before anything is read, anything else
// (a pipe, a device such as /dev/zero) read only up to the bound, and the
// same sentences when it fails.
#ifndef HALVERO_CONFIGFILEREAD_H
#define HALVERO_CONFIGFILEREAD_H

#include <QByteArray>
#include <QString>

#include "result.h"

#ifndef Q_OS_UNIX
#include <QFile>
#endif

namespace ConfigFileRead {

constexpr qint64 limitBytes = 1024 * 1024;

// A failure is BadFile, its message a sentence naming the file.
struct Bytes : Result
{
    QByteArray data;
};

class Source
{
public:
    // `path` "-" is standard input.
    explicit Source(const QString &path);
    ~Source();
    Source(const Source &) = delete;
    Source &operator=(const Source &) = delete;

    // Bounded: the open returns at once even for a pipe nobody writes to
    // (the window); Blocking: a pipe is waited for, as a shell user expects
    // of `config set PORT FIFO`.
    enum class Wait {
        Blocking,
        Bounded
    };
    Result open(Wait wait);
    // A regular file: its size is known and reading it does not wait on
    // another program.
    bool isRegular() const { return m_regular; }
    // The whole file, up to the limit. Of something that is not a regular
    // file, what has not come within `boundMs` is given up (-1: no bound).
    Bytes read(int boundMs = -1);
    QString path() const { return m_path; }

private:
    Bytes fail(const QString &why) const;

    QString m_path;
    bool m_regular = false;
#ifdef Q_OS_UNIX
    int m_fd = -1;
    bool m_ownFd = false;
#else
    QFile m_file;
#endif
};

// Opens and reads `path` ("-": standard input), waiting as long as it takes.
Bytes readFile(const QString &path);

} // namespace ConfigFileRead

#endif // HALVERO_CONFIGFILEREAD_H

// Reading a configuration file the operator named, by the same rules in
// halvero-cli and the window: at most 1 MiB (a file is under 2 KB), a
// regular file checked by its size before anything is read, anything else
// (a pipe, a device such as /dev/zero) read only up to the bound, a named
// pipe that no program writes to given up after a moment, and the same
// sentences when it fails.
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
// How long a named pipe may go without a program that writes to it before
// reading it fails; once one has opened it, its own pace is waited for.
constexpr int pipeWriterWaitMs = 2000;

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

    // Returns at once, even for a named pipe that nobody writes to.
    Result open();
    // A regular file: its size is known and reading it does not wait on
    // another program.
    bool isRegular() const { return m_regular; }
    // The whole file, up to the limit. Of something that is not a regular
    // file, what has not come within `boundMs` is given up (-1: no bound);
    // a named pipe that no program opens for writing, within
    // pipeWriterWaitMs.
    Bytes read(int boundMs = -1);
    QString path() const { return m_path; }

private:
    Bytes fail(const QString &why) const;

    QString m_path;
    bool m_regular = false;
#ifdef Q_OS_UNIX
    bool m_pipe = false;
    int m_fd = -1;
    bool m_ownFd = false;
#else
    QFile m_file;
#endif
};

// Opens and reads `path` ("-": standard input), waiting as long as the
// program that writes it takes, but not for one to come.
Bytes readFile(const QString &path);

} // namespace ConfigFileRead

#endif // HALVERO_CONFIGFILEREAD_H

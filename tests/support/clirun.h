// A command-line program run as a script runs it: its arguments (PORT stands
// for a board's device path), its standard input, and how it ended.
#ifndef HALVERO_TESTSUPPORT_CLIRUN_H
#define HALVERO_TESTSUPPORT_CLIRUN_H

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

QT_BEGIN_NAMESPACE
class QProcess;
QT_END_NAMESPACE

namespace TestSupport {

struct CliRun
{
    int exitCode = -1; // -1: it crashed, or did not end within a minute
    QByteArray out;
    QByteArray err;
    QString describe() const; // exit status and both streams, for a failure message
};

// `standardOutput`: a file its standard output goes to instead of `out`.
// `meanwhile` is called once the program runs, before its end is waited for
// (to interrupt it, say).
CliRun runProgram(const QString &program, QStringList arguments, const QString &port = QString(),
                  const QByteArray &input = QByteArray(), const QString &standardOutput = QString(),
                  const std::function<void(QProcess &)> &meanwhile = {});

} // namespace TestSupport

#endif // HALVERO_TESTSUPPORT_CLIRUN_H

#include "clirun.h"

#include <QProcess>
#include <QRegularExpression>

namespace TestSupport {

QString CliRun::describe() const
{
    return QStringLiteral("exit %1\n%2\n%3").arg(exitCode).arg(QString::fromUtf8(out), QString::fromUtf8(err));
}

CliRun runProgram(const QString &program, QStringList arguments, const QString &port, const QByteArray &input,
                  const QString &standardOutput, const std::function<void(QProcess &)> &meanwhile)
{
    arguments.replaceInStrings(QRegularExpression(QStringLiteral("^PORT$")), port);
    QProcess process;
    if (!standardOutput.isEmpty())
        process.setStandardOutputFile(standardOutput);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (meanwhile && process.waitForStarted())
        meanwhile(process);
    CliRun run;
    if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

} // namespace TestSupport

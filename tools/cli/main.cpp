// Entry point of halvero-cli: no window, no event loop, one command per run.
#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

#include "clirunner.h"
#include "clisignals.h"
#include "halvero_version.h"
#include "outputfile.h"

int main(int argc, char *argv[])
{
    OutputFile::ignoreFileSizeSignal();
    CliSignals::ignoreBrokenPipe();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("halvero-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(HALVERO_VERSION));
    // The -v log shares standard error with the tool's own lines.
    qSetMessagePattern(QStringLiteral("halvero-cli: %{if-category}%{category}: %{endif}%{message}"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    return runCli(QCoreApplication::arguments(), out, err);
}

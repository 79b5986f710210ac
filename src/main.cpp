// Entry point of the configurator: the command line, one application object,
// one main window.
#include <QApplication>
#include <QLoggingCategory>

#include "Halvero_configurator.h"
#include "outputfile.h"
#include "startoptions.h"

// The program's start: the options it was given.
Q_LOGGING_CATEGORY(lcMain, "halvero.main")

int main(int argc, char *argv[])
{
    if (const StartOptions early = answerWithoutDisplay(argc, argv); early.exitCode >= 0)
        return early.exitCode;
    OutputFile::ignoreFileSizeSignal();
    QApplication app(argc, argv);
    const StartOptions options = readStartOptions(app);
    if (options.exitCode >= 0)
        return options.exitCode;
    applyLogging(options);
    qCDebug(lcMain) << "Starting with" << app.arguments();
    Halvero_configurator window;
    window.show();
    return app.exec();
}

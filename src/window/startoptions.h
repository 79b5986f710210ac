// The configurator's command line. --help and --version are answered from
// argv before any QApplication exists, so that they work where there is no
// display (a terminal over ssh, the package's install check).
#ifndef STARTOPTIONS_H
#define STARTOPTIONS_H

class QCoreApplication;

struct StartOptions
{
    bool debug = false; // --debug: the exchange log goes to the terminal
    int exitCode = -1;  // 0 or more: the program ends at once with this status
};

// Before the QApplication: prints the help or the version when asked for
// (exitCode 0). Anything else waits for readStartOptions(), since Qt's own
// options (-platform, -style, ...) are only known once QApplication has
// taken them out of argv.
StartOptions answerWithoutDisplay(int argc, char *argv[]);

// Once the application exists: the options left over; an unknown option or
// an argument is reported on stderr with exitCode 1.
StartOptions readStartOptions(const QCoreApplication &app);

// The exchange log (halvero.link.wire, two lines per poll) and the history's
// stay off unless --debug asks for them or QT_LOGGING_RULES says otherwise:
// an installed configurator must not fill the system journal.
void applyLogging(const StartOptions &options);

#endif // STARTOPTIONS_H

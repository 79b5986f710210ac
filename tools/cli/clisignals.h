// The signals that end halvero-cli early: Ctrl-C (SIGINT), kill (SIGTERM)
// and a closed terminal (SIGHUP) become a flag that the commands look at
// between two exchanges with the board, so that the exchange under way ends,
// what is known is recorded, and the port is closed (its lock file with it)
// before the process exits. A reader of standard output that has gone
// (`| head -1`) ends the command quietly instead of killing it by SIGPIPE.
#ifndef HALVERO_CLI_CLISIGNALS_H
#define HALVERO_CLI_CLISIGNALS_H

#include <QString>

namespace CliSignals {

// From the start: a write to a pipe nobody reads fails instead of killing
// the process (no such signal on Windows).
void ignoreBrokenPipe();

// From the moment the port is opened; before it the signals keep their
// usual effect, as there is nothing to close.
void catchEndingSignals();

// The signal received since catchEndingSignals() (0: none).
int pending();
// How many have come, so that a wait begun after the first one can tell
// whether it was asked to end too.
int count();
// "SIGTERM"
QString name(int signal);

// Standard output is a pipe or socket whose reading end has been closed.
bool stdoutReaderGone();

} // namespace CliSignals

#endif // HALVERO_CLI_CLISIGNALS_H

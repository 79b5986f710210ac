// 'check': an audit of a bench against a configuration file, writing nothing
// to any board. Every board is identified and its configuration read and
// compared with the file's, all at once as provision does; each port ends in
// one outcome (matches, differs with the fields named, skipped-family,
// no-board, busy, error), the summary and the report say which, and what
// each board held is recorded in the history as a check.
#include "clirunner.h"

#include <algorithm>

#include "boardprovisioning.h"
#include "provisionview.h"

using Provisioning::BoardRow;

int CliRunner::check()
{
    // The file passes the checks of provision before a port is opened: a
    // golden file that could not be written is no file to audit against.
    const Provisioning::Settings settings = benchSettings();

    const QList<BoardRow> rows =
        runBench(benchPorts(), BenchCommand::Check, o.jobs, settings.file,
                 [&settings](const BenchPort &port, const Provisioning::StepReport &report, const std::atomic<bool> &) {
                     return Provisioning::checkBoard(port.name, port.path, settings, report);
                 });
    if (settings.history)
        progress(QStringLiteral("the configuration of each board compared is in %1").arg(settings.history->path()));
    const bool allMatch = std::all_of(
        rows.begin(), rows.end(), [](const BoardRow &row) { return row.outcome == Provisioning::Outcome::Matches; });
    return allMatch ? ExitOk : ExitNotAllHeld;
}

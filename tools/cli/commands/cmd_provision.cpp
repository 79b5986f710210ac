// 'provision': one configuration onto every board of a bench at once, each
// board on a port and a thread of its own, ending in one outcome per port, a
// summary, and a report for the production record. Also the list of ports
// that 'provision' and an inventory ('identify' with several ports) visit.
#include "clirunner.h"

#include <QFileInfo>
#include <QSet>
#include <QTextStream>
#include <algorithm>

#include "boardprovisioning.h"
#include "clisignals.h"
#include "parallelports.h"
#include "portfacts.h"
#include "portpath.h"
#include "provisionreport.h"
#include "provisionview.h"
#include "sharedserials.h"

using Provisioning::BoardRow;

namespace {

// A by-id link and the device it points to are one board: opened twice, it
// would be "busy" to itself.
QString deviceKey(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}

} // namespace

QList<CliRunner::BenchPort> CliRunner::benchPorts()
{
    QStringList names = o.ports;
    if (o.all)
        for (const PortFacts &port : availablePortFacts())
            names << port.location;
    QList<BenchPort> ports;
    QSet<QString> seen;
    for (const QString &name : names) {
        const PortPath resolved = resolvePortPath(name);
        const QString key = resolved.ok() ? deviceKey(resolved.path) : name;
        if (seen.contains(key)) {
            progress(QStringLiteral("%1 is named twice: its board is worked on once").arg(name));
            continue;
        }
        seen.insert(key);
        ports.append(BenchPort{name, resolved.path, resolved.message});
    }
    if (ports.isEmpty())
        throw CliFailure{ErrorCode::NoSuchPort, QStringLiteral("no serial ports found ('halvero-cli ports' lists none)")};
    return ports;
}

int CliRunner::provision()
{
    // The whole file is checked before any port is opened.
    Provisioning::Settings settings;
    settings.config = loadInput(true);
    // The file is every board's: trigger Low not below High is a slip in it,
    // not a value some board already holds.
    if (const std::optional<CrossedPair> crossed = crossedPair(settings.config))
        throw CliFailure{ErrorCode::OutOfRange, QStringLiteral("%1: %2").arg(o.file, crossed->message())};
    settings.baud = o.baud;
    settings.verify = o.verify;
    if (historyOn())
        settings.history.emplace();
    settings.tool = QStringLiteral("halvero-cli");
    settings.operation = commandName(o.command);

    const QList<BenchPort> ports = benchPorts();
    QStringList names;
    QStringList paths;
    for (const BenchPort &port : ports) {
        names << port.name;
        paths << port.path;
    }
    // A report that cannot be written is known now, not once every board
    // has been written.
    if (!o.report.isEmpty()) {
        const Result writable = ProvisionReport::checkPath(o.report, paths);
        if (!writable.ok())
            throw CliFailure{writable.code, QStringLiteral("cannot write the report %1: %2; nothing was sent to any board")
                                                .arg(o.report, writable.message)};
    }
    progress(QStringLiteral("provisioning %1 ports, %2 at once")
                 .arg(ports.size())
                 .arg(o.jobs > 0 ? qMin<qsizetype>(o.jobs, ports.size()) : ports.size()));

    ParallelPorts run(names, o.jobs,
                      [&ports, &settings](int index, const Provisioning::StepReport &report, const std::atomic<bool> &stop) {
                          const BenchPort &port = ports.at(index);
                          if (port.path.isEmpty())
                              return Provisioning::untouched(port.name, port.why);
                          return Provisioning::provisionBoard(port.name, port.path, settings, report, stop);
                      });
    ProvisionView view(out, ProvisionView::modeFor(o.json, o.quiet || o.verbose), names);

    // Ctrl-C, SIGTERM or a closed terminal (SIGHUP): no board is begun, and
    // none is written, after it; a write already sent is seen through to
    // its outcome, and the report is written all the same. The signals stay
    // caught to the end, so that one during the report's write ends the run
    // as any other interrupted run ends.
    CliSignals::catchEndingSignals();
    run.start();
    for (bool done = false; !done;) {
        done = run.wait(100);
        if (CliSignals::pending())
            run.stop();
        view.update(run.states(), run.takeFinished(), run.rows());
    }

    QList<BoardRow> rows = run.rows();
    SharedSerials::mark(rows);
    view.finish(rows);
    if (const int signal = CliSignals::pending()) {
        const auto unwritten = std::count_if(rows.begin(), rows.end(), [](const BoardRow &row) { return !row.written; });
        err << "halvero-cli: interrupted by " << CliSignals::name(signal) << ": " << unwritten << " of " << rows.size()
            << " boards were not written to" << Qt::endl;
    }
    if (settings.history)
        progress(QStringLiteral("the configurations before and after each write are in %1").arg(settings.history->path()));
    if (!o.report.isEmpty()) {
        const int signalsBefore = CliSignals::count();
        const auto signalled = [signalsBefore] { return CliSignals::count() != signalsBefore; };
        const Result written = ProvisionReport::write(o.report, rows, signalled);
        if (!written.ok() && signalled())
            throw CliFailure{ErrorCode::Interrupted,
                             QStringLiteral("interrupted by %1 while the report %2 waited for a program to read it: "
                                            "the report was not written")
                                 .arg(CliSignals::name(CliSignals::pending()), o.report)};
        if (!written.ok())
            throw CliFailure{written.code, QStringLiteral("cannot write the report %1: %2").arg(o.report, written.message)};
        progress(QStringLiteral("report written to %1").arg(o.report));
    }
    const bool allHeld = std::all_of(rows.begin(), rows.end(),
                                     [](const BoardRow &row) { return row.outcome == Provisioning::Outcome::Held; });
    return allHeld ? ExitOk : ExitNotAllHeld;
}

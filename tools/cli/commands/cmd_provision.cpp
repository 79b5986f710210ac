// 'provision': one configuration onto every board of a bench at once, each
// board on a port and a thread of its own, ending in one outcome per port, a
// summary, and a report for the production record. Also what every bench
// run shares ('provision', 'check', an inventory): the list of ports it
// visits, by name or by the slots file, and the run itself.
#include "clirunner.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QTextStream>
#include <QUuid>
#include <algorithm>

#include "benchslots.h"
#include "boardprovisioning.h"
#include "clisignals.h"
#include "configfileread.h"
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

// The slots in the file's order. A slot whose port is not there is a socket
// without a board; two slots on one device are a slip in the file.
QList<CliRunner::BenchPort> CliRunner::slotPorts()
{
    const ConfigFileRead::Bytes read = ConfigFileRead::readFile(o.slotsFile);
    if (!read.ok())
        throw CliFailure(read);
    const BenchSlotList list = parseBenchSlots(read.data, o.slotsFile);
    if (!list.ok())
        throw CliFailure(list);
    QList<BenchPort> ports;
    QHash<QString, QString> slotOfDevice;
    for (const BenchSlot &socket : list.sockets) {
        const PortPath resolved = resolvePortPath(socket.port);
        BenchPort port{socket.port, resolved.path, resolved.message, socket.name, resolved.missing};
        if (port.missing)
            port.why = QStringLiteral("nothing is plugged into %1: %2 is not there").arg(socket.name, socket.port);
        if (resolved.ok()) {
            const QString key = deviceKey(resolved.path);
            if (slotOfDevice.contains(key))
                throw CliFailure{ErrorCode::BadFile, QStringLiteral("%1, line %2: %3 is the device of slot %4 already")
                                                         .arg(o.slotsFile)
                                                         .arg(socket.line)
                                                         .arg(socket.port, slotOfDevice.value(key))};
            slotOfDevice.insert(key, socket.name);
        }
        ports.append(port);
    }
    return ports;
}

QList<CliRunner::BenchPort> CliRunner::benchPorts()
{
    if (!o.slotsFile.isEmpty())
        return slotPorts();
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
        ports.append(BenchPort{name, resolved.path, resolved.message, QString(), false});
    }
    if (ports.isEmpty())
        throw CliFailure{ErrorCode::NoSuchPort,
                         QStringLiteral("no serial ports found ('halvero-cli ports' lists none)")};
    return ports;
}

BoardRow CliRunner::portlessRow(const BenchPort &port)
{
    BoardRow row = Provisioning::untouched(port.name, port.why);
    if (port.missing)
        row.outcome = Provisioning::Outcome::NoBoard;
    return row;
}

QList<BoardRow> CliRunner::runBench(const QList<BenchPort> &ports, BenchCommand command, int jobs,
                                    const ConfigHistory::SourceFile &file, const BenchJob &job)
{
    QStringList names;
    QStringList slotNames;
    QStringList paths;
    for (const BenchPort &port : ports) {
        names << port.name;
        paths << port.path;
        if (!o.slotsFile.isEmpty())
            slotNames << port.slot;
    }
    // A report that cannot be written is known now, not once every board
    // has been worked on.
    if (!o.report.isEmpty()) {
        const Result writable = ProvisionReport::checkPath(o.report, paths);
        if (!writable.ok())
            throw CliFailure{writable.code,
                             QStringLiteral("cannot write the report %1: %2; nothing was sent to any board")
                                 .arg(o.report, writable.message)};
    }
    progress(QStringLiteral("%1: %2 ports, %3 at once")
                 .arg(commandName(o.command))
                 .arg(ports.size())
                 .arg(jobs > 0 ? qMin<qsizetype>(jobs, ports.size()) : ports.size()));

    ParallelPorts run(names, jobs,
                      [&ports, &job](int index, const Provisioning::StepReport &report, const std::atomic<bool> &stop) {
                          const BenchPort &port = ports.at(index);
                          BoardRow row = port.path.isEmpty() ? portlessRow(port) : job(port, report, stop);
                          row.slot = port.slot;
                          return row;
                      });
    ProvisionView view(out, ProvisionView::modeFor(o.json, o.quiet || o.verbose), names, slotNames, command);

    // Ctrl-C, SIGTERM or a closed terminal (SIGHUP): no board is begun after
    // it; a write already sent is seen through to its outcome, and the
    // report is written all the same. The signals stay caught to the end,
    // so that one during the report's write ends the run as any other
    // interrupted run ends.
    CliSignals::catchEndingSignals();
    run.start();
    for (bool done = false; !done;) {
        done = run.wait(100);
        if (CliSignals::pending())
            run.stop();
        // The finished ports first: each of them has its row by then.
        const QList<int> finished = run.takeFinished();
        view.update(run.states(), finished, run.rows());
    }

    QList<BoardRow> rows = run.rows();
    SharedSerials::mark(rows);
    view.finish(rows);
    if (const int signal = CliSignals::pending()) {
        if (command == BenchCommand::Provision) {
            const auto unwritten =
                std::count_if(rows.begin(), rows.end(), [](const BoardRow &row) { return !row.written; });
            err << "halvero-cli: interrupted by " << CliSignals::name(signal) << ": " << unwritten << " of "
                << rows.size() << " boards were not written to" << Qt::endl;
        } else {
            err << "halvero-cli: interrupted by " << CliSignals::name(signal)
                << ": the boards not begun are reported as not checked" << Qt::endl;
        }
    }
    if (!o.report.isEmpty()) {
        const int signalsBefore = CliSignals::count();
        const auto signalled = [signalsBefore] { return CliSignals::count() != signalsBefore; };
        const Result written = ProvisionReport::write(o.report, rows, ProvisionReport::RunFacts::of(file), signalled);
        if (!written.ok() && signalled())
            throw CliFailure{ErrorCode::Interrupted,
                             QStringLiteral("interrupted by %1 while the report %2 waited for a program to read it: "
                                            "the report was not written")
                                 .arg(CliSignals::name(CliSignals::pending()), o.report)};
        if (!written.ok())
            throw CliFailure{written.code,
                             QStringLiteral("cannot write the report %1: %2").arg(o.report, written.message)};
        progress(QStringLiteral("report written to %1").arg(o.report));
    }
    return rows;
}

Provisioning::Settings CliRunner::benchSettings()
{
    // The whole file is checked before any port is opened.
    Provisioning::Settings settings;
    settings.config = loadInput(true, &settings.file);
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
    // Every entry of the run names it, so that the record can tell the run apart.
    settings.run = QUuid::createUuid().toString(QUuid::WithoutBraces);
    progress(QStringLiteral("run %1").arg(settings.run));
    return settings;
}

int CliRunner::provision()
{
    const Provisioning::Settings settings = benchSettings();

    // A write already sent when Ctrl-C comes is seen through to its outcome.
    const QList<BoardRow> rows = runBench(
        benchPorts(), BenchCommand::Provision, o.jobs, settings.file,
        [&settings](const BenchPort &port, const Provisioning::StepReport &report, const std::atomic<bool> &stop) {
            return Provisioning::provisionBoard(port.name, port.path, settings, report, stop);
        });
    if (settings.history)
        progress(
            QStringLiteral("the configurations before and after each write are in %1").arg(settings.history->path()));
    const bool allHeld = std::all_of(rows.begin(), rows.end(),
                                     [](const BoardRow &row) { return row.outcome == Provisioning::Outcome::Held; });
    return allHeld ? ExitOk : ExitNotAllHeld;
}

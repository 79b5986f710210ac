// 'identify' with several ports, --all or --slots: an inventory of the bench,
// every port asked at once, one row each (in the slots file's order, with the
// slot): a table for a person, JSON lines for a script.
#include "clirunner.h"

#include <QTextStream>

#include "boardprovisioning.h"
#include "parallelports.h"
#include "sharedserials.h"
#include "texttable.h"

using Provisioning::BoardRow;
using Provisioning::Outcome;

namespace {

// Identify has no write to hold: a board that answered is "found".
QString inventoryWord(const BoardRow &row)
{
    return row.outcome == Outcome::Held ? QStringLiteral("found") : Provisioning::outcomeWord(row.outcome);
}

QJsonObject inventoryJson(const BoardRow &row)
{
    const auto text = [](const QString &s) { return s.isEmpty() ? QJsonValue() : QJsonValue(s); };
    return QJsonObject{{QStringLiteral("port"), row.port},
                       {QStringLiteral("slot"), text(row.slot)},
                       {QStringLiteral("outcome"), inventoryWord(row)},
                       {QStringLiteral("productCode"), text(row.productCode)},
                       {QStringLiteral("family"), text(row.family)},
                       {QStringLiteral("firmware"), text(row.firmware)},
                       {QStringLiteral("serial"), text(row.serial)},
                       {QStringLiteral("message"), text(SharedSerials::withRemark(row.message, row.sameSerial))}};
}

QString orDash(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("-") : text;
}

} // namespace

int CliRunner::inventory()
{
    const QList<BenchPort> ports = benchPorts();
    QStringList names;
    for (const BenchPort &port : ports)
        names << port.name;
    const qint32 baud = o.baud;
    ParallelPorts run(
        names, 0, [&ports, baud](int index, const Provisioning::StepReport &report, const std::atomic<bool> &) {
            const BenchPort &port = ports.at(index);
            BoardRow row = port.path.isEmpty() ? portlessRow(port)
                                               : Provisioning::identifyBoard(port.name, port.path, baud, report);
            row.slot = port.slot;
            return row;
        });
    run.start();
    while (!run.wait(1000)) {
    }

    QList<BoardRow> rows = run.rows();
    SharedSerials::mark(rows);
    const bool bySlot = !o.slotsFile.isEmpty();
    const auto withSlot = [bySlot](const QString &slot, QStringList cells) {
        if (bySlot)
            cells.prepend(slot);
        return cells;
    };
    QList<QStringList> table;
    if (!o.quiet)
        table.append(
            withSlot(QStringLiteral("SLOT"), {QStringLiteral("PORT"), QStringLiteral("PRODUCT"),
                                              QStringLiteral("FIRMWARE"), QStringLiteral("SERIAL"), QString()}));
    int found = 0;
    for (const BoardRow &row : rows) {
        const bool board = row.outcome == Outcome::Held;
        found += board ? 1 : 0;
        if (o.json)
            emitJson(inventoryJson(row));
        else
            table.append(withSlot(
                row.slot,
                {row.port, orDash(row.productCode), orDash(row.firmware), orDash(row.serial),
                 SharedSerials::withRemark(board ? QString() : inventoryWord(row) + QStringLiteral(": ") + row.message,
                                           row.sameSerial)}));
    }
    if (!o.json)
        out << alignedRows(table);
    // A listing with some empty ports is still a listing; one without any
    // board is what a single port without one is.
    return found > 0 ? ExitOk : ExitNoReply;
}

// What the operator sees of a bench run (provision, check). On a terminal:
// one live line per board at work (slot, port, step, serial), each finished
// board's line kept above them in the order of the slots or ports named, in
// the same columns, and the summary at the end. Otherwise one plain line per
// board as it finishes (or, with --json, one object), then the summary.
#ifndef HALVERO_CLI_PROVISIONVIEW_H
#define HALVERO_CLI_PROVISIONVIEW_H

#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include "boardprovisioning.h"
#include "parallelports.h"

QT_BEGIN_NAMESPACE
class QTextStream;
QT_END_NAMESPACE

// Which run the rows come from: the outcomes it has and how its summary
// reads.
enum class BenchCommand {
    Provision,
    Check
};

namespace ProvisionText {

// The widths of the columns whose cells vary from bench to bench; a slot
// width of 0 leaves the slot column out.
struct Columns
{
    int slot = 0;
    int port = 0;
};
Columns columnsFor(const QStringList &slotNames, const QStringList &ports);

// "14 of 16 boards hold the configuration; 1 skipped (04F2); 1 no board:
// bay-7"; for a check "14 of 16 boards match the file; 1 differs: bay-3".
// Boards are named by their slot, else their port.
QString summary(const QList<Provisioning::BoardRow> &rows, BenchCommand command = BenchCommand::Provision);
// {"summary": {"boards": 16, "held": 14, ..., "text": summary(rows)}}
QJsonObject summaryJson(const QList<Provisioning::BoardRow> &rows, BenchCommand command = BenchCommand::Provision);
// A finished board: slot, port, outcome, serial, product, then the message
// (which names fields as the window does).
QString rowLine(const Provisioning::BoardRow &row, const Columns &columns);

} // namespace ProvisionText

class ProvisionView
{
public:
    enum class Mode {
        Live,
        Lines,
        Json
    };

    // Live only where standard output is a terminal that takes cursor
    // movements; `plain` (-q, -v) keeps to plain lines anyway.
    static Mode modeFor(bool json, bool plain);

    // `slotNames`: each port's slot, in the same order; empty without a
    // slots file.
    ProvisionView(QTextStream &out, Mode mode, const QStringList &ports, const QStringList &slotNames,
                  BenchCommand command);

    // `finished`: the ports finished since the last update, in that order.
    void update(const QList<ParallelPorts::PortState> &states, const QList<int> &finished,
                const QList<Provisioning::BoardRow> &rows);
    // The summary, once every port has its row.
    void finish(const QList<Provisioning::BoardRow> &rows);

private:
    QString liveLine(int index, const ParallelPorts::PortState &state) const;

    QTextStream &m_out;
    const Mode m_mode;
    const BenchCommand m_command;
    const QStringList m_slotNames;
    const ProvisionText::Columns m_columns;
    int m_liveLines = 0;  // lines of the live block on screen now
    int m_listed = 0;     // live: the ports before this one have their lines above the block
    QSet<int> m_finished; // live: the ports finished so far
};

#endif // HALVERO_CLI_PROVISIONVIEW_H

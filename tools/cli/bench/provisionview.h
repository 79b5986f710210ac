// What the operator sees of a provisioning run. On a terminal: one live line
// per board at work (port, serial, step), each finished board's line kept
// above them, and the summary at the end. Otherwise one plain line per board
// as it finishes (or, with --json, one object), then the summary.
#ifndef HALVERO_CLI_PROVISIONVIEW_H
#define HALVERO_CLI_PROVISIONVIEW_H

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include "boardprovisioning.h"
#include "parallelports.h"

QT_BEGIN_NAMESPACE
class QTextStream;
QT_END_NAMESPACE

namespace ProvisionText {

// "14 of 16 boards hold the configuration; 1 skipped (04F2); 1 no board:
// /dev/ttyUSB7"
QString summary(const QList<Provisioning::BoardRow> &rows);
// {"summary": {"boards": 16, "held": 14, ..., "text": summary(rows)}}
QJsonObject summaryJson(const QList<Provisioning::BoardRow> &rows);
// A finished board: port, outcome, serial, product, then the fields that
// differ or the message. `portWidth` aligns the ports of one run.
QString rowLine(const Provisioning::BoardRow &row, int portWidth);

} // namespace ProvisionText

class ProvisionView
{
public:
    enum class Mode { Live, Lines, Json };

    // Live only where standard output is a terminal that takes cursor
    // movements; `plain` (-q, -v) keeps to plain lines anyway.
    static Mode modeFor(bool json, bool plain);

    ProvisionView(QTextStream &out, Mode mode, const QStringList &ports);

    // `finished`: the ports finished since the last update, in that order.
    void update(const QList<ParallelPorts::PortState> &states, const QList<int> &finished,
                const QList<Provisioning::BoardRow> &rows);
    // The summary, once every port has its row.
    void finish(const QList<Provisioning::BoardRow> &rows);

private:
    QString liveLine(const ParallelPorts::PortState &state) const;

    QTextStream &m_out;
    const Mode m_mode;
    int m_portWidth = 0;
    int m_liveLines = 0; // lines of the live block on screen now
};

#endif // HALVERO_CLI_PROVISIONVIEW_H

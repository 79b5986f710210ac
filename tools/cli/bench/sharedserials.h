// Boards of one bench that answer with the same serial number: factory
// blanks not yet given one of their own, or simulators left at their
// default. Neither the operator nor the history can tell them apart by it,
// so each board's line, the summary and the report name the ports that
// share it.
#ifndef HALVERO_CLI_SHAREDSERIALS_H
#define HALVERO_CLI_SHAREDSERIALS_H

#include <QList>
#include <QString>
#include <QStringList>

#include "boardprovisioning.h"

namespace SharedSerials {

// The ports other than ports[index] whose board gave serials[index]; none
// for a port whose serial is not known (empty).
QStringList others(const QStringList &ports, const QStringList &serials, int index);

// Every row's sameSerial, from all the rows.
void mark(QList<Provisioning::BoardRow> &rows);

// "same serial as /dev/ttyUSB3"; empty when `others` is.
QString remark(const QStringList &others);
// `text` with the remark after it.
QString withRemark(const QString &text, const QStringList &others);

// One part per serial that boards share, for a summary:
// "3 share serial 0x2038...: /dev/ttyUSB0, /dev/ttyUSB3, /dev/ttyUSB5".
QStringList summaryParts(const QList<Provisioning::BoardRow> &rows);

} // namespace SharedSerials

#endif // HALVERO_CLI_SHAREDSERIALS_H

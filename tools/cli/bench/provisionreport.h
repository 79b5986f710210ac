// The report of a bench run (provision, check), for the production record:
// one row per port, in the order of the slots or ports named, as JSON lines
// (.jsonl) or CSV (.csv), written so that a failed write keeps the file that
// was there.
#ifndef HALVERO_CLI_PROVISIONREPORT_H
#define HALVERO_CLI_PROVISIONREPORT_H

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

#include "boardprovisioning.h"
#include "result.h"

namespace ProvisionReport {

// The columns, in the order the CSV has them; the JSON object has the same
// keys (`fields` as an array, missing text as null).
QStringList columns();

QJsonObject rowJson(const Provisioning::BoardRow &row);
QByteArray jsonLines(const QList<Provisioning::BoardRow> &rows);
QByteArray csv(const QList<Provisioning::BoardRow> &rows); // with a header line

// JSON lines or CSV by the name's ending (.jsonl, .csv). A failure is
// ErrorCode::OutputFile. `givenUp` ends the wait for a FIFO's reader.
Result write(const QString &path, const QList<Provisioning::BoardRow> &rows, const std::function<bool()> &givenUp = {});

// Before any port is opened: whether the report can be written at the end,
// and that it is no device, least of all one of the bench's own ports
// (`portPaths`, the devices to open), under whatever name. A failure is
// ErrorCode::OutputFile.
Result checkPath(const QString &path, const QStringList &portPaths);

} // namespace ProvisionReport

#endif // HALVERO_CLI_PROVISIONREPORT_H

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
#include "confighistory.h"
#include "result.h"

namespace ProvisionReport {

// What every row of one run shares: the file written or compared with, and
// where and by whom the run was made.
struct RunFacts
{
    ConfigHistory::SourceFile file;
    QString station;
    QString user;

    // The file, with this station and this user as the history names them.
    static RunFacts of(const ConfigHistory::SourceFile &file);
};

// The columns, in the order the CSV has them. The JSON object has the same
// keys (`fields` as an array, missing text as null), except that the file
// is one object, "file": {"name": ..., "sha256": ...}, where the CSV has the
// columns file and fileSha256. Columns are only ever added at the end, so
// that a reader by position still finds the ones it knows.
QStringList columns();

// A row as the --json view shows it while the run goes on: the board's own.
QJsonObject rowJson(const Provisioning::BoardRow &row);
// A row of the report: the board's, then the run's.
QJsonObject reportRowJson(const Provisioning::BoardRow &row, const RunFacts &run);
QByteArray jsonLines(const QList<Provisioning::BoardRow> &rows, const RunFacts &run);
QByteArray csv(const QList<Provisioning::BoardRow> &rows, const RunFacts &run); // with a header line

// JSON lines or CSV by the name's ending (.jsonl, .csv). A failure is
// ErrorCode::OutputFile. `givenUp` ends the wait for a FIFO's reader.
Result write(const QString &path, const QList<Provisioning::BoardRow> &rows, const RunFacts &run,
             const std::function<bool()> &givenUp = {});

// Before any port is opened: whether the report can be written at the end,
// and that it is no device, least of all one of the bench's own ports
// (`portPaths`, the devices to open), under whatever name. A failure is
// ErrorCode::OutputFile.
Result checkPath(const QString &path, const QStringList &portPaths);

} // namespace ProvisionReport

#endif // HALVERO_CLI_PROVISIONREPORT_H

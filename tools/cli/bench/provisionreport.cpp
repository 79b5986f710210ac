// Report rows as JSON and CSV, the fields by their paths (a CSV cell holds
// them apart by spaces, which the operator's words have in them). CSV cells
// are quoted where RFC 4180 needs it, so that a message or a file name with a
// comma stays one cell in a spreadsheet.
#include "provisionreport.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>

#include "outputfile.h"
#include "portpath.h"
#include "sharedserials.h"

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using Provisioning::BoardRow;

namespace ProvisionReport {

namespace {

QString timeText(const BoardRow &row)
{
    return row.finished.toUTC().toString(Qt::ISODateWithMs);
}

double roundedSeconds(const BoardRow &row)
{
    return qRound64(row.seconds * 1000) / 1000.0;
}

QString csvCell(const QString &text)
{
    static const QString special = QStringLiteral(",\"\r\n");
    for (const QChar c : text) {
        if (special.contains(c)) {
            QString quoted = text;
            quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
            return QLatin1Char('"') + quoted + QLatin1Char('"');
        }
    }
    return text;
}

} // namespace

RunFacts RunFacts::of(const ConfigHistory::SourceFile &file)
{
    return {file, ConfigHistory::stationName(), ConfigHistory::loginName()};
}

QStringList columns()
{
    return {QStringLiteral("port"),        QStringLiteral("slot"),    QStringLiteral("serial"),
            QStringLiteral("productCode"), QStringLiteral("family"),  QStringLiteral("firmware"),
            QStringLiteral("outcome"),     QStringLiteral("fields"),  QStringLiteral("seconds"),
            QStringLiteral("time"),        QStringLiteral("message"), QStringLiteral("file"),
            QStringLiteral("fileSha256"),  QStringLiteral("station"), QStringLiteral("user")};
}

QJsonObject rowJson(const BoardRow &row)
{
    const auto text = [](const QString &s) { return s.isEmpty() ? QJsonValue() : QJsonValue(s); };
    return QJsonObject{
        {QStringLiteral("port"), row.port},
        {QStringLiteral("slot"), text(row.slot)},
        {QStringLiteral("serial"), text(row.serial)},
        {QStringLiteral("productCode"), text(row.productCode)},
        {QStringLiteral("family"), text(row.family)},
        {QStringLiteral("firmware"), text(row.firmware)},
        {QStringLiteral("outcome"), Provisioning::outcomeWord(row.outcome)},
        {QStringLiteral("fields"), QJsonArray::fromStringList(row.fieldPaths())},
        {QStringLiteral("seconds"), roundedSeconds(row)},
        {QStringLiteral("time"), timeText(row)},
        {QStringLiteral("message"), text(SharedSerials::withRemark(row.message, row.sameSerial))},
    };
}

QJsonObject reportRowJson(const BoardRow &row, const RunFacts &run)
{
    QJsonObject json = rowJson(row);
    json.insert(ConfigHistory::keyFile, run.file.toJson());
    json.insert(QStringLiteral("station"), run.station);
    json.insert(QStringLiteral("user"), run.user);
    return json;
}

QByteArray jsonLines(const QList<BoardRow> &rows, const RunFacts &run)
{
    QByteArray text;
    for (const BoardRow &row : rows)
        text += QJsonDocument(reportRowJson(row, run)).toJson(QJsonDocument::Compact) + '\n';
    return text;
}

QByteArray csv(const QList<BoardRow> &rows, const RunFacts &run)
{
    QString text = columns().join(QLatin1Char(',')) + QLatin1Char('\n');
    for (const BoardRow &row : rows) {
        const QStringList cells{row.port,
                                row.slot,
                                row.serial,
                                row.productCode,
                                row.family,
                                row.firmware,
                                Provisioning::outcomeWord(row.outcome),
                                row.fieldPaths().join(QLatin1Char(' ')),
                                QString::number(roundedSeconds(row), 'f', 3),
                                timeText(row),
                                SharedSerials::withRemark(row.message, row.sameSerial),
                                run.file.name,
                                run.file.sha256,
                                run.station,
                                run.user};
        QStringList quoted;
        for (const QString &cell : cells)
            quoted << csvCell(cell);
        text += quoted.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return text.toUtf8();
}

// The reports written.
Q_LOGGING_CATEGORY(lcCliBench, "halvero.cli.bench")

Result write(const QString &path, const QList<BoardRow> &rows, const RunFacts &run,
             const std::function<bool()> &givenUp)
{
    qCDebug(lcCliBench).noquote() << "Report of" << rows.size() << "ports to" << path;
    const bool asCsv = path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive);
    return OutputFile::writeFileSafely(path, asCsv ? csv(rows, run) : jsonLines(rows, run), givenUp);
}

Result checkPath(const QString &path, const QStringList &portPaths)
{
    for (const QString &port : portPaths)
        if (!port.isEmpty() && isSameDevice(path, port))
            return Result::failure(ErrorCode::OutputFile, QStringLiteral("it is %1, a port of this bench").arg(port));
    // A pipe is read by another program as the run ends; a device is no
    // record (and a serial port would take the rows as a board's input).
    const QFileInfo target(path);
    if (target.exists() && !target.isFile() && !target.isDir()) {
#ifdef Q_OS_UNIX
        struct stat status;
        const bool pipe = ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISFIFO(status.st_mode);
#else
        const bool pipe = false;
#endif
        if (!pipe)
            return Result::failure(ErrorCode::OutputFile, QStringLiteral("it is a device, not a file"));
    }
    return OutputFile::checkWritable(path);
}

} // namespace ProvisionReport

// 'halvero-cli ports': which serial ports the system offers, so the operator
// can tell which one the board is on before naming it to the other commands.
#include "clirunner.h"

#include <QTextStream>

#include "portfacts.h"
#include "texttable.h"

namespace {

QString orDash(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("-") : text;
}

// -v: every fact the system has, one per line, the missing ones left out.
QString portDetails(const PortFacts &port)
{
    const QList<QStringList> facts{{QStringLiteral("location"), port.location},
                                   {QStringLiteral("by-id"), port.byId},
                                   {QStringLiteral("by-path"), port.byPath},
                                   {QStringLiteral("description"), port.description},
                                   {QStringLiteral("manufacturer"), port.manufacturer},
                                   {QStringLiteral("USB id"), usbIdText(port)},
                                   {QStringLiteral("serial"), port.serialNumber}};
    QString text = port.name + QLatin1Char('\n');
    for (const QStringList &fact : facts)
        if (!fact.at(1).isEmpty())
            text += QStringLiteral("  %1%2\n").arg(fact.at(0).leftJustified(14), fact.at(1));
    return text;
}

} // namespace

int CliRunner::ports()
{
    const QList<PortFacts> ports = availablePortFacts();
    if (o.json) {
        for (const PortFacts &port : ports)
            emitJson(portJson(port));
        return ExitOk;
    }
    if (ports.isEmpty()) {
        note(QStringLiteral("no serial ports found"));
        return ExitOk;
    }
    if (o.verbose) {
        for (int i = 0; i < ports.size(); ++i)
            out << (i > 0 ? QStringLiteral("\n") : QString()) << portDetails(ports.at(i));
        return ExitOk;
    }
    QList<QStringList> rows;
    if (!o.quiet)
        rows.append({QStringLiteral("PORT"), QStringLiteral("LOCATION"), QStringLiteral("DESCRIPTION"),
                     QStringLiteral("MANUFACTURER"), QStringLiteral("SERIAL"), QStringLiteral("VID:PID")});
    for (const PortFacts &port : ports)
        rows.append({port.name, port.location, orDash(port.description), orDash(port.manufacturer),
                     orDash(port.serialNumber), orDash(usbIdText(port))});
    out << alignedRows(rows);
    return ExitOk;
}

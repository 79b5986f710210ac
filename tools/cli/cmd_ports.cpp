// 'halvero-cli ports': which serial ports the system offers, so the operator
// can tell which one the board is on before naming it to the other commands.
#include "clirunner.h"

#include <QJsonArray>
#include <QSerialPortInfo>
#include <QTextStream>

int CliRunner::ports()
{
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    const auto text = [](const QString &s) { return s.isEmpty() ? QStringLiteral("-") : s; };
    const auto id = [](bool has, quint16 v) { return has ? QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0')) : QString(); };
    if (o.json) {
        QJsonArray list;
        for (const QSerialPortInfo &info : infos) {
            const auto optional = [](const QString &s) { return s.isEmpty() ? QJsonValue() : QJsonValue(s); };
            list.append(QJsonObject{
                {QStringLiteral("name"), info.portName()},
                {QStringLiteral("location"), info.systemLocation()},
                {QStringLiteral("description"), optional(info.description())},
                {QStringLiteral("manufacturer"), optional(info.manufacturer())},
                {QStringLiteral("serialNumber"), optional(info.serialNumber())},
                {QStringLiteral("vendorId"), optional(id(info.hasVendorIdentifier(), info.vendorIdentifier()))},
                {QStringLiteral("productId"), optional(id(info.hasProductIdentifier(), info.productIdentifier()))},
            });
        }
        emitJson(QJsonObject{{QStringLiteral("ports"), list}});
        return ExitOk;
    }
    if (infos.isEmpty()) {
        note(QStringLiteral("no serial ports found"));
        return ExitOk;
    }
    QList<QStringList> rows;
    if (!o.quiet)
        rows.append({QStringLiteral("PORT"), QStringLiteral("LOCATION"), QStringLiteral("DESCRIPTION"),
                     QStringLiteral("MANUFACTURER"), QStringLiteral("SERIAL"), QStringLiteral("VID:PID")});
    for (const QSerialPortInfo &info : infos) {
        const QString usb = info.hasVendorIdentifier()
                                ? id(true, info.vendorIdentifier()) + QLatin1Char(':')
                                      + text(id(info.hasProductIdentifier(), info.productIdentifier()))
                                : QString();
        rows.append({info.portName(), info.systemLocation(), text(info.description()), text(info.manufacturer()),
                     text(info.serialNumber()), text(usb)});
    }
    QList<int> widths(rows.first().size(), 0);
    for (const QStringList &row : rows)
        for (int c = 0; c < row.size(); ++c)
            widths[c] = qMax(widths[c], int(row.at(c).size()));
    for (const QStringList &row : rows) {
        QString line;
        for (int c = 0; c < row.size(); ++c)
            line += c + 1 < row.size() ? row.at(c).leftJustified(widths[c] + 2) : row.at(c);
        out << line << '\n';
    }
    return ExitOk;
}

// Port facts from QSerialPortInfo, and on Linux the udev by-id and by-path
// links that point at each port.
#include "portfacts.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

namespace {

QString hex4(quint16 value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0'));
}

} // namespace

QString linkInFolderTo(const QString &location, const QString &folder)
{
    const QString target = QFileInfo(location).canonicalFilePath();
    if (target.isEmpty())
        return QString();
    const QFileInfoList links =
        QDir(folder).entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &link : links) {
        if (link.isSymLink() && link.canonicalFilePath() == target)
            return link.absoluteFilePath();
    }
    return QString();
}

QList<PortFacts> availablePortFacts()
{
    QList<PortFacts> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        PortFacts port;
        port.name = info.portName();
        port.location = info.systemLocation();
#ifdef Q_OS_LINUX
        port.byId = linkInFolderTo(port.location, QStringLiteral("/dev/serial/by-id"));
        port.byPath = linkInFolderTo(port.location, QStringLiteral("/dev/serial/by-path"));
#endif
        port.description = info.description();
        port.manufacturer = info.manufacturer();
        port.serialNumber = info.serialNumber();
        port.hasVendorId = info.hasVendorIdentifier();
        port.vendorId = info.vendorIdentifier();
        port.hasProductId = info.hasProductIdentifier();
        port.productId = info.productIdentifier();
        ports.append(port);
    }
    return ports;
}

QString usbIdText(const PortFacts &port)
{
    if (!port.hasVendorId && !port.hasProductId)
        return QString();
    return (port.hasVendorId ? hex4(port.vendorId) : QStringLiteral("-")) + QLatin1Char(':')
           + (port.hasProductId ? hex4(port.productId) : QStringLiteral("-"));
}

QJsonObject portJson(const PortFacts &port)
{
    const auto optional = [](const QString &s) { return s.isEmpty() ? QJsonValue() : QJsonValue(s); };
    return QJsonObject{
        {QStringLiteral("name"), port.name},
        {QStringLiteral("location"), port.location},
        {QStringLiteral("byId"), optional(port.byId)},
        {QStringLiteral("byPath"), optional(port.byPath)},
        {QStringLiteral("description"), optional(port.description)},
        {QStringLiteral("manufacturer"), optional(port.manufacturer)},
        {QStringLiteral("serialNumber"), optional(port.serialNumber)},
        {QStringLiteral("vendorId"), port.hasVendorId ? QJsonValue(hex4(port.vendorId)) : QJsonValue()},
        {QStringLiteral("productId"), port.hasProductId ? QJsonValue(hex4(port.productId)) : QJsonValue()},
    };
}

// What the system knows of each serial port, gathered once for 'ports'. The
// udev links matter most: by-id names the board's USB adapter and by-path
// the USB socket it is plugged into, not the order things were plugged in,
// so a script or a bench's slots file can keep using them across replugs.
#ifndef HALVERO_CLI_PORTFACTS_H
#define HALVERO_CLI_PORTFACTS_H

#include <QJsonObject>
#include <QList>
#include <QString>

struct PortFacts
{
    QString name;     // "ttyACM0", "COM3"
    QString location; // "/dev/ttyACM0"
    QString byId;     // "/dev/serial/by-id/usb-…"; empty where there is none
    QString byPath;   // "/dev/serial/by-path/pci-…-usb-0:1.3:1.0"; empty where there is none
    QString description;
    QString manufacturer;
    QString serialNumber;
    bool hasVendorId = false;
    bool hasProductId = false;
    quint16 vendorId = 0;
    quint16 productId = 0;
};

QList<PortFacts> availablePortFacts();

// The link in `folder` whose target is the same file as `location`; empty
// when there is none.
QString linkInFolderTo(const QString &location, const QString &folder);

// "0483:5740" as lsusb writes it; "-" for a missing half; empty without USB.
QString usbIdText(const PortFacts &port);
// Missing facts are null, so every object has the same members.
QJsonObject portJson(const PortFacts &port);

#endif // HALVERO_CLI_PORTFACTS_H

// The port list of the connection row: the system's serial ports with
// their descriptions (in the popup and the tool tips), then the device
// paths a developer adds in HALVERO_EXTRA_PORTS (simulated boards on
// pseudo-terminals, which the system's enumeration does not report).
#ifndef HALVERO_PORTLIST_H
#define HALVERO_PORTLIST_H

#include <QList>
#include <QSerialPortInfo>
#include <QStringList>
#include <Qt>

QT_BEGIN_NAMESPACE
class QComboBox;
QT_END_NAMESPACE

namespace PortList {

// Item data of the port list: the system's description of the port.
inline constexpr int DescriptionRole = Qt::UserRole + 1;

// The names the list would show now, in its order.
QStringList namesNow();
// Fills `list` with the system's ports (as QSerialPortInfo::availablePorts
// gives them, which may have been asked on another thread: the system's
// enumeration takes milliseconds) and the added paths. The first added path
// is chosen, so that a simulated board started for a demo is what Connect
// opens.
void fill(QComboBox *list, const QList<QSerialPortInfo> &ports);
// Chooses the item named `name`, when the list has one.
void choose(QComboBox *list, const QString &name);
// The popup shows each port's description after its name and is made wide
// enough for it; the closed list shows the name alone, which Connect opens.
void describeInPopup(QComboBox *list);
// The closed list shows a name too long for it with its middle left out
// (the start says the kind of port, the end which one), and the chosen
// port's whole name and facts in its tool tip.
void elideInMiddle(QComboBox *list);
// The text the closed list shows for its current port.
QString shownText(const QComboBox *list);
// Whether a device is there to open, without opening it.
bool isThere(const QString &port);

} // namespace PortList

#endif // HALVERO_PORTLIST_H

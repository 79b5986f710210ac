// What the soak and unplug tests see of the main window: its private tick and
// form, the connection state as the operator and the globals show it, the
// operator's connect/disconnect and modal answers, and the process's own
// memory and CPU figures.
#ifndef WINDOWPROBE_H
#define WINDOWPROBE_H

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

#include "Halvero_configurator.h"

class Ui_Halvero_configurator;

// The window declares this friend so that tests can reach its internals.
struct HalveroTestAccess
{
    static Ui_Halvero_configurator *ui(Halvero_configurator &w) { return w.ui; }
    static void tick(Halvero_configurator &w) { w.onScanTimeout(); }
};

namespace Probe {

enum class Connection { Start, PortNotOpened, IdentificationFailed, IdentifiedNoPage, Polling, Disconnected, Lost };

// One line describing what the window, the device object, the port and the
// timer show right now, in the same words as expectedState().
QString describeState(Halvero_configurator &w);
// The line describeState() must give in a connection state; page is the
// object name of the board's page (Polling only).
QString expectedState(Connection state, const QString &page = QString());
bool portOpen();

// The operator re-lists the ports with the device path added, picks it and
// presses Connect (the window reads the extra paths from its environment).
void connectTo(Halvero_configurator &w, const QString &devicePath);
void disconnect(Halvero_configurator &w);

// Answers every Set defaults question that opens while it lives, from the
// nested event loop that runs the box. The answer is asked for each box.
class ModalAnswerer : public QObject
{
public:
    explicit ModalAnswerer(std::function<bool()> answerYes);
    int answered() const { return m_answered; }

private:
    void poll();

    std::function<bool()> m_answerYes;
    QTimer m_timer;
    int m_answered = 0;
};

// Resident set of the process (VmRSS), in bytes; -1 if unknown.
qint64 residentBytes();
// User plus system CPU time of the whole process so far, in microseconds.
qint64 cpuMicros();
// Address sanitizer's quarantine holds freed memory back, so resident
// figures mean nothing in such a build.
bool memoryIsInstrumented();

} // namespace Probe

#endif // WINDOWPROBE_H

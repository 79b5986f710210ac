// What the window tests see of the main window: its form and tick handler,
// the connection state as the operator, the device object, the port and the
// poll timer show it, the operator's Connect, an operator who answers its
// message boxes and other dialogs, and the process's own memory and CPU
// figures.
#ifndef HALVERO_WINDOWPROBE_H
#define HALVERO_WINDOWPROBE_H

#include <QMessageBox>
#include <QMetaType>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

#include "Halvero_configurator.h"
#include "testaccess.h"

namespace Probe {

// Lost: the connection went and the window waits for Connect; Reconnecting:
// it went and the window tries the same port by itself (Disconnect stops it).
enum class Connection {
    Start,
    PortNotOpened,
    IdentificationFailed,
    IdentifiedNoPage,
    Polling,
    Disconnected,
    Lost,
    Reconnecting
};

// Object name of the page the window shows for the product's family.
QString pageOf(int productCode);

// One line describing what the window, the device object, the port and the
// timer show right now, in the same words as expectedState().
QString describeState(Halvero_configurator &w);
// The line describeState() must give in a connection state; productCode
// picks the board's page (Polling, and the page a lost board keeps).
QString expectedState(Connection state, int productCode = 0);

// The operator re-lists the ports with the device path added, picks it and
// presses Connect (the window reads the extra paths from its environment).
void connectTo(Halvero_configurator &w, const QString &devicePath);

// Answers every modal message box that opens while it lives, from the
// nested event loop that runs the box, and records what the last one showed.
// The answer is either fixed or decided box by box; an action given to it
// runs once the box is up, just before the answer.
class MessageBoxAnswerer
{
public:
    enum Answer {
        Yes,
        No,
        Escape
    };

    struct Seen
    {
        bool shown = false;
        bool hasParent = false;
        QString text;
        QString title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        bool stuck = false; // the answer did not close it; closed by force
    };
    using Decision = std::function<Answer(const Seen &)>;

    explicit MessageBoxAnswerer(Answer answer, std::function<void()> beforeAnswer = {});
    explicit MessageBoxAnswerer(Decision decide, std::function<void()> beforeAnswer = {});
    MessageBoxAnswerer(const MessageBoxAnswerer &) = delete;
    MessageBoxAnswerer &operator=(const MessageBoxAnswerer &) = delete;

    const Seen &seen() const { return m_seen; } // the last box answered
    int answered() const { return m_answered; }
    int stuck() const { return m_stuck; }

private:
    void poll();

    Decision m_decide;
    std::function<void()> m_beforeAnswer;
    Seen m_seen;
    QTimer m_timer;
    QPointer<QMessageBox> m_answeredBox;
    int m_pollsSinceAnswer = 0;
    int m_answered = 0;
    int m_stuck = 0;
};

// Handles every modal dialog other than a message box that opens while it
// lives (a file dialog, the load-file differences), from the nested event
// loop that runs it: the handler gets the dialog and closes it, by accepting
// or rejecting. Dialogs handled are listed by object name.
class DialogHandler
{
public:
    explicit DialogHandler(std::function<void(QDialog *)> handle);
    DialogHandler(const DialogHandler &) = delete;
    DialogHandler &operator=(const DialogHandler &) = delete;

    const QStringList &handled() const { return m_handled; }

    // A handler step for a file dialog: picks `path` and accepts.
    static void pickFile(QDialog *dialog, const QString &path);

private:
    std::function<void(QDialog *)> m_handle;
    QTimer m_timer;
    QPointer<QDialog> m_last;
    QStringList m_handled;
};

// The offscreen platform warns about every fixed-size window it shows and
// every window raised (the main window, each dialog); that says nothing
// about the window. Drops those warnings for the rest of the test run.
void dropOffscreenNoise();

// Resident set of the process (VmRSS), in bytes; -1 if unknown.
qint64 residentBytes();
// User plus system CPU time of the whole process so far, in microseconds.
qint64 cpuMicros();
// Address sanitizer's quarantine holds freed memory back, so resident
// figures mean nothing in such a build.
bool memoryIsInstrumented();

} // namespace Probe

Q_DECLARE_METATYPE(Probe::Connection)

#endif // HALVERO_WINDOWPROBE_H

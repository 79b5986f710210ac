// The connection row as the operator sees it: the state field beside
// Connect, Connect and Disconnect, and the System properties group below.
// The row has one state, and show() is the one place that sets what each
// state enables.
#ifndef HALVERO_CONNECTIONROW_H
#define HALVERO_CONNECTIONROW_H

#include <QCoreApplication>
#include <QString>

QT_BEGIN_NAMESPACE
class QLineEdit;
class QPushButton;
class QWidget;
QT_END_NAMESPACE

class ConnectionRow
{
    Q_DECLARE_TR_FUNCTIONS(ConnectionRow)

public:
    enum class State {
        Start,         // as the form starts: nothing tried yet
        NotConnected,  // no port open (never opened, refused, or Disconnect)
        Connecting,    // Connect is under way
        NotIdentified, // the port opened but no board identified itself
        Connected,     // a board answers (its page may still be missing)
        Lost,          // the connection went; Connect tries again
        Reconnecting,  // the connection went; the window tries by itself, Disconnect stops it
    };

    ConnectionRow(QLineEdit *stateField, QPushButton *connect, QPushButton *disconnect, QWidget *systemGroup);

    void show(State state);
    State state() const { return m_state; }
    // The text the state field shows in `state` (empty at start).
    static QString text(State state);

private:
    QLineEdit *m_field;
    QPushButton *m_connect;
    QPushButton *m_disconnect;
    QWidget *m_group;
    State m_state = State::Start;
};

#endif // HALVERO_CONNECTIONROW_H

// The connection row's states and what each one enables.
#include "connectionrow.h"

#include <QLineEdit>
#include <QPushButton>

ConnectionRow::ConnectionRow(QLineEdit *stateField, QPushButton *connect, QPushButton *disconnect, QWidget *systemGroup)
    : m_field(stateField)
    , m_connect(connect)
    , m_disconnect(disconnect)
    , m_group(systemGroup)
{}

QString ConnectionRow::text(State state)
{
    switch (state) {
    case State::Start:
    case State::Connecting:
        return QString();
    case State::NotConnected:
        return tr("Not connected");
    case State::NotIdentified:
        return tr("Not identified");
    case State::Connected:
        return tr("Connected");
    case State::Lost:
    case State::Reconnecting:
        return tr("Connection lost");
    }
    return QString();
}

void ConnectionRow::show(State state)
{
    struct Enabled
    {
        bool connect, disconnect, group;
    };
    Enabled enabled{true, false, false};
    switch (state) {
    case State::Start:
    case State::NotConnected:
    case State::Lost:
        break;
    case State::Connecting:
        // Connect blocks the window while it identifies the board; neither
        // button may be pressed again meanwhile.
        enabled = {false, false, false};
        break;
    case State::NotIdentified:
        // A port that opened is left with Disconnect.
        enabled = {false, true, false};
        break;
    case State::Connected:
        enabled = {false, true, true};
        break;
    case State::Reconnecting:
        // Disconnect is how the operator stops the attempts; Connect would
        // race them for the port.
        enabled = {false, true, false};
        break;
    }
    m_state = state;
    // Connecting keeps what the field said, so that the row does not flicker
    // to nothing for the moment the board takes to answer.
    if (state != State::Connecting && state != State::Start)
        m_field->setText(text(state));
    m_connect->setEnabled(enabled.connect);
    m_disconnect->setEnabled(enabled.disconnect);
    m_group->setEnabled(enabled.group);
}

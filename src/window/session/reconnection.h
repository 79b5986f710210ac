// What spares the operator clicks around the connection: the port and rate
// that last connected are remembered for the next start, the port list is
// told when ports come and go while nothing is connected, and a lost board
// is tried again every second on the same port until it is back or the
// operator stops it. The ports present are asked through two functions, so
// that a test can play the system's port list.
#ifndef HALVERO_RECONNECTION_H
#define HALVERO_RECONNECTION_H

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTime>
#include <functional>

QT_BEGIN_NAMESPACE
class QComboBox;
class QTimer;
QT_END_NAMESPACE

class Reconnection : public QObject
{
    Q_OBJECT

public:
    using PortNames = std::function<QStringList()>;
    using PortPresent = std::function<bool(const QString &)>;

    explicit Reconnection(QObject *parent = nullptr, PortNames names = {}, PortPresent present = {});

    // Remembered from the last board that answered.
    QString rememberedPort() const;
    QString rememberedBaud() const;
    void remember(const QString &port, int baud);
    // Chooses the remembered port and rate in the connection row's lists.
    void chooseRemembered(QComboBox *ports, QComboBox *bauds) const;

    bool automatic() const { return m_automatic; }
    // Kept for the next start; switched off while trying, the attempts stop
    // and stopped() says so.
    void setAutomatic(bool on);

    // Starts trying `port` again, when automatic; true when it does.
    bool start(const QString &port, int baud, const QTime &lostAt);
    void stop();
    bool active() const;
    QString port() const { return m_port; }
    int baud() const { return m_baud; }
    QTime lostAt() const { return m_lostAt; }

    // Follows the system's ports (while nothing is connected).
    void watchPorts(bool on);
    // What the port list shows now.
    void setShownPorts(const QStringList &names) { m_shown = names; }

public slots:
    // One attempt, as the timer makes them.
    void attempt();
    void checkPorts();

signals:
    // The port is there: `trying` says which attempt this is.
    void attemptDue(const QString &port, int baud, const QString &trying);
    // The port is not there (yet): the sentence says so.
    void waiting(const QString &sentence);
    // The automatic attempts were switched off while trying.
    void stopped(const QString &sentence);
    // The system's ports differ from the ones shown.
    void portsChanged();

private:
    PortNames m_names;
    PortPresent m_present;
    QTimer *m_retry;
    QTimer *m_rescan;
    bool m_automatic = true;
    QString m_port;
    int m_baud = 0;
    int m_attempt = 0;
    QTime m_lostAt;
    QStringList m_shown;
};

#endif // HALVERO_RECONNECTION_H

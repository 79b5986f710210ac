// Connection-state readout, operator stand-ins and process figures shared by
// the soak and unplug tests.
#include "windowprobe.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <sys/resource.h>

#include "ui_Halvero_configurator.h"

namespace Probe {

namespace {

const char *onOff(bool on)
{
    return on ? "on" : "off";
}

QString line(const QString &text, bool connect, bool disconnect, bool group, const QString &tabs,
             const QString &device, const QString &port, const QString &timer)
{
    return QStringLiteral("line=\"%1\" connect=%2 disconnect=%3 group=%4 tabs=[%5] device=%6 port=%7 timer=%8")
        .arg(text, onOff(connect), onOff(disconnect), onOff(group), tabs, device, port, timer);
}

} // namespace

bool portOpen()
{
    return serialPort.isOpen();
}

QString describeState(Halvero_configurator &w)
{
    Ui_Halvero_configurator *ui = HalveroTestAccess::ui(w);
    QStringList tabs;
    for (int i = 0; i < ui->tab_all->count(); ++i)
        tabs << ui->tab_all->widget(i)->objectName();
    QString device = QStringLiteral("none");
    if (radioDevice)
        device = radioDevice->isConnected() ? QStringLiteral("open") : QStringLiteral("unopened");
    const QString timer = scanTimer->isActive() ? QStringLiteral("%1ms").arg(scanTimer->interval())
                                                : QStringLiteral("stopped");
    return line(ui->line_connect->text(), ui->btnSerialConnect->isEnabled(),
                ui->btnSerialDisconnect->isEnabled(), ui->group_system->isEnabled(),
                tabs.join(QLatin1Char('|')), device, portOpen() ? "open" : "closed", timer);
}

QString expectedState(Connection state, const QString &page)
{
    switch (state) {
    case Connection::Start:
        return line(QString(), true, false, false, QString(), "none", "closed", "stopped");
    case Connection::PortNotOpened:
        return line("Not connected", true, false, false, QString(), "unopened", "closed", "stopped");
    case Connection::IdentificationFailed:
        return line("Not identified", false, true, false, QString(), "none", "closed", "stopped");
    case Connection::IdentifiedNoPage:
        return line("Connected", false, true, true, QString(), "open", "open", "stopped");
    case Connection::Polling:
        return line("Connected", false, true, true, page + "|tab_all_internal", "open", "open", "300ms");
    case Connection::Disconnected:
        return line("Not connected", true, false, false, QString(), "none", "closed", "stopped");
    case Connection::Lost:
        return line("Connection lost", true, false, false, QString(), "none", "closed", "stopped");
    }
    return QString();
}

void connectTo(Halvero_configurator &w, const QString &devicePath)
{
    Ui_Halvero_configurator *ui = HalveroTestAccess::ui(w);
    qputenv("HALVERO_EXTRA_PORTS", QFile::encodeName(devicePath));
    ui->btnRefreshSerialPorts->click();
    ui->serialList->setCurrentIndex(ui->serialList->findText(devicePath));
    ui->btnSerialConnect->click();
}

void disconnect(Halvero_configurator &w)
{
    HalveroTestAccess::ui(w)->btnSerialDisconnect->click();
}

ModalAnswerer::ModalAnswerer(std::function<bool()> answerYes)
    : m_answerYes(std::move(answerYes))
{
    m_timer.setInterval(5);
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    m_timer.start();
}

void ModalAnswerer::poll()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    const QMessageBox::StandardButton which = m_answerYes() ? QMessageBox::Yes : QMessageBox::No;
    if (QAbstractButton *button = box->button(which))
        button->click();
    else
        box->done(QMessageBox::No); // never leave the test stuck in the box
    ++m_answered;
}

qint64 residentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &entry : status.readAll().split('\n')) {
        if (!entry.startsWith("VmRSS:"))
            continue;
        const QList<QByteArray> parts = entry.simplified().split(' ');
        if (parts.size() >= 2)
            return parts.at(1).toLongLong() * 1024; // the kernel reports kB
    }
    return -1;
}

qint64 cpuMicros()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto micros = [](const timeval &t) { return qint64(t.tv_sec) * 1000000 + t.tv_usec; };
    return micros(usage.ru_utime) + micros(usage.ru_stime);
}

bool memoryIsInstrumented()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

} // namespace Probe

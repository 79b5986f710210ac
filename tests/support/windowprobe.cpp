// Connection-state readout, operator stand-ins and process figures shared by
// the window, soak and unplug tests.
#include "windowprobe.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <sys/resource.h>

#include "boardfamilies.h"
#include "familyform.h"
#include "ui_Halvero_configurator.h"

namespace Probe {

namespace {

QtMessageHandler previousHandler = nullptr;

void quietOffscreen(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg
        && (message.contains(QLatin1String("does not support propagateSizeHints"))
            || message.contains(QLatin1String("does not support raise"))))
        return;
    previousHandler(type, context, message);
}

QString tab(const QString &page, const QString &title)
{
    return QStringLiteral("%1 \"%2\"").arg(page, title);
}

const char *onOff(bool on)
{
    return on ? "on" : "off";
}

QString line(const QString &text, bool connect, bool disconnect, bool group, const QString &tabs, const QString &device,
             const QString &port, const QString &timer)
{
    return QStringLiteral("line=\"%1\" connect=%2 disconnect=%3 group=%4 tabs=[%5] device=%6 port=%7 timer=%8")
        .arg(text, onOff(connect), onOff(disconnect), onOff(group), tabs, device, port, timer);
}

// The tabs of a board's pages, each with `mark` after it.
QString pages(int productCode, const char *mark)
{
    const BoardFamily family = Protocol::familyOfProductCode(uint16_t(productCode));
    return tab(FamilyForm::pageName(family), FamilyForm::pageTitle(family)) + QLatin1String(mark) + QLatin1Char('|')
           + tab(QStringLiteral("tab_all_internal"), QStringLiteral("Internal")) + QLatin1String(mark);
}

} // namespace

QString pageOf(int productCode)
{
    return FamilyForm::pageName(Protocol::familyOfProductCode(uint16_t(productCode)));
}

QString describeState(Halvero_configurator &w)
{
    Ui_Halvero_configurator *ui = HalveroTestAccess::ui(w);
    QStringList tabs;
    for (int i = 0; i < ui->tab_all->count(); ++i)
        tabs << tab(ui->tab_all->widget(i)->objectName(), ui->tab_all->tabText(i))
                    + (ui->tab_all->widget(i)->isEnabled() ? QString() : QStringLiteral(" greyed"));
    QString device = QStringLiteral("none");
    if (radioDevice)
        device = radioDevice->isConnected() ? QStringLiteral("open") : QStringLiteral("unopened");
    const QString timer =
        scanTimer->isActive() ? QStringLiteral("%1ms").arg(scanTimer->interval()) : QStringLiteral("stopped");
    return line(ui->line_connect->text(), ui->btnSerialConnect->isEnabled(), ui->btnSerialDisconnect->isEnabled(),
                ui->group_system->isEnabled(), tabs.join(QLatin1Char('|')), device,
                serialPort.isOpen() ? "open" : "closed", timer);
}

QString expectedState(Connection state, int productCode)
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
        return line("Connected", false, true, true, pages(productCode, ""), "open", "open", "300ms");
    case Connection::Disconnected:
        return line("Not connected", true, false, false, QString(), "none", "closed", "stopped");
    // A lost board's page stays in view, greyed, until it is back or let go.
    case Connection::Lost:
        return line("Connection lost", true, false, false, pages(productCode, " greyed"), "none", "closed", "stopped");
    case Connection::Reconnecting:
        return line("Connection lost", false, true, false, pages(productCode, " greyed"), "none", "closed", "stopped");
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

MessageBoxAnswerer::MessageBoxAnswerer(Answer answer, std::function<void()> beforeAnswer)
    : MessageBoxAnswerer(Decision([answer](const Seen &) { return answer; }), std::move(beforeAnswer))
{}

MessageBoxAnswerer::MessageBoxAnswerer(Decision decide, std::function<void()> beforeAnswer)
    : m_decide(std::move(decide))
    , m_beforeAnswer(std::move(beforeAnswer))
{
    m_timer.setInterval(10);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
    m_timer.start();
}

void MessageBoxAnswerer::poll()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (m_answeredBox) {
        if (box != m_answeredBox || !box->isVisible()) {
            m_answeredBox = nullptr;
        } else if (++m_pollsSinceAnswer > 100) {
            // The answer did not close the box: close it anyway so that the
            // test fails instead of hanging in the nested event loop.
            m_seen.stuck = true;
            ++m_stuck;
            m_answeredBox = nullptr;
            box->done(0);
        }
        return;
    }
    if (!box || !box->isVisible())
        return;

    m_seen = Seen();
    m_seen.shown = true;
    m_seen.hasParent = box->parentWidget() != nullptr;
    m_seen.text = box->text();
    m_seen.title = box->windowTitle();
    m_seen.icon = box->icon();
    m_seen.buttons = box->standardButtons();
    m_seen.defaultButton = box->defaultButton() ? box->standardButton(box->defaultButton()) : QMessageBox::NoButton;
    if (m_beforeAnswer) {
        const QPointer<QMessageBox> open(box);
        m_beforeAnswer();
        if (!open)
            return;
    }
    const Answer answer = m_decide(m_seen);
    m_answeredBox = box;
    m_pollsSinceAnswer = 0;
    ++m_answered;

    switch (answer) {
    case Yes:
    case No:
        if (QAbstractButton *b = box->button(answer == Yes ? QMessageBox::Yes : QMessageBox::No))
            b->click();
        break;
    case Escape:
        QTest::keyClick(box, Qt::Key_Escape);
        break;
    }
}

DialogHandler::DialogHandler(std::function<void(QDialog *)> handle)
    : m_handle(std::move(handle))
{
    m_timer.setInterval(10);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || qobject_cast<QMessageBox *>(dialog) || dialog == m_last || !dialog->isVisible())
            return;
        m_last = dialog;
        m_handled << dialog->objectName();
        m_handle(dialog);
    });
    m_timer.start();
}

void DialogHandler::pickFile(QDialog *dialog, const QString &path)
{
    // Typed, as an operator would: QFileDialog::selectFile() leaves the
    // name field alone while it has the focus.
    auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    QVERIFY2(qobject_cast<QFileDialog *>(dialog) && name,
             qPrintable(dialog->objectName() + QStringLiteral(" is no file dialog with a name field")));
    name->setText(path);
    dialog->accept();
}

void dropOffscreenNoise()
{
    previousHandler = qInstallMessageHandler(quietOffscreen);
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

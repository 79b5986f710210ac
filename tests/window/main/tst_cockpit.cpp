// The cockpit around the form, end to end against simulated boards: a board
// pulled and plugged back is connected again, the port and rate are
// remembered, unsaved edits are marked and asked about, configuration files
// go out and come back as edits, and the live status is recorded.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QtEndian>

#include <atomic>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Halvero_configurator.h"
#include "boardconfig.h"
#include "boards.h"
#include "confighistory.h"
#include "liveplot.h"
#include "recordtext.h"
#include "simulatedboard.h"
#include "statusrecorder.h"
#include "ui_Halvero_configurator.h"
#include "windowfixture.h"
#include "windowprobe.h"

using Probe::Connection;
using Probe::DialogHandler;
using Probe::MessageBoxAnswerer;

namespace {

QSpinBox *highSpin(Ui_Halvero_configurator *ui, int productCode)
{
    return productCode == 0x04F2 ? ui->spin_04F2_trig_high : ui->spin_08A3_trig_high;
}

} // namespace

class tst_Cockpit : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void reconnectsAfterReplug_data();
    void reconnectsAfterReplug();
    void remembersPortAndBaud();
    void asksBeforeDiscardingEdits_data();
    void asksBeforeDiscardingEdits();
    void marksEditsUntilTheBoardHoldsThem_data();
    void marksEditsUntilTheBoardHoldsThem();
    void unfinishedSaveStaysInSight_data();
    void unfinishedSaveStaysInSight();
    void configFileComesBackAsEdits_data();
    void configFileComesBackAsEdits();
    void endlessFileNeverHoldsTheWindow_data();
    void endlessFileNeverHoldsTheWindow();
    void setDefaultsLostWithTheCable_data();
    void setDefaultsLostWithTheCable();
    void recordsStatusAndPlotsIt_data();
    void recordsStatusAndPlotsIt();

private:
    // A board of this product on a link in the test's folder, the window
    // connected to it and polling with the timer held; what went wrong, if
    // anything.
    QString connectBoard(int productCode);
    void tick(int count = 1);
    QAction *action(const char *name) const { return m_window->findChild<QAction *>(QLatin1String(name)); }
    QString status() const { return ui->statusbar->currentMessage(); }

    QTemporaryDir m_dir;
    std::unique_ptr<SimulatedBoard> m_board;
    std::unique_ptr<Halvero_configurator> m_window;
    Ui_Halvero_configurator *ui = nullptr;
    QString m_link;
};

void tst_Cockpit::initTestCase()
{
    Probe::dropOffscreenNoise();
    QVERIFY(m_dir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.filePath(QStringLiteral("settings")));
    m_link = m_dir.filePath(QStringLiteral("ttyHALVERO"));
}

void tst_Cockpit::init()
{
    QSettings(QStringLiteral("Halvero"), QStringLiteral("halvero-configurator")).clear();
    // Each test reads the history its own writes left, not an earlier run's.
    QFile::remove(ConfigHistory::defaultPath());
}

void tst_Cockpit::cleanup()
{
    m_window.reset();
    ui = nullptr;
    m_board.reset();
    WindowFixture::resetGlobals();
    qunsetenv("HALVERO_EXTRA_PORTS");
}

QString tst_Cockpit::connectBoard(int productCode)
{
    m_board = std::make_unique<SimulatedBoard>(TestSupport::identityOf(productCode));
    if (!m_board->start() || !m_board->createLink(m_link))
        return QStringLiteral("the board did not start on %1").arg(m_link);
    m_window = std::make_unique<Halvero_configurator>();
    ui = HalveroTestAccess::ui(*m_window);
    m_window->show();
    Probe::connectTo(*m_window, m_link);
    const QString state = Probe::describeState(*m_window);
    scanTimer->stop();
    m_board->clearRequests();
    return state == Probe::expectedState(Connection::Polling, productCode) ? QString() : state;
}

void tst_Cockpit::tick(int count)
{
    WindowFixture::tick(*m_window, count);
}

void tst_Cockpit::reconnectsAfterReplug_data()
{
    QTest::addColumn<QString>("operatorDoes"); // while the board is out
    QTest::addColumn<Connection>("whileOut");
    QTest::addColumn<bool>("reconnects");
    QTest::newRow("nothing") << "nothing" << Connection::Reconnecting << true;
    QTest::newRow("Disconnect") << "disconnect" << Connection::Disconnected << false;
    QTest::newRow("turns automatic reconnection off") << "auto off" << Connection::Lost << false;
}

void tst_Cockpit::reconnectsAfterReplug()
{
    QFETCH(QString, operatorDoes);
    QFETCH(Connection, whileOut);
    QFETCH(bool, reconnects);
    QCOMPARE(connectBoard(0x08A3), QString());
    ui->spin_08A3_val_ch3->setValue(1234); // an edit not yet saved
    scanTimer->start(Protocol::pollIntervalMs);

    BoardFaults pull;
    pull.unplugAfter = 1;
    m_board->setFaults(pull);
    QTRY_VERIFY_WITH_TIMEOUT(!m_board->isRunning(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(Probe::describeState(*m_window), Probe::expectedState(Connection::Reconnecting, 0x08A3),
                              3000);
    // The page stays in view, greyed: the edit still in it and marked, the
    // reason in full above it.
    QCOMPARE(ui->spin_08A3_val_ch3->value(), 1234);
    QVERIFY(ui->spin_08A3_val_ch3->font().bold());
    QVERIFY(m_window->isWindowModified());
    const auto *notice = m_window->findChild<QLabel *>(QStringLiteral("label_notice"));
    QVERIFY(notice && notice->isVisibleTo(m_window.get()));
    QVERIFY2(notice->text().startsWith(QStringLiteral("Connection lost at ")), qPrintable(notice->text()));
    if (operatorDoes == QLatin1String("disconnect")) {
        MessageBoxAnswerer discard{MessageBoxAnswerer::Yes};
        ui->btnSerialDisconnect->click();
    } else if (operatorDoes == QLatin1String("auto off")) {
        action("actionAutoReconnect")->setChecked(false);
    }
    QCOMPARE(Probe::describeState(*m_window), Probe::expectedState(whileOut, 0x08A3));
    QTest::qWait(1200); // a second or so with the board away

    m_board->clearRequests();
    m_board->setFaults(BoardFaults());
    m_board->replug();
    if (!reconnects) {
        QTest::qWait(2500);
        QCOMPARE(m_board->requests(), QList<QByteArray>());
        QCOMPARE(Probe::describeState(*m_window), Probe::expectedState(whileOut, 0x08A3));
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(Probe::describeState(*m_window), Probe::expectedState(Connection::Polling, 0x08A3), 4000);
    QCOMPARE(m_board->requests().mid(0, 2), (QList<QByteArray>{QByteArray("\x01"), QByteArray("\x02")}));
    QVERIFY2(status().startsWith(QStringLiteral("Reconnected to the 08A3 board on %1.").arg(m_link)),
             qPrintable(status()));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Halvero software — 08A3 on %1[*]").arg(m_link));
    // The same board is back: so is the edit, still unsaved, on a live page.
    QCOMPARE(ui->spin_08A3_val_ch3->value(), 1234);
    QVERIFY(m_window->isWindowModified());
    QVERIFY(!notice->isVisibleTo(m_window.get()));
}

void tst_Cockpit::remembersPortAndBaud()
{
    m_board = std::make_unique<SimulatedBoard>(TestSupport::identityOf(0x04F2));
    QVERIFY(m_board->start());
    const QString other = m_dir.filePath(QStringLiteral("ttyOTHER"));
    qputenv("HALVERO_EXTRA_PORTS", QFile::encodeName(other + QLatin1Char(':') + m_board->devicePath()));
    for (int run = 0; run < 3; ++run) {
        m_window = std::make_unique<Halvero_configurator>();
        ui = HalveroTestAccess::ui(*m_window);
        if (run == 0) {
            // A fresh start picks the first added port and the default rate.
            QCOMPARE(ui->serialList->currentText(), other);
            QCOMPARE(ui->serialBauds->currentText(), QStringLiteral("9600"));
            QVERIFY(action("actionAutoReconnect")->isChecked());
            ui->serialBauds->setCurrentText(QStringLiteral("57600"));
            ui->serialList->setCurrentText(m_board->devicePath());
            ui->btnSerialConnect->click();
            action("actionAutoReconnect")->setChecked(false);
        } else if (run == 1) {
            QCOMPARE(ui->serialList->currentText(), m_board->devicePath());
            QCOMPARE(ui->serialBauds->currentText(), QStringLiteral("57600"));
            QVERIFY(!action("actionAutoReconnect")->isChecked());
            // A port that did not connect is not remembered.
            ui->serialList->setCurrentText(other);
            ui->btnSerialConnect->click();
        } else {
            QCOMPARE(ui->serialList->currentText(), m_board->devicePath());
        }
        m_window.reset();
        scanTimer->stop();
    }
}

void tst_Cockpit::asksBeforeDiscardingEdits_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("edited");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("question");
    const QString read = QStringLiteral("Read the board's configuration and discard them?");
    const QString disconnect = QStringLiteral("Disconnect and discard them?");
    const QString close = QStringLiteral("Close the configurator and discard them?");
    QTest::newRow("Read CONF, Yes") << "read" << true << int(MessageBoxAnswerer::Yes) << read;
    QTest::newRow("Read CONF, No") << "read" << true << int(MessageBoxAnswerer::No) << read;
    QTest::newRow("Read CONF without edits") << "read" << false << int(MessageBoxAnswerer::No) << QString();
    QTest::newRow("Disconnect, Yes") << "disconnect" << true << int(MessageBoxAnswerer::Yes) << disconnect;
    QTest::newRow("Disconnect, No") << "disconnect" << true << int(MessageBoxAnswerer::No) << disconnect;
    QTest::newRow("close, Yes") << "close" << true << int(MessageBoxAnswerer::Yes) << close;
    QTest::newRow("close, No") << "close" << true << int(MessageBoxAnswerer::No) << close;
}

void tst_Cockpit::asksBeforeDiscardingEdits()
{
    QFETCH(QString, command);
    QFETCH(bool, edited);
    QFETCH(int, answer);
    QFETCH(QString, question);
    QCOMPARE(connectBoard(0x08A3), QString());
    const int stored = ui->spin_08A3_val_ch3->value();
    if (edited)
        ui->spin_08A3_val_ch3->setValue(stored + 7);

    MessageBoxAnswerer operatorAnswer{MessageBoxAnswerer::Answer(answer)};
    if (command == QLatin1String("read"))
        action("actionReadConf")->trigger();
    else if (command == QLatin1String("disconnect"))
        ui->btnSerialDisconnect->click();
    else
        m_window->close();
    const MessageBoxAnswerer::Seen &box = operatorAnswer.seen();
    QCOMPARE(box.shown, edited);
    if (edited) {
        QCOMPARE(box.text,
                 QStringLiteral("The page holds edits not saved to the board: channel 3 failsafe. ") + question);
        QCOMPARE(box.defaultButton, QMessageBox::No);
    }

    const bool goesOn = !edited || answer == MessageBoxAnswerer::Yes;
    if (command == QLatin1String("read")) {
        QCOMPARE(commandQueue.size(), goesOn ? 1 : 0);
        tick();
        QCOMPARE(m_board->requests().first(), QByteArray(goesOn ? "\x02" : "\x04"));
        QCOMPARE(ui->spin_08A3_val_ch3->value(), goesOn ? stored : stored + 7);
    } else if (command == QLatin1String("disconnect")) {
        QCOMPARE(ui->line_connect->text(), goesOn ? QStringLiteral("Not connected") : QStringLiteral("Connected"));
        QCOMPARE(radioDevice != nullptr, !goesOn);
    } else {
        QCOMPARE(m_window->isVisible(), !goesOn);
        return;
    }
    QCOMPARE(m_window->isWindowModified(), !goesOn);
}

void tst_Cockpit::marksEditsUntilTheBoardHoldsThem_data()
{
    QTest::addColumn<int>("productCode");
    QTest::newRow("08A3") << 0x08A3;
    QTest::newRow("04F2") << 0x04F2;
}

void tst_Cockpit::marksEditsUntilTheBoardHoldsThem()
{
    QFETCH(int, productCode);
    QCOMPARE(connectBoard(productCode), QString());
    QSpinBox *high = highSpin(ui, productCode);
    QCheckBox *activeLow = productCode == 0x04F2 ? ui->check_04F2_active_low : ui->check_08A3_active_low;
    const int stored = high->value();
    const auto marked = [](QWidget *w) { return w->property("unsavedEdit").toBool(); };
    QVERIFY(!m_window->isWindowModified() && !marked(high));

    high->setValue(stored + 50);
    QTRY_VERIFY(m_window->isWindowModified());
    QVERIFY(marked(high));
    QVERIFY(high->font().bold());
    QVERIFY2(high->toolTip().startsWith(QStringLiteral("The board holds %1.").arg(stored)),
             qPrintable(high->toolTip()));
    QVERIFY(!marked(activeLow));
    // Back to the board's value: nothing to save.
    high->setValue(stored);
    QTRY_VERIFY(!m_window->isWindowModified() && !marked(high) && !high->font().bold());

    high->setValue(stored + 50);
    activeLow->toggle();
    QTRY_VERIFY(marked(activeLow));
    action("actionSaveConf")->trigger();
    for (int i = 0; i < 10 && !commandQueue.isEmpty(); ++i)
        tick();
    QVERIFY2(status().startsWith(QStringLiteral("Configuration saved")), qPrintable(status()));
    QVERIFY(!m_window->isWindowModified());
    QVERIFY(!marked(high) && !marked(activeLow));
    // The mark gives back the field's own tool tip.
    QCOMPARE(high->toolTip(), QStringLiteral("Trigger High: 900 to 2100 µs."));

    // The history window lists the write as one row, newest first, with
    // what it changed and how it ended; the entries behind it (after,
    // intent, before) on demand, and the one from before it goes back in
    // the page as an edit.
    action("actionHistory")->trigger();
    auto *table = m_window->findChild<QTableWidget *>(QStringLiteral("table_history"));
    QVERIFY(table && table->rowCount() >= 1);
    QCOMPARE(table->columnCount(), 7);
    QCOMPARE(table->item(0, 3)->text(), QStringLiteral("Save CONF"));
    QCOMPARE(table->item(0, 5)->text(), QStringLiteral("trigger active low: %1, trigger High: %2 → %3")
                                            .arg(activeLow->isChecked() ? "no → yes" : "yes → no")
                                            .arg(stored)
                                            .arg(stored + 50));
    QCOMPARE(table->item(0, 6)->text(), QStringLiteral("held"));
    m_window->findChild<QCheckBox *>(QStringLiteral("check_history_entries"))->setChecked(true);
    QVERIFY(table->rowCount() >= 3);
    QCOMPARE(table->item(0, 5)->text(), QStringLiteral("after"));
    QCOMPARE(table->item(2, 5)->text(), QStringLiteral("before"));
    table->selectRow(2);
    m_window->findChild<QPushButton *>(QStringLiteral("btn_history_to_page"))->click();
    QCOMPARE(high->value(), stored);
    QTRY_VERIFY(marked(high) && m_window->isWindowModified());
}

void tst_Cockpit::unfinishedSaveStaysInSight_data()
{
    QTest::addColumn<bool>("boardKeepsItsValues"); // else it does not answer
    QTest::addColumn<QString>("notice");
    QTest::newRow("board keeps its values")
        << true << "Configuration written, but the board holds other values for: channel 3 failsafe.";
    QTest::newRow("board silent") << false << "Nothing written: the board did not answer the read before the write.";
}

void tst_Cockpit::unfinishedSaveStaysInSight()
{
    QFETCH(bool, boardKeepsItsValues);
    QFETCH(QString, notice);
    QCOMPARE(connectBoard(0x08A3), QString());
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    // After Connect the keyboard is on the page, not in the connection field.
    QVERIFY(ui->btn_08A3_ReadConf->hasFocus());
    QSpinBox *ch3 = ui->spin_08A3_val_ch3;
    const int stored = ch3->value();
    ch3->setValue(stored + 234);
    BoardFaults faults;
    faults.ignoreWrites = boardKeepsItsValues;
    faults.silent = !boardKeepsItsValues;
    m_board->setFaults(faults);
    const auto save = [this] {
        action("actionSaveConf")->trigger();
        for (int i = 0; i < 10 && !commandQueue.isEmpty(); ++i)
            tick();
    };
    save();

    auto *panel = m_window->findChild<QWidget *>(QStringLiteral("panel_notice"));
    QVERIFY(panel && panel->isVisible());
    const QString shown = panel->findChild<QLabel *>(QStringLiteral("label_notice"))->text();
    QVERIFY2(shown.startsWith(notice), qPrintable(shown));
    QCOMPARE(status(), shown);
    // The typed value stays, marked against what the board holds.
    QCOMPARE(ch3->value(), stored + 234);
    QTRY_VERIFY2(ch3->toolTip().startsWith(QStringLiteral("The board holds %1.").arg(stored)),
                 qPrintable(ch3->toolTip()));
    QVERIFY(m_window->isWindowModified());

    if (!boardKeepsItsValues) {
        m_window->findChild<QPushButton *>(QStringLiteral("btn_notice_dismiss"))->click();
        QVERIFY(!panel->isVisible());
    }
    // Once the board takes it, one more Save CONF is all it needs.
    m_board->setFaults(BoardFaults());
    save();
    QVERIFY2(status().startsWith(QStringLiteral("Configuration saved")), qPrintable(status()));
    QVERIFY(!panel->isVisible());
    QVERIFY(!m_window->isWindowModified());
}

void tst_Cockpit::configFileComesBackAsEdits_data()
{
    QTest::addColumn<QString>("change");  // what the file says, beside what was saved
    QTest::addColumn<int>("differences"); // rows of the differences dialog; -1: refused
    QTest::addColumn<bool>("accepted");
    QTest::newRow("two fields") << "two fields" << 2 << true;
    QTest::newRow("two fields, cancelled") << "two fields" << 2 << false;
    QTest::newRow("unchanged") << "nothing" << 0 << true;
    QTest::newRow("out of range") << "out of range" << -1 << false;
    QTest::newRow("trigger board's file") << "other family" << -1 << false;
}

void tst_Cockpit::configFileComesBackAsEdits()
{
    QFETCH(QString, change);
    QFETCH(int, differences);
    QFETCH(bool, accepted);
    QCOMPARE(connectBoard(0x08A3), QString());
    const QString path = m_dir.filePath(QStringLiteral("board.json"));
    QFile::remove(path);
    {
        DialogHandler saveAs([&](QDialog *d) { DialogHandler::pickFile(d, path); });
        action("actionSaveConfigFile")->trigger();
        QCOMPARE(saveAs.handled(), QStringList{QStringLiteral("dialog_save_config")});
    }
    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(status()));
    ConfigLoad saved = loadConfigForWrite(file.readAll());
    file.close();
    QVERIFY2(saved.ok(), qPrintable(saved.message));
    QCOMPARE(saved.config.values.value(QStringLiteral("failsafe[2]")), ui->spin_08A3_val_ch3->value());

    BoardConfig edited = saved.config;
    if (change == QLatin1String("two fields")) {
        edited.values[QStringLiteral("failsafe[2]")] = 1234;
        edited.values[QStringLiteral("trigger.high")] = 1750;
    } else if (change == QLatin1String("out of range")) {
        edited.values[QStringLiteral("failsafe[2]")] = 5;
    } else if (change == QLatin1String("other family")) {
        edited = loadConfigForWrite(R"({"format":1,"productCode":"04F2","config":{"inaGain":1,
            "trigger":{"activeLow":false,"high":1600,"low":1400}}})")
                     .config;
    }
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(configToText(edited));
    file.close();

    int rows = -1;
    DialogHandler load([&](QDialog *d) {
        if (d->objectName() != QLatin1String("dialog_load_diff"))
            return DialogHandler::pickFile(d, path);
        rows = d->findChild<QTableWidget *>(QStringLiteral("table_load_diff"))->rowCount();
        accepted ? d->accept() : d->reject();
    });
    action("actionLoadConfigFile")->trigger();
    QCOMPARE(rows, differences > 0 ? differences : -1);
    if (change == QLatin1String("out of range"))
        QCOMPARE(status(),
                 QStringLiteral("Not loaded: %1: %2.").arg(path, loadConfigForWrite(configToText(edited)).message));
    if (change == QLatin1String("other family"))
        QCOMPARE(status(),
                 QStringLiteral("Not loaded: %1.")
                     .arg(wrongFamilyMessage(path, BoardFamily::Trigger04F2, m_link, QStringLiteral("08A3"))));
    const bool placed = differences > 0 && accepted;
    QCOMPARE(ui->spin_08A3_val_ch3->value(), placed ? 1234 : saved.config.values.value(QStringLiteral("failsafe[2]")));
    QCOMPARE(m_window->isWindowModified(), placed);
    // Nothing goes to the board before Save CONF.
    tick();
    QCOMPARE(m_board->requests(), QList<QByteArray>{QByteArray("\x04")});

    // The status bar shows what fits; its tool tip and the message log keep
    // the whole sentence.
    QCOMPARE(ui->statusbar->toolTip(), status());
    auto *log = m_window->findChild<QListWidget *>(QStringLiteral("list_messages"));
    QVERIFY(log->item(log->count() - 1)->text().endsWith(status()));
}

void tst_Cockpit::endlessFileNeverHoldsTheWindow_data()
{
    QTest::addColumn<bool>("pipe"); // else /dev/zero
    QTest::newRow("/dev/zero") << false;
    QTest::newRow("a pipe that never ends") << true;
}

// File > Load once read a file whole on the window's thread: these froze it
// for good while its memory grew by gigabytes.
void tst_Cockpit::endlessFileNeverHoldsTheWindow()
{
    QFETCH(bool, pipe);
    QCOMPARE(connectBoard(0x08A3), QString());
    QString path = QStringLiteral("/dev/zero");
    std::atomic_bool stop{false};
    std::thread writer;
    if (pipe) {
        path = m_dir.filePath(QStringLiteral("endless"));
        QFile::remove(path);
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        // Read and write ends both: its open waits for no reader.
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK);
        QVERIFY(fd >= 0);
        writer = std::thread([fd, &stop] {
            const QByteArray spaces(4096, ' ');
            while (!stop)
                if (::write(fd, spaces.constData(), size_t(spaces.size())) < 0)
                    QThread::usleep(200);
            ::close(fd);
        });
    }
    const qint64 before = Probe::residentBytes();
    {
        DialogHandler pick([&](QDialog *d) { DialogHandler::pickFile(d, path); });
        action("actionLoadConfigFile")->trigger();
    }
    QTRY_VERIFY_WITH_TIMEOUT(status().startsWith(QStringLiteral("Not loaded")), 15000);
    stop = true;
    if (writer.joinable())
        writer.join();
    QCOMPARE(status(), QStringLiteral("Not loaded: %1 is over 1 MiB: no configuration file.").arg(path));
    if (!Probe::memoryIsInstrumented())
        QVERIFY2(Probe::residentBytes() - before < 32 * 1024 * 1024,
                 qPrintable(QString::number(Probe::residentBytes() - before)));
}

void tst_Cockpit::setDefaultsLostWithTheCable_data()
{
    QTest::addColumn<bool>("restores");   // the board acts on the request before the cable goes
    QTest::addColumn<QString>("changed"); // what the board holds unlike before, as the window names it
    QTest::newRow("the board restored them") << true << "trigger High";
    // Another program wrote channel 2 while the cable was out.
    QTest::newRow("the board ignored them") << false << "channel 2 failsafe";
}

// The cable went while Set defaults was out. Once the board is back, the
// window shows and records what it holds, and says whether it restored its
// defaults is not known: only its acknowledgement would have said so.
void tst_Cockpit::setDefaultsLostWithTheCable()
{
    QFETCH(bool, restores);
    QFETCH(QString, changed);
    QCOMPARE(connectBoard(0x08A3), QString());
    const int factoryHigh = ui->spin_08A3_trig_high->value();
    QByteArray held = m_board->storedConfig();
    qToBigEndian<quint16>(quint16(factoryHigh + 150), held.data() + 31); // trigger High
    QVERIFY(m_board->setStoredConfig(held));
    ui->btn_08A3_ReadConf->click();
    tick();
    QCOMPARE(ui->spin_08A3_trig_high->value(), factoryHigh + 150);
    {
        MessageBoxAnswerer yes(MessageBoxAnswerer::Yes);
        ui->btn_08A3_SetDefaults->click();
    }
    tick(); // the read before the write
    // The board takes the request (or not), and the cable goes before its answer.
    BoardFaults pulled;
    pulled.delayMs = 400;
    pulled.unplugAfter = 1;
    pulled.ignoreWrites = !restores;
    m_board->setFaults(pulled);
    tick();
    QTRY_VERIFY_WITH_TIMEOUT(!m_board->isRunning(), 5000);
    for (int i = 0; i < 3 && !status().startsWith(QStringLiteral("Connection lost")); ++i)
        tick();
    QVERIFY2(status().contains(QStringLiteral("whether the board took Set defaults is not known")),
             qPrintable(status()));
    if (!restores) {
        held = m_board->storedConfig();
        qToBigEndian<quint16>(1777, held.data() + 8); // channel 2
        QVERIFY(m_board->setStoredConfig(held));
    }

    m_board->setFaults(BoardFaults());
    m_board->replug();
    QTRY_VERIFY_WITH_TIMEOUT(status().startsWith(QStringLiteral("Reconnected")), 5000);
    QVERIFY2(status().contains(QStringLiteral("whether the board restored its defaults is not known; it holds other "
                                              "values than before for: %1.")
                                   .arg(changed)),
             qPrintable(status()));
    QCOMPARE(ui->spin_08A3_trig_high->value(), restores ? factoryHigh : factoryHigh + 150);
    QCOMPARE(ui->spin_08A3_val_ch2->value(), restores ? 1000 : 1777);
    QVERIFY(!m_window->isWindowModified());
    const ConfigHistory::Entry last = ConfigHistory::HistoryFile().read().entries.last();
    QCOMPARE(QStringList({last.event, last.phase}), QStringList({"defaults", "after"}));
    QCOMPARE(last.config.values.value("trigger.high"), ui->spin_08A3_trig_high->value());
    QCOMPARE(last.config.values.value("failsafe[1]"), ui->spin_08A3_val_ch2->value());
}

void tst_Cockpit::recordsStatusAndPlotsIt_data()
{
    QTest::addColumn<int>("productCode");
    QTest::addColumn<QString>("file");
    QTest::newRow("08A3") << 0x08A3 << "status.csv";
    QTest::newRow("04F2") << 0x04F2 << "status.csv";
    QTest::newRow("folder that is not there") << 0x08A3 << "missing/status.csv";
}

void tst_Cockpit::recordsStatusAndPlotsIt()
{
    QFETCH(int, productCode);
    QFETCH(QString, file);
    QCOMPARE(connectBoard(productCode), QString());
    const QString path = m_dir.filePath(file);
    QFile::remove(path);
    QAction *record = action("actionRecordStatus");
    {
        DialogHandler saveAs([&](QDialog *d) { DialogHandler::pickFile(d, path); });
        record->trigger();
    }
    const bool opened = !file.startsWith(QLatin1String("missing"));
    QVERIFY2(record->isChecked() == opened, qPrintable(status() + " / " + path));
    if (!opened) {
        QVERIFY2(status().startsWith(QStringLiteral("Not recording: cannot write %1").arg(path)),
                 qPrintable(status() + " / " + path));
        return;
    }
    tick(3);
    record->trigger();
    QCOMPARE(status(), QStringLiteral("Recording stopped: 3 rows in %1.").arg(path));

    QFile csv(path);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csv.readAll().split('\n');
    QCOMPARE(lines.size(), 5); // header, three rows, the empty rest after the last line end
    const BoardFamily family = recordFamily(*radioDevice);
    QCOMPARE(lines.first() + '\n', StatusRecorder::header(family));
    const QDateTime at = QDateTime::fromString(QString::fromLatin1(lines.at(3).split(',').first()), Qt::ISODateWithMs);
    QCOMPARE(lines.at(3) + '\n', StatusRecorder::row(family, *radioDevice, at));
    // The plot takes every reply, recorded or not.
    tick();
    QCOMPARE(m_window->findChild<LivePlot *>(QStringLiteral("plot_live"))->sampleCount(), 4);
}

QTEST_MAIN(tst_Cockpit)
#include "tst_cockpit.moc"

// End-to-end tests of the main window: the real form, offscreen, driving
// simulated boards through a real QSerialPort on pseudo-terminals. Ticks are
// run by calling the tick handler after stopping the poll timer, so that each
// test decides exactly when the next exchange happens; only the polling rate
// test lets the timer run.
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSerialPortInfo>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>
#include <vector>

#include "Halvero_configurator.h"
#include "boards.h"
#include "confighistory.h"
#include "simulatedboard.h"
#include "ui_Halvero_configurator.h"
#include "windowfixture.h"
#include "windowprobe.h"
#include "windowtesthelpers.h"

using namespace WindowTest;
using TestSupport::identityOf;
using TestSupport::isTriggerBoard;
using TestSupport::productText;

using Probe::Connection;
using Probe::expectedState;
using Probe::MessageBoxAnswerer;
using Probe::pageOf;

namespace {

const QString MissingDevice = QStringLiteral("/nonexistent/halvero-test-tty");

// One row per product code, by default every one the window serves.
void addBoardRows(std::initializer_list<int> productCodes = {0x08A3, 0x08A2, 0x04F2})
{
    QTest::addColumn<int>("productCode");
    for (int code : productCodes)
        QTest::newRow(qPrintable(productText(code))) << code;
}

// The configuration the form shows before any board has answered.
QByteArray formSwitchPayload()
{
    const uint8_t zero[3] = {0, 0, 0};
    uint16_t failsafe[12];
    std::fill(failsafe, failsafe + 12, uint16_t(1000));
    return switchPayload(zero, zero, failsafe, false, 1600, 1400);
}

QByteArray formTriggerPayload()
{
    return triggerPayload(1, false, 1600, 1400);
}

// A status field of the 04F2 page: the board's byte scaled into a range, in
// steps; the text must be the shortest decimal form of the value.
bool readingLooksRight(const QLineEdit *field, double lo, double hi, double step, float recorded, QString *why)
{
    const QString text = field->text();
    const QRegularExpression shape(step < 1.0 ? QStringLiteral("^-?\\d+(\\.[1-9])?$") : QStringLiteral("^-?\\d+$"));
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !shape.match(text).hasMatch()) {
        *why = QStringLiteral("%1 shows \"%2\"").arg(field->objectName(), text);
        return false;
    }
    const double steps = value / step;
    if (value < lo - 1e-9 || value > hi + 1e-9 || std::abs(steps - std::round(steps)) > 1e-6) {
        *why = QStringLiteral("%1 shows %2, outside %3..%4 in steps of %5")
                   .arg(field->objectName(), text)
                   .arg(lo)
                   .arg(hi)
                   .arg(step);
        return false;
    }
    if (std::abs(value - double(recorded)) > 1e-4) {
        *why = QStringLiteral("%1 shows %2, the last reply said %3").arg(field->objectName(), text).arg(recorded);
        return false;
    }
    return true;
}

} // namespace

class tst_Window : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void connectShowsBoard_data();
    void connectShowsBoard();
    void statusTicksFillPage_data();
    void statusTicksFillPage();
    void failsafeGreysTriggerReading();
    void queuedActionsGoOutOnePerTick_data();
    void queuedActionsGoOutOnePerTick();
    void dumpThenSaveSendsEditedFrame();
    void saveCarriesThePageAsClicked_data();
    void saveCarriesThePageAsClicked();
    void triggerSaveKeepsGainLastRead();
    void valuesThePageCannotNameAreKept_data();
    void valuesThePageCannotNameAreKept();
    void crossedPairAskedOnlyWhenEdited_data();
    void crossedPairAskedOnlyWhenEdited();
    void unfinishedWriteIsAskedAbout_data();
    void unfinishedWriteIsAskedAbout();
    void saveAfterDefaultsKeepsTheDefaults();
    void lateAnswerIsTold();
    void lateReplyIsNotTheNextAnswer();
    void setDefaultsAsksFirst_data();
    void setDefaultsAsksFirst();
    void connectionFailureAndRecovery_data();
    void connectionFailureAndRecovery();
    void tickWithoutOpenPortSendsNothing_data();
    void tickWithoutOpenPortSendsNothing();
    void queueBelongsToItsConnection_data();
    void queueBelongsToItsConnection();
    void commandOutcomeOnStatusBar_data();
    void commandOutcomeOnStatusBar();
    void silentBoardGreysLiveStatus_data();
    void silentBoardGreysLiveStatus();
    void switchingFamilies_data();
    void switchingFamilies();
    void refreshWhilePolling();
    void saveWithoutDeviceDoesNothing_data();
    void saveWithoutDeviceDoesNothing();
    void pollingRateAndDisconnect();

private:
    // A running board of the family, already holding `stored`
    // (storedPayload() when empty); null on failure, with the reason in
    // m_error.
    SimulatedBoard *startBoard(int productCode, const QByteArray &stored = QByteArray());
    // startBoard(), then the window open on that board's port alone and
    // polling it (the timer held, as connectAndHold() leaves it) and the
    // board's request log cleared; null on failure, with the reason in
    // m_error.
    SimulatedBoard *pollingBoard(int productCode, const QByteArray &stored = QByteArray());
    void openWindow(const QStringList &extraPorts);
    bool selectPort(const QString &path);
    // Connect to the board's port; the timer is stopped again at once, so
    // no tick runs before the test asks for one. Returns the state reached.
    QString connectAndHold(SimulatedBoard *board);
    void tick(int count = 1);
    void runQueue(); // ticks until every queued command has ended
    QString connectionState() const;
    QPushButton *button(int productCode, const QString &what) const;

    std::vector<std::unique_ptr<SimulatedBoard>> m_boards;
    std::unique_ptr<Halvero_configurator> m_window;
    Ui_Halvero_configurator *ui = nullptr;
    QString m_error;
};

void tst_Window::initTestCase()
{
    Probe::dropOffscreenNoise();
}

void tst_Window::init()
{
    // Every test starts from the program's start-up state.
    QVERIFY(!radioDevice);
    QVERIFY(commandQueue.isEmpty());
    QVERIFY(!serialPort.isOpen());
    QVERIFY(!scanTimer->isActive());
}

void tst_Window::cleanup()
{
    // Closing the window must close the port and drop the device object;
    // whatever a failed test left behind is cleared for the next one.
    m_window.reset();
    ui = nullptr;
    const QString left = WindowFixture::resetGlobals();
    m_boards.clear();
    qunsetenv("HALVERO_EXTRA_PORTS");
    QVERIFY2(left.isEmpty(), qPrintable(QStringLiteral("the window's destructor left %1").arg(left)));
}

SimulatedBoard *tst_Window::startBoard(int productCode, const QByteArray &stored)
{
    auto board = std::make_unique<SimulatedBoard>(identityOf(productCode));
    m_error.clear();
    if (!board->setStoredConfig(stored.isEmpty() ? storedPayload(productCode) : stored)) {
        m_error = QStringLiteral("the board refuses the stored configuration");
        return nullptr;
    }
    if (!board->start(&m_error))
        return nullptr;
    m_boards.push_back(std::move(board));
    return m_boards.back().get();
}

SimulatedBoard *tst_Window::pollingBoard(int productCode, const QByteArray &stored)
{
    SimulatedBoard *board = startBoard(productCode, stored);
    if (!board)
        return nullptr;
    openWindow({board->devicePath()});
    const QString state = connectAndHold(board);
    const QString expected = expectedState(Connection::Polling, productCode);
    if (state != expected) {
        m_error = QStringLiteral("after Connect: %1\n   expected: %2").arg(state, expected);
        return nullptr;
    }
    board->clearRequests();
    return board;
}

void tst_Window::openWindow(const QStringList &extraPorts)
{
    qputenv("HALVERO_EXTRA_PORTS", extraPorts.join(QLatin1Char(':')).toLocal8Bit());
    m_window = std::make_unique<Halvero_configurator>();
    ui = HalveroTestAccess::ui(*m_window);
    m_window->show();
}

bool tst_Window::selectPort(const QString &path)
{
    const int index = ui->serialList->findText(path);
    if (index < 0)
        return false;
    ui->serialList->setCurrentIndex(index);
    return true;
}

QString tst_Window::connectAndHold(SimulatedBoard *board)
{
    if (!selectPort(board->devicePath()))
        return QStringLiteral("port %1 not listed").arg(board->devicePath());
    ui->btnSerialConnect->click();
    const QString state = connectionState();
    scanTimer->stop();
    return state;
}

void tst_Window::tick(int count)
{
    WindowFixture::tick(*m_window, count);
}

void tst_Window::runQueue()
{
    QVERIFY2(WindowFixture::runQueue(*m_window), "the queue did not empty in 20 ticks");
}

QString tst_Window::connectionState() const
{
    return Probe::describeState(*m_window);
}

QPushButton *tst_Window::button(int productCode, const QString &what) const
{
    const bool trigger = isTriggerBoard(productCode);
    if (what == QLatin1String("read"))
        return trigger ? ui->btn_04F2_ReadConf : ui->btn_08A3_ReadConf;
    if (what == QLatin1String("save"))
        return trigger ? ui->btn_04F2_SaveConf : ui->btn_08A3_SaveConf;
    if (what == QLatin1String("defaults"))
        return trigger ? ui->btn_04F2_SetDefaults : ui->btn_08A3_SetDefaults;
    if (what == QLatin1String("dump"))
        return ui->btnEEPROM_DUMP;
    qFatal("no button %s", qPrintable(what));
}

void tst_Window::connectShowsBoard_data()
{
    QTest::addColumn<int>("productCode");
    QTest::addColumn<QString>("baud");
    QTest::addColumn<QString>("product");
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<QString>("revId");
    QTest::addColumn<QString>("devId");
    QTest::addColumn<QString>("serial");

    // The boards listen only at the rate chosen in the baud list, so a rate
    // lost on the way to the port ends in a failed identification.
    QTest::newRow("08A3 at 9600") << 0x08A3 << "9600"
                                  << "08A3"
                                  << "1.3"
                                  << "0001"
                                  << "10000"
                                  << "0x000000030000000200000001";
    QTest::newRow("08A2 at 115200") << 0x08A2 << "115200"
                                    << "08A2"
                                    << "0.2"
                                    << "2A5F"
                                    << "0415"
                                    << "0x89ABCDEF0000ABCDDEADBEEF";
    QTest::newRow("04F2 at 57600") << 0x04F2 << "57600"
                                   << "04F2"
                                   << "0.1"
                                   << "1001"
                                   << "FFFFFFFF"
                                   << "0x203833524E46500900390021";
}

void tst_Window::connectShowsBoard()
{
    QFETCH(int, productCode);
    QFETCH(QString, baud);

    SimulatedBoard *board = startBoard(productCode);
    QVERIFY2(board, qPrintable(m_error));
    BoardFaults paced;
    paced.uartBaud = baud.toInt();
    board->setFaults(paced);
    openWindow({board->devicePath()});
    ui->serialBauds->setCurrentIndex(ui->serialBauds->findText(baud));
    QCOMPARE(ui->serialBauds->currentText(), baud);
    // The title the desktop shows: the program's name, then the board too.
    const auto shownTitle = [this] { return m_window->windowHandle()->title(); };
    QCOMPARE(shownTitle(), QStringLiteral("Halvero software"));

    QCOMPARE(connectAndHold(board), expectedState(Connection::Polling, productCode));
    QCOMPARE(hexList(board->requests()), QStringList({"01", "02"}));
    QCOMPARE(shownTitle(),
             QStringLiteral("Halvero software — %1 on %2").arg(productText(productCode), board->devicePath()));

    QCOMPARE(ui->tab_all->widget(0)->objectName(), pageOf(productCode));
    QCOMPARE(ui->tab_all->widget(1)->objectName(), QStringLiteral("tab_all_internal"));
    QCOMPARE(ui->tab_all->currentIndex(), 0);

    QTEST(ui->line_product->text(), "product");
    QTEST(ui->line_fw_ver->text(), "firmware");
    QTEST(ui->line_REVID->text(), "revId");
    QTEST(ui->line_DEVID->text(), "devId");
    QTEST(ui->line_UUID->text(), "serial");
    QCOMPARE(ui->line_UUID->text().size(), 26);

    QCOMPARE(shownPayload(ui, productCode).toHex(), storedPayload(productCode).toHex());
    // The other family's page keeps the form's values.
    if (isTriggerBoard(productCode))
        QCOMPARE(shownPayload(ui, 0x08A3).toHex(), formSwitchPayload().toHex());
    else
        QCOMPARE(shownPayload(ui, 0x04F2).toHex(), formTriggerPayload().toHex());

    ui->btnSerialDisconnect->click();
    QCOMPARE(shownTitle(), QStringLiteral("Halvero software"));
}

void tst_Window::statusTicksFillPage_data()
{
    addBoardRows();
}

void tst_Window::statusTicksFillPage()
{
    QFETCH(int, productCode);
    SimulatedBoard *board = pollingBoard(productCode);
    QVERIFY2(board, qPrintable(m_error));

    tick(3);
    QCOMPARE(hexList(board->requests()), QStringList({"04", "04", "04"}));
    QVERIFY(commandQueue.isEmpty());

    if (isTriggerBoard(productCode)) {
        // No 04F2 reply carries a switch status or a trigger reading.
        for (QWidget *none : std::initializer_list<QWidget *>{ui->line_04F2_sw_status, ui->line_04F2_trig_val,
                                                              ui->line_04F2_trig_freq}) {
            QCOMPARE(none->property("text").toString(), QStringLiteral("N/A"));
            QVERIFY(!none->isEnabled());
        }
        QCOMPARE(ui->line_08A3_sw_status->text(), QStringLiteral("N/A"));

        // Ranges of the simulated 04F2 board's readings and the steps its
        // one-byte encodings allow.
        const parachuteRadioComm *dev = radioDevice;
        QString why;
        QVERIFY2(readingLooksRight(ui->line_04F2_temperature, 21.5, 30.0, 0.5, dev->temperature, &why),
                 qPrintable(why));
        QVERIFY2(readingLooksRight(ui->line_04F2_fuse_probe_curr, 0, 6, 2, dev->fuseProbeCurrent, &why),
                 qPrintable(why));
        QVERIFY2(readingLooksRight(ui->line_04F2_fuse_curr, 0, 8, 1, dev->fuseCurrent, &why), qPrintable(why));
        QVERIFY2(readingLooksRight(ui->line_04F2_fuse_peak_curr, 1, 9, 1, dev->fusePeakCurrent, &why), qPrintable(why));
        QVERIFY2(readingLooksRight(ui->line_04F2_trigger_voltage, 11.8, 12.6, 0.1, dev->triggerVoltage, &why),
                 qPrintable(why));
        QVERIFY2(readingLooksRight(ui->line_04F2_battery_voltage, 12.2, 12.6, 0.2, dev->batteryVoltage, &why),
                 qPrintable(why));
    } else {
        QCOMPARE(ui->line_08A3_sw_status->text(), QStringLiteral("NORMAL"));
        QCOMPARE(ui->line_04F2_sw_status->text(), QStringLiteral("N/A"));
        QVERIFY(ui->line_08A3_trig_val->isEnabled());
        QVERIFY(ui->line_08A3_trig_freq->isEnabled());
        bool ok = false;
        const int pulse = ui->line_08A3_trig_val->text().toInt(&ok);
        QVERIFY2(ok && pulse >= 1000 && pulse <= 2000, qPrintable(ui->line_08A3_trig_val->text()));
        QCOMPARE(pulse, int(radioDevice->triggerValue));
        const int hz = ui->line_08A3_trig_freq->text().toInt(&ok);
        QVERIFY2(ok && hz >= 49 && hz <= 51, qPrintable(ui->line_08A3_trig_freq->text()));
        QVERIFY(ui->line_04F2_temperature->text().isEmpty());
    }
}

void tst_Window::failsafeGreysTriggerReading()
{
    // The simulated 08A3 board loses its receiver pulse for the last part of
    // every status cycle and falls back to failsafe then. Its status clock is
    // pinned poll by poll: two readings with the pulse, two in the dropout,
    // one after the pulse is back.
    SimulatedBoard *board = pollingBoard(0x08A3);
    QVERIFY2(board, qPrintable(m_error));

    constexpr qint64 present = BoardModel::pulsePresentMs, cycle = BoardModel::pulseCycleMs;
    const struct
    {
        qint64 clockMs;
        bool pulse;
    } polls[] = {
        {present / 3, true}, {present - 1, true}, {present, false}, {cycle - 1, false}, {cycle + present / 2, true}};
    QString lastPulse, lastHz;
    for (const auto &poll : polls) {
        board->setStatusClock(poll.clockMs);
        tick();
        const QString status = ui->line_08A3_sw_status->text();
        const QByteArray at = QStringLiteral("%1 ms into the cycle: %2").arg(poll.clockMs).arg(status).toLatin1();
        QVERIFY2(status == QLatin1String(poll.pulse ? "NORMAL" : "FAILSAFE"), at.constData());
        // Greyed out without the pulse...
        QVERIFY2(ui->line_08A3_trig_val->isEnabled() == poll.pulse, at.constData());
        QVERIFY2(ui->line_08A3_trig_freq->isEnabled() == poll.pulse, at.constData());
        if (poll.pulse) {
            lastPulse = ui->line_08A3_trig_val->text();
            lastHz = ui->line_08A3_trig_freq->text();
            QVERIFY2(!lastHz.isEmpty(), at.constData());
            QCOMPARE(lastPulse, QString::number(radioDevice->triggerValue));
        } else {
            // ...with the last reading still there.
            QCOMPARE(ui->line_08A3_trig_val->text(), lastPulse);
            QCOMPARE(ui->line_08A3_trig_freq->text(), lastHz);
        }
    }
    QCOMPARE(hexList(board->requests()), QStringList(qsizetype(std::size(polls)), QStringLiteral("04")));
}

void tst_Window::queuedActionsGoOutOnePerTick_data()
{
    QTest::addColumn<int>("productCode");
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QStringList>("requests");

    const QStringList threeReads{"read", "read", "read"};
    QTest::newRow("08A3: three Read CONF") << 0x08A3 << threeReads << QStringList{"02", "02", "02", "04"};
    QTest::newRow("04F2: three Read CONF") << 0x04F2 << threeReads << QStringList{"02", "02", "02", "04"};
    QTest::newRow("08A3: dump, Read CONF, dump")
        << 0x08A3 << QStringList{"dump", "read", "dump"} << QStringList{"0301", "02", "0301", "04"};
    const QString write04F2 = QString::fromLatin1(configWriteFrame(identityOf(0x04F2), storedPayload(0x04F2)).toHex());
    // A write reads the board's configuration first, for the history.
    QTest::newRow("04F2: Save CONF, Read CONF")
        << 0x04F2 << QStringList{"save", "read"} << QStringList{"02", write04F2, "02", "04"};
}

void tst_Window::queuedActionsGoOutOnePerTick()
{
    QFETCH(int, productCode);
    QFETCH(QStringList, clicks);
    QFETCH(QStringList, requests);

    SimulatedBoard *board = pollingBoard(productCode);
    QVERIFY2(board, qPrintable(m_error));

    for (const QString &what : clicks)
        button(productCode, what)->click();
    // Clicks only queue.
    QVERIFY(board->requests().isEmpty());
    QCOMPARE(commandQueue.size(), clicks.size());

    for (int i = 0; i < requests.size(); ++i) {
        QCOMPARE(commandQueue.isEmpty(), requests.at(i) == QLatin1String("04"));
        tick();
        QCOMPARE(board->requests().size(), i + 1);
    }
    QCOMPARE(hexList(board->requests()), requests);
}

void tst_Window::dumpThenSaveSendsEditedFrame()
{
    SimulatedBoard *board = pollingBoard(0x08A3);
    QVERIFY2(board, qPrintable(m_error));

    const QByteArray edited = editedPayload(0x08A3);
    ui->btnEEPROM_DUMP->click();
    editPage(ui, 0x08A3, edited);
    QCOMPARE(shownPayload(ui, 0x08A3).toHex(), edited.toHex());
    ui->btn_08A3_SaveConf->click();
    QCOMPARE(commandQueue.size(), 2);

    tick();
    QCOMPARE(hexList(board->requests()), QStringList({"0301"}));
    // The text as the board wrote it, without the reply header's bytes,
    // below a line that says which board it is of.
    const QString dump = ui->line_debug->toPlainText();
    QVERIFY2(dump.startsWith(QStringLiteral("EEPROM dump of the 08A3 board %1 (firmware ").arg(ui->line_UUID->text()))
                 && dump.contains(QLatin1String(".\n\nEEPROM 08A3")),
             qPrintable(dump));

    tick(2);
    const QByteArray frame = configWriteFrame(identityOf(0x08A3), edited);
    QCOMPARE(frame.size(), 40);
    QCOMPARE(hexList(board->requests()), QStringList({"0301", "02", QString::fromLatin1(frame.toHex())}));
    QCOMPARE(board->storedConfig().toHex(), edited.toHex());
    // The board's echo of the write leaves the page as edited, and the dump
    // read before it says it is older.
    QCOMPARE(shownPayload(ui, 0x08A3).toHex(), edited.toHex());
    QVERIFY2(ui->line_debug->toPlainText()
                 .section(QLatin1Char('\n'), 1, 1)
                 .startsWith(QLatin1String("Older than the configuration written")),
             qPrintable(ui->line_debug->toPlainText()));

    tick();
    QCOMPARE(hexList(board->requests()).last(), QStringLiteral("04"));
}

void tst_Window::saveCarriesThePageAsClicked_data()
{
    addBoardRows({0x08A3, 0x04F2});
}

void tst_Window::saveCarriesThePageAsClicked()
{
    // The board answers every write with the values it keeps, and a Read
    // CONF between two Save CONF puts them back on the page: the second
    // write still carries what was on the page when it was clicked. A
    // double click on the same page adds nothing.
    QFETCH(int, productCode);
    SimulatedBoard *board = pollingBoard(productCode);
    QVERIFY2(board, qPrintable(m_error));
    BoardFaults keepsItsValues;
    keepsItsValues.ignoreWrites = true;
    board->setFaults(keepsItsValues);

    QByteArray edited = editedPayload(productCode);
    editPage(ui, productCode, edited);
    {
        MessageBoxAnswerer discardEdits{MessageBoxAnswerer::Yes}; // Read CONF over the edits
        for (const char *click : {"save", "save", "read", "save"})
            button(productCode, click)->click();
    }
    QCOMPARE(commandQueue.size(), 3);
    runQueue();

    if (isTriggerBoard(productCode))
        edited[0] = storedPayload(productCode).at(0); // the gain goes out as the board holds it
    const QString frame = QString::fromLatin1(configWriteFrame(identityOf(productCode), edited).toHex());
    QCOMPARE(hexList(board->requests()), QStringList({"02", frame, "02", "02", "02", frame, "02"}));
    // What the board did not take stays in the page as the operator's edits.
    QCOMPARE(shownPayload(ui, productCode).toHex(), edited.toHex());
    QVERIFY2(ui->statusbar->currentMessage().startsWith("Configuration written, but the board holds other values"),
             qPrintable(ui->statusbar->currentMessage()));
}

void tst_Window::triggerSaveKeepsGainLastRead()
{
    SimulatedBoard *board = pollingBoard(0x04F2);
    QVERIFY2(board, qPrintable(m_error));

    const QByteArray stored = storedPayload(0x04F2);
    const QByteArray edited = editedPayload(0x04F2);
    QVERIFY(edited.at(0) != stored.at(0));
    editPage(ui, 0x04F2, edited); // a new gain too, on the Internal page
    ui->btn_04F2_SaveConf->click();
    tick(2);

    // The thresholds and the polarity as typed, the gain as last read.
    const QByteArray expected = stored.left(1) + edited.mid(1);
    const QByteArray frame = configWriteFrame(identityOf(0x04F2), expected);
    QCOMPARE(frame.size(), 11);
    QCOMPARE(hexList(board->requests()), QStringList({"02", QString::fromLatin1(frame.toHex())}));
    // The board's echo puts its gain back on screen.
    QCOMPARE(ui->spin_ina_gain->value(), int(uint8_t(stored.at(0))));
}

void tst_Window::valuesThePageCannotNameAreKept_data()
{
    QTest::addColumn<int>("offset"); // into the 08A3 payload: banks 0..2, rates 3..5, channel n at 4 + 2n
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("shown");
    QTest::newRow("bank of group 1 = 2") << 0 << 2 << "2 (unknown)";
    QTest::newRow("rate of group 2 = 0x80") << 4 << 0x80 << "128 (unknown)";
    QTest::newRow("channel 3 failsafe 500 us") << 10 << 500 << "500";
    QTest::newRow("channel 12 failsafe 2500 us") << 28 << 2500 << "2500";
}

void tst_Window::valuesThePageCannotNameAreKept()
{
    // Only channel 2 is edited: every other field goes back to the board as
    // it holds it, even a value the page has no item or range for.
    QFETCH(int, offset);
    QFETCH(int, value);
    QFETCH(QString, shown);

    QByteArray stored = storedPayload(0x08A3);
    if (offset < 6) {
        stored[offset] = char(value);
    } else {
        stored[offset] = char(value >> 8);
        stored[offset + 1] = char(value);
    }
    SimulatedBoard *board = pollingBoard(0x08A3, stored);
    QVERIFY2(board, qPrintable(m_error));
    QWidget *field = nullptr;
    for (QWidget *w : m_window->findChildren<QWidget *>()) {
        if (auto *combo = qobject_cast<QComboBox *>(w); combo && combo->currentText() == shown)
            field = combo;
        if (auto *spin = qobject_cast<QSpinBox *>(w); spin && spin->text() == shown)
            field = spin;
    }
    QVERIFY2(field, "the board's value is not shown as it is");
    QVERIFY2(field->toolTip().contains(QString::number(value)), qPrintable(field->toolTip()));

    ui->spin_08A3_val_ch2->setValue(ui->spin_08A3_val_ch2->value() + 1);
    ui->btn_08A3_SaveConf->click();
    tick(2);
    QByteArray expected = stored;
    qToBigEndian<quint16>(quint16(ui->spin_08A3_val_ch2->value()), expected.data() + 8);
    const QByteArray frame = configWriteFrame(identityOf(0x08A3), expected);
    QCOMPARE(hexList(board->requests()), QStringList({"02", QString::fromLatin1(frame.toHex())}));
}

void tst_Window::crossedPairAskedOnlyWhenEdited_data()
{
    QTest::addColumn<int>("productCode");
    QTest::addColumn<bool>("boardCrossed"); // the board already holds Low above High
    QTest::addColumn<QString>("edit");      // "channel" or "thresholds"
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("question"); // empty: none asked
    QTest::addColumn<bool>("queued");

    QTest::newRow("08A3 crossed by the edit, No")
        << 0x08A3 << false << "thresholds" << int(MessageBoxAnswerer::No)
        << "Trigger Low (1800) is not below High (1200). Save anyway?" << false;
    QTest::newRow("04F2 crossed by the edit, Yes")
        << 0x04F2 << false << "thresholds" << int(MessageBoxAnswerer::Yes)
        << "Trigger Low (1800) is not below High (1200). Save anyway?" << true;
    QTest::newRow("08A3 board holds it crossed, channel edited")
        << 0x08A3 << true << "channel" << int(MessageBoxAnswerer::No) << QString() << true;
}

void tst_Window::crossedPairAskedOnlyWhenEdited()
{
    QFETCH(int, productCode);
    QFETCH(bool, boardCrossed);
    QFETCH(QString, edit);
    QFETCH(int, answer);
    QFETCH(QString, question);
    QFETCH(bool, queued);
    const bool trigger = isTriggerBoard(productCode);
    QByteArray stored = storedPayload(productCode);
    if (boardCrossed) // High 1200, Low 1800: the last four bytes of either payload
        stored.replace(stored.size() - 4, 4, QByteArray::fromHex("04b00708"));
    SimulatedBoard *board = pollingBoard(productCode, stored);
    QVERIFY2(board, qPrintable(m_error));
    if (edit == QLatin1String("channel")) {
        ui->spin_08A3_val_ch3->setValue(ui->spin_08A3_val_ch3->value() + 1);
    } else {
        (trigger ? ui->spin_04F2_trig_high : ui->spin_08A3_trig_high)->setValue(1200);
        (trigger ? ui->spin_04F2_trig_low : ui->spin_08A3_trig_low)->setValue(1800);
    }
    MessageBoxAnswerer operatorAnswer{MessageBoxAnswerer::Answer(answer)};
    button(productCode, "save")->click();
    QCOMPARE(operatorAnswer.seen().shown ? operatorAnswer.seen().text : QString(), question);
    if (!question.isEmpty())
        QCOMPARE(operatorAnswer.seen().defaultButton, QMessageBox::No);
    QCOMPARE(commandQueue.size(), queued ? 1 : 0);
    runQueue();
    // What the operator saw is what the board holds: as entered, or as it was.
    QCOMPARE(board->storedConfig().toHex(), queued ? shownPayload(ui, productCode).toHex() : stored.toHex());
}

void tst_Window::unfinishedWriteIsAskedAbout_data()
{
    QTest::addColumn<QString>("leave"); // "Disconnect" or "close"
    QTest::addColumn<bool>("sent");     // the write went out and waits for its answer
    QTest::addColumn<QString>("question");

    const QString queued = QStringLiteral("A Save CONF has not reached the board yet.");
    const QString inFlight = QStringLiteral("A Save CONF has been sent, but the board has not answered yet.");
    QTest::newRow("Disconnect, queued") << "Disconnect" << false << queued + " Disconnect anyway?";
    QTest::newRow("Disconnect, in flight") << "Disconnect" << true << inFlight + " Disconnect anyway?";
    QTest::newRow("close, queued") << "close" << false << queued + " Close anyway?";
    QTest::newRow("close, in flight") << "close" << true << inFlight + " Close anyway?";
}

void tst_Window::unfinishedWriteIsAskedAbout()
{
    // A Save CONF clicked just before Disconnect or closing is not dropped
    // in silence: No keeps the window and the write, Yes gives both up with
    // one question (the edits it carried are not asked about again).
    QFETCH(QString, leave);
    QFETCH(bool, sent);
    QFETCH(QString, question);
    SimulatedBoard *board = pollingBoard(0x08A3);
    QVERIFY2(board, qPrintable(m_error));
    ui->spin_08A3_val_ch3->setValue(ui->spin_08A3_val_ch3->value() + 1);
    ui->btn_08A3_SaveConf->click();
    if (sent) {
        tick(); // the read before the write
        BoardFaults silent;
        silent.silent = true;
        board->setFaults(silent);
        tick();
    }
    const auto goAway = [&] {
        if (leave == QLatin1String("close"))
            m_window->close();
        else
            ui->btnSerialDisconnect->click();
    };
    {
        MessageBoxAnswerer no{MessageBoxAnswerer::No};
        goAway();
        QCOMPARE(no.seen().text, question);
        QCOMPARE(no.answered(), 1);
    }
    QVERIFY(m_window->isVisible());
    QVERIFY(radioDevice && radioDevice->isConnected()); // the timer is the test's to run
    QCOMPARE(commandQueue.size(), 1);

    MessageBoxAnswerer yes{MessageBoxAnswerer::Yes};
    goAway();
    QCOMPARE(yes.answered(), 1);
    QVERIFY(commandQueue.isEmpty() || leave == QLatin1String("close"));
    QCOMPARE(m_window->isVisible(), leave != QLatin1String("close"));
    if (leave != QLatin1String("close") && !sent)
        QCOMPARE(ui->statusbar->currentMessage(),
                 QStringLiteral("The queued Save CONF was not sent: the board did not get it."));
    QCOMPARE(board->storedConfig().toHex(), storedPayload(0x08A3).toHex());
}

void tst_Window::saveAfterDefaultsKeepsTheDefaults()
{
    // Set defaults and Save CONF both queued before the next tick: the save
    // carries the one edited channel over the defaults, and every field the
    // operator did not touch stays as the defaults left it.
    SimulatedBoard *board = pollingBoard(0x08A3);
    QVERIFY2(board, qPrintable(m_error));
    ui->spin_08A3_val_ch3->setValue(1777);
    {
        MessageBoxAnswerer yes{MessageBoxAnswerer::Yes};
        ui->btn_08A3_SetDefaults->click();
    }
    ui->btn_08A3_SaveConf->click();
    QCOMPARE(commandQueue.size(), 2);
    runQueue();
    QByteArray expected = BoardModel(identityOf(0x08A3)).factoryPayload();
    qToBigEndian<quint16>(1777, expected.data() + 6 + 2 * 2); // banks, rates, then channel 3
    QCOMPARE(board->storedConfig().toHex(), expected.toHex());
    QCOMPARE(shownPayload(ui, 0x08A3).toHex(), expected.toHex());
    // The defaults had changed the edited channel too: the operator is told.
    QCOMPARE(ui->statusbar->currentMessage(),
             QStringLiteral("Configuration saved: the board holds what was written. Changed on the board since the "
                            "page was read, and written with your edit: channel 3 failsafe."));
}

void tst_Window::lateAnswerIsTold()
{
    // The board takes the read before the write, then falls silent: the
    // window keeps asking what it holds, and tells the outcome once the
    // board answers again, with the history's "after".
    SimulatedBoard *board = pollingBoard(0x08A3);
    QVERIFY2(board, qPrintable(m_error));
    const QString history = qEnvironmentVariable("HALVERO_HISTORY_FILE");
    const int entries = int(ConfigHistory::HistoryFile(history).read().entries.size());
    editPage(ui, 0x08A3, editedPayload(0x08A3));
    ui->btn_08A3_SaveConf->click();
    tick();
    BoardFaults silent;
    silent.silent = true;
    board->setFaults(silent);
    tick(4);
    QVERIFY2(ui->statusbar->currentMessage().contains("the outcome of Save CONF shows as soon as the board answers"),
             qPrintable(ui->statusbar->currentMessage()));
    // One sentence while it waits, not two taking turns at every poll.
    QVERIFY(
        m_window->findChild<QListWidget *>("list_messages")->findItems("No reply since", Qt::MatchContains).isEmpty());
    QCOMPARE(commandQueue.size(), 1);

    board->setFaults(BoardFaults());
    tick();
    QVERIFY(commandQueue.isEmpty());
    QVERIFY2(ui->statusbar->currentMessage().startsWith("Configuration written, but the board holds other values"),
             qPrintable(ui->statusbar->currentMessage()));
    const QList<ConfigHistory::Entry> recorded = ConfigHistory::HistoryFile(history).read().entries;
    QCOMPARE(recorded.size(), entries + 3); // before, intent, after
    QCOMPARE(recorded.last().phase, ConfigHistory::phaseAfter);
    // The next tick polls, and the outcome stays readable.
    tick();
    QVERIFY(ui->statusbar->currentMessage().startsWith("Configuration written"));
}

void tst_Window::lateReplyIsNotTheNextAnswer()
{
    // A status reply that comes after the window's wait is dropped when the
    // next request goes out; taken for its answer, it would make Read CONF
    // fail on a board that answered it.
    SimulatedBoard *board = pollingBoard(0x08A3);
    QVERIFY2(board, qPrintable(m_error));
    BoardModel model(identityOf(0x08A3));
    QByteArray held = model.configPayload();
    qToBigEndian<quint16>(1234, held.data() + 6); // channel 1
    QVERIFY(model.setConfigPayload(held));
    const QByteArray lateStatus = model.reply(QByteArray(1, char(USBmsgStatus)), 0);
    board->setScript(
        SimulatedBoard::repliesInTurn({{{200, lateStatus}}, {{0, model.reply(QByteArray(1, char(USBmsgConfig)), 0)}}}));
    const qint64 sent = board->bytesWritten();
    tick();
    ui->btn_08A3_ReadConf->click();
    QTRY_COMPARE_WITH_TIMEOUT(board->bytesWritten(), sent + lateStatus.size(), 2000);
    tick();
    QCOMPARE(ui->statusbar->currentMessage(), QStringLiteral("Configuration read."));
    QCOMPARE(ui->spin_08A3_val_ch1->value(), 1234);
}

void tst_Window::setDefaultsAsksFirst_data()
{
    QTest::addColumn<int>("productCode");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("whileAsked"); // the cable goes, or another board comes, while the box is open
    QTest::addColumn<bool>("queued");

    for (int code : {0x08A3, 0x04F2}) {
        const QByteArray page = (QStringLiteral("%1 page, ").arg(productText(code))).toLatin1();
        QTest::newRow(page + "No") << code << int(MessageBoxAnswerer::No) << QString() << false;
        QTest::newRow(page + "Escape") << code << int(MessageBoxAnswerer::Escape) << QString() << false;
        QTest::newRow(page + "Yes") << code << int(MessageBoxAnswerer::Yes) << QString() << true;
        QTest::newRow(page + "Yes after the board was lost") << code << int(MessageBoxAnswerer::Yes) << "lost" << false;
        QTest::newRow(page + "Yes after the board was replaced")
            << code << int(MessageBoxAnswerer::Yes) << "replaced" << false;
    }
}

void tst_Window::setDefaultsAsksFirst()
{
    QFETCH(int, productCode);
    QFETCH(int, answer);
    QFETCH(QString, whileAsked);
    QFETCH(bool, queued);

    SimulatedBoard *board = startBoard(productCode);
    QVERIFY2(board, qPrintable(m_error));
    SimulatedBoard *next = nullptr;
    if (whileAsked == QLatin1String("replaced")) {
        next = startBoard(productCode);
        QVERIFY2(next, qPrintable(m_error));
    }
    openWindow(next ? QStringList{board->devicePath(), next->devicePath()} : QStringList{board->devicePath()});
    QCOMPARE(connectAndHold(board), expectedState(Connection::Polling, productCode));
    board->clearRequests();

    // The poll cycle runs on while the box is open, and finds the port gone.
    // The box keeps the operator from Connect, but nothing else does.
    auto pullCable = [this] {
        scanTimer->start(300);
        serialPort.close();
        tick();
    };
    std::function<void()> whileOpen;
    QString replacedState;
    if (whileAsked == QLatin1String("lost"))
        whileOpen = pullCable;
    else if (next)
        whileOpen = [&] {
            pullCable();
            // Connect waits while the window tries the lost port again:
            // Disconnect stops the attempts first.
            ui->btnSerialDisconnect->click();
            replacedState = connectAndHold(next);
        };
    MessageBoxAnswerer operatorAnswer{MessageBoxAnswerer::Answer(answer), whileOpen};
    button(productCode, "defaults")->click();
    const MessageBoxAnswerer::Seen &box = operatorAnswer.seen();
    QVERIFY2(box.shown, "no question was asked");
    QVERIFY2(!box.stuck, "the answer did not close the question");
    QCOMPARE(box.text, QStringLiteral("Are you sure you want to set defaults?"));
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Yes | QMessageBox::No));
    QCOMPARE(box.defaultButton, QMessageBox::No);
    QCOMPARE(box.icon, QMessageBox::NoIcon);
    QVERIFY(!box.hasParent);

    QCOMPARE(commandQueue.size(), queued ? 1 : 0);
    if (whileAsked == QLatin1String("lost")) {
        // A Yes given for a board that has gone resets nothing, now or later.
        QCOMPARE(connectionState(), expectedState(Connection::Reconnecting, productCode));
        QCOMPARE(hexList(board->requests()), QStringList());
        return;
    }
    if (next) {
        // Nor does it reset the board connected in its place.
        QCOMPARE(replacedState, expectedState(Connection::Polling, productCode));
        tick();
        QCOMPARE(hexList(next->requests()), QStringList({"01", "02", "04"}));
        QCOMPARE(next->storedConfig().toHex(), storedPayload(productCode).toHex());
        QCOMPARE(hexList(board->requests()), QStringList());
        return;
    }
    tick(queued ? 2 : 1);
    const QStringList sent =
        queued ? QStringList{"02", QString::fromLatin1(setDefaultsFrame(identityOf(productCode)).toHex())}
               : QStringList{"04"};
    QCOMPARE(hexList(board->requests()), sent);
    QCOMPARE(board->storedConfig() == storedPayload(productCode), !queued);
    if (queued) {
        // The acknowledgement carries no configuration: the next tick reads
        // it back, so that the page shows the defaults the board now holds.
        QCOMPARE(commandQueue.size(), 1);
        tick();
        QCOMPARE(hexList(board->requests()).last(), QStringLiteral("02"));
        QCOMPARE(shownPayload(ui, productCode).toHex(), board->storedConfig().toHex());
        QVERIFY2(ui->statusbar->currentMessage().startsWith("Defaults restored"),
                 qPrintable(ui->statusbar->currentMessage()));
    } else {
        QCOMPARE(shownPayload(ui, productCode).toHex(), storedPayload(productCode).toHex());
    }
    QVERIFY(commandQueue.isEmpty());
    tick();
    QCOMPARE(hexList(board->requests()).last(), QStringLiteral("04"));
}

void tst_Window::connectionFailureAndRecovery_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<Connection>("state");
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<bool>("identityShown");
    QTest::addColumn<QString>("status"); // how the status bar's sentence starts

    QTest::newRow("no port") << "no port" << Connection::PortNotOpened << QStringList() << false
                             << "No serial port to open";
    QTest::newRow("port that does not open")
        << "missing device" << Connection::PortNotOpened << QStringList() << false << "No such port " + MissingDevice;
    // Each read of the connect sequence is tried twice, as halvero-cli does.
    QTest::newRow("silent board") << "silent" << Connection::IdentificationFailed << QStringList{"01", "01"} << false
                                  << "No reply from a board on";
    QTest::newRow("board of another product code")
        << "wrong product" << Connection::IdentificationFailed << QStringList{"01", "01"} << false << "The device on ";
    QTest::newRow("firmware the host refuses") << "wrong firmware" << Connection::IdentificationFailed
                                               << QStringList{"01", "01"} << false << "The 08A3 board on ";
    QTest::newRow("line that never falls quiet")
        << "stream" << Connection::IdentificationFailed << QStringList{"01"} << false << "The device on ";
    // Its answer comes after the window's wait, the retry's too: neither is
    // taken for the answer to a later request.
    QTest::newRow("board answering in 200 ms")
        << "late" << Connection::IdentificationFailed << QStringList{"01", "01"} << false << "The board on ";
    QTest::newRow("no configuration reply")
        << "silent after identity" << Connection::IdentifiedNoPage << QStringList{"01", "02", "02"} << true
        << "Board identified, but its configuration could not be read";
}

void tst_Window::connectionFailureAndRecovery()
{
    QFETCH(QString, setup);
    QFETCH(Connection, state);
    QFETCH(QStringList, requests);
    QFETCH(bool, identityShown);
    QFETCH(QString, status);

    SimulatedBoard *board = startBoard(0x08A3);
    QVERIFY2(board, qPrintable(m_error));
    BoardFaults faults;
    faults.silent = setup == QLatin1String("silent");
    faults.wrongProduct = setup == QLatin1String("wrong product");
    faults.wrongFirmware = setup == QLatin1String("wrong firmware");
    faults.stream = setup == QLatin1String("stream");
    faults.delayMs = setup == QLatin1String("late") ? 200 : 0;
    board->setFaults(faults);

    if (setup == QLatin1String("no port")) {
        openWindow({});
        ui->serialList->clear(); // whatever ports this machine has
        QCOMPARE(ui->serialList->currentText(), QString());
    } else {
        openWindow({MissingDevice, board->devicePath()});
        QVERIFY(selectPort(setup == QLatin1String("missing device") ? MissingDevice : board->devicePath()));
    }
    std::unique_ptr<SilenceAfter> silence;
    if (setup == QLatin1String("silent after identity"))
        silence = std::make_unique<SilenceAfter>(*board, 1);

    if (setup == QLatin1String("stream"))
        ui->serialBauds->setCurrentText(QStringLiteral("115200"));
    QElapsedTimer blocked;
    blocked.start();
    ui->btnSerialConnect->click();
    // Even a line that never falls quiet gives the window back soon.
    QVERIFY2(blocked.elapsed() < 3000, qPrintable(QString::number(blocked.elapsed())));
    QCOMPARE(connectionState(), expectedState(state, 0x08A3));
    QVERIFY2(ui->statusbar->currentMessage().startsWith(status), qPrintable(ui->statusbar->currentMessage()));
    if (setup == QLatin1String("wrong product") || setup == QLatin1String("wrong firmware"))
        QVERIFY2(ui->statusbar->currentMessage().contains(setup == QLatin1String("wrong product") ? "product code"
                                                                                                  : "firmware"),
                 qPrintable(ui->statusbar->currentMessage()));
    if (setup == QLatin1String("late"))
        QVERIFY2(ui->statusbar->currentMessage().contains("answers later than the 100 ms"),
                 qPrintable(ui->statusbar->currentMessage()));
    if (setup != QLatin1String("stream"))
        QCOMPARE(hexList(board->requests()), requests);
    if (silence) {
        silence->finish();
        QVERIFY(silence->fired());
    }
    QCOMPARE(ui->line_product->text(), identityShown ? QStringLiteral("08A3") : QString());
    QCOMPARE(ui->line_UUID->text(), identityShown ? QStringLiteral("0x000000030000000200000001") : QString());

    // Recovery: the operator fixes the cause and connects to a healthy board.
    board->setFaults(BoardFaults());
    // A babbling or late board leaves bytes behind in the pty: the operator
    // plugs the board in anew.
    const bool replugged = setup == QLatin1String("stream") || setup == QLatin1String("late");
    if (replugged)
        board->replug();
    board->clearRequests();
    if (setup == QLatin1String("no port") || replugged) {
        qputenv("HALVERO_EXTRA_PORTS", board->devicePath().toLocal8Bit());
        ui->btnRefreshSerialPorts->click();
    }
    QVERIFY(selectPort(board->devicePath()));
    if (ui->btnSerialDisconnect->isEnabled()) {
        ui->btnSerialDisconnect->click();
        QCOMPARE(connectionState(), expectedState(Connection::Disconnected));
    }
    // From "Port not opened" this Connect must first destroy the unopened
    // device object: destroying it after the new one opened would close the
    // shared port under the new connection.
    ui->btnSerialConnect->click();
    QCOMPARE(connectionState(), expectedState(Connection::Polling, 0x08A3));
    scanTimer->stop();
    tick();
    QCOMPARE(hexList(board->requests()), QStringList({"01", "02", "04"}));
    QCOMPARE(ui->line_08A3_sw_status->text(), QStringLiteral("NORMAL"));
    QCOMPARE(shownPayload(ui, 0x08A3).toHex(), storedPayload(0x08A3).toHex());
}

void tst_Window::tickWithoutOpenPortSendsNothing_data()
{
    QTest::addColumn<QString>("setup");
    QTest::newRow("no device object") << "none";
    QTest::newRow("device whose port never opened") << "unopened";
    QTest::newRow("port closed under the device") << "closed";
}

void tst_Window::tickWithoutOpenPortSendsNothing()
{
    QFETCH(QString, setup);

    SimulatedBoard *board = startBoard(0x08A3);
    QVERIFY2(board, qPrintable(m_error));
    openWindow({MissingDevice, board->devicePath()});
    if (setup == QLatin1String("unopened")) {
        QVERIFY(selectPort(MissingDevice));
        ui->btnSerialConnect->click();
        QCOMPARE(connectionState(), expectedState(Connection::PortNotOpened));
    } else if (setup == QLatin1String("closed")) {
        QCOMPARE(connectAndHold(board), expectedState(Connection::Polling, 0x08A3));
        serialPort.close();
    }
    board->clearRequests();

    // Clicks without a board to send them to are refused, not kept for
    // whichever board comes next.
    ui->btn_08A3_ReadConf->click();
    ui->btnEEPROM_DUMP->click();
    QVERIFY(commandQueue.isEmpty());
    QCOMPARE(ui->statusbar->currentMessage(), QStringLiteral("Not sent: the board is no longer connected."));

    tick(3);
    QCOMPARE(hexList(board->requests()), QStringList());
}

void tst_Window::queueBelongsToItsConnection_data()
{
    QTest::addColumn<QString>("event");
    QTest::newRow("Disconnect") << "disconnect";
    QTest::newRow("cable pulled") << "lost";
}

void tst_Window::queueBelongsToItsConnection()
{
    QFETCH(QString, event);
    SimulatedBoard *a = startBoard(0x08A3);
    QVERIFY2(a, qPrintable(m_error));
    SimulatedBoard *b = startBoard(0x08A2);
    QVERIFY2(b, qPrintable(m_error));
    openWindow({a->devicePath(), b->devicePath()});
    QCOMPARE(connectAndHold(a), expectedState(Connection::Polling, 0x08A3));
    a->clearRequests();

    // Everything an operator can queue for board A, a reset included.
    ui->btn_08A3_ReadConf->click();
    ui->btnEEPROM_DUMP->click();
    ui->btn_08A3_SaveConf->click();
    {
        MessageBoxAnswerer yes{MessageBoxAnswerer::Yes};
        ui->btn_08A3_SetDefaults->click();
    }
    QCOMPARE(commandQueue.size(), 4);

    QTest::ignoreMessage(QtDebugMsg, "Dropped 4 queued commands");
    if (event == QLatin1String("disconnect")) {
        MessageBoxAnswerer giveUpTheWrites{MessageBoxAnswerer::Yes};
        ui->btnSerialDisconnect->click();
        QCOMPARE(connectionState(), expectedState(Connection::Disconnected));
    } else {
        scanTimer->start(300);
        serialPort.close();
        tick();
        QCOMPARE(connectionState(), expectedState(Connection::Reconnecting, 0x08A3));
    }
    QVERIFY(commandQueue.isEmpty());

    // Board B gets its own identity and configuration reads, then polls:
    // nothing clicked for board A.
    if (ui->btnSerialDisconnect->isEnabled())
        ui->btnSerialDisconnect->click(); // stops the attempts on A's port
    QCOMPARE(connectAndHold(b), expectedState(Connection::Polling, 0x08A2));
    tick(3);
    QCOMPARE(hexList(b->requests()), QStringList({"01", "02", "04", "04", "04"}));
    QCOMPARE(hexList(a->requests()), QStringList());
}

void tst_Window::commandOutcomeOnStatusBar_data()
{
    QTest::addColumn<int>("productCode");
    QTest::addColumn<QString>("click");
    QTest::addColumn<QString>("board"); // how the board takes it: "answers", "silent", "keeps its values"
    QTest::addColumn<QString>("status");

    QTest::newRow("Read CONF") << 0x08A3 << "read"
                               << "answers"
                               << "Configuration read.";
    QTest::newRow("Read CONF, no reply") << 0x08A3 << "read"
                                         << "silent"
                                         << "No reply to Read CONF: the page keeps its values.";
    QTest::newRow("EEPROM DUMP") << 0x04F2 << "dump"
                                 << "answers"
                                 << "EEPROM dump received (";
    QTest::newRow("Save CONF") << 0x08A2 << "save"
                               << "answers"
                               << "Configuration saved: the board holds what was written.";
    QTest::newRow("Save CONF, no reply") << 0x04F2 << "save"
                                         << "silent"
                                         << "Nothing written: the board did not answer the read before the write.";
    // editedPayload() moves every field of the page away from the board's
    // values; the board answers the write with what it still holds.
    QTest::newRow("Save CONF, board keeps its own values")
        << 0x08A3 << "save"
        << "keeps its values"
        << "Configuration written, but the board holds other values for: group 1 bank, group 1 refresh rate, "
           "group 2 bank, group 2 refresh rate, group 3 bank, group 3 refresh rate, channel 1 failsafe, "
           "channel 2 failsafe, channel 3 failsafe, channel 4 failsafe, channel 5 failsafe, channel 6 failsafe, "
           "channel 7 failsafe, channel 8 failsafe, channel 9 failsafe, channel 10 failsafe, "
           "channel 11 failsafe, channel 12 failsafe, trigger active low, trigger High, trigger Low.";
    // The gain goes out as last read, so it is no difference.
    QTest::newRow("Save CONF, trigger board keeps its own values")
        << 0x04F2 << "save"
        << "keeps its values"
        << "Configuration written, but the board holds other values for: trigger active low, trigger High, "
           "trigger Low.";
    // Only the acknowledgement says the defaults are restored; the page
    // then shows what the board holds.
    QTest::newRow("Set defaults, answered with the configuration")
        << 0x08A3 << "defaults"
        << "keeps its values"
        << "The board did not acknowledge Set defaults; the configuration it holds now was read back.";
    QTest::newRow("Set defaults on a board that holds them")
        << 0x04F2 << "defaults"
        << "holds its defaults"
        << "The board acknowledged Set defaults; its configuration is unchanged (it may already have held its "
           "defaults).";
}

void tst_Window::commandOutcomeOnStatusBar()
{
    QFETCH(int, productCode);
    QFETCH(QString, click);
    QFETCH(QString, board);
    QFETCH(QString, status);

    SimulatedBoard *sim = pollingBoard(productCode);
    QVERIFY2(sim, qPrintable(m_error));
    if (click == QLatin1String("save"))
        editPage(ui, productCode, editedPayload(productCode));
    {
        MessageBoxAnswerer yes{MessageBoxAnswerer::Yes}; // Set defaults asks first
        button(productCode, click)->click();
    }
    BoardFaults faults;
    faults.silent = board == QLatin1String("silent");
    faults.ignoreWrites = board == QLatin1String("keeps its values");
    sim->setFaults(faults);
    if (board == QLatin1String("holds its defaults"))
        QVERIFY(sim->setStoredConfig(BoardModel(identityOf(productCode)).factoryPayload()));

    runQueue();
    QVERIFY2(ui->statusbar->currentMessage().startsWith(status), qPrintable(ui->statusbar->currentMessage()));
    // Nothing is written to a board that did not answer the read before.
    if (faults.silent) {
        for (const QString &request : hexList(sim->requests()))
            QCOMPARE(request, QStringLiteral("02"));
    }
    if (faults.ignoreWrites)
        QCOMPARE(sim->storedConfig().toHex(), storedPayload(productCode).toHex());
    // Whenever the board answered, the page shows what it holds, but for the
    // values it did not take: those stay as typed, edits to save again.
    const bool keptEdits = faults.ignoreWrites && click == QLatin1String("save");
    QByteArray page = keptEdits ? editedPayload(productCode) : sim->storedConfig();
    if (keptEdits && isTriggerBoard(productCode))
        page[0] = sim->storedConfig().at(0); // the gain goes out as last read
    if (!faults.silent)
        QCOMPARE(shownPayload(ui, productCode).toHex(), page.toHex());
    QCOMPARE(m_window->isWindowModified(), keptEdits);
}

void tst_Window::silentBoardGreysLiveStatus_data()
{
    QTest::addColumn<int>("productCode");
    QTest::addColumn<int>("answering"); // the product that answers instead; 0: nothing does
    QTest::addColumn<QString>("status");
    QTest::newRow("08A3 falls silent") << 0x08A3 << 0 << "No reply since ";
    QTest::newRow("04F2 falls silent") << 0x04F2 << 0 << "No reply since ";
    QTest::newRow("04F2 answers on the 08A3's port") << 0x08A3 << 0x04F2 << "Another board answers on this port since ";
}

void tst_Window::silentBoardGreysLiveStatus()
{
    QFETCH(int, productCode);
    QFETCH(int, answering);
    QFETCH(QString, status);
    SimulatedBoard *board = pollingBoard(productCode);
    QVERIFY2(board, qPrintable(m_error));
    QWidget *live = isTriggerBoard(productCode) ? static_cast<QWidget *>(ui->gr_04F2_status)
                                                : static_cast<QWidget *>(ui->gr_08A3_status);
    tick();
    QVERIFY(live->isEnabled());
    const bool pulseShown = ui->line_08A3_trig_val->isEnabled();

    BoardFaults silent;
    silent.silent = answering == 0;
    board->setFaults(silent);
    if (answering)
        board->setIdentity(identityOf(answering));
    tick(2);
    QVERIFY(live->isEnabled());
    tick();
    QVERIFY(!live->isEnabled());
    QVERIFY2(ui->statusbar->currentMessage().startsWith(status), qPrintable(ui->statusbar->currentMessage()));

    board->setFaults(BoardFaults());
    board->setIdentity(identityOf(productCode));
    tick();
    QVERIFY(live->isEnabled());
    // What the status bar said before the silence is still true.
    QVERIFY2(ui->statusbar->currentMessage().startsWith("Connected to the"),
             qPrintable(ui->statusbar->currentMessage()));
    QCOMPARE(ui->line_08A3_trig_val->isEnabled(), pulseShown);
}

void tst_Window::switchingFamilies_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::newRow("08A3 then 04F2") << 0x08A3 << 0x04F2;
    QTest::newRow("04F2 then 08A2") << 0x04F2 << 0x08A2;
}

void tst_Window::switchingFamilies()
{
    QFETCH(int, first);
    QFETCH(int, second);

    SimulatedBoard *a = startBoard(first);
    QVERIFY2(a, qPrintable(m_error));
    SimulatedBoard *b = startBoard(second);
    QVERIFY2(b, qPrintable(m_error));
    openWindow({a->devicePath(), b->devicePath()});

    QCOMPARE(connectAndHold(a), expectedState(Connection::Polling, first));
    ui->btnSerialDisconnect->click();
    QCOMPARE(connectionState(), expectedState(Connection::Disconnected));
    a->clearRequests();

    QCOMPARE(connectAndHold(b), expectedState(Connection::Polling, second));
    QCOMPARE(ui->tab_all->widget(0)->objectName(), pageOf(second));
    QWidget *firstPage = m_window->findChild<QWidget *>(pageOf(first));
    QVERIFY(firstPage);
    QCOMPARE(ui->tab_all->indexOf(firstPage), -1);
    QCOMPARE(ui->line_product->text(), productText(second));
    QCOMPARE(shownPayload(ui, second).toHex(), storedPayload(second).toHex());

    tick();
    QCOMPARE(hexList(b->requests()), QStringList({"01", "02", "04"}));
    QVERIFY(a->requests().isEmpty());
}

void tst_Window::refreshWhilePolling()
{
    SimulatedBoard *a = startBoard(0x08A3);
    QVERIFY2(a, qPrintable(m_error));
    SimulatedBoard *b = startBoard(0x04F2);
    QVERIFY2(b, qPrintable(m_error));
    openWindow({a->devicePath()});
    QVERIFY(selectPort(a->devicePath()));
    ui->btnSerialConnect->click();
    const QString polling = connectionState();
    QCOMPARE(polling, expectedState(Connection::Polling, 0x08A3));
    parachuteRadioComm *const device = radioDevice;

    // A second board appears; Refresh lists it after the system's ports.
    qputenv("HALVERO_EXTRA_PORTS", (a->devicePath() + QLatin1Char(':') + b->devicePath()).toLocal8Bit());
    ui->btnRefreshSerialPorts->click();
    QStringList expected;
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts())
        expected << port.portName();
    expected << a->devicePath() << b->devicePath();
    QStringList listed;
    for (int i = 0; i < ui->serialList->count(); ++i)
        listed << ui->serialList->itemText(i);
    QCOMPARE(listed, expected);

    QCOMPARE(connectionState(), polling);
    QCOMPARE(radioDevice, device);
    QCOMPARE(ui->tab_all->widget(0)->objectName(), QStringLiteral("tab_08A3_config"));

    scanTimer->stop();
    a->clearRequests();
    tick();
    QCOMPARE(hexList(a->requests()), QStringList({"04"}));
    QVERIFY(b->requests().isEmpty());
}

void tst_Window::saveWithoutDeviceDoesNothing_data()
{
    QTest::addColumn<int>("productCode");
    QTest::addColumn<Connection>("state");
    QTest::newRow("08A3 page at start") << 0x08A3 << Connection::Start;
    QTest::newRow("04F2 page at start") << 0x04F2 << Connection::Start;
    QTest::newRow("08A3 page after a failed identification") << 0x08A3 << Connection::IdentificationFailed;
    QTest::newRow("04F2 page after a disconnect") << 0x04F2 << Connection::Disconnected;
}

void tst_Window::saveWithoutDeviceDoesNothing()
{
    QFETCH(int, productCode);
    QFETCH(Connection, state);

    SimulatedBoard *board = startBoard(productCode);
    QVERIFY2(board, qPrintable(m_error));
    openWindow({board->devicePath()});
    if (state == Connection::IdentificationFailed) {
        BoardFaults silent;
        silent.silent = true;
        board->setFaults(silent);
        QVERIFY(selectPort(board->devicePath()));
        ui->btnSerialConnect->click();
    } else if (state == Connection::Disconnected) {
        QCOMPARE(connectAndHold(board), expectedState(Connection::Polling, productCode));
        ui->btnSerialDisconnect->click();
    }
    QCOMPARE(connectionState(), expectedState(state));
    QVERIFY(!radioDevice);

    button(productCode, "save")->click();
    QVERIFY(commandQueue.isEmpty());
    QVERIFY(!radioDevice);
    QCOMPARE(connectionState(), expectedState(state));
}

void tst_Window::pollingRateAndDisconnect()
{
    // The one test on the real timer: 300 ms between status reads, and
    // nothing at all once Disconnect has been clicked.
    SimulatedBoard *board = startBoard(0x08A3);
    QVERIFY2(board, qPrintable(m_error));
    openWindow({board->devicePath()});
    QVERIFY(selectPort(board->devicePath()));
    ui->btnSerialConnect->click();
    QCOMPARE(connectionState(), expectedState(Connection::Polling, 0x08A3));
    board->clearRequests();

    QTest::qWait(1200);
    const QStringList polled = hexList(board->requests());
    QVERIFY2(polled.size() >= 2 && polled.size() <= 5, qPrintable(polled.join(QLatin1Char(' '))));
    QCOMPARE(polled, QStringList(polled.size(), QStringLiteral("04")));

    ui->btnSerialDisconnect->click();
    QCOMPARE(connectionState(), expectedState(Connection::Disconnected));
    board->clearRequests();
    QTest::qWait(1000);
    QCOMPARE(hexList(board->requests()), QStringList());
}

QTEST_MAIN(tst_Window)
#include "tst_window.moc"

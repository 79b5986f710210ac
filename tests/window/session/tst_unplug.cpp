// A board pulled out while the window polls it: the window must stay
// responsive (short ticks, no busy loop on the dead line) and must connect to
// the next board once it is back. Runs the real poll timer against the
// simulated board, offscreen.
#include <QAction>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <memory>

#include "Halvero_configurator.h"
#include "boards.h"
#include "simulatedboard.h"
#include "ui_Halvero_configurator.h"
#include "windowfixture.h"
#include "windowprobe.h"

using Probe::Connection;
using TestSupport::identityOf;

namespace {

// Ticks that take longer than this make the window feel frozen; a healthy
// exchange costs the 100 ms quiet gap plus the reply's transfer.
constexpr qint64 MaxTickMs = 200;
// A dead line polled every 300 ms should cost next to nothing.
constexpr double MaxCpuShare = 0.05;
constexpr int MeasureMs = 2000;

// Times every tick of the poll timer, whoever runs the event loop: the event
// arrives here just before the window's slot runs, and the slot connected
// after the window's runs just after it returns.
class TickClock : public QObject
{
public:
    TickClock()
    {
        scanTimer->installEventFilter(this);
        m_after = connect(scanTimer, &QTimer::timeout, this, [this] {
            if (m_started.isValid()) {
                m_durations.append(m_started.elapsed());
                m_started.invalidate();
            }
        });
    }
    ~TickClock() override
    {
        scanTimer->removeEventFilter(this);
        disconnect(m_after);
    }

    int count() const { return int(m_durations.size()); }
    qint64 longestSince(int from) const
    {
        qint64 longest = 0;
        for (int i = from; i < m_durations.size(); ++i)
            longest = std::max(longest, m_durations.at(i));
        return longest;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == scanTimer && event->type() == QEvent::Timer)
            m_started.start();
        return false;
    }

private:
    QElapsedTimer m_started;
    QList<qint64> m_durations;
    QMetaObject::Connection m_after;
};

bool received(const SimulatedBoard &board, const QByteArray &request)
{
    return board.requests().contains(request);
}

} // namespace

class tst_Unplug : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void pulledWhilePolling_data();
    void pulledWhilePolling();
};

void tst_Unplug::init()
{
    WindowFixture::resetGlobals();
}

void tst_Unplug::cleanup()
{
    WindowFixture::resetGlobals();
}

void tst_Unplug::pulledWhilePolling_data()
{
    QTest::addColumn<int>("productCode");
    QTest::addColumn<int>("pullAfter");    // requests the board still answers after polling began
    QTest::addColumn<int>("queuedAtPull"); // Read CONF clicks waiting when the cable goes
    QTest::addColumn<int>("nextProduct");  // the board plugged in afterwards

    QTest::newRow("08A3 pulled after one poll") << 0x08A3 << 1 << 0 << 0x08A3;
    QTest::newRow("08A3 pulled with commands queued") << 0x08A3 << 3 << 6 << 0x04F2;
    QTest::newRow("04F2 pulled after a few polls") << 0x04F2 << 4 << 0 << 0x04F2;
    QTest::newRow("04F2 pulled, 08A2 plugged in") << 0x04F2 << 2 << 2 << 0x08A2;
}

void tst_Unplug::pulledWhilePolling()
{
    QFETCH(int, productCode);
    QFETCH(int, pullAfter);
    QFETCH(int, queuedAtPull);
    QFETCH(int, nextProduct);

    auto board = std::make_unique<SimulatedBoard>(identityOf(productCode));
    QString error;
    QVERIFY2(board->start(&error), qPrintable(error));

    Halvero_configurator window;
    window.show();
    Ui_Halvero_configurator *ui = HalveroTestAccess::ui(window);
    // Here the window must go quiet once the board is gone. Reconnecting is
    // tst_cockpit's: left on, it would open whichever board another test
    // running beside this one has since put on the same pseudo-terminal.
    QAction *reconnect = window.findChild<QAction *>(QStringLiteral("actionAutoReconnect"));
    QVERIFY(reconnect);
    reconnect->setChecked(false);
    Probe::connectTo(window, board->devicePath());
    QCOMPARE(Probe::describeState(window), Probe::expectedState(Connection::Polling, productCode));

    TickClock clock;
    BoardFaults pull;
    pull.unplugAfter = pullAfter;
    board->setFaults(pull);
    QPushButton *readConf = TestSupport::isTriggerBoard(productCode) ? ui->btn_04F2_ReadConf : ui->btn_08A3_ReadConf;
    for (int i = 0; i < queuedAtPull; ++i)
        readConf->click();

    QTRY_VERIFY_WITH_TIMEOUT(!board->isRunning(), 10000);
    // The window notices on the next tick that the port has gone, and lets
    // go of the board: nothing stays queued for whichever board comes next.
    QTRY_COMPARE_WITH_TIMEOUT(Probe::describeState(window), Probe::expectedState(Connection::Lost, productCode), 3000);
    QVERIFY(commandQueue.isEmpty());
    QVERIFY2(ui->statusbar->currentMessage().startsWith("Connection lost at "),
             qPrintable(ui->statusbar->currentMessage()));
    QVERIFY2(clock.longestSince(0) <= MaxTickMs,
             qPrintable(QStringLiteral("a tick took %1 ms").arg(clock.longestSince(0))));

    const int ticksBefore = clock.count();
    const qint64 cpuBefore = Probe::cpuMicros();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(MeasureMs);
    const double cpuShare = double(Probe::cpuMicros() - cpuBefore) / (double(wall.elapsed()) * 1000.0);
    qInfo("unplugged: %d ticks in %lld ms, CPU %.2f %% of a core", clock.count() - ticksBefore, qint64(wall.elapsed()),
          cpuShare * 100.0);
    QCOMPARE(clock.count(), ticksBefore);
    QVERIFY2(cpuShare < MaxCpuShare, qPrintable(QStringLiteral("%1 %% CPU").arg(cpuShare * 100.0)));
    board.reset();

    // Connect works again once a board is back, and it gets only its own
    // identity and configuration reads, then the polls.
    SimulatedBoard next(identityOf(nextProduct));
    QVERIFY2(next.start(&error), qPrintable(error));
    Probe::connectTo(window, next.devicePath());
    QCOMPARE(Probe::describeState(window), Probe::expectedState(Connection::Polling, nextProduct));
    QCOMPARE(ui->line_product->text(), TestSupport::productText(nextProduct));
    QTRY_VERIFY_WITH_TIMEOUT(received(next, QByteArray("\x04")), 3000);
    QCOMPARE(next.requests().mid(0, 3),
             (QList<QByteArray>{QByteArray("\x01"), QByteArray("\x02"), QByteArray("\x04")}));
}

QTEST_MAIN(tst_Unplug)
#include "tst_unplug.moc"

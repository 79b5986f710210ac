// The window on a technician's laptop, without a board: every field stays
// reachable in a small window, a wheel turned over an editor without focus
// scrolls the page instead of changing it, the Tab chain and the screen
// reader's names follow the page, and the history and the operator's guide
// speak the operator's words.
#include <QAccessible>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QtTest/qtestspontaneevent.h>

#include "Halvero_configurator.h"
#include "historywords.h"
#include "portlist.h"
#include "screenfit.h"
#include "testaccess.h"
#include "ui_Halvero_configurator.h"

using Values = QMap<QString, int>;

namespace {

// The window with every page in its tab widget, shown at `size`.
struct ShownWindow
{
    Halvero_configurator window;
    Ui_Halvero_configurator *ui = HalveroTestAccess::ui(window);
    QScrollArea *area = window.findChild<QScrollArea *>(QStringLiteral("scroll_form"));

    enum When {
        AfterShow,
        BeforeShow
    };

    explicit ShownWindow(const QSize &size = QSize(), When when = AfterShow)
    {
        for (const char *page : {"tab_08A3_config", "tab_04F2_config", "tab_all_internal"})
            HalveroTestAccess::restorePage(window, QLatin1String(page));
        if (size.isValid() && when == BeforeShow)
            window.resize(size);
        window.show();
        window.activateWindow();
        active = QTest::qWaitForWindowActive(&window);
        if (size.isValid() && when == AfterShow) {
            window.resize(size);
            QTRY_COMPARE_WITH_TIMEOUT(window.size(), size, 2000);
        }
    }
    bool active = false;
};

// A wheel turn as the window system delivers it: spontaneous, so that the
// application hands it on to the parents of a widget that does not take it.
void turnWheel(QWidget *over, int notches)
{
    const QPointF at = QPointF(over->rect().center());
    QWheelEvent wheel(at, over->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&wheel);
    qApp->notify(over, &wheel);
}

} // namespace

class tst_Operator : public QObject
{
    Q_OBJECT

private slots:
    void everyFieldReachable_data();
    void everyFieldReachable();
    void opensWithinTheScreen();
    void docksStayOnTheScreen_data();
    void docksStayOnTheScreen();
    void docksSideBySide_data();
    void docksSideBySide();
    void longPortNameElidedInTheMiddle();
    void wheelNeedsFocus_data();
    void wheelNeedsFocus();
    void tabFollowsThePage();
    void screenReaderNames_data();
    void screenReaderNames();
    void historyInOperatorsWords_data();
    void historyInOperatorsWords();
    void guideOpensWithF1();
};

void tst_Operator::everyFieldReachable_data()
{
    QTest::addColumn<QSize>("size"); // invalid: as it opens
    QTest::addColumn<bool>("scrolls");
    QTest::newRow("as it opens") << QSize() << false;
    QTest::newRow("680 px tall") << QSize(701, 680) << true;
    QTest::newRow("small") << QSize(420, 300) << true;
}

void tst_Operator::everyFieldReachable()
{
    QFETCH(QSize, size);
    QFETCH(bool, scrolls);
    ShownWindow w(size);
    QVERIFY(w.area);
    if (!size.isValid()) // the form whole, as it always was
        QCOMPARE(w.window.size(), QSize(701, 715 + w.window.menuBar()->height()));
    QTRY_COMPARE(w.area->verticalScrollBar()->isVisible(), scrolls);
    // The status bar stays at the bottom, whole.
    QCOMPARE(w.window.statusBar()->geometry().bottom(), w.window.height() - 1);
    const QRect viewport = w.area->viewport()->rect();
    for (int page = 0; page < w.ui->tab_all->count(); ++page) {
        w.ui->tab_all->setCurrentIndex(page);
        QCoreApplication::processEvents(); // the page's layouts, once shown
        const auto editors = w.ui->tab_all->widget(page)->findChildren<QWidget *>(
            QRegularExpression(QStringLiteral("^(spin|combo|check|btn|line)_")));
        for (QWidget *editor : editors) {
            // Scrolled to, as far as the scroll bars go.
            const QPoint centre = editor->mapTo(w.area->widget(), editor->rect().center());
            w.area->ensureVisible(centre.x(), centre.y(), qMin(editor->width() / 2 + 1, viewport.width() / 2),
                                  qMin(editor->height() / 2 + 1, viewport.height() / 2));
            const QRect shown(editor->mapTo(w.area->viewport(), QPoint()), editor->size());
            // All of it, or as much as the viewport holds (the dump's text).
            const QRect seen = shown & viewport;
            QVERIFY2(seen.width() == qMin(shown.width(), viewport.width())
                         && seen.height() == qMin(shown.height(), viewport.height()),
                     qPrintable(editor->objectName()));
        }
    }
}

void tst_Operator::opensWithinTheScreen()
{
    // Wanting more than the screen has, it opens at what the screen has.
    ShownWindow w(QSize(701, 5000), ShownWindow::BeforeShow);
    QVERIFY(w.window.frameGeometry().height() <= w.window.screen()->availableGeometry().height());
}

void tst_Operator::docksStayOnTheScreen_data()
{
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QSize>("dock");
    QTest::addColumn<bool>("below");
    QTest::addColumn<QRect>("place");
    QTest::newRow("right of the window") << QRect(0, 0, 1920, 1080) << QSize(640, 440) << false
                                         << QRect(708, 0, 640, 440);
    // 1920 x 1080 at 200 %: no room beside the window.
    QTest::newRow("over its lower right")
        << QRect(0, 0, 960, 540) << QSize(640, 440) << false << QRect(320, 100, 640, 440);
    QTest::newRow("larger than the screen")
        << QRect(0, 0, 960, 540) << QSize(1000, 800) << true << QRect(0, 0, 960, 540);
}

void tst_Operator::docksStayOnTheScreen()
{
    QFETCH(QRect, screen);
    QFETCH(QSize, dock);
    QFETCH(bool, below);
    QFETCH(QRect, place);
    QCOMPARE(ScreenFit::besideWindow(QRect(0, 0, 701, 540), dock, screen, below), place);
}

void tst_Operator::docksSideBySide_data()
{
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QRect>("window");
    QTest::addColumn<bool>("besideWindow"); // the screen has room for both beside it
    QTest::newRow("1920 x 1080") << QRect(0, 0, 1920, 1040) << QRect(0, 0, 701, 560) << true;
    QTest::newRow("1920 x 1080 at 150 %") << QRect(0, 0, 1280, 693) << QRect(0, 0, 701, 693) << false;
    QTest::newRow("1920 x 1080 at 200 %") << QRect(0, 0, 960, 520) << QRect(0, 0, 701, 520) << false;
    QTest::newRow("1366 x 768, window centred") << QRect(0, 0, 1366, 728) << QRect(332, 84, 701, 560) << false;
}

void tst_Operator::docksSideBySide()
{
    QFETCH(QRect, screen);
    QFETCH(QRect, window);
    QFETCH(bool, besideWindow);
    // The messages first, then the plot, as the View menu opens them.
    const QRect messages = ScreenFit::besideWindow(window, QSize(620, 260), screen, true);
    const QRect plot = ScreenFit::besideWindow(window, QSize(640, 440), screen, false, {messages});
    for (const QRect &dock : {messages, plot}) {
        QVERIFY2(
            screen.contains(dock),
            qPrintable(QStringLiteral("%1,%2 %3x%4").arg(dock.x()).arg(dock.y()).arg(dock.width()).arg(dock.height())));
        QVERIFY(dock.width() >= 240 && dock.height() >= 160);
        if (besideWindow)
            QVERIFY(!dock.intersects(window));
    }
    QVERIFY(!messages.intersects(plot));
}

void tst_Operator::longPortNameElidedInTheMiddle()
{
    const QString path = QStringLiteral("/dev/serial/by-id/usb-Halvero_Parachute_Board_0123456789ABCDEF-if00-port7");
    qputenv("HALVERO_EXTRA_PORTS", QFile::encodeName(path));
    ShownWindow w;
    qunsetenv("HALVERO_EXTRA_PORTS");
    QCOMPARE(w.ui->serialList->currentText(), path);
    // Its whole name in the tool tip; in the list, the kind of port and
    // which one, its middle left out.
    QCOMPARE(w.ui->serialList->toolTip(), path);
    const QString shown = PortList::shownText(w.ui->serialList);
    QVERIFY2(shown.startsWith(path.left(3)) && shown.endsWith(path.right(3)) && shown.contains(QChar(0x2026)),
             qPrintable(shown));
}

void tst_Operator::wheelNeedsFocus_data()
{
    QTest::addColumn<QString>("editor");
    QTest::newRow("channel 6 failsafe") << "spin_08A3_val_ch6";
    QTest::newRow("group 3 refresh rate") << "combo_08A3_gr3_frq";
}

void tst_Operator::wheelNeedsFocus()
{
    QFETCH(QString, editor);
    ShownWindow w(QSize(701, 400));
    QVERIFY(w.active);
    w.ui->tab_all->setCurrentWidget(w.ui->tab_08A3_config);
    auto *widget = w.window.findChild<QWidget *>(editor);
    w.area->ensureWidgetVisible(widget);
    const auto value = [widget] {
        if (auto *combo = qobject_cast<QComboBox *>(widget))
            return combo->currentIndex();
        return qobject_cast<QSpinBox *>(widget)->value();
    };
    const int before = value();
    QScrollBar *scroll = w.area->verticalScrollBar();
    const int position = scroll->value();
    QVERIFY(position > 0);

    w.ui->btnRefreshSerialPorts->setFocus();
    turnWheel(widget, 1);
    QCOMPARE(value(), before);
    QVERIFY2(scroll->value() < position, "the page did not scroll");
    QVERIFY(!widget->hasFocus());

    // Clicked into, it takes the wheel as usual.
    widget->setFocus();
    turnWheel(widget, -1);
    QVERIFY(value() != before);
}

void tst_Operator::tabFollowsThePage()
{
    ShownWindow w;
    HalveroTestAccess::hideAllPages(w.window);
    HalveroTestAccess::restorePage(w.window, QStringLiteral("tab_08A3_config"));
    QStringList expected = {"btnRefreshSerialPorts",
                            "serialList",
                            "serialBauds",
                            "btnSerialConnect",
                            "btnSerialDisconnect",
                            "line_connect",
                            "line_product",
                            "line_fw_ver",
                            "line_UUID",
                            "tab_all",
                            "btn_08A3_ReadConf",
                            "btn_08A3_SaveConf",
                            "btn_08A3_SetDefaults",
                            "line_08A3_trig_val",
                            "line_08A3_trig_freq",
                            "check_08A3_active_low",
                            "spin_08A3_trig_high",
                            "spin_08A3_trig_low"};
    for (int group = 1; group <= 3; ++group) {
        expected << QStringLiteral("combo_08A3_gr%1_bank").arg(group)
                 << QStringLiteral("combo_08A3_gr%1_frq").arg(group);
        for (int channel = group * 4 - 3; channel <= group * 4; ++channel)
            expected << QStringLiteral("spin_08A3_val_ch%1").arg(channel);
    }
    QStringList chain;
    const QSet<QString> named(expected.begin(), expected.end());
    for (QWidget *w2 = w.ui->btnRefreshSerialPorts; chain.size() < expected.size();) {
        if (named.contains(w2->objectName()) && !chain.contains(w2->objectName()))
            chain << w2->objectName();
        w2 = w2->nextInFocusChain();
        if (w2 == w.ui->btnRefreshSerialPorts)
            break;
    }
    QCOMPARE(chain, expected);
}

void tst_Operator::screenReaderNames_data()
{
    QTest::addColumn<QString>("widget");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("toolTip"); // how it starts
    QTest::newRow("a failsafe value") << "spin_08A3_val_ch3"
                                      << "Channel 3 failsafe"
                                      << "Channel 3 failsafe: 900 to 2100 µs.";
    QTest::newRow("a refresh rate") << "combo_08A3_gr2_frq"
                                    << "Group 2 refresh rate"
                                    << "Group 2 refresh rate: “50 Hz” or “400 Hz”.";
    QTest::newRow("a bank, beside the solder bridge's tip")
        << "combo_08A3_gr1_bank"
        << "Group 1 bank"
        << "<html><head/><body><p>Group 1 bank: “Bank A” or “Bank B or fixed value”.</p><p>To either use";
    QTest::newRow("a reading, by its caption") << "line_04F2_battery_voltage"
                                               << "Battery voltage"
                                               << "";
    QTest::newRow("the serial number, by its caption") << "line_UUID"
                                                       << "Serial"
                                                       << "";
}

void tst_Operator::screenReaderNames()
{
    QFETCH(QString, widget);
    QFETCH(QString, name);
    QFETCH(QString, toolTip);
    ShownWindow w;
    auto *found = w.window.findChild<QWidget *>(widget);
    QVERIFY(found);
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(found);
    QVERIFY(accessible);
    // A list's accessible name on Linux is its current item (its label comes
    // as a relation); elsewhere it is the name given.
    QCOMPARE(qobject_cast<QComboBox *>(found) ? found->accessibleName() : accessible->text(QAccessible::Name), name);
    if (!toolTip.isEmpty())
        QVERIFY2(found->toolTip().startsWith(toolTip), qPrintable(found->toolTip()));
}

void tst_Operator::historyInOperatorsWords_data()
{
    QTest::addColumn<QString>("phase");
    QTest::addColumn<Values>("before");
    QTest::addColumn<Values>("after");
    QTest::addColumn<QString>("words");
    QTest::newRow("a write") << "after" << Values{{"groups[1].bank", 0}, {"failsafe[0]", 1000}}
                             << Values{{"groups[1].bank", 1}, {"failsafe[0]", 1500}}
                             << "group 2 bank: Bank A → Bank B or fixed value, channel 1 failsafe: 1000 → 1500";
    QTest::newRow("the trigger") << "after" << Values{{"trigger.activeLow", 0}, {"groups[2].refreshRate", 1}}
                                 << Values{{"trigger.activeLow", 1}, {"groups[2].refreshRate", 0}}
                                 << "group 3 refresh rate: 400 Hz → 50 Hz, trigger active low: no → yes";
    QTest::newRow("a write that changed nothing") << "after" << Values{} << Values{} << "unchanged";
    QTest::newRow("changed by another hand")
        << "before" << Values{{"trigger.high", 1600}} << Values{{"trigger.high", 1750}}
        << "changed since its last entry: trigger High: 1600 → 1750";
}

void tst_Operator::historyInOperatorsWords()
{
    QFETCH(QString, phase);
    QFETCH(Values, before);
    QFETCH(Values, after);
    QFETCH(QString, words);
    BoardConfig older;
    older.family = BoardFamily::Switch08A3;
    for (const ConfigField &field : configFields(older.family))
        older.values.insert(field.path, field.min);
    BoardConfig newer = older;
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        older.values.insert(it.key(), it.value());
    for (auto it = after.cbegin(); it != after.cend(); ++it)
        newer.values.insert(it.key(), it.value());
    ConfigHistory::Entry entry;
    entry.phase = phase;
    ConfigHistory::EntryChanges changes{true, diffConfigs(older, newer)};
    QCOMPARE(HistoryWords::changes(entry, changes), words);
}

void tst_Operator::guideOpensWithF1()
{
    ShownWindow w;
    QTest::keyClick(&w.window, Qt::Key_F1);
    auto *guide = w.window.findChild<QDialog *>(QStringLiteral("dialog_guide"));
    QVERIFY(guide && guide->isVisible());
    // The page is the one shipped inside the program.
    const QString text = guide->findChild<QTextBrowser *>(QStringLiteral("text_guide"))->toPlainText();
    for (const char *topic : {"Connecting", "Bank B or fixed value", "Refresh rate", "Failsafe values", "Active low",
                              "Connection lost at", "Files", "History"})
        QVERIFY2(text.contains(QLatin1String(topic)), topic);
}

QTEST_MAIN(tst_Operator)
#include "tst_operator.moc"

// The window's parts without a board or a port: every family's page shows
// and reads back every value the board may hold, edits are marked on the
// field edited and nowhere else, the Board menu clicks the shown family's
// own buttons, and reconnection follows a port list the test plays.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include "Halvero_configurator.h"
#include "boardfamilies.h"
#include "configpage.h"
#include "editmarks.h"
#include "familyform.h"
#include "reconnection.h"
#include "testaccess.h"

Q_DECLARE_METATYPE(BoardFamily)
Q_DECLARE_METATYPE(FamilyForm::Command)

namespace {

// Every field at its minimum or maximum in turn, or, `beyond`, at a value
// the form has no item or range for (as a board may hold it).
BoardConfig configOf(BoardFamily family, bool beyond)
{
    BoardConfig config;
    config.family = family;
    config.productCode = Protocol::familyName(family);
    int n = 0;
    for (const ConfigField &field : configFields(family)) {
        int value = ++n % 2 ? field.max : field.min;
        if (beyond && !field.boolean)
            value = field.max + 1;
        config.values.insert(field.path, value);
    }
    return config;
}

// Another value the operator could pick in the field's editor.
void editOnce(QWidget *editor)
{
    if (auto *spin = qobject_cast<QSpinBox *>(editor))
        spin->setValue(spin->value() == spin->minimum() ? spin->minimum() + 1 : spin->minimum());
    else if (auto *combo = qobject_cast<QComboBox *>(editor))
        combo->setCurrentIndex(combo->currentIndex() == 0 ? 1 : 0);
    else if (auto *check = qobject_cast<QCheckBox *>(editor))
        check->toggle();
}

bool marked(const QWidget *editor)
{
    return editor->property("unsavedEdit").toBool();
}

} // namespace

class tst_Parts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void pageKeepsWhatTheBoardHolds_data();
    void pageKeepsWhatTheBoardHolds();
    void editMarkedWhereMade_data();
    void editMarkedWhereMade();
    void boardMenuClicksTheFamilysButton_data();
    void boardMenuClicksTheFamilysButton();
    void buttonsWithoutSlotsRunTheirCommand();
    void reconnectionFollowsThePort_data();
    void reconnectionFollowsThePort();
    void portListAndRememberedPort();

private:
    QTemporaryDir m_settings;
};

void tst_Parts::initTestCase()
{
    // What reconnection remembers stays in the test's own folder, also when
    // the test is run by hand.
    QVERIFY(m_settings.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
}

void tst_Parts::init()
{
    QSettings(QStringLiteral("Halvero"), QStringLiteral("halvero-configurator")).clear();
}

void tst_Parts::pageKeepsWhatTheBoardHolds_data()
{
    QTest::addColumn<BoardFamily>("family");
    QTest::addColumn<bool>("beyond");
    for (BoardFamily family : Protocol::knownFamilies()) {
        const QString name = Protocol::familyName(family);
        QTest::newRow(qPrintable(name + " at its bounds")) << family << false;
        QTest::newRow(qPrintable(name + " beyond the form")) << family << true;
    }
}

void tst_Parts::pageKeepsWhatTheBoardHolds()
{
    QFETCH(BoardFamily, family);
    QFETCH(bool, beyond);
    Halvero_configurator window;
    ConfigPage *page = HalveroTestAccess::page(window);
    const BoardConfig held = configOf(family, beyond);
    page->show(held);
    QCOMPARE(page->read(held).values, held.values);
    // Shown the other way round and back: nothing of the first stays.
    page->show(configOf(family, !beyond));
    page->show(held);
    QCOMPARE(page->read(held).values, held.values);
    for (const ConfigField &field : configFields(family)) {
        QWidget *editor = page->editor(family, field);
        QVERIFY2(editor, qPrintable(field.path));
        if (beyond && !field.boolean)
            QVERIFY2(editor->toolTip().contains(QString::number(field.max + 1)), qPrintable(editor->toolTip()));
    }
}

void tst_Parts::editMarkedWhereMade_data()
{
    QTest::addColumn<BoardFamily>("family");
    QTest::addColumn<QString>("path");
    for (BoardFamily family : Protocol::knownFamilies())
        for (const ConfigField &field : configFields(family))
            QTest::newRow(qPrintable(Protocol::familyName(family) + QLatin1Char(' ') + field.path))
                << family << field.path;
}

void tst_Parts::editMarkedWhereMade()
{
    QFETCH(BoardFamily, family);
    QFETCH(QString, path);
    Halvero_configurator window;
    ConfigPage *page = HalveroTestAccess::page(window);
    const BoardConfig held = configOf(family, false);
    page->show(held);
    EditMarks marks(page, [&] { return PageDifferences{family, diffConfigs(held, page->read(held))}; });
    const QList<ConfigField> fields = configFields(family);
    const auto field = std::find_if(fields.begin(), fields.end(), [&](const ConfigField &f) { return f.path == path; });
    QWidget *editor = page->editor(family, *field);
    QVERIFY2(editor, qPrintable(path + " has no editor"));
    const QString toolTip = editor->toolTip();

    editOnce(editor);
    marks.update();
    // A field the window only shows is written as the board holds it: an
    // edit there is no edit.
    QCOMPARE(marks.anyMarked(), !field->displayOnly);
    QCOMPARE(marked(editor), !field->displayOnly);
    if (!field->displayOnly)
        QVERIFY2(
            editor->toolTip().startsWith(
                QStringLiteral("The board holds %1.").arg(page->valueText(family, *field, held.values.value(path)))),
            qPrintable(editor->toolTip()));
    for (QWidget *other : page->editors())
        QVERIFY2(other == editor || !marked(other), qPrintable(other->objectName()));

    page->show(held);
    marks.update();
    QVERIFY(!marks.anyMarked());
    QVERIFY(!marked(editor));
    QCOMPARE(editor->toolTip(), toolTip);
}

void tst_Parts::boardMenuClicksTheFamilysButton_data()
{
    QTest::addColumn<BoardFamily>("family");
    QTest::addColumn<FamilyForm::Command>("command");
    QTest::addColumn<QString>("action");
    for (BoardFamily family : Protocol::knownFamilies()) {
        const QString name = Protocol::familyName(family);
        QTest::newRow(qPrintable(name + " Read CONF")) << family << FamilyForm::Command::Read << "actionReadConf";
        QTest::newRow(qPrintable(name + " Save CONF")) << family << FamilyForm::Command::Save << "actionSaveConf";
        QTest::newRow(qPrintable(name + " Set defaults"))
            << family << FamilyForm::Command::Defaults << "actionSetDefaults";
    }
}

void tst_Parts::boardMenuClicksTheFamilysButton()
{
    QFETCH(BoardFamily, family);
    QFETCH(FamilyForm::Command, command);
    QFETCH(QString, action);
    Halvero_configurator window;
    HalveroTestAccess::session(window)->setHeld(configOf(family, false));
    QMap<QString, int> clicks;
    for (BoardFamily f : Protocol::knownFamilies()) {
        const QString name = FamilyForm::buttonName(f, command);
        auto *button = window.findChild<QPushButton *>(name);
        QVERIFY2(button, qPrintable(name));
        connect(button, &QPushButton::clicked, this, [&clicks, name] { ++clicks[name]; });
    }
    // The action waits for a shown page; the button's slot then finds no
    // board and queues nothing.
    QAction *menuAction = window.findChild<QAction *>(action);
    menuAction->setEnabled(true);
    menuAction->trigger();
    QCOMPARE(clicks, (QMap<QString, int>{{FamilyForm::buttonName(family, command), 1}}));
    QVERIFY(commandQueue.isEmpty());
}

// The buttons of a family with no slots by name (every family after the
// first two) reach the page's commands through the family form: each its
// own command, once.
void tst_Parts::buttonsWithoutSlotsRunTheirCommand()
{
    using Command = FamilyForm::Command;
    QWidget window; // a window without any on_…_clicked slot
    QMap<QPushButton *, Command> made;
    for (BoardFamily family : Protocol::knownFamilies())
        for (Command command : {Command::Read, Command::Save, Command::Defaults}) {
            auto *button = new QPushButton(&window);
            button->setObjectName(FamilyForm::buttonName(family, command));
            made.insert(button, command);
        }
    QList<Command> ran;
    FamilyForm::connectButtonsWithoutSlots(&window, [&ran](Command command) { ran << command; });
    for (auto it = made.cbegin(); it != made.cend(); ++it) {
        ran.clear();
        it.key()->click();
        QCOMPARE(ran, QList<Command>{it.value()});
    }
}

void tst_Parts::reconnectionFollowsThePort_data()
{
    QTest::addColumn<bool>("automatic");
    QTest::addColumn<QStringList>("present"); // the ports there at each attempt
    QTest::addColumn<QStringList>("said");    // attempt due ("due: …") or what it waits with
    const QString away = QStringLiteral("Reconnecting to ttyACM0 (attempt %1): waiting for the board to be plugged in "
                                        "(connection lost at 10:31:05).");
    QTest::newRow("back at once") << true << QStringList{"ttyACM0"}
                                  << QStringList{"due: Reconnecting to ttyACM0 (attempt 1)"};
    QTest::newRow("away, then back") << true << QStringList{"", "ttyUSB1", "ttyACM0"}
                                     << QStringList{away.arg(1), away.arg(2),
                                                    "due: Reconnecting to ttyACM0 (attempt 3)"};
    QTest::newRow("not automatic") << false << QStringList{"ttyACM0"} << QStringList();
}

void tst_Parts::reconnectionFollowsThePort()
{
    QFETCH(bool, automatic);
    QFETCH(QStringList, present);
    QFETCH(QStringList, said);
    QString there;
    Reconnection reconnection(nullptr, {}, [&there](const QString &port) { return port == there; });
    reconnection.setAutomatic(automatic);
    QStringList heard;
    connect(&reconnection, &Reconnection::attemptDue, this,
            [&heard](const QString &port, int baud, const QString &trying) {
                QCOMPARE(port, QStringLiteral("ttyACM0"));
                QCOMPARE(baud, 115200);
                heard << QStringLiteral("due: ") + trying;
            });
    connect(&reconnection, &Reconnection::waiting, this, [&heard](const QString &sentence) { heard << sentence; });
    QCOMPARE(reconnection.start(QStringLiteral("ttyACM0"), 115200, QTime(10, 31, 5)), automatic);
    QCOMPARE(reconnection.active(), automatic);
    for (const QString &port : std::as_const(present)) {
        if (!reconnection.active())
            break;
        there = port;
        reconnection.attempt();
    }
    QCOMPARE(heard, said);

    // Switched off while trying, the attempts stop and say so.
    QSignalSpy stopped(&reconnection, &Reconnection::stopped);
    reconnection.setAutomatic(false);
    QCOMPARE(stopped.count(), automatic ? 1 : 0);
    QVERIFY(!reconnection.active());
}

void tst_Parts::portListAndRememberedPort()
{
    QStringList ports{QStringLiteral("ttyACM0")};
    Reconnection reconnection(nullptr, [&ports] { return ports; }, {});
    QSignalSpy changed(&reconnection, &Reconnection::portsChanged);
    reconnection.setShownPorts(ports);
    reconnection.checkPorts();
    QCOMPARE(changed.count(), 0);
    ports << QStringLiteral("ttyUSB0");
    reconnection.checkPorts();
    reconnection.checkPorts(); // until the list shows it
    QCOMPARE(changed.count(), 2);
    reconnection.setShownPorts(ports);
    reconnection.checkPorts();
    QCOMPARE(changed.count(), 2);

    reconnection.remember(QStringLiteral("ttyUSB0"), 57600);
    reconnection.setAutomatic(false);
    const Reconnection nextStart;
    QCOMPARE(nextStart.rememberedPort(), QStringLiteral("ttyUSB0"));
    QCOMPARE(nextStart.rememberedBaud(), QStringLiteral("57600"));
    QVERIFY(!nextStart.automatic());
}

QTEST_MAIN(tst_Parts)
#include "tst_parts.moc"

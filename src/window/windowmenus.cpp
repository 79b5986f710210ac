// The menu bar and what hangs off it: file, board, view and help actions,
// the message log, the window title, which actions a board must be there
// for, help and about, and closing the window.
#include "Halvero_configurator.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QFontDatabase>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>

#include "confighistory.h"
#include "fieldhelp.h"
#include "halvero_version.h"
#include "historydialog.h"
#include "keyboardorder.h"
#include "messagelog.h"
#include "noticepanel.h"
#include "operatorguide.h"
#include "recordtext.h"
#include "screenfit.h"
#include "ui_Halvero_configurator.h"
#include "wheelguard.h"

namespace {

// The popup of the port list shows each port's description after its name;
// the closed list shows the name alone, which is what Connect opens.
class PortItemDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const QString description = index.data(PortDescriptionRole).toString();
        if (!description.isEmpty())
            option->text += QStringLiteral("  —  ") + description;
    }
};

void fitPortPopup(QComboBox *list)
{
    int widest = 0;
    for (int i = 0; i < list->count(); ++i)
        widest = qMax(widest, list->view()->sizeHintForIndex(list->model()->index(i, 0)).width());
    list->view()->setMinimumWidth(widest + 2 * list->view()->frameWidth() + 8);
}

// The README shipped with the package, else the one of the source tree
// this program was built from.
QString readmePath()
{
    const QStringList candidates = {
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../share/doc/halvero-configurator/README.md")),
        QStringLiteral("/usr/share/doc/halvero-configurator/README.md"),
        QStringLiteral(HALVERO_SOURCE_README),
    };
    for (const QString &path : candidates)
        if (QFileInfo(path).isFile())
            return QFileInfo(path).canonicalFilePath();
    return QString();
}

} // namespace

// Docked, a dock would take its room from the fixed form: it floats (and
// cannot be docked back), hidden until its View action shows it. The first
// time it shows, it goes where the screen has room for it beside the
// window, `below` or to the right first, else over the window's lower right.
void Halvero_configurator::floatDock(QDockWidget *dock, const QSize &size, bool below)
{
    dock->hide();
    addDockWidget(Qt::BottomDockWidgetArea, dock);
    dock->setAllowedAreas(Qt::NoDockWidgetArea);
    dock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    dock->setFloating(true);
    dock->resize(size);
    connect(dock, &QDockWidget::visibilityChanged, this, [this, dock, below](bool visible) {
        if (!visible || dock->property("placed").toBool())
            return;
        dock->setProperty("placed", true);
        const QSize frame = dock->frameGeometry().size() - dock->size();
        const QRect place = ScreenFit::besideWindow(frameGeometry(), dock->frameGeometry().size(),
                                                    this->screen()->availableGeometry(), below);
        dock->resize(dock->size().boundedTo(place.size() - frame));
        dock->move(place.topLeft());
    });
}

void Halvero_configurator::setupCockpit()
{
    // The form's width stays; the window grows by the menu bar's height.
    const QSize formSize = size();
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("menubar"));
    const auto addAction = [this](QMenu *menu, const char *name, const QString &text) {
        auto *action = new QAction(text, this);
        action->setObjectName(QLatin1String(name));
        menu->addAction(action);
        return action;
    };
    const auto menu = [bar](const char *name, const QString &title) {
        QMenu *m = bar->addMenu(title);
        m->setObjectName(QLatin1String(name));
        return m;
    };

    QMenu *file = menu("menuFile", tr("&File"));
    actionSaveConfigFile = addAction(file, "actionSaveConfigFile", tr("&Save the board's configuration to file…"));
    QAction *savePage = addAction(file, "actionSavePageFile", tr("Save the &page (with its edits) to file…"));
    actionLoadConfigFile = addAction(file, "actionLoadConfigFile", tr("&Load configuration from file…"));
    actionLoadConfigFile->setShortcut(QKeySequence::Open);
    file->addSeparator();
    actionSaveDump = addAction(file, "actionSaveDump", tr("Save EEPROM &dump…"));
    actionRecordStatus = addAction(file, "actionRecordStatus", tr("&Record live status to CSV…"));
    actionRecordStatus->setCheckable(true);
    file->addSeparator();
    QAction *quit = addAction(file, "actionQuit", tr("&Quit"));
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);
    connect(actionSaveConfigFile, &QAction::triggered, this, [this] { saveConfigFile(false); });
    connect(savePage, &QAction::triggered, this, [this] { saveConfigFile(true); });
    connect(actionSaveConfigFile, &QAction::changed, savePage,
            [this, savePage] { savePage->setEnabled(actionSaveConfigFile->isEnabled()); });
    connect(actionLoadConfigFile, &QAction::triggered, this, &Halvero_configurator::loadConfigFile);
    connect(actionSaveDump, &QAction::triggered, this, &Halvero_configurator::saveDump);
    connect(actionRecordStatus, &QAction::toggled, this, &Halvero_configurator::setRecording);
    connect(quit, &QAction::triggered, this, &QWidget::close);

    // The board's commands go through the page's buttons, questions and all.
    // None that writes has a shortcut.
    QMenu *board = menu("menuBoard", tr("&Board"));
    actionReadConf = addAction(board, "actionReadConf", tr("&Read CONF"));
    actionReadConf->setShortcut(QKeySequence::Refresh);
    actionSaveConf = addAction(board, "actionSaveConf", tr("&Save CONF"));
    actionSetDefaults = addAction(board, "actionSetDefaults", tr("Set &defaults…"));
    actionEepromDump = addAction(board, "actionEepromDump", tr("&EEPROM DUMP"));
    connect(actionReadConf, &QAction::triggered, this, [this] { familyButton("read")->click(); });
    connect(actionSaveConf, &QAction::triggered, this, [this] { familyButton("save")->click(); });
    connect(actionSetDefaults, &QAction::triggered, this, [this] { familyButton("defaults")->click(); });
    connect(actionEepromDump, &QAction::triggered, ui->btnEEPROM_DUMP, &QPushButton::click);
    board->addSeparator();
    actionHistory = addAction(board, "actionHistory", tr("Configuration &history…"));
    connect(actionHistory, &QAction::triggered, this, &Halvero_configurator::showHistory);
    board->addSeparator();
    actionAutoReconnect = addAction(board, "actionAutoReconnect", tr("Reconnect &automatically"));
    actionAutoReconnect->setCheckable(true);
    actionAutoReconnect->setChecked(true);

    QMenu *view = menu("menuView", tr("&View"));
    messageLog = new MessageLog(this);
    floatDock(messageLog, QSize(620, 260), true);
    QAction *messages = messageLog->toggleViewAction();
    messages->setObjectName(QStringLiteral("actionMessages"));
    messages->setText(tr("&Messages"));
    view->addAction(messages);
    view->addAction(setupLiveStatus());
    connect(ui->statusbar, &QStatusBar::messageChanged, this, [this](const QString &text) {
        if (!text.isEmpty() && !logQuiet)
            messageLog->add(text);
    });
    MessageLog::elideMessagesOf(ui->statusbar);
    MessageLog::ignoreEmptyStatusTips(this);

    QMenu *help = menu("menuHelp", tr("&Help"));
    QAction *contents = addAction(help, "actionHelp", tr("Operator's &guide"));
    contents->setShortcut(QKeySequence::HelpContents);
    connect(contents, &QAction::triggered, this, [this] { OperatorGuide::showFor(this); });
    QAction *readme = addAction(help, "actionReadme", tr("&README for installers"));
    connect(readme, &QAction::triggered, this, &Halvero_configurator::showHelp);
    QAction *about = addAction(help, "actionAbout", tr("&About"));
    about->setMenuRole(QAction::AboutRole);
    connect(about, &QAction::triggered, this, &Halvero_configurator::showAbout);

    // A dump is read column by column.
    ui->line_debug->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    ui->line_debug->setLineWrapMode(QPlainTextEdit::NoWrap);
    connect(ui->line_debug, &QPlainTextEdit::textChanged, this,
            [this] { actionSaveDump->setEnabled(!ui->line_debug->document()->isEmpty()); });

    ui->serialList->view()->setItemDelegate(new PortItemDelegate(ui->serialList->view()));
    fitPortPopup(ui->serialList);
    connect(ui->serialList->model(), &QAbstractItemModel::dataChanged, this, [this] { fitPortPopup(ui->serialList); });

    portRescanTimer = new QTimer(this);
    portRescanTimer->setInterval(1500);
    connect(portRescanTimer, &QTimer::timeout, this, &Halvero_configurator::rescanPorts);
    reconnectTimer = new QTimer(this);
    reconnectTimer->setInterval(1000);
    connect(reconnectTimer, &QTimer::timeout, this, &Halvero_configurator::tryReconnect);
    connect(actionAutoReconnect, &QAction::toggled, this, &Halvero_configurator::setAutoReconnect);

    watchPageEdits();
    actionSaveDump->setEnabled(false);
    updateCockpitState();

    // On a screen smaller than the form the form scrolls, below the notice
    // panel; the wheel scrolls it past the editors, Tab goes as it reads.
    noticePanel = new NoticePanel;
    ScreenFit::scrollForm(this, noticePanel);
    WheelGuard::guardEditorsIn(ui->centralwidget);
    KeyboardOrder::chain(KeyboardOrder::readingOrder(ui->centralwidget));
    FieldHelp::nameByCaptions(ui->centralwidget);
    ScreenFit::keepOnScreen(this);
    resize(formSize.width(), formSize.height() + bar->sizeHint().height());
}

QPushButton *Halvero_configurator::familyButton(const char *which) const
{
    const bool trigger = boardHeld.family == BoardFamily::Trigger04F2;
    const QByteArray what(which);
    if (what == "read")
        return trigger ? ui->btn_04F2_ReadConf : ui->btn_08A3_ReadConf;
    if (what == "save")
        return trigger ? ui->btn_04F2_SaveConf : ui->btn_08A3_SaveConf;
    return trigger ? ui->btn_04F2_SetDefaults : ui->btn_08A3_SetDefaults;
}

void Halvero_configurator::updateCockpitState()
{
    const bool connected = radioDevice && radioDevice->isConnected() && radioDevice->isIdentified();
    const bool page = connected && boardHeld.family != BoardFamily::Unknown && ui->tab_all->count() > 0;
    for (QAction *action : {actionSaveConfigFile, actionLoadConfigFile, actionReadConf, actionSaveConf,
                            actionSetDefaults, actionEepromDump})
        action->setEnabled(page);
    actionRecordStatus->setEnabled(connected || actionRecordStatus->isChecked());
    if (page)
        setWindowTitle(tr("Halvero software — %1 on %2[*]").arg(productCodeText(*radioDevice), connectedPort));
    else
        setWindowTitle(tr("Halvero software[*]"));
    // While nothing is connected the port list follows the ports that come and go.
    if (connected)
        portRescanTimer->stop();
    else if (!portRescanTimer->isActive())
        portRescanTimer->start();
    if (historyDialog)
        historyDialog->setBoard(boardHeld, page);
    updateEditMarks();
}

void Halvero_configurator::showRepeatedStatus(const QString &text, const QString &kind)
{
    logQuiet = true;
    showStatus(text);
    logQuiet = false;
    messageLog->add(text, kind);
}

void Halvero_configurator::showHistory()
{
    if (!historyDialog) {
        historyDialog = new HistoryDialog(this);
        connect(historyDialog, &HistoryDialog::placeRequested, this,
                [this](const BoardConfig &config, const QString &source) { placeInPage(config, source, false); });
    }
    const bool page = radioDevice && radioDevice->isConnected() && boardHeld.family != BoardFamily::Unknown
                      && ui->tab_all->count() > 0;
    historyDialog->setBoard(boardHeld, page);
    historyDialog->reload();
    historyDialog->show();
    historyDialog->raise();
    historyDialog->activateWindow();
}

void Halvero_configurator::showHelp()
{
    const QString readme = readmePath();
    if (readme.isEmpty())
        showStatus(tr("The README was not found: the package puts it in /usr/share/doc/halvero-configurator/, "
                      "the source tree has it at its top."));
    else if (!QDesktopServices::openUrl(QUrl::fromLocalFile(readme)))
        showStatus(tr("Could not open %1: no program is set to show it. Open it in a text editor.").arg(readme));
}

void Halvero_configurator::showAbout()
{
    const QString history = ConfigHistory::disabledByEnvironment()
                                ? tr("%1 (not recording: HALVERO_HISTORY is off)").arg(ConfigHistory::defaultPath())
                                : ConfigHistory::defaultPath();
    const QString readme = readmePath();
    QMessageBox box(QMessageBox::NoIcon, tr("About Halvero configurator"),
                    tr("Halvero configurator %1\n"
                       "Configures and monitors the boards of the Halvero parachute system.\n\n"
                       "Qt %2 (built with %3)\n"
                       "Configuration history: %4\n"
                       "README: %5")
                        .arg(QStringLiteral(HALVERO_VERSION), QString::fromLatin1(qVersion()),
                             QStringLiteral(QT_VERSION_STR), history,
                             readme.isEmpty() ? tr("not found") : readme),
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("dialog_about"));
    box.setTextFormat(Qt::PlainText);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.exec();
}

void Halvero_configurator::closeEvent(QCloseEvent *event)
{
    if (!confirmLeave(tr("Close anyway?"), tr("Close the configurator and discard them?"))) {
        event->ignore();
        return;
    }
    stopReconnecting();
    QMainWindow::closeEvent(event);
}

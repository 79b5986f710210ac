// The window's menus, their actions and enabled state, help and about.
#include "windowmenus.h"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QUrl>

#include "confighistory.h"
#include "floatingdock.h"
#include "halvero_version.h"
#include "messagelog.h"
#include "operatorguide.h"

namespace {

// The README shipped with the package, else the one of the source tree
// this program was built from.
QString readmePath()
{
    const QStringList candidates = {
        QDir(QCoreApplication::applicationDirPath())
            .filePath(QStringLiteral("../share/doc/halvero-configurator/README.md")),
        QStringLiteral("/usr/share/doc/halvero-configurator/README.md"),
        QStringLiteral(HALVERO_SOURCE_README),
    };
    for (const QString &path : candidates)
        if (QFileInfo(path).isFile())
            return QFileInfo(path).canonicalFilePath();
    return QString();
}

} // namespace

WindowMenus::WindowMenus(QMainWindow *window, QAction *plot)
    : QObject(window)
    , m_window(window)
{
    QMenuBar *bar = window->menuBar();
    bar->setObjectName(QStringLiteral("menubar"));
    const auto addAction = [window](QMenu *menu, const char *name, const QString &text) {
        auto *action = new QAction(text, window);
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
    m_saveConfigFile = addAction(file, "actionSaveConfigFile", tr("&Save the board's configuration to file…"));
    QAction *savePage = addAction(file, "actionSavePageFile", tr("Save the &page (with its edits) to file…"));
    m_loadConfigFile = addAction(file, "actionLoadConfigFile", tr("&Load configuration from file…"));
    m_loadConfigFile->setShortcut(QKeySequence::Open);
    file->addSeparator();
    m_saveDump = addAction(file, "actionSaveDump", tr("Save EEPROM &dump…"));
    m_recordStatus = addAction(file, "actionRecordStatus", tr("&Record live status to CSV…"));
    m_recordStatus->setCheckable(true);
    file->addSeparator();
    QAction *quit = addAction(file, "actionQuit", tr("&Quit"));
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);
    connect(m_saveConfigFile, &QAction::triggered, this, [this] { emit saveFileRequested(false); });
    connect(savePage, &QAction::triggered, this, [this] { emit saveFileRequested(true); });
    connect(m_saveConfigFile, &QAction::changed, savePage,
            [this, savePage] { savePage->setEnabled(m_saveConfigFile->isEnabled()); });
    connect(m_loadConfigFile, &QAction::triggered, this, &WindowMenus::loadFileRequested);
    connect(m_saveDump, &QAction::triggered, this, &WindowMenus::saveDumpRequested);
    connect(m_recordStatus, &QAction::toggled, this, &WindowMenus::recordingToggled);
    connect(quit, &QAction::triggered, window, &QWidget::close);

    // None that writes has a shortcut.
    QMenu *board = menu("menuBoard", tr("&Board"));
    m_readConf = addAction(board, "actionReadConf", tr("&Read CONF"));
    m_readConf->setShortcut(QKeySequence::Refresh);
    m_saveConf = addAction(board, "actionSaveConf", tr("&Save CONF"));
    m_setDefaults = addAction(board, "actionSetDefaults", tr("Set &defaults…"));
    m_eepromDump = addAction(board, "actionEepromDump", tr("&EEPROM DUMP"));
    connect(m_readConf, &QAction::triggered, this, [this] { emit boardCommand(FamilyForm::Command::Read); });
    connect(m_saveConf, &QAction::triggered, this, [this] { emit boardCommand(FamilyForm::Command::Save); });
    connect(m_setDefaults, &QAction::triggered, this, [this] { emit boardCommand(FamilyForm::Command::Defaults); });
    connect(m_eepromDump, &QAction::triggered, this, &WindowMenus::eepromDumpRequested);
    board->addSeparator();
    QAction *history = addAction(board, "actionHistory", tr("Configuration &history…"));
    connect(history, &QAction::triggered, this, &WindowMenus::historyRequested);
    board->addSeparator();
    m_autoReconnect = addAction(board, "actionAutoReconnect", tr("Reconnect &automatically"));
    m_autoReconnect->setCheckable(true);
    m_autoReconnect->setChecked(true);
    connect(m_autoReconnect, &QAction::toggled, this, &WindowMenus::automaticReconnectToggled);

    QMenu *view = menu("menuView", tr("&View"));
    m_messageLog = new MessageLog(window);
    floatDock(window, m_messageLog, QSize(620, 260), true);
    QAction *messages = m_messageLog->toggleViewAction();
    messages->setObjectName(QStringLiteral("actionMessages"));
    messages->setText(tr("&Messages"));
    view->addAction(messages);
    view->addAction(plot);
    MessageLog::elideMessagesOf(window->statusBar());
    MessageLog::ignoreEmptyStatusTips(window);

    QMenu *help = menu("menuHelp", tr("&Help"));
    QAction *contents = addAction(help, "actionHelp", tr("Operator's &guide"));
    contents->setShortcut(QKeySequence::HelpContents);
    connect(contents, &QAction::triggered, this, [window] { OperatorGuide::showFor(window); });
    QAction *readme = addAction(help, "actionReadme", tr("&README for installers"));
    connect(readme, &QAction::triggered, this, &WindowMenus::showReadme);
    QAction *about = addAction(help, "actionAbout", tr("&About"));
    about->setMenuRole(QAction::AboutRole);
    connect(about, &QAction::triggered, this, &WindowMenus::showAbout);

    m_saveDump->setEnabled(false);
}

void WindowMenus::setBoardState(bool connected, bool page)
{
    for (QAction *action : {m_saveConfigFile, m_loadConfigFile, m_readConf, m_saveConf, m_setDefaults, m_eepromDump})
        action->setEnabled(page);
    m_recordStatus->setEnabled(connected || m_recordStatus->isChecked());
}

void WindowMenus::setRecording(bool on)
{
    const QSignalBlocker quiet(m_recordStatus);
    m_recordStatus->setChecked(on);
}

void WindowMenus::setAutomaticReconnect(bool on)
{
    const QSignalBlocker quiet(m_autoReconnect);
    m_autoReconnect->setChecked(on);
}

void WindowMenus::setDumpShown(bool shown)
{
    m_saveDump->setEnabled(shown);
}

void WindowMenus::showReadme()
{
    const QString readme = readmePath();
    if (readme.isEmpty())
        m_window->statusBar()->showMessage(
            tr("The README was not found: the package puts it in /usr/share/doc/halvero-configurator/, "
               "the source tree has it at its top."));
    else if (!QDesktopServices::openUrl(QUrl::fromLocalFile(readme)))
        m_window->statusBar()->showMessage(
            tr("Could not open %1: no program is set to show it. Open it in a text editor.").arg(readme));
}

void WindowMenus::showAbout()
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
                       "Station: %5\n"
                       "Factory record: %6\n"
                       "README: %7")
                        .arg(QStringLiteral(HALVERO_VERSION), QString::fromLatin1(qVersion()),
                             QStringLiteral(QT_VERSION_STR), history, ConfigHistory::stationName(),
                             m_record.isEmpty() ? tr("none configured") : m_record,
                             readme.isEmpty() ? tr("not found") : readme),
                    QMessageBox::Ok, m_window);
    box.setObjectName(QStringLiteral("dialog_about"));
    box.setTextFormat(Qt::PlainText);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.exec();
}

// The menu bar and what hangs off it: the File, Board, View and Help menus
// with their actions (object names action…), the message log they show,
// help and about, and which actions a board must be there for. The board's
// commands go through the page's buttons, questions and all: the menus
// only say which command was asked for.
#ifndef HALVERO_WINDOWMENUS_H
#define HALVERO_WINDOWMENUS_H

#include <QObject>

#include "familyform.h"

QT_BEGIN_NAMESPACE
class QAction;
class QMainWindow;
QT_END_NAMESPACE
class MessageLog;

class WindowMenus : public QObject
{
    Q_OBJECT

public:
    // `plot`: the live plot's View action.
    WindowMenus(QMainWindow *window, QAction *plot);

    MessageLog *messageLog() const { return m_messageLog; }

    // Which actions can be taken: a board connected, its page shown.
    void setBoardState(bool connected, bool page);
    // Checked states set from outside, without their signals.
    void setRecording(bool on);
    void setAutomaticReconnect(bool on);
    // The Internal page holds a dump to save.
    void setDumpShown(bool shown);
    // The factory's record as About names it, its password masked; empty:
    // none configured.
    void setRecordShown(const QString &masked) { m_record = masked; }

signals:
    void saveFileRequested(bool page); // the board's configuration, or the page's
    void loadFileRequested();
    void saveDumpRequested();
    void recordingToggled(bool on);
    void boardCommand(FamilyForm::Command command);
    void eepromDumpRequested();
    void historyRequested();
    void automaticReconnectToggled(bool on);

private:
    void showReadme();
    void showAbout();

    QMainWindow *m_window;
    MessageLog *m_messageLog;
    QAction *m_saveConfigFile;
    QAction *m_loadConfigFile;
    QAction *m_saveDump;
    QAction *m_recordStatus;
    QAction *m_readConf;
    QAction *m_saveConf;
    QAction *m_setDefaults;
    QAction *m_eepromDump;
    QAction *m_autoReconnect;
    QString m_record;
};

#endif // HALVERO_WINDOWMENUS_H

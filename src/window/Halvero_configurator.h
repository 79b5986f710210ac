// Main window of the configurator: port list, connect/disconnect, the poll
// cycle with its command queue, and the views of the board's replies.
#ifndef HALVERO_CONFIGURATOR_H
#define HALVERO_CONFIGURATOR_H

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QMap>
#include <QString>
#include <QTime>
#include <cstdint>
#include <memory>

#include "boardconfig.h"
#include "lostwrite.h"
#include "dumprecord.h"
#include "parachuteradiocomm.h"
#include "writetransaction.h"

QT_BEGIN_NAMESPACE
class QAction;
class QCheckBox;
class QComboBox;
class QDockWidget;
class QLabel;
class QPushButton;
class QSpinBox;
class QTimer;
QT_END_NAMESPACE
class Ui_Halvero_configurator;
class HistoryDialog;
class LivePlot;
class MessageLog;
class NoticePanel;
class StatusRecorder;

// One command waiting for its turn on the poll timer. A configuration write
// or a Set defaults carries its transaction, made at the click: what it
// writes is fixed then, and it takes as many ticks as its exchanges need.
struct action
{
    USBmessages kind;
    bool write;
    USBmsgOptions option;
    std::unique_ptr<WriteTransaction> transaction = nullptr;
};

// Item data of the port list: the system's description of the port.
inline constexpr int PortDescriptionRole = Qt::UserRole + 1;

// Oldest first; owns its actions until the tick that sends them.
extern QList<action *> commandQueue;
// The one device object, or null when there is none.
extern parachuteRadioComm *radioDevice;
// Poll timer: one exchange per tick while a board is connected.
extern QTimer *scanTimer;

class Halvero_configurator : public QMainWindow
{
    Q_OBJECT

public:
    explicit Halvero_configurator(QWidget *parent = nullptr);
    ~Halvero_configurator() override;

    void scanSerialPorts();

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void on_btnRefreshSerialPorts_clicked();
    void on_btnSerialConnect_clicked();
    void on_btnSerialDisconnect_clicked();
    void on_btn_08A3_ReadConf_clicked();
    void on_btn_08A3_SaveConf_clicked();
    void on_btn_08A3_SetDefaults_clicked();
    void on_btnEEPROM_DUMP_clicked();
    void onScanTimeout();
    void parseResponse(uint8_t response);
    void on_btn_04F2_ReadConf_clicked();
    void on_btn_04F2_SaveConf_clicked();
    void on_btn_04F2_SetDefaults_clicked();

private:
    friend struct HalveroTestAccess; // lets the tests look at the page catalogue

    void restorePage(const QString &name);
    void hideAllPages();
    bool canQueue();
    void queueAction(USBmessages kind, bool write, USBmsgOptions option);
    void queueWrite(WriteTransaction::Operation operation, const BoardConfig &config);
    // Empties the queue; says what a write given up unsent was, if any.
    QString dropQueuedCommands();
    // The write transaction queued or under way, if any.
    const action *pendingWrite() const;
    // Before the board is let go (close, Disconnect): asks over a write not
    // finished (`anyway`: "Close anyway?") and over unsaved edits
    // (`discardEdits`); true to go on.
    bool confirmLeave(const QString &anyway, const QString &discardEdits);
    void runAction(const action &next);
    void stepWrite(action *next);
    void reportWrite(const WriteTransaction &write);
    void noteTickResult(uint8_t result);
    void setLiveStatusGreyed(bool greyed);
    void connectionLost(const QString &note = QString());
    QString closeConnection(const QString &state);
    void showStatus(const QString &text);
    // An outcome the operator must not miss: on the status bar, in the
    // message log and in the notice panel above the page until dismissed.
    void showNotice(const QString &text);
    void saveConf();

    // The configuration page and a configuration value, both ways. Every
    // value is shown for what it is: a byte the page has no item for gets an
    // item of its own, a pulse outside the spin box's range widens it, so
    // that the page read back gives the board's own values for every field
    // the operator did not touch.
    BoardConfig pageConfig() const;
    void showConfigInPage(const BoardConfig &config);
    // Called once the board's answered configuration is in boardHeld and
    // shown on the page.
    void boardConfigShown();
    // Why the page cannot be written as it stands; empty when it can.
    QString saveRefusal(const BoardConfig &page) const;
    // The page widget a configuration field shows in.
    QWidget *fieldWidget(const ConfigField &field) const;

    // Called after a decoded status reply is in the page.
    void statusReplyShown();

    // Connect's work, on a port and rate of the caller's choosing; true when
    // the board is identified, its configuration shown and polling started.
    bool openBoard(const QString &portName, int32_t baudRate);

    // The operator's cockpit around the form: menus and their actions
    // (windowmenus.cpp), unsaved-edit marks (editmarks.cpp), files
    // (configfiledialogs.cpp), remembered and re-established connections
    // (connectioncomfort.cpp).
    void setupCockpit();
    void floatDock(QDockWidget *dock, const QSize &size, bool below);
    void updateCockpitState(); // title, enabled actions, port rescans
    QPushButton *familyButton(const char *which) const;
    void showHelp();
    void showAbout();
    void showHistory();

    void watchPageEdits();
    void updateEditMarks();
    // A value of the board's family as its field's widget shows it.
    QString valueText(const ConfigField &field, int value) const;
    // Asks before unsaved edits are thrown away; true to go on.
    // `queueGoesOn`: the board stays connected, so edits a queued Save CONF
    // carries still reach it.
    bool confirmDiscardEdits(const QString &question, bool queueGoesOn = true);
    // The page's fields that differ from what the board holds, by path.
    QMap<QString, int> pageEdits() const;

    void saveConfigFile(bool page);
    void loadConfigFile();
    void saveDump();
    // What the page gets from a file or a history entry: `source` names it
    // in the status bar. False (with the reason shown) for another family.
    // With `showDifferences`, the operator first sees what it changes
    // (dialog_load_diff); else only unsaved edits are asked about.
    bool placeInPage(const BoardConfig &config, const QString &source, bool showDifferences);
    bool confirmDifferences(const QString &source, const QList<FieldDifference> &differences);

    void restoreSettings();
    // A board answered on `port`: remembered for the next start, and edits
    // kept from before a lost connection go back into the page when it is
    // the same board. True when they did.
    bool boardConnected(const QString &port, int baud);
    void rescanPorts();
    void startReconnecting(const QString &port, int baud);
    void stopReconnecting();
    void tryReconnect();
    void setAutoReconnect(bool on);
    // A status the message log keeps one line of while it repeats (the
    // reconnect attempts).
    void showRepeatedStatus(const QString &text, const QString &kind);

    // The plot's dock and the recording's status bar label; returns the
    // plot's View action.
    QAction *setupLiveStatus();
    void setRecording(bool on);

    Ui_Halvero_configurator *ui;
    QMap<QString, QWidget *> tabPages;
    QMap<QString, QString> tabTitles;

    // Every Connect, Disconnect and lost connection starts a new one, so a
    // decision the operator took for one board is not carried to another.
    int connectionGeneration = 0;
    // What the board answered the last configuration read or write with:
    // what the page's untouched fields are written as.
    BoardConfig boardHeld;
    // The form's own range and tool tip of each configuration widget, which
    // a value out of range widens and explains for as long as it is shown.
    QHash<const QWidget *, QPair<int, int>> formRanges;
    QHash<const QWidget *, QString> formToolTips;
    int silentTicks = 0; // ticks in a row with nothing decoded
    bool liveStatusGreyed = false;
    QString messageBeforeSilence; // shown again once the board answers
    QString connectedPort;        // as the operator picked it at Connect
    QTime lastReplyAt;

    // Cockpit state.
    QAction *actionSaveConfigFile = nullptr;
    QAction *actionLoadConfigFile = nullptr;
    QAction *actionSaveDump = nullptr;
    QAction *actionHistory = nullptr;
    QAction *actionRecordStatus = nullptr;
    QAction *actionReadConf = nullptr;
    QAction *actionSaveConf = nullptr;
    QAction *actionSetDefaults = nullptr;
    QAction *actionEepromDump = nullptr;
    QAction *actionAutoReconnect = nullptr;
    MessageLog *messageLog = nullptr;
    HistoryDialog *historyDialog = nullptr;
    QTimer *portRescanTimer = nullptr;
    QTimer *reconnectTimer = nullptr;
    QTimer *editMarksTimer = nullptr;
    int connectedBaud = 0;
    int reconnectAttempt = 0;
    QTime lostAt;
    bool logQuiet = false; // status messages not logged while set
    QDockWidget *plotDock = nullptr;
    LivePlot *livePlot = nullptr;
    QString plotSerial; // the board the plot's samples are of
    std::unique_ptr<StatusRecorder> recorder;
    QLabel *recordingLabel = nullptr;
    // The page's edits when the connection was lost, put back when the same
    // board answers again.
    BoardConfig editsAtLoss;
    // A write the connection was lost during, told once the board is back.
    LostWrite lostWrite;
    NoticePanel *noticePanel = nullptr;
    DumpRecord dumpRecord; // the Internal page's dump, with its board and time
};

#endif // HALVERO_CONFIGURATOR_H

// Main window of the configurator: the form, and the parts that do its work
// wired together — the board session (connect, poll tick, command queue),
// the configuration page, the unsaved-edit marks, reconnection, files, live
// status and the menus. The window keeps the form's slots and says on the
// status bar (and, for what must not be missed, in the notice panel) how
// each step ended.
#ifndef HALVERO_CONFIGURATOR_H
#define HALVERO_CONFIGURATOR_H

#include <QMainWindow>
#include <QMap>
#include <cstdint>

#include "boardconfig.h"
#include "boardsession.h"
#include "configfiles.h"
#include "connectionrow.h"
#include "dumprecord.h"
#include <QSerialPortInfo>

QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE
class Ui_Halvero_configurator;
class ConfigPage;
class EditMarks;
class HistoryDialog;
class LiveStatus;
class NoticePanel;
class RecordForwarder;
class Reconnection;
class WindowMenus;
struct PageDifferences;

class Halvero_configurator : public QMainWindow, private ConfigFiles::Host
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

    // Construction: the parts, their signals, the cockpit around the form.
    void wireParts();
    void fitToScreen();

    void showPorts(const QList<QSerialPortInfo> &ports);
    void restorePage(const QString &name);
    void hideAllPages();
    void setPagesGreyed(bool greyed);
    void showStatus(const QString &text);
    // An outcome the operator must not miss: on the status bar, in the
    // message log and in the notice panel above the page until dismissed.
    void showNotice(const QString &text);
    // A status the message log keeps one line of while it repeats (the
    // reconnect attempts).
    void showRepeatedStatus(const QString &text, const QString &kind);
    void updateCockpitState(); // title, enabled actions, port rescans

    // Connect's work, on a port and rate of the caller's choosing; true when
    // the board is identified, its configuration shown and polling started.
    // `whatHappened` gets the sentence that says how it ended.
    bool openBoard(const QString &portName, int32_t baudRate, QString *whatHappened = nullptr);
    // Lets the board go, the row in `state`; `keepPage` keeps its page in
    // view, greyed (a lost connection). Says what a write given up unsent
    // was, if any.
    QString closeConnection(ConnectionRow::State state, bool keepPage);
    void connectionLost(const SessionEvent &event);
    // A write lost with the connection: " whether the board took it is not
    // known" while the board is away, and what became of it once back.
    QString lostWriteNote() const;
    QString lostWriteSettled() const;
    // A board answered: edits kept from before a lost connection go back
    // into the page when it is the same board. True when they did.
    bool restoreKeptEdits();
    void tryReconnect(const QString &port, int baud, const QString &trying);
    void rescanPorts();
    void silenceChanged(bool silent);

    // The board's page.
    bool canQueue();
    void readConf();
    void saveConf();
    void setDefaults();
    void boardCommand(int command);
    void writeStepped(const WriteTransaction &write, bool done);
    // Called once the board's answered configuration is in the session and
    // shown on the page.
    void boardConfigShown();
    void showHistory();
    void showStationAndRecord();

    // Unsaved edits.
    PageDifferences pageDifferences() const;
    // Asks before unsaved edits are thrown away; true to go on.
    // `queueGoesOn`: the board stays connected, so edits a queued Save CONF
    // carries still reach it.
    bool confirmDiscardEdits(const QString &question, bool queueGoesOn);
    // Before the board is let go (close, Disconnect): asks over a write not
    // finished (`anyway`: "Close anyway?") and over unsaved edits
    // (`discardEdits`); true to go on.
    bool confirmLeave(const QString &anyway, const QString &discardEdits);

    // What the configuration files ask of the window.
    bool pageShown() const override;
    bool pageModified() const override;
    bool confirmDiscardEdits(const QString &question) override;
    void refreshEditMarks() override;

    Ui_Halvero_configurator *ui;
    ConnectionRow *row = nullptr;
    QMap<QString, QWidget *> tabPages;
    QMap<QString, QString> tabTitles;

    BoardSession *session = nullptr;
    ConfigPage *page = nullptr;
    EditMarks *marks = nullptr;
    Reconnection *reconnection = nullptr;
    ConfigFiles *files = nullptr;
    LiveStatus *live = nullptr;
    WindowMenus *menus = nullptr;
    HistoryDialog *historyDialog = nullptr; // made when first asked for
    RecordForwarder *record = nullptr;      // the factory's record, when configured
    NoticePanel *noticePanel = nullptr;

    QString lastStatus;           // the status bar's sentence, as the window last said it
    QString messageBeforeSilence; // shown again once the board answers
    bool lostPageKept = false;    // the lost board's page stays in view, greyed
    bool lostNoticeShown = false; // the notice says the connection was lost
    bool logQuiet = false;        // status messages not logged while set
    DumpRecord dumpRecord;        // the Internal page's dump, with its board and time
};

#endif // HALVERO_CONFIGURATOR_H

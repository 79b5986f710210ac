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
#include "parachuteradiocomm.h"
#include "writetransaction.h"

QT_BEGIN_NAMESPACE
class QCheckBox;
class QComboBox;
class QSpinBox;
class QTimer;
QT_END_NAMESPACE
class Ui_Halvero_configurator;

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
    void dropQueuedCommands();
    void runAction(const action &next);
    void stepWrite(action *next);
    void reportWrite(const WriteTransaction &write);
    void noteTickResult(uint8_t result);
    void setLiveStatusGreyed(bool greyed);
    void connectionLost(const QString &note = QString());
    void closeConnection(const QString &state);
    void showStatus(const QString &text);
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
};

#endif // HALVERO_CONFIGURATOR_H

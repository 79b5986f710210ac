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

#include "boardconfig.h"
#include "parachuteradiocomm.h"

QT_BEGIN_NAMESPACE
class QCheckBox;
class QComboBox;
class QSpinBox;
class QTimer;
QT_END_NAMESPACE
class Ui_Halvero_configurator;

// One command waiting for its turn on the poll timer.
struct action
{
    USBmessages kind;
    bool write;
    USBmsgOptions option;
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

    // Why a queued configuration read was queued by the window itself.
    enum class ReadBack { AfterSave, AfterDefaults };

    void restorePage(const QString &name);
    void hideAllPages();
    bool canQueue();
    void queueAction(USBmessages kind, bool write, USBmsgOptions option);
    void queueReadBack(ReadBack purpose);
    void dropQueuedCommands();
    void runAction(const action &next);
    bool recordHistory(const QString &event, const QString &phase, QString *error);
    void recordAfter(const QString &event);
    void noteTickResult(uint8_t result);
    void setLiveStatusGreyed(bool greyed);
    void connectionLost();
    void closeConnection(const QString &state);
    void showStatus(const QString &text);
    void saveTriggerInput(const QCheckBox *activeLow, const QSpinBox *high, const QSpinBox *low);
    QList<QSpinBox *> channelSpins() const; // failsafe spins, channel 1 first
    QList<QComboBox *> bankCombos() const;  // group 1 first
    QList<QComboBox *> rateCombos() const;  // group 1 first

    Ui_Halvero_configurator *ui;
    QMap<QString, QWidget *> tabPages;
    QMap<QString, QString> tabTitles;

    // Every Connect, Disconnect and lost connection starts a new one, so a
    // decision the operator took for one board is not carried to another.
    int connectionGeneration = 0;
    QHash<const action *, ReadBack> readBacks;
    BoardConfig lastWritten;       // what the last configuration write carried
    // What the board answered the last configuration read or write with: the
    // history's "before" of the next write. The record itself may already
    // hold the page's values, queued for a Save CONF.
    BoardConfig boardHeld;
    bool defaultsAnswered = false; // the board answered the last Set defaults
    int silentTicks = 0;           // ticks in a row with nothing decoded
    bool liveStatusGreyed = false;
    QTime lastReplyAt;
};

#endif // HALVERO_CONFIGURATOR_H

// Main window of the configurator: port list, connect/disconnect, the poll
// cycle with its command queue, and the views of the board's replies.
#ifndef HALVERO_CONFIGURATOR_H
#define HALVERO_CONFIGURATOR_H

#include <QList>
#include <QMainWindow>
#include <QMap>
#include <QString>
#include <cstdint>

#include "parachuteradiocomm.h"

QT_BEGIN_NAMESPACE
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

    void restorePage(const QString &name);
    void hideAllPages();
    void queueAction(USBmessages kind, bool write, USBmsgOptions option);
    QList<QSpinBox *> channelSpins() const; // failsafe spins, channel 1 first
    QList<QComboBox *> bankCombos() const;  // group 1 first
    QList<QComboBox *> rateCombos() const;  // group 1 first

    Ui_Halvero_configurator *ui;
    QMap<QString, QWidget *> tabPages;
    QMap<QString, QString> tabTitles;
};

#endif // HALVERO_CONFIGURATOR_H

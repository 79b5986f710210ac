// Tests of the main window form: the widget tree (names, classes, parents,
// cells, geometry, settings and creation order), its texts, the binding of the
// push buttons to the window's slots, and the window's page catalogue.
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOption>
#include <QTabWidget>
#include <QToolBar>
#include <QtTest>

#include <algorithm>
#include <cstddef>
#include <memory>

#include "Halvero_configurator.h"
#include "boardfamilies.h"
#include "testaccess.h"
#include "ui_Halvero_configurator.h"

namespace {

using MemberGetter = QObject *(*)(const Ui_Halvero_configurator &);

// One member of the form: where it lives and where it sits.
struct FormObject
{
    const char *name;
    const char *className;
    const char *parent;                   // owning widget; for a nested layout, the layout it sits in
    const char *layout;                   // layout holding it in a cell or box position; null when placed freely
    int row, column, rowSpan, columnSpan; // box layouts: row 0, column = position
    size_t offset;
    MemberGetter get;
};

#define OBJ(m, cls, parent, layout, r, c, rs, cs)                                                                      \
    FormObject                                                                                                         \
    {                                                                                                                  \
#m, cls, parent, layout, r, c, rs, cs, offsetof(Ui_Halvero_configurator, m),                                   \
            [](const Ui_Halvero_configurator &u) -> QObject * { return u.m; }                                          \
    }
#define FREE(m, cls, parent) OBJ(m, cls, parent, nullptr, -1, -1, 0, 0)
#define CELL(m, cls, parent, layout, r, c) OBJ(m, cls, parent, layout, r, c, 1, 1)

// Every member, in declaration (= creation) order.
const QList<FormObject> &formObjects()
{
    static const QList<FormObject> objects = {
        FREE(centralwidget, "QWidget", "Halvero_configurator"),
        FREE(layoutWidget, "QWidget", "centralwidget"),
        FREE(layout_serial, "QGridLayout", "layoutWidget"),
        CELL(btnRefreshSerialPorts, "QPushButton", "layoutWidget", "layout_serial", 0, 0),
        CELL(serialList, "QComboBox", "layoutWidget", "layout_serial", 0, 1),
        CELL(serialBauds, "QComboBox", "layoutWidget", "layout_serial", 0, 2),
        CELL(btnSerialDisconnect, "QPushButton", "layoutWidget", "layout_serial", 1, 1),
        CELL(btnSerialConnect, "QPushButton", "layoutWidget", "layout_serial", 1, 0),
        CELL(line_connect, "QLineEdit", "layoutWidget", "layout_serial", 1, 2),
        FREE(group_system, "QGroupBox", "centralwidget"),
        FREE(gridLayoutWidget_5, "QWidget", "group_system"),
        FREE(layout_PID, "QGridLayout", "gridLayoutWidget_5"),
        CELL(line_fw_ver, "QLineEdit", "gridLayoutWidget_5", "layout_PID", 1, 1),
        CELL(label_26, "QLabel", "gridLayoutWidget_5", "layout_PID", 1, 0),
        CELL(label_product, "QLabel", "gridLayoutWidget_5", "layout_PID", 0, 0),
        CELL(line_product, "QLineEdit", "gridLayoutWidget_5", "layout_PID", 0, 1),
        CELL(label_serial, "QLabel", "gridLayoutWidget_5", "layout_PID", 2, 0),
        CELL(line_UUID, "QLineEdit", "gridLayoutWidget_5", "layout_PID", 2, 1),
        FREE(tab_all, "QTabWidget", "centralwidget"),
        FREE(tab_08A3_config, "QWidget", "tab_all"),
        FREE(horizontalLayoutWidget, "QWidget", "tab_08A3_config"),
        FREE(layout_08A3_actions, "QHBoxLayout", "horizontalLayoutWidget"),
        CELL(btn_08A3_ReadConf, "QPushButton", "horizontalLayoutWidget", "layout_08A3_actions", 0, 0),
        CELL(btn_08A3_SaveConf, "QPushButton", "horizontalLayoutWidget", "layout_08A3_actions", 0, 1),
        CELL(btn_08A3_SetDefaults, "QPushButton", "horizontalLayoutWidget", "layout_08A3_actions", 0, 2),
        FREE(gr_08A3_trigger_in, "QGroupBox", "tab_08A3_config"),
        FREE(gridLayoutWidget_8, "QWidget", "gr_08A3_trigger_in"),
        FREE(layout_08A3_trig_input, "QGridLayout", "gridLayoutWidget_8"),
        CELL(label_08A3_trig_val_low, "QLabel", "gridLayoutWidget_8", "layout_08A3_trig_input", 2, 0),
        CELL(label_08A3_trig_val_low_us, "QLabel", "gridLayoutWidget_8", "layout_08A3_trig_input", 2, 2),
        CELL(label_08A3_trig_val_high, "QLabel", "gridLayoutWidget_8", "layout_08A3_trig_input", 1, 0),
        CELL(label_08A3_trig_val_high_us, "QLabel", "gridLayoutWidget_8", "layout_08A3_trig_input", 1, 2),
        CELL(spin_08A3_trig_high, "QSpinBox", "gridLayoutWidget_8", "layout_08A3_trig_input", 1, 1),
        CELL(spin_08A3_trig_low, "QSpinBox", "gridLayoutWidget_8", "layout_08A3_trig_input", 2, 1),
        OBJ(check_08A3_active_low, "QCheckBox", "gridLayoutWidget_8", "layout_08A3_trig_input", 0, 1, 1, 2),
        FREE(gr_08A3_status, "QGroupBox", "tab_08A3_config"),
        FREE(gridLayoutWidget_7, "QWidget", "gr_08A3_status"),
        FREE(layout_08A3_status, "QGridLayout", "gridLayoutWidget_7"),
        CELL(label_08A3_trig_value, "QLabel", "gridLayoutWidget_7", "layout_08A3_status", 1, 0),
        CELL(line_08A3_trig_freq, "QLineEdit", "gridLayoutWidget_7", "layout_08A3_status", 2, 1),
        CELL(label_08A3_trig_hz, "QLabel", "gridLayoutWidget_7", "layout_08A3_status", 2, 2),
        CELL(line_08A3_trig_val, "QLineEdit", "gridLayoutWidget_7", "layout_08A3_status", 1, 1),
        CELL(label_08A3_trig_freq, "QLabel", "gridLayoutWidget_7", "layout_08A3_status", 2, 0),
        CELL(label_08A3_trig_us, "QLabel", "gridLayoutWidget_7", "layout_08A3_status", 1, 2),
        OBJ(line_08A3_sw_status, "QLabel", "gridLayoutWidget_7", "layout_08A3_status", 0, 0, 1, 3),
        FREE(gr_08A3_channels, "QGroupBox", "tab_08A3_config"),
        FREE(gridLayoutWidget, "QWidget", "gr_08A3_channels"),
        FREE(layout_08A3_groups, "QGridLayout", "gridLayoutWidget"),
        CELL(layout_08A3_group2, "QGridLayout", "layout_08A3_groups", "layout_08A3_groups", 4, 3),
        CELL(spin_08A3_val_ch5, "QSpinBox", "gridLayoutWidget", "layout_08A3_group2", 0, 1),
        CELL(label_08A3_val_ch8, "QLabel", "gridLayoutWidget", "layout_08A3_group2", 3, 0),
        CELL(label_08A3_val_ch7, "QLabel", "gridLayoutWidget", "layout_08A3_group2", 2, 0),
        CELL(label_08A3_val_ch5, "QLabel", "gridLayoutWidget", "layout_08A3_group2", 0, 0),
        CELL(label_08A3_val_ch6, "QLabel", "gridLayoutWidget", "layout_08A3_group2", 1, 0),
        CELL(label_08A3_val_ch5_us, "QLabel", "gridLayoutWidget", "layout_08A3_group2", 0, 2),
        CELL(spin_08A3_val_ch6, "QSpinBox", "gridLayoutWidget", "layout_08A3_group2", 1, 1),
        CELL(spin_08A3_val_ch7, "QSpinBox", "gridLayoutWidget", "layout_08A3_group2", 2, 1),
        CELL(spin_08A3_val_ch8, "QSpinBox", "gridLayoutWidget", "layout_08A3_group2", 3, 1),
        CELL(label_08A3_val_ch6_us, "QLabel", "gridLayoutWidget", "layout_08A3_group2", 1, 2),
        CELL(label_08A3_val_ch7_us, "QLabel", "gridLayoutWidget", "layout_08A3_group2", 2, 2),
        CELL(label_08A3_val_ch8_us, "QLabel", "gridLayoutWidget", "layout_08A3_group2", 3, 2),
        CELL(combo_08A3_gr1_bank, "QComboBox", "gridLayoutWidget", "layout_08A3_groups", 2, 1),
        CELL(label_08A3_refresh, "QLabel", "gridLayoutWidget", "layout_08A3_groups", 0, 2),
        CELL(layout_08A3_group1, "QGridLayout", "layout_08A3_groups", "layout_08A3_groups", 2, 3),
        CELL(label_08A3_val_ch1_us, "QLabel", "gridLayoutWidget", "layout_08A3_group1", 0, 2),
        CELL(label_08A3_val_ch3, "QLabel", "gridLayoutWidget", "layout_08A3_group1", 2, 0),
        CELL(label_08A3_val_ch3_us, "QLabel", "gridLayoutWidget", "layout_08A3_group1", 2, 2),
        CELL(label_08A3_val_ch2_us, "QLabel", "gridLayoutWidget", "layout_08A3_group1", 1, 2),
        CELL(label_08A3_val_ch1, "QLabel", "gridLayoutWidget", "layout_08A3_group1", 0, 0),
        CELL(spin_08A3_val_ch3, "QSpinBox", "gridLayoutWidget", "layout_08A3_group1", 2, 1),
        CELL(spin_08A3_val_ch1, "QSpinBox", "gridLayoutWidget", "layout_08A3_group1", 0, 1),
        CELL(label_08A3_val_ch4, "QLabel", "gridLayoutWidget", "layout_08A3_group1", 3, 0),
        CELL(label_08A3_val_ch4_us, "QLabel", "gridLayoutWidget", "layout_08A3_group1", 3, 2),
        CELL(spin_08A3_val_ch2, "QSpinBox", "gridLayoutWidget", "layout_08A3_group1", 1, 1),
        CELL(label_08A3_val_ch2, "QLabel", "gridLayoutWidget", "layout_08A3_group1", 1, 0),
        CELL(spin_08A3_val_ch4, "QSpinBox", "gridLayoutWidget", "layout_08A3_group1", 3, 1),
        CELL(layout_08A3_group3, "QGridLayout", "layout_08A3_groups", "layout_08A3_groups", 6, 3),
        CELL(spin_08A3_val_ch9, "QSpinBox", "gridLayoutWidget", "layout_08A3_group3", 0, 1),
        CELL(label_08A3_val_ch12, "QLabel", "gridLayoutWidget", "layout_08A3_group3", 3, 0),
        CELL(label_08A3_val_ch11, "QLabel", "gridLayoutWidget", "layout_08A3_group3", 2, 0),
        CELL(label_08A3_val_ch9, "QLabel", "gridLayoutWidget", "layout_08A3_group3", 0, 0),
        CELL(label_08A3_val_ch10, "QLabel", "gridLayoutWidget", "layout_08A3_group3", 1, 0),
        CELL(label_08A3_val_ch9_us, "QLabel", "gridLayoutWidget", "layout_08A3_group3", 0, 2),
        CELL(spin_08A3_val_ch10, "QSpinBox", "gridLayoutWidget", "layout_08A3_group3", 1, 1),
        CELL(spin_08A3_val_ch11, "QSpinBox", "gridLayoutWidget", "layout_08A3_group3", 2, 1),
        CELL(spin_08A3_val_ch12, "QSpinBox", "gridLayoutWidget", "layout_08A3_group3", 3, 1),
        CELL(label_08A3_val_ch10_us, "QLabel", "gridLayoutWidget", "layout_08A3_group3", 1, 2),
        CELL(label_08A3_val_ch11_us, "QLabel", "gridLayoutWidget", "layout_08A3_group3", 2, 2),
        CELL(label_08A3_val_ch12_us, "QLabel", "gridLayoutWidget", "layout_08A3_group3", 3, 2),
        CELL(combo_08A3_gr2_bank, "QComboBox", "gridLayoutWidget", "layout_08A3_groups", 4, 1),
        CELL(combo_08A3_gr3_frq, "QComboBox", "gridLayoutWidget", "layout_08A3_groups", 6, 2),
        CELL(label_08A3_group2, "QLabel", "gridLayoutWidget", "layout_08A3_groups", 4, 0),
        CELL(label_08A3_failsafe_behaviour, "QLabel", "gridLayoutWidget", "layout_08A3_groups", 0, 1),
        CELL(line, "QFrame", "gridLayoutWidget", "layout_08A3_groups", 3, 3),
        CELL(combo_08A3_gr2_frq, "QComboBox", "gridLayoutWidget", "layout_08A3_groups", 4, 2),
        CELL(line_2, "QFrame", "gridLayoutWidget", "layout_08A3_groups", 5, 3),
        CELL(label_08A3_group3, "QLabel", "gridLayoutWidget", "layout_08A3_groups", 6, 0),
        CELL(label_08A3_failsafe_value, "QLabel", "gridLayoutWidget", "layout_08A3_groups", 0, 3),
        CELL(label_08A3_group1, "QLabel", "gridLayoutWidget", "layout_08A3_groups", 2, 0),
        CELL(combo_08A3_gr3_bank, "QComboBox", "gridLayoutWidget", "layout_08A3_groups", 6, 1),
        CELL(combo_08A3_gr1_frq, "QComboBox", "gridLayoutWidget", "layout_08A3_groups", 2, 2),
        CELL(line_08A3_3, "QFrame", "gridLayoutWidget", "layout_08A3_groups", 1, 3),
        CELL(line_08A3_2, "QFrame", "gridLayoutWidget", "layout_08A3_groups", 1, 2),
        CELL(line_08A3_1, "QFrame", "gridLayoutWidget", "layout_08A3_groups", 1, 1),
        CELL(line_6, "QFrame", "gridLayoutWidget", "layout_08A3_groups", 3, 2),
        CELL(line_7, "QFrame", "gridLayoutWidget", "layout_08A3_groups", 3, 1),
        CELL(line_8, "QFrame", "gridLayoutWidget", "layout_08A3_groups", 3, 0),
        CELL(line_10, "QFrame", "gridLayoutWidget", "layout_08A3_groups", 5, 0),
        CELL(line_11, "QFrame", "gridLayoutWidget", "layout_08A3_groups", 5, 1),
        CELL(line_12, "QFrame", "gridLayoutWidget", "layout_08A3_groups", 5, 2),
        FREE(tab_04F2_config, "QWidget", "tab_all"),
        FREE(gr_04F2_status, "QGroupBox", "tab_04F2_config"),
        FREE(gridLayoutWidget_71, "QWidget", "gr_04F2_status"),
        FREE(layout_04F2_status, "QGridLayout", "gridLayoutWidget_71"),
        OBJ(line_04F2_sw_status, "QLabel", "gridLayoutWidget_71", "layout_04F2_status", 0, 0, 1, 3),
        CELL(label_04F2_fuse_peak_curr_A, "QLabel", "gridLayoutWidget_71", "layout_04F2_status", 8, 2),
        CELL(label_04F2_battery_voltage, "QLabel", "gridLayoutWidget_71", "layout_04F2_status", 4, 0),
        CELL(label_04F2_fuse_peak_curr, "QLabel", "gridLayoutWidget_71", "layout_04F2_status", 8, 0),
        CELL(label_04F2_trig_us, "QLabel", "gridLayoutWidget_71", "layout_04F2_status", 1, 2),
        CELL(line_04F2_temperature, "QLineEdit", "gridLayoutWidget_71", "layout_04F2_status", 5, 1),
        CELL(label_04F2_fuse_probe_curr, "QLabel", "gridLayoutWidget_71", "layout_04F2_status", 6, 0),
        CELL(label_04F2_trigger_voltage, "QLabel", "gridLayoutWidget_71", "layout_04F2_status", 3, 0),
        CELL(label_04F2_trig_hz, "QLabel", "gridLayoutWidget_71", "layout_04F2_status", 2, 2),
        CELL(label_04F2_trig_freq, "QLabel", "gridLayoutWidget_71", "layout_04F2_status", 2, 0),
        CELL(label_04F2_fuse_curr, "QLabel", "gridLayoutWidget_71", "layout_04F2_status", 7, 0),
        CELL(label_04F2_fuse_probe_curr_A, "QLabel", "gridLayoutWidget_71", "layout_04F2_status", 6, 2),
        CELL(label_04F2_trigger_voltage_v, "QLabel", "gridLayoutWidget_71", "layout_04F2_status", 3, 2),
        CELL(label_04F2_trig_value, "QLabel", "gridLayoutWidget_71", "layout_04F2_status", 1, 0),
        CELL(line_04F2_battery_voltage, "QLineEdit", "gridLayoutWidget_71", "layout_04F2_status", 4, 1),
        CELL(line_04F2_fuse_curr, "QLineEdit", "gridLayoutWidget_71", "layout_04F2_status", 7, 1),
        CELL(line_04F2_trig_freq, "QLineEdit", "gridLayoutWidget_71", "layout_04F2_status", 2, 1),
        CELL(line_04F2_trigger_voltage, "QLineEdit", "gridLayoutWidget_71", "layout_04F2_status", 3, 1),
        CELL(line_04F2_fuse_probe_curr, "QLineEdit", "gridLayoutWidget_71", "layout_04F2_status", 6, 1),
        CELL(label_04F2_fuse_curr_A, "QLabel", "gridLayoutWidget_71", "layout_04F2_status", 7, 2),
        CELL(label_04F2_battery_voltage_v, "QLabel", "gridLayoutWidget_71", "layout_04F2_status", 4, 2),
        CELL(line_04F2_fuse_peak_curr, "QLineEdit", "gridLayoutWidget_71", "layout_04F2_status", 8, 1),
        CELL(label_04F2_battery_temp, "QLabel", "gridLayoutWidget_71", "layout_04F2_status", 5, 0),
        CELL(label_04F2_temperature_C, "QLabel", "gridLayoutWidget_71", "layout_04F2_status", 5, 2),
        CELL(line_04F2_trig_val, "QLineEdit", "gridLayoutWidget_71", "layout_04F2_status", 1, 1),
        FREE(gr_04F2_conf, "QGroupBox", "tab_04F2_config"),
        FREE(horizontalLayoutWidget1, "QWidget", "gr_04F2_conf"),
        FREE(layout_04F2_actions, "QHBoxLayout", "horizontalLayoutWidget1"),
        CELL(btn_04F2_ReadConf, "QPushButton", "horizontalLayoutWidget1", "layout_04F2_actions", 0, 0),
        CELL(btn_04F2_SaveConf, "QPushButton", "horizontalLayoutWidget1", "layout_04F2_actions", 0, 1),
        CELL(btn_04F2_SetDefaults, "QPushButton", "horizontalLayoutWidget1", "layout_04F2_actions", 0, 2),
        FREE(gr_04F2_trigger_in, "QGroupBox", "gr_04F2_conf"),
        FREE(gridLayoutWidget_81, "QWidget", "gr_04F2_trigger_in"),
        FREE(layout_04F2_trig_input, "QGridLayout", "gridLayoutWidget_81"),
        CELL(label_04F2_trig_val_low, "QLabel", "gridLayoutWidget_81", "layout_04F2_trig_input", 2, 0),
        CELL(label_04F2_trig_val_low_us, "QLabel", "gridLayoutWidget_81", "layout_04F2_trig_input", 2, 2),
        CELL(label_04F2_trig_val_high, "QLabel", "gridLayoutWidget_81", "layout_04F2_trig_input", 1, 0),
        CELL(label_04F2_trig_val_high_us, "QLabel", "gridLayoutWidget_81", "layout_04F2_trig_input", 1, 2),
        CELL(spin_04F2_trig_high, "QSpinBox", "gridLayoutWidget_81", "layout_04F2_trig_input", 1, 1),
        CELL(spin_04F2_trig_low, "QSpinBox", "gridLayoutWidget_81", "layout_04F2_trig_input", 2, 1),
        OBJ(check_04F2_active_low, "QCheckBox", "gridLayoutWidget_81", "layout_04F2_trig_input", 0, 0, 1, 3),
        FREE(tab_all_internal, "QWidget", "tab_all"),
        FREE(btnEEPROM_DUMP, "QPushButton", "tab_all_internal"),
        FREE(gridLayoutWidget_6, "QWidget", "tab_all_internal"),
        FREE(gridLayout_4, "QGridLayout", "gridLayoutWidget_6"),
        CELL(line_DEVID, "QLineEdit", "gridLayoutWidget_6", "gridLayout_4", 0, 1),
        CELL(label_DEVID, "QLabel", "gridLayoutWidget_6", "gridLayout_4", 0, 0),
        CELL(line_REVID, "QLineEdit", "gridLayoutWidget_6", "gridLayout_4", 1, 1),
        CELL(label_REVID, "QLabel", "gridLayoutWidget_6", "gridLayout_4", 1, 0),
        FREE(line_debug, "QPlainTextEdit", "tab_all_internal"),
        FREE(spin_ina_gain, "QSpinBox", "tab_all_internal"),
        FREE(statusbar, "QStatusBar", "Halvero_configurator"),
    };
    return objects;
}

const QString solderBridgeTip =
    QStringLiteral("<html><head/><body><p>To either use the signal on bank B, or a fixed value signal, you need "
                   "to move the solder bridge (or jumper) on the board.<br/>Each single channel is "
                   "independent</p></body></html>");

const QStringList pushButtons = {
    "btnRefreshSerialPorts", "btnSerialConnect",  "btnSerialDisconnect", "btn_08A3_ReadConf",    "btn_08A3_SaveConf",
    "btn_08A3_SetDefaults",  "btn_04F2_ReadConf", "btn_04F2_SaveConf",   "btn_04F2_SetDefaults", "btnEEPROM_DUMP",
};

// A window with the form built into it; most tests need nothing more.
struct Form
{
    QMainWindow window;
    Ui_Halvero_configurator ui;

    Form() { ui.setupUi(&window); }

    QObject *object(const QString &name)
    {
        if (name == window.objectName())
            return &window;
        const QList<QObject *> found = window.findChildren<QObject *>(name);
        return found.size() == 1 ? found.first() : nullptr;
    }
    template<typename T>
    T *get(const QString &name)
    {
        return qobject_cast<T *>(object(name));
    }
};

// A page's Qt parent is the tab widget's internal page stack; report the tab widget.
QString ownerName(const QObject *o)
{
    const QObject *p = o->parent();
    if (qobject_cast<const QStackedWidget *>(p) && qobject_cast<const QTabWidget *>(p->parent()))
        p = p->parent();
    return p ? p->objectName() : QString();
}

int layoutIndexOf(QLayout *layout, QObject *o)
{
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        if (item->widget() == o || item->layout() == o)
            return i;
    }
    return -1;
}

} // namespace

Q_DECLARE_METATYPE(MemberGetter)
Q_DECLARE_METATYPE(BoardFamily)

// Stands in for the real window: counts how often each button slot runs.
class SlotProbe : public QMainWindow
{
    Q_OBJECT
public:
    QMap<QString, int> hits;

private slots:
    void on_btnRefreshSerialPorts_clicked() { ++hits["btnRefreshSerialPorts"]; }
    void on_btnSerialConnect_clicked() { ++hits["btnSerialConnect"]; }
    void on_btnSerialDisconnect_clicked() { ++hits["btnSerialDisconnect"]; }
    void on_btn_08A3_ReadConf_clicked() { ++hits["btn_08A3_ReadConf"]; }
    void on_btn_08A3_SaveConf_clicked() { ++hits["btn_08A3_SaveConf"]; }
    void on_btn_08A3_SetDefaults_clicked() { ++hits["btn_08A3_SetDefaults"]; }
    void on_btnEEPROM_DUMP_clicked() { ++hits["btnEEPROM_DUMP"]; }
    void on_btn_04F2_ReadConf_clicked() { ++hits["btn_04F2_ReadConf"]; }
    void on_btn_04F2_SaveConf_clicked() { ++hits["btn_04F2_SaveConf"]; }
    void on_btn_04F2_SetDefaults_clicked() { ++hits["btn_04F2_SetDefaults"]; }
};

class TestForm : public QObject
{
    Q_OBJECT

    std::unique_ptr<Form> shown; // one shown window for the checks that need layouts to have run

private slots:
    void initTestCase();
    void memberLayout();
    void objectTree_data();
    void objectTree();
    void creationOrderIsFocusOrder();
    void layouts_data();
    void layouts();
    void geometry_data();
    void geometry();
    void sizePolicies_data();
    void sizePolicies();
    void defaultSizePolicies_data();
    void defaultSizePolicies();
    void ranges_data();
    void ranges();
    void texts_data();
    void texts();
    void degreeSign();
    void toolTipsOnlyOnBankChoice();
    void baudList();
    void bankAndRateCombos_data();
    void bankAndRateCombos();
    void serialListStartsEmpty();
    void tabs();
    void windowName_data();
    void windowName();
    void valueFieldsAreReadOnly();
    void textsFit();
    void enabledStates_data();
    void enabledStates();
    void systemGroupEnablesItsChildren();
    void separatorsAndChecks();

    void buttonsReachSlotsOnce_data();
    void buttonsReachSlotsOnce();
    void windowDeclaresButtonSlots();

    void catalogueAfterConstruction_data();
    void catalogueAfterConstruction();
    void restoreAppendsUnderTitle();
    void restoreUnknownNameAddsNothing();
    void hideAndRestoreKeepsPages();
};

// Every caption, button text, check box, group title and combo item on every
// page, the connection states and a full serial must show whole at the
// toolkit's default font.
void TestForm::textsFit()
{
    Halvero_configurator window;
    Ui_Halvero_configurator *ui = HalveroTestAccess::ui(window);
    for (const char *page : {"tab_08A3_config", "tab_04F2_config", "tab_all_internal"})
        HalveroTestAccess::restorePage(window, page);
    // A long device path must not take the connection bar's room.
    ui->serialList->addItem(QStringLiteral("/dev/serial/by-id/usb-Halvero_Switch_Board_00390021-if00"));
    window.show();
    // The offscreen screen is smaller than the form: the window opened
    // smaller, the form scrolling; here it has the form's size.
    window.resize(701, 715 + window.menuBar()->height());
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QStringList clipped;
    auto check = [&clipped](QWidget *w, const QString &text, int need, int room) {
        // A layout squeezed below its widgets' minimum lets them run past
        // the edge of their parent, which cuts them off there.
        QRect visible = w->rect();
        for (QWidget *p = w; p->parentWidget() && !p->isWindow(); p = p->parentWidget())
            visible = visible.translated(p->pos()).intersected(p->parentWidget()->rect());
        room -= w->width() - visible.width();
        if (need > room)
            clipped << QStringLiteral("%1 \"%2\": needs %3 px, has %4").arg(w->objectName(), text).arg(need).arg(room);
    };
    for (QLabel *l : window.findChildren<QLabel *>()) {
        if (!l->text().isEmpty() && !l->wordWrap())
            check(l, l->text(), l->fontMetrics().horizontalAdvance(l->text()), l->contentsRect().width());
    }
    for (QCheckBox *b : window.findChildren<QCheckBox *>())
        check(b, b->text(), b->sizeHint().width(), b->width());
    for (QPushButton *b : window.findChildren<QPushButton *>()) {
        QStyleOptionButton option;
        option.initFrom(b);
        option.text = b->text();
        const QRect room = b->style()->subElementRect(QStyle::SE_PushButtonContents, &option, b);
        check(b, b->text(), b->fontMetrics().horizontalAdvance(b->text()), room.width());
    }
    for (QGroupBox *g : window.findChildren<QGroupBox *>()) {
        if (!g->title().isEmpty())
            check(g, g->title(), g->minimumSizeHint().width(), g->width());
    }
    for (QComboBox *c : window.findChildren<QComboBox *>()) {
        if (c == ui->serialList)
            continue;
        for (int i = 0; i < c->count(); ++i) {
            c->setCurrentIndex(i);
            QStyleOptionComboBox option;
            option.initFrom(c);
            const QRect field =
                c->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, c);
            check(c, c->itemText(i), c->fontMetrics().horizontalAdvance(c->itemText(i)), field.width());
        }
    }
    auto lineRoom = [](QLineEdit *e) {
        QStyleOptionFrame option;
        option.initFrom(e);
        option.lineWidth = e->hasFrame() ? e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, e) : 0;
        // QLineEdit keeps two pixels of margin on each side inside its frame.
        return e->style()->subElementRect(QStyle::SE_LineEditContents, &option, e).width() - 4;
    };
    for (const char *state : {"Connected", "Not connected", "Not identified", "Connection lost"})
        check(ui->line_connect, state, ui->line_connect->fontMetrics().horizontalAdvance(state),
              lineRoom(ui->line_connect));
    const QString serial = QStringLiteral("0x") + QString(24, QLatin1Char('8'));
    check(ui->line_UUID, serial, ui->line_UUID->fontMetrics().horizontalAdvance(serial), lineRoom(ui->line_UUID));
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QLatin1Char('\n'))));
}

void TestForm::initTestCase()
{
    shown = std::make_unique<Form>();
    shown->window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&shown->window));
}

void TestForm::memberLayout()
{
    // Every member is one pointer, so 166 entries leave no room for extras.
    QCOMPARE(formObjects().size(), 166);
    QCOMPARE(sizeof(Ui_Halvero_configurator), 166 * sizeof(void *));
}

void TestForm::objectTree_data()
{
    QTest::addColumn<int>("ordinal");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("layout");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("rowSpan");
    QTest::addColumn<int>("columnSpan");
    QTest::addColumn<qulonglong>("offset");
    QTest::addColumn<MemberGetter>("get");
    int ordinal = 0;
    for (const FormObject &o : formObjects()) {
        QTest::newRow(o.name) << ordinal++ << QString(o.className) << QString(o.parent) << QString(o.layout) << o.row
                              << o.column << o.rowSpan << o.columnSpan << qulonglong(o.offset) << o.get;
    }
}

void TestForm::objectTree()
{
    QFETCH(int, ordinal);
    QFETCH(QString, className);
    QFETCH(QString, parent);
    QFETCH(QString, layout);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, rowSpan);
    QFETCH(int, columnSpan);
    QFETCH(qulonglong, offset);
    QFETCH(MemberGetter, get);
    const QString name = QTest::currentDataTag();

    // Declaration order: the n-th member sits n pointers into the form object.
    QCOMPARE(offset, qulonglong(ordinal) * sizeof(void *));

    Form f;
    QObject *o = get(f.ui);
    QVERIFY(o);
    QCOMPARE(o->objectName(), name);
    QCOMPARE(f.object(name), o); // reachable from the window, and the name is unique
    QCOMPARE(QString(o->metaObject()->className()), className);
    QCOMPARE(ownerName(o), parent);

    if (layout.isEmpty())
        return; // placed by geometry, see geometry()
    auto *holder = f.get<QLayout>(layout);
    QVERIFY(holder);
    const int index = layoutIndexOf(holder, o);
    QVERIFY2(index >= 0, "not an item of its layout");
    if (auto *grid = qobject_cast<QGridLayout *>(holder)) {
        int r, c, rs, cs;
        grid->getItemPosition(index, &r, &c, &rs, &cs);
        QCOMPARE(r, row);
        QCOMPARE(c, column);
        QCOMPARE(rs, rowSpan);
        QCOMPARE(cs, columnSpan);
    } else {
        QCOMPARE(row, 0);
        QCOMPARE(index, column);
    }
}

void TestForm::creationOrderIsFocusOrder()
{
    // Tab moves through the widgets in the order they were created.
    QStringList expected;
    Form f;
    for (const FormObject &o : formObjects()) {
        if (o.get(f.ui)->isWidgetType())
            expected << o.name;
    }
    QStringList chain;
    for (QWidget *w = f.window.nextInFocusChain(); w != &f.window; w = w->nextInFocusChain()) {
        if (expected.contains(w->objectName()))
            chain << w->objectName();
    }
    QCOMPARE(chain, expected);
}

void TestForm::layouts_data()
{
    QTest::addColumn<QList<int>>("stretch"); // column stretch of a grid, position stretch of a box
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("columns");
    QTest::addColumn<bool>("zeroMargins");

    QTest::newRow("layout_serial") << QList<int>{5, 5, 5} << 2 << 3 << true;
    QTest::newRow("layout_PID") << QList<int>{0, 0} << 3 << 2 << true;
    QTest::newRow("layout_08A3_actions") << QList<int>{5, 5, 5} << 1 << 3 << true;
    QTest::newRow("layout_08A3_trig_input") << QList<int>{2, 5, 1} << 3 << 3 << true;
    QTest::newRow("layout_08A3_status") << QList<int>{3, 7, 1} << 3 << 3 << true;
    QTest::newRow("layout_08A3_groups") << QList<int>{2, 3, 3, 6} << 7 << 4 << true;
    QTest::newRow("layout_08A3_group1") << QList<int>{0, 0, 0} << 4 << 3 << false;
    QTest::newRow("layout_08A3_group2") << QList<int>{0, 0, 0} << 4 << 3 << false;
    QTest::newRow("layout_08A3_group3") << QList<int>{0, 0, 0} << 4 << 3 << false;
    QTest::newRow("layout_04F2_status") << QList<int>{5, 3, 1} << 9 << 3 << true;
    QTest::newRow("layout_04F2_actions") << QList<int>{5, 5, 5} << 1 << 3 << true;
    QTest::newRow("layout_04F2_trig_input") << QList<int>{2, 5, 1} << 3 << 3 << true;
    QTest::newRow("gridLayout_4") << QList<int>{0, 0} << 2 << 2 << true;
}

void TestForm::layouts()
{
    QFETCH(QList<int>, stretch);
    QFETCH(int, rows);
    QFETCH(int, columns);
    QFETCH(bool, zeroMargins);
    Form f;
    auto *layout = f.get<QLayout>(QTest::currentDataTag());
    QVERIFY(layout);

    QList<int> actual;
    if (auto *grid = qobject_cast<QGridLayout *>(layout)) {
        QCOMPARE(grid->rowCount(), rows);
        QCOMPARE(grid->columnCount(), columns);
        for (int c = 0; c < grid->columnCount(); ++c)
            actual << grid->columnStretch(c);
        for (int r = 0; r < grid->rowCount(); ++r)
            QCOMPARE(grid->rowStretch(r), 0);
    } else {
        auto *box = qobject_cast<QBoxLayout *>(layout);
        QVERIFY(box);
        QCOMPARE(rows, 1);
        QCOMPARE(box->count(), columns);
        for (int i = 0; i < box->count(); ++i) {
            actual << box->stretch(i);
            QCOMPARE(box->itemAt(i)->alignment(), Qt::Alignment());
        }
    }
    QCOMPARE(actual, stretch);
    if (zeroMargins)
        QCOMPARE(layout->contentsMargins(), QMargins());
}

void TestForm::geometry_data()
{
    QTest::addColumn<QRect>("rect");
    QTest::newRow("layoutWidget") << QRect(20, 30, 291, 81);
    QTest::newRow("group_system") << QRect(320, 20, 315, 121);
    QTest::newRow("gridLayoutWidget_5") << QRect(10, 30, 295, 80);
    QTest::newRow("tab_all") << QRect(20, 150, 661, 541);
    QTest::newRow("horizontalLayoutWidget") << QRect(20, 30, 250, 51);
    QTest::newRow("gr_08A3_status") << QRect(280, 10, 191, 101);
    QTest::newRow("gridLayoutWidget_7") << QRect(10, 20, 171, 71);
    QTest::newRow("gr_08A3_trigger_in") << QRect(480, 10, 161, 101);
    QTest::newRow("gridLayoutWidget_8") << QRect(10, 20, 151, 71);
    QTest::newRow("gr_08A3_channels") << QRect(20, 130, 621, 371);
    QTest::newRow("gridLayoutWidget") << QRect(20, 20, 591, 341);
    QTest::newRow("gr_04F2_status") << QRect(20, 10, 311, 271);
    QTest::newRow("gridLayoutWidget_71") << QRect(10, 20, 281, 246);
    QTest::newRow("gr_04F2_conf") << QRect(350, 10, 281, 271);
    QTest::newRow("horizontalLayoutWidget1") << QRect(10, 30, 250, 51);
    QTest::newRow("gr_04F2_trigger_in") << QRect(10, 90, 251, 101);
    QTest::newRow("gridLayoutWidget_81") << QRect(10, 20, 231, 71);
    QTest::newRow("btnEEPROM_DUMP") << QRect(20, 30, 120, 33);
    QTest::newRow("gridLayoutWidget_6") << QRect(390, 10, 160, 61);
    QTest::newRow("line_debug") << QRect(10, 80, 631, 411);
    QTest::newRow("spin_ina_gain") << QRect(270, 30, 60, 21);
}

void TestForm::geometry()
{
    QFETCH(QRect, rect);
    Form f;
    QCOMPARE(f.window.size(), QSize(701, 715));
    auto *w = f.get<QWidget>(QTest::currentDataTag());
    QVERIFY(w);
    QCOMPARE(w->geometry(), rect);
    // The window is fixed-layout: showing it must not move anything.
    auto *shownWidget = shown->get<QWidget>(QTest::currentDataTag());
    QVERIFY(shownWidget);
    QCOMPARE(shownWidget->geometry(), rect);
}

void TestForm::sizePolicies_data()
{
    QTest::addColumn<int>("horizontal");
    QTest::addColumn<int>("vertical");
    QTest::addColumn<QSize>("minimum");
    QTest::addColumn<QSize>("maximum");
    const QSize noMin(0, 0);
    const QSize noMax(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    const QSize min60(60, 0);
    const QSize max60(60, QWIDGETSIZE_MAX);

    QTest::newRow("Halvero_configurator") << int(QSizePolicy::Fixed) << int(QSizePolicy::Fixed) << noMin << noMax;
    for (const QString &b : pushButtons) {
        QTest::newRow(qPrintable(b)) << int(QSizePolicy::Minimum) << int(QSizePolicy::Expanding) << noMin << noMax;
    }
    QTest::newRow("serialList") << int(QSizePolicy::Preferred) << int(QSizePolicy::Fixed) << noMin << noMax;
    QTest::newRow("serialBauds") << int(QSizePolicy::Preferred) << int(QSizePolicy::Expanding) << noMin << noMax;
    for (const char *v :
         {"line_08A3_trig_val", "line_08A3_trig_freq", "line_04F2_trig_val", "line_04F2_trig_freq",
          "line_04F2_trigger_voltage", "line_04F2_battery_voltage", "line_04F2_temperature",
          "line_04F2_fuse_probe_curr", "line_04F2_fuse_curr", "line_04F2_fuse_peak_curr", "spin_08A3_trig_high",
          "spin_08A3_trig_low", "spin_04F2_trig_high", "spin_04F2_trig_low", "spin_ina_gain"}) {
        QTest::newRow(v) << int(QSizePolicy::Fixed) << int(QSizePolicy::Fixed) << min60 << max60;
    }
    for (int g = 1; g <= 3; ++g) {
        QTest::addRow("combo_08A3_gr%d_bank", g)
            << int(QSizePolicy::Preferred) << int(QSizePolicy::Fixed) << noMin << noMax;
        QTest::addRow("combo_08A3_gr%d_frq", g)
            << int(QSizePolicy::Expanding) << int(QSizePolicy::Fixed) << noMin << noMax;
    }
    for (int n = 1; n <= 12; ++n) {
        QTest::addRow("label_08A3_val_ch%d", n)
            << int(QSizePolicy::Preferred) << int(QSizePolicy::Preferred) << QSize(30, 0) << noMax;
    }
}

void TestForm::sizePolicies()
{
    QFETCH(int, horizontal);
    QFETCH(int, vertical);
    QFETCH(QSize, minimum);
    QFETCH(QSize, maximum);
    Form f;
    auto *w = f.get<QWidget>(QTest::currentDataTag());
    QVERIFY(w);
    const QSizePolicy p = w->sizePolicy();
    QCOMPARE(int(p.horizontalPolicy()), horizontal);
    QCOMPARE(int(p.verticalPolicy()), vertical);
    QCOMPARE(p.horizontalStretch(), 0);
    QCOMPARE(p.verticalStretch(), 0);
    QVERIFY(!p.hasHeightForWidth());
    QCOMPARE(w->minimumSize(), minimum);
    QCOMPARE(w->maximumSize(), maximum);
}

void TestForm::defaultSizePolicies_data()
{
    QTest::addColumn<int>("unused");
    for (const char *name :
         {"line_fw_ver", "line_product", "line_UUID", "label_08A3_trig_us", "label_04F2_temperature_C", "line_DEVID"})
        QTest::newRow(name) << 0;
    for (int n = 1; n <= 12; ++n) {
        QTest::addRow("spin_08A3_val_ch%d", n) << 0;
        QTest::addRow("label_08A3_val_ch%d_us", n) << 0;
    }
}

void TestForm::defaultSizePolicies()
{
    Form f;
    auto *w = f.get<QWidget>(QTest::currentDataTag());
    QVERIFY(w);
    std::unique_ptr<QWidget> fresh;
    if (qobject_cast<QLineEdit *>(w))
        fresh.reset(new QLineEdit);
    else if (qobject_cast<QSpinBox *>(w))
        fresh.reset(new QSpinBox);
    else
        fresh.reset(new QLabel);
    QCOMPARE(w->sizePolicy(), fresh->sizePolicy());
    QCOMPARE(w->minimumSize(), fresh->minimumSize());
    QCOMPARE(w->maximumSize(), fresh->maximumSize());
}

void TestForm::ranges_data()
{
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("initial");
    QTest::newRow("spin_08A3_trig_high") << 900 << 2100 << 1600;
    QTest::newRow("spin_08A3_trig_low") << 900 << 2100 << 1400;
    QTest::newRow("spin_04F2_trig_high") << 900 << 2100 << 1600;
    QTest::newRow("spin_04F2_trig_low") << 900 << 2100 << 1400;
    for (int n = 1; n <= 12; ++n)
        QTest::addRow("spin_08A3_val_ch%d", n) << 900 << 2100 << 1000;
    QTest::newRow("spin_ina_gain") << 0 << 255 << 1;
}

void TestForm::ranges()
{
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, initial);
    Form f;
    auto *spin = f.get<QSpinBox>(QTest::currentDataTag());
    QVERIFY(spin);
    QCOMPARE(spin->minimum(), minimum);
    QCOMPARE(spin->maximum(), maximum);
    QCOMPARE(spin->value(), initial);
    QVERIFY(spin->prefix().isEmpty());
    QVERIFY(spin->suffix().isEmpty());

    // A board reply outside the range is shown at the nearest limit.
    spin->setValue(maximum + 1);
    QCOMPARE(spin->value(), maximum);
    spin->setValue(65535);
    QCOMPARE(spin->value(), maximum);
    spin->setValue(minimum - 1);
    QCOMPARE(spin->value(), minimum);

    // Typing cannot leave the range either.
    spin->selectAll();
    QTest::keyClicks(spin, "99999");
    QTest::keyClick(spin, Qt::Key_Return);
    QVERIFY2(spin->value() >= minimum && spin->value() <= maximum, qPrintable(QString::number(spin->value())));
}

void TestForm::texts_data()
{
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QString>("text");
    auto row = [](const char *name, const char *property, const char *text) {
        QTest::newRow(name) << QByteArray(property) << QString::fromUtf8(text);
    };
    row("Halvero_configurator", "windowTitle", "Halvero software");
    row("btnRefreshSerialPorts", "text", "Refresh");
    row("btnSerialDisconnect", "text", "Disconnect");
    row("btnSerialConnect", "text", "Connect");
    row("group_system", "title", "System properties");
    row("label_26", "text", "FW version");
    row("label_product", "text", "Product code");
    row("label_serial", "text", "Serial");

    row("btn_08A3_ReadConf", "text", "Read CONF");
    row("btn_08A3_SaveConf", "text", "Save CONF");
    row("btn_08A3_SetDefaults", "text", "Set defaults");
    row("gr_08A3_trigger_in", "title", "Trigger input");
    row("label_08A3_trig_val_low", "text", "Low");
    row("label_08A3_trig_val_low_us", "text", "uS");
    row("label_08A3_trig_val_high", "text", "High");
    row("label_08A3_trig_val_high_us", "text", "uS");
    row("check_08A3_active_low", "text", "Active low");
    row("gr_08A3_status", "title", "Switch status");
    row("label_08A3_trig_value", "text", "Trigger value");
    row("label_08A3_trig_hz", "text", "Hz");
    row("label_08A3_trig_freq", "text", "Trigger IN freq.");
    row("label_08A3_trig_us", "text", "uS");
    row("line_08A3_sw_status", "text", "N/A");
    row("gr_08A3_channels", "title", "Channels");
    for (int n = 1; n <= 12; ++n) {
        QTest::addRow("label_08A3_val_ch%d", n) << QByteArray("text") << QStringLiteral("CH%1").arg(n);
        QTest::addRow("label_08A3_val_ch%d_us", n) << QByteArray("text") << QStringLiteral("uS");
    }
    row("label_08A3_failsafe_behaviour", "text", "Failsafe behaviour");
    row("label_08A3_refresh", "text", "Refresh rate");
    row("label_08A3_failsafe_value", "text", "Failsafe values");
    row("label_08A3_group1", "text", "Group 1");
    row("label_08A3_group2", "text", "Group 2");
    row("label_08A3_group3", "text", "Group 3");

    row("gr_04F2_status", "title", "Switch status");
    row("line_04F2_sw_status", "text", "N/A");
    row("label_04F2_trig_value", "text", "Trigger value");
    row("label_04F2_trig_us", "text", "uS");
    row("label_04F2_trig_freq", "text", "Trigger IN freq.");
    row("label_04F2_trig_hz", "text", "Hz");
    row("label_04F2_trigger_voltage", "text", "Trigger voltage");
    row("label_04F2_trigger_voltage_v", "text", "v");
    row("label_04F2_battery_voltage", "text", "Battery voltage");
    row("label_04F2_battery_voltage_v", "text", "v");
    row("label_04F2_battery_temp", "text", "Temperature");
    row("label_04F2_temperature_C", "text",
        "\xc2\xb0"
        "C");
    row("label_04F2_fuse_probe_curr", "text", "Fuse probe current");
    row("label_04F2_fuse_probe_curr_A", "text", "A");
    row("label_04F2_fuse_curr", "text", "Fuse current");
    row("label_04F2_fuse_curr_A", "text", "A");
    row("label_04F2_fuse_peak_curr", "text", "Fuse peak current");
    row("label_04F2_fuse_peak_curr_A", "text", "A");
    row("gr_04F2_conf", "title", "Configuration");
    row("btn_04F2_ReadConf", "text", "Read CONF");
    row("btn_04F2_SaveConf", "text", "Save CONF");
    row("btn_04F2_SetDefaults", "text", "Set defaults");
    row("gr_04F2_trigger_in", "title", "Trigger input");
    row("label_04F2_trig_val_low", "text", "Low");
    row("label_04F2_trig_val_low_us", "text", "uS");
    row("label_04F2_trig_val_high", "text", "High");
    row("label_04F2_trig_val_high_us", "text", "uS");
    row("check_04F2_active_low", "text", "Active low");

    row("btnEEPROM_DUMP", "text", "EEPROM DUMP");
    row("label_DEVID", "text", "CHIP DEVID");
    row("label_REVID", "text", "CHIP REVID");
}

void TestForm::texts()
{
    QFETCH(QByteArray, property);
    QFETCH(QString, text);
    Form f;
    QObject *o = f.object(QTest::currentDataTag());
    QVERIFY(o);
    QCOMPARE(o->property(property.constData()).toString(), text);

    if (auto *label = qobject_cast<QLabel *>(o)) {
        // Captions and headings are centred; unit labels and group names keep the default.
        const QString name = o->objectName();
        const bool defaultAlignment = name.endsWith("_us") || name.endsWith("_hz") || name.endsWith("_v")
                                      || name.endsWith("_A") || name.endsWith("_C")
                                      || name.startsWith("label_08A3_group");
        QCOMPARE(label->alignment(), defaultAlignment ? QLabel().alignment() : Qt::Alignment(Qt::AlignCenter));
    }
}

void TestForm::degreeSign()
{
    // The source text is UTF-8: a Latin-1 or ASCII decode would give two or three odd characters.
    Form f;
    const QString text = f.ui.label_04F2_temperature_C->text();
    QCOMPARE(text.size(), 2);
    QCOMPARE(text.at(0), QChar(0x00B0));
    QCOMPARE(text.at(1), QChar('C'));
}

void TestForm::toolTipsOnlyOnBankChoice()
{
    QCOMPARE(solderBridgeTip.size(), 200);
    Form f;
    QList<QWidget *> widgets = f.window.findChildren<QWidget *>();
    widgets << &f.window;
    QStringList withTip;
    for (QWidget *w : std::as_const(widgets)) {
        if (!w->toolTip().isEmpty()) {
            withTip << w->objectName();
            QCOMPARE(w->toolTip(), solderBridgeTip);
        }
        QVERIFY2(w->statusTip().isEmpty(), qPrintable(w->objectName()));
        QVERIFY2(w->whatsThis().isEmpty(), qPrintable(w->objectName()));
    }
    withTip.sort();
    QCOMPARE(withTip, QStringList({"combo_08A3_gr1_bank", "combo_08A3_gr2_bank", "combo_08A3_gr3_bank",
                                   "label_08A3_failsafe_value"}));
}

void TestForm::baudList()
{
    Form f;
    QComboBox *bauds = f.ui.serialBauds;
    QStringList items;
    for (int i = 0; i < bauds->count(); ++i) {
        items << bauds->itemText(i);
        QVERIFY(!bauds->itemData(i).isValid());
        QVERIFY(bauds->itemIcon(i).isNull());
    }
    QCOMPARE(items, QStringList({"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"}));
    QCOMPARE(bauds->currentIndex(), 3);
    QCOMPARE(bauds->currentText(), QStringLiteral("9600"));
    QVERIFY(!bauds->isEditable());
}

void TestForm::bankAndRateCombos_data()
{
    QTest::addColumn<QStringList>("items");
    const QStringList bank = {"Bank A", "Bank B or fixed value"};
    const QStringList rate = {"50 Hz", "400 Hz"};
    for (int g = 1; g <= 3; ++g) {
        QTest::addRow("combo_08A3_gr%d_bank", g) << bank;
        QTest::addRow("combo_08A3_gr%d_frq", g) << rate;
    }
}

void TestForm::bankAndRateCombos()
{
    QFETCH(QStringList, items);
    Form f;
    auto *combo = f.get<QComboBox>(QTest::currentDataTag());
    QVERIFY(combo);
    QStringList actual;
    for (int i = 0; i < combo->count(); ++i) {
        actual << combo->itemText(i);
        QVERIFY(!combo->itemData(i).isValid());
    }
    QCOMPARE(actual, items);
    QCOMPARE(combo->currentIndex(), 0);
}

void TestForm::serialListStartsEmpty()
{
    Form f;
    QCOMPARE(f.ui.serialList->count(), 0);
    QCOMPARE(f.ui.serialList->currentIndex(), -1);
}

void TestForm::tabs()
{
    Form f;
    QTabWidget *tabs = f.ui.tab_all;
    QCOMPARE(tabs->widget(0), f.ui.tab_08A3_config);
    QCOMPARE(tabs->widget(1), f.ui.tab_04F2_config);
    QCOMPARE(tabs->tabText(0), QStringLiteral("Switch Configuration"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("Trigger Configuration"));
    QCOMPARE(tabs->currentIndex(), 1);
    QVERIFY(!f.ui.tab_08A3_config->layout());
    QVERIFY(!f.ui.tab_04F2_config->layout());
    QVERIFY(!f.ui.tab_all_internal->layout());
    QVERIFY(!f.ui.centralwidget->layout());

    QCOMPARE(f.window.centralWidget(), f.ui.centralwidget);
    QCOMPARE(f.window.statusBar(), f.ui.statusbar);
    QVERIFY(f.ui.statusbar->currentMessage().isEmpty());
    QVERIFY(!f.window.findChild<QMenuBar *>());
    QVERIFY(!f.window.findChild<QToolBar *>());
}

void TestForm::windowName_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::newRow("unnamed") << QString() << QStringLiteral("Halvero_configurator");
    QTest::newRow("named") << QStringLiteral("otherWindow") << QStringLiteral("otherWindow");
}

void TestForm::windowName()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    QMainWindow window;
    window.setObjectName(before);
    Ui_Halvero_configurator ui;
    ui.setupUi(&window);
    QCOMPARE(window.objectName(), after);
}

void TestForm::valueFieldsAreReadOnly()
{
    Form f;
    QStringList fields;
    const QList<QLineEdit *> edits = f.window.findChildren<QLineEdit *>();
    for (QLineEdit *e : edits) {
        if (e->objectName().startsWith("qt_"))
            continue; // the editors inside the spin boxes
        fields << e->objectName();
        QVERIFY2(e->isReadOnly(), qPrintable(e->objectName()));
        QVERIFY2(e->text().isEmpty(), qPrintable(e->objectName()));
        QTest::keyClicks(e, "12");
        QVERIFY2(e->text().isEmpty(), qPrintable(e->objectName()));
        // Read-only still lets the operator select and copy a value.
        e->setText("0x1234");
        e->selectAll();
        QCOMPARE(e->selectedText(), QStringLiteral("0x1234"));
    }
    QCOMPARE(fields.size(), 16);

    QPlainTextEdit *dump = f.ui.line_debug;
    QVERIFY(dump->isReadOnly());
    QVERIFY(dump->toPlainText().isEmpty());
    QTest::keyClicks(dump, "abc");
    QVERIFY(dump->toPlainText().isEmpty());
}

void TestForm::enabledStates_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("ownFlag"); // disabled by its own setting rather than by a parent
    QTest::newRow("btnSerialConnect") << true << false;
    QTest::newRow("btnRefreshSerialPorts") << true << false;
    QTest::newRow("serialList") << true << false;
    QTest::newRow("serialBauds") << true << false;
    QTest::newRow("btnSerialDisconnect") << false << true;
    QTest::newRow("group_system") << false << true;
    for (const char *child : {"gridLayoutWidget_5", "line_fw_ver", "label_26", "label_product", "line_product",
                              "label_serial", "line_UUID"})
        QTest::newRow(child) << false << false;
    QTest::newRow("tab_all") << true << false;
    for (const char *b :
         {"btn_08A3_ReadConf", "btn_08A3_SaveConf", "btn_08A3_SetDefaults", "btn_04F2_ReadConf", "btn_04F2_SaveConf",
          "btn_04F2_SetDefaults", "btnEEPROM_DUMP", "spin_ina_gain", "combo_08A3_gr1_bank"})
        QTest::newRow(b) << true << false;
}

void TestForm::enabledStates()
{
    QFETCH(bool, enabled);
    QFETCH(bool, ownFlag);
    Form f;
    auto *w = f.get<QWidget>(QTest::currentDataTag());
    QVERIFY(w);
    QCOMPARE(w->isEnabled(), enabled);
    QCOMPARE(w->testAttribute(Qt::WA_ForceDisabled), ownFlag);
}

void TestForm::systemGroupEnablesItsChildren()
{
    // Connecting enables the group alone; nothing inside may stay disabled.
    Form f;
    f.ui.group_system->setEnabled(true);
    const QList<QWidget *> children = f.ui.group_system->findChildren<QWidget *>();
    QVERIFY(children.size() >= 7);
    for (QWidget *w : children)
        QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
}

void TestForm::separatorsAndChecks()
{
    Form f;
    int separators = 0;
    for (QFrame *frame : f.window.findChildren<QFrame *>()) {
        if (QString(frame->metaObject()->className()) != "QFrame" || frame->objectName().startsWith("qt_"))
            continue;
        ++separators;
        QCOMPARE(frame->frameShape(), QFrame::HLine);
        QCOMPARE(frame->frameShadow(), QFrame::Sunken);
    }
    QCOMPARE(separators, 11);
    QVERIFY(!f.ui.check_08A3_active_low->isChecked());
    QVERIFY(!f.ui.check_04F2_active_low->isChecked());
}

void TestForm::buttonsReachSlotsOnce_data()
{
    QTest::addColumn<int>("unused");
    for (const QString &b : pushButtons)
        QTest::newRow(qPrintable(b)) << 0;
}

void TestForm::buttonsReachSlotsOnce()
{
    const QString name = QTest::currentDataTag();
    SlotProbe probe;
    Ui_Halvero_configurator ui;
    ui.setupUi(&probe);
    auto *button = probe.findChild<QPushButton *>(name);
    QVERIFY(button);
    button->setEnabled(true); // Disconnect starts disabled
    button->click();
    QCOMPARE(probe.hits.value(name), 1);
    int total = 0;
    for (int n : std::as_const(probe.hits))
        total += n;
    QCOMPARE(total, 1);
}

void TestForm::windowDeclaresButtonSlots()
{
    const QMetaObject &mo = Halvero_configurator::staticMetaObject;
    QCOMPARE(QString(mo.className()), QStringLiteral("Halvero_configurator"));
    QStringList declared;
    for (int i = mo.methodOffset(); i < mo.methodCount(); ++i) {
        const QMetaMethod m = mo.method(i);
        QCOMPARE(m.methodType(), QMetaMethod::Slot);
        QCOMPARE(m.access(), QMetaMethod::Private);
        QCOMPARE(m.returnType(), int(QMetaType::Void));
        declared << QString::fromLatin1(m.methodSignature());
    }
    QCOMPARE(declared, QStringList({
                           "on_btnRefreshSerialPorts_clicked()",
                           "on_btnSerialConnect_clicked()",
                           "on_btnSerialDisconnect_clicked()",
                           "on_btn_08A3_ReadConf_clicked()",
                           "on_btn_08A3_SaveConf_clicked()",
                           "on_btn_08A3_SetDefaults_clicked()",
                           "on_btnEEPROM_DUMP_clicked()",
                           "onScanTimeout()",
                           "parseResponse(uint8_t)",
                           "on_btn_04F2_ReadConf_clicked()",
                           "on_btn_04F2_SaveConf_clicked()",
                           "on_btn_04F2_SetDefaults_clicked()",
                       }));
    // Every push button of the form finds its slot by name.
    for (const QString &b : pushButtons)
        QVERIFY2(declared.contains(QStringLiteral("on_%1_clicked()").arg(b)), qPrintable(b));
}

// Each field of a family's table names an editor of its own on the family's
// page (or on the Internal page) that holds exactly the values it takes.
void TestForm::catalogueAfterConstruction_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<MemberGetter>("page");
    const QList<QPair<const char *, QString>> pages = {{"tab_08A3_config", QStringLiteral("Switch Configuration")},
                                                       {"tab_04F2_config", QStringLiteral("Trigger Configuration")},
                                                       {"tab_all_internal", QStringLiteral("Internal")}};
    for (const auto &[name, title] : pages) {
        const auto member = std::find_if(formObjects().begin(), formObjects().end(),
                                         [name = name](const FormObject &o) { return qstrcmp(o.name, name) == 0; });
        QVERIFY(member != formObjects().end());
        QTest::newRow(name) << title << member->get;
    }
}

void TestForm::catalogueAfterConstruction()
{
    QFETCH(QString, title);
    QFETCH(MemberGetter, page);
    const QString name = QTest::currentDataTag();
    Halvero_configurator w;
    Ui_Halvero_configurator *ui = HalveroTestAccess::ui(w);
    QCOMPARE(ui->tab_all->count(), 0);

    const QMap<QString, QWidget *> pages = HalveroTestAccess::pages(w);
    const QMap<QString, QString> titles = HalveroTestAccess::titles(w);
    QCOMPARE(static_cast<QObject *>(pages.value(name)), page(*ui));
    QCOMPARE(titles.value(name), title);
    // Out of the tab bar but still owned inside the tab widget.
    QVERIFY(ui->tab_all->isAncestorOf(pages.value(name)));
}

void TestForm::restoreAppendsUnderTitle()
{
    Halvero_configurator w;
    Ui_Halvero_configurator *ui = HalveroTestAccess::ui(w);
    HalveroTestAccess::restorePage(w, "tab_04F2_config");
    HalveroTestAccess::restorePage(w, "tab_all_internal");
    QCOMPARE(ui->tab_all->count(), 2);
    QCOMPARE(ui->tab_all->widget(0), ui->tab_04F2_config);
    QCOMPARE(ui->tab_all->widget(1), ui->tab_all_internal);
    QCOMPARE(ui->tab_all->tabText(0), QStringLiteral("Trigger Configuration"));
    QCOMPARE(ui->tab_all->tabText(1), QStringLiteral("Internal"));
    QCOMPARE(ui->tab_all->currentIndex(), 0);
}

void TestForm::restoreUnknownNameAddsNothing()
{
    Halvero_configurator w;
    Ui_Halvero_configurator *ui = HalveroTestAccess::ui(w);
    HalveroTestAccess::restorePage(w, "tab_0000_config");
    HalveroTestAccess::restorePage(w, QString());
    QCOMPARE(ui->tab_all->count(), 0);
    HalveroTestAccess::restorePage(w, "tab_08A3_config");
    QCOMPARE(ui->tab_all->count(), 1);
}

void TestForm::hideAndRestoreKeepsPages()
{
    Halvero_configurator w;
    Ui_Halvero_configurator *ui = HalveroTestAccess::ui(w);
    const QStringList names = {"tab_08A3_config", "tab_04F2_config", "tab_all_internal"};
    const QMap<QString, QWidget *> before = HalveroTestAccess::pages(w);
    QList<QPointer<QWidget>> guards;
    for (const QString &n : names)
        guards << QPointer<QWidget>(before.value(n));

    ui->spin_08A3_trig_high->setValue(1750);
    ui->combo_08A3_gr2_bank->setCurrentIndex(1);
    ui->line_04F2_temperature->setText("21.5");
    ui->check_04F2_active_low->setChecked(true);
    ui->line_debug->setPlainText("00 11 22");

    for (int round = 0; round < 2; ++round) {
        for (const QString &n : names)
            HalveroTestAccess::restorePage(w, n);
        QCOMPARE(ui->tab_all->count(), 3);
        HalveroTestAccess::hideAllPages(w);
        QCOMPARE(ui->tab_all->count(), 0);
    }
    for (const QPointer<QWidget> &g : std::as_const(guards))
        QVERIFY(!g.isNull());

    for (const QString &n : names)
        HalveroTestAccess::restorePage(w, n);
    for (int i = 0; i < names.size(); ++i)
        QCOMPARE(ui->tab_all->widget(i), before.value(names.at(i)));
    QCOMPARE(HalveroTestAccess::pages(w), before);
    QCOMPARE(ui->spin_08A3_trig_high->value(), 1750);
    QCOMPARE(ui->combo_08A3_gr2_bank->currentIndex(), 1);
    QCOMPARE(ui->line_04F2_temperature->text(), QStringLiteral("21.5"));
    QVERIFY(ui->check_04F2_active_low->isChecked());
    QCOMPARE(ui->line_debug->toPlainText(), QStringLiteral("00 11 22"));
}

QTEST_MAIN(TestForm)
#include "tst_form.moc"

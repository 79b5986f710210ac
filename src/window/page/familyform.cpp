// The form's side of each board family: page, buttons, status group and the
// widget of every field, by the field's path or JSON key.
#include "familyform.h"

#include <QCoreApplication>
#include <QHash>
#include <QMetaObject>
#include <QPushButton>

namespace {

struct FormTable
{
    const char *page;
    const char *title; // marked for translation under the window's context
    // By the field's path with its index left out ("failsafe[]"); %1 is
    // the index counted from 1, as on the page.
    QHash<QString, QString> config;
    QHash<QString, QString> status; // by the status field's JSON key
};

const FormTable *formOf(BoardFamily family)
{
    switch (family) {
    case BoardFamily::Switch08A3: {
        static const FormTable table{
            "tab_08A3_config",
            QT_TRANSLATE_NOOP("Halvero_configurator", "Switch Configuration"),
            {{QStringLiteral("groups[].bank"), QStringLiteral("combo_08A3_gr%1_bank")},
             {QStringLiteral("groups[].refreshRate"), QStringLiteral("combo_08A3_gr%1_frq")},
             {QStringLiteral("failsafe[]"), QStringLiteral("spin_08A3_val_ch%1")},
             {QStringLiteral("trigger.activeLow"), QStringLiteral("check_08A3_active_low")},
             {QStringLiteral("trigger.high"), QStringLiteral("spin_08A3_trig_high")},
             {QStringLiteral("trigger.low"), QStringLiteral("spin_08A3_trig_low")}},
            {{QStringLiteral("switch"), QStringLiteral("line_08A3_sw_status")},
             {QStringLiteral("triggerValue_us"), QStringLiteral("line_08A3_trig_val")},
             {QStringLiteral("triggerFrequency_Hz"), QStringLiteral("line_08A3_trig_freq")}},
        };
        return &table;
    }
    case BoardFamily::Trigger04F2: {
        static const FormTable table{
            "tab_04F2_config",
            QT_TRANSLATE_NOOP("Halvero_configurator", "Trigger Configuration"),
            {{QStringLiteral("inaGain"), QStringLiteral("spin_ina_gain")},
             {QStringLiteral("trigger.activeLow"), QStringLiteral("check_04F2_active_low")},
             {QStringLiteral("trigger.high"), QStringLiteral("spin_04F2_trig_high")},
             {QStringLiteral("trigger.low"), QStringLiteral("spin_04F2_trig_low")}},
            {{QStringLiteral("batteryVoltage_V"), QStringLiteral("line_04F2_battery_voltage")},
             {QStringLiteral("triggerVoltage_V"), QStringLiteral("line_04F2_trigger_voltage")},
             {QStringLiteral("fuseProbeCurrent_A"), QStringLiteral("line_04F2_fuse_probe_curr")},
             {QStringLiteral("fuseCurrent_A"), QStringLiteral("line_04F2_fuse_curr")},
             {QStringLiteral("fusePeakCurrent_A"), QStringLiteral("line_04F2_fuse_peak_curr")},
             {QStringLiteral("temperature_C"), QStringLiteral("line_04F2_temperature")}},
        };
        return &table;
    }
    case BoardFamily::Unknown:
        break;
    }
    return nullptr;
}

// "groups[2].bank" as "groups[].bank": a repeated field's key in the form's
// table. (Looked up for every field on every page shown: plain string work
// rather than a regular expression, whose compiled code memory checkers
// cannot follow.)
QString withoutIndices(const QString &path)
{
    QString key;
    key.reserve(path.size());
    bool inIndex = false;
    for (const QChar c : path) {
        if (inIndex && c.isDigit())
            continue;
        inIndex = c == QLatin1Char('[');
        key.append(c);
    }
    return key;
}

} // namespace

namespace FamilyForm {

QString pageName(BoardFamily family)
{
    const FormTable *form = formOf(family);
    return form ? QLatin1String(form->page) : QString();
}

QString pageTitle(BoardFamily family)
{
    const FormTable *form = formOf(family);
    return form ? QCoreApplication::translate("Halvero_configurator", form->title) : QString();
}

QString internalPageName()
{
    return QStringLiteral("tab_all_internal");
}

QString buttonName(BoardFamily family, Command command)
{
    if (!formOf(family))
        return QString();
    static const char *const names[] = {"btn_%1_ReadConf", "btn_%1_SaveConf", "btn_%1_SetDefaults"};
    return QLatin1String(names[int(command)]).arg(Protocol::familyName(family));
}

QPushButton *button(const QWidget *form, BoardFamily family, Command command)
{
    const QString name = buttonName(family, command);
    return name.isEmpty() ? nullptr : form->findChild<QPushButton *>(name);
}

void connectButtonsWithoutSlots(QWidget *window, const std::function<void(Command)> &run)
{
    for (BoardFamily family : Protocol::knownFamilies()) {
        for (Command command : {Command::Read, Command::Save, Command::Defaults}) {
            QPushButton *pushButton = button(window, family, command);
            const QByteArray slot = "on_" + buttonName(family, command).toLatin1() + "_clicked()";
            if (pushButton && window->metaObject()->indexOfSlot(slot.constData()) < 0)
                QObject::connect(pushButton, &QPushButton::clicked, window, [run, command] { run(command); });
        }
    }
}

QString statusGroupName(BoardFamily family)
{
    return formOf(family) ? QStringLiteral("gr_%1_status").arg(Protocol::familyName(family)) : QString();
}

QString configWidgetName(BoardFamily family, const ConfigField &field)
{
    const FormTable *form = formOf(family);
    if (!form)
        return QString();
    const QString key = withoutIndices(field.path);
    const QString name = form->config.value(key);
    return name.contains(QLatin1String("%1")) ? name.arg(field.index + 1) : name;
}

QString statusWidgetName(BoardFamily family, const StatusField &field)
{
    const FormTable *form = formOf(family);
    return form ? form->status.value(QString::fromUtf8(field.json)) : QString();
}

} // namespace FamilyForm

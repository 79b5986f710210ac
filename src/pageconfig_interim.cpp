// The page as a configuration and a configuration put in the page, until
// the page mapping in Halvero_configurator_pages.cpp provides them.
#include "Halvero_configurator.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSpinBox>

#include "ui_Halvero_configurator.h"

BoardConfig Halvero_configurator::pageConfig() const
{
    BoardConfig config = boardHeld;
    if (config.family == BoardFamily::Switch08A3) {
        const QList<QComboBox *> banks = bankCombos();
        const QList<QComboBox *> rates = rateCombos();
        for (int g = 0; g < 3; ++g) {
            config.values[QStringLiteral("groups[%1].bank").arg(g)] = uint8_t(banks[g]->currentIndex());
            config.values[QStringLiteral("groups[%1].refreshRate").arg(g)] = uint8_t(rates[g]->currentIndex());
        }
        const QList<QSpinBox *> channels = channelSpins();
        for (int ch = 0; ch < channels.size(); ++ch)
            config.values[QStringLiteral("failsafe[%1]").arg(ch)] = channels[ch]->value();
        config.values[QStringLiteral("trigger.activeLow")] = ui->check_08A3_active_low->isChecked() ? 1 : 0;
        config.values[QStringLiteral("trigger.high")] = ui->spin_08A3_trig_high->value();
        config.values[QStringLiteral("trigger.low")] = ui->spin_08A3_trig_low->value();
    } else if (config.family == BoardFamily::Trigger04F2) {
        config.values[QStringLiteral("trigger.activeLow")] = ui->check_04F2_active_low->isChecked() ? 1 : 0;
        config.values[QStringLiteral("trigger.high")] = ui->spin_04F2_trig_high->value();
        config.values[QStringLiteral("trigger.low")] = ui->spin_04F2_trig_low->value();
    }
    return config;
}

void Halvero_configurator::showConfigInPage(const BoardConfig &config)
{
    const auto v = [&config](const QString &path) { return config.values.value(path); };
    if (config.family == BoardFamily::Switch08A3) {
        const QList<QComboBox *> banks = bankCombos();
        const QList<QComboBox *> rates = rateCombos();
        for (int g = 0; g < 3; ++g) {
            banks[g]->setCurrentIndex(v(QStringLiteral("groups[%1].bank").arg(g)));
            rates[g]->setCurrentIndex(v(QStringLiteral("groups[%1].refreshRate").arg(g)));
        }
        const QList<QSpinBox *> channels = channelSpins();
        for (int ch = 0; ch < channels.size(); ++ch)
            channels[ch]->setValue(v(QStringLiteral("failsafe[%1]").arg(ch)));
        ui->check_08A3_active_low->setChecked(v(QStringLiteral("trigger.activeLow")) != 0);
        ui->spin_08A3_trig_high->setValue(v(QStringLiteral("trigger.high")));
        ui->spin_08A3_trig_low->setValue(v(QStringLiteral("trigger.low")));
    } else if (config.family == BoardFamily::Trigger04F2) {
        ui->spin_ina_gain->setValue(v(QStringLiteral("inaGain")));
        ui->check_04F2_active_low->setChecked(v(QStringLiteral("trigger.activeLow")) != 0);
        ui->spin_04F2_trig_high->setValue(v(QStringLiteral("trigger.high")));
        ui->spin_04F2_trig_low->setValue(v(QStringLiteral("trigger.low")));
    }
}

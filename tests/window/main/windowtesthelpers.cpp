// Configurations, wire frames, the page's fields and a board that falls
// silent, for the main window tests.
#include "windowtesthelpers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSpinBox>
#include <QtEndian>

#include <algorithm>
#include <chrono>

#include "boards.h"
#include "protocol.h"
#include "ui_Halvero_configurator.h"

namespace WindowTest {

namespace {

using TestSupport::isTriggerBoard;

const int SwitchPayloadLength = Protocol::configLength(BoardFamily::Switch08A3) - Protocol::headerLength;
const int TriggerPayloadLength = Protocol::configLength(BoardFamily::Trigger04F2) - Protocol::headerLength;

struct SwitchFields
{
    uint8_t bank[3] = {};
    uint8_t rate[3] = {};
    uint16_t failsafe[12] = {};
    bool activeLow = false;
    uint16_t high = 0;
    uint16_t low = 0;
};

struct TriggerFields
{
    uint8_t gain = 0;
    bool activeLow = false;
    uint16_t high = 0;
    uint16_t low = 0;
};

void appendU16(QByteArray &out, uint16_t value)
{
    out.append(char(value >> 8));
    out.append(char(value & 0xFF));
}

uint16_t u16At(const QByteArray &bytes, int i)
{
    return qFromBigEndian<quint16>(bytes.constData() + i);
}

QByteArray encode(const SwitchFields &f)
{
    return switchPayload(f.bank, f.rate, f.failsafe, f.activeLow, f.high, f.low);
}

SwitchFields decodeSwitch(const QByteArray &p)
{
    Q_ASSERT(p.size() == SwitchPayloadLength);
    SwitchFields f;
    for (int g = 0; g < 3; ++g) {
        f.bank[g] = uint8_t(p.at(g));
        f.rate[g] = uint8_t(p.at(3 + g));
    }
    for (int ch = 0; ch < 12; ++ch)
        f.failsafe[ch] = u16At(p, 6 + 2 * ch);
    f.activeLow = p.at(30) != 0;
    f.high = u16At(p, 31);
    f.low = u16At(p, 33);
    return f;
}

TriggerFields decodeTrigger(const QByteArray &p)
{
    Q_ASSERT(p.size() == TriggerPayloadLength);
    return {uint8_t(p.at(0)), p.at(1) != 0, u16At(p, 2), u16At(p, 4)};
}

struct SwitchWidgets
{
    QComboBox *bank[3];
    QComboBox *rate[3];
    QSpinBox *failsafe[12];
};

SwitchWidgets switchWidgets(Ui_Halvero_configurator *ui)
{
    return {{ui->combo_08A3_gr1_bank, ui->combo_08A3_gr2_bank, ui->combo_08A3_gr3_bank},
            {ui->combo_08A3_gr1_frq, ui->combo_08A3_gr2_frq, ui->combo_08A3_gr3_frq},
            {ui->spin_08A3_val_ch1, ui->spin_08A3_val_ch2, ui->spin_08A3_val_ch3, ui->spin_08A3_val_ch4,
             ui->spin_08A3_val_ch5, ui->spin_08A3_val_ch6, ui->spin_08A3_val_ch7, ui->spin_08A3_val_ch8,
             ui->spin_08A3_val_ch9, ui->spin_08A3_val_ch10, ui->spin_08A3_val_ch11, ui->spin_08A3_val_ch12}};
}

} // namespace

QByteArray switchPayload(const uint8_t bank[3], const uint8_t rate[3], const uint16_t failsafe[12], bool activeLow,
                         uint16_t high, uint16_t low)
{
    QByteArray p;
    for (int g = 0; g < 3; ++g)
        p.append(char(bank[g]));
    for (int g = 0; g < 3; ++g)
        p.append(char(rate[g]));
    for (int ch = 0; ch < 12; ++ch)
        appendU16(p, failsafe[ch]);
    p.append(char(activeLow ? 1 : 0));
    appendU16(p, high);
    appendU16(p, low);
    return p;
}

QByteArray triggerPayload(uint8_t gain, bool activeLow, uint16_t high, uint16_t low)
{
    QByteArray p;
    p.append(char(gain));
    p.append(char(activeLow ? 1 : 0));
    appendU16(p, high);
    appendU16(p, low);
    return p;
}

QByteArray storedPayload(int productCode)
{
    if (isTriggerBoard(productCode))
        return triggerPayload(7, true, 1700, 1300);
    SwitchFields f;
    if (productCode == 0x08A2) {
        const uint8_t bank[3] = {0, 1, 1}, rate[3] = {1, 0, 0};
        std::copy(bank, bank + 3, f.bank);
        std::copy(rate, rate + 3, f.rate);
        for (int ch = 0; ch < 12; ++ch)
            f.failsafe[ch] = uint16_t(2100 - 50 * ch);
        f.activeLow = false;
        f.high = 2000;
        f.low = 950;
    } else {
        const uint8_t bank[3] = {1, 0, 1}, rate[3] = {0, 1, 1};
        std::copy(bank, bank + 3, f.bank);
        std::copy(rate, rate + 3, f.rate);
        for (int ch = 0; ch < 12; ++ch)
            f.failsafe[ch] = uint16_t(905 + 97 * ch);
        f.activeLow = true;
        f.high = 1850;
        f.low = 1150;
    }
    return encode(f);
}

QByteArray editedPayload(int productCode)
{
    // Every field moves away from the stored value; the thresholds stay a
    // pair the window accepts (Low below High).
    const QByteArray stored = storedPayload(productCode);
    if (isTriggerBoard(productCode)) {
        const TriggerFields t = decodeTrigger(stored);
        return triggerPayload(uint8_t(t.gain + 35), !t.activeLow, uint16_t(t.high + 53), uint16_t(t.low + 47));
    }
    SwitchFields f = decodeSwitch(stored);
    for (int g = 0; g < 3; ++g) {
        f.bank[g] ^= 1;
        f.rate[g] ^= 1;
    }
    for (uint16_t &v : f.failsafe)
        v = uint16_t(3000 - v);
    f.activeLow = !f.activeLow;
    f.high = uint16_t(f.high + 53);
    f.low = uint16_t(f.low + 47);
    return encode(f);
}

QByteArray configWriteFrame(const BoardIdentity &identity, const QByteArray &payload)
{
    return TestSupport::frameHeader(identity, 0x02) + payload;
}

QByteArray setDefaultsFrame(const BoardIdentity &identity)
{
    return TestSupport::frameHeader(identity, 0x05);
}

QByteArray shownPayload(Ui_Halvero_configurator *ui, int productCode)
{
    if (isTriggerBoard(productCode)) {
        return triggerPayload(uint8_t(ui->spin_ina_gain->value()), ui->check_04F2_active_low->isChecked(),
                              uint16_t(ui->spin_04F2_trig_high->value()), uint16_t(ui->spin_04F2_trig_low->value()));
    }
    const SwitchWidgets w = switchWidgets(ui);
    SwitchFields f;
    for (int g = 0; g < 3; ++g) {
        f.bank[g] = uint8_t(w.bank[g]->currentIndex());
        f.rate[g] = uint8_t(w.rate[g]->currentIndex());
    }
    for (int ch = 0; ch < 12; ++ch)
        f.failsafe[ch] = uint16_t(w.failsafe[ch]->value());
    f.activeLow = ui->check_08A3_active_low->isChecked();
    f.high = uint16_t(ui->spin_08A3_trig_high->value());
    f.low = uint16_t(ui->spin_08A3_trig_low->value());
    return encode(f);
}

void editPage(Ui_Halvero_configurator *ui, int productCode, const QByteArray &payload)
{
    if (isTriggerBoard(productCode)) {
        const TriggerFields t = decodeTrigger(payload);
        ui->spin_ina_gain->setValue(t.gain);
        ui->check_04F2_active_low->setChecked(t.activeLow);
        ui->spin_04F2_trig_high->setValue(t.high);
        ui->spin_04F2_trig_low->setValue(t.low);
        return;
    }
    const SwitchFields f = decodeSwitch(payload);
    const SwitchWidgets w = switchWidgets(ui);
    for (int g = 0; g < 3; ++g) {
        w.bank[g]->setCurrentIndex(f.bank[g]);
        w.rate[g]->setCurrentIndex(f.rate[g]);
    }
    for (int ch = 0; ch < 12; ++ch)
        w.failsafe[ch]->setValue(f.failsafe[ch]);
    ui->check_08A3_active_low->setChecked(f.activeLow);
    ui->spin_08A3_trig_high->setValue(f.high);
    ui->spin_08A3_trig_low->setValue(f.low);
}

QStringList hexList(const QList<QByteArray> &frames)
{
    QStringList out;
    for (const QByteArray &f : frames)
        out << QString::fromLatin1(f.toHex());
    return out;
}

SilenceAfter::SilenceAfter(SimulatedBoard &board, int requests)
{
    m_thread = std::thread([this, &board, requests] {
        while (!m_stop) {
            if (board.requests().size() >= requests) {
                BoardFaults f = board.faults();
                f.silent = true;
                board.setFaults(f);
                m_fired = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
}

SilenceAfter::~SilenceAfter()
{
    finish();
}

void SilenceAfter::finish()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

} // namespace WindowTest

// The tables of the switch board (08A3, 08A2) and the trigger board (04F2).
// A new family is one more enumerator in protocol.h and one more table here;
// the compiler's switch warnings name what else needs it.
#include "boardfamilies.h"

#include <QCoreApplication>

namespace {

// One row stands for one field, or, in a block that repeats, for one field
// of every group or channel. In the path %1 counts from 0 (JSON indices), in
// the label and the meaning from 1 (the page and the board's silkscreen).
struct FieldRow
{
    const char *path;
    const char *label; // marked for translation under the link's own context
    const char *meaning;
    const char *unit;
    int offset; // from the start of the block's repetition
    int width;
    int min;
    int max;
    bool boolean;
    ConfigMember member;
    int below; // row of the same block this field's value must stay below; -1 none
    bool displayOnly = false;
};

constexpr int pulseMin = Protocol::pulseMinUs;
constexpr int pulseMax = Protocol::pulseMaxUs;

// Both boards end their configuration with the trigger input.
const FieldRow triggerInputRows[] = {
    {"trigger.activeLow", QT_TRANSLATE_NOOP("BoardFamilies", "trigger active low"), "", "", 0, 1, 0, 1, true,
     ConfigMember::TriggerActiveLow, -1},
    {"trigger.high", QT_TRANSLATE_NOOP("BoardFamilies", "trigger High"), "us", "us", 1, 2, pulseMin, pulseMax, false,
     ConfigMember::TriggerHigh, -1},
    {"trigger.low", QT_TRANSLATE_NOOP("BoardFamilies", "trigger Low"), "us", "us", 3, 2, pulseMin, pulseMax, false,
     ConfigMember::TriggerLow, 1},
};

// Bank and refresh rate of each group of four channels: a byte per group.
const FieldRow switchGroupRows[] = {
    {"groups[%1].bank", QT_TRANSLATE_NOOP("BoardFamilies", "group %1 bank"), "group %1, 0 bank A, 1 bank B or fixed",
     "", 0, 1, 0, 1, false, ConfigMember::GroupBank, -1},
    {"groups[%1].refreshRate", QT_TRANSLATE_NOOP("BoardFamilies", "group %1 refresh rate"),
     "group %1, 0 50 Hz, 1 400 Hz", "", 3, 1, 0, 1, false, ConfigMember::GroupRefreshRate, -1},
};

const FieldRow switchChannelRows[] = {
    {"failsafe[%1]", QT_TRANSLATE_NOOP("BoardFamilies", "channel %1 failsafe"), "channel %1, us", "us", 0, 2, pulseMin,
     pulseMax, false, ConfigMember::FailsafeValue, -1},
};

// The amplifier's gain is no operator's setting: the window shows it on
// its Internal page and never writes it; halvero-cli config set does.
const FieldRow triggerGainRows[] = {
    {"inaGain", QT_TRANSLATE_NOOP("BoardFamilies", "gain"), "current-sense gain", "", 0, 1, 0, 255, false,
     ConfigMember::InaGain, -1, true},
};

// The names the page gives the values of a choice or a flag, from 0 up.
QList<const char *> valueNamesOf(ConfigMember member)
{
    switch (member) {
    case ConfigMember::GroupBank:
        return {QT_TRANSLATE_NOOP("BoardFamilies", "Bank A"),
                QT_TRANSLATE_NOOP("BoardFamilies", "Bank B or fixed value")};
    case ConfigMember::GroupRefreshRate:
        return {QT_TRANSLATE_NOOP("BoardFamilies", "50 Hz"), QT_TRANSLATE_NOOP("BoardFamilies", "400 Hz")};
    case ConfigMember::TriggerActiveLow:
        return {QT_TRANSLATE_NOOP("BoardFamilies", "no"), QT_TRANSLATE_NOOP("BoardFamilies", "yes")};
    case ConfigMember::FailsafeValue:
    case ConfigMember::TriggerHigh:
    case ConfigMember::TriggerLow:
    case ConfigMember::InaGain:
        break;
    }
    return {};
}

QString filled(const char *text, int number, const QString &familyName)
{
    return QString::fromUtf8(text)
        .replace(QLatin1String("%1"), QString::number(number))
        .replace(QLatin1String("%2"), familyName);
}

// Appends a block of rows, `count` times: the n-th time `stride` bytes
// after `start`, as group or channel n+1.
template<size_t N>
void appendBlock(BoardFamilyTable &table, const FieldRow (&rows)[N], int count, int start, int stride)
{
    for (int n = 0; n < count; ++n) {
        const int first = int(table.config.size());
        for (const FieldRow &row : rows) {
            ConfigField field;
            field.path = filled(row.path, n, table.name);
            field.meaning = filled(row.meaning, n + 1, table.name);
            field.min = row.min;
            field.max = row.max;
            field.boolean = row.boolean;
            field.displayOnly = row.displayOnly;
            field.labelText = row.label;
            field.number = count > 1 ? n + 1 : 0;
            field.unit = QString::fromUtf8(row.unit);
            field.offset = start + n * stride + row.offset;
            field.width = row.width;
            field.member = row.member;
            field.index = n;
            field.below = row.below < 0 ? -1 : first + row.below;
            field.valueNames = valueNamesOf(row.member);
            table.config.append(field);
        }
    }
}

BoardFamilyTable switchBoard()
{
    BoardFamilyTable t;
    t.family = BoardFamily::Switch08A3;
    t.name = QStringLiteral("08A3");
    t.productCodes = {0x08A3, 0x08A2};
    t.majorMin = 0;
    t.majorMax = 1;
    t.minorMin = 0;
    t.minorMax = 3;
    t.configLength = 40;
    t.statusLength = 12;
    appendBlock(t, switchGroupRows, 3, 5, 1);
    appendBlock(t, switchChannelRows, 12, 11, 2);
    appendBlock(t, triggerInputRows, 1, 35, 0);
    // Without a trigger pulse the board's reading and frequency are stale.
    t.status = {
        // json, text, unit, offset, width, multiplier, divisor, bias, member, flag, off, on, valid with,
        // plot pane, name and colour
        {"switch", "", "", 11, 1, 1, 1, 0, StatusMember::FailsafeActive, true, "NORMAL", "FAILSAFE", -1, -1, "", 0},
        {"triggerPresent", "", "", 10, 1, 1, 1, 0, StatusMember::TriggerPresent, true, "", "", -1, -1, "", 0},
        {"triggerValue_us", "trigger", "us", 6, 2, 1, 1, 0, StatusMember::TriggerValue, false, "", "", 1, 0,
         QT_TRANSLATE_NOOP("BoardFamilies", "Trigger pulse"), 0xff1f77b4},
        {"triggerFrequency_Hz", "", "Hz", 8, 2, 1, 1, 0, StatusMember::TriggerFrequency, false, "", "", 1, 1,
         QT_TRANSLATE_NOOP("BoardFamilies", "Trigger frequency"), 0xffff7f0e},
    };
    // The pulse against the thresholds it switches at, over the whole range
    // a receiver sends; the frequency of a servo signal.
    t.plotPanes = {
        {"\xC2\xB5s", 100, Protocol::pulseMinUs, Protocol::pulseMaxUs},
        {"Hz", 10, 0, 100},
    };
    t.plotThresholds = {
        {QStringLiteral("trigger.high"), 0, QT_TRANSLATE_NOOP("BoardFamilies", "High"), 0xffc02020},
        {QStringLiteral("trigger.low"), 0, QT_TRANSLATE_NOOP("BoardFamilies", "Low"), 0xff108030},
    };
    return t;
}

BoardFamilyTable triggerBoard()
{
    BoardFamilyTable t;
    t.family = BoardFamily::Trigger04F2;
    t.name = QStringLiteral("04F2");
    t.productCodes = {0x04F2};
    t.majorMin = 0;
    t.majorMax = 0;
    t.minorMin = 1;
    t.minorMax = 1;
    t.configLength = 11;
    t.statusLength = 20;
    appendBlock(t, triggerGainRows, 1, 5, 0);
    appendBlock(t, triggerInputRows, 1, 6, 0);
    // Single raw bytes; bytes 12 to 18 carry nothing the host reads.
    t.status = {
        // json, text, unit, offset, width, multiplier, divisor, bias, member, flag, off, on, valid with,
        // plot pane, name and colour
        {"batteryVoltage_V", "battery", "V", 19, 1, 1, 5, 0, StatusMember::BatteryVoltage, false, "", "", -1, 0,
         QT_TRANSLATE_NOOP("BoardFamilies", "Battery"), 0xff1f77b4},
        {"triggerVoltage_V", "trigger", "V", 11, 1, 1, 10, 0, StatusMember::TriggerVoltage, false, "", "", -1, 0,
         QT_TRANSLATE_NOOP("BoardFamilies", "Trigger"), 0xffff7f0e},
        {"fuseProbeCurrent_A", "fuse probe", "A", 8, 1, 2, 1, 0, StatusMember::FuseProbeCurrent, false, "", "", -1, 1,
         QT_TRANSLATE_NOOP("BoardFamilies", "Fuse probe"), 0xff2ca02c},
        {"fuseCurrent_A", "fuse", "A", 9, 1, 1, 1, 0, StatusMember::FuseCurrent, false, "", "", -1, 1,
         QT_TRANSLATE_NOOP("BoardFamilies", "Fuse"), 0xff9467bd},
        {"fusePeakCurrent_A", "fuse peak", "A", 10, 1, 1, 1, 0, StatusMember::FusePeakCurrent, false, "", "", -1, 1,
         QT_TRANSLATE_NOOP("BoardFamilies", "Fuse peak"), 0xffd62728},
        {"temperature_C", "temperature",
         "\xC2\xB0"
         "C",
         6, 1, 1, 2, -25, StatusMember::Temperature, false, "", "", -1, 2,
         QT_TRANSLATE_NOOP("BoardFamilies", "Temperature"), 0xff8c564b},
    };
    // Voltages, currents and the temperature each on a scale of their own,
    // so that a fuse current of a few amperes is not flattened by a 12 V
    // battery; the spans keep an idle board's readings from filling a pane
    // with noise.
    t.plotPanes = {
        {"V", 1, 0, 15},
        {"A", 1, 0, 10},
        {"\xC2\xB0"
         "C",
         5, 0, 50},
    };
    return t;
}

QString translated(const char *text)
{
    return QCoreApplication::translate("BoardFamilies", text);
}

} // namespace

QString ConfigField::displayName() const
{
    return meaning.isEmpty() ? path : QStringLiteral("%1 (%2)").arg(path, meaning);
}

QString ConfigField::label() const
{
    if (!labelText)
        return path;
    return number > 0 ? translated(labelText).arg(number) : translated(labelText);
}

QString ConfigField::valueName(int value) const
{
    const int item = value - min;
    if (item >= 0 && item < valueNames.size())
        return translated(valueNames.at(item));
    return QString::number(value);
}

QString StatusField::plotTitle() const
{
    return translated(plotName);
}

QString PlotThreshold::title() const
{
    return translated(name);
}

namespace Protocol {

const BoardFamilyTable &familyTable(BoardFamily family)
{
    switch (family) {
    case BoardFamily::Switch08A3: {
        static const BoardFamilyTable table = switchBoard();
        return table;
    }
    case BoardFamily::Trigger04F2: {
        static const BoardFamilyTable table = triggerBoard();
        return table;
    }
    case BoardFamily::Unknown:
        break;
    }
    static const BoardFamilyTable none;
    return none;
}

QList<BoardFamily> knownFamilies()
{
    // The enumerators after Unknown are the known families, each with its table.
    static const QList<BoardFamily> families = [] {
        QList<BoardFamily> list;
        for (int f = int(BoardFamily::Unknown) + 1; familyTable(BoardFamily(f)).family != BoardFamily::Unknown; ++f)
            list.append(BoardFamily(f));
        return list;
    }();
    return families;
}

} // namespace Protocol

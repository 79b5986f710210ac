// Each board family as one table: the product codes that make it, the
// firmware the host reads, the length of its messages, every field of its
// configuration and status - where it sits on the wire, in the device
// link's record and in the JSON file, what the operator calls it and which
// values it takes - and how the live plot draws its status. The codec, the configuration files and
// their checks, the comparisons, the status bar, the live plot and
// halvero-cli read the fields from here; nothing else lists them.
#ifndef HALVERO_BOARDFAMILIES_H
#define HALVERO_BOARDFAMILIES_H

#include <QList>
#include <QString>
#include <cstdint>

#include "protocol.h"

// The member of the device link's record a configuration value is kept in.
enum class ConfigMember {
    GroupBank,
    GroupRefreshRate,
    FailsafeValue,
    TriggerActiveLow,
    TriggerHigh,
    TriggerLow,
    InaGain
};

// The member of the record a status value is kept in.
enum class StatusMember {
    FailsafeActive,
    TriggerPresent,
    TriggerValue,
    TriggerFrequency,
    BatteryVoltage,
    TriggerVoltage,
    FuseProbeCurrent,
    FuseCurrent,
    FusePeakCurrent,
    Temperature,
};

// One settable value of a family, named by its place inside "config".
struct ConfigField
{
    QString path;    // e.g. "failsafe[11]", "groups[0].bank", "trigger.high"
    QString meaning; // how halvero-cli explains it, e.g. "channel 12, us"
    int min = 0;
    int max = 0;
    bool boolean = false;
    // The window shows it but never writes it; halvero-cli writes it all
    // the same.
    bool displayOnly = false;

    // The operator's words for it, untranslated, with %1 standing for
    // `number` (counted from 1, as on the page and the board's silkscreen).
    const char *labelText = nullptr;
    int number = 0;
    QString unit = {}; // "us"; empty for a flag or a choice
    int offset = 0;    // in the configuration message, header included
    int width = 1;     // bytes, big-endian
    ConfigMember member = ConfigMember::TriggerActiveLow;
    int index = 0;  // element of an array member: group or channel
    int below = -1; // the field, by its place in the family's list, whose value this one must stay below
    // The operator's names of a choice's or a flag's values, from `min` up,
    // untranslated ("Bank A", ...); empty for a number.
    QList<const char *> valueNames = {};

    QString displayName() const; // path and meaning together, for messages
    QString label() const;       // "channel 12 failsafe", in the window's language
    // A value as the page names it ("Bank B or fixed value"), in the
    // window's language; a number, or a value without a name, as digits.
    QString valueName(int value) const;
};

// One value of a family's status reply; texts in UTF-8.
struct StatusField
{
    const char *json; // halvero-cli's JSON key, unit included: "fuseCurrent_A"
    const char *text; // its name in halvero-cli's status line: "fuse"; empty: the value alone
    const char *unit; // after the value in that line: "A"
    int offset;
    int width;
    // The value in units is raw * multiplier / divisor + bias, in float.
    float multiplier;
    float divisor;
    float bias;
    StatusMember member;
    bool flag;
    const char *offWord; // a flag the operator reads as words: "NORMAL" ...
    const char *onWord;  // ... and "FAILSAFE"; empty: true and false
    int validWith;       // the flag, by its place in the list, without which this value is stale; -1 none
    // The live plot: the pane the value is drawn in (-1: not drawn), its
    // legend name (untranslated) and its colour, 0xAARRGGBB as a QRgb (the
    // link does without Qt GUI).
    int plotPane;
    const char *plotName;
    uint32_t plotColor;

    float scaled(unsigned raw) const { return float(raw) * multiplier / divisor + bias; }
    QString plotTitle() const; // the legend name in the window's language
};

// A pane of the live plot, stacked below the ones before it: the series of
// one unit, drawn to one scale.
struct PlotPane
{
    const char *unit;  // after every value drawn in it: "µs", "°C" (UTF-8)
    double minSpan;    // the smallest value range shown, so that noise stays small
    double defaultLow; // the range shown before there is anything to scale to
    double defaultHigh;
};

// A configuration value drawn across a pane as a dashed line, so that the
// operator sees a reading against the level it switches at.
struct PlotThreshold
{
    QString path; // the configuration field, by its path
    int pane;
    const char *name; // in the legend before the value, untranslated: "High"
    uint32_t color;   // 0xAARRGGBB, as a QRgb

    QString title() const; // the name in the window's language
};

struct BoardFamilyTable
{
    BoardFamily family = BoardFamily::Unknown;
    QString name;                 // "08A3": the family in files, messages and page names
    QList<uint16_t> productCodes; // the family's own product code first
    // Firmware versions whose layouts the host knows: major and minor each
    // within their bounds. Nothing is accepted for an unknown family.
    uint8_t majorMin = 1, majorMax = 0, minorMin = 1, minorMax = 0;
    int configLength = 0; // configuration reply and write, header included
    int statusLength = 0;
    QList<ConfigField> config; // in the order they are listed and compared
    QList<StatusField> status; // in the order halvero-cli prints them
    QList<PlotPane> plotPanes; // the live plot's panes, top first
    QList<PlotThreshold> plotThresholds;

    bool firmwareAccepted(uint8_t major, uint8_t minor) const
    {
        return major >= majorMin && major <= majorMax && minor >= minorMin && minor <= minorMax;
    }
};

namespace Protocol {

// The family's table; an empty one, which nothing matches, for Unknown.
const BoardFamilyTable &familyTable(BoardFamily family);
// Every family the host knows, in the order of the enumeration.
QList<BoardFamily> knownFamilies();

} // namespace Protocol

#endif // HALVERO_BOARDFAMILIES_H

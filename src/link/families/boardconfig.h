// A board's configuration as a value: the JSON layout halvero-cli reads and
// writes (and the history keeps), the checks a file must pass before it may
// reach a board, and the field-by-field comparison used by diff, by the
// verify step and by the window after a Save CONF.
#ifndef HALVERO_BOARDCONFIG_H
#define HALVERO_BOARDCONFIG_H

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <cstdint>
#include <optional>

#include "boardfamilies.h"
#include "protocol.h"
#include "result.h"

class parachuteRadioComm;

// Bump when the layout changes in a way an older reader would misread.
constexpr int configFormatVersion = 1;

// ConfigField, one settable value of a family, comes with the families'
// tables (boardfamilies.h).

// Every field of the family, in the order they are listed and compared.
QList<ConfigField> configFields(BoardFamily family);

struct BoardConfig
{
    BoardFamily family = BoardFamily::Unknown;
    // Where the values came from; informative only, never written to a board.
    QString productCode;
    QString firmware;
    QString serial;
    QString readAt;
    QMap<QString, int> values; // by ConfigField::path; booleans are 0 or 1
};

// A configuration taken from a file or checked for a board. A rejected one
// is BadFile (its structure) or OutOfRange (a value the board does not
// take), the message naming the field or the place in the text.
struct ConfigLoad : Result
{
    BoardConfig config;
};

// Structure, types and format version, and no key named twice in one
// object; values are taken as they stand.
ConfigLoad parseConfigJson(const QByteArray &text);
// The same of a file already parsed as JSON (a history entry).
ConfigLoad parseConfigObject(const QJsonObject &root);
// The ranges a board accepts; the first offending field is named, its
// value quoted from `text` (the file the configuration was parsed from)
// when given.
ConfigLoad checkRanges(const BoardConfig &config, const QByteArray &text = QByteArray());
// Both of the above: a file that passes may be written to a board (see
// crossedPair() for what depends on the board).
ConfigLoad loadConfigForWrite(const QByteArray &text);

// A pair such as the trigger thresholds whose lower field is not below its
// upper one. Boards take it as it comes; a write only asks about it (the
// window) or refuses it (halvero-cli) when it is the write that crosses it.
struct CrossedPair
{
    ConfigField lower;
    ConfigField upper;
    int lowerValue = 0;
    int upperValue = 0;
    QString message() const; // "value out of range: trigger.low is 1700, must be below trigger.high (1600)"
};
// The first crossed pair of `config`, leaving out pairs whose two values
// are as `held` has them: a pair the board already holds is written back.
std::optional<CrossedPair> crossedPair(const BoardConfig &config, const BoardConfig *held = nullptr);

// Why a configuration of one family does not go to a board of another:
// "<source> is a configuration for a 04F2 board, but the board on <port> is
// a 08A3 board".
QString wrongFamilyMessage(const QString &source, BoardFamily configFamily, const QString &port,
                           const QString &boardProductCode);

QJsonObject configToJson(const BoardConfig &config);
QByteArray configToText(const BoardConfig &config); // indented, ends with a newline

// 1-based line and column of a byte offset, for pointing at a JSON error.
void lineAndColumn(const QByteArray &text, int offset, int *line, int *column);

struct FieldDifference
{
    ConfigField field;
    int board = 0;
    int file = 0;
};

// Fields of `board`'s family whose values differ, in field order.
QList<FieldDifference> diffConfigs(const BoardConfig &board, const BoardConfig &file);
QString formatValue(const ConfigField &field, int value);

// The device link's record to and from the file's view of a configuration.
BoardConfig configFromRecord(const parachuteRadioComm &record);
void applyConfigToRecord(const BoardConfig &config, parachuteRadioComm &record);

#endif // HALVERO_BOARDCONFIG_H

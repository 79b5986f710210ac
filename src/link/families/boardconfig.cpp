// Reading, checking, writing and comparing board configurations.
#include "boardconfig.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <cmath>

#include "displayformat.h"
#include "jsonliteral.h"
#include "parachuteradiocomm.h"
#include "recordtext.h"

namespace {

const QString keyFormat = QStringLiteral("format");
const QString keyProduct = QStringLiteral("productCode");
const QString keyFirmware = QStringLiteral("firmware");
const QString keySerial = QStringLiteral("serial");
const QString keyReadAt = QStringLiteral("readAt");
const QString keyConfig = QStringLiteral("config");

// Why a file was refused, for a look at what a program was given.
Q_LOGGING_CATEGORY(lcFamilies, "halvero.link.families")

ConfigLoad failure(ErrorCode code, const QString &message)
{
    qCDebug(lcFamilies).noquote() << "Configuration refused:" << message;
    ConfigLoad load;
    load.code = code;
    load.message = message;
    return load;
}

// Every scalar in the "config" object under the path that names it, so the
// file's shape can be checked against the field list in one pass. Empty
// containers are kept as leaves so that they are reported, not ignored.
void flatten(const QJsonValue &value, const QString &path, QMap<QString, QJsonValue> &leaves)
{
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        if (object.isEmpty() && !path.isEmpty())
            leaves.insert(path, value);
        for (auto it = object.begin(); it != object.end(); ++it)
            flatten(it.value(), path.isEmpty() ? it.key() : path + QLatin1Char('.') + it.key(), leaves);
    } else if (value.isArray()) {
        const QJsonArray array = value.toArray();
        if (array.isEmpty())
            leaves.insert(path, value);
        for (int i = 0; i < array.size(); ++i)
            flatten(array.at(i), path + QStringLiteral("[%1]").arg(i), leaves);
    } else {
        leaves.insert(path, value);
    }
}

// `value` at a field's path ("groups[1].bank") inside `node`, with the
// objects and arrays on the way created as needed.
QJsonValue withLeaf(const QJsonValue &node, const QStringList &steps, int at, const QJsonValue &value)
{
    if (at == steps.size())
        return value;
    const QString &step = steps.at(at);
    if (!step.startsWith(QLatin1Char('['))) {
        QJsonObject object = node.toObject();
        object.insert(step, withLeaf(object.value(step), steps, at + 1, value));
        return object;
    }
    const int index = step.mid(1, step.size() - 2).toInt();
    QJsonArray array = node.toArray();
    while (array.size() <= index)
        array.append(QJsonValue());
    array.replace(index, withLeaf(array.at(index), steps, at + 1, value));
    return array;
}

QStringList pathSteps(const QString &path)
{
    static const QRegularExpression step(QStringLiteral("[^.\\[]+|\\[\\d+\\]"));
    QStringList steps;
    for (auto it = step.globalMatch(path); it.hasNext();)
        steps << it.next().captured();
    return steps;
}

// "08A3, 08A2 or 04F2": every product code a file may name.
QString knownProductCodes()
{
    QStringList codes;
    for (BoardFamily family : Protocol::knownFamilies()) {
        for (uint16_t code : Protocol::familyTable(family).productCodes)
            codes << DisplayFormat::productCode(uint8_t(code >> 8), uint8_t(code & 0xFF));
    }
    const QString last = codes.takeLast();
    return codes.isEmpty() ? last : codes.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

} // namespace

QList<ConfigField> configFields(BoardFamily family)
{
    return Protocol::familyTable(family).config;
}

void lineAndColumn(const QByteArray &text, int offset, int *line, int *column)
{
    offset = qBound(0, offset, int(text.size()));
    const QByteArray before = text.left(offset);
    *line = int(before.count('\n')) + 1;
    *column = offset - int(before.lastIndexOf('\n'));
}

ConfigLoad parseConfigJson(const QByteArray &text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError) {
        int line = 0;
        int column = 0;
        lineAndColumn(text, error.offset, &line, &column);
        return failure(
            ErrorCode::BadFile,
            QStringLiteral("malformed JSON at line %1, column %2: %3").arg(line).arg(column).arg(error.errorString()));
    }
    if (!document.isObject())
        return failure(ErrorCode::BadFile,
                       QStringLiteral("not a configuration file: the top level is not a JSON object"));
    // The parser keeps the last of two members of one name; the operator
    // may have read the first.
    if (const std::optional<RepeatedKey> repeated = firstRepeatedKey(text))
        return failure(ErrorCode::BadFile,
                       QStringLiteral("%1 is set twice, at lines %2 and %3: a file names each key once")
                           .arg(repeated->path)
                           .arg(repeated->firstLine)
                           .arg(repeated->againLine));
    return parseConfigObject(document.object());
}

ConfigLoad parseConfigObject(const QJsonObject &root)
{
    const QJsonValue format = root.value(keyFormat);
    if (format.isUndefined())
        return failure(ErrorCode::BadFile, QStringLiteral("not a configuration file: no \"format\" version"));
    if (!format.isDouble() || format.toDouble() != std::floor(format.toDouble()))
        return failure(ErrorCode::BadFile, QStringLiteral("\"format\" must be a whole number"));
    if (format.toDouble() != configFormatVersion)
        return failure(ErrorCode::BadFile,
                       QStringLiteral("unsupported format version %1 (this halvero-cli reads format %2)")
                           .arg(format.toDouble())
                           .arg(configFormatVersion));

    const QJsonValue product = root.value(keyProduct);
    if (!product.isString())
        return failure(ErrorCode::BadFile,
                       QStringLiteral("no \"productCode\": the file does not say which board it is for"));
    BoardConfig config;
    config.family = Protocol::familyOfProductText(product.toString());
    if (config.family == BoardFamily::Unknown)
        return failure(
            ErrorCode::BadFile,
            QStringLiteral("unknown product code \"%1\" (expected %2)").arg(product.toString(), knownProductCodes()));
    config.productCode = product.toString().toUpper();
    config.firmware = root.value(keyFirmware).toString();
    config.serial = root.value(keySerial).toString();
    config.readAt = root.value(keyReadAt).toString();

    const QJsonValue settings = root.value(keyConfig);
    if (!settings.isObject())
        return failure(ErrorCode::BadFile, QStringLiteral("no \"config\" object"));
    QMap<QString, QJsonValue> leaves;
    flatten(settings, QString(), leaves);

    const QList<ConfigField> fields = configFields(config.family);
    QSet<QString> known;
    for (const ConfigField &field : fields) {
        known.insert(field.path);
        const auto it = leaves.constFind(field.path);
        if (it == leaves.constEnd())
            return failure(ErrorCode::BadFile, QStringLiteral("missing field %1").arg(field.displayName()));
        if (field.boolean) {
            if (!it->isBool())
                return failure(ErrorCode::BadFile,
                               QStringLiteral("field %1 must be true or false").arg(field.displayName()));
            config.values.insert(field.path, it->toBool() ? 1 : 0);
            continue;
        }
        if (!it->isDouble())
            return failure(ErrorCode::BadFile, QStringLiteral("field %1 must be a number").arg(field.displayName()));
        const double number = it->toDouble();
        if (number != std::floor(number))
            return failure(
                ErrorCode::BadFile,
                QStringLiteral("field %1 must be a whole number, not %2").arg(field.displayName()).arg(number));
        // Anything past the int range is out of every field's range anyway;
        // saturating keeps it that way instead of wrapping into range.
        config.values.insert(field.path, int(qBound(-2147483648.0, number, 2147483647.0)));
    }
    // A field of the other family, or a typo, must not pass silently: the
    // operator would believe a value was written that never was.
    for (auto it = leaves.constBegin(); it != leaves.constEnd(); ++it) {
        if (!known.contains(it.key()))
            return failure(ErrorCode::BadFile, QStringLiteral("unknown field %1 in a configuration for %2")
                                                   .arg(it.key(), Protocol::familyName(config.family)));
    }

    ConfigLoad load;
    load.config = config;
    return load;
}

ConfigLoad checkRanges(const BoardConfig &config, const QByteArray &text)
{
    // A value is quoted as the file writes it: past the int range it was
    // saturated, past what a double holds exactly it was rounded.
    const auto quoted = [&text](const ConfigField &field, int value) {
        const QString written =
            text.isEmpty() ? QString() : jsonLiteralAt(text, keyConfig + QLatin1Char('.') + field.path);
        return written.isEmpty() ? QString::number(value) : written;
    };
    const QList<ConfigField> fields = configFields(config.family);
    for (const ConfigField &field : fields) {
        const int value = config.values.value(field.path);
        if (value < field.min || value > field.max)
            return failure(ErrorCode::OutOfRange, QStringLiteral("value out of range: %1 is %2, allowed %3..%4")
                                                      .arg(field.displayName(), quoted(field, value))
                                                      .arg(field.min)
                                                      .arg(field.max));
    }
    ConfigLoad load;
    load.config = config;
    return load;
}

std::optional<CrossedPair> crossedPair(const BoardConfig &config, const BoardConfig *held)
{
    const QList<ConfigField> fields = configFields(config.family);
    for (const ConfigField &field : fields) {
        if (field.below < 0)
            continue;
        const ConfigField &upper = fields.at(field.below);
        const CrossedPair pair{field, upper, config.values.value(field.path), config.values.value(upper.path)};
        if (pair.lowerValue < pair.upperValue)
            continue;
        if (held && held->values.value(field.path) == pair.lowerValue
            && held->values.value(upper.path) == pair.upperValue)
            continue;
        return pair;
    }
    return std::nullopt;
}

QString CrossedPair::message() const
{
    return QStringLiteral("value out of range: %1 is %2, must be below %3 (%4)")
        .arg(lower.path)
        .arg(lowerValue)
        .arg(upper.path)
        .arg(upperValue);
}

ConfigLoad loadConfigForWrite(const QByteArray &text)
{
    const ConfigLoad parsed = parseConfigJson(text);
    return parsed.ok() ? checkRanges(parsed.config, text) : parsed;
}

QJsonObject configToJson(const BoardConfig &config)
{
    QJsonValue settings = QJsonObject();
    for (const ConfigField &field : configFields(config.family)) {
        const int value = config.values.value(field.path);
        settings =
            withLeaf(settings, pathSteps(field.path), 0, field.boolean ? QJsonValue(value != 0) : QJsonValue(value));
    }

    QJsonObject root;
    root.insert(keyFormat, configFormatVersion);
    root.insert(keyProduct, config.productCode.isEmpty() ? Protocol::familyName(config.family) : config.productCode);
    if (!config.firmware.isEmpty())
        root.insert(keyFirmware, config.firmware);
    if (!config.serial.isEmpty())
        root.insert(keySerial, config.serial);
    if (!config.readAt.isEmpty())
        root.insert(keyReadAt, config.readAt);
    root.insert(keyConfig, settings.toObject());
    return root;
}

QByteArray configToText(const BoardConfig &config)
{
    return QJsonDocument(configToJson(config)).toJson(QJsonDocument::Indented);
}

QList<FieldDifference> diffConfigs(const BoardConfig &board, const BoardConfig &file)
{
    QList<FieldDifference> differences;
    for (const ConfigField &field : configFields(board.family)) {
        const int boardValue = board.values.value(field.path);
        const int fileValue = file.values.value(field.path);
        if (boardValue != fileValue)
            differences.append({field, boardValue, fileValue});
    }
    return differences;
}

QString wrongFamilyMessage(const QString &source, BoardFamily configFamily, const QString &port,
                           const QString &boardProductCode)
{
    return QStringLiteral("%1 is a configuration for a %2 board, but the board on %3 is a %4 board")
        .arg(source, Protocol::familyName(configFamily), port, boardProductCode);
}

QString formatValue(const ConfigField &field, int value)
{
    if (field.boolean)
        return value ? QStringLiteral("true") : QStringLiteral("false");
    return QString::number(value);
}

BoardConfig configFromRecord(const parachuteRadioComm &record)
{
    BoardConfig config;
    config.family = recordFamily(record);
    config.productCode = productCodeText(record);
    config.firmware = firmwareText(record);
    config.serial = serialText(record);
    for (const ConfigField &field : configFields(config.family))
        config.values.insert(field.path, record.configValue(field));
    return config;
}

void applyConfigToRecord(const BoardConfig &config, parachuteRadioComm &record)
{
    for (const ConfigField &field : configFields(config.family))
        record.setConfigValue(field, config.values.value(field.path));
}

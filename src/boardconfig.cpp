// Reading, checking, writing and comparing board configurations.
#include "boardconfig.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>
#include <QSet>
#include <cmath>

#include "recordtext.h"
#include "parachuteradiocomm.h"

namespace {

const QString keyFormat = QStringLiteral("format");
const QString keyProduct = QStringLiteral("productCode");
const QString keyFirmware = QStringLiteral("firmware");
const QString keySerial = QStringLiteral("serial");
const QString keyReadAt = QStringLiteral("readAt");
const QString keyConfig = QStringLiteral("config");

constexpr int pulseMin = Protocol::pulseMinUs;
constexpr int pulseMax = Protocol::pulseMaxUs;

QString groupBankPath(int group) { return QStringLiteral("groups[%1].bank").arg(group); }
QString groupRatePath(int group) { return QStringLiteral("groups[%1].refreshRate").arg(group); }
QString failsafePath(int channel) { return QStringLiteral("failsafe[%1]").arg(channel); }
const QString activeLowPath = QStringLiteral("trigger.activeLow");
const QString triggerHighPath = QStringLiteral("trigger.high");
const QString triggerLowPath = QStringLiteral("trigger.low");
const QString inaGainPath = QStringLiteral("inaGain");

ConfigLoad failure(ConfigProblem problem, const QString &message)
{
    ConfigLoad load;
    load.problem = problem;
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

} // namespace

QString ConfigField::displayName() const
{
    return meaning.isEmpty() ? path : QStringLiteral("%1 (%2)").arg(path, meaning);
}

QList<ConfigField> configFields(BoardFamily family)
{
    QList<ConfigField> fields;
    if (family == BoardFamily::Unknown)
        return fields;
    if (family == BoardFamily::Switch08A3) {
        // Array indices count from 0; the window and the board's silkscreen
        // count groups and channels from 1, hence the meaning text.
        for (int g = 0; g < 3; ++g) {
            fields.append({groupBankPath(g), QStringLiteral("group %1, 0 bank A, 1 bank B or fixed").arg(g + 1), 0, 1, false});
            fields.append({groupRatePath(g), QStringLiteral("group %1, 0 50 Hz, 1 400 Hz").arg(g + 1), 0, 1, false});
        }
        for (int ch = 0; ch < 12; ++ch)
            fields.append({failsafePath(ch), QStringLiteral("channel %1, us").arg(ch + 1), pulseMin, pulseMax, false});
    } else {
        fields.append({inaGainPath, QStringLiteral("current-sense gain"), 0, 255, false});
    }
    fields.append({activeLowPath, QString(), 0, 1, true});
    fields.append({triggerHighPath, QStringLiteral("us"), pulseMin, pulseMax, false});
    fields.append({triggerLowPath, QStringLiteral("us"), pulseMin, pulseMax, false});
    return fields;
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
        return failure(ConfigProblem::BadFile, QStringLiteral("malformed JSON at line %1, column %2: %3")
                                                   .arg(line).arg(column).arg(error.errorString()));
    }
    if (!document.isObject())
        return failure(ConfigProblem::BadFile, QStringLiteral("not a configuration file: the top level is not a JSON object"));
    const QJsonObject root = document.object();

    const QJsonValue format = root.value(keyFormat);
    if (format.isUndefined())
        return failure(ConfigProblem::BadFile, QStringLiteral("not a configuration file: no \"format\" version"));
    if (!format.isDouble() || format.toDouble() != std::floor(format.toDouble()))
        return failure(ConfigProblem::BadFile, QStringLiteral("\"format\" must be a whole number"));
    if (format.toDouble() != configFormatVersion)
        return failure(ConfigProblem::BadFile, QStringLiteral("unsupported format version %1 (this halvero-cli reads format %2)")
                                                   .arg(format.toDouble()).arg(configFormatVersion));

    const QJsonValue product = root.value(keyProduct);
    if (!product.isString())
        return failure(ConfigProblem::BadFile, QStringLiteral("no \"productCode\": the file does not say which board it is for"));
    BoardConfig config;
    config.family = Protocol::familyOfProductText(product.toString());
    if (config.family == BoardFamily::Unknown)
        return failure(ConfigProblem::BadFile, QStringLiteral("unknown product code \"%1\" (expected 08A3, 08A2 or 04F2)")
                                                   .arg(product.toString()));
    config.productCode = product.toString().toUpper();
    config.firmware = root.value(keyFirmware).toString();
    config.serial = root.value(keySerial).toString();
    config.readAt = root.value(keyReadAt).toString();

    const QJsonValue settings = root.value(keyConfig);
    if (!settings.isObject())
        return failure(ConfigProblem::BadFile, QStringLiteral("no \"config\" object"));
    QMap<QString, QJsonValue> leaves;
    flatten(settings, QString(), leaves);

    const QList<ConfigField> fields = configFields(config.family);
    QSet<QString> known;
    for (const ConfigField &field : fields) {
        known.insert(field.path);
        const auto it = leaves.constFind(field.path);
        if (it == leaves.constEnd())
            return failure(ConfigProblem::BadFile, QStringLiteral("missing field %1").arg(field.displayName()));
        if (field.boolean) {
            if (!it->isBool())
                return failure(ConfigProblem::BadFile, QStringLiteral("field %1 must be true or false").arg(field.displayName()));
            config.values.insert(field.path, it->toBool() ? 1 : 0);
            continue;
        }
        if (!it->isDouble())
            return failure(ConfigProblem::BadFile, QStringLiteral("field %1 must be a number").arg(field.displayName()));
        const double number = it->toDouble();
        if (number != std::floor(number))
            return failure(ConfigProblem::BadFile, QStringLiteral("field %1 must be a whole number, not %2")
                                                       .arg(field.displayName()).arg(number));
        // Anything past the int range is out of every field's range anyway;
        // saturating keeps it that way instead of wrapping into range.
        config.values.insert(field.path, int(qBound(-2147483648.0, number, 2147483647.0)));
    }
    // A field of the other family, or a typo, must not pass silently: the
    // operator would believe a value was written that never was.
    for (auto it = leaves.constBegin(); it != leaves.constEnd(); ++it) {
        if (!known.contains(it.key()))
            return failure(ConfigProblem::BadFile, QStringLiteral("unknown field %1 in a configuration for %2")
                                                       .arg(it.key(), Protocol::familyName(config.family)));
    }

    ConfigLoad load;
    load.config = config;
    return load;
}

ConfigLoad checkRanges(const BoardConfig &config)
{
    for (const ConfigField &field : configFields(config.family)) {
        const int value = config.values.value(field.path);
        if (value < field.min || value > field.max)
            return failure(ConfigProblem::OutOfRange, QStringLiteral("value out of range: %1 is %2, allowed %3..%4")
                                                          .arg(field.displayName()).arg(value).arg(field.min).arg(field.max));
    }
    // The two trigger thresholds only make sense as a pair with Low below
    // High; equal or swapped values are a slip in the file.
    const int low = config.values.value(triggerLowPath);
    const int high = config.values.value(triggerHighPath);
    if (config.family != BoardFamily::Unknown && low >= high)
        return failure(ConfigProblem::OutOfRange, QStringLiteral("value out of range: %1 is %2, must be below %3 (%4)")
                                                      .arg(triggerLowPath).arg(low).arg(triggerHighPath).arg(high));
    ConfigLoad load;
    load.config = config;
    return load;
}

ConfigLoad loadConfigForWrite(const QByteArray &text)
{
    const ConfigLoad parsed = parseConfigJson(text);
    return parsed.ok() ? checkRanges(parsed.config) : parsed;
}

QJsonObject configToJson(const BoardConfig &config)
{
    const auto value = [&config](const QString &path) { return config.values.value(path); };
    QJsonObject settings;
    settings.insert(QStringLiteral("trigger"), QJsonObject{
                                                   {QStringLiteral("activeLow"), value(activeLowPath) != 0},
                                                   {QStringLiteral("high"), value(triggerHighPath)},
                                                   {QStringLiteral("low"), value(triggerLowPath)},
                                               });
    if (config.family == BoardFamily::Switch08A3) {
        QJsonArray groups;
        for (int g = 0; g < 3; ++g)
            groups.append(QJsonObject{{QStringLiteral("bank"), value(groupBankPath(g))},
                                      {QStringLiteral("refreshRate"), value(groupRatePath(g))}});
        QJsonArray failsafe;
        for (int ch = 0; ch < 12; ++ch)
            failsafe.append(value(failsafePath(ch)));
        settings.insert(QStringLiteral("groups"), groups);
        settings.insert(QStringLiteral("failsafe"), failsafe);
    } else if (config.family == BoardFamily::Trigger04F2) {
        settings.insert(inaGainPath, value(inaGainPath));
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
    root.insert(keyConfig, settings);
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
    config.values.insert(activeLowPath, record.triggerActiveLow ? 1 : 0);
    config.values.insert(triggerHighPath, record.triggerHigh);
    config.values.insert(triggerLowPath, record.triggerLow);
    if (config.family == BoardFamily::Switch08A3) {
        for (int g = 0; g < 3; ++g) {
            config.values.insert(groupBankPath(g), record.groupBank[g]);
            config.values.insert(groupRatePath(g), record.groupRefreshRate[g]);
        }
        for (int ch = 0; ch < 12; ++ch)
            config.values.insert(failsafePath(ch), record.failsafeValue[ch]);
    } else if (config.family == BoardFamily::Trigger04F2) {
        config.values.insert(inaGainPath, record.inaGain);
    }
    return config;
}

void applyConfigToRecord(const BoardConfig &config, parachuteRadioComm &record)
{
    const auto value = [&config](const QString &path) { return config.values.value(path); };
    record.triggerActiveLow = value(activeLowPath) != 0;
    record.triggerHigh = uint16_t(value(triggerHighPath));
    record.triggerLow = uint16_t(value(triggerLowPath));
    if (config.family == BoardFamily::Switch08A3) {
        for (int g = 0; g < 3; ++g) {
            record.groupBank[g] = uint8_t(value(groupBankPath(g)));
            record.groupRefreshRate[g] = uint8_t(value(groupRatePath(g)));
        }
        for (int ch = 0; ch < 12; ++ch)
            record.failsafeValue[ch] = uint16_t(value(failsafePath(ch)));
    } else if (config.family == BoardFamily::Trigger04F2) {
        record.inaGain = uint8_t(value(inaGainPath));
    }
}

// Text and JSON views of a board's identity and live status for halvero-cli.
#include "boardformat.h"

#include "displayformat.h"
#include "parachuteradiocomm.h"

QString identityText(const parachuteRadioComm &record)
{
    return QStringLiteral("product   %1\nfirmware  %2\nserial    %3\nchip rev  %4\nchip dev  %5\n")
        .arg(productCodeText(record), firmwareText(record), serialText(record),
             DisplayFormat::hex4(record.chipRevId), DisplayFormat::hex4(record.chipDevId));
}

QJsonObject identityJson(const parachuteRadioComm &record)
{
    return QJsonObject{
        {QStringLiteral("productCode"), productCodeText(record)},
        {QStringLiteral("family"), Protocol::familyName(recordFamily(record))},
        {QStringLiteral("firmware"), firmwareText(record)},
        {QStringLiteral("serial"), serialText(record)},
        {QStringLiteral("chipRevId"), DisplayFormat::hex4(record.chipRevId)},
        {QStringLiteral("chipDevId"), DisplayFormat::hex4(record.chipDevId)},
    };
}

// JSON numbers carry the same six digits a person sees, not float noise.
static double jsonNumber(float value)
{
    return DisplayFormat::general(value).toDouble();
}

QString statusLine(const parachuteRadioComm &record)
{
    if (recordFamily(record) == BoardFamily::Trigger04F2) {
        return QStringLiteral("battery %1 V  trigger %2 V  fuse probe %3 A  fuse %4 A  "
                              "fuse peak %5 A  temperature %6 \u00B0C")
            .arg(DisplayFormat::general(record.batteryVoltage), DisplayFormat::general(record.triggerVoltage),
                 DisplayFormat::general(record.fuseProbeCurrent), DisplayFormat::general(record.fuseCurrent),
                 DisplayFormat::general(record.fusePeakCurrent), DisplayFormat::general(record.temperature));
    }
    QString line = record.failsafeActive ? QStringLiteral("FAILSAFE") : QStringLiteral("NORMAL");
    if (record.triggerPresent)
        line += QStringLiteral("  trigger %1 us  %2 Hz").arg(record.triggerValue).arg(record.triggerFrequency);
    else
        line += QStringLiteral("  trigger none");
    return line;
}

QJsonObject statusJson(const parachuteRadioComm &record)
{
    if (recordFamily(record) == BoardFamily::Trigger04F2) {
        return QJsonObject{
            {QStringLiteral("batteryVoltage_V"), jsonNumber(record.batteryVoltage)},
            {QStringLiteral("triggerVoltage_V"), jsonNumber(record.triggerVoltage)},
            {QStringLiteral("fuseProbeCurrent_A"), jsonNumber(record.fuseProbeCurrent)},
            {QStringLiteral("fuseCurrent_A"), jsonNumber(record.fuseCurrent)},
            {QStringLiteral("fusePeakCurrent_A"), jsonNumber(record.fusePeakCurrent)},
            {QStringLiteral("temperature_C"), jsonNumber(record.temperature)},
        };
    }
    QJsonObject status{
        {QStringLiteral("switch"), record.failsafeActive ? QStringLiteral("FAILSAFE") : QStringLiteral("NORMAL")},
        {QStringLiteral("triggerPresent"), record.triggerPresent},
    };
    // Without a trigger signal the board's numbers are stale: leave them out.
    if (record.triggerPresent) {
        status.insert(QStringLiteral("triggerValue_us"), record.triggerValue);
        status.insert(QStringLiteral("triggerFrequency_Hz"), record.triggerFrequency);
    }
    return status;
}

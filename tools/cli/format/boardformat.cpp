// Text and JSON views of a board's identity and live status for halvero-cli.
#include "boardformat.h"

#include <QLoggingCategory>
#include <QStringList>

#include "displayformat.h"
#include "parachuteradiocomm.h"

// What was put into words of a board's identity.
Q_LOGGING_CATEGORY(lcFormat, "halvero.cli.format")

QString identityText(const parachuteRadioComm &record)
{
    qCDebug(lcFormat) << "Identity of" << productCodeText(record) << serialText(record);
    return QStringLiteral("product   %1\nfirmware  %2\nserial    %3\nchip rev  %4\nchip dev  %5\n")
        .arg(productCodeText(record), firmwareText(record), serialText(record), DisplayFormat::hex4(record.chipRevId),
             DisplayFormat::hex4(record.chipDevId));
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

namespace {

// A value the board reports only together with a flag, read while the flag
// is off: the board's number is stale then.
bool stale(const parachuteRadioComm &record, const QList<StatusField> &fields, const StatusField &field)
{
    return field.validWith >= 0 && record.statusValue(fields.at(field.validWith)) == 0;
}

QString flagWord(const parachuteRadioComm &record, const StatusField &field)
{
    return QString::fromUtf8(record.statusValue(field) != 0 ? field.onWord : field.offWord);
}

} // namespace

QString statusLine(const parachuteRadioComm &record)
{
    const QList<StatusField> fields = Protocol::familyTable(recordFamily(record)).status;
    QStringList parts;
    for (const StatusField &field : fields) {
        const QString name = QString::fromUtf8(field.text);
        // A flag without words shows through the values it makes valid.
        if (field.flag) {
            if (*field.onWord)
                parts << flagWord(record, field);
            continue;
        }
        if (stale(record, fields, field)) {
            if (!name.isEmpty())
                parts << name + QStringLiteral(" none");
            continue;
        }
        QString part = DisplayFormat::general(record.statusValue(field));
        if (!name.isEmpty())
            part = name + QLatin1Char(' ') + part;
        if (*field.unit)
            part += QLatin1Char(' ') + QString::fromUtf8(field.unit);
        parts << part;
    }
    return parts.join(QStringLiteral("  "));
}

QJsonObject statusJson(const parachuteRadioComm &record)
{
    const QList<StatusField> fields = Protocol::familyTable(recordFamily(record)).status;
    QJsonObject status;
    for (const StatusField &field : fields) {
        const QString key = QString::fromUtf8(field.json);
        if (field.flag && *field.onWord)
            status.insert(key, flagWord(record, field));
        else if (field.flag)
            status.insert(key, record.statusValue(field) != 0);
        else if (!stale(record, fields, field))
            status.insert(key, jsonNumber(record.statusValue(field)));
    }
    return status;
}

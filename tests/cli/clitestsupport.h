// Shared by the halvero-cli tests: known-good configuration files written out
// by hand, the ranges the boards accept, and a way to change one field of a
// file by the path the tool names it with.
#ifndef CLITESTSUPPORT_H
#define CLITESTSUPPORT_H

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QRegularExpression>
#include <QString>

#include "protocol.h"

namespace clitest {

// Written out literally so that it does not depend on the tool's own writer.
inline QJsonObject validFile(const QString &productCode)
{
    QJsonObject config{{"trigger", QJsonObject{{"activeLow", false}, {"high", 1600}, {"low", 1400}}}};
    if (Protocol::familyOfProductText(productCode) == BoardFamily::Trigger04F2) {
        config.insert("inaGain", 1);
    } else {
        const QJsonObject group{{"bank", 0}, {"refreshRate", 0}};
        config.insert("groups", QJsonArray{group, group, group});
        config.insert("failsafe", QJsonArray{1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000});
    }
    return QJsonObject{{"format", 1}, {"productCode", productCode}, {"config", config}};
}

struct FieldRange
{
    QString family;
    QString path; // inside "config"
    int min;
    int max;
};

// The values the boards accept, stated here independently of the tool.
inline QList<FieldRange> numericRanges()
{
    QList<FieldRange> ranges{{"04F2", "inaGain", 0, 255}};
    for (int g = 0; g < 3; ++g) {
        ranges.append({"08A3", QStringLiteral("groups[%1].bank").arg(g), 0, 1});
        ranges.append({"08A3", QStringLiteral("groups[%1].refreshRate").arg(g), 0, 1});
    }
    for (int ch = 0; ch < 12; ++ch)
        ranges.append({"08A3", QStringLiteral("failsafe[%1]").arg(ch), 900, 2100});
    for (const char *family : {"08A3", "04F2"}) {
        ranges.append({family, "trigger.high", 900, 2100});
        ranges.append({family, "trigger.low", 900, 2100});
    }
    return ranges;
}

// `path` split into object keys (strings) and array indices (numbers).
inline QVariantList pathSteps(const QString &path)
{
    QVariantList steps;
    static const QRegularExpression step(QStringLiteral("([^.\\[\\]]+)|\\[(\\d+)\\]"));
    for (auto it = step.globalMatch(path); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        steps.append(m.captured(1).isEmpty() ? QVariant(m.captured(2).toInt()) : QVariant(m.captured(1)));
    }
    return steps;
}

// An undefined value removes the member or element.
inline QJsonValue withValue(const QJsonValue &node, const QVariantList &steps, int at, const QJsonValue &value)
{
    const bool last = at + 1 == steps.size();
    if (steps.at(at).typeId() == QMetaType::QString) {
        QJsonObject object = node.toObject();
        const QString key = steps.at(at).toString();
        object.insert(key, last ? value : withValue(object.value(key), steps, at + 1, value));
        return object;
    }
    QJsonArray array = node.toArray();
    const int index = steps.at(at).toInt();
    while (array.size() <= index)
        array.append(QJsonValue());
    if (last && value.isUndefined())
        array.removeAt(index);
    else
        array.replace(index, last ? value : withValue(array.at(index), steps, at + 1, value));
    return array;
}

// The file with config.<path> set to `value`.
inline QJsonObject withConfigValue(QJsonObject file, const QString &path, const QJsonValue &value)
{
    file.insert("config", withValue(file.value("config"), pathSteps(path), 0, value));
    return file;
}

} // namespace clitest

#endif // CLITESTSUPPORT_H

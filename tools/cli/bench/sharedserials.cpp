// Which ports share a serial number, and the words for it.
#include "sharedserials.h"

using Provisioning::BoardRow;

namespace SharedSerials {

QStringList others(const QStringList &ports, const QStringList &serials, int index)
{
    QStringList found;
    const QString &serial = serials.at(index);
    if (serial.isEmpty())
        return found;
    for (int i = 0; i < ports.size(); ++i)
        if (i != index && serials.at(i) == serial)
            found << ports.at(i);
    return found;
}

void mark(QList<BoardRow> &rows)
{
    QStringList ports;
    QStringList serials;
    for (const BoardRow &row : rows) {
        ports << row.port;
        serials << row.serial;
    }
    for (int i = 0; i < rows.size(); ++i)
        rows[i].sameSerial = others(ports, serials, i);
}

QString remark(const QStringList &others)
{
    return others.isEmpty() ? QString() : QStringLiteral("same serial as %1").arg(others.join(QStringLiteral(", ")));
}

QString withRemark(const QString &text, const QStringList &others)
{
    if (others.isEmpty())
        return text;
    return text.isEmpty() ? remark(others) : text + QStringLiteral("; ") + remark(others);
}

QStringList summaryParts(const QList<BoardRow> &rows)
{
    QStringList parts;
    QStringList told;
    for (const BoardRow &row : rows) {
        if (row.sameSerial.isEmpty() || told.contains(row.serial))
            continue;
        told << row.serial;
        parts << QStringLiteral("%1 share serial %2: %3")
                     .arg(row.sameSerial.size() + 1)
                     .arg(row.serial, (QStringList{row.port} + row.sameSerial).join(QStringLiteral(", ")));
    }
    return parts;
}

} // namespace SharedSerials

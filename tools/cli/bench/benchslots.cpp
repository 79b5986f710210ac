// The slots file's lines, read without touching any port.
#include "benchslots.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

BenchSlotList refused(const QString &why)
{
    BenchSlotList list;
    list.code = ErrorCode::BadFile;
    list.message = why;
    return list;
}

} // namespace

BenchSlotList parseBenchSlots(const QByteArray &text, const QString &fileName)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    BenchSlotList list;
    const QList<QByteArray> lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        QString line = QString::fromUtf8(lines.at(i));
        const qsizetype comment = line.indexOf(QLatin1Char('#'));
        if (comment >= 0)
            line.truncate(comment);
        const QStringList words = line.split(blanks, Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        const int number = i + 1;
        if (words.size() != 2)
            return refused(
                QStringLiteral(
                    "%1, line %2: a slot is a name and a port (\"bay-1 /dev/serial/by-path/...\"), not \"%3\"")
                    .arg(fileName)
                    .arg(number)
                    .arg(line.trimmed()));
        for (const BenchSlot &earlier : std::as_const(list.sockets)) {
            if (earlier.name == words.at(0))
                return refused(QStringLiteral("%1, line %2: the slot %3 is named on line %4 already")
                                   .arg(fileName)
                                   .arg(number)
                                   .arg(words.at(0))
                                   .arg(earlier.line));
            if (earlier.port == words.at(1))
                return refused(QStringLiteral("%1, line %2: %3 is the port of slot %4 (line %5) already")
                                   .arg(fileName)
                                   .arg(number)
                                   .arg(words.at(1), earlier.name)
                                   .arg(earlier.line));
        }
        list.sockets.append(BenchSlot{words.at(0), words.at(1), number});
    }
    if (list.sockets.isEmpty())
        return refused(QStringLiteral("%1 names no slot: write one a line, a name and a port").arg(fileName));
    return list;
}

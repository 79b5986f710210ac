// Text columns for the listings of halvero-cli.
#include "texttable.h"

QString alignedRows(const QList<QStringList> &rows)
{
    if (rows.isEmpty())
        return QString();
    QList<int> widths(rows.first().size(), 0);
    for (const QStringList &row : rows)
        for (int c = 0; c < row.size() && c < widths.size(); ++c)
            widths[c] = qMax(widths[c], int(row.at(c).size()));
    QString text;
    for (const QStringList &row : rows) {
        QString line;
        for (int c = 0; c < row.size(); ++c)
            line += c + 1 < row.size() ? row.at(c).leftJustified(widths.value(c) + 2) : row.at(c);
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        text += line + QLatin1Char('\n');
    }
    return text;
}

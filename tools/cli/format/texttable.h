// Rows of text in columns, as 'ports' and 'identify' print them for a person.
#ifndef HALVERO_CLI_TEXTTABLE_H
#define HALVERO_CLI_TEXTTABLE_H

#include <QList>
#include <QString>
#include <QStringList>

// Columns padded to their widest cell; the last one, free text, is not.
QString alignedRows(const QList<QStringList> &rows);

#endif // HALVERO_CLI_TEXTTABLE_H

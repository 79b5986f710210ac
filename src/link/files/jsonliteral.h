// A number as a JSON text writes it. The parsed value is a double, and a
// value past what a double holds exactly (18446744073709552616) would be
// quoted back to the operator as some other number; a message about the
// file quotes the file instead.
#ifndef HALVERO_JSONLITERAL_H
#define HALVERO_JSONLITERAL_H

#include <QByteArray>
#include <QString>

// The text of the scalar at `path` ("config.failsafe[3]", object members
// joined by dots, array elements by index) in `json`, which must be valid
// JSON; empty when there is none. Of members named twice, the last counts,
// as it does for the parser.
QString jsonLiteralAt(const QByteArray &json, const QString &path);

#endif // HALVERO_JSONLITERAL_H

// What a JSON text says that its parsed value forgets. The parsed value is a
// double, and a value past what a double holds exactly (18446744073709552616)
// would be quoted back to the operator as some other number; a message about
// the file quotes the file instead. And of a key named twice in one object
// the parser keeps the last without a word, so that a file with
// "high": 1700, "high": 2000 would write 2000 to a board whose operator
// read 1700 in it.
#ifndef HALVERO_JSONLITERAL_H
#define HALVERO_JSONLITERAL_H

#include <QByteArray>
#include <QString>
#include <optional>

// The text of the scalar at `path` ("config.failsafe[3]", object members
// joined by dots, array elements by index) in `json`, which must be valid
// JSON; empty when there is none. Of members named twice, the last counts,
// as it does for the parser.
QString jsonLiteralAt(const QByteArray &json, const QString &path);

// The first key that one object of `json` (valid JSON) names a second time.
struct RepeatedKey
{
    QString path;      // "config.trigger.high", "config"
    int firstLine = 0; // 1-based
    int againLine = 0;
};
std::optional<RepeatedKey> firstRepeatedKey(const QByteArray &json);

#endif // HALVERO_JSONLITERAL_H

// The record's tables, made and brought up to date by the program itself:
// a table of migrations says which steps a record has had, and every step
// runs once, whoever gets there first, under a lock the server holds.
#ifndef HALVERO_RECORDSCHEMA_H
#define HALVERO_RECORDSCHEMA_H

#include <QString>

#include "result.h"

namespace Record {

class Connection;

// The steps this program knows; a record at a higher version was brought
// there by a newer program, and is used as it is.
constexpr int schemaVersion = 2;

// Where the record's guide is once the package is installed (the messages
// point there): grants, the owner's first run, what each failure means.
QString recordDocPath();

// The version the record's tables are at, in `version`: 0 when it has none
// yet.
Result recordedVersion(Connection &connection, int *version);

// Takes the tables up to `upTo` (schemaVersion by default) in one
// transaction. A bench's role may not make tables: its failure says that
// the record's owner has to run it once.
Result migrate(Connection &connection, int upTo = schemaVersion);

} // namespace Record

#endif // HALVERO_RECORDSCHEMA_H

// The record's tables, made and brought up to date by the program itself:
// a table of migrations says which steps a record has had, and every step
// runs once, whoever gets there first, under a lock the server holds.
#ifndef HALVERO_RECORDSCHEMA_H
#define HALVERO_RECORDSCHEMA_H

#include <QSqlDatabase>

#include "result.h"

namespace Record {

// The steps this program knows; a record at a higher version was brought
// there by a newer program, and is used as it is.
constexpr int schemaVersion = 2;

// The version the record's tables are at; 0 when it has none yet, -1 (with
// `error` set) when it cannot be asked.
int recordedVersion(QSqlDatabase &db, QString *error);

// Takes the tables up to `upTo` (schemaVersion by default) in one
// transaction. A bench's role may not make tables: its failure says that
// the record's owner has to run it once.
Result migrate(QSqlDatabase &db, int upTo = schemaVersion);

} // namespace Record

#endif // HALVERO_RECORDSCHEMA_H

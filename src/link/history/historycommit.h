// Appending entries to a history file on behalf of every thread of the
// program at once: the entries that wait while one commit is on the disk go
// together into the next one, numbered, written with one write and forced to
// the disk with one flush. A bench of 64 boards then waits for a handful of
// flushes instead of 192 in a row, and each thread still returns only once
// its own entry is on the disk.
#ifndef HALVERO_HISTORYCOMMIT_H
#define HALVERO_HISTORYCOMMIT_H

#include <QByteArray>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QString>

#include "result.h"

namespace ConfigHistory {

// What the history did: each entry recorded, each rotation, each read.
Q_DECLARE_LOGGING_CATEGORY(lcHistory)

// Appends `entry` to the history at `path`, numbered as the entry after the
// file's last one, and returns once it is on the disk (or known not to be).
// A file that would grow past `rotateBytes` is first moved to
// previousPath(). The numbering, rotation and write happen under the lock
// beside the file, so that other programs' entries never mix with these. A
// failure is ErrorCode::History, and the entry is not in the file.
Result commitEntry(const QString &path, qint64 rotateBytes, const QJsonObject &entry);

// Appends whole `lines` to the regular file at `path` (made when missing)
// and forces them to the disk; false, with `error` set, when any of it
// failed, and then none of the lines is left in the file. The caller holds
// the lock beside the file.
bool writeDurably(const QString &path, const QByteArray &lines, QString *error);

} // namespace ConfigHistory

#endif // HALVERO_HISTORYCOMMIT_H

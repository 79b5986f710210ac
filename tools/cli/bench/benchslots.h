// The bench's sockets by name: a slots file lists them one a line, "NAME
// PORT", so that a run's lines, summary and report say "bay-3" where the
// device's number changes with every replug, and list the boards in the
// order of the bench. PORT is best a /dev/serial/by-path/ name, which names
// the USB socket itself.
#ifndef HALVERO_CLI_BENCHSLOTS_H
#define HALVERO_CLI_BENCHSLOTS_H

#include <QByteArray>
#include <QList>
#include <QString>

#include "result.h"

struct BenchSlot
{
    QString name; // "bay-3"
    QString port; // as written in the file
    int line = 0; // in the file, from 1
};

// A failure is ErrorCode::BadFile, naming the file and the line.
struct BenchSlotList : Result
{
    QList<BenchSlot> sockets; // in the file's order
};

// "#" starts a comment; blank lines are left out. Every other line is a
// name and a port apart by blanks; a name or a port named twice, or a file
// without any slot, is refused. `fileName` is for the messages.
BenchSlotList parseBenchSlots(const QByteArray &text, const QString &fileName);

#endif // HALVERO_CLI_BENCHSLOTS_H

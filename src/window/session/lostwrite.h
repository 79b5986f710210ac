// A write whose outcome went with the connection (the cable pulled while
// Save CONF or Set defaults was out): kept until the same board answers
// again, when the configuration read from it at Connect tells what became
// of the write, and is recorded as the write's "after" entry.
#ifndef HALVERO_LOSTWRITE_H
#define HALVERO_LOSTWRITE_H

#include <QString>

#include "boardconfig.h"
#include "writetransaction.h"

class LostWrite
{
public:
    // Keeps `write` when it went out and its outcome is not known; returns
    // the sentence for the lost connection (empty: nothing kept).
    QString keep(const WriteTransaction &write);
    bool pending() const { return m_pending; }
    // While pending: whether the board took it is not known yet.
    QString pendingText() const;

    // `held` was read from the board just connected. When it is the board
    // the write went to, the write is settled: recorded (unless the history
    // is off) and told by settledText() until the next connection.
    void settle(const BoardConfig &held, const QString &tool);
    QString settledText() const { return m_settled; }

private:
    QString operationName() const;

    bool m_pending = false;
    WriteTransaction::Operation m_operation = WriteTransaction::Operation::Save;
    QString m_event;
    QString m_writeId;
    BoardConfig m_before;
    BoardConfig m_written;
    QString m_settled;
};

#endif // HALVERO_LOSTWRITE_H

// A write whose outcome went with the connection (the cable pulled while
// Save CONF or Set defaults was out): kept until the same board answers
// again, when the configuration read from it at Connect tells what became
// of the write, and is recorded as the write's "after" entry.
#ifndef HALVERO_LOSTWRITE_H
#define HALVERO_LOSTWRITE_H

#include <QList>
#include <QString>
#include <optional>

#include "boardconfig.h"
#include "writetransaction.h"

class LostWrite
{
public:
    // What the board held once it was back, against what it held before
    // the write and what the write carried.
    struct Settled
    {
        WriteTransaction::Operation operation = WriteTransaction::Operation::Save;
        QList<FieldDifference> sinceBefore; // fields the board holds otherwise than before
        QList<FieldDifference> notWritten;  // fields it holds otherwise than written
    };

    // Keeps `write` when it went out and its outcome is not known; true
    // when it did.
    bool keep(const WriteTransaction &write);
    bool pending() const { return m_pending; }
    WriteTransaction::Operation operation() const { return m_operation; }

    // `held` was read from the board just connected. When it is the board
    // the write went to, the write is settled: recorded (unless the history
    // is off) and kept in settled() until the next connection.
    void settle(const BoardConfig &held, const QString &tool);
    const std::optional<Settled> &settled() const { return m_settled; }

private:
    bool m_pending = false;
    WriteTransaction::Operation m_operation = WriteTransaction::Operation::Save;
    QString m_event;
    QString m_writeId;
    BoardConfig m_before;
    BoardConfig m_written;
    std::optional<Settled> m_settled;
};

#endif // HALVERO_LOSTWRITE_H

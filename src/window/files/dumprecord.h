// The EEPROM dump as the Internal page shows it and File > Save EEPROM dump
// keeps it: the board's text below a heading that says which board it came
// from and when it was read, and, once a configuration write or Set defaults
// has gone to that board since, that the dump is older than the write.
#ifndef HALVERO_DUMPRECORD_H
#define HALVERO_DUMPRECORD_H

#include <QDateTime>
#include <QString>

#include "boardconfig.h"

class DumpRecord
{
public:
    // A dump read at `readAt` from `board` (product code, firmware, serial).
    void setDump(const QString &body, const BoardConfig &board, const QDateTime &readAt);
    // A write went to a board at `at`: a dump of that board read before it
    // no longer shows what its EEPROM holds.
    void noteWrite(const QString &serial, const QDateTime &at);
    bool isEmpty() const { return m_body.isEmpty(); }
    // Heading and dump, as shown and saved.
    QString text() const;

private:
    QString m_body;
    BoardConfig m_board;
    QDateTime m_readAt;
    QDateTime m_writtenAt; // the first write after the dump; invalid: none
};

#endif // HALVERO_DUMPRECORD_H

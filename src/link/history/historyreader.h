// Reading the configuration history from its newest end, a page at a time,
// in memory that does not grow with the file: `halvero-cli history`, history
// restore and the window's history dialog show the newest entries first and
// rarely need the old ones, and a history can be far larger than the
// rotation keeps it (another program's file, a copy from an older version).
#ifndef HALVERO_HISTORYREADER_H
#define HALVERO_HISTORYREADER_H

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include "confighistory.h"

namespace ConfigHistory {

struct ListedEntry
{
    Entry entry;
    EntryChanges changes;
};

// The entries a listing shows: one board's, or every board's.
struct EntryFilter
{
    QString serial;                            // empty: every board
    BoardFamily family = BoardFamily::Unknown; // Unknown: any family
    bool accepts(const Entry &entry) const;
};

class HistoryReader
{
public:
    explicit HistoryReader(const QString &path = defaultPath(), const EntryFilter &filter = EntryFilter());

    // Takes the two files (previous, then current) as they are now; what is
    // appended later is not read. A failure is BadFile: a file is there but
    // cannot be read, or the current one is no regular file (a pipe, a
    // device); a previous one that is none is passed over with a warning.
    Result start();

    // Up to `count` more entries the filter accepts, newest first, each
    // numbered and, unless switched off, with its changes. Fewer (or none)
    // once the oldest entry is reached.
    QList<ListedEntry> next(int count);
    bool atEnd() const { return m_atEnd; }
    // Damaged lines met, and files passed over, since the last call, one
    // sentence each.
    QStringList takeWarnings();
    QString path() const { return m_path; }

    // Numbering alone, without comparing entries (history restore).
    void setChangesWanted(bool wanted) { m_changesWanted = wanted; }
    // Whether start() takes the shared lock; off for a caller that holds
    // the exclusive one already.
    void setLocking(bool locking) { m_locking = locking; }

    // What a file holds up to where reading stops, and where reading is.
    struct Segment
    {
        QString path;
        qint64 end = 0;
        bool present = false;
    };
    struct Position
    {
        int segment = 1;   // 1: the current file, 0: the previous one, -1: nothing older
        qint64 offset = 0; // the bytes before it are still to be read
    };

private:
    struct Newer
    {
        QString phase;
        QString event;
    };

    bool resume();
    void numberEntry(Entry *entry, const Position &olderFrom);
    qint64 countBack(const Position &from) const;
    static QString awaitKey(const Entry &entry);
    static void settleAwaiting(const Entry &older, QList<ListedEntry> *page, QHash<QString, QList<int>> *awaiting);
    void resolvePredecessors(QList<ListedEntry> *page, QHash<QString, QList<int>> *awaiting);
    void warnDamaged(int segment, qint64 start, const QString &why);
    qint64 lineNumber(int segment, qint64 start);

    QString m_path;
    EntryFilter m_filter;
    bool m_changesWanted = true;
    bool m_locking = true;
    bool m_started = false;
    bool m_atEnd = false;
    Segment m_segments[2];
    Position m_position;
    // The last line read, checked before reading on: a rotation meanwhile
    // has moved the current file to the previous one's name.
    struct Anchor
    {
        int segment = -1;
        qint64 start = 0;
        QByteArray bytes;
    } m_anchor;
    // The newest entry read so far of each board, for the outcome of the
    // writes below it that have no id.
    QHash<QString, Newer> m_newer;
    // The ids of the writes whose "after" has been read and whose "before"
    // has not yet: the writes under way at one time, not the whole history.
    QSet<QString> m_answered;
    // The entry read last, for numbering the unnumbered one below it.
    bool m_lastUnnumbered = false;
    qint64 m_lastIndex = 0;
    QStringList m_warnings;
    // Newlines counted up to an offset of each file, for warnings' line numbers.
    qint64 m_countedTo[2] = {0, 0};
    qint64 m_newlines[2] = {0, 0};
};

} // namespace ConfigHistory

#endif // HALVERO_HISTORYREADER_H

// The configuration history: before every configuration write and every Set
// defaults, the window and halvero-cli append what the board held, and after
// the board has answered, what it holds now. One JSON object per line, each
// in the layout of a configuration file plus what happened, so that any
// entry can be written back.
#ifndef HALVERO_CONFIGHISTORY_H
#define HALVERO_CONFIGHISTORY_H

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include "boardconfig.h"
#include "result.h"

namespace ConfigHistory {

// What an entry records: the operation and which side of it.
inline const QString eventSave = QStringLiteral("save");
inline const QString eventDefaults = QStringLiteral("defaults");
inline const QString eventRestore = QStringLiteral("restore");
inline const QString phaseBefore = QStringLiteral("before");
// What a save or a restore is about to write, recorded just before it is
// sent: should the program die before the board answers, the history still
// names the values the board may hold.
inline const QString phaseIntent = QStringLiteral("intent");
inline const QString phaseAfter = QStringLiteral("after");
// An audit: what the board held when it was compared with a file. Nothing
// was written; it is recorded as a "before", the configuration a later
// write would start from.
inline const QString eventCheck = QStringLiteral("check");

// What a check found, in the check's entry: "matches" or "differs", and the
// fields that differ by their paths ("failsafe[2]"), empty when it matches.
inline const QString keyOutcome = QStringLiteral("outcome");
inline const QString keyDiffers = QStringLiteral("differs");
inline const QString outcomeMatches = QStringLiteral("matches");
inline const QString outcomeDiffers = QStringLiteral("differs");

// The configuration file a bench run wrote or compared with, in each entry
// of the run: {"name": ..., "sha256": ...}.
inline const QString keyFile = QStringLiteral("file");

// The file as the operator named it ("golden.json", "-" for standard input)
// and the SHA-256 of the bytes that were read and parsed, so that the
// entries say which version of a file that has the same name each run.
struct SourceFile
{
    QString name;
    QString sha256; // lower-case hex

    static SourceFile of(const QString &name, const QByteArray &bytes);
    bool isEmpty() const { return name.isEmpty() && sha256.isEmpty(); }
    QJsonObject toJson() const;
    // The file an entry names; empty when it names none or not as an object.
    static SourceFile fromJson(const QJsonValue &value);
};

// An entry's number, kept in the entry so that it still names the same
// entry after a rotation has dropped older ones.
inline const QString keySeq = QStringLiteral("seq");

// The id every entry of one write carries (before, intent, after), so that
// they are told apart from another write's to a board of the same serial
// number (factory blanks, simulators) recorded at the same time.
inline const QString keyWriteId = QStringLiteral("writeId");

// $HALVERO_HISTORY_FILE, else history.jsonl in the "halvero" folder of the
// user's data location (~/.local/share/halvero/ on Linux): one file for the
// window and halvero-cli alike.
QString defaultPath();
// HALVERO_HISTORY=off (or 0, no, false) keeps both programs from recording.
bool disabledByEnvironment();

// The file a full history is moved to: history.jsonl -> history.1.jsonl.
QString previousPath(const QString &path);

// Where an entry was made and by whom: $HALVERO_STATION, else the host's
// name; the login name.
QString stationName();
QString loginName();

// One line of the file: configToJson(config) with event, phase, tool and the
// time of writing, and what names it wherever it is copied to: its own id (a
// UUID), the station, the user and the program's version.
QJsonObject makeEntry(const BoardConfig &config, const QString &event, const QString &phase, const QString &tool,
                      const QDateTime &time = QDateTime::currentDateTimeUtc());

struct Entry
{
    // The entry's number, which "history" shows and "history restore" takes:
    // its "seq", given on appending as the last entry's number plus one; for
    // an entry written without one, the number of the entry before it plus
    // one (1 for the first).
    qint64 index = 0;
    QJsonObject json;
    BoardConfig config;
    QString event;
    QString phase;
    QString tool;
    QString time;
    QString writeId; // empty in entries written before writes had ids
    SourceFile file; // empty in entries of no bench run, and in older ones
    // A check's outcome (outcomeMatches, outcomeDiffers) and the fields that
    // differ; empty in other entries and in checks recorded before
    // outcomes were.
    QString outcome;
    QStringList differs;

    bool isCheck() const { return event == eventCheck; }
};

// The entry in one line of the file, or why it is none (then `why` is set).
Entry parseEntry(const QByteArray &line, QString *why);

// A failure is BadFile: the file exists but cannot be read, or is no
// regular file.
struct ReadResult : Result
{
    QList<Entry> entries; // oldest first
    QStringList warnings; // one per damaged line (which is skipped) or file passed over
};

// "0x2038..." and "2038..." name the same board, in either case.
QString normalSerial(const QString &serial);
// An entry's time (UTC, ISO 8601) as local time, "yyyy-MM-dd HH:mm:ss".
QString localTime(const QString &iso);

// An entry against the entry before it of the same board (family and
// serial), "intent" entries left out: for an "after", what the write
// changed; for an "intent", what it was about to change; for a "before",
// what changed on the board since its last entry, by a hand the history did
// not see. A board's first entry is compared with nothing. The "intent" and
// "after" of a write with an id are compared with that write's "before".
struct EntryChanges
{
    bool compared = false;
    QList<FieldDifference> differences;
    // The entry is the last one before a write went out (the "intent" of a
    // save or restore, the "before" of a set-defaults) and no "after" of it
    // follows (of its id; without one, the board's next entry): whether
    // the board took the write is not known.
    bool outcomeUnknown = false;
};
// The changes in the operator's words: HistoryWords::changes().

class HistoryFile
{
public:
    static constexpr qint64 defaultRotateBytes = 1024 * 1024;

    explicit HistoryFile(const QString &path = defaultPath(), qint64 rotateBytes = defaultRotateBytes);

    QString path() const { return m_path; }

    // Appends the entry, numbered, as one line and waits until it is on
    // disk; a write cut short is truncated back, so that the line is there
    // whole or not at all. Entries that threads of this program append at
    // the same time share one write and one flush (historycommit.h). A
    // history that is there but is no regular file (a pipe, a device) is
    // refused. A file that would grow past the rotation size is first moved
    // to previousPath(), replacing the one there. Numbering, rotation and
    // append happen under a lock on a file beside the history, so that the
    // window and any number of halvero-cli runs can record at once; a lock
    // not had within a few seconds fails the append. A failure is
    // ErrorCode::History.
    Result append(const QJsonObject &entry);

    // The previous file's entries, then the current one's, all of them:
    // HistoryReader reads the newest ones in bounded memory.
    ReadResult read() const;

private:
    QString m_path;
    qint64 m_rotateBytes;
};

} // namespace ConfigHistory

#endif // HALVERO_CONFIGHISTORY_H

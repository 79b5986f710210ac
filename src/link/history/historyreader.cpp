// The history read backwards: lines taken from the end of the current file,
// then of the previous one, a chunk at a time; entries numbered and compared
// with the entry before them of the same board, which is looked for further
// down only as far as needed.
#include "historyreader.h"

#include <QFile>
#include <QFileInfo>
#include <QLatin1String>

#include <algorithm>

#include "historylock.h"

namespace ConfigHistory {

namespace {

constexpr qint64 chunkBytes = 64 * 1024;
// An entry is under 1 KB; a line longer than a configuration file may be
// is skipped as damaged without ever being held whole.
constexpr qint64 maxLineBytes = 1024 * 1024;

using Segment = HistoryReader::Segment;
using Position = HistoryReader::Position;

struct RawLine
{
    QByteArray bytes; // without its newline; empty when overlong
    int segment = -1;
    qint64 start = 0;
    bool overlong = false;
};

// The lines before a position, newest first, across the two files. The
// bytes before the position are read a chunk at a time; only the line being
// put together is kept beside the chunk.
class LineCursor
{
public:
    LineCursor(const Segment *segments, const Position &from)
        : m_segments(segments)
        , m_position(from)
        , m_bufferStart(from.offset)
    {}

    // False at the oldest line, or when a file cannot be read (error()).
    bool previous(RawLine *line);
    Position position() const { return m_position; }
    QString error() const { return m_error; }

private:
    void stepToOlder();
    bool read(qint64 from, qint64 length, QByteArray *bytes);

    const Segment *m_segments;
    Position m_position; // in the current segment, the bytes before it are unread
    QFile m_file;
    int m_openSegment = -1;
    // Bytes [m_bufferStart, m_position.offset) of the open file, read but
    // not yet handed out (while a line runs past maxLineBytes, only the
    // chunk being searched).
    QByteArray m_buffer;
    qint64 m_bufferStart = 0;
    QString m_error;
};

bool LineCursor::previous(RawLine *line)
{
    while (m_position.segment >= 0) {
        const Segment &segment = m_segments[m_position.segment];
        if (!segment.present) {
            stepToOlder();
            continue;
        }
        if (m_openSegment != m_position.segment) {
            m_file.close();
            m_file.setFileName(segment.path);
            if (!m_file.open(QIODevice::ReadOnly)) {
                m_error = QStringLiteral("cannot read %1: %2").arg(segment.path, m_file.errorString());
                return false;
            }
            m_openSegment = m_position.segment;
            m_buffer.clear();
            m_bufferStart = m_position.offset;
        }
        bool overlong = false;
        qint64 searchedFrom = m_position.offset; // no newline in [searchedFrom, offset)
        for (;;) {
            const qint64 unsearched = searchedFrom - m_bufferStart;
            const qsizetype at = unsearched > 0 ? m_buffer.lastIndexOf('\n', unsearched - 1) : -1;
            if (at >= 0 || m_bufferStart == 0) {
                const qint64 start = at >= 0 ? m_bufferStart + at + 1 : 0;
                line->segment = m_position.segment;
                line->start = start;
                line->overlong = overlong;
                line->bytes = overlong ? QByteArray() : m_buffer.mid(start - m_bufferStart, m_position.offset - start);
                if (at >= 0) {
                    m_buffer.truncate(at);
                    m_position.offset = start - 1; // the newline before the line is no line's part
                } else {
                    stepToOlder();
                }
                return true;
            }
            searchedFrom = m_bufferStart;
            const qint64 from = qMax<qint64>(0, m_bufferStart - chunkBytes);
            QByteArray chunk;
            if (!read(from, m_bufferStart - from, &chunk))
                return false;
            if (m_position.offset - from > maxLineBytes) {
                overlong = true;
                m_buffer = chunk;
            } else {
                m_buffer.prepend(chunk);
            }
            m_bufferStart = from;
        }
    }
    return false;
}

void LineCursor::stepToOlder()
{
    m_file.close();
    m_openSegment = -1;
    m_buffer.clear();
    --m_position.segment;
    m_position.offset = m_position.segment >= 0 ? m_segments[m_position.segment].end : 0;
    m_bufferStart = m_position.offset;
}

bool LineCursor::read(qint64 from, qint64 length, QByteArray *bytes)
{
    if (m_file.seek(from))
        *bytes = m_file.read(length);
    if (bytes->size() == length)
        return true;
    m_error = QStringLiteral("cannot read %1: %2")
                  .arg(m_file.fileName(), m_file.error() != QFileDevice::NoError
                                              ? m_file.errorString()
                                              : QStringLiteral("it was cut short while being read"));
    return false;
}

bool blankLine(const RawLine &line)
{
    return !line.overlong && line.bytes.trimmed().isEmpty();
}

// Whether the line names the serial (without "0x"), in any case: a cheap
// look before the line is parsed.
bool mentions(const QByteArray &line, const QString &serial)
{
    const QByteArray latin = serial.toLatin1();
    return QLatin1String(line.constData(), line.size())
        .contains(QLatin1String(latin.constData(), latin.size()), Qt::CaseInsensitive);
}

QString boardKey(const Entry &entry)
{
    return Protocol::familyName(entry.config.family) + QLatin1Char('/') + normalSerial(entry.config.serial);
}

// An entry that is the last one recorded before its write went out.
bool lastBeforeWrite(const Entry &entry)
{
    return entry.phase == phaseIntent || (entry.phase == phaseBefore && entry.event == eventDefaults);
}

} // namespace

bool EntryFilter::accepts(const Entry &entry) const
{
    if (family != BoardFamily::Unknown && entry.config.family != family)
        return false;
    return serial.isEmpty() || normalSerial(entry.config.serial) == normalSerial(serial);
}

HistoryReader::HistoryReader(const QString &path, const EntryFilter &filter)
    : m_path(path)
    , m_filter(filter)
{}

Result HistoryReader::start()
{
    HistoryReader fresh(m_path, m_filter);
    fresh.m_changesWanted = m_changesWanted;
    fresh.m_locking = m_locking;
    *this = fresh;
    m_started = true;
    if (m_path.isEmpty())
        return Result::failure(ErrorCode::BadFile,
                               QStringLiteral("this system has no folder for user data (set HALVERO_HISTORY_FILE)"));
    // The two sizes are taken together, so that no rotation falls between.
    HistoryLock lock;
    QString ignored;
    if (m_locking && QFileInfo::exists(m_path))
        lock.lock(lockPathOf(m_path), false, lockWaitMs, &ignored);
    const QString paths[2] = {previousPath(m_path), m_path};
    for (int i = 0; i < 2; ++i) {
        Segment &segment = m_segments[i];
        segment.path = paths[i];
        const QFileInfo info(paths[i]);
        if (!info.exists())
            continue;
        // Opening a pipe would wait for a writer, and a device never ends.
        // Whatever has taken the rotated file's name hides no entry of the
        // current one.
        if (!info.isFile() && i == 0) {
            m_warnings << QStringLiteral("%1 is not a regular file: passed over, the history is read without it")
                              .arg(paths[i]);
            continue;
        }
        if (!info.isFile())
            return Result::failure(
                ErrorCode::BadFile,
                QStringLiteral("%1 is not a regular file: it cannot hold the history").arg(paths[i]));
        QFile file(paths[i]);
        if (!file.open(QIODevice::ReadOnly))
            return Result::failure(ErrorCode::BadFile,
                                   QStringLiteral("cannot read %1: %2").arg(paths[i], file.errorString()));
        segment.end = file.size();
        segment.present = true;
    }
    m_position = Position{1, m_segments[1].end};
    return Result();
}

QStringList HistoryReader::takeWarnings()
{
    QStringList warnings;
    warnings.swap(m_warnings);
    return warnings;
}

QList<ListedEntry> HistoryReader::next(int count)
{
    QList<ListedEntry> page;
    if (!m_started || m_atEnd || count <= 0)
        return page;
    HistoryLock lock;
    QString ignored;
    if (m_locking)
        lock.lock(lockPathOf(m_path), false, lockWaitMs, &ignored);
    if (!resume()) {
        m_atEnd = true;
        return page;
    }
    const QString wantedSerial = normalSerial(m_filter.serial);
    // The page's entries still waiting for the entry before them, by board.
    QHash<QString, QList<int>> awaiting;
    LineCursor lines(m_segments, m_position);
    RawLine raw;
    while (page.size() < count) {
        if (!lines.previous(&raw)) {
            if (!lines.error().isEmpty())
                m_warnings << lines.error();
            m_atEnd = true;
            break;
        }
        m_position = lines.position();
        if (!raw.overlong)
            m_anchor = Anchor{raw.segment, raw.start, raw.bytes};
        if (blankLine(raw))
            continue;
        if (!wantedSerial.isEmpty() && !raw.overlong && !mentions(raw.bytes, wantedSerial)) {
            m_lastUnnumbered = false; // an entry passed unread: the numbering has to count again
            continue;
        }
        QString why = raw.overlong ? QStringLiteral("a line over 1 MiB") : QString();
        Entry entry;
        if (why.isEmpty())
            entry = parseEntry(raw.bytes, &why);
        if (!why.isEmpty()) {
            warnDamaged(raw.segment, raw.start, why);
            continue;
        }
        numberEntry(&entry, m_position);

        const QString board = boardKey(entry);
        const QString &write = entry.writeId;
        EntryChanges changes;
        if (lastBeforeWrite(entry)) {
            // A write's own "after" answers it. Entries without an id have
            // only the board's next entry to go by, which a write to another
            // board of the same serial may have been.
            const auto newer = m_newer.constFind(board);
            const bool answered = !write.isEmpty()
                                      ? m_answered.contains(write)
                                      : newer != m_newer.constEnd() && newer->event == entry.event
                                            && (newer->phase == phaseAfter
                                                || (newer->phase == phaseIntent && entry.phase == phaseBefore));
            changes.outcomeUnknown = !answered;
        }
        m_newer.insert(board, Newer{entry.phase, entry.event});
        // A write's "before" is its first entry: nothing older answers it.
        if (!write.isEmpty() && entry.phase == phaseAfter)
            m_answered.insert(write);
        else if (!write.isEmpty() && entry.phase == phaseBefore)
            m_answered.remove(write);
        if (m_changesWanted)
            settleAwaiting(entry, &page, &awaiting);
        if (!m_filter.accepts(entry))
            continue;
        if (m_changesWanted)
            awaiting[awaitKey(entry)].append(int(page.size()));
        page.append(ListedEntry{entry, changes});
    }
    if (!awaiting.isEmpty())
        resolvePredecessors(&page, &awaiting);
    return page;
}

// What an entry is compared with: the "before" of its own write, or else
// the board's entry before it.
QString HistoryReader::awaitKey(const Entry &entry)
{
    return !entry.writeId.isEmpty() && entry.phase != phaseBefore ? QStringLiteral("write/") + entry.writeId
                                                                  : boardKey(entry);
}

// `older` is compared with the entries of the page waiting for it.
void HistoryReader::settleAwaiting(const Entry &older, QList<ListedEntry> *page, QHash<QString, QList<int>> *awaiting)
{
    if (older.phase == phaseIntent)
        return;
    QStringList keys{boardKey(older)};
    if (!older.writeId.isEmpty() && older.phase == phaseBefore)
        keys << QStringLiteral("write/") + older.writeId;
    for (const QString &key : keys) {
        const auto waiting = awaiting->find(key);
        if (waiting == awaiting->end())
            continue;
        for (int i : *waiting) {
            (*page)[i].changes.differences = diffConfigs(older.config, page->at(i).entry.config);
            (*page)[i].changes.compared = true;
        }
        awaiting->erase(waiting);
    }
}

// The entries at the bottom of the page are compared with the entries
// further down, which are read for that alone: the lines of other boards
// are passed over unparsed.
void HistoryReader::resolvePredecessors(QList<ListedEntry> *page, QHash<QString, QList<int>> *awaiting)
{
    // An entry waiting for its write's "before" names the same id.
    QStringList serials;
    bool anySerial = false;
    for (const QList<int> &indices : std::as_const(*awaiting)) {
        const Entry &waiting = page->at(indices.first()).entry;
        const QString serial = normalSerial(waiting.config.serial);
        anySerial = anySerial || serial.isEmpty();
        serials << (awaitKey(waiting) == boardKey(waiting) ? serial : waiting.writeId);
    }
    LineCursor lines(m_segments, m_position);
    RawLine raw;
    while (!awaiting->isEmpty() && lines.previous(&raw)) {
        if (raw.overlong || blankLine(raw))
            continue;
        if (!anySerial && std::none_of(serials.cbegin(), serials.cend(), [&raw](const QString &serial) {
                return mentions(raw.bytes, serial);
            }))
            continue;
        QString why;
        const Entry older = parseEntry(raw.bytes, &why);
        if (why.isEmpty())
            settleAwaiting(older, page, awaiting);
    }
}

// An entry without a number of its own has the number of the entry below
// it plus one: the one just read, when that was unnumbered too, else found
// by counting down to a numbered entry or the start.
void HistoryReader::numberEntry(Entry *entry, const Position &olderFrom)
{
    if (entry->index > 0) {
        m_lastUnnumbered = false;
        m_lastIndex = entry->index;
        return;
    }
    entry->index = m_lastUnnumbered ? m_lastIndex - 1 : countBack(olderFrom) + 1;
    m_lastUnnumbered = true;
    m_lastIndex = entry->index;
}

qint64 HistoryReader::countBack(const Position &from) const
{
    LineCursor lines(m_segments, from);
    RawLine raw;
    qint64 unnumbered = 0;
    while (lines.previous(&raw)) {
        if (raw.overlong || blankLine(raw))
            continue;
        QString why;
        const Entry older = parseEntry(raw.bytes, &why);
        if (!why.isEmpty())
            continue;
        if (older.index > 0)
            return older.index + unnumbered;
        ++unnumbered;
    }
    return unnumbered;
}

// Before reading on, the line read last is looked for where it was: a
// rotation since has moved it to the previous file's name, and the entries
// older than it have gone.
bool HistoryReader::resume()
{
    if (m_anchor.segment < 0)
        return true;
    const auto holdsAnchor = [this](const QString &path) {
        if (!QFileInfo(path).isFile())
            return false;
        QFile file(path);
        const qint64 from = qMax<qint64>(0, m_anchor.start - 1);
        if (!file.open(QIODevice::ReadOnly) || !file.seek(from))
            return false;
        const QByteArray expected = m_anchor.start > 0 ? '\n' + m_anchor.bytes : m_anchor.bytes;
        return file.read(expected.size()) == expected;
    };
    if (holdsAnchor(m_segments[m_anchor.segment].path))
        return true;
    if (m_anchor.segment == 1 && holdsAnchor(m_segments[0].path)) {
        m_segments[1].path = m_segments[0].path;
        m_segments[0].present = false;
        m_anchor.segment = 1;
        return true;
    }
    m_warnings << QStringLiteral(
                      "%1 was rotated while it was being read: the entries older than %2 are no longer there")
                      .arg(m_path)
                      .arg(m_lastIndex);
    return false;
}

void HistoryReader::warnDamaged(int segment, qint64 start, const QString &why)
{
    m_warnings << QStringLiteral("%1 line %2: damaged entry skipped (%3)")
                      .arg(m_segments[segment].path)
                      .arg(lineNumber(segment, start))
                      .arg(why);
}

// Newlines are counted from the last line numbered, so that numbering every
// damaged line of a file reads it once.
qint64 HistoryReader::lineNumber(int segment, qint64 start)
{
    QFile file(m_segments[segment].path);
    const qint64 from = qMin(start, m_countedTo[segment]);
    const qint64 to = qMax(start, m_countedTo[segment]);
    qint64 newlines = 0;
    if (file.open(QIODevice::ReadOnly) && file.seek(from)) {
        for (qint64 done = from; done < to;) {
            const QByteArray chunk = file.read(qMin(chunkBytes, to - done));
            if (chunk.isEmpty())
                break;
            newlines += chunk.count('\n');
            done += chunk.size();
        }
    }
    m_newlines[segment] += start >= m_countedTo[segment] ? newlines : -newlines;
    m_countedTo[segment] = start;
    return m_newlines[segment] + 1;
}

} // namespace ConfigHistory

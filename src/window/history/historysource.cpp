// The sources of the history dialog.
#include "historysource.h"

#include <QCoreApplication>

#include "recordreader.h"

namespace {

// The file is read on the window's thread: its pages are bounded and local.
class LocalSource : public HistorySource
{
public:
    explicit LocalSource(const ConfigHistory::EntryFilter &filter)
        : m_reader(ConfigHistory::defaultPath(), filter)
    {}
    void fetch(int count) override
    {
        SourcedPage page;
        if (!m_started) {
            m_started = true;
            const Result started = m_reader.start();
            m_failed = !started.ok();
            if (m_failed)
                page.problems << started.message;
        }
        if (!m_failed) {
            for (ConfigHistory::ListedEntry &listed : m_reader.next(count)) {
                QString station = listed.entry.json.value(QStringLiteral("station")).toString();
                if (station.isEmpty())
                    station = ConfigHistory::stationName(); // written before entries named their bench
                page.entries.append(SourcedEntry{std::move(listed), station});
            }
            page.problems << m_reader.takeWarnings();
        }
        emit pageRead(page);
    }
    bool reading() const override { return false; }
    bool atEnd() const override { return m_failed || m_reader.atEnd(); }
    QString where() const override { return m_reader.path(); }
    bool fromBenches() const override { return false; }

private:
    ConfigHistory::HistoryReader m_reader;
    bool m_started = false;
    bool m_failed = false;
};

// The record's entries of one board (or all), a page at a time, read on the
// record reader's thread. Its answers to other sources' requests (a listing
// asked for before this one) are not this source's.
class RecordSource : public HistorySource
{
public:
    RecordSource(RecordReader *record, const ConfigHistory::EntryFilter &filter)
        : m_record(record)
        , m_filter(filter)
    {
        connect(m_record, &RecordReader::pageRead, this, &RecordSource::take);
    }
    void fetch(int count) override
    {
        if (reading())
            return;
        m_asked = count;
        m_ticket = m_record->read(Record::ShowFilter{m_filter.serial, {}, {}, count, m_read});
    }
    bool reading() const override { return m_ticket != 0; }
    bool atEnd() const override { return m_atEnd; }
    QString where() const override { return m_record->where(); }
    bool fromBenches() const override { return true; }

private:
    void take(quint64 ticket, const Record::ShowResult &shown)
    {
        if (ticket != m_ticket)
            return;
        m_ticket = 0;
        SourcedPage page;
        if (!shown.ok()) {
            page.problems << shown.message;
            m_atEnd = true;
            emit pageRead(page);
            return;
        }
        m_read += int(shown.entries.size());
        m_atEnd = shown.entries.size() < m_asked;
        for (const Record::RecordedEntry &r : shown.entries) {
            if (!r.damaged.isEmpty()) {
                page.problems << QStringLiteral("A damaged entry of board %1 from %2 is left out: %3.")
                                     .arg(r.entry.config.serial, r.station, r.damaged);
                continue;
            }
            if (m_filter.accepts(r.entry))
                page.entries.append(SourcedEntry{ConfigHistory::ListedEntry{r.entry, r.changes}, r.station});
        }
        emit pageRead(page);
    }

    RecordReader *m_record;
    ConfigHistory::EntryFilter m_filter;
    quint64 m_ticket = 0; // the page under way; 0: none
    int m_asked = 0;
    int m_read = 0;
    bool m_atEnd = false;
};

// The bench's own history at once, and the record's entries of every bench
// as the record answers: a record down, slow or refusing leaves the local
// rows (and their values for the page) where they are, with why beside them.
class BothSources : public HistorySource
{
public:
    BothSources(RecordReader *record, const ConfigHistory::EntryFilter &filter)
        : m_local(filter)
        , m_record(record, filter)
    {
        connect(&m_local, &HistorySource::pageRead, this, &HistorySource::pageRead);
        connect(&m_record, &HistorySource::pageRead, this, &HistorySource::pageRead);
    }
    void fetch(int count) override
    {
        if (!m_local.atEnd())
            m_local.fetch(count);
        if (!m_record.atEnd())
            m_record.fetch(count);
    }
    bool reading() const override { return m_record.reading(); }
    bool atEnd() const override { return m_local.atEnd() && m_record.atEnd(); }
    QString where() const override
    {
        return QCoreApplication::translate("Halvero_configurator", "%1 and the record %2")
            .arg(m_local.where(), m_record.where());
    }
    bool fromBenches() const override { return true; }

private:
    LocalSource m_local;
    RecordSource m_record;
};

} // namespace

std::unique_ptr<HistorySource> historySource(RecordReader *record, const ConfigHistory::EntryFilter &filter)
{
    if (!record)
        return std::make_unique<LocalSource>(filter);
    return std::make_unique<BothSources>(record, filter);
}

// The two sources of the history dialog.
#include "historysource.h"

#include "recordconnection.h"
#include "recordquery.h"
#include "recorduri.h"

namespace {

class LocalSource : public HistorySource
{
public:
    explicit LocalSource(const ConfigHistory::EntryFilter &filter)
        : m_reader(ConfigHistory::defaultPath(), filter)
    {}
    Result start() override { return m_reader.start(); }
    QList<SourcedEntry> next(int count) override
    {
        QList<SourcedEntry> page;
        for (ConfigHistory::ListedEntry &listed : m_reader.next(count))
            page.append(SourcedEntry{std::move(listed), QString()});
        return page;
    }
    bool atEnd() const override { return m_reader.atEnd(); }
    QStringList takeWarnings() override { return m_reader.takeWarnings(); }
    QString where() const override { return m_reader.path(); }
    bool fromBenches() const override { return false; }

private:
    ConfigHistory::HistoryReader m_reader;
};

// The record's entries of one board (or all), a page at a time. It is asked
// on the window's thread, within the record's few seconds' bound.
class RecordSource : public HistorySource
{
public:
    RecordSource(const QString &uri, const ConfigHistory::EntryFilter &filter)
        : m_uri(uri)
        , m_filter(filter)
    {}
    Result start() override
    {
        QString why;
        if (!Record::parseUri(m_uri, &m_target, &why))
            return Result::failure(ErrorCode::Record, why);
        m_connection = std::make_unique<Record::Connection>(m_target);
        const Result opened = m_connection->open();
        m_atEnd = !opened.ok();
        return opened;
    }
    QList<SourcedEntry> next(int count) override
    {
        QList<SourcedEntry> page;
        if (m_atEnd)
            return page;
        const Record::ShowResult shown =
            Record::show(*m_connection, Record::ShowFilter{m_filter.serial, {}, {}, count, m_read});
        if (!shown.ok()) {
            m_warnings << shown.message;
            m_atEnd = true;
            return page;
        }
        m_read += int(shown.entries.size());
        m_atEnd = shown.entries.size() < count;
        for (const Record::RecordedEntry &r : shown.entries) {
            if (!r.damaged.isEmpty()) {
                m_warnings << QStringLiteral("A damaged entry of board %1 from %2 is left out: %3.")
                                  .arg(r.entry.config.serial, r.station, r.damaged);
                continue;
            }
            if (m_filter.accepts(r.entry))
                page.append(SourcedEntry{ConfigHistory::ListedEntry{r.entry, r.changes}, r.station});
        }
        return page;
    }
    bool atEnd() const override { return m_atEnd; }
    QStringList takeWarnings() override { return std::exchange(m_warnings, {}); }
    QString where() const override { return m_target.masked.isEmpty() ? Record::maskedUri(m_uri) : m_target.masked; }
    bool fromBenches() const override { return true; }

private:
    QString m_uri;
    ConfigHistory::EntryFilter m_filter;
    Record::Target m_target;
    std::unique_ptr<Record::Connection> m_connection;
    int m_read = 0;
    bool m_atEnd = false;
    QStringList m_warnings;
};

} // namespace

std::unique_ptr<HistorySource> historySource(const QString &recordUri, const ConfigHistory::EntryFilter &filter)
{
    if (recordUri.isEmpty())
        return std::make_unique<LocalSource>(filter);
    return std::make_unique<RecordSource>(recordUri, filter);
}

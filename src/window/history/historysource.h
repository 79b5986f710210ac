// Where the history dialog's entries come from: the local history file, and
// the factory's record with every bench's entries when one is configured.
// The dialog asks for pages of entries, newest first, and for the sentence
// naming the source; each page comes as a signal, at once from the file,
// later from the record. Pages from the two are not in one order, and an
// entry forwarded to the record comes from both: the dialog merges them.
#ifndef HALVERO_HISTORYSOURCE_H
#define HALVERO_HISTORYSOURCE_H

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

#include "historyreader.h"

class RecordReader;

struct SourcedEntry
{
    ConfigHistory::ListedEntry listed;
    QString station; // the bench that wrote it
};

struct SourcedPage
{
    QList<SourcedEntry> entries;
    QStringList problems; // an unreadable file, a record out of reach, entries left out
};

class HistorySource : public QObject
{
    Q_OBJECT

public:
    // The next `count` older entries (the first call opens the source):
    // pageRead follows. A record's page still on its way is not asked for
    // twice.
    virtual void fetch(int count) = 0;
    // A page asked for has not come yet.
    virtual bool reading() const = 0;
    virtual bool atEnd() const = 0;
    // The history file's path, or the record's URI (password masked).
    virtual QString where() const = 0;
    // Its rows come from several benches, each named.
    virtual bool fromBenches() const = 0;

signals:
    void pageRead(const SourcedPage &page);
};

// The local history, with the record `record` reads when there is one.
std::unique_ptr<HistorySource> historySource(RecordReader *record, const ConfigHistory::EntryFilter &filter);

#endif // HALVERO_HISTORYSOURCE_H

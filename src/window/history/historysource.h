// Where the history dialog's entries come from: the local history file, or
// the factory's record with every bench's entries. The dialog asks for
// pages of entries, newest first, and for the sentence naming the source.
#ifndef HALVERO_HISTORYSOURCE_H
#define HALVERO_HISTORYSOURCE_H

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

#include "historyreader.h"
#include "result.h"

struct SourcedEntry
{
    ConfigHistory::ListedEntry listed;
    QString station; // the bench that wrote it (the record's entries)
};

class HistorySource
{
public:
    virtual ~HistorySource() = default;
    virtual Result start() = 0;
    virtual QList<SourcedEntry> next(int count) = 0;
    virtual bool atEnd() const = 0;
    virtual QStringList takeWarnings() = 0;
    // The history file's path, or the record's URI (password masked).
    virtual QString where() const = 0;
    // Its rows come from several benches, each named.
    virtual bool fromBenches() const = 0;
};

// The record when `recordUri` is set, else the local history.
std::unique_ptr<HistorySource> historySource(const QString &recordUri, const ConfigHistory::EntryFilter &filter);

#endif // HALVERO_HISTORYSOURCE_H

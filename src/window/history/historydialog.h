// The configuration history in a window of its own: the writes to the
// connected board (or to all boards) newest first, one row each with what
// it changed and how it ended (the entries behind them on demand), and a
// button that puts a write's values in the page. The entries are the local
// history's, joined by every bench's from the factory's record when one is
// configured and answers. The newest entries are read first; older ones as
// the list is scrolled down, the row in view and the current one kept.
#ifndef HALVERO_HISTORYDIALOG_H
#define HALVERO_HISTORYDIALOG_H

#include <QDialog>
#include <QList>
#include <QSet>

#include <memory>

#include "boardconfig.h"
#include "confighistory.h"
#include "historyreader.h"
#include "historysource.h"

QT_BEGIN_NAMESPACE
class QCheckBox;
class QLabel;
class QPushButton;
class QTableWidget;
QT_END_NAMESPACE

class RecordReader;

class HistoryDialog : public QDialog
{
    Q_OBJECT

public:
    explicit HistoryDialog(QWidget *parent = nullptr);

    // The board whose entries are listed while "All boards" is off (none:
    // family Unknown), and whether its page can take an entry's values.
    void setBoard(const BoardConfig &board, bool pageShown);
    // Reads the history file again, from its newest entry.
    void reload();
    // Entries from the factory's record at this URI too, every bench's,
    // each row naming its bench, read off the window's thread; empty: the
    // local history alone.
    void setRecord(const QString &uri);
    // Reads it again for `board` and brings the dialog up, in front.
    void showFor(const BoardConfig &board, bool pageShown);

    // Entries read at a time.
    static constexpr int pageEntries = 100;

signals:
    // The operator asked for this entry's values in the page.
    void placeRequested(const BoardConfig &config, const QString &source);

private:
    void fill();
    void loadMore();
    void take(const SourcedPage &page);
    void populate();
    void loadMoreAtBottom();
    void updateNote();
    void updatePlaceButton();
    const ConfigHistory::Entry *selectedEntry() const;

    QCheckBox *m_all;
    QCheckBox *m_entriesShown;
    QLabel *m_note;
    QTableWidget *m_table;
    QPushButton *m_place;
    BoardConfig m_board;
    bool m_pageShown = false;
    RecordReader *m_record = nullptr; // none: the local history
    std::unique_ptr<HistorySource> m_reader;
    bool m_bottomLookDue = false; // loadMoreAtBottom() queued
    bool m_shownEarlier = false;  // the rows are a listing asked for before m_reader's, until its first page
    QList<ConfigHistory::ListedEntry> m_entries; // as listed, newest first
    QStringList m_stations;                      // the bench of each of m_entries
    QList<qint64> m_times;                       // the time of each of m_entries, in ms
    QSet<QString> m_keys;                        // the ids of m_entries, each listed once
    QStringList m_problems;                      // damaged lines, an unreadable file
};

#endif // HALVERO_HISTORYDIALOG_H

// The configuration history in a window of its own: the entries of the
// connected board (or of all boards) newest first, as `halvero-cli history`
// lists them, and a button that puts an entry's values in the page.
#ifndef HALVERO_HISTORYDIALOG_H
#define HALVERO_HISTORYDIALOG_H

#include <QDialog>
#include <QList>

#include "boardconfig.h"
#include "confighistory.h"

QT_BEGIN_NAMESPACE
class QCheckBox;
class QLabel;
class QPushButton;
class QTableWidget;
QT_END_NAMESPACE

class HistoryDialog : public QDialog
{
    Q_OBJECT

public:
    explicit HistoryDialog(QWidget *parent = nullptr);

    // The board whose entries are listed while "All boards" is off (none:
    // family Unknown), and whether its page can take an entry's values.
    void setBoard(const BoardConfig &board, bool pageShown);
    // Reads the history file again.
    void reload();

signals:
    // The operator asked for this entry's values in the page.
    void placeRequested(const BoardConfig &config, const QString &source);

private:
    void fill();
    void updatePlaceButton();
    const ConfigHistory::Entry *selectedEntry() const;

    QCheckBox *m_all;
    QLabel *m_note;
    QTableWidget *m_table;
    QPushButton *m_place;
    BoardConfig m_board;
    bool m_pageShown = false;
    QList<ConfigHistory::Entry> m_entries;
    QList<ConfigHistory::EntryChanges> m_changes;
    QStringList m_problems; // damaged lines, an unreadable file
};

#endif // HALVERO_HISTORYDIALOG_H

// Unsaved edits on the page: each field that differs from what the board
// last answered with is marked (bold, or italic in a combo box) with the
// board's value in its tool tip, and the marks follow the page's edits once
// the event loop is free again (typing, or a whole configuration put in the
// page, changes many values in a row). Edits made before a lost connection
// are kept here until the board is back, and nothing unsaved is thrown away
// before the operator is asked.
#ifndef HALVERO_EDITMARKS_H
#define HALVERO_EDITMARKS_H

#include <QList>
#include <QMap>
#include <QObject>
#include <functional>
#include <utility>

#include "boardconfig.h"

QT_BEGIN_NAMESPACE
class QTimer;
class QWidget;
QT_END_NAMESPACE
class ConfigPage;

// What the page differs from the board in, for the board's family.
struct PageDifferences
{
    BoardFamily family = BoardFamily::Unknown;
    QList<FieldDifference> fields;
};

class EditMarks : public QObject
{
    Q_OBJECT

public:
    // `differences`: what the page differs from the board in now; nothing
    // while no board's page is shown.
    EditMarks(ConfigPage *page, std::function<PageDifferences()> differences, QObject *parent = nullptr);

    // Marks the fields that differ now and clears every other mark.
    void update();
    bool anyMarked() const { return m_anyMarked; }
    // Marked, or edits kept from before a lost connection.
    bool modified() const { return m_anyMarked || m_kept.family != BoardFamily::Unknown; }

    // The page's edits when the connection was lost, put back when the
    // same board answers again.
    void keep(const BoardConfig &edits) { m_kept = edits; }
    BoardConfig takeKept() { return std::exchange(m_kept, BoardConfig()); }

    // Asks before the unsaved edits go (dialog_unsaved_edits), naming the
    // fields, or the kept edits when no page is shown; true to go on.
    bool confirmDiscard(QWidget *parent, const QString &question, bool pageShown);

    // The edited fields, by path, with the page's value.
    static QMap<QString, int> edits(const QList<FieldDifference> &differences);

signals:
    // After every update(): modified() then.
    void updated(bool modified);

private:
    ConfigPage *m_page;
    std::function<PageDifferences()> m_differences;
    QTimer *m_deferred;
    bool m_anyMarked = false;
    BoardConfig m_kept;
};

#endif // HALVERO_EDITMARKS_H

// Unsaved edits on the page: each field that differs from what the board
// last answered with is marked (bold, or italic in a combo box) with the
// board's value in its tool tip, and the marks follow the page's edits once
// the event loop is free again (typing, or a whole configuration put in the
// page, changes many values in a row).
#ifndef HALVERO_EDITMARKS_H
#define HALVERO_EDITMARKS_H

#include <QList>
#include <QMap>
#include <QObject>
#include <functional>

#include "boardconfig.h"

QT_BEGIN_NAMESPACE
class QTimer;
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

    // The edited fields, by path, with the page's value.
    static QMap<QString, int> edits(const QList<FieldDifference> &differences);

signals:
    // After every update().
    void updated(bool anyMarked);

private:
    ConfigPage *m_page;
    std::function<PageDifferences()> m_differences;
    QTimer *m_deferred;
    bool m_anyMarked = false;
};

#endif // HALVERO_EDITMARKS_H

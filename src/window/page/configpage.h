// A board family's page and the Internal page, read and written as values:
// the page to a BoardConfig and back, through the family table and the
// form's widget names, and the status reply into the page's value fields.
// Every value is shown for what it is: a byte the page has no item for
// gets an item of its own, a pulse outside a spin box's range widens it,
// so that the page read back gives the board's own values for every field
// the operator did not touch.
#ifndef HALVERO_CONFIGPAGE_H
#define HALVERO_CONFIGPAGE_H

#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

#include "boardconfig.h"

QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE
class parachuteRadioComm;

class ConfigPage : public QObject
{
    Q_OBJECT

public:
    // `pages`: every page of the form that shows a board's values.
    explicit ConfigPage(const QList<QWidget *> &pages, QObject *parent = nullptr);

    // The editor that shows a configuration field of the family, or null.
    QWidget *editor(BoardFamily family, const ConfigField &field) const;
    // Every editor of every family's fields.
    QList<QWidget *> editors() const;

    void show(const BoardConfig &config);
    // What the page holds: `held` with the operator's edits over it. A
    // display-only field is written as the board holds it.
    BoardConfig read(const BoardConfig &held) const;
    // A value as its editor names it ("Bank B or fixed value", "checked").
    QString valueText(BoardFamily family, const ConfigField &field, int value) const;
    // Why `page` cannot be written over `held`; empty when it can. A value
    // the board already holds goes back as it is, even one out of range.
    static QString refusal(const BoardConfig &page, const BoardConfig &held);

    // A decoded status reply into the family's value fields.
    void showStatus(const parachuteRadioComm &record);
    // Greys out (or brings back) every family's live status group.
    void setLiveGreyed(bool greyed);

signals:
    // An editor's value changed, by the operator or by show().
    void edited();

private:
    QWidget *named(const QString &name) const;

    QList<QWidget *> m_pages;
    // The form's own range and tool tip of each editor, which a value out of
    // range widens and explains for as long as it is shown.
    QHash<const QWidget *, QPair<int, int>> m_formRanges;
    QHash<const QWidget *, QString> m_formToolTips;
};

#endif // HALVERO_CONFIGPAGE_H

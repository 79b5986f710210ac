// Where each board family lives in the form: its page and tab title, its
// three page buttons, its status group and the widget that shows each of
// its configuration and status fields. The link library's family tables
// say what a field is; this table says which widget of the form shows it,
// so that the link names no widget and a new family's page is one table.
#ifndef HALVERO_FAMILYFORM_H
#define HALVERO_FAMILYFORM_H

#include <QList>
#include <QString>
#include <functional>

#include "boardfamilies.h"

QT_BEGIN_NAMESPACE
class QPushButton;
class QWidget;
QT_END_NAMESPACE

namespace FamilyForm {

// The commands every family's page has a button for.
enum class Command {
    Read,
    Save,
    Defaults
};

// Object name of the family's page ("tab_08A3_config"); empty: none.
QString pageName(BoardFamily family);
// Its tab's title, in the window's language.
QString pageTitle(BoardFamily family);
// The page that every identified board shows beside its own.
QString internalPageName();
// Object name of the family's button for a command.
QString buttonName(BoardFamily family, Command command);
// The family's button for a command in `form`, or null.
QPushButton *button(const QWidget *form, BoardFamily family, Command command);
// The form's first families reach their buttons' slots by name (on_…_clicked
// of `window`); the buttons of a family's page added since are connected
// to `run` here, so that they do what every page's buttons do.
void connectButtonsWithoutSlots(QWidget *window, const std::function<void(Command)> &run);
// Object name of the group that holds the family's live status.
QString statusGroupName(BoardFamily family);
// Object name of the editor of a configuration field; empty: none.
QString configWidgetName(BoardFamily family, const ConfigField &field);
// Object name of the field that shows a status value; empty: none.
QString statusWidgetName(BoardFamily family, const StatusField &field);

} // namespace FamilyForm

#endif // HALVERO_FAMILYFORM_H

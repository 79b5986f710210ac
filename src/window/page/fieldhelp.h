// What an editor says of itself to an operator who hovers over it and to a
// screen reader: its name from the family table's label ("Channel 3
// failsafe"), the values it takes with their unit in its tool tip, and each
// value field named after the caption beside it.
#ifndef HALVERO_FIELDHELP_H
#define HALVERO_FIELDHELP_H

#include <QString>

#include "boardfamilies.h"

QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE

namespace FieldHelp {

// "Channel 3 failsafe: 900 to 2100 µs.", "Group 1 refresh rate: “50 Hz” or
// “400 Hz”."
QString rangeText(const ConfigField &field);
// Names `editor` after `field` and puts rangeText() in its tool tip, before
// the tool tip the form gave it, which stays.
void describe(QWidget *editor, const ConfigField &field);
// In every grid inside `root`, the caption in a row's first column labels
// the first widget beside it that takes the focus (its buddy): the name of a
// value field, and the label screen readers give a list on Linux.
void nameByCaptions(QWidget *root);

} // namespace FieldHelp

#endif // HALVERO_FIELDHELP_H

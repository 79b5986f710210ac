// The keyboard's way through the window: Tab goes as the eye reads the
// form, row of boxes by row of boxes, left to right within a row, and
// inside a box along its layout's rows (the channels of a group in order),
// whatever order the form created its widgets in. Pages taken out of the
// tab widget keep their place in the chain for when they come back.
#ifndef HALVERO_KEYBOARDORDER_H
#define HALVERO_KEYBOARDORDER_H

#include <QList>

QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE

namespace KeyboardOrder {

// The widgets inside `root` that Tab stops at, in reading order.
QList<QWidget *> readingOrder(QWidget *root);
// Makes Tab go through `widgets` in the order given.
void chain(const QList<QWidget *> &widgets);
// Gives the focus to the first widget of `root`, in reading order, that can
// take it; false when none can.
bool focusFirstIn(QWidget *root);

} // namespace KeyboardOrder

#endif // HALVERO_KEYBOARDORDER_H

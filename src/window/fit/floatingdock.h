// A dock beside the fixed form: docked, it would take its room from the
// form, so it floats (and cannot be docked back), hidden until its View
// action shows it. The first time it shows, it goes where the screen has
// room for it beside the window, `below` or to the right first, else over
// the window's lower right.
#ifndef HALVERO_FLOATINGDOCK_H
#define HALVERO_FLOATINGDOCK_H

#include <QSize>

QT_BEGIN_NAMESPACE
class QDockWidget;
class QMainWindow;
QT_END_NAMESPACE

void floatDock(QMainWindow *window, QDockWidget *dock, const QSize &size, bool below);

#endif // HALVERO_FLOATINGDOCK_H

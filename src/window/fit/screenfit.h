// The window on a screen smaller than its form (a laptop, a scale factor of
// 150 % or 200 %): the form scrolls inside the window, the window opens no
// larger than the screen's available area, and the floating docks go where
// the screen has room for them.
#ifndef HALVERO_SCREENFIT_H
#define HALVERO_SCREENFIT_H

#include <QList>
#include <QMargins>
#include <QRect>
#include <QSize>

QT_BEGIN_NAMESPACE
class QMainWindow;
class QScrollArea;
class QWidget;
QT_END_NAMESPACE

namespace ScreenFit {

// Puts the window's central widget (the form) in a frameless scroll area,
// `scroll_form`: as large as the form or larger it looks as before, smaller
// the form scrolls. `above`, when given, sits above the scroll area and
// takes its height from it while shown. The form keeps its object name and
// everything inside it stays where it was.
QScrollArea *scrollForm(QMainWindow *window, QWidget *above = nullptr);

// The size a window that wants `wanted` (its frame not included) opens at
// on a screen with `available` room, when its frame adds `frame`.
QSize openingSize(const QSize &wanted, const QSize &available, const QMargins &frame);

// Where a floating dock of `room` (frame included) goes: beside `window`,
// below it or to its right first, the other side next, then beside the
// docks already on the screen (`taken`), else wherever the screen has room
// that no other dock takes, over the window if it must; always inside
// `screen` and no larger than it. Only a screen too small for all of them
// lets one dock cover another.
QRect besideWindow(const QRect &window, const QSize &room, const QRect &screen, bool below,
                   const QList<QRect> &taken = {});

// Makes `window` open at no more than its screen's available area.
void keepOnScreen(QWidget *window);

} // namespace ScreenFit

#endif // HALVERO_SCREENFIT_H

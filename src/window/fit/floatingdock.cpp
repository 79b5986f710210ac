// Docks that float beside the window, placed where the screen has room.
#include "floatingdock.h"

#include <QDockWidget>
#include <QMainWindow>
#include <QScreen>
#include <QVariant>

#include "screenfit.h"

void floatDock(QMainWindow *window, QDockWidget *dock, const QSize &size, bool below)
{
    dock->hide();
    window->addDockWidget(Qt::BottomDockWidgetArea, dock);
    dock->setAllowedAreas(Qt::NoDockWidgetArea);
    dock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    dock->setFloating(true);
    dock->resize(size);
    QObject::connect(dock, &QDockWidget::visibilityChanged, dock, [window, dock, below](bool visible) {
        if (!visible || dock->property("placed").toBool())
            return;
        dock->setProperty("placed", true);
        const QSize frame = dock->frameGeometry().size() - dock->size();
        const QRect place = ScreenFit::besideWindow(window->frameGeometry(), dock->frameGeometry().size(),
                                                    window->screen()->availableGeometry(), below);
        dock->resize(dock->size().boundedTo(place.size() - frame));
        dock->move(place.topLeft());
    });
}

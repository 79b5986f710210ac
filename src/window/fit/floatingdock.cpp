// Docks that float beside the window, placed where the screen has room.
#include "floatingdock.h"
#include "windowlog.h"

#include <QDockWidget>
#include <QMainWindow>
#include <QScreen>
#include <QVariant>

#include "screenfit.h"

#include <algorithm>

void floatDock(QMainWindow *window, QDockWidget *dock, const QSize &size, bool below)
{
    dock->hide();
    window->addDockWidget(Qt::BottomDockWidgetArea, dock);
    dock->setAllowedAreas(Qt::NoDockWidgetArea);
    dock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    dock->setFloating(true);
    dock->resize(size);
    QObject::connect(dock, &QDockWidget::visibilityChanged, dock, [window, dock, below](bool visible) {
        if (!visible)
            return;
        // The other docks showing now: this one never opens over them.
        QList<QRect> taken;
        for (const QDockWidget *other : window->findChildren<QDockWidget *>())
            if (other != dock && other->isFloating() && other->isVisible())
                taken << other->frameGeometry();
        const bool placed = dock->property("placed").toBool();
        const QRect at = dock->frameGeometry();
        // Where the operator moved it stays, unless another dock is there now.
        if (placed && std::none_of(taken.begin(), taken.end(), [&at](const QRect &t) { return t.intersects(at); }))
            return;
        dock->setProperty("placed", true);
        const QSize frame = dock->frameGeometry().size() - dock->size();
        const QRect place = ScreenFit::besideWindow(window->frameGeometry(), dock->frameGeometry().size(),
                                                    window->screen()->availableGeometry(), below, taken);
        dock->resize(dock->size().boundedTo(place.size() - frame));
        dock->move(place.topLeft());
        qCDebug(lcFit) << dock->objectName() << "placed at" << place;
    });
}

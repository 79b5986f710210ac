// The form's scroll area and the window's and docks' places on the screen.
#include "screenfit.h"

#include <QEvent>
#include <QMainWindow>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

namespace ScreenFit {

namespace {

// Fits the window to its screen the first time it is shown: the platform
// knows the screen by then, and the window is not mapped yet.
class OpeningFit : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *window = qobject_cast<QWidget *>(watched);
        if (event->type() != QEvent::Show || !window || !window->screen())
            return false;
        QMargins frame(window->geometry().left() - window->frameGeometry().left(),
                       window->geometry().top() - window->frameGeometry().top(),
                       window->frameGeometry().right() - window->geometry().right(),
                       window->frameGeometry().bottom() - window->geometry().bottom());
        // A window never shown has no frame yet: allow for a title bar.
        if (frame.isNull())
            frame.setTop(window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window));
        const QSize size = openingSize(window->size(), window->screen()->availableGeometry().size(), frame);
        if (size != window->size())
            window->resize(size);
        deleteLater();
        window->removeEventFilter(this);
        return false;
    }
};

} // namespace

QScrollArea *scrollForm(QMainWindow *window, QWidget *above)
{
    QWidget *form = window->takeCentralWidget();
    // The form places its widgets by geometry and has no layout to ask: the
    // scroll bars come when the window is smaller than what they cover. The
    // form's margin to the right is room enough for a vertical scroll bar,
    // which then brings no horizontal one with it.
    QRect extent;
    for (QWidget *child : form->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        extent |= child->geometry();
    form->setMinimumSize(extent.right() + 1, extent.bottom() + 1);

    auto *area = new QScrollArea;
    area->setObjectName(QStringLiteral("scroll_form"));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setWidget(form);
    if (!above) {
        window->setCentralWidget(area);
        return area;
    }
    auto *body = new QWidget;
    body->setObjectName(QStringLiteral("panel_body"));
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(above);
    layout->addWidget(area, 1);
    window->setCentralWidget(body);
    return area;
}

QSize openingSize(const QSize &wanted, const QSize &available, const QMargins &frame)
{
    const QSize room(available.width() - frame.left() - frame.right(), available.height() - frame.top() - frame.bottom());
    return wanted.boundedTo(room.expandedTo(QSize(1, 1)));
}

QRect besideWindow(const QRect &window, const QSize &room, const QRect &screen, bool below)
{
    const QSize size = room.boundedTo(screen.size());
    const QRect right(QPoint(window.right() + 8, window.top()), size);
    const QRect under(QPoint(window.left(), window.bottom() + 8), size);
    for (const QRect &place : below ? QList<QRect>{under, right} : QList<QRect>{right, under})
        if (screen.contains(place))
            return place;
    QRect place(QPoint(screen.right() + 1 - size.width(), window.top() + 60), size);
    if (place.bottom() > screen.bottom())
        place.moveBottom(screen.bottom());
    if (place.top() < screen.top())
        place.moveTop(screen.top());
    return place;
}

void keepOnScreen(QWidget *window)
{
    window->installEventFilter(new OpeningFit(window));
}

} // namespace ScreenFit

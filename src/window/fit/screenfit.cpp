// The form's scroll area and the window's and docks' places on the screen.
#include "screenfit.h"

#include <algorithm>

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
    const QSize room(available.width() - frame.left() - frame.right(),
                     available.height() - frame.top() - frame.bottom());
    return wanted.boundedTo(room.expandedTo(QSize(1, 1)));
}

QRect besideWindow(const QRect &window, const QSize &room, const QRect &screen, bool below, const QList<QRect> &taken)
{
    constexpr int gap = 8;
    const auto freeOf = [&taken](const QRect &place) {
        return std::none_of(taken.begin(), taken.end(), [&place](const QRect &t) { return t.intersects(place); });
    };
    const auto fits = [&](const QRect &place) { return screen.contains(place) && freeOf(place); };

    // Beside the window, then beside the other docks.
    QList<QRect> around{window};
    around += taken;
    for (QSize size = room.boundedTo(screen.size());; size = QSize(size.width() * 3 / 4, size.height() * 3 / 4)) {
        for (const QRect &next : std::as_const(around)) {
            const QRect right(QPoint(next.right() + gap, next.top()), size);
            const QRect under(QPoint(next.left(), next.bottom() + gap), size);
            const QRect left(QPoint(next.left() - gap - size.width(), next.top()), size);
            for (const QRect &place : below ? QList<QRect>{under, right, left} : QList<QRect>{right, under, left})
                if (fits(place) && !place.intersects(window))
                    return place;
        }
        // Over the window, from its lower right corner, clear of the docks.
        for (int y = screen.bottom() + 1 - size.height(); y >= screen.top(); y -= gap)
            for (int x = screen.right() + 1 - size.width(); x >= screen.left(); x -= gap)
                if (const QRect place(QPoint(x, y), size); fits(place))
                    return place;
        // Smaller, down to a size that is still of use.
        if (size.width() < 240 || size.height() < 160)
            break;
    }
    QRect place(QPoint(screen.right() + 1 - room.width(), window.top() + 60), room.boundedTo(screen.size()));
    if (place.right() > screen.right())
        place.moveRight(screen.right());
    if (place.bottom() > screen.bottom())
        place.moveBottom(screen.bottom());
    if (place.top() < screen.top())
        place.moveTop(screen.top());
    if (place.left() < screen.left())
        place.moveLeft(screen.left());
    return place;
}

void keepOnScreen(QWidget *window)
{
    window->installEventFilter(new OpeningFit(window));
}

} // namespace ScreenFit

// The message log dock and the status bar's elided message.
#include "messagelog.h"
#include "windowlog.h"

#include "Halvero_configurator.h"

#include <QListWidget>
#include <QPaintEvent>
#include <QPainter>
#include <QSizeGrip>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyleOption>
#include <QTime>

namespace {

// Paints the status bar as QStatusBar does, but with the message elided on
// the right instead of cut off: the message area ends where the first
// visible widget on the bar (a permanent one, the size grip) begins.
class StatusBarElider : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *bar = qobject_cast<QStatusBar *>(watched);
        if (!bar || event->type() != QEvent::Paint || bar->currentMessage().isEmpty())
            return false;
        QPainter p(bar);
        QStyleOption opt;
        opt.initFrom(bar);
        bar->style()->drawPrimitive(QStyle::PE_PanelStatusBar, &opt, &p, bar);
        int right = bar->width() - 12;
        const QList<QWidget *> children = bar->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
        for (QWidget *child : children) {
            if (!child->isVisible())
                continue;
            right = qMin(right, child->x() - 2);
            if (qobject_cast<QSizeGrip *>(child))
                continue;
            QStyleOption frame;
            frame.rect = child->geometry().adjusted(-2, -1, 2, 1);
            frame.palette = bar->palette();
            frame.state = QStyle::State_None;
            bar->style()->drawPrimitive(QStyle::PE_FrameStatusBarItem, &frame, &p, child);
        }
        const QRect area(6, 0, qMax(0, right - 6), bar->height());
        const QString shown = bar->fontMetrics().elidedText(bar->currentMessage(), Qt::ElideRight, area.width());
        p.setPen(bar->palette().windowText().color());
        p.drawText(area, Qt::AlignLeading | Qt::AlignVCenter | Qt::TextSingleLine, shown);
        return true;
    }
};

class EmptyStatusTipFilter : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        return event->type() == QEvent::StatusTip && static_cast<QStatusTipEvent *>(event)->tip().isEmpty();
    }
};

} // namespace

MessageLog::MessageLog(QWidget *parent)
    : QDockWidget(Halvero_configurator::tr("Messages"), parent)
    , m_list(new QListWidget(this))
{
    setObjectName(QStringLiteral("dock_messages"));
    m_list->setObjectName(QStringLiteral("list_messages"));
    m_list->setWordWrap(true);
    m_list->setUniformItemSizes(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    setWidget(m_list);
}

void MessageLog::add(const QString &text, const QString &kind)
{
    qCDebug(lcWords).noquote() << text;
    const QString line = QStringLiteral("%1  %2").arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")), text);
    QListWidgetItem *last = m_list->count() > 0 ? m_list->item(m_list->count() - 1) : nullptr;
    if (!kind.isEmpty() && last && last->data(Qt::UserRole).toString() == kind) {
        last->setText(line);
    } else {
        auto *item = new QListWidgetItem(line);
        item->setData(Qt::UserRole, kind);
        m_list->addItem(item);
        while (m_list->count() > maxEntries)
            delete m_list->takeItem(0);
    }
    m_list->scrollToBottom();
}

int MessageLog::count() const
{
    return m_list->count();
}

void MessageLog::ignoreEmptyStatusTips(QWidget *window)
{
    window->installEventFilter(new EmptyStatusTipFilter(window));
}

void MessageLog::elideMessagesOf(QStatusBar *bar)
{
    bar->installEventFilter(new StatusBarElider(bar));
    QObject::connect(bar, &QStatusBar::messageChanged, bar, [bar](const QString &text) { bar->setToolTip(text); });
}

// Reading order of a form placed by absolute geometry and grid layouts.
#include "keyboardorder.h"

#include <QGridLayout>
#include <QLayout>
#include <QStackedWidget>
#include <QTabWidget>
#include <QWidget>
#include <algorithm>

namespace KeyboardOrder {

namespace {

void collect(QWidget *widget, QList<QWidget *> &order);

void collectLayout(QLayout *layout, QList<QWidget *> &order)
{
    QList<QLayoutItem *> items;
    for (int i = 0; i < layout->count(); ++i)
        items << layout->itemAt(i);
    // A grid is read row by row, each row left to right.
    if (auto *grid = qobject_cast<QGridLayout *>(layout)) {
        const auto cell = [grid](int index) {
            int row, column, rowSpan, columnSpan;
            grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
            return std::make_pair(row, column);
        };
        QList<int> indices;
        for (int i = 0; i < items.size(); ++i)
            indices << i;
        std::stable_sort(indices.begin(), indices.end(), [&](int a, int b) { return cell(a) < cell(b); });
        QList<QLayoutItem *> sorted;
        for (int i : indices)
            sorted << items.at(i);
        items = sorted;
    }
    for (QLayoutItem *item : items) {
        if (item->widget())
            collect(item->widget(), order);
        else if (item->layout())
            collectLayout(item->layout(), order);
    }
}

// Widgets placed by geometry: those whose heights overlap form a row.
void collectPlaced(QWidget *parent, QList<QWidget *> &order)
{
    QList<QWidget *> children;
    for (QWidget *child : parent->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        if (!child->isWindow())
            children << child;
    std::stable_sort(children.begin(), children.end(),
                     [](const QWidget *a, const QWidget *b) { return a->y() < b->y(); });
    QList<QList<QWidget *>> rows;
    int rowBottom = 0;
    for (QWidget *child : std::as_const(children)) {
        if (rows.isEmpty() || child->geometry().top() > rowBottom) {
            rows.append(QList<QWidget *>());
            rowBottom = child->geometry().bottom();
        }
        rows.last() << child;
        rowBottom = qMax(rowBottom, child->geometry().bottom());
    }
    for (QList<QWidget *> &row : rows) {
        std::stable_sort(row.begin(), row.end(), [](const QWidget *a, const QWidget *b) { return a->x() < b->x(); });
        for (QWidget *child : std::as_const(row))
            collect(child, order);
    }
}

void collect(QWidget *widget, QList<QWidget *> &order)
{
    if (auto *tabs = qobject_cast<QTabWidget *>(widget)) {
        order << tabs;
        // Every page, shown or taken out for now: they stay its stack's children.
        if (auto *stack = tabs->findChild<QStackedWidget *>(QString(), Qt::FindDirectChildrenOnly))
            for (QWidget *page : stack->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
                collect(page, order);
        return;
    }
    if (widget->focusPolicy() & Qt::TabFocus) {
        order << widget;
        return;
    }
    if (widget->layout())
        collectLayout(widget->layout(), order);
    else
        collectPlaced(widget, order);
}

} // namespace

QList<QWidget *> readingOrder(QWidget *root)
{
    QList<QWidget *> order;
    if (root->layout())
        collectLayout(root->layout(), order);
    else
        collectPlaced(root, order);
    return order;
}

void chain(const QList<QWidget *> &widgets)
{
    for (int i = 1; i < widgets.size(); ++i)
        QWidget::setTabOrder(widgets.at(i - 1), widgets.at(i));
}

bool focusFirstIn(QWidget *root)
{
    for (QWidget *widget : readingOrder(root)) {
        if (widget->isVisibleTo(root->window()) && widget->isEnabled()) {
            widget->setFocus(Qt::TabFocusReason);
            return true;
        }
    }
    return false;
}

} // namespace KeyboardOrder

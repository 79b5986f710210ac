// Scrolling past a spin box or a combo box does not change it: such an
// editor takes the mouse wheel only while it has the keyboard focus (a click
// or Tab gives it), and it never takes the focus from the wheel. A wheel
// turned over an editor without focus goes to what is around it: the page's
// scroll area scrolls.
#ifndef HALVERO_WHEELGUARD_H
#define HALVERO_WHEELGUARD_H

#include <QObject>

QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE

class WheelGuard : public QObject
{
    Q_OBJECT

public:
    // Guards every spin box and combo box inside `root`.
    static void guardEditorsIn(QWidget *root);
    // Guards one editor; the guard lives as long as it does.
    static void guard(QWidget *editor);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using QObject::QObject;
};

#endif // HALVERO_WHEELGUARD_H

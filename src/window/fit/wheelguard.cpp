// The editors' wheel guard.
#include "wheelguard.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QEvent>
#include <QWidget>

void WheelGuard::guardEditorsIn(QWidget *root)
{
    for (QWidget *editor : root->findChildren<QWidget *>()) {
        if (qobject_cast<QAbstractSpinBox *>(editor) || qobject_cast<QComboBox *>(editor))
            guard(editor);
    }
}

void WheelGuard::guard(QWidget *editor)
{
    // The wheel focus would let the wheel give it the focus first.
    if (editor->focusPolicy() == Qt::WheelFocus)
        editor->setFocusPolicy(Qt::StrongFocus);
    editor->installEventFilter(new WheelGuard(editor));
}

bool WheelGuard::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Wheel || static_cast<QWidget *>(watched)->hasFocus())
        return false;
    // Ignored and filtered: the application hands the wheel on to the
    // editor's parents, up to the scroll area, as for any widget that
    // does not want it.
    event->ignore();
    return true;
}

// A question that gives something up (edits, a write, a crossed pair): Yes
// or No, No the default, so that a hasty Enter keeps what the operator has.
#ifndef HALVERO_QUESTION_H
#define HALVERO_QUESTION_H

#include <QString>

QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE

// True when the operator answers Yes. The box carries `objectName`.
bool askBeforeGivingUp(QWidget *parent, const char *objectName, const QString &title, const QString &text);

#endif // HALVERO_QUESTION_H

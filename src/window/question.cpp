// The Yes/No question asked before anything is given up.
#include "question.h"

#include <QMessageBox>

bool askBeforeGivingUp(QWidget *parent, const char *objectName, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setObjectName(QLatin1String(objectName));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

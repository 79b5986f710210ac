// The operator's guide in a window of the program's own (Help > Operator's
// guide, F1): a page shipped inside the program, so that no browser, viewer
// or network is needed in the field.
#ifndef HALVERO_OPERATORGUIDE_H
#define HALVERO_OPERATORGUIDE_H

#include <QDialog>

class OperatorGuide : public QDialog
{
    Q_OBJECT

public:
    // The guide of `window`, made the first time, shown and raised.
    static OperatorGuide *showFor(QWidget *window);

private:
    explicit OperatorGuide(QWidget *parent);
};

#endif // HALVERO_OPERATORGUIDE_H

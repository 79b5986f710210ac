// The operator's guide in a window of the program's own (Help > Operator's
// guide, F1): a page shipped inside the program, so that no browser, viewer
// or network is needed in the field.
#ifndef HALVERO_OPERATORGUIDE_H
#define HALVERO_OPERATORGUIDE_H

#include <QDialog>

QT_BEGIN_NAMESPACE
class QTextBrowser;
QT_END_NAMESPACE

class OperatorGuide : public QDialog
{
    Q_OBJECT

public:
    // The guide of `window`, made the first time, shown and raised.
    static OperatorGuide *showFor(QWidget *window);

    // The page as shown (for a look without a window).
    QString pageText() const;

private:
    explicit OperatorGuide(QWidget *parent);

    QTextBrowser *m_browser;
};

#endif // HALVERO_OPERATORGUIDE_H

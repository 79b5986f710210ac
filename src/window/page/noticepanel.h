// A message panel above the page for an outcome the operator must not miss
// (a write the board did not take as it was sent, a save refused): it stays
// until the operator dismisses it or a later outcome replaces it, where the
// status bar's sentence is gone with the next one.
#ifndef HALVERO_NOTICEPANEL_H
#define HALVERO_NOTICEPANEL_H

#include <QFrame>

QT_BEGIN_NAMESPACE
class QLabel;
class QPushButton;
QT_END_NAMESPACE

class NoticePanel : public QFrame
{
    Q_OBJECT

public:
    explicit NoticePanel(QWidget *parent = nullptr);

    // Shows `text` (plain) until dismissed; replaces what it showed before.
    void showNotice(const QString &text);
    // Hides it, as the Dismiss button does.
    void dismiss();

private:
    QLabel *m_icon;
    QLabel *m_text;
    QPushButton *m_dismiss;
};

#endif // HALVERO_NOTICEPANEL_H

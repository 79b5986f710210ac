// The session's status messages, kept so that none is lost when the next one
// replaces it on the status bar: a floating dock listing each with its time,
// and the status bar's own painting, which elides a message too long for it
// and keeps the whole text in its tool tip.
#ifndef HALVERO_MESSAGELOG_H
#define HALVERO_MESSAGELOG_H

#include <QDockWidget>
#include <QString>

QT_BEGIN_NAMESPACE
class QListWidget;
class QStatusBar;
QT_END_NAMESPACE

class MessageLog : public QDockWidget
{
    Q_OBJECT

public:
    static constexpr int maxEntries = 500;

    explicit MessageLog(QWidget *parent = nullptr);

    // Appends the message with the time now. A message of a `kind` replaces
    // the newest entry when that is of the same kind, so that a run of
    // reconnect attempts takes one line.
    void add(const QString &text, const QString &kind = QString());
    int count() const;

    // Makes the status bar paint its message elided to the space it has,
    // with the whole text in its tool tip.
    static void elideMessagesOf(QStatusBar *bar);
    // Keeps the status bar's message while the pointer passes over menu
    // entries: none has a status tip, and each would clear the message.
    static void ignoreEmptyStatusTips(QWidget *window);

private:
    QListWidget *m_list;
};

#endif // HALVERO_MESSAGELOG_H

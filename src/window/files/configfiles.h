// Files the operator keeps beside the board: the board's configuration (or
// the page with its edits) saved in the layout `halvero-cli config get`
// writes, such a file or a history entry put in the page as unsaved edits
// after a look at what it changes, and the EEPROM dump saved as text.
#ifndef HALVERO_CONFIGFILES_H
#define HALVERO_CONFIGFILES_H

#include <QList>
#include <QObject>
#include <QString>

#include "boardconfig.h"

QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE
class BoardSession;
class ConfigPage;

class ConfigFiles : public QObject
{
    Q_OBJECT

public:
    // What the files ask of the window around them.
    class Host
    {
    public:
        virtual ~Host() = default;
        // A board is connected and its page shown.
        virtual bool pageShown() const = 0;
        // The page holds edits not saved to the board.
        virtual bool pageModified() const = 0;
        // Asks before unsaved edits are replaced; true to go on.
        virtual bool confirmDiscardEdits(const QString &question) = 0;
        virtual void refreshEditMarks() = 0;
    };

    // `dialogParent` parents the file and difference dialogs.
    ConfigFiles(QWidget *dialogParent, Host *host, const BoardSession *session, ConfigPage *page);

    // The board's configuration, or with `page` the page with its edits.
    void saveConfigFile(bool page);
    void loadConfigFile();
    // What the page gets from a file or a history entry: `source` names it
    // in the status bar. False (with the reason said) for another family.
    // With `showDifferences`, the operator first sees what it changes
    // (dialog_load_diff); else only unsaved edits are asked about.
    bool placeInPage(const BoardConfig &config, const QString &source, bool showDifferences);
    void saveDump(const QString &text);

signals:
    void status(const QString &text);

private:
    bool confirmDifferences(const QString &source, const QList<FieldDifference> &differences);

    QWidget *m_parent;
    Host *m_host;
    const BoardSession *m_session;
    ConfigPage *m_page;
};

#endif // HALVERO_CONFIGFILES_H

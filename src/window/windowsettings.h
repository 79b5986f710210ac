// What the window remembers between runs, under organisation "Halvero",
// application "halvero-configurator" (~/.config/Halvero/halvero-configurator.conf
// on Linux, the registry on Windows), and the file dialogs that start in the
// folder used last.
#ifndef HALVERO_WINDOWSETTINGS_H
#define HALVERO_WINDOWSETTINGS_H

#include <QFileDialog>
#include <QSettings>

#include <memory>

// While the record's URI in them ("record") holds a password, the settings
// file is readable by its owner alone (mode 0600): made so when it is
// opened and whenever it is written.
// A settings file that is there but is no regular file (a pipe would hold
// the window until some program writes to it) is not used: the settings
// then last as long as the object, and windowSettingsProblem() says why.
std::unique_ptr<QSettings> windowSettings();
QString windowSettingsProblem(); // empty while the settings file is usable

// A file picked in a file dialog of this object name, starting in the
// folder used last; empty when the operator cancels.
QString chooseFile(QWidget *parent, const char *name, const QString &title, const QString &suggested,
                   const QString &filter, QFileDialog::AcceptMode mode);

#endif // HALVERO_WINDOWSETTINGS_H

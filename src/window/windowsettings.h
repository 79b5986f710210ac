// What the window remembers between runs, under organisation "Halvero",
// application "halvero-configurator" (~/.config/Halvero/halvero-configurator.conf
// on Linux, the registry on Windows), and the file dialogs that start in the
// folder used last.
#ifndef HALVERO_WINDOWSETTINGS_H
#define HALVERO_WINDOWSETTINGS_H

#include <QFileDialog>
#include <QSettings>

#include <memory>

std::unique_ptr<QSettings> windowSettings();

// A file picked in a file dialog of this object name, starting in the
// folder used last; empty when the operator cancels.
QString chooseFile(QWidget *parent, const char *name, const QString &title, const QString &suggested,
                   const QString &filter, QFileDialog::AcceptMode mode);

#endif // HALVERO_WINDOWSETTINGS_H

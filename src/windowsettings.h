// Where the window keeps what it remembers between runs: organisation
// "Halvero", application "halvero-configurator"
// (~/.config/Halvero/halvero-configurator.conf on Linux, the registry on
// Windows).
#ifndef HALVERO_WINDOWSETTINGS_H
#define HALVERO_WINDOWSETTINGS_H

#include <QSettings>

#include <memory>

inline std::unique_ptr<QSettings> windowSettings()
{
    return std::make_unique<QSettings>(QStringLiteral("Halvero"), QStringLiteral("halvero-configurator"));
}

#endif // HALVERO_WINDOWSETTINGS_H

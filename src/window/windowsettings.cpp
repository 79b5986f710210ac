// The window's settings and its file dialogs.
#include "windowsettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "recorduri.h"
#include "windowlog.h"

namespace {

const QString keyFolder = QStringLiteral("files/folder");
const QString keyRecord = QStringLiteral("record");
const QString organization = QStringLiteral("Halvero");
const QString application = QStringLiteral("halvero-configurator");

// Where QSettings keeps the window's settings, asked of QSettings itself
// through a name that has no file, since opening the real one is what must
// not happen before it is looked at. Empty where they are no file (the
// Windows registry).
QString settingsFile()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    const QSettings probe(organization, application + QStringLiteral(".where"));
    return QFileInfo(probe.fileName()).dir().filePath(application + QStringLiteral(".conf"));
#else
    return QString();
#endif
}

// The folder used last while it is there, else Documents where the user has
// one, else home: a dialog never starts in a folder that does not exist.
QString firstFolder(const QString &used)
{
    for (const QString &folder : {used, QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)})
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            return folder;
    return QDir::homePath();
}

// The settings file, kept readable by its owner alone while the record's URI
// in it holds a password: before it is written (a rewrite keeps the mode of
// the file it replaces; a new file is made so first) and after.
class WindowSettings : public QSettings
{
public:
    WindowSettings()
        : QSettings(organization, application)
    {
        protect();
    }
    ~WindowSettings() override
    {
        protect();
        sync();
        protect();
    }

private:
    void protect()
    {
#if defined(Q_OS_UNIX)
        const QString uri = value(keyRecord).toString();
        if (uri.isEmpty() || Record::maskedUri(uri) == uri)
            return;
        const QString path = fileName();
        const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
        QFile file(path);
        if (!file.exists()) {
            if (QDir().mkpath(QFileInfo(path).absolutePath()))
                file.open(QIODevice::WriteOnly | QIODevice::NewOnly, ownerOnly);
            return;
        }
        if (!QFileInfo(path).isFile())
            return;
        const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
                                                | QFileDevice::ReadOther | QFileDevice::WriteOther
                                                | QFileDevice::ExeOther;
        if ((file.permissions() & others) && !file.setPermissions(ownerOnly))
            qCWarning(lcWindow).noquote()
                << "The settings" << path
                << "hold the record's password and could not be made private:" << file.errorString();
#endif
    }
};

} // namespace

QString windowSettingsProblem()
{
    const QFileInfo file(settingsFile());
    if (file.filePath().isEmpty() || !file.exists() || file.isFile())
        return QString();
    return QCoreApplication::translate("Halvero_configurator",
                                       "The settings in %1 are not used: it is not a regular file. The window starts "
                                       "with its defaults and remembers nothing until it is removed.")
        .arg(file.filePath());
}

std::unique_ptr<QSettings> windowSettings()
{
    if (!windowSettingsProblem().isEmpty())
        return std::make_unique<QSettings>(QString(), QSettings::IniFormat);
    return std::make_unique<WindowSettings>();
}

QString chooseFile(QWidget *parent, const char *name, const QString &title, const QString &suggested,
                   const QString &filter, QFileDialog::AcceptMode mode)
{
    const auto settings = windowSettings();
    const QString folder = firstFolder(settings->value(keyFolder).toString());
    QFileDialog dialog(parent, title, folder, filter);
    dialog.setObjectName(QLatin1String(name));
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!suggested.isEmpty())
        dialog.selectFile(QDir(folder).filePath(suggested));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    const QString path = dialog.selectedFiles().constFirst();
    settings->setValue(keyFolder, QFileInfo(path).absolutePath());
    return path;
}

// The window's settings and its file dialogs.
#include "windowsettings.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const QString keyFolder = QStringLiteral("files/folder");

// The folder used last while it is there, else Documents where the user has
// one, else home: a dialog never starts in a folder that does not exist.
QString firstFolder(const QString &used)
{
    for (const QString &folder : {used, QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)})
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            return folder;
    return QDir::homePath();
}

} // namespace

std::unique_ptr<QSettings> windowSettings()
{
    return std::make_unique<QSettings>(QStringLiteral("Halvero"), QStringLiteral("halvero-configurator"));
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

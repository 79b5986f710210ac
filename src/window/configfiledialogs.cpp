// Files the operator keeps beside the board: the board's configuration saved
// in the layout `halvero-cli config get` writes, such a file (or a history
// entry) put in the page as unsaved edits after a look at what it changes,
// and the EEPROM dump saved as text.
#include "Halvero_configurator.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include "backgroundread.h"
#include "configfileread.h"
#include "outputfile.h"
#include "recordtext.h"
#include "savedconfig.h"
#include "statustext.h"
#include "ui_Halvero_configurator.h"
#include "windowsettings.h"

namespace {

const QString gainPath = QStringLiteral("inaGain");

// "08A3-0021": product code and the serial's last digits, to tell files apart.
QString fileStem(const BoardConfig &board)
{
    return QStringLiteral("%1-%2").arg(board.productCode, board.serial.right(4));
}

} // namespace

void Halvero_configurator::saveConfigFile(bool page)
{
    if (boardHeld.family == BoardFamily::Unknown) {
        showStatus(tr("No configuration to save: connect to a board first."));
        return;
    }
    // What the board holds, or the page shows, now; the board may be gone by
    // the time a file is chosen. A page a board would refuse makes no file.
    const SavedConfig::Source source = page ? SavedConfig::Source::Page : SavedConfig::Source::Board;
    const BoardConfig config = page ? pageConfig() : boardHeld;
    const QString refusal = page ? saveRefusal(config) : QString();
    if (!refusal.isEmpty()) {
        showStatus(refusal);
        return;
    }
    const bool edited = isWindowModified();
    const QString path = chooseFile(this, "dialog_save_config",
                                    page ? tr("Save the page's configuration") : tr("Save the board's configuration"),
                                    SavedConfig::fileName(config, source),
                                    tr("Configuration files (*.json);;All files (*)"), QFileDialog::AcceptSave);
    if (path.isEmpty())
        return;
    const Result written = OutputFile::writeFileSafely(path, configToText(config));
    if (!written.ok())
        showStatus(tr("Could not save the configuration to %1: %2. Choose another file or folder.").arg(path, written.message));
    else
        showStatus(SavedConfig::savedSentence(path, source, edited));
}

void Halvero_configurator::loadConfigFile()
{
    if (BackgroundRead::busy(this)) {
        showStatus(tr("Still reading a configuration file: load another once it is done."));
        return;
    }
    const QString path = chooseFile(this, "dialog_load_config", tr("Load a configuration into the page"), QString(),
                                    tr("Configuration files (*.json);;All files (*)"), QFileDialog::AcceptOpen);
    if (path.isEmpty())
        return;
    // The file is read by halvero-cli config set's rules and checked as it
    // checks it, in its words.
    const auto load = [this, path](const ConfigFileRead::Bytes &read) {
        if (!read.ok()) {
            showStatus(tr("Not loaded: %1.").arg(read.message));
            return;
        }
        const ConfigLoad checked = loadConfigForWrite(read.data);
        if (!checked.ok())
            showStatus(tr("Not loaded: %1: %2.").arg(path, checked.message));
        else
            placeInPage(checked.config, path, true);
    };
    auto source = std::make_shared<ConfigFileRead::Source>(path);
    if (const Result opened = source->open(ConfigFileRead::Source::Wait::Bounded); !opened.ok()) {
        showStatus(tr("Not loaded: %1.").arg(opened.message));
        return;
    }
    if (source->isRegular()) {
        load(source->read());
        return;
    }
    // A pipe or a device: read aside, the window going on meanwhile.
    showStatus(tr("Reading %1…").arg(path));
    BackgroundRead::start(this, source, load);
}

bool Halvero_configurator::placeInPage(const BoardConfig &config, const QString &source, bool showDifferences)
{
    const auto pageShown = [this] {
        return radioDevice && radioDevice->isConnected() && boardHeld.family != BoardFamily::Unknown
               && ui->tab_all->count() > 0;
    };
    if (!pageShown()) {
        showStatus(tr("Not loaded: no board is connected. Connect to the board first."));
        return false;
    }
    if (config.family != boardHeld.family) {
        showStatus(tr("Not loaded: %1.").arg(wrongFamilyMessage(source, config.family, connectedPort, boardHeld.productCode)));
        return false;
    }
    const int askedOn = connectionGeneration;
    const QList<FieldDifference> differences = diffConfigs(boardHeld, config);
    if (!showDifferences) {
        if (!confirmDiscardEdits(tr("Put %1 in the page instead?").arg(source)))
            return false;
    } else if (differences.isEmpty() && !isWindowModified()) {
        showStatus(tr("%1 holds what the board holds: nothing to change.").arg(source));
        return true;
    } else if (!confirmDifferences(source, differences)) {
        return false;
    }
    if (askedOn != connectionGeneration || !pageShown()) {
        showStatus(tr("Not loaded: the board was disconnected meanwhile."));
        return false;
    }
    // Save CONF writes the gain last read from the board, so the page keeps it.
    BoardConfig placed = config;
    if (placed.values.contains(gainPath))
        placed.values[gainPath] = boardHeld.values.value(gainPath);
    showConfigInPage(placed);
    updateEditMarks();
    const int differing = int(diffConfigs(boardHeld, pageConfig()).size());
    if (differing == 0)
        showStatus(tr("%1 is in the page; it holds what the board holds.").arg(source));
    else
        showStatus(tr("%1 is in the page; fields that differ from the board: %2, marked. Save CONF writes them.")
                       .arg(source)
                       .arg(differing));
    return true;
}

bool Halvero_configurator::confirmDifferences(const QString &source, const QList<FieldDifference> &differences)
{
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("dialog_load_diff"));
    dialog.setWindowTitle(tr("Load a configuration"));
    auto *layout = new QVBoxLayout(&dialog);
    QString text = tr("%1 differs from the board in the fields below. Put its values in the page? They reach the "
                      "board only when you press Save CONF.")
                       .arg(QFileInfo(source).fileName());
    if (isWindowModified())
        text += QLatin1Char(' ') + tr("The page's unsaved edits are replaced.");
    auto *intro = new QLabel(text, &dialog);
    intro->setObjectName(QStringLiteral("label_load_diff"));
    intro->setWordWrap(true);
    intro->setToolTip(source);
    layout->addWidget(intro);

    auto *table = new QTableWidget(int(differences.size()), 3, &dialog);
    table->setObjectName(QStringLiteral("table_load_diff"));
    table->setHorizontalHeaderLabels({tr("Field"), tr("Board"), tr("File")});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setFocusPolicy(Qt::NoFocus);
    bool gainDiffers = false;
    for (int row = 0; row < differences.size(); ++row) {
        const FieldDifference &d = differences.at(row);
        gainDiffers = gainDiffers || d.field.path == gainPath;
        auto *field = new QTableWidgetItem(d.field.label());
        field->setToolTip(d.field.displayName());
        table->setItem(row, 0, field);
        table->setItem(row, 1, new QTableWidgetItem(valueText(d.field, d.board)));
        table->setItem(row, 2, new QTableWidgetItem(valueText(d.field, d.file)));
    }
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
    table->resizeRowsToContents();
    layout->addWidget(table);
    if (gainDiffers) {
        auto *gain = new QLabel(tr("The window shows the gain but does not write it: set it with "
                                   "halvero-cli config set."),
                                &dialog);
        gain->setWordWrap(true);
        layout->addWidget(gain);
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("Put in the page"));
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.resize(480, qMin(560, 160 + table->rowHeight(0) * int(differences.size())));
    return dialog.exec() == QDialog::Accepted;
}

void Halvero_configurator::saveDump()
{
    const QString text = ui->line_debug->toPlainText();
    if (text.isEmpty()) {
        showStatus(tr("No EEPROM dump to save: press EEPROM DUMP first."));
        return;
    }
    const QString path = chooseFile(this, "dialog_save_dump", tr("Save the EEPROM dump"),
                                    fileStem(boardHeld) + QStringLiteral("-eeprom.txt"),
                                    tr("Text files (*.txt);;All files (*)"), QFileDialog::AcceptSave);
    if (path.isEmpty())
        return;
    QByteArray data = text.toUtf8();
    if (!data.endsWith('\n'))
        data.append('\n');
    const Result written = OutputFile::writeFileSafely(path, data);
    if (!written.ok())
        showStatus(tr("Could not save the dump to %1: %2. Choose another file or folder.").arg(path, written.message));
    else
        showStatus(tr("Saved the EEPROM dump to %1.").arg(path));
}

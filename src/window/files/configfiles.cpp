// The configuration files, the differences dialog and the dump file.
#include "configfiles.h"
#include "windowlog.h"

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
#include "boardsession.h"
#include "configfileread.h"
#include "configpage.h"
#include "outputfile.h"
#include "recordtext.h"
#include "savedconfig.h"
#include "statustext.h"
#include "windowsettings.h"

namespace {

// "08A3-0021": product code and the serial's last digits, to tell files apart.
QString fileStem(const BoardConfig &board)
{
    return QStringLiteral("%1-%2").arg(board.productCode, board.serial.right(4));
}

} // namespace

ConfigFiles::ConfigFiles(QWidget *dialogParent, Host *host, const BoardSession *session, ConfigPage *page)
    : QObject(dialogParent)
    , m_parent(dialogParent)
    , m_host(host)
    , m_session(session)
    , m_page(page)
{}

void ConfigFiles::saveConfigFile(bool page)
{
    const BoardConfig &boardHeld = m_session->held();
    if (boardHeld.family == BoardFamily::Unknown) {
        emit status(tr("No configuration to save: connect to a board first."));
        return;
    }
    // What the board holds, or the page shows, now; the board may be gone by
    // the time a file is chosen. A page a board would refuse makes no file.
    const SavedConfig::Source source = page ? SavedConfig::Source::Page : SavedConfig::Source::Board;
    const BoardConfig config = page ? m_page->read(boardHeld) : boardHeld;
    const QString refusal = page ? ConfigPage::refusal(config, boardHeld) : QString();
    if (!refusal.isEmpty()) {
        emit status(refusal);
        return;
    }
    const bool edited = m_host->pageModified();
    const QString path = chooseFile(m_parent, "dialog_save_config",
                                    page ? tr("Save the page's configuration") : tr("Save the board's configuration"),
                                    SavedConfig::fileName(config, source),
                                    tr("Configuration files (*.json);;All files (*)"), QFileDialog::AcceptSave);
    if (path.isEmpty())
        return;
    const Result written = OutputFile::writeFileSafely(path, configToText(config));
    if (!written.ok())
        emit status(tr("Could not save the configuration to %1: %2. Choose another file or folder.")
                        .arg(path, written.message));
    else
        emit status(SavedConfig::savedSentence(path, source, edited));
}

void ConfigFiles::loadConfigFile()
{
    if (BackgroundRead::busy(this)) {
        emit status(tr("Still reading a configuration file: load another once it is done."));
        return;
    }
    const QString path = chooseFile(m_parent, "dialog_load_config", tr("Load a configuration into the page"), QString(),
                                    tr("Configuration files (*.json);;All files (*)"), QFileDialog::AcceptOpen);
    if (path.isEmpty())
        return;
    // The file is read by halvero-cli config set's rules and checked as it
    // checks it, in its words.
    const auto load = [this, path](const ConfigFileRead::Bytes &read) {
        if (!read.ok()) {
            emit status(tr("Not loaded: %1.").arg(read.message));
            return;
        }
        const ConfigLoad checked = loadConfigForWrite(read.data);
        if (!checked.ok())
            emit status(tr("Not loaded: %1: %2.").arg(path, checked.message));
        else
            placeInPage(checked.config, path, true);
    };
    auto source = std::make_shared<ConfigFileRead::Source>(path);
    if (const Result opened = source->open(); !opened.ok()) {
        emit status(tr("Not loaded: %1.").arg(opened.message));
        return;
    }
    if (source->isRegular()) {
        load(source->read());
        return;
    }
    // A pipe or a device: read aside, the window going on meanwhile.
    emit status(tr("Reading %1…").arg(path));
    BackgroundRead::start(this, source, load);
}

bool ConfigFiles::placeInPage(const BoardConfig &config, const QString &source, bool showDifferences)
{
    qCDebug(lcFiles).noquote() << "Values for the page from" << source;
    const BoardConfig &boardHeld = m_session->held();
    if (!m_host->pageShown()) {
        emit status(tr("Not loaded: no board is connected. Connect to the board first."));
        return false;
    }
    if (config.family != boardHeld.family) {
        emit status(tr("Not loaded: %1.")
                        .arg(wrongFamilyMessage(source, config.family, m_session->port(), boardHeld.productCode)));
        return false;
    }
    const int askedOn = m_session->generation();
    const QList<FieldDifference> differences = diffConfigs(boardHeld, config);
    if (!showDifferences) {
        if (!m_host->confirmDiscardEdits(tr("Put %1 in the page instead?").arg(source)))
            return false;
    } else if (differences.isEmpty() && !m_host->pageModified()) {
        emit status(tr("%1 holds what the board holds: nothing to change.").arg(source));
        return true;
    } else if (!confirmDifferences(source, differences)) {
        return false;
    }
    if (askedOn != m_session->generation() || !m_host->pageShown()) {
        emit status(tr("Not loaded: the board was disconnected meanwhile."));
        return false;
    }
    // Save CONF writes a display-only field (the gain) as last read from
    // the board, so the page keeps it.
    BoardConfig placed = config;
    for (const ConfigField &field : configFields(placed.family))
        if (field.displayOnly && placed.values.contains(field.path))
            placed.values[field.path] = boardHeld.values.value(field.path);
    m_page->show(placed);
    m_host->refreshEditMarks();
    const int differing = int(diffConfigs(boardHeld, m_page->read(boardHeld)).size());
    if (differing == 0)
        emit status(tr("%1 is in the page; it holds what the board holds.").arg(source));
    else
        emit status(tr("%1 is in the page; fields that differ from the board: %2, marked. Save CONF writes them.")
                        .arg(source)
                        .arg(differing));
    return true;
}

bool ConfigFiles::confirmDifferences(const QString &source, const QList<FieldDifference> &differences)
{
    const BoardFamily family = m_session->held().family;
    QDialog dialog(m_parent);
    dialog.setObjectName(QStringLiteral("dialog_load_diff"));
    dialog.setWindowTitle(tr("Load a configuration"));
    auto *layout = new QVBoxLayout(&dialog);
    QString text = tr("%1 differs from the board in the fields below. Put its values in the page? They reach the "
                      "board only when you press Save CONF.")
                       .arg(QFileInfo(source).fileName());
    if (m_host->pageModified())
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
    bool displayOnlyDiffers = false;
    for (int row = 0; row < differences.size(); ++row) {
        const FieldDifference &d = differences.at(row);
        displayOnlyDiffers = displayOnlyDiffers || d.field.displayOnly;
        auto *field = new QTableWidgetItem(d.field.label());
        field->setToolTip(d.field.displayName());
        table->setItem(row, 0, field);
        table->setItem(row, 1, new QTableWidgetItem(m_page->valueText(family, d.field, d.board)));
        table->setItem(row, 2, new QTableWidgetItem(m_page->valueText(family, d.field, d.file)));
    }
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
    table->resizeRowsToContents();
    layout->addWidget(table);
    if (displayOnlyDiffers) {
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

void ConfigFiles::saveDump(const QString &text)
{
    if (text.isEmpty()) {
        emit status(tr("No EEPROM dump to save: press EEPROM DUMP first."));
        return;
    }
    const QString path = chooseFile(m_parent, "dialog_save_dump", tr("Save the EEPROM dump"),
                                    fileStem(m_session->held()) + QStringLiteral("-eeprom.txt"),
                                    tr("Text files (*.txt);;All files (*)"), QFileDialog::AcceptSave);
    if (path.isEmpty())
        return;
    QByteArray data = text.toUtf8();
    if (!data.endsWith('\n'))
        data.append('\n');
    const Result written = OutputFile::writeFileSafely(path, data);
    if (!written.ok())
        emit status(tr("Could not save the dump to %1: %2. Choose another file or folder.").arg(path, written.message));
    else
        emit status(tr("Saved the EEPROM dump to %1.").arg(path));
}

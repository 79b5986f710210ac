// The board's page as the window runs it: what the board answers shown in
// the form, the page buttons (which only queue commands for the poll tick),
// a write's outcome, and the questions asked before the operator's edits
// or a write are given up.
#include "Halvero_configurator.h"

#include <QDateTime>
#include <QMessageBox>

#include "configpage.h"
#include "displayformat.h"
#include "editmarks.h"
#include "familyform.h"
#include "historydialog.h"
#include "livestatus.h"
#include "noticepanel.h"
#include "recordtext.h"
#include "statustext.h"
#include "ui_Halvero_configurator.h"
#include "writeoutcome.h"

void Halvero_configurator::onScanTimeout()
{
    session->tick();
}

void Halvero_configurator::parseResponse(uint8_t response)
{
    using namespace DisplayFormat;
    const parachuteRadioComm *dev = radioDevice;
    if (!dev || recordFamily(*dev) == BoardFamily::Unknown)
        return;

    switch (response) {
    case USBmsgIdentity:
        ui->line_product->setText(productCode(dev->productCodeHigh, dev->productCodeLow));
        ui->line_fw_ver->setText(firmwareVersion(dev->fwVersionMajor, dev->fwVersionMinor));
        ui->line_REVID->setText(hex4(dev->chipRevId));
        ui->line_DEVID->setText(hex4(dev->chipDevId));
        ui->line_UUID->setText(serialNumber(dev->uniqueId));
        break;

    case USBmsgConfig:
        // The session holds it already.
        page->show(session->held());
        boardConfigShown();
        break;

    case USBmsgEepromDump:
        // The reply header's control bytes are not part of the text.
        dumpRecord.setDump(dumpBody(*dev), session->held(), QDateTime::currentDateTime());
        ui->line_debug->setPlainText(dumpRecord.text());
        break;

    case USBmsgStatus:
        page->showStatus(*dev);
        live->statusReply(*dev, session->held());
        break;

    default:
        break;
    }
}

void Halvero_configurator::boardConfigShown()
{
    // The page is the board's again: no unsaved edits; an open history
    // window lists what a write has just recorded.
    updateEditMarks();
    if (historyDialog && historyDialog->isVisible())
        historyDialog->reload();
}

void Halvero_configurator::silenceChanged(bool silent)
{
    page->setLiveGreyed(silent);
    // What was said before the silence is still true once the board answers.
    if (silent)
        messageBeforeSilence = ui->statusbar->currentMessage();
    else
        showStatus(messageBeforeSilence);
}

void Halvero_configurator::writeStepped(const WriteTransaction &write, bool done)
{
    if (!done) {
        if (write.sent() && write.unansweredReadBacks() > 0)
            showStatus(StatusText::writePending(write, session->lastReplyAt()));
        return;
    }
    if (write.sent() && !dumpRecord.isEmpty()) {
        dumpRecord.noteWrite(session->held().serial, QDateTime::currentDateTime());
        ui->line_debug->setPlainText(dumpRecord.text());
    }
    if (write.outcome() == WriteTransaction::Outcome::ConnectionLost)
        return; // told with the lost connection
    if (write.afterKnown()) {
        page->show(WriteOutcome::pageAfter(write));
        boardConfigShown();
    }
    QString text = StatusText::writeOutcome(write, session->port());
    if (!write.changedUnderEdits().isEmpty())
        text += QLatin1Char(' ') + StatusText::editedOverChanges(write.changedUnderEdits());
    if (write.afterKnown() && !write.historyError().isEmpty())
        text += QLatin1Char(' ') + StatusText::resultNotRecorded(write.historyError());
    if (WriteOutcome::needsNotice(write)) {
        showNotice(text);
    } else {
        noticePanel->dismiss();
        showStatus(text);
    }
}

// Commands are taken only while a board is connected: anything clicked for
// a board that has gone would otherwise wait for whichever board comes next.
bool Halvero_configurator::canQueue()
{
    if (session->connected())
        return true;
    showStatus(StatusText::notSent());
    return false;
}

void Halvero_configurator::on_btn_08A3_ReadConf_clicked()
{
    readConf();
}

void Halvero_configurator::readConf()
{
    if (!canQueue())
        return;
    // The board's answer replaces the page: unsaved edits go only when the
    // operator says so, and only for the connection asked on.
    const int askedOn = session->generation();
    if (confirmDiscardEdits(tr("Read the board's configuration and discard them?"), true)
        && askedOn == session->generation() && canQueue())
        session->queueRead(USBmsgConfig, USBoptNone);
}

void Halvero_configurator::on_btn_04F2_ReadConf_clicked()
{
    readConf();
}

void Halvero_configurator::on_btn_08A3_SaveConf_clicked()
{
    saveConf();
}

void Halvero_configurator::on_btn_04F2_SaveConf_clicked()
{
    saveConf();
}

// Every page saves alike: the operator's edits as they stand when the
// button is clicked are what the board receives, over whatever it holds
// when the write is sent; the fields the operator did not touch keep the
// board's values of that moment (a Set defaults queued ahead is not undone).
void Halvero_configurator::saveConf()
{
    // The page is reachable only while polling, but a stray click without a
    // board must not wait in the queue for whichever board comes next.
    if (!canQueue())
        return;
    const BoardConfig held = session->held();
    const BoardConfig edited = page->read(held);
    const QString refusal = ConfigPage::refusal(edited, held);
    if (!refusal.isEmpty()) {
        showNotice(refusal);
        return;
    }
    // A pair the board already holds crossed is written back as it is;
    // crossing it is the operator's call, asked once (No the default).
    if (const std::optional<CrossedPair> crossed = crossedPair(edited, &held)) {
        const int askedOn = session->generation();
        QMessageBox box(QMessageBox::Question, tr("Save CONF"),
                        StatusText::crossedPair(*crossed) + QLatin1Char(' ') + tr("Save anyway?"),
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setObjectName(QStringLiteral("dialog_crossed_pair"));
        box.setDefaultButton(QMessageBox::No);
        if (box.exec() != QMessageBox::Yes || askedOn != session->generation() || !canQueue())
            return;
    }
    // A double click adds nothing while the first write still waits.
    if (!session->saveQueued(edited.values))
        session->queueWrite(WriteTransaction::Operation::Save, edited);
}

void Halvero_configurator::on_btn_08A3_SetDefaults_clicked()
{
    setDefaults();
}

void Halvero_configurator::setDefaults()
{
    if (!canQueue())
        return;
    // Modal, so the poll timer keeps ticking while the operator decides. The
    // answer holds only for the connection it was asked on: a board lost or
    // replaced meanwhile is not reset.
    const int askedOn = session->generation();
    QMessageBox question;
    question.setText(tr("Are you sure you want to set defaults?"));
    question.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    question.setDefaultButton(QMessageBox::No);
    if (question.exec() != QMessageBox::Yes)
        return;
    if (askedOn != session->generation() || !canQueue())
        return;
    session->queueWrite(WriteTransaction::Operation::Defaults, BoardConfig());
}

void Halvero_configurator::on_btn_04F2_SetDefaults_clicked()
{
    setDefaults();
}

void Halvero_configurator::on_btnEEPROM_DUMP_clicked()
{
    if (canQueue())
        session->queueRead(USBmsgEepromDump, USBoptDump);
}

// The form's first two families reach their buttons' slots by name; a
// family's page added since reaches the same commands through its table.
void Halvero_configurator::connectFamilyButtons()
{
    for (BoardFamily family : Protocol::knownFamilies()) {
        for (auto command : {FamilyForm::Command::Read, FamilyForm::Command::Save, FamilyForm::Command::Defaults}) {
            const QString name = FamilyForm::buttonName(family, command);
            auto *button = findChild<QPushButton *>(name);
            const QByteArray slot = "on_" + name.toLatin1() + "_clicked()";
            if (!button || metaObject()->indexOfSlot(slot.constData()) >= 0)
                continue;
            connect(button, &QPushButton::clicked, this, [this, command] {
                if (command == FamilyForm::Command::Read)
                    readConf();
                else if (command == FamilyForm::Command::Save)
                    saveConf();
                else
                    setDefaults();
            });
        }
    }
}

// The Board menu clicks the shown family's own button, questions and all.
void Halvero_configurator::boardCommand(int command)
{
    const QString name = FamilyForm::buttonName(session->held().family, FamilyForm::Command(command));
    if (auto *button = findChild<QPushButton *>(name); button && !name.isEmpty())
        button->click();
}

void Halvero_configurator::showHistory()
{
    if (!historyDialog) {
        historyDialog = new HistoryDialog(this);
        connect(historyDialog, &HistoryDialog::placeRequested, this,
                [this](const BoardConfig &config, const QString &source) { files->placeInPage(config, source, false); });
    }
    historyDialog->setBoard(session->held(), pageShown());
    historyDialog->reload();
    historyDialog->show();
    historyDialog->raise();
    historyDialog->activateWindow();
}

bool Halvero_configurator::pageShown() const
{
    return session->connected() && session->held().family != BoardFamily::Unknown && ui->tab_all->count() > 0;
}

bool Halvero_configurator::pageModified() const
{
    return isWindowModified();
}

PageDifferences Halvero_configurator::pageDifferences() const
{
    if (!pageShown())
        return {};
    const BoardConfig &held = session->held();
    return {held.family, diffConfigs(held, page->read(held))};
}

void Halvero_configurator::updateEditMarks()
{
    marks->update();
}

void Halvero_configurator::refreshEditMarks()
{
    updateEditMarks();
}

bool Halvero_configurator::confirmDiscardEdits(const QString &question)
{
    return confirmDiscardEdits(question, true);
}

bool Halvero_configurator::confirmDiscardEdits(const QString &question, bool queueGoesOn)
{
    updateEditMarks();
    if (!isWindowModified())
        return true;
    const PageDifferences differences = pageDifferences();
    // Edits a Save CONF queued ahead carries still reach the board while it
    // stays connected (a Read CONF goes after it).
    if (queueGoesOn && ui->tab_all->count() > 0 && session->editsOnTheirWay(EditMarks::edits(differences.fields)))
        return true;
    QString what;
    if (editsAtLoss.family != BoardFamily::Unknown && ui->tab_all->count() == 0) {
        what = tr("The edits made before the connection was lost are not saved to the board.");
    } else {
        QStringList fields;
        for (const FieldDifference &d : differences.fields)
            fields << d.field.label();
        what = tr("The page holds edits not saved to the board: %1.").arg(fields.join(QStringLiteral(", ")));
    }
    QMessageBox box(QMessageBox::Question, tr("Unsaved edits"), what + QLatin1Char(' ') + question,
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("dialog_unsaved_edits"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

bool Halvero_configurator::confirmLeave(const QString &anyway, const QString &discardEdits)
{
    if (const WriteTransaction *write = session->pendingWrite()) {
        // Asked by value: the write may end while the question is open.
        const QMap<QString, int> edits = write->edits();
        const bool save = write->operation() != WriteTransaction::Operation::Defaults;
        QMessageBox box(QMessageBox::Question, tr("Write not finished"),
                        StatusText::writeUnfinished(*write) + QLatin1Char(' ') + anyway,
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setObjectName(QStringLiteral("dialog_unfinished_write"));
        box.setDefaultButton(QMessageBox::No);
        if (box.exec() != QMessageBox::Yes)
            return false;
        // The edits the operator has just given up with their write are not
        // asked about a second time.
        if (save && ui->tab_all->count() > 0 && EditMarks::edits(pageDifferences().fields) == edits)
            return true;
    }
    return confirmDiscardEdits(discardEdits, false);
}

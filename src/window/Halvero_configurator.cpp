// The main window: builds the parts around the form and wires them, and
// runs the board as the operator sees it — Connect, Disconnect, a lost
// board and its reconnection, the port list, the title and which actions
// can be taken; what the board answers, the page's buttons (which only
// queue commands for the poll tick), a write's outcome, and the questions
// asked before the operator's edits or a write are given up.
#include "Halvero_configurator.h"
#include "windowlog.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QFontDatabase>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>
#include <future>

#include "confighistory.h"
#include "configpage.h"
#include "connectionrow.h"
#include "displayformat.h"
#include "editmarks.h"
#include "familyform.h"
#include "fieldhelp.h"
#include "historydialog.h"
#include "keyboardorder.h"
#include "livestatus.h"
#include "messagelog.h"
#include "noticepanel.h"
#include "portlist.h"
#include "question.h"
#include "reconnection.h"
#include "recordcalls.h"
#include "recordforwarder.h"
#include "recordtext.h"
#include "recorduri.h"
#include "screenfit.h"
#include "statustext.h"
#include "ui_Halvero_configurator.h"
#include "wheelguard.h"
#include "windowmenus.h"
#include "windowsettings.h"
#include "writeoutcome.h"

// The reconnect attempts take one line of the message log between them.
static const QString reconnectKind = QStringLiteral("reconnect");

Halvero_configurator::Halvero_configurator(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui_Halvero_configurator)
{
    // The system's port enumeration takes a few milliseconds: it runs while
    // the form is built.
    auto ports = std::async(std::launch::async, &QSerialPortInfo::availablePorts);
    ui->setupUi(this);
    // The form's width stays; the window grows by the menu bar's height.
    const QSize formSize = size();

    // Pages come back only for a board that needs them (see Connect).
    while (ui->tab_all->count() > 0) {
        QWidget *tab = ui->tab_all->widget(0);
        tabPages.insert(tab->objectName(), tab);
        tabTitles.insert(tab->objectName(), ui->tab_all->tabText(0));
        ui->tab_all->removeTab(0);
    }

    row = new ConnectionRow(ui->line_connect, ui->btnSerialConnect, ui->btnSerialDisconnect, ui->group_system);
    wireParts();
    showPorts(ports.get());
    updateCockpitState();
    fitToScreen();
    resize(formSize.width(), formSize.height() + menuBar()->sizeHint().height());

    if (const QString problem = windowSettingsProblem(); !problem.isEmpty()) {
        qCWarning(lcWindow).noquote() << problem;
        showStatus(problem);
    }
    reconnection->chooseRemembered(ui->serialList, ui->serialBauds);
    menus->setAutomaticReconnect(reconnection->automatic());
    ui->serialList->setFocus(Qt::OtherFocusReason);

    // The factory's record: the settings file's "record", else HALVERO_RECORD.
    record = new RecordForwarder(windowSettings()->value(QStringLiteral("record")).toString(), this);
    connect(record, &RecordForwarder::said, this, &Halvero_configurator::showStatus);
    showStationAndRecord();
}

// The bench's name and the record's state stay at the status bar's right.
void Halvero_configurator::showStationAndRecord()
{
    auto *station = new QLabel(tr("Station %1").arg(ConfigHistory::stationName()), ui->statusbar);
    station->setObjectName(QStringLiteral("label_status_station"));
    station->setToolTip(tr("The bench's name in the history and the record: $HALVERO_STATION, else the host's name."));
    ui->statusbar->addPermanentWidget(station);
    const QString masked = record->uri().isEmpty() ? QString() : Record::maskedUri(record->uri());
    menus->setRecordShown(masked);
    if (masked.isEmpty())
        return;
    auto *state = new QLabel(ui->statusbar);
    state->setObjectName(QStringLiteral("label_status_record"));
    ui->statusbar->addPermanentWidget(state);
    const auto show = [state, masked](const RecordForwarder::State &now) {
        state->setText(RecordForwarder::stateText(now));
        QString tip = tr("The factory's record %1").arg(masked);
        if (!now.why.isEmpty())
            tip += QLatin1Char('\n') + StatusText::asSentence(now.why);
        state->setToolTip(tip);
    };
    RecordForwarder::State known;
    known.waiting = RecordCalls::waitingCount(ConfigHistory::defaultPath());
    show(known);
    connect(record, &RecordForwarder::stateChanged, state, show);
}

Halvero_configurator::~Halvero_configurator()
{
    delete record; // a push under way is left to end by itself
    record = nullptr;
    delete session; // closes the port
    session = nullptr;
    delete row;
    delete ui;
}

void Halvero_configurator::wireParts()
{
    session = new BoardSession(this);
    BoardSession::connectPollTicks(this, &Halvero_configurator::onScanTimeout);
    connect(session, &BoardSession::replied, this, &Halvero_configurator::parseResponse);
    connect(session, &BoardSession::writeStepped, this, &Halvero_configurator::writeStepped);
    const auto say = [this](const SessionEvent &event) { showStatus(StatusText::said(event)); };
    connect(session, &BoardSession::readEnded, this, say);
    connect(session, &BoardSession::silenceChanged, this, &Halvero_configurator::silenceChanged);
    connect(session, &BoardSession::silent, this, say);
    connect(session, &BoardSession::lost, this, &Halvero_configurator::connectionLost);

    page = new ConfigPage(tabPages.values(), this);
    marks = new EditMarks(
        page, [this] { return pageDifferences(); }, this);
    connect(marks, &EditMarks::updated, this, [this](bool modified) { setWindowModified(modified); });

    reconnection = new Reconnection(this);
    connect(reconnection, &Reconnection::attemptDue, this, &Halvero_configurator::tryReconnect);
    connect(reconnection, &Reconnection::waiting, this, [this](const QString &sentence) {
        // A write lost with the connection stays in view while waiting.
        showRepeatedStatus(sentence + lostWriteNote(), reconnectKind);
    });
    connect(reconnection, &Reconnection::stopped, this, [this](const QString &sentence) {
        row->show(ConnectionRow::State::Lost);
        showStatus(sentence);
    });
    connect(reconnection, &Reconnection::portsChanged, this, &Halvero_configurator::rescanPorts);

    files = new ConfigFiles(this, this, session, page);
    connect(files, &ConfigFiles::status, this, &Halvero_configurator::showStatus);

    live = new LiveStatus(this, session);
    connect(live, &LiveStatus::status, this, &Halvero_configurator::showStatus);
    connect(live, &LiveStatus::recordingChanged, this, [this](bool on) {
        menus->setRecording(on);
        updateCockpitState();
    });

    menus = new WindowMenus(this, live->plotAction());
    connect(menus, &WindowMenus::saveFileRequested, files, &ConfigFiles::saveConfigFile);
    connect(menus, &WindowMenus::loadFileRequested, files, &ConfigFiles::loadConfigFile);
    connect(menus, &WindowMenus::saveDumpRequested, this, [this] { files->saveDump(ui->line_debug->toPlainText()); });
    connect(menus, &WindowMenus::recordingToggled, this, [this](bool on) { live->setRecording(on); });
    connect(menus, &WindowMenus::boardCommand, this,
            [this](FamilyForm::Command command) { boardCommand(int(command)); });
    connect(menus, &WindowMenus::eepromDumpRequested, ui->btnEEPROM_DUMP, &QPushButton::click);
    connect(menus, &WindowMenus::historyRequested, this, &Halvero_configurator::showHistory);
    connect(menus, &WindowMenus::automaticReconnectToggled, reconnection, &Reconnection::setAutomatic);
    connect(ui->statusbar, &QStatusBar::messageChanged, this, [this](const QString &text) {
        if (!text.isEmpty() && !logQuiet)
            menus->messageLog()->add(text);
    });

    // A dump is read column by column.
    ui->line_debug->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    ui->line_debug->setLineWrapMode(QPlainTextEdit::NoWrap);
    connect(ui->line_debug, &QPlainTextEdit::textChanged, this,
            [this] { menus->setDumpShown(!ui->line_debug->document()->isEmpty()); });
    PortList::describeInPopup(ui->serialList);
    PortList::elideInMiddle(ui->serialList);
    FamilyForm::connectButtonsWithoutSlots(this, [this](FamilyForm::Command command) {
        if (command == FamilyForm::Command::Read)
            readConf();
        else if (command == FamilyForm::Command::Save)
            saveConf();
        else
            setDefaults();
    });
}

// On a screen smaller than the form the form scrolls, below the notice
// panel; the wheel scrolls it past the editors, Tab goes as it reads.
void Halvero_configurator::fitToScreen()
{
    noticePanel = new NoticePanel;
    ScreenFit::scrollForm(this, noticePanel);
    WheelGuard::guardEditorsIn(ui->centralwidget);
    KeyboardOrder::chain(KeyboardOrder::readingOrder(ui->centralwidget));
    FieldHelp::nameByCaptions(ui->centralwidget);
    ScreenFit::keepOnScreen(this);
}

void Halvero_configurator::scanSerialPorts()
{
    showPorts(QSerialPortInfo::availablePorts());
}

void Halvero_configurator::showPorts(const QList<QSerialPortInfo> &ports)
{
    PortList::fill(ui->serialList, ports);
    QStringList shown;
    for (int i = 0; i < ui->serialList->count(); ++i)
        shown << ui->serialList->itemText(i);
    reconnection->setShownPorts(shown);
}

void Halvero_configurator::rescanPorts()
{
    // Rebuilding the list under an open popup would close it in the
    // operator's face: the next look tries again.
    if (session->connected() || ui->serialList->view()->isVisible())
        return;
    const QString chosen = ui->serialList->currentText();
    scanSerialPorts();
    PortList::choose(ui->serialList, chosen);
}

void Halvero_configurator::restorePage(const QString &name)
{
    QWidget *tab = tabPages.value(name, nullptr);
    if (!tab)
        return;
    const int index = ui->tab_all->addTab(tab, name);
    ui->tab_all->setTabText(index, tabTitles.value(name));
}

void Halvero_configurator::hideAllPages()
{
    ui->tab_all->clear();
    setPagesGreyed(false);
    lostPageKept = false;
}

void Halvero_configurator::setPagesGreyed(bool greyed)
{
    // The pages, not the tab bar: the operator can still look at every page
    // of the board that went.
    for (QWidget *tab : std::as_const(tabPages))
        tab->setEnabled(!greyed);
}

void Halvero_configurator::showStatus(const QString &text)
{
    lastStatus = text;
    ui->statusbar->showMessage(text);
}

void Halvero_configurator::showNotice(const QString &text)
{
    noticePanel->showNotice(text);
    const bool quiet = logQuiet;
    logQuiet = false;
    showStatus(text);
    logQuiet = quiet;
}

void Halvero_configurator::showRepeatedStatus(const QString &text, const QString &kind)
{
    logQuiet = true;
    showStatus(text);
    logQuiet = false;
    menus->messageLog()->add(text, kind);
}

void Halvero_configurator::updateCockpitState()
{
    const bool connected = session->identified();
    const bool shown = connected && pageShown();
    menus->setBoardState(connected, shown);
    if (shown)
        setWindowTitle(tr("Halvero software — %1 on %2[*]").arg(productCodeText(*session->device()), session->port()));
    else
        setWindowTitle(tr("Halvero software[*]"));
    // While nothing is connected the port list follows the ports that come and go.
    reconnection->watchPorts(!connected);
    if (historyDialog)
        historyDialog->setBoard(session->held(), shown);
    marks->update();
}

void Halvero_configurator::on_btnRefreshSerialPorts_clicked()
{
    scanSerialPorts();
    ui->serialList->setFocus(Qt::OtherFocusReason);
}

void Halvero_configurator::on_btnSerialConnect_clicked()
{
    reconnection->stop();
    // The operator's own Connect: the lost board's page goes unless a board
    // answers.
    lostPageKept = false;
    openBoard(ui->serialList->currentText(), ui->serialBauds->currentText().toInt(nullptr, 10));
}

bool Halvero_configurator::openBoard(const QString &portName, int32_t baudRate, QString *whatHappened)
{
    // Identification blocks the window for up to a second: say what it waits for.
    showStatus(tr("Connecting to %1 at %2 baud…").arg(portName).arg(baudRate));
    row->show(ConnectionRow::State::Connecting);
    ui->statusbar->repaint();
    using Kind = SessionEvent::Kind;
    const SessionEvent opened = session->open(portName, baudRate);
    const QString said = StatusText::said(opened);
    if (whatHappened)
        *whatHappened = said;
    if (opened.kind != Kind::Connected) {
        // The operator leaves a port that opened with Disconnect.
        row->show(opened.kind == Kind::NoPortNamed || opened.kind == Kind::PortNotOpened
                      ? ConnectionRow::State::NotConnected
                  : opened.kind == Kind::NotIdentified ? ConnectionRow::State::NotIdentified
                                                       : ConnectionRow::State::Connected);
        if (!said.isEmpty())
            showStatus(said);
        // While the window tries to reconnect, the lost board's page stays.
        if (!lostPageKept)
            hideAllPages();
        updateCockpitState();
        return false;
    }

    row->show(ConnectionRow::State::Connected);
    page->setLiveGreyed(false);
    const QString onPage = ui->tab_all->currentWidget() ? ui->tab_all->currentWidget()->objectName() : QString();
    hideAllPages();
    restorePage(FamilyForm::pageName(session->held().family));
    restorePage(FamilyForm::internalPageName());
    // Back after a lost connection: the page the operator was looking at.
    if (QWidget *was = tabPages.value(onPage, nullptr); was && ui->tab_all->indexOf(was) >= 0)
        ui->tab_all->setCurrentWidget(was);
    if (lostNoticeShown) {
        noticePanel->dismiss();
        lostNoticeShown = false;
    }
    showStatus(said);
    reconnection->remember(portName, baudRate);
    QStringList notes{said};
    if (restoreKeptEdits())
        notes << tr("The edits made before the connection was lost are back in the page.");
    notes << lostWriteSettled();
    notes.removeAll(QString());
    if (notes.size() > 1)
        showStatus(notes.join(QLatin1Char(' ')));
    updateCockpitState();
    KeyboardOrder::focusFirstIn(ui->tab_all->currentWidget());
    return true;
}

bool Halvero_configurator::restoreKeptEdits()
{
    const BoardConfig kept = marks->takeKept();
    if (kept.family == BoardFamily::Unknown)
        return false;
    const BoardConfig &held = session->held();
    if (kept.family != held.family
        || ConfigHistory::normalSerial(kept.serial) != ConfigHistory::normalSerial(held.serial)) {
        showNotice(StatusText::keptEditsForAnotherBoard(kept));
        return false;
    }
    page->show(kept);
    return true;
}

QString Halvero_configurator::lostWriteNote() const
{
    const LostWrite &lost = session->lostWrite();
    return lost.pending() ? QLatin1Char(' ') + StatusText::lostWritePending(lost.operation()) : QString();
}

QString Halvero_configurator::lostWriteSettled() const
{
    const std::optional<LostWrite::Settled> &settled = session->lostWrite().settled();
    return settled ? StatusText::lostWriteSettled(*settled) : QString();
}

void Halvero_configurator::on_btnSerialDisconnect_clicked()
{
    if (!confirmLeave(tr("Disconnect anyway?"), tr("Disconnect and discard them?")))
        return;
    marks->takeKept();
    reconnection->stop();
    if (lostNoticeShown) {
        noticePanel->dismiss();
        lostNoticeShown = false;
    }
    const QString dropped = closeConnection(ConnectionRow::State::NotConnected, false);
    if (dropped.isEmpty())
        ui->statusbar->clearMessage();
    else
        showStatus(dropped);
    live->setRecording(false); // says how many rows it kept
}

QString Halvero_configurator::closeConnection(ConnectionRow::State state, bool keepPage)
{
    const QString dropped = StatusText::said(session->close());
    row->show(state);
    if (keepPage && ui->tab_all->count() > 0) {
        // The last values and the operator's edits stay in view, greyed,
        // until the board is back or the operator lets it go.
        lostPageKept = true;
        setPagesGreyed(true);
        page->setLiveGreyed(true);
    } else {
        page->setLiveGreyed(false);
        hideAllPages();
    }
    updateCockpitState();
    return dropped;
}

// The link closes the port when the device has gone (a pulled cable); the
// window then lets go of the board entirely, so that Connect works again
// once it is back.
void Halvero_configurator::connectionLost(const SessionEvent &event)
{
    qCDebug(lcSession) << "Connection lost";
    const BoardConfig &held = session->held();
    if (held.family != BoardFamily::Unknown && !diffConfigs(held, page->read(held)).isEmpty())
        marks->keep(page->read(held));
    const QString port = session->port();
    const int baud = session->baud();
    const QString dropped = closeConnection(ConnectionRow::State::Lost, true);
    const QTime lostAt = QTime::currentTime();
    const bool retrying = reconnection->start(port, baud, lostAt);
    if (retrying)
        row->show(ConnectionRow::State::Reconnecting);
    // A write cut short says last whether it may have gone out. The whole
    // sentence stays above the kept page while the attempts take the bar.
    QStringList said{retrying ? StatusText::connectionLostRetrying(lostAt) : StatusText::connectionLost(lostAt),
                     dropped, StatusText::said(event)};
    said.removeAll(QString());
    showNotice(said.join(QLatin1Char(' ')));
    lostNoticeShown = true;
    // The page shows the board's configuration once it is back, not the
    // edits that Set defaults was to replace.
    if (event.write == WriteTransaction::Operation::Defaults)
        marks->takeKept();
}

void Halvero_configurator::tryReconnect(const QString &port, int baud, const QString &trying)
{
    const QString unknown = lostWriteNote();
    logQuiet = true;
    QString found;
    const bool back = openBoard(port, baud, &found);
    logQuiet = false;
    if (back) {
        reconnection->stop();
        QStringList notes{tr("Reconnected to the %1 board on %2.").arg(session->held().productCode, port)};
        if (isWindowModified())
            notes << tr("The edits made before the connection was lost are back in the page.");
        if (const QString settled = lostWriteSettled(); !settled.isEmpty())
            notes << settled;
        showStatus(notes.join(QLatin1Char(' ')));
        return;
    }
    // The board is not answering yet (still starting, say): back to waiting,
    // with what this attempt found.
    closeConnection(ConnectionRow::State::Reconnecting, true);
    showRepeatedStatus(tr("%1: %2").arg(trying, found) + unknown, reconnectKind);
}

void Halvero_configurator::closeEvent(QCloseEvent *event)
{
    if (!confirmLeave(tr("Close anyway?"), tr("Close the configurator and discard them?"))) {
        event->ignore();
        return;
    }
    reconnection->stop();
    QMainWindow::closeEvent(event);
}

void Halvero_configurator::onScanTimeout()
{
    session->tick();
}

void Halvero_configurator::parseResponse(uint8_t response)
{
    using namespace DisplayFormat;
    const parachuteRadioComm *dev = session->device();
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
    marks->update();
    if (historyDialog && historyDialog->isVisible())
        historyDialog->reload();
}

void Halvero_configurator::silenceChanged(bool silent)
{
    page->setLiveGreyed(silent);
    // What was said before the silence is still true once the board answers.
    if (silent)
        messageBeforeSilence = lastStatus;
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
    const QString text = StatusText::writeEnded(write, session->port());
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
        if (!askBeforeGivingUp(this, "dialog_crossed_pair", tr("Save CONF"),
                               StatusText::crossedPair(*crossed) + QLatin1Char(' ') + tr("Save anyway?"))
            || askedOn != session->generation() || !canQueue())
            return;
    }
    // A double click adds nothing while the first write still waits.
    if (!session->saveQueued(edited.values))
        session->queueWrite(WriteTransaction::Operation::Save, edited);
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

// Every family's page runs the same commands.
void Halvero_configurator::on_btn_08A3_ReadConf_clicked()
{
    readConf();
}
void Halvero_configurator::on_btn_08A3_SaveConf_clicked()
{
    saveConf();
}
void Halvero_configurator::on_btn_08A3_SetDefaults_clicked()
{
    setDefaults();
}
void Halvero_configurator::on_btn_04F2_ReadConf_clicked()
{
    readConf();
}
void Halvero_configurator::on_btn_04F2_SaveConf_clicked()
{
    saveConf();
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

// The Board menu clicks the shown family's own button, questions and all.
void Halvero_configurator::boardCommand(int command)
{
    if (QPushButton *button = FamilyForm::button(this, session->held().family, FamilyForm::Command(command)))
        button->click();
}

void Halvero_configurator::showHistory()
{
    if (!historyDialog) {
        historyDialog = new HistoryDialog(this);
        historyDialog->setRecord(record ? record->uri() : QString());
        connect(
            historyDialog, &HistoryDialog::placeRequested, this,
            [this](const BoardConfig &config, const QString &source) { files->placeInPage(config, source, false); });
    }
    historyDialog->showFor(session->held(), pageShown());
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
    // A page kept greyed over a lost connection keeps its marks too.
    if (session->held().family == BoardFamily::Unknown || ui->tab_all->count() == 0)
        return {};
    const BoardConfig &held = session->held();
    return {held.family, diffConfigs(held, page->read(held))};
}

void Halvero_configurator::refreshEditMarks()
{
    marks->update();
}

bool Halvero_configurator::confirmDiscardEdits(const QString &question)
{
    return confirmDiscardEdits(question, true);
}

bool Halvero_configurator::confirmDiscardEdits(const QString &question, bool queueGoesOn)
{
    marks->update();
    if (!isWindowModified())
        return true;
    // Edits a Save CONF queued ahead carries still reach the board while it
    // stays connected (a Read CONF goes after it).
    const bool shown = ui->tab_all->count() > 0;
    if (queueGoesOn && shown && session->editsOnTheirWay(EditMarks::edits(pageDifferences().fields)))
        return true;
    return marks->confirmDiscard(this, question, shown);
}

bool Halvero_configurator::confirmLeave(const QString &anyway, const QString &discardEdits)
{
    if (const WriteTransaction *write = session->pendingWrite()) {
        // Asked by value: the write may end while the question is open.
        const QMap<QString, int> edits = write->edits();
        const bool save = write->operation() != WriteTransaction::Operation::Defaults;
        if (!askBeforeGivingUp(this, "dialog_unfinished_write", tr("Write not finished"),
                               StatusText::writeUnfinished(*write) + QLatin1Char(' ') + anyway))
            return false;
        // The edits the operator has just given up with their write are not
        // asked about a second time.
        if (save && ui->tab_all->count() > 0 && EditMarks::edits(pageDifferences().fields) == edits)
            return true;
    }
    return confirmDiscardEdits(discardEdits, false);
}

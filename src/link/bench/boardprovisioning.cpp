// The work on one port of a bench: open, identify, and for provisioning the
// write transaction, for a check the read and the comparison, each ending in
// one outcome word and a sentence.
#include "boardprovisioning.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QLoggingCategory>
#include <QSerialPort>

#include "boardconnection.h"
#include "exchangetext.h"
#include "historywords.h"
#include "parachuteradiocomm.h"
#include "portdiagnosis.h"
#include "recordtext.h"
#include "writetransaction.h"

namespace Provisioning {

QString outcomeWord(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Held:
        return QStringLiteral("held");
    case Outcome::OtherValues:
        return QStringLiteral("other-values");
    case Outcome::NoAnswer:
        return QStringLiteral("no-answer");
    case Outcome::SkippedFamily:
        return QStringLiteral("skipped-family");
    case Outcome::NoBoard:
        return QStringLiteral("no-board");
    case Outcome::Busy:
        return QStringLiteral("busy");
    case Outcome::Error:
        return QStringLiteral("error");
    case Outcome::Matches:
        return QStringLiteral("matches");
    case Outcome::Differs:
        return QStringLiteral("differs");
    }
    return QString();
}

QString stepText(Step step)
{
    switch (step) {
    case Step::Waiting:
        return QStringLiteral("waiting");
    case Step::Opening:
        return QStringLiteral("opening");
    case Step::Identifying:
        return QStringLiteral("identifying");
    case Step::Reading:
        return QStringLiteral("reading");
    case Step::Writing:
        return QStringLiteral("writing");
    case Step::ReadingBack:
        return QStringLiteral("reading back");
    case Step::Verifying:
        return QStringLiteral("verifying");
    case Step::Done:
        return QStringLiteral("done");
    }
    return QString();
}

QStringList BoardRow::fieldPaths() const
{
    QStringList paths;
    for (const FieldDifference &d : differences)
        paths << d.field.path;
    return paths;
}

QString BoardRow::name() const
{
    return slot.isEmpty() ? port : slot;
}

BoardRow untouched(const QString &port, const QString &why)
{
    BoardRow row;
    row.port = port;
    row.message = why;
    row.finished = QDateTime::currentDateTimeUtc();
    return row;
}

namespace {

// Each board of a bench as its work ends: port, outcome, time.
Q_LOGGING_CATEGORY(lcBench, "halvero.link.bench")

// The port of one board, open for as long as the work on it lasts, and the
// clock of its row.
class BoardLine
{
public:
    BoardLine(const QString &port, const QString &path, qint32 baud, const StepReport &report)
        : m_report(report)
        , m_baud(baud)
    {
        m_clock.start();
        row.port = port;
        m_report(Step::Opening, QString());
        m_opened = m_board.open(path, baud);
    }

    BoardConnection &connection() { return m_board; }
    parachuteRadioComm &link() { return m_board.link(); }

    ExchangeText::Facts facts() { return ExchangeText::factsOf(link(), row.port, int(m_baud)); }

    void report(Step step) { m_report(step, row.serial); }

    // Open and identified; otherwise the row says why not.
    bool identify(const QString &path)
    {
        if (!m_opened) {
            const OpenFailure failure = classifyOpenFailure(m_serial.error(), probeOpenErrno(path));
            row.outcome = failure == OpenFailure::Busy ? Outcome::Busy : Outcome::Error;
            row.message = openFailureMessage(failure, row.port, m_serial.errorString());
            return false;
        }
        report(Step::Identifying);
        if (!m_board.identify()) {
            const ExchangeOutcome outcome = link().lastOutcome();
            // A board that answers too late is there all the same.
            const bool noBoard = outcome == ExchangeOutcome::NoReply && !link().lateReplyDropped();
            row.outcome = noBoard ? Outcome::NoBoard : Outcome::Error;
            row.message = ExchangeText::failure(outcome, facts());
            return false;
        }
        row.productCode = productCodeText(link());
        row.family = Protocol::familyName(recordFamily(link()));
        row.firmware = firmwareText(link());
        row.serial = serialText(link());
        row.outcome = Outcome::Held;
        report(Step::Identifying);
        return true;
    }

    BoardRow finish()
    {
        row.seconds = double(m_clock.nsecsElapsed()) / 1e9;
        row.finished = QDateTime::currentDateTimeUtc();
        qCDebug(lcBench).noquote() << row.port << outcomeWord(row.outcome) << row.seconds << "s" << row.message;
        return row;
    }

    BoardRow row;

private:
    const StepReport &m_report;
    qint32 m_baud;
    QElapsedTimer m_clock;
    QSerialPort m_serial; // outlives the link, which closes it
    // No window freezes here: a board that answers a little late is waited for.
    BoardConnection m_board{ExchangeTiming::unattended(), &m_serial};
    bool m_opened = false;
};

// The transaction's end as an outcome; Held is left for --verify to confirm.
void settleWrite(BoardLine &board, const WriteTransaction &write, const Settings &settings)
{
    using W = WriteTransaction::Outcome;
    BoardRow &row = board.row;
    row.written = write.sent();
    const QString failure = ExchangeText::writeFailure(write, settings.operation, board.facts());
    switch (write.outcome()) {
    case W::Held:
        row.outcome = Outcome::Held;
        break;
    case W::HeldOther:
        row.outcome = Outcome::OtherValues;
        row.differences = write.differences();
        row.message = failure;
        break;
    case W::NoAnswer:
        row.outcome = Outcome::NoAnswer;
        row.message = failure;
        break;
    case W::ConnectionLost:
        // Gone after the write went out: whether the board took it is as
        // unknown as when it stays silent.
        row.outcome = write.sent() ? Outcome::NoAnswer : Outcome::Error;
        row.message = failure;
        break;
    case W::NotSentFamily:
        row.outcome = Outcome::SkippedFamily;
        row.message = failure;
        break;
    case W::NotSentHistory:
        row.outcome = Outcome::Error;
        row.message =
            QStringLiteral("nothing written: the history cannot be recorded (%1); --no-history writes without it")
                .arg(write.historyError());
        break;
    case W::NotSentUnread:
    case W::NotSentLine:
    case W::NotSentRequest:
    case W::NotAcknowledged: // a set-defaults outcome; provisioning only saves
    case W::Pending:
        row.outcome = Outcome::Error;
        row.message = failure;
        break;
    }
    if (write.afterKnown() && !write.historyError().isEmpty() && row.message.isEmpty())
        row.message = QStringLiteral("the history could not record the configuration after the write (%1)")
                          .arg(write.historyError());
}

// --verify: the configuration read once more, as a request of its own.
void verify(BoardLine &board, const Settings &settings)
{
    BoardRow &row = board.row;
    board.report(Step::Verifying);
    if (board.connection().read(USBmsgConfig) != USBmsgConfig) {
        row.outcome = Outcome::NoAnswer;
        row.message =
            QStringLiteral("the board on %1 took the write but did not send its configuration back for --verify")
                .arg(row.port);
        return;
    }
    const QList<FieldDifference> differences = diffConfigs(configFromRecord(board.link()), settings.config);
    if (differences.isEmpty())
        return;
    row.outcome = Outcome::OtherValues;
    row.differences = differences;
    row.message =
        QStringLiteral("verify: the board holds other values for: %1.").arg(ExchangeText::fieldList(differences));
}

} // namespace

BoardRow identifyBoard(const QString &port, const QString &path, qint32 baud, const StepReport &report)
{
    BoardLine board(port, path, baud, report);
    board.identify(path);
    return board.finish();
}

// A board of another family than the configuration's is left alone.
bool ofFamily(BoardLine &board, const BoardConfig &config, const QString &whatHappens)
{
    if (recordFamily(board.link()) == config.family)
        return true;
    board.row.outcome = Outcome::SkippedFamily;
    board.row.message = QStringLiteral("a %1 board; the configuration is for %2 boards: %3")
                            .arg(board.row.productCode, Protocol::familyName(config.family), whatHappens);
    return false;
}

BoardRow provisionBoard(const QString &port, const QString &path, const Settings &settings, const StepReport &report,
                        const std::atomic<bool> &stop)
{
    BoardLine board(port, path, settings.baud, report);
    BoardRow &row = board.row;
    if (!board.identify(path) || !ofFamily(board, settings.config, QStringLiteral("nothing written")))
        return board.finish();

    const QString interrupted = QStringLiteral("interrupted before the write: nothing written");
    if (stop) {
        row.outcome = Outcome::Error;
        row.message = interrupted;
        return board.finish();
    }
    WriteTransaction write(WriteTransaction::Operation::Save, settings.config,
                           settings.history ? &*settings.history : nullptr, settings.tool);
    write.setRun(settings.run);
    write.setSourceFile(settings.file);
    while (!write.finished()) {
        // Up to here only reads went out (and a "before" entry, which stays
        // true): the board is left as it was.
        if (write.writesNext() && stop) {
            row.outcome = Outcome::Error;
            row.message = interrupted;
            return board.finish();
        }
        board.report(write.writesNext() ? Step::Writing : write.sent() ? Step::ReadingBack : Step::Reading);
        write.step(board.link());
    }
    settleWrite(board, write, settings);
    if (row.outcome == Outcome::Held && settings.verify)
        verify(board, settings);
    return board.finish();
}

BoardRow checkBoard(const QString &port, const QString &path, const Settings &settings, const StepReport &report)
{
    BoardLine board(port, path, settings.baud, report);
    BoardRow &row = board.row;
    if (!board.identify(path) || !ofFamily(board, settings.config, QStringLiteral("not compared")))
        return board.finish();
    board.report(Step::Reading);
    if (board.connection().read(USBmsgConfig) != USBmsgConfig) {
        const ExchangeOutcome outcome = board.link().lastOutcome();
        row.outcome = Outcome::Error;
        const bool silent = (outcome == ExchangeOutcome::NoReply && !board.link().lateReplyDropped())
                            || outcome == ExchangeOutcome::Undecodable;
        row.message = silent ? QStringLiteral("the board on %1 did not send its configuration").arg(port)
                             : ExchangeText::failure(outcome, board.facts());
        return board.finish();
    }
    BoardConfig held = configFromRecord(board.link());
    held.readAt = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    row.differences = diffConfigs(held, settings.config);
    row.outcome = row.differences.isEmpty() ? Outcome::Matches : Outcome::Differs;
    QStringList remarks;
    if (!row.differences.isEmpty())
        remarks << QStringLiteral("to match the file: %1").arg(HistoryWords::differences(row.differences));
    if (settings.history) {
        using namespace ConfigHistory;
        HistoryFile history = *settings.history;
        QJsonObject entry = makeEntry(held, eventCheck, phaseBefore, settings.tool);
        entry.insert(keyOutcome, row.differences.isEmpty() ? outcomeMatches : outcomeDiffers);
        entry.insert(keyDiffers, QJsonArray::fromStringList(row.fieldPaths()));
        if (!settings.file.isEmpty())
            entry.insert(keyFile, settings.file.toJson());
        if (!settings.run.isEmpty())
            entry.insert(QStringLiteral("run"), settings.run);
        const Result recorded = history.append(entry);
        if (!recorded.ok())
            remarks << QStringLiteral("the history could not record the check (%1)").arg(recorded.message);
    }
    row.message = remarks.join(QStringLiteral("; "));
    return board.finish();
}

} // namespace Provisioning

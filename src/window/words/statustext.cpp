// Status bar sentences, in the window's language (through the translation
// lookup under the window's own context).
#include "statustext.h"

#include "exchangetext.h"

#include <QCoreApplication>
#include <QStringList>

namespace StatusText {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Halvero_configurator", text);
}

// The command as the operator gave it.
QString operationName(WriteTransaction::Operation operation)
{
    return operation == WriteTransaction::Operation::Defaults ? tr("Set defaults") : tr("Save CONF");
}

QString operationName(const WriteTransaction &write)
{
    return operationName(write.operation());
}

QString clock(const QTime &time)
{
    return time.toString(QStringLiteral("HH:mm:ss"));
}

// Connect got no usable identity reply from the device `facts` name.
QString identifyFailed(ExchangeOutcome outcome, const ExchangeText::Facts &facts)
{
    if (outcome == ExchangeOutcome::Decoded) // a reply of another kind than an identity
        return tr("The device on %1 answered, but not with an identity: check the baud rate (%2).")
            .arg(facts.port)
            .arg(facts.baud);
    return ExchangeText::failure(outcome, facts);
}

// The board has not answered since `lastReply` (its last decoded reply);
// `late` when it answers, but after the window's wait.
QString silentSince(const QTime &lastReply, ExchangeOutcome outcome, bool late)
{
    if (late && outcome == ExchangeOutcome::NoReply)
        return tr("No reply in time since %1: the board answers later than the window waits; check the USB "
                  "adapter's latency timer.")
            .arg(clock(lastReply));
    if (outcome == ExchangeOutcome::NeverQuiet)
        return tr("The line sends without pause since %1: check the baud rate.").arg(clock(lastReply));
    if (outcome == ExchangeOutcome::OtherBoard)
        return tr("Another board answers on this port since %1: press Disconnect, then Connect to use it.")
            .arg(clock(lastReply));
    return tr("No reply since %1: check the cable and the board's power.").arg(clock(lastReply));
}

} // namespace

QString asSentence(const QString &message)
{
    QString sentence = message.trimmed();
    if (sentence.isEmpty())
        return sentence;
    sentence[0] = sentence.at(0).toUpper();
    if (!sentence.endsWith(QLatin1Char('.')) && !sentence.endsWith(QLatin1Char('?'))
        && !sentence.endsWith(QLatin1Char('!')))
        sentence += QLatin1Char('.');
    return sentence;
}

QString said(const SessionEvent &event)
{
    using Kind = SessionEvent::Kind;
    switch (event.kind) {
    case Kind::NoPortNamed:
        return tr("No serial port to open: plug the board in and press Refresh.");
    case Kind::PortNotOpened:
        return event.refusal;
    case Kind::NotIdentified:
        return identifyFailed(event.outcome, event.facts);
    case Kind::ConfigUnread:
        return tr("Board identified, but its configuration could not be read: press Disconnect, then Connect.");
    case Kind::Connected:
        return tr("Connected to the %1 board on %2.").arg(event.productCode, event.port);
    case Kind::ConfigRead:
        return event.decoded ? tr("Configuration read.") : tr("No reply to Read CONF: the page keeps its values.");
    case Kind::DumpRead:
        return event.decoded ? tr("EEPROM dump received (%1 characters).").arg(event.characters)
                             : tr("No reply to EEPROM DUMP.");
    case Kind::Silent:
        return silentSince(event.since, event.outcome, event.late);
    case Kind::WriteDropped:
        return event.write
                   ? tr("The queued %1 was not sent: the board did not get it.").arg(operationName(*event.write))
                   : QString();
    case Kind::ConnectionLost:
        if (!event.write)
            return QString();
        if (event.outcomeAwaited)
            return lostWritePending(*event.write);
        return ExchangeText::connectionLostDuring(operationName(*event.write), event.port, event.writeSent);
    case Kind::None:
    case Kind::NoPage:
        break;
    }
    return QString();
}

QString connectionLost(const QTime &at)
{
    return tr("Connection lost at %1: the board was unplugged or the port failed. Plug it in and press Connect.")
        .arg(clock(at));
}

QString connectionLostRetrying(const QTime &at)
{
    return tr("Connection lost at %1; trying again every second — Disconnect stops.").arg(clock(at));
}

QString keptEditsForAnotherBoard(const BoardConfig &kept)
{
    return tr("Another board answers on this port: the edits kept from before the connection was lost were for the "
              "%1 board %2 and were not put in this board's page.")
        .arg(kept.productCode, kept.serial);
}

QString configSaved(const QList<FieldDifference> &differences)
{
    if (differences.isEmpty())
        return tr("Configuration saved: the board holds what was written.");
    return tr("Configuration written, but the board holds other values for: %1.")
        .arg(ExchangeText::fieldList(differences));
}

QString writeOutcome(const WriteTransaction &write, const QString &port)
{
    const bool defaults = write.operation() == WriteTransaction::Operation::Defaults;
    switch (write.outcome()) {
    case WriteTransaction::Outcome::Held:
        if (!defaults)
            return configSaved({});
        if (const QString unchanged = ExchangeText::defaultsUnchanged(write); !unchanged.isEmpty())
            return tr("The board %1.").arg(unchanged);
        return tr("Defaults restored: the page shows the board's configuration.");
    case WriteTransaction::Outcome::NotSentHistory:
        return writeNotRecorded(write.historyError());
    default:
        return ExchangeText::writeFailure(write, operationName(write), {port});
    }
}

QString writeEnded(const WriteTransaction &write, const QString &port)
{
    QString text = writeOutcome(write, port);
    if (!write.changedUnderEdits().isEmpty())
        text += QLatin1Char(' ') + editedOverChanges(write.changedUnderEdits());
    if (write.afterKnown() && !write.historyError().isEmpty())
        text += QLatin1Char(' ') + resultNotRecorded(write.historyError());
    return text;
}

QString writePending(const WriteTransaction &write, const QTime &lastReply)
{
    return tr("No answer since %1: the outcome of %2 shows as soon as the board answers (Disconnect gives up).")
        .arg(clock(lastReply), operationName(write));
}

QString writeUnfinished(const WriteTransaction &write)
{
    const QString operation = operationName(write);
    return write.sent() ? tr("A %1 has been sent, but the board has not answered yet.").arg(operation)
                        : tr("A %1 has not reached the board yet.").arg(operation);
}

QString lostWritePending(WriteTransaction::Operation operation)
{
    return tr("Its configuration is read once it is back; until then, whether the board took %1 is not known.")
        .arg(operationName(operation));
}

QString lostWriteSettled(const LostWrite::Settled &settled)
{
    const QString lost = tr("%1 was under way when the connection was lost:").arg(operationName(settled.operation));
    if (settled.operation == WriteTransaction::Operation::Defaults) {
        // A change since may be another program's write while the cable was
        // out, and no change may be defaults the board already held: only
        // the acknowledgement, lost with the cable, would have told.
        return settled.sinceBefore.isEmpty()
                   ? tr("%1 the board holds what it held before; whether it restored its defaults is not "
                        "known. The page shows what it holds.")
                         .arg(lost)
                   : tr("%1 whether the board restored its defaults is not known; it holds other values "
                        "than before for: %2. The page shows what it holds.")
                         .arg(lost, ExchangeText::fieldList(settled.sinceBefore));
    }
    if (settled.notWritten.isEmpty())
        return tr("%1 the board holds what was written.").arg(lost);
    if (settled.sinceBefore.isEmpty())
        return tr("%1 the board holds what it held before: nothing was written. Save CONF again.").arg(lost);
    return tr("%1 the board holds other values for: %2.").arg(lost, ExchangeText::fieldList(settled.notWritten));
}

QString editedOverChanges(const QList<FieldDifference> &changed)
{
    if (changed.isEmpty())
        return QString();
    return tr("Changed on the board since the page was read, and written with your edit: %1.")
        .arg(ExchangeText::fieldList(changed));
}

QString crossedPair(const CrossedPair &pair)
{
    // "trigger Low" and "trigger High": the second without the word they share.
    QString lower = pair.lower.label();
    QString upper = pair.upper.label();
    const qsizetype shared = lower.indexOf(QLatin1Char(' '));
    if (shared > 0 && upper.startsWith(lower.left(shared + 1)))
        upper = upper.mid(shared + 1);
    if (!lower.isEmpty())
        lower[0] = lower.at(0).toUpper();
    return tr("%1 (%2) is not below %3 (%4).").arg(lower).arg(pair.lowerValue).arg(upper).arg(pair.upperValue);
}

QString notSent()
{
    return tr("Not sent: the board is no longer connected.");
}

QString writeNotRecorded(const QString &error)
{
    return tr("Not sent: the history could not record the board's configuration first (%1). "
              "Start the configurator with HALVERO_HISTORY=off to write without it.")
        .arg(error);
}

QString resultNotRecorded(const QString &error)
{
    return tr("The history could not record the result (%1).").arg(error);
}

} // namespace StatusText

// The sentences of a failed exchange, translated under the link's own context
// (halvero-cli installs no translator, so it prints them as written).
#include "exchangetext.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QStringList>

#include "recordtext.h"

namespace ExchangeText {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("DeviceLink", text);
}

// Which outcome of an exchange was put into words, and for which port.
Q_LOGGING_CATEGORY(lcTexts, "halvero.link.texts")

} // namespace

QString failure(ExchangeOutcome outcome, const Facts &facts)
{
    qCDebug(lcTexts) << "Exchange on" << facts.port << "ended as" << int(outcome);
    switch (outcome) {
    case ExchangeOutcome::NoReply:
        if (facts.answeredAfterMs > 0)
            return tr("The board on %1 answers later than the %2 ms its reply is waited for, so its answers are "
                      "dropped: check the USB adapter's latency timer.")
                .arg(facts.port)
                .arg(facts.answeredAfterMs);
        return tr("No reply from a board on %1 at %2 baud: check the cable, the power and the baud rate.")
            .arg(facts.port)
            .arg(facts.baud);
    case ExchangeOutcome::NeverQuiet:
        return tr("The device on %1 sends without pause: check the baud rate, or it is not a board.").arg(facts.port);
    case ExchangeOutcome::UnknownProduct:
        return tr("The device on %1 answered with product code %2, which is not a known board.")
            .arg(facts.port, facts.productCode);
    case ExchangeOutcome::UnsupportedFirmware:
        return tr("The %1 board on %2 has firmware %3, which this program does not support.")
            .arg(facts.productCode, facts.port, facts.firmware);
    case ExchangeOutcome::Undecodable:
        return tr("The device on %1 answered with %2 bytes that are no board's reply: check the baud rate (%3).")
            .arg(facts.port)
            .arg(facts.replyBytes)
            .arg(facts.baud);
    case ExchangeOutcome::OtherBoard:
        return tr("Another board answers on %1 now: connect again to use it.").arg(facts.port);
    case ExchangeOutcome::WriteTimeout:
        return tr("Could not send to %1: the port did not take the request.").arg(facts.port);
    case ExchangeOutcome::PortClosed:
        return tr("Lost %1: the board was unplugged or the port failed.").arg(facts.port);
    case ExchangeOutcome::NotEncodable:
        return tr("No request could be made for the board on %1.").arg(facts.port);
    case ExchangeOutcome::None:
    case ExchangeOutcome::Decoded:
    case ExchangeOutcome::Acknowledged:
        break;
    }
    return QString();
}

Facts factsOf(const parachuteRadioComm &link, const QString &port, int baud)
{
    return Facts{port,
                 baud,
                 productCodeText(link),
                 firmwareText(link),
                 int(link.lastReply().size()),
                 link.lateReplyDropped() ? link.timing().firstByteMs : 0};
}

QString defaultsUnchanged(const WriteTransaction &write)
{
    // The acknowledgement says the board restored its defaults; a board
    // that already held them has nothing to show for it.
    if (write.operation() != WriteTransaction::Operation::Defaults || !write.succeeded() || !write.afterKnown()
        || !diffConfigs(write.before(), write.after()).isEmpty())
        return QString();
    return tr("acknowledged Set defaults; its configuration is unchanged (it may already have held its defaults)");
}

QString fieldList(const QList<FieldDifference> &differences)
{
    QStringList fields;
    for (const FieldDifference &d : differences)
        fields << d.field.label();
    return fields.join(QStringLiteral(", "));
}

QString connectionLostDuring(const QString &operation, const QString &port, bool sent)
{
    if (!sent)
        return tr("Lost %1 before %2 was sent: nothing was written.").arg(port, operation);
    return tr("Lost %1 during %2: whether the board took it is not known.").arg(port, operation);
}

QString writeFailure(const WriteTransaction &write, const QString &operation, const Facts &facts)
{
    using Outcome = WriteTransaction::Outcome;
    switch (write.outcome()) {
    case Outcome::HeldOther:
        return tr("Configuration written, but the board holds other values for: %1.")
            .arg(fieldList(write.differences()));
    case Outcome::NoAnswer:
        if (write.lastExchange() == ExchangeOutcome::NeverQuiet)
            return failure(ExchangeOutcome::NeverQuiet, facts);
        if (write.afterKnown())
            return tr("The board did not answer %1; the configuration it holds now was read back.").arg(operation);
        return tr("%1 sent, but the board on %2 did not answer nor send its configuration back: "
                  "whether it took it is not known.")
            .arg(operation, facts.port);
    case Outcome::NotAcknowledged:
        if (write.afterKnown())
            return tr("The board did not acknowledge %1; the configuration it holds now was read back.").arg(operation);
        return tr("The board answered %1, but not with its acknowledgement: whether it restored its defaults is not "
                  "known.")
            .arg(operation);
    case Outcome::NotSentRequest:
        return tr("Nothing written: no write request can be made for the board on %1.").arg(facts.port);
    case Outcome::ConnectionLost:
        return connectionLostDuring(operation, facts.port, write.sent());
    case Outcome::NotSentUnread:
        return tr("Nothing written: the board did not answer the read before the write.");
    case Outcome::NotSentFamily:
        return tr("Nothing written: the configuration is for another board family.");
    case Outcome::NotSentLine:
        return failure(ExchangeOutcome::NeverQuiet, facts);
    case Outcome::Held:
    case Outcome::NotSentHistory:
    case Outcome::Pending:
        break;
    }
    return QString();
}

} // namespace ExchangeText

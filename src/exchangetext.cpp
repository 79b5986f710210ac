// The sentences of a failed exchange, translated under the window's context
// (halvero-cli installs no translator, so it prints them as written).
#include "exchangetext.h"

#include <QCoreApplication>

namespace ExchangeText {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Halvero_configurator", text);
}

} // namespace

QString failure(ExchangeOutcome outcome, const Facts &facts)
{
    switch (outcome) {
    case ExchangeOutcome::NoReply:
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
        break;
    }
    return QString();
}

} // namespace ExchangeText

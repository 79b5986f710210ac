// Status bar sentences, in the window's language (through the translation
// lookup under the window's own context).
#include "statustext.h"

#include <QCoreApplication>
#include <QStringList>

namespace StatusText {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Halvero_configurator", text);
}

QString clock(const QTime &time)
{
    return time.toString(QStringLiteral("HH:mm:ss"));
}

} // namespace

QString identifyFailed(ExchangeOutcome outcome, const QString &port, int baud, const QString &productCode,
                       const QString &firmware)
{
    switch (outcome) {
    case ExchangeOutcome::UnknownProduct:
        return tr("The device on %1 answered with product code %2, which is not a known board.")
            .arg(port, productCode);
    case ExchangeOutcome::UnsupportedFirmware:
        return tr("The %1 board on %2 has firmware %3, which this configurator does not support.")
            .arg(productCode, port, firmware);
    case ExchangeOutcome::NeverQuiet:
        return tr("The device on %1 sends without pause: check the baud rate, or it is not a board.").arg(port);
    case ExchangeOutcome::Undecodable:
    case ExchangeOutcome::Decoded: // a reply of another kind than an identity
        return tr("The device on %1 answered, but not with an identity: check the baud rate (%2).")
            .arg(port).arg(baud);
    case ExchangeOutcome::WriteTimeout:
        return tr("Could not send to %1: the port did not take the request.").arg(port);
    default:
        break;
    }
    return tr("No reply from a board on %1 at %2 baud: check the cable, the power and the baud rate.")
        .arg(port).arg(baud);
}

QString configReadFailedAtConnect(ExchangeOutcome outcome)
{
    Q_UNUSED(outcome);
    return tr("Board identified, but its configuration could not be read: press Disconnect, then Connect.");
}

QString connected(const QString &productCode, const QString &port)
{
    return tr("Connected to the %1 board on %2.").arg(productCode, port);
}

bool boardAnswered(ExchangeOutcome outcome)
{
    switch (outcome) {
    case ExchangeOutcome::Decoded:
    case ExchangeOutcome::UnknownProduct:
    case ExchangeOutcome::UnsupportedFirmware:
    case ExchangeOutcome::OtherBoard:
    case ExchangeOutcome::Undecodable:
        return true;
    default:
        return false;
    }
}

QString silentSince(const QTime &lastReply, ExchangeOutcome outcome)
{
    if (outcome == ExchangeOutcome::NeverQuiet)
        return tr("The line sends without pause since %1: check the baud rate.").arg(clock(lastReply));
    return tr("No reply since %1: check the cable and the board's power.").arg(clock(lastReply));
}

QString connectionLost(const QTime &at)
{
    return tr("Connection lost at %1: the board was unplugged or the port failed. Plug it in and press Connect.")
        .arg(clock(at));
}

QString configRead(bool decoded)
{
    return decoded ? tr("Configuration read.") : tr("No reply to Read CONF: the page keeps its values.");
}

QString dumpReceived(bool decoded, int characters)
{
    return decoded ? tr("EEPROM dump received (%1 characters).").arg(characters)
                   : tr("No reply to EEPROM DUMP.");
}

QString configSaved(const QList<FieldDifference> &differences)
{
    if (differences.isEmpty())
        return tr("Configuration saved: the board holds what was written.");
    QStringList fields;
    for (const FieldDifference &d : differences)
        fields << fieldLabel(d.field.path);
    return tr("Configuration written, but the board holds other values for: %1.").arg(fields.join(QStringLiteral(", ")));
}

QString configWriteUnanswered()
{
    return tr("No configuration came back after Save CONF: reading the board's configuration.");
}

QString defaultsSent(bool answered)
{
    return answered ? tr("Defaults set: reading the board's configuration.")
                    : tr("No reply to Set defaults: reading the board's configuration.");
}

QString defaultsReadBack(bool answered, bool decoded)
{
    if (!decoded)
        return tr("Set defaults sent, but the configuration could not be read back: press Read CONF.");
    return answered ? tr("Defaults restored: the page shows the board's configuration.")
                    : tr("Set defaults got no reply: the page shows the configuration the board holds.");
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

QString fieldLabel(const QString &path)
{
    for (BoardFamily family : Protocol::knownFamilies()) {
        for (const ConfigField &field : Protocol::familyTable(family).config) {
            if (field.path == path)
                return field.label();
        }
    }
    return path;
}

} // namespace StatusText

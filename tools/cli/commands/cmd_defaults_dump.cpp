// 'defaults' and 'dump': the factory reset, guarded by --yes because it
// overwrites the stored configuration, and the EEPROM text for a support case.
#include "clirunner.h"

#include <QTextStream>

#include "boardformat.h"
#include "confighistory.h"
#include "exchangetext.h"

int CliRunner::defaults()
{
    if (!o.yes)
        throw CliFailure{
            ErrorCode::Refused,
            QStringLiteral("refusing to overwrite the configuration of the board on %1 without --yes").arg(o.port)};
    connectBoard();
    const WriteTransaction write = runWrite(WriteTransaction::Operation::Defaults, BoardConfig());
    const QString unchanged = ExchangeText::defaultsUnchanged(write);
    if (o.json)
        emitJson(QJsonObject{{QStringLiteral("restored"), true},
                             {QStringLiteral("unchanged"), !unchanged.isEmpty()},
                             {QStringLiteral("productCode"), productCodeText(*link)},
                             {QStringLiteral("serial"), serialText(*link)}});
    note(unchanged.isEmpty() ? QStringLiteral("restored the factory configuration of %1").arg(boardName())
                             : QStringLiteral("%1 %2").arg(boardName(), unchanged));
    return ExitOk;
}

int CliRunner::dump()
{
    refuseOutputOnPort();
    connectBoard();
    readOrFail(USBmsgEepromDump, USBoptDump, QStringLiteral("EEPROM dump"));
    const QString text = dumpBody(*link);
    if (!toStdout()) {
        const QJsonObject board{{QStringLiteral("productCode"), productCodeText(*link)},
                                {QStringLiteral("serial"), serialText(*link)}};
        const QString name = boardName();
        writeOutput(text.toUtf8());
        if (o.json) {
            QJsonObject saved = board;
            saved.insert(QStringLiteral("file"), o.output);
            emitJson(saved);
        }
        note(QStringLiteral("saved the EEPROM dump of %1 to %2").arg(name, o.output));
    } else if (o.json) {
        emitJson(QJsonObject{{QStringLiteral("productCode"), productCodeText(*link)},
                             {QStringLiteral("serial"), serialText(*link)},
                             {QStringLiteral("dump"), text}});
    } else {
        out << text;
        if (!text.endsWith(QLatin1Char('\n')))
            out << '\n';
    }
    return ExitOk;
}

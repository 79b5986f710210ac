// 'identify' and 'status': what the board is and what it measures right now,
// once or as a watch that can be logged line by line until Ctrl-C.
#include "clirunner.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QTextStream>
#include <QThread>
#include <QTime>

#include "boardformat.h"
#include "clisignals.h"

namespace {

// The window polls at this rate too; the boards are known to keep up with it.
constexpr int watchPeriodMs = Protocol::pollIntervalMs;

// Ctrl-C (or SIGTERM, SIGHUP) is how a watch ends: it is no failure.
bool interrupted()
{
    return CliSignals::pending() != 0;
}

} // namespace

int CliRunner::identify()
{
    if (o.all || o.ports.size() > 1 || !o.slotsFile.isEmpty())
        return inventory();
    connectBoard();
    if (o.json) {
        QJsonObject identity = identityJson(*link);
        identity.insert(QStringLiteral("port"), portPath);
        emitJson(identity);
    } else {
        out << identityText(*link);
    }
    return ExitOk;
}

void CliRunner::printStatus(bool stamped)
{
    const QDateTime now = QDateTime::currentDateTime();
    if (o.json) {
        QJsonObject status = statusJson(*link);
        status.insert(QStringLiteral("productCode"), productCodeText(*link));
        // Logs from several machines get merged: no local time there.
        status.insert(QStringLiteral("time"), now.toUTC().toString(Qt::ISODateWithMs));
        emitJson(status);
    } else {
        out << (stamped ? now.toString(QStringLiteral("HH:mm:ss.zzz  ")) : QString()) << statusLine(*link) << '\n';
    }
    requireOutput();
}

int CliRunner::status()
{
    connectBoard();
    if (!o.watch) {
        readOrFail(USBmsgStatus, USBoptNone, QStringLiteral("status"));
        printStatus(false);
        return ExitOk;
    }
    QElapsedTimer tick;
    int polls = 0;
    int replies = 0;
    while (!interrupted() && (o.count == 0 || polls < o.count)) {
        tick.start();
        ++polls;
        if (exchange(false, USBmsgStatus, USBoptNone) == USBmsgStatus) {
            ++replies;
            printStatus(true);
        } else {
            if (link->port().error() == QSerialPort::ResourceError || !link->isConnected())
                throw CliFailure{ErrorCode::NoReply, QStringLiteral("lost %1 (unplugged?)").arg(o.port)};
            err << "halvero-cli: no status reply at " << QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz"))
                << Qt::endl;
        }
        if (polls == o.count)
            break;
        // Short naps so that Ctrl-C ends the watch promptly.
        while (!interrupted() && tick.elapsed() < watchPeriodMs)
            QThread::msleep(qMin<qint64>(20, watchPeriodMs - tick.elapsed()));
    }
    // A log that stayed empty must not pass for a board that was watched.
    if (replies == 0)
        throw CliFailure{ErrorCode::NoReply,
                         QStringLiteral("no status reply from the board on %1 during the watch").arg(o.port)};
    return ExitOk;
}

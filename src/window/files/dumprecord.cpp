// The dump's heading.
#include "dumprecord.h"

#include <QCoreApplication>

#include "confighistory.h"

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Halvero_configurator", text);
}

QString when(const QDateTime &time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss t"));
}

} // namespace

void DumpRecord::setDump(const QString &body, const BoardConfig &board, const QDateTime &readAt)
{
    m_body = body;
    m_board = board;
    m_readAt = readAt;
    m_writtenAt = QDateTime();
}

void DumpRecord::noteWrite(const QString &serial, const QDateTime &at)
{
    if (!isEmpty() && !m_writtenAt.isValid()
        && ConfigHistory::normalSerial(serial) == ConfigHistory::normalSerial(m_board.serial))
        m_writtenAt = at;
}

QString DumpRecord::text() const
{
    if (isEmpty())
        return QString();
    QString heading = tr("EEPROM dump of the %1 board %2 (firmware %3), read %4.")
                          .arg(m_board.productCode, m_board.serial, m_board.firmware, when(m_readAt));
    if (m_writtenAt.isValid())
        heading += QLatin1Char('\n')
                   + tr("Older than the configuration written to the board at %1: press EEPROM DUMP for what the "
                        "EEPROM holds now.")
                         .arg(when(m_writtenAt));
    return heading + QLatin1Char('\n') + m_body;
}

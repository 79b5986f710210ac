// What a write lost with the connection became, told from the board's
// configuration once it is back: the written values or the old ones; for
// Set defaults only what the board holds, since only its acknowledgement
// would have said that it restored them.
#include "lostwrite.h"

#include <QCoreApplication>
#include <QDateTime>

#include "confighistory.h"
#include "exchangetext.h"

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Halvero_configurator", text);
}

bool sameBoard(const BoardConfig &a, const BoardConfig &b)
{
    return a.family == b.family && ConfigHistory::normalSerial(a.serial) == ConfigHistory::normalSerial(b.serial);
}

} // namespace

QString LostWrite::operationName() const
{
    return m_operation == WriteTransaction::Operation::Defaults ? tr("Set defaults") : tr("Save CONF");
}

QString LostWrite::keep(const WriteTransaction &write)
{
    m_pending = write.sent() && !write.afterKnown();
    if (!m_pending)
        return QString();
    m_operation = write.operation();
    m_event = write.event();
    m_writeId = write.writeId();
    m_before = write.before();
    m_written = write.written();
    return pendingText();
}

QString LostWrite::pendingText() const
{
    return tr("Its configuration is read once it is back; until then, whether the board took %1 is not known.")
        .arg(operationName());
}

void LostWrite::settle(const BoardConfig &held, const QString &tool)
{
    m_settled.clear();
    if (!m_pending || !sameBoard(held, m_before))
        return;
    m_pending = false;
    if (!ConfigHistory::disabledByEnvironment()) {
        QJsonObject after = ConfigHistory::makeEntry(held, m_event, ConfigHistory::phaseAfter, tool);
        after.insert(ConfigHistory::keyWriteId, m_writeId);
        ConfigHistory::HistoryFile().append(after);
    }
    const QList<FieldDifference> sinceBefore = diffConfigs(m_before, held);
    const QString lost = tr("%1 was under way when the connection was lost:").arg(operationName());
    if (m_operation == WriteTransaction::Operation::Defaults) {
        // A change since may be another program's write while the cable was
        // out, and no change may be defaults the board already held.
        m_settled = sinceBefore.isEmpty()
                        ? tr("%1 the board holds what it held before; whether it restored its defaults is not "
                             "known. The page shows what it holds.")
                              .arg(lost)
                        : tr("%1 whether the board restored its defaults is not known; it holds other values "
                             "than before for: %2. The page shows what it holds.")
                              .arg(lost, ExchangeText::fieldList(sinceBefore));
        return;
    }
    const QList<FieldDifference> notWritten = diffConfigs(held, m_written);
    if (notWritten.isEmpty())
        m_settled = tr("%1 the board holds what was written.").arg(lost);
    else if (sinceBefore.isEmpty())
        m_settled = tr("%1 the board holds what it held before: nothing was written. Save CONF again.").arg(lost);
    else
        m_settled = tr("%1 the board holds other values for: %2.").arg(lost, ExchangeText::fieldList(notWritten));
}

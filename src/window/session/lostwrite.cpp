// What a write lost with the connection became, found from the board's
// configuration once it is back (the written values, the old ones or
// others), and recorded as the write's "after" entry.
#include "lostwrite.h"

#include <QDateTime>

#include "confighistory.h"

namespace {

bool sameBoard(const BoardConfig &a, const BoardConfig &b)
{
    return a.family == b.family && ConfigHistory::normalSerial(a.serial) == ConfigHistory::normalSerial(b.serial);
}

} // namespace

bool LostWrite::keep(const WriteTransaction &write)
{
    m_pending = write.sent() && !write.afterKnown();
    if (!m_pending)
        return false;
    m_operation = write.operation();
    m_event = write.event();
    m_writeId = write.writeId();
    m_before = write.before();
    m_written = write.written();
    return true;
}

void LostWrite::settle(const BoardConfig &held, const QString &tool)
{
    m_settled.reset();
    if (!m_pending || !sameBoard(held, m_before))
        return;
    m_pending = false;
    if (!ConfigHistory::disabledByEnvironment()) {
        QJsonObject after = ConfigHistory::makeEntry(held, m_event, ConfigHistory::phaseAfter, tool);
        after.insert(ConfigHistory::keyWriteId, m_writeId);
        ConfigHistory::HistoryFile().append(after);
    }
    m_settled = Settled{m_operation, diffConfigs(m_before, held), diffConfigs(held, m_written)};
}

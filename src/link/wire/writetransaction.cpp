// The write transaction's steps: read before, record, record what is
// written, write, confirm, record after.
#include "writetransaction.h"

#include <QDateTime>
#include <QUuid>

#include "confighistory.h"
#include "recordtext.h"

namespace {

QString now()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

// Something came back from the board, decodable or not.
bool answered(ExchangeOutcome outcome)
{
    switch (outcome) {
    case ExchangeOutcome::Decoded:
    case ExchangeOutcome::Acknowledged:
    case ExchangeOutcome::Undecodable:
    case ExchangeOutcome::UnknownProduct:
    case ExchangeOutcome::UnsupportedFirmware:
    case ExchangeOutcome::OtherBoard:
        return true;
    case ExchangeOutcome::None:
    case ExchangeOutcome::PortClosed:
    case ExchangeOutcome::NotEncodable:
    case ExchangeOutcome::WriteTimeout:
    case ExchangeOutcome::NoReply:
    case ExchangeOutcome::NeverQuiet:
        break;
    }
    return false;
}

} // namespace

WriteTransaction::WriteTransaction(Operation operation, const BoardConfig &config,
                                   const ConfigHistory::HistoryFile *history, const QString &tool, int readBackAttempts)
    : m_operation(operation)
    , m_config(config)
    , m_tool(tool)
    , m_readBackAttempts(readBackAttempts)
    , m_writeId(QUuid::createUuid().toString(QUuid::WithoutBraces))
{
    if (history)
        m_history = *history;
}

QString WriteTransaction::event() const
{
    switch (m_operation) {
    case Operation::Save:
        return ConfigHistory::eventSave;
    case Operation::Defaults:
        return ConfigHistory::eventDefaults;
    case Operation::Restore:
        return ConfigHistory::eventRestore;
    }
    return QString();
}

uint8_t WriteTransaction::exchange(parachuteRadioComm &link, bool write, USBmessages kind)
{
    m_lastResult = link.send(write, kind, USBoptNone);
    m_lastExchange = link.lastOutcome();
    return m_lastResult;
}

bool WriteTransaction::record(const BoardConfig &config, const QString &phase)
{
    if (!m_history)
        return true;
    QJsonObject entry = ConfigHistory::makeEntry(config, event(), phase, m_tool);
    entry.insert(ConfigHistory::keyWriteId, m_writeId);
    if (!m_run.isEmpty())
        entry.insert(QStringLiteral("run"), m_run);
    if (!m_file.isEmpty())
        entry.insert(ConfigHistory::keyFile, m_file.toJson());
    const Result recorded = m_history->append(entry);
    m_historyError = recorded.message;
    return recorded.ok();
}

void WriteTransaction::finish(Outcome outcome)
{
    m_outcome = outcome;
    m_step = Step::Done;
}

// The board's configuration after the write is known: that is the outcome.
void WriteTransaction::settle(const BoardConfig &held)
{
    m_after = held;
    m_after.readAt = now();
    m_afterKnown = true;
    // A missing "after" entry loses no data the board does not still hold:
    // the outcome stands, and the error is told beside it.
    record(m_after, ConfigHistory::phaseAfter);
    if (m_operation == Operation::Defaults) {
        // Only the acknowledgement says the board restored its defaults: an
        // old configuration sent back may be all a board that ignored the
        // request has to say.
        finish(m_acknowledged ? Outcome::Held : m_writeAnswered ? Outcome::NotAcknowledged : Outcome::NoAnswer);
        return;
    }
    m_differences = diffConfigs(m_after, m_written);
    finish(m_differences.isEmpty() ? Outcome::Held : Outcome::HeldOther);
}

bool WriteTransaction::step(parachuteRadioComm &link)
{
    switch (m_step) {
    case Step::ReadBefore:
        if (m_operation != Operation::Defaults && m_config.family != recordFamily(link)) {
            finish(Outcome::NotSentFamily);
            break;
        }
        if (exchange(link, false, USBmsgConfig) == USBmsgConfig) {
            m_before = configFromRecord(link);
            m_before.readAt = now();
            m_written = m_config;
            if (m_editsOnly)
                mergeEdits();
            if (!record(m_before, ConfigHistory::phaseBefore))
                finish(Outcome::NotSentHistory);
            else
                m_step = Step::Write;
        } else if (!link.isConnected()) {
            finish(Outcome::ConnectionLost);
        } else if (m_lastExchange == ExchangeOutcome::NeverQuiet) {
            finish(Outcome::NotSentLine);
        } else if (++m_beforeAttempts >= BoardConnection::readAttempts) {
            finish(Outcome::NotSentUnread);
        }
        break;

    case Step::Write:
        // What is about to be written is recorded first: should the program
        // die before the board's answer is recorded, the history still names
        // the values the board may hold.
        if (m_operation != Operation::Defaults) {
            // Under the board's own name: the file written may come from another board.
            BoardConfig intent = m_before;
            intent.values = m_written.values;
            if (!record(intent, ConfigHistory::phaseIntent)) {
                finish(Outcome::NotSentHistory);
                break;
            }
        }
        if (m_operation == Operation::Defaults) {
            exchange(link, true, USBmsgSetDefaults);
            m_writeAnswered = answered(m_lastExchange);
            m_acknowledged = m_lastExchange == ExchangeOutcome::Acknowledged;
        } else {
            // Only now does the record take the values: whatever the board
            // answered meanwhile cannot change what is written.
            applyConfigToRecord(m_written, link);
            m_writeAnswered = exchange(link, true, USBmsgConfig) == USBmsgConfig;
        }
        m_sent = m_lastExchange != ExchangeOutcome::PortClosed && m_lastExchange != ExchangeOutcome::NotEncodable;
        if (m_lastExchange == ExchangeOutcome::NotEncodable) {
            finish(Outcome::NotSentRequest);
        } else if (!m_sent || !link.isConnected()) {
            finish(Outcome::ConnectionLost);
        } else if (m_writeAnswered && m_operation != Operation::Defaults
                   && diffConfigs(configFromRecord(link), m_written).isEmpty()) {
            settle(configFromRecord(link));
        } else {
            // No echo, or an echo of other values (which may be a late
            // reply to an earlier request): what the board holds is read.
            m_step = Step::ReadBack;
        }
        break;

    case Step::ReadBack:
        if (exchange(link, false, USBmsgConfig) == USBmsgConfig) {
            settle(configFromRecord(link));
        } else if (!link.isConnected()) {
            finish(Outcome::ConnectionLost);
        } else if (++m_unansweredReadBacks >= m_readBackAttempts && m_readBackAttempts > 0) {
            finish(Outcome::NoAnswer);
        }
        break;

    case Step::Done:
        break;
    }
    return finished();
}

void WriteTransaction::writeEditsOver(const BoardConfig &shown)
{
    m_editsOnly = true;
    m_shown = shown;
    m_edits.clear();
    for (const FieldDifference &d : diffConfigs(shown, m_config))
        m_edits.insert(d.field.path, d.file);
}

void WriteTransaction::mergeEdits()
{
    m_changedUnderEdits.clear();
    BoardConfig merged = m_before;
    merged.readAt.clear();
    for (const ConfigField &field : configFields(m_before.family)) {
        if (!m_edits.contains(field.path))
            continue;
        merged.values.insert(field.path, m_edits.value(field.path));
        const int shownValue = m_shown.values.value(field.path);
        const int boardValue = m_before.values.value(field.path);
        if (boardValue != shownValue)
            m_changedUnderEdits.append(FieldDifference{field, boardValue, shownValue});
    }
    m_written = merged;
}

WriteTransaction::Outcome WriteTransaction::run(parachuteRadioComm &link)
{
    while (!step(link)) {
    }
    return m_outcome;
}

// A write to a board as one transaction, the same for the window and
// halvero-cli: what is written is fixed when the transaction is made; the
// board's configuration is read fresh and recorded in the history before
// anything goes out; the outcome is what the board answered, confirmed by a
// read-back whenever the answer does not already show the written values.
//
// It runs one exchange per step(), so that the window can give each step a
// poll tick of its own while halvero-cli simply steps until it is done.
#ifndef HALVERO_WRITETRANSACTION_H
#define HALVERO_WRITETRANSACTION_H

#include <QList>
#include <QMap>
#include <QString>
#include <cstdint>
#include <optional>

#include "boardconfig.h"
#include "boardconnection.h"
#include "confighistory.h"
#include "parachuteradiocomm.h"

class WriteTransaction
{
public:
    enum class Operation {
        Save,
        Defaults,
        Restore
    };

    enum class Outcome {
        Pending,         // not finished yet
        Held,            // the board holds what was written (defaults: acknowledged and read back)
        HeldOther,       // the board holds other values for `differences`
        NoAnswer,        // the write went out; the board's answer never came (afterKnown tells
                         // whether a read-back still showed what it holds)
        NotAcknowledged, // defaults: the board answered, but not with the acknowledgement
        ConnectionLost,  // the port went away; what the board holds is not known
        NotSentUnread,   // nothing sent: the board did not answer the read before the write
        NotSentHistory,  // nothing sent: the history could not record the board's configuration
                         // or what was about to be written
        NotSentFamily,   // nothing sent: the configuration is for another board family
        NotSentLine,     // nothing sent: the line sends without pause (no board, or wrong speed)
        NotSentRequest,  // nothing sent: no write request can be built for this board
    };

    // `config` is what a Save or a Restore writes (ignored by Defaults).
    // `history` is where the before and after entries go (null: not
    // recorded; the transaction keeps its own copy); `tool` names the program in those entries. A read-back that
    // gets no answer is tried `readBackAttempts` times; 0 keeps trying as long
    // as the port is open (the window, which tells the outcome whenever the
    // board answers again).
    WriteTransaction(Operation operation, const BoardConfig &config, const ConfigHistory::HistoryFile *history,
                     const QString &tool, int readBackAttempts = BoardConnection::readAttempts);

    // A Save of the page: only the fields where `config` differs from
    // `shown` (what the page showed of the board) are the operator's edits.
    // They go over the configuration the read before the write finds; every
    // other field is written as that read finds it, so that nothing the
    // board took meanwhile (Set defaults, another program) is undone.
    void writeEditsOver(const BoardConfig &shown);
    // The edited fields, by path, with the values the operator gave them.
    const QMap<QString, int> &edits() const { return m_edits; }
    // Edited fields the board itself changed since the page was shown
    // (`board` its value now, `file` the value the page showed).
    const QList<FieldDifference> &changedUnderEdits() const { return m_changedUnderEdits; }

    // The provisioning run the write is part of, named in its entries.
    void setRun(const QString &run) { m_run = run; }
    // The file the written configuration came from, named in its entries.
    void setSourceFile(const ConfigHistory::SourceFile &file) { m_file = file; }

    // One exchange on `link`; true once the transaction has ended.
    bool step(parachuteRadioComm &link);
    // Steps until the end (halvero-cli).
    Outcome run(parachuteRadioComm &link);

    Operation operation() const { return m_operation; }
    Outcome outcome() const { return m_outcome; }
    bool finished() const { return m_outcome != Outcome::Pending; }
    bool succeeded() const { return m_outcome == Outcome::Held; }
    // The write request itself went out (the board may hold the new values).
    bool sent() const { return m_sent; }
    // The board answered the write request itself: its echo or its
    // acknowledgement came back (defaults: any answer; see acknowledged()).
    bool writeAnswered() const { return m_writeAnswered; }
    // Defaults: the answer was the board's acknowledgement (kind 5).
    bool acknowledged() const { return m_acknowledged; }
    // The next step() sends the write itself (else a configuration read,
    // or nothing once finished).
    bool writesNext() const { return m_step == Step::Write; }
    // Read-backs that got no answer before the outcome was known.
    int unansweredReadBacks() const { return m_unansweredReadBacks; }

    // What the transaction was made with (the page as clicked), and what it
    // writes: the same, or the edits over the read before the write.
    const BoardConfig &config() const { return m_config; }
    const BoardConfig &written() const { return m_written; }
    const BoardConfig &before() const { return m_before; }
    // What the board holds once it is done, when known.
    const BoardConfig &after() const { return m_after; }
    bool afterKnown() const { return m_afterKnown; }
    // Fields whose value on the board differs from what was written
    // (`board` the board's value, `file` the written one).
    const QList<FieldDifference> &differences() const { return m_differences; }

    // Why the history did not record: before (then nothing was sent) or
    // after (then only the entry is missing).
    QString historyError() const { return m_historyError; }
    // The last exchange's result, for the words of a failure.
    uint8_t lastResult() const { return m_lastResult; }
    ExchangeOutcome lastExchange() const { return m_lastExchange; }

    // The event a history entry of this operation carries.
    QString event() const;
    // The id each of its history entries carries.
    QString writeId() const { return m_writeId; }

private:
    enum class Step {
        ReadBefore,
        Write,
        ReadBack,
        Done
    };

    uint8_t exchange(parachuteRadioComm &link, bool write, USBmessages kind);
    bool record(const BoardConfig &config, const QString &phase);
    void settle(const BoardConfig &held);
    void mergeEdits();
    void finish(Outcome outcome);

    Operation m_operation;
    BoardConfig m_config;
    BoardConfig m_written;
    std::optional<ConfigHistory::HistoryFile> m_history;
    QString m_tool;
    QString m_run;
    ConfigHistory::SourceFile m_file;
    int m_readBackAttempts;
    QString m_writeId;

    Step m_step = Step::ReadBefore;
    Outcome m_outcome = Outcome::Pending;
    int m_beforeAttempts = 0;
    int m_unansweredReadBacks = 0;
    bool m_sent = false;
    bool m_writeAnswered = false;
    bool m_acknowledged = false;
    bool m_editsOnly = false;
    BoardConfig m_shown;
    QMap<QString, int> m_edits;
    QList<FieldDifference> m_changedUnderEdits;
    BoardConfig m_before;
    BoardConfig m_after;
    bool m_afterKnown = false;
    QList<FieldDifference> m_differences;
    QString m_historyError;
    uint8_t m_lastResult = 0;
    ExchangeOutcome m_lastExchange = ExchangeOutcome::None;
};

#endif // HALVERO_WRITETRANSACTION_H

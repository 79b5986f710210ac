// The sentences the window puts on its status bar: why a board did not
// identify, how an operator command ended, since when a board is silent.
// Pure functions of what the device link reports, so that each sentence can
// be checked without a port.
#ifndef HALVERO_STATUSTEXT_H
#define HALVERO_STATUSTEXT_H

#include <QList>
#include <QString>
#include <QTime>

#include "boardconfig.h"
#include "exchangetext.h"
#include "lostwrite.h"
#include "parachuteradiocomm.h"
#include "sessionevent.h"
#include "writetransaction.h"

namespace StatusText {

// A message of the link, written to follow "halvero-cli: " ("the record
// … cannot be reached: …"), as a sentence of its own in the window.
QString asSentence(const QString &message);

// The sentence for what the board session reported; empty for an event
// the window says nothing of (a board with no page says it with its
// identity). For a lost connection, what became of the write under way.
QString said(const SessionEvent &event);

QString connectionLost(const QTime &at);
// The same, while the window tries the port again by itself.
QString connectionLostRetrying(const QTime &at);
// Edits kept from before a lost connection, of the board `kept` describes,
// were not put in the page of the board that answered instead.
QString keptEditsForAnotherBoard(const BoardConfig &kept);

// A configuration write and what the board answered with: `differences`
// lists the fields whose values the board holds differently.
QString configSaved(const QList<FieldDifference> &differences);
// How a Save CONF or a Set defaults ended, or why it is still waiting for
// the board (which last answered at `lastReply`).
QString writeOutcome(const WriteTransaction &write, const QString &port);
// The whole sentence once a write has ended: its outcome, the fields the
// board changed under the operator's edits, and a history that could not
// record it.
QString writeEnded(const WriteTransaction &write, const QString &port);
QString writePending(const WriteTransaction &write, const QTime &lastReply);
QString notSent();
// A write still queued or unanswered when the board is about to be let go.
QString writeUnfinished(const WriteTransaction &write);
// A write lost with the connection after it went out, while the board is
// away, and what the board held once it was back.
QString lostWritePending(WriteTransaction::Operation operation);
QString lostWriteSettled(const LostWrite::Settled &settled);
// Fields the operator edited that the board itself changed since the page
// was read: the edits were written over them.
QString editedOverChanges(const QList<FieldDifference> &changed);
// The operator's own edit leaves a pair such as the trigger thresholds
// crossed: "Trigger Low (1600) is not below High (1400)."
QString crossedPair(const CrossedPair &pair);
// The history could not take the board's configuration before a write
// (which is then not sent), or what it held after one.
QString writeNotRecorded(const QString &error);
QString resultNotRecorded(const QString &error);

} // namespace StatusText

#endif // HALVERO_STATUSTEXT_H

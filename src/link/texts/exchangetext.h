// Why an exchange with a board brought no usable reply, in one sentence an
// operator can act on: the window's status bar and halvero-cli's error line
// say the same thing in the same words.
#ifndef HALVERO_EXCHANGETEXT_H
#define HALVERO_EXCHANGETEXT_H

#include <QString>

#include "parachuteradiocomm.h"
#include "writetransaction.h"

namespace ExchangeText {

// What the sentence may name besides the outcome.
struct Facts
{
    QString port = {};
    int baud = 0;
    QString productCode = {}; // as the reply gave it, for an unknown product or firmware
    QString firmware = {};
    int replyBytes = 0; // of a reply that could not be read
    // No reply within this wait (ms), but the board answered after it: its
    // late answer was dropped. 0: nothing came late.
    int answeredAfterMs = 0;
};

// The facts of the last exchange on `link`, at `port` and `baud`.
Facts factsOf(const parachuteRadioComm &link, const QString &port, int baud);

// The sentence for an exchange that ended in `outcome`; empty for an
// outcome that needs none (a decoded reply, nothing sent yet).
QString failure(ExchangeOutcome outcome, const Facts &facts);

// Why a write transaction did not end with the board holding what was
// written; empty when it did (or when its history refused it: each program
// says its own way out of that). `operation` is the command as the
// operator gave it ("Save CONF", "config set").
QString writeFailure(const WriteTransaction &write, const QString &operation, const Facts &facts);
// The port closed under a write (`operation`, as the operator gave it),
// before or after it went out.
QString connectionLostDuring(const QString &operation, const QString &port, bool sent);

// A Set defaults the board acknowledged, whose read-back is what the board
// held before: "acknowledged Set defaults; its configuration is unchanged
// (...)", for the board's name to go in front of. Empty for any other write.
QString defaultsUnchanged(const WriteTransaction &write);

// "channel 3 failsafe, trigger High": the fields of `differences` in the
// operator's words.
QString fieldList(const QList<FieldDifference> &differences);

} // namespace ExchangeText

#endif // HALVERO_EXCHANGETEXT_H

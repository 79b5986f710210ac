// Why an exchange with a board brought no usable reply, in one sentence an
// operator can act on: the window's status bar and halvero-cli's error line
// say the same thing in the same words.
#ifndef HALVERO_EXCHANGETEXT_H
#define HALVERO_EXCHANGETEXT_H

#include <QString>

#include "parachuteradiocomm.h"

namespace ExchangeText {

// What the sentence may name besides the outcome.
struct Facts
{
    QString port;
    int baud = 0;
    QString productCode; // as the reply gave it, for an unknown product or firmware
    QString firmware;
    int replyBytes = 0;  // of a reply that could not be read
};

// The sentence for an exchange that ended in `outcome`; empty for an
// outcome that needs none (a decoded reply, nothing sent yet).
QString failure(ExchangeOutcome outcome, const Facts &facts);

} // namespace ExchangeText

#endif // HALVERO_EXCHANGETEXT_H

// What the page shows once a configuration write has ended, and whether the
// outcome needs more than the status bar: a write the board did not take
// as it was sent leaves the operator's values in the page, marked against
// what the board holds, so that Save CONF again is one click away.
#ifndef HALVERO_WRITEOUTCOME_H
#define HALVERO_WRITEOUTCOME_H

#include "boardconfig.h"
#include "writetransaction.h"

namespace WriteOutcome {

// The page after `write` (whose board's answer is known): what the board
// holds, except the fields it holds other values for, which keep what was
// written.
BoardConfig pageAfter(const WriteTransaction &write);
// An outcome the operator must act on, shown until dismissed: anything but
// the board holding what was written, and the connection lost (which the
// window says on its own).
bool needsNotice(const WriteTransaction &write);

} // namespace WriteOutcome

#endif // HALVERO_WRITEOUTCOME_H

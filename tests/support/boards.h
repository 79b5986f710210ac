// The simulated boards the tests talk to.
#ifndef HALVERO_TESTSUPPORT_BOARDS_H
#define HALVERO_TESTSUPPORT_BOARDS_H

#include "simulatedboard.h"

namespace TestSupport {

// A board of each product with firmware 1.3 (08A3), 0.2 (08A2) or 0.1
// (04F2), and chip identifiers and a serial that differ from product to
// product and exercise the display formats (short, long and all-F
// identifiers; zero-filled serial words).
BoardIdentity identityOf(int productCode);

} // namespace TestSupport

#endif // HALVERO_TESTSUPPORT_BOARDS_H

// The simulated boards the tests talk to.
#ifndef HALVERO_TESTSUPPORT_BOARDS_H
#define HALVERO_TESTSUPPORT_BOARDS_H

#include <QByteArray>
#include <QString>
#include <cstdint>

#include "simulatedboard.h"

namespace TestSupport {

// A board of each product with firmware 1.3 (08A3), 0.2 (08A2) or 0.1
// (04F2), and chip identifiers and a serial that differ from product to
// product and exercise the display formats (short, long and all-F
// identifiers; zero-filled serial words).
BoardIdentity identityOf(int productCode);

// The product code belongs to the trigger board's family (04F2), by the
// protocol module's own rule.
bool isTriggerBoard(int productCode);

// The product code as the boards and the window write it: "08A3".
QString productText(int productCode);

// The five bytes every frame to or from this board starts with: the kind,
// then the product code and the firmware version the board identifies with.
QByteArray frameHeader(const BoardIdentity &identity, uint8_t kind);

} // namespace TestSupport

#endif // HALVERO_TESTSUPPORT_BOARDS_H

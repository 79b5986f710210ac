// Board configurations the tests write, record and list.
#ifndef HALVERO_TESTSUPPORT_CONFIGS_H
#define HALVERO_TESTSUPPORT_CONFIGS_H

#include <QString>

#include "boardconfig.h"

namespace TestSupport {

// The simulator's serial number unless told otherwise.
inline const QString simulatorSerial = QStringLiteral("0x203833524E46500900390021");

// An 08A3's configuration with every field at its lowest, trigger High at
// `high`, of the board with `serial`.
BoardConfig switchConfig(int high, const QString &serial = simulatorSerial);

} // namespace TestSupport

#endif // HALVERO_TESTSUPPORT_CONFIGS_H

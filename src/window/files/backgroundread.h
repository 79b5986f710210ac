// A configuration file that is not a regular file (a pipe, a device) read
// on a thread of its own, so that the window never waits on it: a pipe
// that never ends, or never starts, holds that thread at most for the read's
// bound, and /dev/zero stops it at 1 MiB.
#ifndef HALVERO_BACKGROUNDREAD_H
#define HALVERO_BACKGROUNDREAD_H

#include <functional>
#include <memory>

#include "configfileread.h"

class QObject;

namespace BackgroundRead {

// How long a read may take before it is given up.
constexpr int boundMs = 10000;

// Reads the opened `source` and then calls `done` on `owner`'s thread; not
// at all when `owner` is gone by then.
void start(QObject *owner, std::shared_ptr<ConfigFileRead::Source> source,
           std::function<void(const ConfigFileRead::Bytes &)> done);

// A read started for `owner` has not ended yet.
bool busy(const QObject *owner);

} // namespace BackgroundRead

#endif // HALVERO_BACKGROUNDREAD_H

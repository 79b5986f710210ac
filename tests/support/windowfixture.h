// The ground every test that drives the main window stands on: the
// program's globals (poll timer, command queue, device object, port) put
// back as a fresh start finds them, and the poll tick run by hand, so that
// each test decides when the next exchange happens.
#ifndef HALVERO_WINDOWFIXTURE_H
#define HALVERO_WINDOWFIXTURE_H

#include <QString>

class Halvero_configurator;

namespace WindowFixture {

// Stops the poll timer, frees what is queued, deletes a device object left
// behind and closes the port. Says what was left besides the queue (a
// device object, an open port), empty when nothing: a window that closed
// properly leaves neither.
QString resetGlobals();

// `count` poll ticks, as the timer would run them.
void tick(Halvero_configurator &window, int count = 1);

// Ticks until every queued command has ended, at most `limit` ticks; true
// when the queue emptied.
bool runQueue(Halvero_configurator &window, int limit = 20);

} // namespace WindowFixture

#endif // HALVERO_WINDOWFIXTURE_H

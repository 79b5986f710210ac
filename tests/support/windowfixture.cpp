// Globals reset and ticks by hand for the window tests.
#include "windowfixture.h"

#include <QStringList>
#include <QTimer>

#include "Halvero_configurator.h"
#include "testaccess.h"

namespace WindowFixture {

QString resetGlobals()
{
    QStringList left;
    if (radioDevice)
        left << QStringLiteral("a device object");
    if (serialPort.isOpen())
        left << QStringLiteral("an open port");
    scanTimer->stop();
    qDeleteAll(commandQueue);
    commandQueue.clear();
    delete radioDevice;
    radioDevice = nullptr;
    if (serialPort.isOpen())
        serialPort.close();
    return left.join(QLatin1String(" and "));
}

void tick(Halvero_configurator &window, int count)
{
    for (int i = 0; i < count; ++i)
        HalveroTestAccess::tick(window);
}

bool runQueue(Halvero_configurator &window, int limit)
{
    for (int i = 0; i < limit && !commandQueue.isEmpty(); ++i)
        tick(window);
    return commandQueue.isEmpty();
}

} // namespace WindowFixture

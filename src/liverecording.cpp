// Live status beyond the page: the plot and the CSV recording, fed with
// every decoded status reply.
#include "Halvero_configurator.h"

#include <QAction>

void Halvero_configurator::statusReplyShown()
{
}

void Halvero_configurator::setRecording(bool on)
{
    Q_UNUSED(on);
}

// Board configurations the tests write, record and list.
#include "configs.h"

#include "boardconfig.h"

namespace TestSupport {

BoardConfig switchConfig(int high, const QString &serial)
{
    BoardConfig config;
    config.family = BoardFamily::Switch08A3;
    config.productCode = QStringLiteral("08A3");
    config.serial = serial;
    for (const ConfigField &field : configFields(config.family))
        config.values[field.path] = field.min;
    config.values["trigger.high"] = high;
    return config;
}

} // namespace TestSupport

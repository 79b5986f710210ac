// history_append_helper FILE COUNT TOOL [ROTATE_BYTES]: appends COUNT
// entries to the history FILE, numbered in failsafe[0], as TOOL.
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

#include "confighistory.h"

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4)
        return 2;
    ConfigHistory::HistoryFile file(args.at(1), args.size() > 4 ? args.at(4).toLongLong()
                                                                : ConfigHistory::HistoryFile::defaultRotateBytes);
    BoardConfig config;
    config.family = BoardFamily::Switch08A3;
    config.serial = QStringLiteral("0x203833524E46500900390021");
    for (int i = 0; i < args.at(2).toInt(); ++i) {
        config.values.insert(QStringLiteral("failsafe[0]"), i);
        QString error;
        if (!file.append(ConfigHistory::makeEntry(config, ConfigHistory::eventSave, ConfigHistory::phaseBefore,
                                                  args.at(3)), &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
    }
    return 0;
}

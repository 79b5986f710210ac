// Names and sentences of saved configuration files.
#include "savedconfig.h"

#include <QCoreApplication>

namespace SavedConfig {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Halvero_configurator", text);
}

} // namespace

QString fileName(const BoardConfig &board, Source source)
{
    return QStringLiteral("%1-%2-%3.json")
        .arg(board.productCode, board.serial.right(4),
             source == Source::Page ? QStringLiteral("page") : QStringLiteral("board"));
}

QString savedSentence(const QString &path, Source source, bool pageHasEdits)
{
    if (source == Source::Page)
        return pageHasEdits
                   ? tr("Saved the page to %1: its values with the unsaved edits, not what the board holds.").arg(path)
                   : tr("Saved the page to %1; it holds what the board holds.").arg(path);
    return pageHasEdits ? tr("Saved the board's configuration to %1: the values the board holds, not the page's "
                             "unsaved edits.")
                              .arg(path)
                        : tr("Saved the board's configuration to %1.").arg(path);
}

} // namespace SavedConfig

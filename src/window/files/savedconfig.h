// Which configuration a file gets when the operator saves one: what the
// board holds, or what the page shows with its unsaved edits. The file's
// proposed name says which, and so does the status bar once it is written.
#ifndef HALVERO_SAVEDCONFIG_H
#define HALVERO_SAVEDCONFIG_H

#include <QString>

#include "boardconfig.h"

namespace SavedConfig {

enum class Source {
    Board,
    Page
};

// "08A3-0021-board.json", "08A3-0021-page.json": product code and the
// serial's last digits, to tell boards' files apart.
QString fileName(const BoardConfig &board, Source source);
// The status bar's sentence once `path` is written; `pageHasEdits` tells
// whether the page differed from the board.
QString savedSentence(const QString &path, Source source, bool pageHasEdits);

} // namespace SavedConfig

#endif // HALVERO_SAVEDCONFIG_H

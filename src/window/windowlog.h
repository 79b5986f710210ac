// The window's logging categories, one per folder. Debug lines are on in
// the library and in tests; the configurator turns them off unless --debug
// or QT_LOGGING_RULES asks for them.
#ifndef HALVERO_WINDOWLOG_H
#define HALVERO_WINDOWLOG_H

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcWindow)        // halvero.window: the main window, its menus and settings
Q_DECLARE_LOGGING_CATEGORY(lcSession)       // halvero.window.session: connect, the queue, the lost connection
Q_DECLARE_LOGGING_CATEGORY(lcPage)          // halvero.window.page: the page's values and marks
Q_DECLARE_LOGGING_CATEGORY(lcFiles)         // halvero.window.files: files saved and loaded
Q_DECLARE_LOGGING_CATEGORY(lcLive)          // halvero.window.live: the plot and the recording
Q_DECLARE_LOGGING_CATEGORY(lcFit)           // halvero.window.fit: where the window and its docks go
Q_DECLARE_LOGGING_CATEGORY(lcWords)         // halvero.window.words: every status sentence, as said
Q_DECLARE_LOGGING_CATEGORY(lcHistoryWindow) // halvero.window.history: the history window's reading
Q_DECLARE_LOGGING_CATEGORY(lcHelp)          // halvero.window.help: the operator's guide
Q_DECLARE_LOGGING_CATEGORY(lcRecordWindow)  // halvero.window.record: the entries forwarded to the factory's record

#endif // HALVERO_WINDOWLOG_H

// The window's logging categories.
#include "windowlog.h"

Q_LOGGING_CATEGORY(lcWindow, "halvero.window")
Q_LOGGING_CATEGORY(lcSession, "halvero.window.session")
Q_LOGGING_CATEGORY(lcPage, "halvero.window.page")
Q_LOGGING_CATEGORY(lcFiles, "halvero.window.files")
Q_LOGGING_CATEGORY(lcLive, "halvero.window.live")
Q_LOGGING_CATEGORY(lcFit, "halvero.window.fit")
Q_LOGGING_CATEGORY(lcWords, "halvero.window.words")
Q_LOGGING_CATEGORY(lcHistoryWindow, "halvero.window.history")
Q_LOGGING_CATEGORY(lcHelp, "halvero.window.help")
Q_LOGGING_CATEGORY(lcRecordWindow, "halvero.window.record")

#include "logcapture.h"

#include <QtGlobal>

namespace TestSupport {

namespace {

QStringList *capturedLines = nullptr;
QtMessageHandler previousHandler = nullptr;

void captureHandler(QtMsgType type, const QMessageLogContext &context, const QString &msg)
{
    if (type == QtDebugMsg && capturedLines && qstrcmp(context.category, "halvero.link.wire") == 0)
        capturedLines->append(msg);
    else if (previousHandler)
        previousHandler(type, context, msg);
}

} // namespace

LogCapture::LogCapture()
{
    capturedLines = &m_lines;
    previousHandler = qInstallMessageHandler(captureHandler);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(previousHandler);
    capturedLines = nullptr;
}

} // namespace TestSupport

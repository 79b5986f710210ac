// Collects the device link's exchange log (category "halvero.link.wire") while
// it exists; other messages go on to the handler that was installed before.
#ifndef HALVERO_TESTSUPPORT_LOGCAPTURE_H
#define HALVERO_TESTSUPPORT_LOGCAPTURE_H

#include <QStringList>

namespace TestSupport {

class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines() const { return m_lines; }

private:
    QStringList m_lines;
};

} // namespace TestSupport

#endif // HALVERO_TESTSUPPORT_LOGCAPTURE_H

// Bytes written as hex in test data; spaces only aid reading.
#ifndef HALVERO_TESTSUPPORT_HEX_H
#define HALVERO_TESTSUPPORT_HEX_H

#include <QByteArray>

namespace TestSupport {

inline QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

} // namespace TestSupport

#endif // HALVERO_TESTSUPPORT_HEX_H

// Shared by the device link tests: a by-name picture of the state record, a
// record filled with values no reply in the tests carries, and a capture of
// the debug log.
#ifndef LINKTESTHELPERS_H
#define LINKTESTHELPERS_H

#include <QStringList>
#include <QVariantMap>

class parachuteRadioComm;

// Every member of the record, keyed by name ("uniqueId[1]", "failsafeValue[11]").
QVariantMap recordSnapshot(const parachuteRadioComm &device);

// Gives every member a value that differs from its initial one and from what
// any scripted reply carries, so a member a reply should leave alone shows up
// if it is written anyway.
void fillWithSentinels(parachuteRadioComm &device);

// Lists, one per line, the members whose value differs; empty when equal.
QString recordDifferences(const QVariantMap &actual, const QVariantMap &expected);

// Collects the debug messages logged while it exists; other messages go on
// to the handler that was installed before.
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

#endif // LINKTESTHELPERS_H

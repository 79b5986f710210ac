// Helpers of the main window tests: configurations that differ from every
// default, the frames a board expects on the wire, the page as the operator
// sees and types it, and a board that falls silent mid-sequence.
#ifndef WINDOWTESTHELPERS_H
#define WINDOWTESTHELPERS_H

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <thread>

#include "simulatedboard.h"

class Ui_Halvero_configurator;

namespace WindowTest {

// A stored configuration unlike the board's factory one and unlike the
// form's initial values, as the bytes that follow the five-byte header.
QByteArray storedPayload(int productCode);
// Another configuration, unlike storedPayload(), as an operator would type it.
QByteArray editedPayload(int productCode);

// 08A3 payload (35 bytes) from its fields.
QByteArray switchPayload(const uint8_t bank[3], const uint8_t rate[3], const uint16_t failsafe[12], bool activeLow,
                         uint16_t high, uint16_t low);
// 04F2 payload (6 bytes) from its fields.
QByteArray triggerPayload(uint8_t gain, bool activeLow, uint16_t high, uint16_t low);

// Configuration write and set-defaults request of the family, as the board
// must receive them.
QByteArray configWriteFrame(const BoardIdentity &identity, const QByteArray &payload);
QByteArray setDefaultsFrame(const BoardIdentity &identity);

// The payload the family's page shows right now (the 04F2 gain from the
// Internal page). A combo box with no current item reads as 0xFF.
QByteArray shownPayload(Ui_Halvero_configurator *ui, int productCode);
// Types a payload into the family's page (and the gain into the Internal page).
void editPage(Ui_Halvero_configurator *ui, int productCode, const QByteArray &payload);

// Requests as lower-case hex, one entry per request, for readable diffs.
QStringList hexList(const QList<QByteArray> &frames);

// Turns a board silent once it has received a number of requests. The
// window's connect sequence blocks the GUI thread, so the watch runs on a
// thread of its own; the board's next request after the one counted is the
// first to go unanswered.
class SilenceAfter
{
public:
    SilenceAfter(SimulatedBoard &board, int requests);
    ~SilenceAfter();
    SilenceAfter(const SilenceAfter &) = delete;
    SilenceAfter &operator=(const SilenceAfter &) = delete;

    void finish(); // stops watching; the board keeps whatever faults it has
    bool fired() const { return m_fired; }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_fired{false};
    std::thread m_thread;
};

} // namespace WindowTest

#endif // WINDOWTESTHELPERS_H

// One configuration onto one board of a production bench, or one board
// compared with it (an audit that writes nothing), and what became of it in
// one word: the board is opened on a serial port of its own, so that any
// number of boards can be served at once, each from a thread of its own,
// without one board's trouble reaching another's.
#ifndef HALVERO_BOARDPROVISIONING_H
#define HALVERO_BOARDPROVISIONING_H

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>

#include "boardconfig.h"
#include "confighistory.h"

namespace Provisioning {

// What became of a port; outcomeWord() is how reports and scripts name it.
enum class Outcome {
    Held,          // the board holds the configuration
    OtherValues,   // it holds other values for `fields`
    NoAnswer,      // the write went out; no answer came, so what it holds is not known
    SkippedFamily, // a board of another family: nothing written
    NoBoard,       // nothing answered the identity request
    Busy,          // another program has the port
    Error,         // anything else: `message` says what
    Matches,       // check: the board holds the configuration
    Differs,       // check: it holds other values for `differences`
};
QString outcomeWord(Outcome outcome); // "held", "other-values", ..., "matches", "differs"

// Where the work on a port stands, for a live view.
enum class Step {
    Waiting,
    Opening,
    Identifying,
    Reading,
    Writing,
    ReadingBack,
    Verifying,
    Done
};
QString stepText(Step step); // "identifying", "reading back", ...

// One port's row of the report.
struct BoardRow
{
    QString port;        // as the operator or the slots file named it
    QString slot;        // the bench's name for the socket ("bay-3"); empty without a slots file
    QString productCode; // "08A3"; these four are empty when no board identified
    QString family;      // "08A3" or "04F2": the family's name
    QString firmware;
    QString serial;
    Outcome outcome = Outcome::Error;
    // other-values, differs: the fields that differ, `board` the board's
    // value and `file` the configuration's
    QList<FieldDifference> differences;
    QString message;        // why it is not held, or a remark beside it (empty when none)
    QStringList sameSerial; // the other ports whose board gave the same serial number
    bool written = false;   // the write request went out
    double seconds = 0;     // from opening the port to the outcome
    QDateTime finished;     // when the outcome was known, UTC

    QStringList fieldPaths() const; // the differing fields as files name them: "failsafe[0]"
    QString name() const;           // the slot, or the port where there is none
};

// The row of a port the work never reached (an interrupted run).
BoardRow untouched(const QString &port, const QString &why);

// Called from the working thread as the work moves on; the serial number is
// empty until the board has identified itself.
using StepReport = std::function<void(Step step, const QString &serial)>;

struct Settings
{
    BoardConfig config; // whole and in range (loadConfigForWrite)
    qint32 baud = 9600;
    bool verify = false;                               // read the configuration back once more and compare
    std::optional<ConfigHistory::HistoryFile> history; // none: nothing recorded
    QString tool;                                      // the program, as the history names it
    QString operation;                                 // the command, as failure sentences name it ("provision")
    QString run;                                       // the run's id, in every history entry it leaves
    ConfigHistory::SourceFile file;                    // where `config` came from, in every history entry too
};

// Opens `path` (the device behind `port`) and tells what answers there.
// A found board is Held with the identity filled in; otherwise NoBoard,
// Busy or Error.
BoardRow identifyBoard(const QString &port, const QString &path, qint32 baud, const StepReport &report);

// Identifies the board on `path` and, when it is of the configuration's
// family, writes it with the transaction of `config set`: a fresh read
// recorded in the history before, the write, the answer compared, read back
// when it does not show the values, recorded after. Once `stop` is set,
// nothing more goes out before the write; a write under way is finished.
BoardRow provisionBoard(const QString &port, const QString &path, const Settings &settings, const StepReport &report,
                        const std::atomic<bool> &stop);

// Identifies the board on `path` and, when it is of the configuration's
// family, reads its configuration and compares it with `settings.config`:
// Matches or Differs. Nothing is written to the board; what it holds is
// recorded in the history as a "check", with the outcome and the fields that
// differ. `settings.verify` is not used.
BoardRow checkBoard(const QString &port, const QString &path, const Settings &settings, const StepReport &report);

} // namespace Provisioning

#endif // HALVERO_BOARDPROVISIONING_H

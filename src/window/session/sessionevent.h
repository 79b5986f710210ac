// What happened in the board session, as facts and never as words: the
// session reports, and the window chooses the sentence for each event in
// one place (StatusText::said), so that a sentence is not half made in the
// session and finished in the window.
#ifndef HALVERO_SESSIONEVENT_H
#define HALVERO_SESSIONEVENT_H

#include <QString>
#include <QTime>
#include <optional>

#include "exchangetext.h"
#include "parachuteradiocomm.h"
#include "writetransaction.h"

struct SessionEvent
{
    enum class Kind {
        None,
        // How Connect ended.
        NoPortNamed,   // nothing in the port list to open
        PortNotOpened, // `port`; `refusal` says why the system refused it
        NotIdentified, // `outcome` and `facts` of the identity exchange
        NoPage,        // identified, but no page serves its family
        ConfigUnread,  // identified, but the first Read CONF failed (`outcome`)
        Connected,     // `productCode` on `port`
        // A queued read ended: `decoded`, and a dump's `characters`.
        ConfigRead,
        DumpRead,
        // No decoded reply for three ticks: since `since`, the last
        // exchange ended as `outcome`; `late` when the board answers, but
        // after the window's wait.
        Silent,
        // A queued write given up before it went out (`write`).
        WriteDropped,
        // The port closed under the session (a pulled cable). `write`: a
        // write under way then, `writeSent` whether it had gone out, and
        // `outcomeAwaited` when its outcome is read once the board is back.
        ConnectionLost,
    };

    Kind kind = Kind::None;
    QString port;
    QString refusal;
    ExchangeOutcome outcome = ExchangeOutcome::NoReply;
    ExchangeText::Facts facts;
    QString productCode;
    bool decoded = false;
    int characters = 0;
    QTime since;
    bool late = false;
    std::optional<WriteTransaction::Operation> write;
    bool writeSent = false;
    bool outcomeAwaited = false;

    bool isNone() const { return kind == Kind::None; }
};

#endif // HALVERO_SESSIONEVENT_H

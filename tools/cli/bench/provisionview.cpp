// The live lines are redrawn in place with the ANSI cursor movements every
// terminal of today understands (Windows 10 and later once asked to); the
// finished lines and the summary are ordinary lines that stay.
#include "provisionview.h"

#include <QJsonDocument>
#include <QTextStream>
#include <cstdio>

#include "provisionreport.h"
#include "sharedserials.h"

#if defined(Q_OS_WIN)
#include <io.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#elif defined(Q_OS_UNIX)
#include <unistd.h>
#endif

using Provisioning::BoardRow;
using Provisioning::Outcome;

namespace {

// More live lines than this would scroll the top of the block out of reach
// of the cursor on a small terminal; the rest are counted instead.
constexpr int liveLinesShown = 16;
constexpr int serialWidth = 26; // "0x" and 24 digits
constexpr int outcomeWidth = 14; // "skipped-family"

const Outcome allOutcomes[] = {Outcome::Held, Outcome::OtherValues, Outcome::NoAnswer, Outcome::SkippedFamily,
                               Outcome::NoBoard, Outcome::Busy, Outcome::Error};

QString orDash(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("-") : text;
}

bool ansiTerminal()
{
    if (qEnvironmentVariable("TERM") == QLatin1String("dumb"))
        return false;
#if defined(Q_OS_WIN)
    if (!_isatty(_fileno(stdout)))
        return false;
    const HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    return GetConsoleMode(console, &mode)
           && SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
#elif defined(Q_OS_UNIX)
    return ::isatty(STDOUT_FILENO);
#else
    return false;
#endif
}

QList<const BoardRow *> withOutcome(const QList<BoardRow> &rows, Outcome outcome)
{
    QList<const BoardRow *> found;
    for (const BoardRow &row : rows)
        if (row.outcome == outcome)
            found << &row;
    return found;
}

QString portList(const QList<const BoardRow *> &rows)
{
    QStringList ports;
    for (const BoardRow *row : rows)
        ports << row->port;
    return ports.join(QStringLiteral(", "));
}

} // namespace

namespace ProvisionText {

QString summary(const QList<BoardRow> &rows)
{
    const qsizetype held = withOutcome(rows, Outcome::Held).size();
    QStringList parts{QStringLiteral("%1 of %2 %3 %4 the configuration")
                          .arg(held)
                          .arg(rows.size())
                          .arg(rows.size() == 1 ? QStringLiteral("board") : QStringLiteral("boards"),
                               held == 1 ? QStringLiteral("holds") : QStringLiteral("hold"))};
    for (const Outcome outcome : allOutcomes) {
        const QList<const BoardRow *> these = withOutcome(rows, outcome);
        const qsizetype n = these.size();
        if (n == 0)
            continue;
        switch (outcome) {
        case Outcome::Held:
            break;
        case Outcome::OtherValues:
            parts << QStringLiteral("%1 %2 other values: %3")
                         .arg(n)
                         .arg(n == 1 ? QStringLiteral("holds") : QStringLiteral("hold"), portList(these));
            break;
        case Outcome::NoAnswer:
            parts << QStringLiteral("%1 did not answer the write: %2").arg(n).arg(portList(these));
            break;
        case Outcome::SkippedFamily: {
            QStringList products;
            for (const BoardRow *row : these)
                if (!products.contains(row->productCode))
                    products << row->productCode;
            parts << QStringLiteral("%1 skipped (%2)").arg(n).arg(products.join(QStringLiteral(", ")));
            break;
        }
        case Outcome::NoBoard:
            parts << QStringLiteral("%1 no board: %2").arg(n).arg(portList(these));
            break;
        case Outcome::Busy:
            parts << QStringLiteral("%1 busy: %2").arg(n).arg(portList(these));
            break;
        case Outcome::Error:
            parts << QStringLiteral("%1 failed: %2").arg(n).arg(portList(these));
            break;
        }
    }
    parts << SharedSerials::summaryParts(rows);
    return parts.join(QStringLiteral("; "));
}

QJsonObject summaryJson(const QList<BoardRow> &rows)
{
    QJsonObject counts{{QStringLiteral("boards"), int(rows.size())}};
    for (const Outcome outcome : allOutcomes)
        counts.insert(Provisioning::outcomeWord(outcome), int(withOutcome(rows, outcome).size()));
    counts.insert(QStringLiteral("text"), summary(rows));
    return QJsonObject{{QStringLiteral("summary"), counts}};
}

QString rowLine(const BoardRow &row, int portWidth)
{
    const QString said = row.outcome == Outcome::OtherValues ? row.fields.join(QStringLiteral(", ")) : row.message;
    QString line = QStringList{row.port.leftJustified(portWidth),
                               Provisioning::outcomeWord(row.outcome).leftJustified(outcomeWidth),
                               orDash(row.serial).leftJustified(serialWidth), orDash(row.productCode).leftJustified(4),
                               SharedSerials::withRemark(said, row.sameSerial)}
                       .join(QStringLiteral("  "));
    while (line.endsWith(QLatin1Char(' ')))
        line.chop(1);
    return line;
}

} // namespace ProvisionText

ProvisionView::Mode ProvisionView::modeFor(bool json, bool plain)
{
    if (json)
        return Mode::Json;
    return !plain && ansiTerminal() ? Mode::Live : Mode::Lines;
}

ProvisionView::ProvisionView(QTextStream &out, Mode mode, const QStringList &ports)
    : m_out(out), m_mode(mode)
{
    for (const QString &port : ports)
        m_portWidth = qMax(m_portWidth, int(port.size()));
}

QString ProvisionView::liveLine(const ParallelPorts::PortState &state) const
{
    return QStringList{state.port.leftJustified(m_portWidth), orDash(state.serial).leftJustified(serialWidth),
                       Provisioning::stepText(state.step)}
        .join(QStringLiteral("  "));
}

void ProvisionView::update(const QList<ParallelPorts::PortState> &states, const QList<int> &finished,
                           const QList<BoardRow> &rows)
{
    // A finished board's line names the boards of its serial identified
    // so far; the summary and the report name them all.
    QStringList ports;
    QStringList serials;
    for (const ParallelPorts::PortState &state : states) {
        ports << state.port;
        serials << state.serial;
    }
    const auto shown = [&](int index) {
        BoardRow row = rows.at(index);
        row.sameSerial = SharedSerials::others(ports, serials, index);
        return row;
    };
    if (m_mode == Mode::Json) {
        for (const int index : finished)
            m_out << QJsonDocument(ProvisionReport::rowJson(shown(index))).toJson(QJsonDocument::Compact) << '\n';
        m_out.flush();
        return;
    }
    if (m_mode == Mode::Lines) {
        for (const int index : finished)
            m_out << ProvisionText::rowLine(shown(index), m_portWidth) << '\n';
        m_out.flush();
        return;
    }

    // Back to the top of the live block, the finished lines over it, then
    // the block anew and whatever was below it cleared.
    const QString clearLine = QStringLiteral("\x1b[K\n");
    QString text = m_liveLines > 0 ? QStringLiteral("\x1b[%1A\r").arg(m_liveLines) : QStringLiteral("\r");
    for (const int index : finished)
        text += ProvisionText::rowLine(shown(index), m_portWidth) + clearLine;
    QStringList live;
    int waiting = 0;
    int done = 0;
    for (const ParallelPorts::PortState &state : states) {
        if (state.step == Provisioning::Step::Waiting)
            ++waiting;
        else if (state.step == Provisioning::Step::Done)
            ++done;
        else
            live << liveLine(state);
    }
    const qsizetype atWork = live.size();
    if (live.size() > liveLinesShown)
        live = live.mid(0, liveLinesShown);
    if (done < states.size()) {
        QString count = QStringLiteral("%1 of %2 done").arg(done).arg(states.size());
        if (atWork > live.size())
            count += QStringLiteral(", %1 more at work").arg(atWork - live.size());
        if (waiting > 0)
            count += QStringLiteral(", %1 waiting").arg(waiting);
        live << count;
    }
    // The live lines do not wrap (long ones are cut at the edge), so that
    // the block is as many rows as it has lines to go back over next time.
    text += QStringLiteral("\x1b[?7l");
    for (const QString &line : live)
        text += line + clearLine;
    text += QStringLiteral("\x1b[J\x1b[?7h");
    m_liveLines = int(live.size());
    m_out << text;
    m_out.flush();
}

void ProvisionView::finish(const QList<BoardRow> &rows)
{
    if (m_mode == Mode::Json)
        m_out << QJsonDocument(ProvisionText::summaryJson(rows)).toJson(QJsonDocument::Compact) << '\n';
    else
        m_out << ProvisionText::summary(rows) << '\n';
    m_out.flush();
}

// The live lines are redrawn in place with the ANSI cursor movements every
// terminal of today understands (Windows 10 and later once asked to); the
// finished lines and the summary are ordinary lines that stay. A finished
// board waits in the live block until every board named before it has its
// line, so that the lines that stay read in the bench's order.
#include "provisionview.h"

#include <QJsonDocument>
#include <QTextStream>
#include <cstdio>

#include "displayformat.h"
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
constexpr int serialWidth = 26;  // "0x" and 24 digits
constexpr int outcomeWidth = 14; // "skipped-family", and every step's text
constexpr int productWidth = 4;

QList<Outcome> outcomesOf(BenchCommand command)
{
    if (command == BenchCommand::Check)
        return {Outcome::Matches, Outcome::Differs, Outcome::SkippedFamily,
                Outcome::NoBoard, Outcome::Busy,    Outcome::Error};
    return {Outcome::Held,    Outcome::OtherValues, Outcome::NoAnswer, Outcome::SkippedFamily,
            Outcome::NoBoard, Outcome::Busy,        Outcome::Error};
}

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
    return GetConsoleMode(console, &mode) && SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
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

QString nameList(const QList<const BoardRow *> &rows)
{
    QStringList names;
    for (const BoardRow *row : rows)
        names << row->name();
    return names.join(QStringLiteral(", "));
}

// The cells before the outcome or step: the slot (when there are slots)
// and the port.
QString placeCells(const QString &slot, const QString &port, const ProvisionText::Columns &columns)
{
    const QString portCell = port.leftJustified(columns.port);
    return columns.slot > 0
               ? DisplayFormat::printable(slot).leftJustified(columns.slot) + QStringLiteral("  ") + portCell
               : portCell;
}

QString trimmedEnd(QString line)
{
    while (line.endsWith(QLatin1Char(' ')))
        line.chop(1);
    return line;
}

} // namespace

namespace ProvisionText {

Columns columnsFor(const QStringList &slotNames, const QStringList &ports)
{
    Columns columns;
    for (const QString &slot : slotNames)
        columns.slot = qMax(columns.slot, int(DisplayFormat::printable(slot).size()));
    for (const QString &port : ports)
        columns.port = qMax(columns.port, int(port.size()));
    return columns;
}

QString summary(const QList<BoardRow> &rows, BenchCommand command)
{
    const bool check = command == BenchCommand::Check;
    const qsizetype good = withOutcome(rows, check ? Outcome::Matches : Outcome::Held).size();
    const QString boards = rows.size() == 1 ? QStringLiteral("board") : QStringLiteral("boards");
    QStringList parts{check ? QStringLiteral("%1 of %2 %3 %4 the file")
                                  .arg(good)
                                  .arg(rows.size())
                                  .arg(boards, good == 1 ? QStringLiteral("matches") : QStringLiteral("match"))
                            : QStringLiteral("%1 of %2 %3 %4 the configuration")
                                  .arg(good)
                                  .arg(rows.size())
                                  .arg(boards, good == 1 ? QStringLiteral("holds") : QStringLiteral("hold"))};
    for (const Outcome outcome : outcomesOf(command)) {
        const QList<const BoardRow *> these = withOutcome(rows, outcome);
        const qsizetype n = these.size();
        if (n == 0)
            continue;
        switch (outcome) {
        case Outcome::Held:
        case Outcome::Matches:
            break;
        case Outcome::OtherValues:
            parts << QStringLiteral("%1 %2 other values: %3")
                         .arg(n)
                         .arg(n == 1 ? QStringLiteral("holds") : QStringLiteral("hold"), nameList(these));
            break;
        case Outcome::Differs:
            parts << QStringLiteral("%1 %2: %3")
                         .arg(n)
                         .arg(n == 1 ? QStringLiteral("differs") : QStringLiteral("differ"), nameList(these));
            break;
        case Outcome::NoAnswer:
            parts << QStringLiteral("%1 did not answer the write: %2").arg(n).arg(nameList(these));
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
            parts << QStringLiteral("%1 no board: %2").arg(n).arg(nameList(these));
            break;
        case Outcome::Busy:
            parts << QStringLiteral("%1 busy: %2").arg(n).arg(nameList(these));
            break;
        case Outcome::Error:
            parts << QStringLiteral("%1 failed: %2").arg(n).arg(nameList(these));
            break;
        }
    }
    parts << SharedSerials::summaryParts(rows);
    return parts.join(QStringLiteral("; "));
}

QJsonObject summaryJson(const QList<BoardRow> &rows, BenchCommand command)
{
    QJsonObject counts{{QStringLiteral("boards"), int(rows.size())}};
    for (const Outcome outcome : outcomesOf(command))
        counts.insert(Provisioning::outcomeWord(outcome), int(withOutcome(rows, outcome).size()));
    counts.insert(QStringLiteral("text"), summary(rows, command));
    return QJsonObject{{QStringLiteral("summary"), counts}};
}

QString rowLine(const BoardRow &row, const Columns &columns)
{
    return trimmedEnd(QStringList{
        placeCells(row.slot, row.port, columns), Provisioning::outcomeWord(row.outcome).leftJustified(outcomeWidth),
        orDash(row.serial).leftJustified(serialWidth), orDash(row.productCode).leftJustified(productWidth),
        SharedSerials::withRemark(row.message, row.sameSerial)}
                          .join(QStringLiteral("  ")));
}

} // namespace ProvisionText

ProvisionView::Mode ProvisionView::modeFor(bool json, bool plain)
{
    if (json)
        return Mode::Json;
    return !plain && ansiTerminal() ? Mode::Live : Mode::Lines;
}

ProvisionView::ProvisionView(QTextStream &out, Mode mode, const QStringList &ports, const QStringList &slotNames,
                             BenchCommand command)
    : m_out(out)
    , m_mode(mode)
    , m_command(command)
    , m_slotNames(slotNames)
    , m_columns(ProvisionText::columnsFor(slotNames, ports))
{}

// In the columns of the finished lines: the step where the outcome will be.
QString ProvisionView::liveLine(int index, const ParallelPorts::PortState &state) const
{
    return trimmedEnd(QStringList{placeCells(m_slotNames.value(index), state.port, m_columns),
                                  Provisioning::stepText(state.step).leftJustified(outcomeWidth), orDash(state.serial)}
                          .join(QStringLiteral("  ")));
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
    const auto withSharedSerial = [&](int index) {
        BoardRow row = rows.at(index);
        row.sameSerial = SharedSerials::others(ports, serials, index);
        return row;
    };
    if (m_mode == Mode::Json) {
        for (const int index : finished)
            m_out << QJsonDocument(ProvisionReport::rowJson(withSharedSerial(index))).toJson(QJsonDocument::Compact)
                  << '\n';
        m_out.flush();
        return;
    }
    if (m_mode == Mode::Lines) {
        for (const int index : finished)
            m_out << ProvisionText::rowLine(withSharedSerial(index), m_columns) << '\n';
        m_out.flush();
        return;
    }

    // Back to the top of the live block, the lines now due over it, then
    // the block anew and whatever was below it cleared.
    for (const int index : finished)
        m_finished.insert(index);
    const QString clearLine = QStringLiteral("\x1b[K\n");
    QString text = m_liveLines > 0 ? QStringLiteral("\x1b[%1A\r").arg(m_liveLines) : QStringLiteral("\r");
    for (; m_listed < states.size() && m_finished.contains(m_listed); ++m_listed)
        text += ProvisionText::rowLine(withSharedSerial(m_listed), m_columns) + clearLine;
    QStringList live;
    int waiting = 0;
    int atWork = 0;
    for (int i = m_listed; i < states.size(); ++i) {
        const ParallelPorts::PortState &state = states.at(i);
        if (m_finished.contains(i)) {
            live << ProvisionText::rowLine(withSharedSerial(i), m_columns);
            continue;
        }
        if (state.step == Provisioning::Step::Waiting) {
            ++waiting;
            continue;
        }
        ++atWork;
        live << liveLine(i, state);
    }
    const qsizetype shown = qMin<qsizetype>(live.size(), liveLinesShown);
    const qsizetype hidden = live.size() - shown;
    live = live.mid(0, shown);
    if (m_listed < states.size()) {
        QString count =
            QStringLiteral("%1 of %2 done, %3 at work").arg(m_finished.size()).arg(states.size()).arg(atWork);
        if (hidden > 0)
            count += QStringLiteral(", %1 more not shown").arg(hidden);
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
        m_out << QJsonDocument(ProvisionText::summaryJson(rows, m_command)).toJson(QJsonDocument::Compact) << '\n';
    else
        m_out << ProvisionText::summary(rows, m_command) << '\n';
    m_out.flush();
}

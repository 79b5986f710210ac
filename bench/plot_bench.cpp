// CPU cost of the live plot: one status sample added and the plot repainted
// at its usual size with a full ring, offscreen, for each board family; and
// from it the share of one core the plot takes at one sample per poll.
// `--png PREFIX` instead writes the two plots, filled with the same data, as
// PREFIX-08A3.png and PREFIX-04F2.png for a look.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QImage>
#include <QWindow>
#include <QtGlobal>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "boardconfig.h"
#include "liveplot.h"
#include "parachuteradiocomm.h"
#include "protocol.h"

namespace {

const QSize usualSize(680, 300);
constexpr qint64 startMs = 1'780'000'000'000;

// What a board reports over a few minutes, sample by sample: a switch board
// whose receiver's stick is moved about and whose signal drops out for a
// while; a trigger board whose battery sags, and which fires a fuse once.
void statusAt(BoardFamily family, int sample, parachuteRadioComm &record)
{
    const double t = sample * Protocol::pollIntervalMs / 1000.0;
    if (family == BoardFamily::Switch08A3) {
        record.triggerPresent = !(t > 120 && t < 135);
        const double stick = t < 60 ? 0 : std::sin(t / 9) * 380 + (t > 200 ? 150 : 0);
        record.triggerValue = uint16_t(std::lround(1500 + stick + std::sin(t * 7.3) * 3));
        record.triggerFrequency = uint16_t(50 + (sample % 7 == 0 ? 1 : 0));
        record.failsafeActive = !record.triggerPresent;
    } else {
        const bool firing = t > 180 && t < 182;
        // In the board's own steps: battery 0.2 V, trigger 0.1 V, probe 2 A, 0.5 °C.
        record.batteryVoltage = float(62 - int(t / 100) - (firing ? 4 : 0)) / 5;
        record.triggerVoltage = float(t > 170 && t < 185 ? 50 : 0) / 10;
        record.fuseProbeCurrent = float(t < 182 ? 1 : 0) * 2;
        record.fuseCurrent = float(firing ? 7 : 0);
        record.fusePeakCurrent = float(t > 180 ? 9 : 0);
        record.temperature = float(110 + int(t / 40) + (sample % 11 == 0 ? 1 : 0)) * 0.5f - 25;
    }
}

// A plot of the usual size holding a full ring of that board's samples.
void fill(LivePlot &plot, BoardFamily family, parachuteRadioComm &record)
{
    plot.setFamily(family);
    BoardConfig thresholds;
    thresholds.family = family;
    thresholds.values = {{QStringLiteral("trigger.high"), 1600}, {QStringLiteral("trigger.low"), 1400}};
    plot.setThresholds(thresholds);
    plot.resize(usualSize);
    for (int sample = 0; sample < plot.capacity(); ++sample) {
        statusAt(family, sample, record);
        plot.addStatus(record, startMs + qint64(sample) * Protocol::pollIntervalMs);
    }
}

// Counts the paint events a widget receives: a repaint of a window that is
// not exposed yet paints nothing, and would be measured as free.
class PaintCounter : public QObject
{
public:
    qint64 paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// As the window does it: the sample arrives, then the widget is painted
// through the window's backing store.
void addAndRepaint(benchmark::State &state, BoardFamily family)
{
    LivePlot plot;
    parachuteRadioComm record(QString(), 0);
    fill(plot, family, record);
    plot.show();
    QDeadlineTimer deadline(5000);
    while (!(plot.windowHandle() && plot.windowHandle()->isExposed()) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QCoreApplication::processEvents();
    PaintCounter counter;
    plot.installEventFilter(&counter);
    int sample = plot.capacity();
    for (auto _ : state) {
        statusAt(family, sample, record);
        plot.addStatus(record, startMs + qint64(sample) * Protocol::pollIntervalMs);
        plot.repaint();
        ++sample;
    }
    if (plot.sampleCount() != plot.capacity())
        state.SkipWithError("the ring does not stay full");
    else if (counter.paints != qint64(state.iterations()))
        state.SkipWithError("the plot was not painted once per sample");
}

// The sample alone, without the repaint it asks for.
void addOnly(benchmark::State &state, BoardFamily family)
{
    LivePlot plot;
    parachuteRadioComm record(QString(), 0);
    fill(plot, family, record);
    int sample = plot.capacity();
    for (auto _ : state) {
        statusAt(family, sample, record);
        plot.addStatus(record, startMs + qint64(sample) * Protocol::pollIntervalMs);
        ++sample;
    }
}

// The console table, and under it what each benchmark's CPU time per sample
// comes to at one sample per poll: the share of one core the plot takes.
class ShareReporter : public benchmark::ConsoleReporter
{
public:
    ShareReporter()
        : ConsoleReporter(OO_Tabular)
    {}

    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            // With --benchmark_repetitions, the median of the repetitions.
            if (run.error_occurred || (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median"))
                continue;
            const double seconds = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            shares.push_back(
                run.benchmark_name() + ": "
                + QString::number(seconds / (Protocol::pollIntervalMs / 1000.0) * 100, 'g', 3).toStdString()
                + " % of one core at one sample per " + std::to_string(Protocol::pollIntervalMs) + " ms");
        }
    }
    std::vector<std::string> shares;
};

bool writePngs(const QString &prefix)
{
    for (const BoardFamily family : {BoardFamily::Switch08A3, BoardFamily::Trigger04F2}) {
        LivePlot plot;
        parachuteRadioComm record(QString(), 0);
        fill(plot, family, record);
        QImage image(plot.size(), QImage::Format_ARGB32_Premultiplied);
        plot.render(&image);
        const QString path = prefix + QLatin1Char('-') + Protocol::familyName(family) + QStringLiteral(".png");
        if (!image.save(path)) {
            qWarning("cannot write %s", qPrintable(path));
            return false;
        }
    }
    return true;
}

} // namespace

BENCHMARK_CAPTURE(addAndRepaint, 08A3, BoardFamily::Switch08A3);
BENCHMARK_CAPTURE(addAndRepaint, 04F2, BoardFamily::Trigger04F2);
BENCHMARK_CAPTURE(addOnly, 08A3, BoardFamily::Switch08A3);
BENCHMARK_CAPTURE(addOnly, 04F2, BoardFamily::Trigger04F2);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::vector<char *> rest;
    QString pngPrefix;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--png") == 0 && i + 1 < argc)
            pngPrefix = QString::fromLocal8Bit(argv[++i]);
        else
            rest.push_back(argv[i]);
    }
    if (!pngPrefix.isEmpty())
        return writePngs(pngPrefix) ? 0 : 1;
    int restCount = int(rest.size());
    benchmark::Initialize(&restCount, rest.data());
    if (benchmark::ReportUnrecognizedArguments(restCount, rest.data()))
        return 1;
    ShareReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const std::string &line : reporter.shares)
        std::printf("%s\n", line.c_str());
    benchmark::Shutdown();
    return 0;
}

// The live status plot: a fixed ring of samples and a QPainter drawing of
// it, redrawn when a sample arrives.
#include "liveplot.h"

#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>
#include <utility>

#include "parachuteradiocomm.h"

namespace {

struct PaneInfo
{
    double minSpan;        // the smallest value range shown, so noise stays small
    double defaultLow;     // the range shown before there is anything to scale to
    double defaultHigh;
};

struct SeriesInfo
{
    const char *name;
    const char *unit;
    int pane;
    QRgb color;
};

struct FamilyInfo
{
    std::vector<PaneInfo> panes;
    std::vector<SeriesInfo> series;
};

const FamilyInfo &familyInfo(BoardFamily family)
{
    static const FamilyInfo none;
    static const FamilyInfo switchBoard{
        {{100, Protocol::pulseMinUs, Protocol::pulseMaxUs}, {10, 0, 100}},
        {{QT_TRANSLATE_NOOP("LivePlot", "Trigger pulse"), "µs", 0, 0xff1f77b4},
         {QT_TRANSLATE_NOOP("LivePlot", "Trigger frequency"), "Hz", 1, 0xffff7f0e}}};
    static const FamilyInfo triggerBoard{
        {{1, 0, 15}, {1, 0, 10}, {5, 0, 50}},
        {{QT_TRANSLATE_NOOP("LivePlot", "Battery"), "V", 0, 0xff1f77b4},
         {QT_TRANSLATE_NOOP("LivePlot", "Trigger"), "V", 0, 0xffff7f0e},
         {QT_TRANSLATE_NOOP("LivePlot", "Fuse probe"), "A", 1, 0xff2ca02c},
         {QT_TRANSLATE_NOOP("LivePlot", "Fuse"), "A", 1, 0xff9467bd},
         {QT_TRANSLATE_NOOP("LivePlot", "Fuse peak"), "A", 1, 0xffd62728},
         {QT_TRANSLATE_NOOP("LivePlot", "Temperature"), "°C", 2, 0xff8c564b}}};
    switch (family) {
    case BoardFamily::Switch08A3:
        return switchBoard;
    case BoardFamily::Trigger04F2:
        return triggerBoard;
    default:
        return none;
    }
}

constexpr double gap = std::numeric_limits<double>::quiet_NaN();

// Two samples further apart than this are not joined by a line: the board
// did not answer in between (or the window stopped polling).
constexpr qint64 joinLimitMs = 4 * Protocol::pollIntervalMs;

// Layout, in pixels.
constexpr double outerMargin = 4;
constexpr double paneSpacing = 6;
constexpr double tickLength = 3;

// 1, 2 or 5 times a power of ten, at least `rough`.
double niceStep(double rough)
{
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
        if (factor * power >= rough * (1 - 1e-9))
            return factor * power;
    }
    return 10 * power;
}

// The time axis spans the samples held, in steps that change rarely as
// they accumulate.
double timeSpanSeconds(qint64 extentMs)
{
    const double extent = double(extentMs) / 1000;
    for (const double span : {30.0, 60.0, 120.0, 180.0, 300.0}) {
        if (extent <= span)
            return span;
    }
    return std::ceil(extent / 60) * 60;
}

double timeStepSeconds(double span, double width, double labelWidth)
{
    const int most = std::max(1, int(width / (labelWidth * 2)));
    for (const double step : {5.0, 10.0, 15.0, 30.0, 60.0, 120.0, 300.0}) {
        if (span / step <= most)
            return step;
    }
    return std::ceil(span / most / 60) * 60;
}

// Where a moment that many seconds before the newest sample goes, with
// room on the right for the newest sample's dot.
double timeX(const QRectF &area, double secondsAgo, double span)
{
    constexpr double inner = 4;
    return area.right() - inner - secondsAgo / span * (area.width() - inner);
}

QString tickText(double value, double step)
{
    const int decimals = std::max(0, int(-std::floor(std::log10(step) + 1e-9)));
    // Rounding can leave -0 on the zero line.
    return QString::number(std::abs(value) < step / 2 ? 0.0 : value, 'f', decimals);
}

} // namespace

LivePlot::LivePlot(QWidget *parent, int capacity)
    : QWidget(parent), m_capacity(std::max(1, capacity)), m_times(size_t(m_capacity)),
      m_values(size_t(m_capacity) * maxSeries)
{
    setObjectName(QStringLiteral("plot_live"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void LivePlot::setFamily(BoardFamily family)
{
    m_family = family;
    m_highUs = 0;
    m_lowUs = 0;
    clear();
}

void LivePlot::setThresholds(int highUs, int lowUs)
{
    if (m_family != BoardFamily::Switch08A3)
        return;
    m_highUs = std::max(0, highUs);
    m_lowUs = std::max(0, lowUs);
    update();
}

void LivePlot::clear()
{
    m_first = 0;
    m_count = 0;
    update();
}

void LivePlot::addStatus(const parachuteRadioComm &record, qint64 msecsSinceEpoch)
{
    if (m_family == BoardFamily::Unknown)
        return;
    // Samples from before a step of the system clock back would sit in the
    // future of the new ones: they are dropped.
    if (m_count > 0 && msecsSinceEpoch < sampleTime(m_count - 1))
        clear();

    int at;
    if (m_count < m_capacity) {
        at = slot(m_count);
        ++m_count;
    } else {
        at = m_first;
        m_first = (m_first + 1) % m_capacity;
    }
    m_times[size_t(at)] = msecsSinceEpoch;
    float *values = &m_values[size_t(at) * maxSeries];
    std::fill(values, values + maxSeries, float(gap));
    if (m_family == BoardFamily::Switch08A3) {
        if (record.triggerPresent) {
            values[0] = record.triggerValue;
            values[1] = record.triggerFrequency;
        }
    } else {
        values[0] = record.batteryVoltage;
        values[1] = record.triggerVoltage;
        values[2] = record.fuseProbeCurrent;
        values[3] = record.fuseCurrent;
        values[4] = record.fusePeakCurrent;
        values[5] = record.temperature;
    }
    update();
}

qint64 LivePlot::sampleTime(int sample) const
{
    return sample >= 0 && sample < m_count ? m_times[size_t(slot(sample))] : 0;
}

double LivePlot::value(int series, int sample) const
{
    if (series < 0 || series >= seriesCount() || sample < 0 || sample >= m_count)
        return gap;
    return double(m_values[size_t(slot(sample)) * maxSeries + size_t(series)]);
}

int LivePlot::seriesCount() const
{
    return int(familyInfo(m_family).series.size());
}

QString LivePlot::seriesName(int series) const
{
    if (series < 0 || series >= seriesCount())
        return QString();
    const SeriesInfo &info = familyInfo(m_family).series[size_t(series)];
    return QStringLiteral("%1 (%2)").arg(tr(info.name), QString::fromUtf8(info.unit));
}

QColor LivePlot::seriesColor(int series) const
{
    if (series < 0 || series >= seriesCount())
        return QColor();
    return QColor::fromRgba(familyInfo(m_family).series[size_t(series)].color);
}

int LivePlot::seriesPane(int series) const
{
    if (series < 0 || series >= seriesCount())
        return -1;
    return familyInfo(m_family).series[size_t(series)].pane;
}

int LivePlot::paneCount() const
{
    return int(familyInfo(m_family).panes.size());
}

QColor LivePlot::highThresholdColor()
{
    return QColor(0xc0, 0x20, 0x20);
}

QColor LivePlot::lowThresholdColor()
{
    return QColor(0x10, 0x80, 0x30);
}

QRectF LivePlot::paneArea(int pane) const
{
    const int panes = paneCount();
    if (pane < 0 || pane >= panes)
        return QRectF();
    const QFontMetricsF metrics(font());
    const double line = metrics.height();
    // Room on the left for the widest tick label, below for the time labels.
    const double left = outerMargin + metrics.horizontalAdvance(QStringLiteral("-0000.0")) + tickLength + 2;
    const double right = outerMargin + 2;
    const double bottom = outerMargin + line + tickLength;
    const double paneHeight = (height() - outerMargin - bottom - (panes - 1) * paneSpacing) / panes;
    const double legend = line + 2;
    const QRectF area(left, outerMargin + pane * (paneHeight + paneSpacing) + legend, width() - left - right,
                      paneHeight - legend);
    return area.isValid() ? area : QRectF();
}

QSize LivePlot::sizeHint() const
{
    return QSize(680, 300);
}

QSize LivePlot::minimumSizeHint() const
{
    return QSize(320, 180);
}

void LivePlot::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(palette().color(QPalette::WindowText));

    if (m_family == BoardFamily::Unknown) {
        painter.drawText(rect(), Qt::AlignCenter, tr("No board connected"));
        return;
    }
    const qint64 newest = m_count > 0 ? sampleTime(m_count - 1) : 0;
    const double span = timeSpanSeconds(m_count > 0 ? newest - sampleTime(0) : 0);
    for (int pane = 0; pane < paneCount(); ++pane)
        drawPane(painter, pane, span, newest);

    // The time axis under the bottom pane, in seconds before the newest sample.
    const QRectF bottom = paneArea(paneCount() - 1);
    if (bottom.isEmpty())
        return;
    const QFontMetricsF metrics(font());
    const double step = timeStepSeconds(span, bottom.width(), metrics.horizontalAdvance(QStringLiteral("-000 s")));
    painter.setPen(palette().color(QPalette::WindowText));
    for (double t = 0; t <= span + 1e-9; t += step) {
        const double x = timeX(bottom, t, span);
        painter.drawLine(QPointF(x, bottom.bottom()), QPointF(x, bottom.bottom() + tickLength));
        const QString text = t == 0 ? tr("now") : QStringLiteral("-%1 s").arg(t);
        const double w = metrics.horizontalAdvance(text);
        const double textX = std::clamp(x - w / 2, bottom.left() - metrics.height(), double(width()) - w - 1);
        painter.drawText(QPointF(textX, bottom.bottom() + tickLength + metrics.ascent()), text);
    }
    if (m_count == 0)
        painter.drawText(paneArea(0), Qt::AlignCenter, tr("Waiting for the board's status"));
}

void LivePlot::drawPane(QPainter &painter, int pane, double spanS, qint64 newest) const
{
    const QRectF area = paneArea(pane);
    if (area.isEmpty())
        return;
    const FamilyInfo &info = familyInfo(m_family);
    const PaneInfo &paneInfo = info.panes[size_t(pane)];
    const QFontMetricsF metrics(font());
    const qint64 oldestShown = newest - qint64(spanS * 1000);
    const bool thresholds = m_family == BoardFamily::Switch08A3 && pane == 0;

    // The value range: what the visible samples hold (and the thresholds),
    // at least the pane's smallest span, padded and rounded out to ticks.
    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    for (int sample = 0; sample < m_count; ++sample) {
        if (sampleTime(sample) < oldestShown)
            continue;
        const float *values = &m_values[size_t(slot(sample)) * maxSeries];
        for (size_t s = 0; s < info.series.size(); ++s) {
            if (info.series[s].pane != pane || std::isnan(values[s]))
                continue;
            low = std::min(low, double(values[s]));
            high = std::max(high, double(values[s]));
        }
    }
    if (thresholds) {
        for (const int threshold : {m_highUs, m_lowUs}) {
            if (threshold > 0) {
                low = std::min(low, double(threshold));
                high = std::max(high, double(threshold));
            }
        }
    }
    if (!(low <= high)) {
        low = paneInfo.defaultLow;
        high = paneInfo.defaultHigh;
    }
    // None of the values goes below zero but the temperature: a pane whose
    // values do not, does not either.
    const bool positive = low >= 0;
    if (high - low < paneInfo.minSpan) {
        const double middle = (low + high) / 2;
        low = middle - paneInfo.minSpan / 2;
        high = middle + paneInfo.minSpan / 2;
    }
    const double padding = (high - low) * 0.05;
    low -= padding;
    high += padding;
    if (positive && low < 0) {
        high -= low;
        low = 0;
    }
    const int ticks = std::max(2, int(area.height() / (metrics.height() * 1.5)));
    const double step = niceStep((high - low) / ticks);
    low = std::floor(low / step) * step;
    high = std::ceil(high / step) * step;

    // A few pixels inside the frame, so that a curve along the range's end
    // (a current of 0 A) is not hidden by it.
    const double inner = area.height() > 40 ? 4 : 0;
    const auto yOf = [&](double v) {
        return area.bottom() - inner - (v - low) / (high - low) * (area.height() - 2 * inner);
    };
    const auto xOf = [&](qint64 t) { return timeX(area, double(newest - t) / 1000, spanS); };

    // Frame, grid and value ticks.
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(area, palette().base());
    // Solid and faint rather than dotted: a dash pattern costs more to draw.
    const QColor base = palette().color(QPalette::Base);
    const QColor text = palette().color(QPalette::Text);
    const auto mix = [&](double share) {
        return QColor::fromRgbF(float(base.redF() + (text.redF() - base.redF()) * share),
                                float(base.greenF() + (text.greenF() - base.greenF()) * share),
                                float(base.blueF() + (text.blueF() - base.blueF()) * share));
    };
    const QColor gridColor = mix(0.12);
    painter.setPen(gridColor);
    for (double v = low; v < high + step / 2; v += step)
        painter.drawLine(QPointF(area.left(), yOf(v)), QPointF(area.right(), yOf(v)));
    const double timeStep = timeStepSeconds(spanS, area.width(), metrics.horizontalAdvance(QStringLiteral("-000 s")));
    for (double t = timeStep; t < spanS - timeStep / 2; t += timeStep) {
        const double x = timeX(area, t, spanS);
        painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
    }
    painter.setPen(mix(0.45));
    painter.drawRect(area);
    painter.setPen(palette().color(QPalette::WindowText));
    for (double v = low; v <= high + step / 2; v += step) {
        const double y = yOf(v);
        painter.drawLine(QPointF(area.left() - tickLength, y), QPointF(area.left(), y));
        const QString text = tickText(v, step);
        const double w = metrics.horizontalAdvance(text);
        const double textY = std::clamp(y + metrics.ascent() / 2 - 1, area.top() - 2 + metrics.ascent() / 2,
                                        area.bottom() + metrics.descent());
        painter.drawText(QPointF(area.left() - tickLength - 2 - w, textY), text);
    }

    painter.save();
    painter.setClipRect(area.adjusted(1, 1, -1, -1));
    painter.setRenderHint(QPainter::Antialiasing);
    if (thresholds) {
        for (const auto &[threshold, color] : {std::pair(m_highUs, highThresholdColor()),
                                               std::pair(m_lowUs, lowThresholdColor())}) {
            if (threshold <= 0)
                continue;
            const double y = std::round(yOf(threshold)) + 0.5;
            painter.setPen(QPen(color, 1.5, Qt::DashLine));
            painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        }
    }

    // The curves: one polyline per run of joined samples, a dot for a
    // sample with no neighbour. A pen wider than a pixel goes through Qt's
    // general stroker, which costs microseconds a point (a full ring of the
    // switch board took 10 ms a repaint with a 2 px pen); a 1 px line has a
    // fast path, and drawn again a pixel lower it reads as a 2 px line.
    QPolygonF run;
    run.reserve(m_count);
    for (size_t s = 0; s < info.series.size(); ++s) {
        if (info.series[s].pane != pane)
            continue;
        const QColor color = QColor::fromRgba(info.series[s].color);
        QPen pen(color, 1);
        pen.setCosmetic(true);
        painter.setBrush(color);
        const auto flush = [&] {
            if (run.size() == 1) {
                painter.setPen(Qt::NoPen);
                painter.drawEllipse(run.first(), 2.5, 2.5);
            } else if (run.size() > 1) {
                painter.setPen(pen);
                painter.drawPolyline(run);
                run.translate(0, 1);
                painter.drawPolyline(run);
            }
            run.clear();
        };
        qint64 previous = 0;
        for (int sample = 0; sample < m_count; ++sample) {
            const qint64 t = sampleTime(sample);
            const float v = m_values[size_t(slot(sample)) * maxSeries + s];
            if (std::isnan(v) || t < oldestShown) {
                flush();
                continue;
            }
            if (!run.isEmpty() && t - previous > joinLimitMs)
                flush();
            // On a pixel row's centre, a flat stretch is two crisp rows; and
            // of a flat stretch only its ends are kept, as the trigger
            // board's readings are mostly steady.
            const QPointF point(xOf(t), std::floor(yOf(v)) + 0.5);
            const qsizetype n = run.size();
            if (n >= 2 && run[n - 1].y() == point.y() && run[n - 2].y() == point.y())
                run.last().setX(point.x());
            else
                run.append(point);
            previous = t;
        }
        flush();
    }
    painter.restore();

    // The legend above the pane: each series with its newest value.
    painter.setRenderHint(QPainter::Antialiasing, false);
    double x = area.left();
    const double baseline = area.top() - 3 - metrics.descent();
    for (size_t s = 0; s < info.series.size(); ++s) {
        if (info.series[s].pane != pane)
            continue;
        const double latest = m_count > 0 ? value(int(s), m_count - 1) : gap;
        const QString unit = QString::fromUtf8(info.series[s].unit);
        const QString name = tr(info.series[s].name);
        const QString text =
            std::isnan(latest)
                ? QStringLiteral("%1 (%2)").arg(name, unit)
                : QStringLiteral("%1 %2 %3").arg(name, QString::number(std::round(latest * 100) / 100, 'g', 10), unit);
        painter.fillRect(QRectF(x, baseline - metrics.ascent() / 2 - 1, 14, 3),
                         QColor::fromRgba(info.series[s].color));
        x += 18;
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(QPointF(x, baseline), text);
        x += metrics.horizontalAdvance(text) + 14;
    }
    if (!thresholds)
        return;
    for (const auto &[threshold, color, label] : {std::tuple(m_highUs, highThresholdColor(), tr("High %1 µs")),
                                                  std::tuple(m_lowUs, lowThresholdColor(), tr("Low %1 µs"))}) {
        if (threshold <= 0)
            continue;
        painter.setPen(QPen(color, 1.5, Qt::DashLine));
        painter.drawLine(QPointF(x, baseline - metrics.ascent() / 2), QPointF(x + 14, baseline - metrics.ascent() / 2));
        x += 18;
        painter.setPen(palette().color(QPalette::WindowText));
        const QString text = label.arg(threshold);
        painter.drawText(QPointF(x, baseline), text);
        x += metrics.horizontalAdvance(text) + 14;
    }
}

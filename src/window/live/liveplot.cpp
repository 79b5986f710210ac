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

#include "boardconfig.h"
#include "boardfamilies.h"
#include "parachuteradiocomm.h"

namespace {

constexpr double gap = std::numeric_limits<double>::quiet_NaN();

// The status fields a family plots, by their place in its table, in the
// table's order: the order of the legend.
std::vector<int> plottedFields(const BoardFamilyTable &table)
{
    std::vector<int> fields;
    for (int f = 0; f < int(table.status.size()); ++f) {
        if (table.status.at(f).plotPane >= 0)
            fields.push_back(f);
    }
    return fields;
}

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

int LivePlot::maxSeries()
{
    static const int most = [] {
        size_t n = 0;
        for (const BoardFamily family : Protocol::knownFamilies())
            n = std::max(n, plottedFields(Protocol::familyTable(family)).size());
        return int(n);
    }();
    return most;
}

LivePlot::LivePlot(QWidget *parent, int capacity)
    : QWidget(parent)
    , m_capacity(std::max(1, capacity))
    , m_stride(maxSeries())
    , m_table(&Protocol::familyTable(BoardFamily::Unknown))
    , m_times(size_t(m_capacity))
    , m_values(size_t(m_capacity) * size_t(m_stride))
{
    setObjectName(QStringLiteral("plot_live"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void LivePlot::setFamily(BoardFamily family)
{
    m_family = family;
    m_table = &Protocol::familyTable(family);
    m_series = plottedFields(*m_table);
    m_thresholds.assign(size_t(m_table->plotThresholds.size()), gap);
    clear();
}

void LivePlot::setThresholds(const BoardConfig &config)
{
    for (size_t t = 0; t < m_thresholds.size(); ++t) {
        const QString &path = m_table->plotThresholds.at(qsizetype(t)).path;
        const bool held = config.family == m_family && config.values.contains(path);
        m_thresholds[t] = held ? double(config.values.value(path)) : gap;
    }
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
    float *values = &m_values[size_t(at) * size_t(m_stride)];
    const QList<StatusField> &fields = m_table->status;
    for (size_t s = 0; s < m_series.size(); ++s) {
        const StatusField &field = fields.at(m_series[s]);
        const bool stale = field.validWith >= 0 && record.statusValue(fields.at(field.validWith)) == 0;
        values[s] = stale ? float(gap) : record.statusValue(field);
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
    return double(m_values[size_t(slot(sample)) * size_t(m_stride) + size_t(series)]);
}

int LivePlot::seriesCount() const
{
    return int(m_series.size());
}

QString LivePlot::seriesName(int series) const
{
    if (series < 0 || series >= seriesCount())
        return QString();
    const StatusField &field = m_table->status.at(m_series[size_t(series)]);
    return QStringLiteral("%1 (%2)").arg(field.plotTitle(),
                                         QString::fromUtf8(m_table->plotPanes.at(field.plotPane).unit));
}

QColor LivePlot::seriesColor(int series) const
{
    if (series < 0 || series >= seriesCount())
        return QColor();
    return QColor::fromRgba(m_table->status.at(m_series[size_t(series)]).plotColor);
}

int LivePlot::seriesPane(int series) const
{
    if (series < 0 || series >= seriesCount())
        return -1;
    return m_table->status.at(m_series[size_t(series)]).plotPane;
}

int LivePlot::paneCount() const
{
    return int(m_table->plotPanes.size());
}

int LivePlot::thresholdCount() const
{
    return int(m_thresholds.size());
}

double LivePlot::thresholdValue(int threshold) const
{
    return threshold >= 0 && threshold < thresholdCount() ? m_thresholds[size_t(threshold)] : gap;
}

QColor LivePlot::thresholdColor(int threshold) const
{
    if (threshold < 0 || threshold >= thresholdCount())
        return QColor();
    return QColor::fromRgba(m_table->plotThresholds.at(threshold).color);
}

int LivePlot::thresholdPane(int threshold) const
{
    return threshold >= 0 && threshold < thresholdCount() ? m_table->plotThresholds.at(threshold).pane : -1;
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
    const PlotPane &paneInfo = m_table->plotPanes.at(pane);
    const QString unit = QString::fromUtf8(paneInfo.unit);
    const QFontMetricsF metrics(font());
    const qint64 oldestShown = newest - qint64(spanS * 1000);
    // The series and the thresholds drawn here, by their number.
    std::vector<int> series;
    for (int s = 0; s < seriesCount(); ++s) {
        if (seriesPane(s) == pane)
            series.push_back(s);
    }
    std::vector<int> thresholds;
    for (int t = 0; t < thresholdCount(); ++t) {
        if (thresholdPane(t) == pane && !std::isnan(thresholdValue(t)))
            thresholds.push_back(t);
    }

    // The value range: what the visible samples hold (and the thresholds),
    // at least the pane's smallest span, padded and rounded out to ticks.
    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    for (int sample = 0; sample < m_count; ++sample) {
        if (sampleTime(sample) < oldestShown)
            continue;
        const float *values = &m_values[size_t(slot(sample)) * size_t(m_stride)];
        for (const int s : series) {
            if (std::isnan(values[s]))
                continue;
            low = std::min(low, double(values[s]));
            high = std::max(high, double(values[s]));
        }
    }
    for (const int t : thresholds) {
        low = std::min(low, thresholdValue(t));
        high = std::max(high, thresholdValue(t));
    }
    if (!(low <= high)) {
        low = paneInfo.defaultLow;
        high = paneInfo.defaultHigh;
    }
    // A pane whose values are none below zero (a current, a voltage) is
    // not padded below it either.
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
    for (const int t : thresholds) {
        const double y = std::round(yOf(thresholdValue(t))) + 0.5;
        painter.setPen(QPen(thresholdColor(t), 1.5, Qt::DashLine));
        painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    }

    // The curves: one polyline per run of joined samples, a dot for a
    // sample with no neighbour. A pen wider than a pixel goes through Qt's
    // general stroker, which costs microseconds a point (a full ring of a
    // varying pulse took 10 ms a repaint with a 2 px pen); a 1 px line has a
    // fast path, and drawn again a pixel lower it reads as a 2 px line.
    QPolygonF run;
    run.reserve(m_count);
    for (const int s : series) {
        const QColor color = seriesColor(s);
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
            const float v = m_values[size_t(slot(sample)) * size_t(m_stride) + size_t(s)];
            if (std::isnan(v) || t < oldestShown) {
                flush();
                continue;
            }
            if (!run.isEmpty() && t - previous > joinLimitMs)
                flush();
            // On a pixel row's centre, a flat stretch is two crisp rows; and
            // of a flat stretch only its ends are kept, as a board's
            // voltages, currents and temperature are mostly steady.
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

    // The legend above the pane: each series with its newest value, then
    // the thresholds drawn across it.
    painter.setRenderHint(QPainter::Antialiasing, false);
    double x = area.left();
    const double baseline = area.top() - 3 - metrics.descent();
    for (const int s : series) {
        const double latest = m_count > 0 ? value(s, m_count - 1) : gap;
        const QString name = m_table->status.at(m_series[size_t(s)]).plotTitle();
        const QString text =
            std::isnan(latest)
                ? QStringLiteral("%1 (%2)").arg(name, unit)
                : QStringLiteral("%1 %2 %3").arg(name, QString::number(std::round(latest * 100) / 100, 'g', 10), unit);
        painter.fillRect(QRectF(x, baseline - metrics.ascent() / 2 - 1, 14, 3), seriesColor(s));
        x += 18;
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(QPointF(x, baseline), text);
        x += metrics.horizontalAdvance(text) + 14;
    }
    for (const int t : thresholds) {
        painter.setPen(QPen(thresholdColor(t), 1.5, Qt::DashLine));
        painter.drawLine(QPointF(x, baseline - metrics.ascent() / 2), QPointF(x + 14, baseline - metrics.ascent() / 2));
        x += 18;
        painter.setPen(palette().color(QPalette::WindowText));
        const QString text = QStringLiteral("%1 %2 %3")
                                 .arg(m_table->plotThresholds.at(t).title(), QString::number(thresholdValue(t)), unit);
        painter.drawText(QPointF(x, baseline), text);
        x += metrics.horizontalAdvance(text) + 14;
    }
}

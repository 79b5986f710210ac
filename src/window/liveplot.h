// A live plot of the board's status values over the last few minutes, one
// pane per unit: for the switch board the trigger pulse (with the trigger
// thresholds) and its frequency; for the trigger board its voltages,
// currents and temperature. The caller feeds it each status reply and puts
// it wherever it likes (a dock, a dialog).
//
// Drawn with QPainter rather than Qt Charts: Qt Charts would be one more
// library and package on the operator's machine, and a few hundred points
// refreshed three times a second need no scene graph.
#ifndef HALVERO_LIVEPLOT_H
#define HALVERO_LIVEPLOT_H

#include <QColor>
#include <QRectF>
#include <QString>
#include <QWidget>

#include <vector>

#include "protocol.h"

class parachuteRadioComm;

class LivePlot : public QWidget
{
    Q_OBJECT

public:
    // Five minutes of status replies at the window's poll interval.
    static constexpr int defaultCapacity = 5 * 60 * 1000 / Protocol::pollIntervalMs;
    // The most series a family plots (the trigger board's five measurements).
    static constexpr int maxSeries = 6;

    explicit LivePlot(QWidget *parent = nullptr, int capacity = defaultCapacity);

    // Clears the samples and the thresholds and plots the series of this
    // family from now on; an unknown family plots nothing.
    void setFamily(BoardFamily family);
    BoardFamily family() const { return m_family; }

    // One sample of the family's status values, taken at this time. A switch
    // board without a trigger pulse gives a gap in its two series.
    void addStatus(const parachuteRadioComm &record, qint64 msecsSinceEpoch);

    // The switch board's trigger thresholds, drawn across the pulse pane;
    // 0 hides one. Ignored for the trigger board.
    void setThresholds(int highUs, int lowUs);

    // Forgets the samples; family and thresholds stay.
    void clear();

    // What the plot holds, oldest sample first. A gap reads as NaN.
    int capacity() const { return m_capacity; }
    int sampleCount() const { return m_count; }
    qint64 sampleTime(int sample) const;
    double value(int series, int sample) const;

    // The family's series: their legend text (with the unit), colour, and
    // the pane they are drawn in, top pane 0.
    int seriesCount() const;
    QString seriesName(int series) const;
    QColor seriesColor(int series) const;
    int seriesPane(int series) const;
    int paneCount() const;
    // The area of a pane that holds the curves, in widget coordinates at the
    // widget's current size (the legend and the axis labels are outside it).
    QRectF paneArea(int pane) const;

    static QColor highThresholdColor();
    static QColor lowThresholdColor();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int slot(int sample) const { return (m_first + sample) % m_capacity; }
    void drawPane(QPainter &painter, int pane, double spanS, qint64 newest) const;

    const int m_capacity;
    BoardFamily m_family = BoardFamily::Unknown;
    int m_highUs = 0;
    int m_lowUs = 0;
    // The ring: m_count samples from m_first on, wrapping at m_capacity.
    // Both vectors are sized once, in the constructor.
    std::vector<qint64> m_times;
    std::vector<float> m_values; // maxSeries per sample
    int m_first = 0;
    int m_count = 0;
};

#endif // HALVERO_LIVEPLOT_H

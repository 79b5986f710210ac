// A live plot of the board's status values over the last few minutes, one
// pane per unit, with configuration values such as the trigger thresholds
// drawn across the readings they apply to. What it draws for a family -
// series, panes, units, colours, thresholds - is in the family's table
// (boardfamilies.h). The caller feeds it each status reply and puts it
// wherever it likes (a dock, a dialog).
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
struct BoardConfig;
struct BoardFamilyTable;

class LivePlot : public QWidget
{
    Q_OBJECT

public:
    // Five minutes of status replies at the window's poll interval.
    static constexpr int defaultCapacity = 5 * 60 * 1000 / Protocol::pollIntervalMs;
    // The most series any family plots: each sample of the ring has room
    // for that many.
    static int maxSeries();

    explicit LivePlot(QWidget *parent = nullptr, int capacity = defaultCapacity);

    // Clears the samples and the thresholds and plots the series of this
    // family from now on; an unknown family plots nothing.
    void setFamily(BoardFamily family);
    BoardFamily family() const { return m_family; }

    // One sample of the family's status values, taken at this time. A value
    // that its flag marks stale (a switch board's reading without a trigger
    // pulse) gives a gap in its series.
    void addStatus(const parachuteRadioComm &record, qint64 msecsSinceEpoch);

    // The family's thresholds as this configuration holds them, each drawn
    // across its pane; a configuration of another family draws none.
    void setThresholds(const BoardConfig &config);

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

    // The family's thresholds: the value drawn (NaN while none is), its
    // colour and its pane.
    int thresholdCount() const;
    double thresholdValue(int threshold) const;
    QColor thresholdColor(int threshold) const;
    int thresholdPane(int threshold) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int slot(int sample) const { return (m_first + sample) % m_capacity; }
    void drawPane(QPainter &painter, int pane, double spanS, qint64 newest) const;

    const int m_capacity;
    const int m_stride; // maxSeries()
    BoardFamily m_family = BoardFamily::Unknown;
    const BoardFamilyTable *m_table;
    std::vector<int> m_series;        // the plotted status fields, by their place in the table
    std::vector<double> m_thresholds; // one per threshold of the table; NaN: not drawn
    // The ring: m_count samples from m_first on, wrapping at m_capacity.
    // Both vectors are sized once, in the constructor.
    std::vector<qint64> m_times;
    std::vector<float> m_values; // m_stride per sample
    int m_first = 0;
    int m_count = 0;
};

#endif // HALVERO_LIVEPLOT_H

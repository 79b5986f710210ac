// Small statistics and formatting helpers shared by the benchmark programs:
// order statistics of timing samples and fixed-width table cells.
#ifndef BENCHSTATS_H
#define BENCHSTATS_H

#include <QList>
#include <QString>

#include <algorithm>
#include <cmath>

namespace BenchStats {

// Quantile of unsorted samples, interpolated between the two nearest ranks
// (q = 0.5 is the median); NaN for no samples, so that an empty series shows
// as "nan" instead of a fake zero.
inline double quantile(QList<double> samples, double q)
{
    if (samples.isEmpty())
        return std::nan("");
    std::sort(samples.begin(), samples.end());
    const double rank = q * double(samples.size() - 1);
    const qsizetype lo = qsizetype(std::floor(rank));
    const qsizetype hi = qsizetype(std::ceil(rank));
    const double frac = rank - double(lo);
    return samples[lo] + (samples[hi] - samples[lo]) * frac;
}

inline double median(const QList<double> &samples)
{
    return quantile(samples, 0.5);
}

inline QString fixed(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

} // namespace BenchStats

#endif // BENCHSTATS_H

// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/Decimation.h"

#include <algorithm>
#include <cmath>

namespace Decimation {
namespace {
// The visible indices widened by one point either side.
Segment visible(const std::vector<double> &x, double from, double to)
{
    auto begin = std::lower_bound(x.begin(), x.end(), from);
    auto end = std::upper_bound(x.begin(), x.end(), to);
    if (begin != x.begin())
        --begin;
    if (end != x.end())
        ++end;
    return {std::size_t(begin - x.begin()), std::size_t(end - x.begin())};
}
} // namespace

std::vector<Segment> segments(const std::vector<double> &x, double from, double to, double maxGap,
                              std::size_t maxSegments)
{
    std::vector<Segment> runs;
    const Segment shown = visible(x, from, to);
    if (shown.first >= shown.last)
        return runs;
    // Where a run ends: the steps longer than maxGap, the longest ones only
    // when there are too many.
    std::vector<std::size_t> breaks;
    for (std::size_t i = shown.first + 1; i < shown.last; ++i) {
        if (x[i] - x[i - 1] > maxGap)
            breaks.push_back(i);
    }
    const std::size_t allowed = maxSegments > 0 ? maxSegments - 1 : 0;
    if (breaks.size() > allowed) {
        std::nth_element(
            breaks.begin(), breaks.begin() + std::ptrdiff_t(allowed), breaks.end(),
            [&x](std::size_t a, std::size_t b) { return x[a] - x[a - 1] > x[b] - x[b - 1]; });
        breaks.resize(allowed);
        std::sort(breaks.begin(), breaks.end());
    }
    std::size_t start = shown.first;
    for (const std::size_t at : breaks) {
        runs.push_back({start, at});
        start = at;
    }
    runs.push_back({start, shown.last});
    return runs;
}

QList<QPointF> minMax(const std::vector<double> &x, const std::vector<double> &y, Segment segment,
                      double from, double to, int buckets)
{
    QList<QPointF> points;
    if (segment.first >= segment.last || buckets < 1 || to <= from)
        return points;
    const double width = (to - from) / buckets;
    points.reserve(qsizetype(
        std::min<std::size_t>(segment.last - segment.first, std::size_t(buckets) * 4 + 2)));
    std::size_t i = segment.first;
    while (i < segment.last) {
        // The bucket of this point; the neighbours outside the range get one each.
        const double bucket = std::floor((x[i] - from) / width);
        std::size_t first = segment.last, last = 0, low = 0, high = 0;
        for (; i < segment.last && std::floor((x[i] - from) / width) == bucket; ++i) {
            if (std::isnan(y[i]))
                continue;
            if (first == segment.last) {
                first = low = high = i;
            } else {
                if (y[i] < y[low])
                    low = i;
                if (y[i] > y[high])
                    high = i;
            }
            last = i;
        }
        if (first == segment.last)
            continue;
        std::size_t picks[] = {first, low, high, last};
        std::sort(std::begin(picks), std::end(picks));
        std::size_t previous = segment.last;
        for (const std::size_t pick : picks) {
            if (pick != previous)
                points.append(QPointF(x[pick], y[pick]));
            previous = pick;
        }
    }
    return points;
}
} // namespace Decimation

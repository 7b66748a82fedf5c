// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QPointF>

#include <cstddef>
#include <vector>

// Thins a day of one-second readings to what a chart can show: per bucket of
// time (about a pixel) the first, lowest, highest and last value, in time
// order, so every peak and dip stays visible while 86 400 points become a
// few thousand.
namespace Decimation {
// Indices [first, last) of a run of times with no step longer than maxGap.
struct Segment
{
    std::size_t first = 0;
    std::size_t last = 0;
};

// The runs of x (ascending) that touch [from, to], each widened by one point
// either side so lines reach the edges. Broken at every step longer than
// maxGap (a time the panel was not connected), but at the longest steps only
// when there would be more than maxSegments runs.
std::vector<Segment> segments(const std::vector<double> &x, double from, double to, double maxGap,
                              std::size_t maxSegments);

// At most four points per bucket from the segment's part in [from, to] plus
// its neighbours; values that are NaN (not read) are left out.
QList<QPointF> minMax(const std::vector<double> &x, const std::vector<double> &y, Segment segment,
                      double from, double to, int buckets);
} // namespace Decimation

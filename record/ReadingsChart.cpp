// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/ReadingsChart.h"

#include "record/Decimation.h"

#include <QChart>
#include <QDateTimeAxis>
#include <QKeyEvent>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QValueAxis>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
// Zoomed in no further than a minute: seconds are the finest there is.
constexpr double ShortestRangeMs = 60.0 * 1000.0;
// Lines break across longer silences; a chart of a day with more breaks than
// this joins the shortest ones.
constexpr std::size_t MaxSegments = 40;

const char *const Names[] = {"Forward (W)", "Reflected (W)", "VSWR", "Temperature (°C)"};
const QColor Colours[] = {QColor(0x1f, 0x5f, 0xbf), QColor(0xd0, 0x30, 0x20),
                          QColor(0x20, 0x90, 0x40), QColor(0xc0, 0x70, 0x00)};

template <typename T> double orNaN(const std::optional<T> &value)
{
    return value ? double(*value) : NaN;
}
} // namespace

ReadingsChart::ReadingsChart(QWidget *parent)
    : QChartView(parent), m_time(new QDateTimeAxis), m_power(new QValueAxis),
      m_ratio(new QValueAxis), m_celsius(new QValueAxis)
{
    // The view's own chart: one set in its place would leave this one to nobody.
    QChart *chart = this->chart();
    setRenderHint(QPainter::Antialiasing, false);
    setRubberBand(QChartView::HorizontalRubberBand);
    setFocusPolicy(Qt::StrongFocus);
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setMargins(QMargins(4, 4, 4, 4));

    m_time->setFormat(QStringLiteral("dd MMM HH:mm"));
    m_time->setTitleText(QStringLiteral("local time"));
    m_time->setTickCount(7);
    m_power->setTitleText(QStringLiteral("W"));
    m_power->setLabelFormat(QStringLiteral("%.1f"));
    m_ratio->setTitleText(QStringLiteral("VSWR"));
    m_ratio->setLabelFormat(QStringLiteral("%.2f"));
    m_celsius->setTitleText(QStringLiteral("°C"));
    m_celsius->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(m_time, Qt::AlignBottom);
    chart->addAxis(m_power, Qt::AlignLeft);
    chart->addAxis(m_ratio, Qt::AlignRight);
    chart->addAxis(m_celsius, Qt::AlignRight);
    for (int q = 0; q < Quantities; ++q)
        seriesFor(Quantity(q), 0);

    m_redraw.setSingleShot(true);
    m_redraw.setInterval(0);
    connect(&m_redraw, &QTimer::timeout, this, &ReadingsChart::redraw);
    // A zoom by the rubber band moves the time axis itself.
    connect(m_time, &QDateTimeAxis::rangeChanged, this, [this] {
        if (!m_settingRange)
            scheduleRedraw();
    });
}

QLineSeries *ReadingsChart::seriesFor(Quantity quantity, std::size_t index)
{
    QList<QLineSeries *> &pool = m_series[quantity];
    while (std::size_t(pool.size()) <= index) {
        // Parented to the chart once added; OpenGL stays off, as the chart is
        // painted into the window like any widget.
        auto *series = new QLineSeries;
        series->setName(QString::fromUtf8(Names[quantity]));
        QPen pen(Colours[quantity]);
        pen.setWidthF(1.2);
        series->setPen(pen);
        chart()->addSeries(series);
        series->attachAxis(m_time);
        series->attachAxis(quantity == Vswr          ? m_ratio
                           : quantity == Temperature ? m_celsius
                                                     : m_power);
        // The later runs of a quantity are the same line: one legend entry.
        if (!pool.isEmpty()) {
            const QList<QLegendMarker *> markers = chart()->legend()->markers(series);
            for (QLegendMarker *marker : markers)
                marker->setVisible(false);
        }
        pool.append(series);
    }
    return pool.at(qsizetype(index));
}

void ReadingsChart::setSeconds(const RecordDatabase::ChartColumns &seconds, qint64 fromUtcSeconds,
                               qint64 toUtcSeconds)
{
    m_minutes = false;
    m_x.clear();
    for (auto &y : m_y)
        y.clear();
    appendSeconds(seconds, toUtcSeconds);
    loaded(fromUtcSeconds, toUtcSeconds);
}

void ReadingsChart::appendSeconds(const RecordDatabase::ChartColumns &seconds, qint64 toUtcSeconds)
{
    const bool followEnd = !m_x.empty() && visibleTo().toSecsSinceEpoch() >= m_loadedTo;
    const std::size_t count = seconds.utcSeconds.size();
    m_x.reserve(m_x.size() + count);
    for (auto &y : m_y)
        y.reserve(y.size() + count);
    for (std::size_t i = 0; i < count; ++i) {
        const double x = double(seconds.utcSeconds[i]) * 1000.0;
        if (!m_x.empty() && x <= m_x.back())
            continue;
        m_x.push_back(x);
        m_y[Forward].push_back(seconds.forwardW[i]);
        m_y[Reflected].push_back(seconds.reflectedW[i]);
        m_y[Vswr].push_back(seconds.vswr[i]);
        m_y[Temperature].push_back(seconds.temperatureC[i]);
    }
    if (followEnd && toUtcSeconds > m_loadedTo) {
        const qint64 shift = toUtcSeconds - m_loadedTo;
        m_loadedTo = toUtcSeconds;
        setVisibleRange(visibleFrom().addSecs(shift), visibleTo().addSecs(shift));
    } else {
        m_loadedTo = qMax(m_loadedTo, toUtcSeconds);
    }
}

void ReadingsChart::setMinutes(const QList<MinuteSummary> &minutes, qint64 fromUtcSeconds,
                               qint64 toUtcSeconds)
{
    m_minutes = true;
    m_x.clear();
    for (auto &y : m_y)
        y.clear();
    for (const MinuteSummary &m : minutes) {
        // Drawn at the middle of its minute, its mean.
        m_x.push_back(double(m.utcSeconds + 30) * 1000.0);
        m_y[Forward].push_back(orNaN(m.forwardW.mean));
        m_y[Reflected].push_back(orNaN(m.reflectedW.mean));
        m_y[Vswr].push_back(orNaN(m.vswr.mean));
        m_y[Temperature].push_back(orNaN(m.temperatureC.mean));
    }
    loaded(fromUtcSeconds, toUtcSeconds);
}

void ReadingsChart::loaded(qint64 fromUtcSeconds, qint64 toUtcSeconds)
{
    m_loadedFrom = fromUtcSeconds;
    m_loadedTo = toUtcSeconds;
    chart()->setTitle(m_x.empty() ? QStringLiteral("No readings recorded in this range")
                      : m_minutes ? QStringLiteral("Per-minute means")
                                  : QString());
    resetZoom();
}

QDateTime ReadingsChart::visibleFrom() const
{
    return m_time->min();
}

QDateTime ReadingsChart::visibleTo() const
{
    return m_time->max();
}

void ReadingsChart::setVisibleRange(const QDateTime &from, const QDateTime &to)
{
    m_settingRange = true;
    m_time->setRange(from, to);
    m_settingRange = false;
    scheduleRedraw();
}

void ReadingsChart::resetZoom()
{
    setVisibleRange(QDateTime::fromSecsSinceEpoch(m_loadedFrom),
                    QDateTime::fromSecsSinceEpoch(m_loadedTo));
}

void ReadingsChart::scheduleRedraw()
{
    m_redraw.start();
    Q_EMIT visibleRangeChanged();
}

void ReadingsChart::redraw()
{

    const double from = double(visibleFrom().toMSecsSinceEpoch());
    const double to = double(visibleTo().toMSecsSinceEpoch());
    // About two buckets a pixel of the plot: no detail lost at this zoom.
    const int buckets = qMax(100, int(chart()->plotArea().width()) * 2);
    const double maxGap = m_minutes ? 3 * 60000.0 : 10000.0;
    const std::vector<Decimation::Segment> runs =
        Decimation::segments(m_x, from, to, maxGap, MaxSegments);
    const double span = to - from;

    std::array<double, Quantities> low, high;
    low.fill(std::numeric_limits<double>::infinity());
    high.fill(-std::numeric_limits<double>::infinity());
    for (int q = 0; q < Quantities; ++q) {
        std::size_t used = 0;
        for (const Decimation::Segment &run : runs) {
            // Each run gets the buckets of its share of the visible time.
            const double runFrom = qMax(from, m_x[run.first]);
            const double runTo = qMin(to, m_x[run.last - 1]);
            const int runBuckets =
                qMax(1, int(double(buckets) * qMax(0.0, runTo - runFrom) / span) + 1);
            const QList<QPointF> points =
                Decimation::minMax(m_x, m_y[q], run, from, to, runBuckets);
            if (points.isEmpty())
                continue;
            for (const QPointF &p : points) {
                if (p.x() >= from && p.x() <= to) {
                    low[q] = qMin(low[q], p.y());
                    high[q] = qMax(high[q], p.y());
                }
            }
            seriesFor(Quantity(q), used++)->replace(points);
        }
        for (qsizetype i = qsizetype(used); i < m_series[q].size(); ++i) {
            if (m_series[q].at(i)->count() > 0)
                m_series[q].at(i)->clear();
        }
    }
    // Each axis fits what is visible, with a little room above.
    const double powerHigh = qMax(qMax(high[Forward], high[Reflected]), 1.0);
    m_power->setRange(0.0, powerHigh * 1.1);
    m_ratio->setRange(1.0, std::isfinite(high[Vswr]) ? qMax(high[Vswr] * 1.05, 1.5) : 2.0);
    const double coolest = std::isfinite(low[Temperature]) ? low[Temperature] : 0.0;
    const double hottest = std::isfinite(high[Temperature]) ? high[Temperature] : 50.0;
    m_celsius->setRange(std::floor(coolest - 5.0), std::ceil(hottest + 5.0));
}

qsizetype ReadingsChart::pointsShown(Quantity quantity) const
{
    qsizetype total = 0;
    for (const QLineSeries *series : m_series[quantity])
        total += series->count();
    return total;
}

void ReadingsChart::zoomAround(double factor, double centreMs)
{
    const double from = double(visibleFrom().toMSecsSinceEpoch());
    const double to = double(visibleTo().toMSecsSinceEpoch());
    const double loadedSpan = double(m_loadedTo - m_loadedFrom) * 1000.0;
    const double span = std::clamp((to - from) * factor, ShortestRangeMs, qMax(loadedSpan, 1.0));
    const double share = (centreMs - from) / (to - from);
    double newFrom = centreMs - span * share;
    newFrom = std::clamp(newFrom, double(m_loadedFrom) * 1000.0,
                         qMax(double(m_loadedFrom) * 1000.0, double(m_loadedTo) * 1000.0 - span));
    setVisibleRange(QDateTime::fromMSecsSinceEpoch(qint64(newFrom)),
                    QDateTime::fromMSecsSinceEpoch(qint64(newFrom + span)));
}

void ReadingsChart::panBy(double fraction)
{
    const double from = double(visibleFrom().toMSecsSinceEpoch());
    const double to = double(visibleTo().toMSecsSinceEpoch());
    const double span = to - from;
    const double newFrom =
        std::clamp(from + span * fraction, double(m_loadedFrom) * 1000.0,
                   qMax(double(m_loadedFrom) * 1000.0, double(m_loadedTo) * 1000.0 - span));
    setVisibleRange(QDateTime::fromMSecsSinceEpoch(qint64(newFrom)),
                    QDateTime::fromMSecsSinceEpoch(qint64(newFrom + span)));
}

void ReadingsChart::wheelEvent(QWheelEvent *event)
{
    const QRectF plot = chart()->plotArea();
    const double from = double(visibleFrom().toMSecsSinceEpoch());
    const double to = double(visibleTo().toMSecsSinceEpoch());
    const double share =
        plot.width() > 0
            ? std::clamp((event->position().x() - plot.left()) / plot.width(), 0.0, 1.0)
            : 0.5;
    zoomAround(event->angleDelta().y() > 0 ? 0.8 : 1.25, from + (to - from) * share);
    event->accept();
}

void ReadingsChart::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        m_panning = true;
        m_panFrom = event->position().toPoint();
        event->accept();
        return;
    }
    QChartView::mousePressEvent(event);
}

void ReadingsChart::mouseMoveEvent(QMouseEvent *event)
{
    if (m_panning) {
        const double width = chart()->plotArea().width();
        if (width > 0)
            panBy(-(event->position().x() - m_panFrom.x()) / width);
        m_panFrom = event->position().toPoint();
        event->accept();
        return;
    }
    QChartView::mouseMoveEvent(event);
}

void ReadingsChart::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        // Not QChartView's zoom-out on a right click: the right button pans here.
        m_panning = false;
        event->accept();
        return;
    }
    QChartView::mouseReleaseEvent(event);
}

void ReadingsChart::keyPressEvent(QKeyEvent *event)
{
    const double from = double(visibleFrom().toMSecsSinceEpoch());
    const double to = double(visibleTo().toMSecsSinceEpoch());
    switch (event->key()) {
    case Qt::Key_Left:
        panBy(-0.1);
        break;
    case Qt::Key_Right:
        panBy(0.1);
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoomAround(0.5, (from + to) / 2);
        break;
    case Qt::Key_Minus:
        zoomAround(2.0, (from + to) / 2);
        break;
    case Qt::Key_Home:
        resetZoom();
        break;
    default:
        QChartView::keyPressEvent(event);
        return;
    }
    event->accept();
}

void ReadingsChart::resizeEvent(QResizeEvent *event)
{
    QChartView::resizeEvent(event);
    // The thinning depends on the plot's width.
    scheduleRedraw();
}

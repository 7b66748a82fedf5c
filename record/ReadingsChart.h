// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "record/MinuteSummary.h"
#include "record/RecordDatabase.h"

#include <QChartView>
#include <QDateTime>
#include <QList>
#include <QTimer>

#include <array>
#include <vector>

class QDateTimeAxis;
class QLineSeries;
class QValueAxis;

// Forward and reflected power, VSWR and temperature against time. It keeps
// every point loaded and draws only a thinned copy of the visible range
// (Decimation), redrawn after each zoom or pan, so a day of seconds paints
// quickly and zooming in shows the seconds themselves. Lines break where the
// panel was not connected.
//
// Zoom: drag across the chart with the left button, the mouse wheel, or +
// and -. Pan: drag with the right button, or the arrow keys. Home shows
// everything loaded again.
class ReadingsChart : public QChartView
{
    Q_OBJECT
public:
    enum Quantity
    {
        Forward,
        Reflected,
        Vswr,
        Temperature,
        Quantities
    };

    explicit ReadingsChart(QWidget *parent = nullptr);

    // One-second samples, or minute means, over [from, to) (UTC seconds).
    void setSeconds(const RecordDatabase::ChartColumns &seconds, qint64 fromUtcSeconds,
                    qint64 toUtcSeconds);
    void setMinutes(const QList<MinuteSummary> &minutes, qint64 fromUtcSeconds,
                    qint64 toUtcSeconds);
    // Newer seconds at the end of what is loaded; the view follows them when
    // it showed the end.
    void appendSeconds(const RecordDatabase::ChartColumns &seconds, qint64 toUtcSeconds);
    qint64 loadedUntil() const { return m_loadedTo; }

    // The time range shown, zoomed and panned as it is.
    QDateTime visibleFrom() const;
    QDateTime visibleTo() const;
    void setVisibleRange(const QDateTime &from, const QDateTime &to);
    void resetZoom();
    // Points the chart holds now, over every series of the quantity.
    qsizetype pointsShown(Quantity quantity) const;
    qsizetype pointsLoaded() const { return qsizetype(m_x.size()); }

Q_SIGNALS:
    void visibleRangeChanged();

protected:
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void loaded(qint64 fromUtcSeconds, qint64 toUtcSeconds);
    void redraw();
    void scheduleRedraw();
    QLineSeries *seriesFor(Quantity quantity, std::size_t index);
    void zoomAround(double factor, double centreMs);
    void panBy(double fraction);

    QDateTimeAxis *m_time;
    QValueAxis *m_power;
    QValueAxis *m_ratio;
    QValueAxis *m_celsius;
    std::array<QList<QLineSeries *>, Quantities> m_series;
    std::vector<double> m_x; // ms since the epoch
    std::array<std::vector<double>, Quantities> m_y;
    qint64 m_loadedFrom = 0;
    qint64 m_loadedTo = 0;
    bool m_minutes = false;
    bool m_settingRange = false;
    QTimer m_redraw;
    QPoint m_panFrom;
    bool m_panning = false;
};

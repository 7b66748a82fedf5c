// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "panel/PanelColors.h"

#include <QWidget>

// A segmented LED bar graph with three colour zones. Segments up to Value are
// lit; each zone has its own lit and unlit colour (window-system colour values).
class LedBar : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int Value READ Value WRITE setValue NOTIFY ValueChanged)
    Q_PROPERTY(int Segments READ Segments CONSTANT)
public:
    struct Zones
    {
        int firstLimit = 6;  // segments 1..firstLimit are zone 1
        int secondLimit = 8; // firstLimit+1..secondLimit zone 2, the rest zone 3
        int lit[3] = {PanelColor::Green, PanelColor::Yellow, PanelColor::BrightRed};
        int unlit[3] = {PanelColor::DarkGreen, PanelColor::Olive, PanelColor::DarkRed};
    };

    LedBar(int segments, const Zones &zones, QWidget *parent = nullptr);

    int Value() const { return m_value; }
    void setValue(int value);
    int Segments() const { return m_segments; }
    // The colour value segment 1..Segments shows now.
    int segmentColor(int segment) const;

Q_SIGNALS:
    void ValueChanged(int value);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int zoneOf(int segment) const;

    int m_segments;
    Zones m_zones;
    int m_value = 0;
};

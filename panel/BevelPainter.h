// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "panel/PanelColors.h"

class QPainter;
class QRect;

// The panel's 3-D edge, one helper for every panel, key, status bar panel and
// switch picture that has one.
namespace BevelPainter {
enum class Relief
{
    Raised, // highlight on the top and left sides, shadow on the bottom and right
    Sunken  // the other way round
};

// Draws `width` one-pixel rings just inside `frame` (its right and bottom
// edges included), in window-system colour values; the corners where the two
// shades meet, top right and bottom left, take the bottom and right side's
// shade. A frame too small for that many rings gets as many as fit.
void draw(QPainter &painter, const QRect &frame, int width, Relief relief,
          int highlight = PanelColor::White, int shadow = PanelColor::Grey);
} // namespace BevelPainter

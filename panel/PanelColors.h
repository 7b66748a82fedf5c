// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QColor>

// The panel's colour vocabulary, as window-system colour values: red in the
// low byte, then green, then blue.
namespace PanelColor {
constexpr int Black = 0;
constexpr int DarkRed = 128;      // unlit digits, red lamps and decimal point
constexpr int BrightRed = 255;    // lit digits, red lamps and decimal point
constexpr int Olive = 32896;      // 0x8080: unlit read-out background
constexpr int Yellow = 65535;     // 0xFFFF: lit read-outs, RF on the air
constexpr int DarkYellow = 49344; // 0xC0C0: RF off the air
constexpr int LightGrey = 0xC0C0C0;
constexpr int White = 0xFFFFFF;
constexpr int Navy = 0x400000;       // window background (0, 0, 64)
constexpr int DialogNavy = 0x800000; // port dialog background (0, 0, 128)

// The deviation bar's first zone; its second zone is Yellow over Olive, its
// third BrightRed over DarkRed.
constexpr int Green = 0x00FF00;     // lit
constexpr int DarkGreen = 0x008000; // unlit

// Faces and 3-D edges: LightGrey faces, White highlights.
constexpr int Grey = 0x808080; // shadows, disabled key captions, the rule under the power read-outs
constexpr int DarkGrey = 0x404040; // the deeper shadow of keys and switch, lamp rims

// The design's desktop colours, as the panel was drawn on: the keypad's guide
// lines, the "SETTING FREQUENCY" caption and the field behind the power button.
constexpr int InactiveTitleGrey = 0xDBCDBF; // (191, 205, 219)
constexpr int ActiveTitleNavy = 0x800000;   // (0, 0, 128)
constexpr int ButtonGrey = 0xA69E9D;        // (157, 158, 166)

constexpr QColor toQColor(int colorValue)
{
    return QColor(colorValue & 0xFF, (colorValue >> 8) & 0xFF, (colorValue >> 16) & 0xFF);
}

inline int fromQColor(const QColor &color)
{
    return color.red() | (color.green() << 8) | (color.blue() << 16);
}
} // namespace PanelColor

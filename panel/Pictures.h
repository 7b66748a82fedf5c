// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QImage>

// The panel's pictures, drawn in code so the program needs no image files.
QImage logoPicture();           // 709x236, the maker's banner
QImage hiddenPicture();         // 247x109, behind the front panels
QImage windowIconPicture();     // 32x32
QImage ribbonReleasedPicture(); // 104x32
QImage ribbonPressedPicture();  // 104x32
QImage statusIconPicture();     // 32x32, status bar panel 1 in design
QImage connectedPicture();      // 32x32
QImage disconnectedPicture();   // 32x32

// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The keypad's keys by their index in cmdKey: 0 to 8 carry "1" to "9", then
// come "<", "0" and "OK".
namespace KeypadKey {
constexpr int First = 0; // "1"
constexpr int Back = 9;  // "<": the cursor one digit back
constexpr int Zero = 10; // "0", the last digit key
constexpr int Ok = 11;   // "OK": checks the five digits typed against the band
constexpr int Last = Ok;
} // namespace KeypadKey

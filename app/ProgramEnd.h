// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Ends the program at once: no further handler runs, no window is unloaded and
// a handler suspended lower in the call stack (the polling loop) never resumes.
[[noreturn]] void endProgramNow();

// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

class ControlServer;
class SignalWatcher;
class Station;
class StatusFeed;
class frmTerminale;

// The desktop program as it runs: the front panel with its link engine, the
// status feed and the station, as the settings ask for them, and the
// system's requests to end (a shutdown, a logout, Ctrl+C) taken as File,
// Exit. main() makes one and runs the event loop until the panel ends it.
class PanelProgram
{
public:
    PanelProgram();
    ~PanelProgram();
    PanelProgram(const PanelProgram &) = delete;
    PanelProgram &operator=(const PanelProgram &) = delete;

    frmTerminale &panel() { return *m_panel; }
    StatusFeed &feed() { return *m_feed; }
    Station &station() { return *m_station; }
    // Null while remote control is off.
    ControlServer *control() { return m_control.get(); }

private:
    void startControl();

    std::unique_ptr<frmTerminale> m_panel;
    std::unique_ptr<StatusFeed> m_feed;
    Station *m_station = nullptr; // the panel's
    std::unique_ptr<SignalWatcher> m_endRequests;
    std::unique_ptr<ControlServer> m_control;
};

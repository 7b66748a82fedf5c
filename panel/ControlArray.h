// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QtGlobal>

#include <vector>

// An indexed group of controls addressed as name(index), like cmdKey(3) or
// ledDigit(6). Indices run from the array's lower bound; an index outside the
// array yields nullptr rather than a neighbour's control.
template <typename Control> class ControlArray
{
public:
    explicit ControlArray(int lowerBound = 0) : m_lowerBound(lowerBound) {}

    Control *operator()(int index) const
    {
        const int slot = index - m_lowerBound;
        if (slot < 0 || slot >= static_cast<int>(m_controls.size()))
            return nullptr;
        return m_controls[static_cast<size_t>(slot)];
    }

    void append(Control *control) { m_controls.push_back(control); }
    int lowerBound() const { return m_lowerBound; }
    int upperBound() const { return m_lowerBound + static_cast<int>(m_controls.size()) - 1; }
    int count() const { return static_cast<int>(m_controls.size()); }

private:
    int m_lowerBound;
    std::vector<Control *> m_controls;
};

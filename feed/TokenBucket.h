// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QtGlobal>

#include <algorithm>
#include <chrono>

// So many things a second, with bursts of up to `burst`.
class TokenBucket
{
public:
    TokenBucket(double perSecond, double burst)
        : m_perMs(perSecond / 1000.0), m_burst(std::max(1.0, burst)), m_tokens(m_burst)
    {
    }

    static qint64 nowMs()
    {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }

    bool take(qint64 nowMs)
    {
        refill(nowMs);
        if (m_tokens < 1.0)
            return false;
        m_tokens -= 1.0;
        return true;
    }

    // take() would succeed.
    bool ready(qint64 nowMs)
    {
        refill(nowMs);
        return m_tokens >= 1.0;
    }

    // Milliseconds until take() can succeed again (at least 1).
    int msUntilNext(qint64 nowMs)
    {
        refill(nowMs);
        if (m_tokens >= 1.0 || m_perMs <= 0)
            return 1;
        return std::max(1, int((1.0 - m_tokens) / m_perMs) + 1);
    }

private:
    void refill(qint64 nowMs)
    {
        if (m_lastMs >= 0 && nowMs > m_lastMs)
            m_tokens = std::min(m_burst, m_tokens + double(nowMs - m_lastMs) * m_perMs);
        m_lastMs = std::max(m_lastMs, nowMs);
    }

    double m_perMs;
    double m_burst;
    double m_tokens;
    qint64 m_lastMs = -1;
};

// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/Scenario.h"

Scenario::Scenario(int deadlineMs, QObject *parent) : QObject(parent)
{
    m_ticker.setInterval(2);
    connect(&m_ticker, &QTimer::timeout, this, &Scenario::tick);
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(deadlineMs);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        m_timedOut = true;
        m_ticker.stop();
        if (m_otherwise)
            m_otherwise();
    });
}

Scenario &Scenario::when(Condition condition, Action action)
{
    m_steps.push_back({std::move(condition), std::move(action)});
    return *this;
}

void Scenario::start()
{
    m_ticker.start();
    m_deadline.start();
}

void Scenario::tick()
{
    if (finished()) {
        m_ticker.stop();
        m_deadline.stop();
        return;
    }
    if (!m_steps[m_next].condition())
        return;
    const Action action = m_steps[m_next].action;
    ++m_next;
    action();
}

QString Scenario::report() const
{
    if (finished())
        return QStringLiteral("all %1 steps taken").arg(m_steps.size());
    return QStringLiteral("step %1 of %2 was never reached (deadline %3 ms)")
        .arg(m_next + 1)
        .arg(m_steps.size())
        .arg(m_deadline.interval());
}

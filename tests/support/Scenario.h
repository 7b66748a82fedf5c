// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <vector>

// Drives a test from inside the panel's nested waits. While the power handler
// sits in its polling loop, the test's own code cannot run below it; a
// scenario is a list of steps, each "when this holds, do that", checked by a
// short timer whose ticks are served inside whatever wait is running (an
// exchange, a message box). A step is taken before its action runs, so an
// action that blocks (a modal box) still lets the following steps proceed.
class Scenario : public QObject
{
    Q_OBJECT
public:
    using Condition = std::function<bool()>;
    using Action = std::function<void()>;

    explicit Scenario(int deadlineMs = 20000, QObject *parent = nullptr);

    Scenario &when(Condition condition, Action action);
    Scenario &then(Action action)
    {
        return when([] { return true; }, std::move(action));
    }
    // What to do when the deadline passes with steps left, e.g. end the
    // connection, so a failing test reports instead of polling for ever.
    Scenario &otherwise(Action action)
    {
        m_otherwise = std::move(action);
        return *this;
    }
    void start();

    bool finished() const { return m_next >= m_steps.size(); }
    // For a failure message: which step the scenario was still waiting for.
    QString report() const;
    bool timedOut() const { return m_timedOut; }
    size_t stepsTaken() const { return m_next; }

private:
    void tick();

    struct Step
    {
        Condition condition;
        Action action;
    };
    std::vector<Step> m_steps;
    size_t m_next = 0;
    QTimer m_ticker;
    QTimer m_deadline;
    bool m_timedOut = false;
    Action m_otherwise;
};

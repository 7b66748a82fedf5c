// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QtGlobal>

// What the feed grants its clients, all of them together. The feed runs in
// the panel's one thread, inside the waits of the status poll, so every
// bound here is a bound on the time taken from the poll: a flood, idle
// connections or malformed requests cost at most this much.
struct FeedLimits
{
    // Connections being served at once; past that the longest idle one makes
    // room, or the newcomer gets 503.
    int maxConnections = 32;
    // Connections being closed (after an error answer) at once; past that a
    // newcomer is cut off without an answer.
    int maxClosing = 32;
    // A request's head, request line and headers together; a request carries
    // no body here.
    qint64 maxRequestBytes = 8 * 1024;
    // From the connection's start or its last answer to a whole request.
    int idleMs = 5000;
    // A connection idle for this long may be closed to make room for a
    // newcomer; a younger one may have its request on the way.
    int evictableAfterMs = 1000;
    // How long a connection answered with an error is kept open for the
    // client to read it before it is closed.
    int lingerMs = 500;
    // Answered but not yet taken by the client: past that it is dropped.
    qint64 maxUnsentBytes = 64 * 1024;
    // Requests answered a second, and how many may come at once; beyond that
    // an answer waits for its turn (the client waits, the poll does not).
    double requestsPerSecond = 200;
    double requestBurst = 32;
    // Connections accepted a second; beyond that the system queues them.
    double acceptsPerSecond = 200;
    double acceptBurst = 64;
};

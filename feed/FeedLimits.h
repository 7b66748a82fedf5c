// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QtGlobal>

// What the feed grants its clients, all of them together. The feed runs in
// the panel's one thread, inside the waits of the status poll, so every
// bound here is a bound on the time taken from the poll: a flood, idle
// connections, slow or malformed requests cost at most this much.
struct FeedLimits
{
    // Connections being served at once. Enough that a few hundred clients
    // dribbling requests that never end are all cut by headMs, rather than
    // crowding out each other and the monitoring system; past that the
    // connection waiting longest for its request makes room, or, when every
    // one is being answered, the newcomer gets 503.
    int maxConnections = 512;
    // Connections being closed (after an error answer) at once; past that
    // the oldest is cut off at once instead of being left to read its answer.
    int maxClosing = 128;
    // A request's head, request line and headers together; a request carries
    // no body here. What a connection holds unread is bounded by twice this.
    qint64 maxRequestBytes = 8 * 1024;
    // From the first byte of a request to the whole of its head: a client
    // that sends a byte now and then holds its place only this long.
    int headMs = 2000;
    // A connection with no request under way (new, or after an answer) is
    // closed after this long.
    int idleMs = 5000;
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
    // Above the rate at which headMs cuts the slots' dribblers, so that a
    // newcomer never waits behind them in the system's queue.
    double acceptsPerSecond = 500;
    double acceptBurst = 64;
};

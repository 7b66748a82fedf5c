#pragma once

#include <QVariant>

// Program-wide values, filled from the settings store at start-up.
// Each holds a text or a number and keeps whichever it was last given.
extern QVariant Comm;      // stored port number: "1", "2" or empty
extern QVariant LimitUp;   // upper band limit in kHz: stored text, or 1000000
extern QVariant LimitDown; // lower band limit in kHz: stored text, or 0

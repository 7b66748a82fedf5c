#pragma once

class frmTerminale;

// Before a power-on with no port stored, the operator must pick one.
// True when a port is stored already or the operator chose one with Ok;
// false when the dialog was cancelled and the power-on must not go ahead.
bool askForPortIfNone(frmTerminale *window);

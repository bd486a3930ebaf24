// Making a running monitor end, so that its file can be replaced or deleted.
#pragma once

#include "platform/win_types.h"

// How long the installer or uninstaller waits for a monitor to end.
constexpr DWORD kStopMonitorWaitMs = 30000;

// Finds the monitor's window by its title, posts it WM_QUIT and waits (at
// most kStopMonitorWaitMs) for its process to end. Does nothing when no
// monitor runs; reports nothing.
void StopRunningMonitor();

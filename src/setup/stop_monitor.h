// Making running monitors end, so that their file can be replaced or deleted.
#pragma once

#include <cstdint>

#include "platform/win_types.h"

// How long the installer or uninstaller waits for monitors to end.
constexpr DWORD kStopMonitorWaitMs = 30000;
// How often the uninstaller looks whether the stop event is gone.
constexpr DWORD kStopEventPollMs = 100;

// Finds this session's monitor by its window title, posts it WM_QUIT and
// waits (at most kStopMonitorWaitMs) for its process to end. Reports
// nothing; false only when a window was found whose process was still
// running at the end of the wait.
bool StopRunningMonitor();

// The monitors of every session: sets the stop event (monitor/stop_event.h),
// stops this session's monitor by its window as above (an older monitor may
// have no event), then waits until no monitor holds the event any more, all
// within kStopMonitorWaitMs. True when every monitor is known to have
// ended; false when one still runs, or an event of that name is there that
// could not be set (made by someone else): then the program file may stay in
// use. `version` is GetVersion's.
bool StopEveryMonitor(uint32_t version);

// The event that tells every monitor, in every session, to end: the
// uninstaller sets it. A window is found only in its own session (Fast User
// Switching and Terminal Services give each user one), a named kernel object
// in the global namespace by all ("Kernel Object Namespaces").
#pragma once

#include <cstdint>

#include "platform/win_types.h"

// On NT the global name first: where sessions exist (Terminal Services:
// 2000, XP and later) it is the global namespace, and Windows 2000 without
// Terminal Services ignores the prefix. NT 4.0 has one namespace, whose names
// may hold no backslash (the CreateEvent page of its day), and says the
// name's path is not found: there, and on 9x, the plain name.
constexpr const char* kStopEventGlobalName = "Global\\VornStop";
constexpr const char* kStopEventPlainName = "VornStop";

// For a monitor: the stop event, made or opened, that it can wait on; null
// when there is none (it then runs as before, found by its window only).
// Manual-reset, so one SetEvent ends every monitor. On NT it is made with an
// access list that lets SYSTEM and the Administrators do anything with it
// and everyone else only wait on it: no user can end another's monitor. A
// monitor that finds it made by another user's monitor opens it for waiting
// only. `version` is GetVersion's.
HANDLE OpenStopEventToWait(uint32_t version);

// For the uninstaller: the stop event opened with `access`, or null with
// the last error (ERROR_FILE_NOT_FOUND: no monitor of this kind runs).
HANDLE OpenStopEvent(uint32_t version, DWORD access);

// The event log: one time-stamped line per failure, appended to a text file,
// with the timestamp rendered in the system default locale's settings.
#pragma once

#include <string>

#include "monitor/timestamp.h"
#include "platform/win_types.h"

constexpr char kEventLogName[] = "vorn.log";

// The folder of the log when it is not the Windows folder (the service's,
// log_folder.h); empty for the Windows folder.
extern std::string g_eventLogFolder;
// The service's own account (a SID), which may own that folder besides the
// Administrators and SYSTEM (trusted_folder.h); null for none.
extern const void* g_eventLogAccount;

// vorn.log in g_eventLogFolder, or else in the Windows folder: C:\WINDOWS on
// a default 98, ME or XP, C:\WINNT on NT 4.0 and 2000, wherever the system
// lives elsewhere.
std::string EventLogPath();

// Read once at start-up by every role; the defaults until then.
extern LocaleFormats g_localeFormats;

// The formats of the system default locale.
LocaleFormats LoadLocaleFormats();
// The formats of a given locale, each unreadable item replaced by its default.
LocaleFormats ReadLocaleFormats(LCID locale);

// Appends "timestamp message" and CR LF to the log. Returns 0, or the
// platform's error code of the failure, which drops the line: only a missing
// log is created anew, so a log that exists is never emptied.
DWORD LogEvent(const char* message);

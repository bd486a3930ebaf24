// The service's events in the Application log (Windows Vista and later),
// under the source "Vorn" that the installer registers with this program as
// its message file: an error or warning for each line written to vorn.log,
// numbered by the kind of line, and an information event for each change of
// the clock. Nothing is reported until OpenEventSource succeeds, so the
// monitor of the older Windows never reports.
#pragma once

#include <string>
#include <vector>

#include "platform/win_eventlog.h"

constexpr const char* kEventSourceName = "Vorn";

// The numbers of the message table (resources/vorn_messages.mc.in and
// src/monitor/event_kinds.inc).
constexpr DWORD kClockChangeEventId = 1;
// A line of no kind of its own.
constexpr DWORD kLogLineEventId = 100;

struct EventKind {
  DWORD id;
  WORD type;
};

// The number and type of the event for a line LogEvent is given.
EventKind EventKindOf(const char* message);

// The strings of the clock change event: from, to (each
// "YYYY-MM-DD HH:MM:SS", UTC), the server and the one that confirmed it.
std::vector<std::string> ClockChangeStrings(const SYSTEMTIME& fromUtc, const SYSTEMTIME& toUtc,
                                            const std::string& server,
                                            const std::string& confirmingServer);

// Opens the source "Vorn" on this machine for the service's events; false
// when the system refused it, and the service then reports none.
bool OpenEventSource();
void CloseEventSource();

// The event of a line of vorn.log; nothing unless the source is open.
void ReportLogLine(const char* message);
// The clock was set from `fromUtc` to `toUtc`: the time `server` gave and
// `confirmingServer` confirmed (host names or URLs). Nothing unless the
// source is open.
void ReportClockChange(const SYSTEMTIME& fromUtc, const SYSTEMTIME& toUtc,
                       const std::string& server, const std::string& confirmingServer);

#include "monitor/clock_check.h"

#include "monitor/daytime.h"
#include "monitor/event_log.h"
#include "monitor/server_table.h"
#include "monitor/timing.h"
#include "platform/win_base.h"

UINT_PTR g_timerId;
MissingLogged g_missingLogged;

namespace {

constexpr const char* kAgent = "Microsoft Internet Explorer";
constexpr DWORD kReplySize = 256;
// On Windows closing the session wakes the worker's open within
// milliseconds; a worker still blocked after this long never wakes.
constexpr DWORD kWakeAfterCloseMs = 500;

// Logs a failed call. A DLL or entry point that is missing (no Dial-Up
// Networking on an offline PC) stays so: logged at the first check only,
// or the log would grow by a line every two minutes for ever.
void LogFailure(const char* message, DWORD error, bool* loggedMissing) {
  const bool missing = error == ERROR_MOD_NOT_FOUND || error == ERROR_PROC_NOT_FOUND;
  if (missing && *loggedMissing) return;
  LogEvent(message);
  // Only once written: a line that failed is tried again next time.
  if (missing) *loggedMissing = true;
}

// True when the first dial-up connection is up. Logs a failing RAS call.
bool DialUpConnected() {
  DialUpConnection connections[kDialUpConnectionRoom];
  connections[0].dwSize = kDialUpConnectionSize;
  DWORD size = sizeof connections;
  DWORD count = 0;
  const DWORD enumerated =
      RasEnumConnectionsA(reinterpret_cast<LPRASCONNA>(connections), &size, &count);
  if (enumerated != 0) {
    LogFailure("RasEnumConnections Failed", enumerated, &g_missingLogged.rasEnumConnections);
    return false;
  }
  if (count == 0) return false;

  DialUpStatus status;
  status.dwSize = kDialUpStatusSize;
  HRASCONN first = reinterpret_cast<HRASCONN>(static_cast<uintptr_t>(connections[0].hrasconn));
  const DWORD got = RasGetConnectStatusA(first, reinterpret_cast<LPRASCONNSTATUSA>(&status));
  if (got != 0) {
    LogFailure("RasGetConnectStatus Failed", got, &g_missingLogged.rasGetConnectStatus);
    return false;
  }
  return status.rasconnstate == RASCS_Connected;
}

bool Online() {
  DWORD flags;
  return InternetGetConnectedState(&flags, 0) || DialUpConnected();
}

// Closes the worker's thread handle and both Internet handles, URL first.
void CloseFetch(HANDLE thread) {
  CloseHandle(thread);
  if (g_servers.url) InternetCloseHandle(g_servers.url);
  InternetCloseHandle(g_servers.session);
}

}  // namespace

void CALLBACK CheckTimerProc(HWND, UINT, UINT_PTR, DWORD) {
  if (g_timerId != 0) KillTimer(nullptr, g_timerId);
  // A log write that fails (full disk, locked file) ends only this check.
  // Nothing may leave a timer callback: an exception cannot unwind through
  // user32's dispatch (under Wine it ends the process).
  try {
    ClockCheck();
  } catch (...) {
  }
  g_timerId = SetTimer(nullptr, 0, kCheckIntervalMs, CheckTimerProc);
}

DWORD WINAPI FetchWorker(LPVOID) {
  g_servers.url =
      InternetOpenUrlA(g_servers.session, CurrentServerUrl(), nullptr, 0, INTERNET_FLAG_RELOAD, 0);
  return g_servers.url ? 1 : 0;
}

void ClockCheck() {
  if (!Online()) return;

  g_servers.session = nullptr;
  g_servers.url = nullptr;
  g_servers.session = InternetOpenA(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (!g_servers.session) {
    LogFailure("InternetOpen Failed", GetLastError(), &g_missingLogged.internetOpen);
    return;
  }

  DWORD threadId;
  HANDLE thread = CreateThread(nullptr, 0, FetchWorker, nullptr, 0, &threadId);
  if (!thread) {
    InternetCloseHandle(g_servers.session);
    LogEvent("BeginThread failed");
    return;
  }

  if (WaitForSingleObject(thread, kWatchdogMs) == WAIT_TIMEOUT) {
    // Closing the session cuts the worker's open short on Windows. Wine's
    // WinINet never wakes an open blocked on a silent server, so a worker
    // that has not ended soon after is ended by force.
    InternetCloseHandle(g_servers.session);
    if (WaitForSingleObject(thread, kWakeAfterCloseMs) != WAIT_OBJECT_0) {
      TerminateThread(thread, 0);
    }
    CloseHandle(thread);
    AdvanceServer();
    return;
  }

  DWORD exitCode = 0;
  if (!GetExitCodeThread(thread, &exitCode)) {
    // The log write may raise; the handles are closed either way.
    try {
      LogEvent("GetExitCode Failed");
    } catch (...) {
      CloseFetch(thread);
      throw;
    }
    CloseFetch(thread);
    return;
  }

  CloseHandle(thread);
  if (exitCode == 0) {
    if (g_servers.url) InternetCloseHandle(g_servers.url);
    InternetCloseHandle(g_servers.session);
    AdvanceServer();
    return;
  }

  char reply[kReplySize];
  DWORD bytesRead = 0;
  BOOL read = InternetReadFile(g_servers.url, reply, kReplySize, &bytesRead);
  InternetCloseHandle(g_servers.url);
  InternetCloseHandle(g_servers.session);
  if (!read) return;
  // A server that says its own time is wrong, or asks for a big step no other
  // server has confirmed, counts as a failed fetch: the next check asks
  // another rather than this one again.
  if (!ApplyDaytimeReply(reply, bytesRead, g_servers.index)) AdvanceServer();
}

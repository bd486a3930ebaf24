#include "setup/stop_monitor.h"

#include "monitor/entry.h"
#include "monitor/stop_event.h"
#include "platform/win_base.h"
#include "platform/win_event.h"
#include "platform/win_process.h"
#include "platform/win_sessions.h"
#include "platform/win_window.h"

bool StopRunningMonitor() {
  HWND window = FindWindowA(nullptr, kWindowTitle);
  if (!window) return true;
  // Straight into the monitor's queue: its loop ends at the next GetMessageA.
  PostMessageA(window, WM_QUIT, 0, 0);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  // Without SYNCHRONIZE the handle cannot be waited on and the wait fails at
  // once, leaving the monitor's file still in use.
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
  // Gone already, or not ours to wait for: the window's process is not
  // known to run on.
  if (!process) return true;
  // Bounded: a window of that title whose process ignores WM_QUIT must not
  // hold the installer or uninstaller for ever. Past the bound they go on.
  const DWORD waited = WaitForSingleObject(process, kStopMonitorWaitMs);
  CloseHandle(process);
  return waited != WAIT_TIMEOUT;
}

bool StopEveryMonitor(uint32_t version) {
  const DWORD start = GetTickCount();
  bool eventThere = false;
  bool ended = true;
  if (HANDLE stop = OpenStopEvent(version, EVENT_MODIFY_STATE)) {
    eventThere = true;
    ended = SetEvent(stop) != FALSE;
    CloseHandle(stop);
  } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
    // There, with a list that keeps the Administrators out: not a monitor's,
    // and no telling what holds the program file.
    ended = false;
  }
  if (!StopRunningMonitor()) ended = false;
  // Each monitor holds the event until its process ends, so the name lasts
  // as long as one runs (the CreateEvent page: an event is destroyed when
  // its last handle is closed).
  while (eventThere) {
    HANDLE probe = OpenStopEvent(version, SYNCHRONIZE);
    if (!probe && GetLastError() == ERROR_FILE_NOT_FOUND) break;
    if (probe) CloseHandle(probe);
    if (GetTickCount() - start >= kStopMonitorWaitMs) return false;
    Sleep(kStopEventPollMs);
  }
  return ended;
}

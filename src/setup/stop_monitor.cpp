#include "setup/stop_monitor.h"

#include "monitor/entry.h"
#include "platform/win_base.h"
#include "platform/win_process.h"
#include "platform/win_window.h"

void StopRunningMonitor() {
  HWND window = FindWindowA(nullptr, kWindowTitle);
  if (!window) return;
  // Straight into the monitor's queue: its loop ends at the next GetMessageA.
  PostMessageA(window, WM_QUIT, 0, 0);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  // Without SYNCHRONIZE the handle cannot be waited on and the wait fails at
  // once, leaving the monitor's file still in use.
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
  if (!process) return;
  // Bounded: a window of that title whose process ignores WM_QUIT must not
  // hold the installer or uninstaller for ever. Past the bound they go on.
  WaitForSingleObject(process, kStopMonitorWaitMs);
  CloseHandle(process);
}

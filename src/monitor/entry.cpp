#include "monitor/entry.h"

#include "monitor/ascii_case.h"
#include "monitor/clock_check.h"
#include "monitor/command_line.h"
#include "monitor/dll_search.h"
#include "monitor/event_log.h"
#include "monitor/module_path.h"
#include "monitor/server_table.h"
#include "monitor/service_entry.h"
#include "monitor/stop_event.h"
#include "monitor/timing.h"
#include "platform/win_base.h"
#include "platform/win_sessions.h"
#include "setup/installer.h"
#include "setup/uninstaller.h"

namespace {

WNDCLASSA g_windowClass;
HWND g_window;
MSG g_message;

std::string Upper(std::string text) {
  for (char& c : text) c = UpperAscii(c);
  return text;
}

// Runs the installer or uninstaller; a raised error ends it with the
// top-level report. Either way the process then ends with exit code 1.
[[noreturn]] void RunSetupRole(void (*role)()) {
  role();
  ExitProcess(1);
}

// Until WM_QUIT (this session's installer or uninstaller, through the
// window) or the stop event (the uninstaller, from any session).
void RunMessageLoop(HANDLE stopEvent) {
  for (;;) {
    if (stopEvent) {
      // Wakes for messages that came since the last PeekMessageA, so the
      // queue is emptied each time ("MsgWaitForMultipleObjects function").
      const DWORD woken = MsgWaitForMultipleObjects(1, &stopEvent, FALSE, INFINITE, QS_ALLINPUT);
      if (woken == WAIT_OBJECT_0) return;
      if (woken == WAIT_FAILED) {
        // The window alone, as before the event.
        CloseHandle(stopEvent);
        stopEvent = nullptr;
        continue;
      }
      while (PeekMessageA(&g_message, nullptr, 0, 0, PM_REMOVE)) {
        if (g_message.message == WM_QUIT) return;
        TranslateMessage(&g_message);
        DispatchMessageA(&g_message);
      }
    } else {
      // A -1 (error) from GetMessageA counts as a message; only WM_QUIT ends.
      if (!GetMessageA(&g_message, nullptr, 0, 0)) return;
      TranslateMessage(&g_message);
      DispatchMessageA(&g_message);
    }
  }
}

}  // namespace

Role SelectRole(const std::string& modulePath, const std::vector<std::string>& words) {
  // A plain substring test: any path containing the monitor's name counts.
  if (Upper(modulePath).find(Upper(kMonitorFileName)) == std::string::npos) {
    return Role::Installer;
  }
  if (ParamStr(words, 1) == kUninstallSwitch) return Role::Uninstaller;
  if (ParamStr(words, 1) == kServiceSwitch) return Role::Service;
  return Role::Monitor;
}

LRESULT CALLBACK MonitorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

int VornMain() {
  LimitDllSearch();
  g_localeFormats = LoadLocaleFormats();

  std::string path;
  ReadModulePath(&path);
  switch (SelectRole(path, SplitCommandLine(GetCommandLineA()))) {
    case Role::Installer:
      RunSetupRole(RunInstaller);
    case Role::Uninstaller:
      RunSetupRole(RunUninstaller);
    case Role::Service:
      // Started by the service manager: the service is the monitor, with no
      // window (session 0 has no desktop a user could see it on anyway).
      // Anyone else who gives the switch gets the monitor with a window.
      if (RunAsServiceIfStartedSo()) return 0;
      break;
    case Role::Monitor:
      break;
  }

  // At most one monitor runs in a session: the window is seen in its own.
  if (FindWindowA(nullptr, kWindowTitle)) ExitProcess(1);

  InitServerTable();

  HINSTANCE instance = GetModuleHandleA(nullptr);
  g_windowClass.style = CS_HREDRAW | CS_VREDRAW;
  g_windowClass.lpfnWndProc = MonitorWindowProc;
  g_windowClass.cbClsExtra = 0;
  g_windowClass.cbWndExtra = 0;
  g_windowClass.hInstance = instance;
  g_windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  g_windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  g_windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  g_windowClass.lpszMenuName = nullptr;
  g_windowClass.lpszClassName = kWindowClass;
  RegisterClassA(&g_windowClass);

  // Never shown: it exists so that installers and uninstallers can find the
  // monitor by its title and tell it to quit.
  g_window = CreateWindowExA(WS_EX_TOOLWINDOW, kWindowClass, kWindowTitle, WS_OVERLAPPEDWINDOW,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                             nullptr, instance, nullptr);

  // The first check comes one interval after start-up.
  g_timerId = SetTimer(nullptr, 0, kCheckIntervalMs, CheckTimerProc);

  RunMessageLoop(OpenStopEventToWait(GetVersion()));
  return 0;
}

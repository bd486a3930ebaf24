// The simulated window manager: this process's windows, timers and message
// queue, message boxes, and stand-ins for other processes' windows.
// CharToOemA converts as on a US English Windows: ANSI code page 1252 to OEM
// code page 437, with Windows' stand-ins for the characters 437 lacks.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/win_window.h"

namespace sim {

struct MessageBoxCall {
  std::string text;
  std::string caption;
  UINT type;
  uint64_t timeMs;
};
std::vector<MessageBoxCall> MessageBoxes();
// What MessageBoxA returns (IDOK unless set).
void SetMessageBoxResult(int result);

struct TimerInfo {
  UINT_PTR id;
  UINT elapseMs;
  uint64_t dueMs;
  TIMERPROC callback;
};
std::vector<TimerInfo> Timers();

struct WindowInfo {
  std::string className;
  std::string title;
  DWORD exStyle;
  DWORD style;
};
std::vector<WindowInfo> OwnWindows();

// This process's id, as GetWindowThreadProcessId reports it for own windows.
constexpr DWORD kOwnProcessId = 100;

// Another process owning a top-level window titled `title`. After a WM_QUIT
// reaches that window the process ends `endsAfterQuitMs` later (never, when
// nullopt). Returns its process id.
DWORD AddForeignMonitor(const std::string& title, std::optional<uint64_t> endsAfterQuitMs = 0,
                        const std::string& className = "Vorn");
bool ForeignProcessRunning(DWORD processId);
// Virtual time at which WM_QUIT was posted to the process's window.
std::optional<uint64_t> ForeignQuitTime(DWORD processId);

// Posts WM_QUIT to this thread's queue at virtual time `atMs`: the usual way
// a test ends the message loop.
void QuitAt(uint64_t atMs);

}  // namespace sim

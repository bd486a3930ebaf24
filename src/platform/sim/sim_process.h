// Simulated process creation and priorities: what tests inspect.
//
// A created process runs nothing: it is a record of how it was asked for,
// with its own "process" and "thread" handles, whose thread can be resumed
// and given a priority. This process's own thread and priority class are
// reached through the GetCurrentThread and GetCurrentProcess pseudo handles.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/win_process.h"

namespace sim {

constexpr int kNormalThreadPriority = 0;
constexpr DWORD kNormalPriorityClass = 0x20;

struct CreatedProcess {
  std::optional<std::string> applicationName;
  std::optional<std::string> commandLine;
  bool inheritHandles;
  DWORD creationFlags;
  bool ownEnvironment;
  std::optional<std::string> currentDirectory;
  STARTUPINFOA startup;
  HANDLE process;
  HANDLE thread;
  DWORD processId;
  DWORD threadId;
  // Now: 0 once resumed (its thread would be running).
  DWORD suspendCount;
  // Ended by TerminateProcess with this exit code.
  std::optional<UINT> terminatedWith;
  int threadPriority;
  DWORD priorityClass;
};
std::vector<CreatedProcess> CreatedProcesses();

int OwnThreadPriority();
DWORD OwnPriorityClass();

}  // namespace sim

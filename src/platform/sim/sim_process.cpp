// Simulated kernel32 process creation and priorities.
#include "platform/sim/sim_process.h"

#include <memory>

#include "platform/sim/sim.h"
#include "platform/sim/sim_file.h"
#include "platform/win_base.h"

namespace sim {
namespace {

const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
const HANDLE kCurrentThread = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2));
constexpr DWORD kErrorDirectory = 267;  // ERROR_DIRECTORY: not a directory

struct ProcessState {
  std::vector<CreatedProcess> created;
  int ownThreadPriority = kNormalThreadPriority;
  DWORD ownPriorityClass = kNormalPriorityClass;
  DWORD nextId = 3000;
};

ProcessState& P() {
  static ProcessState state;
  return state;
}

ResetHook reset([] { P() = ProcessState(); });

// The handles of a created process and of its thread: indices into
// P().created, so that tests read the state the handles changed.
struct ChildProcess : Object {
  size_t index;
  explicit ChildProcess(size_t i) : index(i) {}
  const char* Kind() const override { return "process"; }
};

struct ChildThread : Object {
  size_t index;
  explicit ChildThread(size_t i) : index(i) {}
  const char* Kind() const override { return "thread"; }
};

bool ValidThreadPriority(int priority) {
  return priority == THREAD_PRIORITY_IDLE || priority == THREAD_PRIORITY_TIME_CRITICAL ||
         (priority >= -2 && priority <= 2);
}

constexpr DWORD kPriorityClasses[] = {IDLE_PRIORITY_CLASS,  0x4000 /* below normal */,
                                      kNormalPriorityClass, 0x8000 /* above normal */,
                                      HIGH_PRIORITY_CLASS,  0x100 /* realtime */};

bool ValidPriorityClass(DWORD priorityClass) {
  for (DWORD known : kPriorityClasses) {
    if (priorityClass == known) return true;
  }
  return false;
}

// The program a command line starts: its first word, quoted or up to a blank.
std::string ProgramOf(const std::string& commandLine) {
  if (!commandLine.empty() && commandLine[0] == '"') {
    size_t end = commandLine.find('"', 1);
    return commandLine.substr(1, end == std::string::npos ? std::string::npos : end - 1);
  }
  return commandLine.substr(0, commandLine.find_first_of(" \t"));
}

std::optional<std::string> Text(const char* text) {
  return text ? std::optional<std::string>(text) : std::nullopt;
}

}  // namespace

std::vector<CreatedProcess> CreatedProcesses() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return P().created;
}

int OwnThreadPriority() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return P().ownThreadPriority;
}

DWORD OwnPriorityClass() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return P().ownPriorityClass;
}

}  // namespace sim

using sim::Enter;
using sim::Fmt;
using sim::Str;

// Only a program that is in the simulated file system starts (no search of
// PATH, no ".exe" added). The new process never runs anything.
BOOL WINAPI CreateProcessA(LPCSTR applicationName, LPSTR commandLine,
                           LPSECURITY_ATTRIBUTES processAttributes,
                           LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles,
                           DWORD creationFlags, LPVOID environment, LPCSTR currentDirectory,
                           LPSTARTUPINFOA startupInfo, LPPROCESS_INFORMATION processInformation) {
  if (Enter("CreateProcessA", Fmt("%s, %s, %p, %p, %d, 0x%X, %p, %s", Str(applicationName).c_str(),
                                  Str(commandLine).c_str(), static_cast<void*>(processAttributes),
                                  static_cast<void*>(threadAttributes), inheritHandles,
                                  creationFlags, environment, Str(currentDirectory).c_str()))) {
    return FALSE;
  }
  if (!startupInfo || !processInformation || (!applicationName && !commandLine)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::string program = applicationName ? applicationName : sim::ProgramOf(commandLine);
  if (!sim::FileExists(program)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  if (currentDirectory && !sim::DirectoryExists(currentDirectory)) {
    SetLastError(sim::kErrorDirectory);
    return FALSE;
  }

  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  sim::ProcessState& state = sim::P();
  sim::CreatedProcess created;
  created.applicationName = sim::Text(applicationName);
  created.commandLine = sim::Text(commandLine);
  created.inheritHandles = inheritHandles != FALSE;
  created.creationFlags = creationFlags;
  created.ownEnvironment = environment != nullptr;
  created.currentDirectory = sim::Text(currentDirectory);
  created.startup = *startupInfo;
  created.processId = state.nextId;
  created.threadId = state.nextId + 1;
  state.nextId += 4;
  created.suspendCount = (creationFlags & CREATE_SUSPENDED) ? 1 : 0;
  created.threadPriority = sim::kNormalThreadPriority;
  created.priorityClass = sim::kNormalPriorityClass;
  for (DWORD priorityClass : sim::kPriorityClasses) {
    if (creationFlags & priorityClass) {
      created.priorityClass = priorityClass;
      break;
    }
  }
  const size_t index = state.created.size();
  created.process = sim::NewHandle(std::make_shared<sim::ChildProcess>(index));
  created.thread = sim::NewHandle(std::make_shared<sim::ChildThread>(index));
  state.created.push_back(created);

  processInformation->hProcess = created.process;
  processInformation->hThread = created.thread;
  processInformation->dwProcessId = created.processId;
  processInformation->dwThreadId = created.threadId;
  return TRUE;
}

HANDLE WINAPI GetCurrentThread() {
  Enter("GetCurrentThread", "");
  return sim::kCurrentThread;
}

HANDLE WINAPI GetCurrentProcess() {
  Enter("GetCurrentProcess", "");
  return sim::kCurrentProcess;
}

DWORD WINAPI ResumeThread(HANDLE thread) {
  if (Enter("ResumeThread", Fmt("%p", thread))) return static_cast<DWORD>(-1);
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (thread == sim::kCurrentThread) return 0;
  auto child = sim::Lookup<sim::ChildThread>(thread);
  if (!child) {
    SetLastError(ERROR_INVALID_HANDLE);
    return static_cast<DWORD>(-1);
  }
  DWORD& count = sim::P().created[child->index].suspendCount;
  const DWORD previous = count;
  if (count > 0) --count;
  return previous;
}

BOOL WINAPI TerminateProcess(HANDLE process, UINT exitCode) {
  if (Enter("TerminateProcess", Fmt("%p, %u", process, exitCode))) return FALSE;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  auto child = sim::Lookup<sim::ChildProcess>(process);
  if (!child) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  sim::P().created[child->index].terminatedWith = exitCode;
  return TRUE;
}

BOOL WINAPI SetThreadPriority(HANDLE thread, int priority) {
  if (Enter("SetThreadPriority", Fmt("%p, %d", thread, priority))) return FALSE;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  int* target = nullptr;
  if (thread == sim::kCurrentThread) {
    target = &sim::P().ownThreadPriority;
  } else if (auto child = sim::Lookup<sim::ChildThread>(thread)) {
    target = &sim::P().created[child->index].threadPriority;
  } else {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!sim::ValidThreadPriority(priority)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *target = priority;
  return TRUE;
}

BOOL WINAPI SetPriorityClass(HANDLE process, DWORD priorityClass) {
  if (Enter("SetPriorityClass", Fmt("%p, 0x%X", process, priorityClass))) return FALSE;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  DWORD* target = nullptr;
  if (process == sim::kCurrentProcess) {
    target = &sim::P().ownPriorityClass;
  } else if (auto child = sim::Lookup<sim::ChildProcess>(process)) {
    target = &sim::P().created[child->index].priorityClass;
  } else {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!sim::ValidPriorityClass(priorityClass)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *target = priorityClass;
  return TRUE;
}

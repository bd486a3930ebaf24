// The simulated Windows core: journal, failure injection, virtual time, the
// handle table, and the process's own identity.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>

#include "platform/sim/sim.h"
#include "platform/win_base.h"

namespace sim {
namespace {

struct Injection {
  std::string name;
  DWORD error;
  int skip;
  int times;
};

struct Scheduled {
  uint64_t atMs;
  uint64_t order;
  std::function<void()> action;
};

struct Core {
  std::vector<Call> journal;
  std::vector<Injection> injections;
  uint64_t nowMs = 0;
  uint64_t scheduleOrder = 0;
  std::vector<Scheduled> scheduled;
  std::map<uintptr_t, std::shared_ptr<Object>> handles;
  uintptr_t nextHandle = 0x1000;
  std::string modulePath = "C:\\Program Files\\Vorn\\Setup.exe";
  std::string commandLine = "\"C:\\Program Files\\Vorn\\Setup.exe\"";
};

Core& State() {
  static Core core;
  return core;
}

std::vector<void (*)()>& Hooks() {
  static std::vector<void (*)()> hooks;
  return hooks;
}

thread_local DWORD lastError = 0;

}  // namespace

std::recursive_mutex& Lock() {
  static std::recursive_mutex lock;
  return lock;
}

ResetHook::ResetHook(void (*fn)()) { Hooks().push_back(fn); }

void Reset() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  State() = Core();
  lastError = 0;
  for (auto hook : Hooks()) hook();
}

std::optional<DWORD> Enter(const char* name, std::string args) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  Core& core = State();
  core.journal.push_back({name, std::move(args), core.nowMs});
  for (auto it = core.injections.begin(); it != core.injections.end(); ++it) {
    if (it->name != name) continue;
    if (it->skip > 0) {
      --it->skip;
      continue;
    }
    DWORD error = it->error;
    if (it->times > 0 && --it->times == 0) core.injections.erase(it);
    lastError = error;
    return error;
  }
  return std::nullopt;
}

std::vector<Call> Journal() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return State().journal;
}

std::vector<std::string> CallNames(const std::vector<std::string>& only) {
  std::vector<std::string> names;
  for (const Call& call : Journal()) {
    bool wanted = only.empty();
    for (const std::string& name : only) wanted = wanted || name == call.name;
    if (wanted) names.push_back(call.name);
  }
  return names;
}

std::vector<std::string> CallsOf(const std::vector<std::string>& names) {
  std::vector<std::string> calls;
  for (const Call& call : Journal()) {
    for (const std::string& name : names) {
      if (name == call.name) calls.push_back(call.name + "(" + call.args + ")");
    }
  }
  return calls;
}

size_t CountCalls(const std::string& name) { return CallNames({name}).size(); }

void ClearJournal() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  State().journal.clear();
}

std::string Fmt(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  int n = vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n < 0) return std::string();
  if (static_cast<size_t>(n) < sizeof buffer) return std::string(buffer, n);
  std::string big(static_cast<size_t>(n) + 1, '\0');
  va_start(args, format);
  vsnprintf(&big[0], big.size(), format, args);
  va_end(args);
  big.resize(n);
  return big;
}

std::string Str(const char* text) {
  return text ? "\"" + std::string(text) + "\"" : std::string("NULL");
}

void FailCall(const std::string& name, DWORD error, int skip, int times) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  State().injections.push_back({name, error, skip, times});
}

uint64_t NowMs() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return State().nowMs;
}

void AdvanceMs(uint64_t ms) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  RunScheduled(State().nowMs + ms);
}

void At(uint64_t atMs, std::function<void()> action) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  Core& core = State();
  core.scheduled.push_back({atMs, core.scheduleOrder++, std::move(action)});
}

std::optional<uint64_t> RunScheduled(uint64_t untilMs) {
  std::unique_lock<std::recursive_mutex> guard(Lock());
  Core& core = State();
  for (;;) {
    auto next = core.scheduled.end();
    for (auto it = core.scheduled.begin(); it != core.scheduled.end(); ++it) {
      if (next == core.scheduled.end() || it->atMs < next->atMs ||
          (it->atMs == next->atMs && it->order < next->order)) {
        next = it;
      }
    }
    if (next == core.scheduled.end()) {
      if (core.nowMs < untilMs) core.nowMs = untilMs;
      return std::nullopt;
    }
    if (next->atMs > untilMs) {
      if (core.nowMs < untilMs) core.nowMs = untilMs;
      return next->atMs;
    }
    if (core.nowMs < next->atMs) core.nowMs = next->atMs;
    std::function<void()> action = std::move(next->action);
    core.scheduled.erase(next);
    action();
  }
}

DWORD Object::Wait(DWORD) {
  lastError = ERROR_INVALID_HANDLE;
  return WAIT_FAILED;
}

HANDLE NewHandle(std::shared_ptr<Object> object) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  Core& core = State();
  uintptr_t value = core.nextHandle;
  core.nextHandle += 4;
  core.handles[value] = std::move(object);
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<Object> LookupHandle(HANDLE handle) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  auto it = State().handles.find(reinterpret_cast<uintptr_t>(handle));
  return it == State().handles.end() ? nullptr : it->second;
}

std::shared_ptr<Object> TakeHandle(HANDLE handle) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  auto& handles = State().handles;
  auto it = handles.find(reinterpret_cast<uintptr_t>(handle));
  if (it == handles.end()) return nullptr;
  std::shared_ptr<Object> object = std::move(it->second);
  handles.erase(it);
  return object;
}

size_t OpenHandles(const std::string& kind) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  size_t count = 0;
  for (const auto& entry : State().handles) {
    if (kind.empty() || kind == entry.second->Kind()) ++count;
  }
  return count;
}

void SetModulePath(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  State().modulePath = path;
}

void SetCommandLine(const std::string& commandLine) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  State().commandLine = commandLine;
}

}  // namespace sim

using sim::Enter;
using sim::Fmt;

DWORD WINAPI GetLastError() { return sim::lastError; }

void WINAPI SetLastError(DWORD code) { sim::lastError = code; }

BOOL WINAPI CloseHandle(HANDLE handle) {
  if (Enter("CloseHandle", Fmt("%p", handle))) return FALSE;
  std::shared_ptr<sim::Object> object;
  {
    std::lock_guard<std::recursive_mutex> guard(sim::Lock());
    auto& handles = sim::State().handles;
    auto it = handles.find(reinterpret_cast<uintptr_t>(handle));
    if (it == handles.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    object = std::move(it->second);
    handles.erase(it);
  }
  object->Closed();
  return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  if (Enter("WaitForSingleObject", Fmt("%p, %u", handle, milliseconds))) return WAIT_FAILED;
  std::shared_ptr<sim::Object> object = sim::LookupHandle(handle);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return object->Wait(milliseconds);
}

DWORD WINAPI GetTickCount() { return static_cast<DWORD>(sim::NowMs()); }

// Virtual time passes, running what is due on the way.
void WINAPI Sleep(DWORD milliseconds) {
  if (Enter("Sleep", Fmt("%u", milliseconds))) return;
  sim::AdvanceMs(milliseconds);
}

void WINAPI ExitProcess(UINT exitCode) {
  Enter("ExitProcess", Fmt("%u", exitCode));
  throw sim::ProcessExit{exitCode};
}

LPSTR WINAPI GetCommandLineA() {
  Enter("GetCommandLineA", "");
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  return &sim::State().commandLine[0];
}

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
  Enter("GetModuleHandleA", sim::Str(moduleName));
  return reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x400000));
}

// Like Windows XP and later: a path that does not fit is cut to size - 1
// characters and terminated, the result is the size, and the last error is
// ERROR_INSUFFICIENT_BUFFER.
DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
  if (Enter("GetModuleFileNameA", Fmt("%p, %u", static_cast<void*>(module), size))) return 0;
  std::string path;
  {
    std::lock_guard<std::recursive_mutex> guard(sim::Lock());
    path = sim::State().modulePath;
  }
  if (size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (path.size() < size) {
    memcpy(fileName, path.c_str(), path.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
  }
  memcpy(fileName, path.data(), size - 1);
  fileName[size - 1] = '\0';
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return size;
}

// The simulated Windows: the core that every simulated call shares.
//
// Each simulated call writes one entry to a journal (its name and its
// arguments as text), may be made to fail by a test (result and last error),
// and runs in virtual time: timers fire and timed waits expire without
// sleeping. Kernel objects (files, threads, processes, events) share one
// handle table so that CloseHandle and WaitForSingleObject work on all of them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace sim {

// ---- the machine as a whole --------------------------------------------------

// Returns the simulated machine to its freshly booted state: empty journal,
// no injected failures, time 0, and every capability's own reset hook run.
void Reset();

// A capability registers its reset function once, at static-init time.
struct ResetHook {
  explicit ResetHook(void (*fn)());
};

// The one lock every simulated call takes; recursive so calls may nest.
std::recursive_mutex& Lock();

// ---- journal -------------------------------------------------------------------

struct Call {
  std::string name;
  std::string args;
  uint64_t timeMs;
};

// Records a call and tells whether the test made it fail. When it did, the
// injected error is returned (and already set as the thread's last error);
// the caller then returns its own failure value.
std::optional<DWORD> Enter(const char* name, std::string args);

std::vector<Call> Journal();
// Names of the journalled calls, in order; with a filter, only those names.
std::vector<std::string> CallNames(const std::vector<std::string>& only = {});
// "Name(args)" for every call of the given names, in order.
std::vector<std::string> CallsOf(const std::vector<std::string>& names);
size_t CountCalls(const std::string& name);
void ClearJournal();

// printf-style formatting for journal arguments.
std::string Fmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
// A string argument as the journal shows it: quoted, or NULL.
std::string Str(const char* text);

// ---- failure injection -----------------------------------------------------

// Makes the call `name` fail with `error`: after `skip` successful calls, the
// next `times` calls fail (times < 0: every call from then on).
void FailCall(const std::string& name, DWORD error, int skip = 0, int times = 1);

// ---- virtual time ------------------------------------------------------------

uint64_t NowMs();
void AdvanceMs(uint64_t ms);
// Runs `action` when virtual time reaches `atMs` (from the message loop or a
// timed wait that passes that time).
void At(uint64_t atMs, std::function<void()> action);
// Runs every scheduled action due at or before `untilMs`, advancing time to
// each one; returns the time of the next scheduled action, if any.
std::optional<uint64_t> RunScheduled(uint64_t untilMs);

// Thrown when the program waits for something that can never happen in the
// simulation (an empty message queue with no timer, an endless wait).
struct Stalled {
  std::string what;
};

// Thrown by ExitProcess: the test catches it and reads the exit code.
struct ProcessExit {
  UINT code;
};

// ---- kernel objects ----------------------------------------------------------

struct Object {
  virtual ~Object() = default;
  virtual const char* Kind() const = 0;
  // WaitForSingleObject on this object; may advance virtual time.
  virtual DWORD Wait(DWORD timeoutMs);
  // Called once when the last handle is closed.
  virtual void Closed() {}
};

HANDLE NewHandle(std::shared_ptr<Object> object);
std::shared_ptr<Object> LookupHandle(HANDLE handle);
template <class T>
std::shared_ptr<T> Lookup(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}
// Removes the handle from the table without closing its object, for a call
// that closes handles of its own kind (FindClose); null when not a handle.
std::shared_ptr<Object> TakeHandle(HANDLE handle);
// Handles opened and not yet closed, by kind ("file", "thread", ...).
size_t OpenHandles(const std::string& kind = "");

// ---- this process --------------------------------------------------------------

void SetModulePath(const std::string& path);
void SetCommandLine(const std::string& commandLine);

}  // namespace sim

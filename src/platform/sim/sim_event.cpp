// Simulated kernel32 events (Microsoft, "CreateEventA function", "SetEvent
// function", "Event Objects"): a manual-reset event stays set until reset
// and releases every waiter; an auto-reset event releases one waiter and
// resets itself. A wait on a thread that is not simulated lets virtual time
// run until the event is set or the wait's time is up; a simulated thread
// blocks until SetEvent wakes it.
//
// WaitForMultipleObjects ("WaitForMultipleObjects function": with waitAll
// FALSE, WAIT_OBJECT_0 plus the index of the first object signalled, the
// lowest index when several are) is simulated for threads and events on a
// thread that is not simulated: virtual time runs to each moment something
// could change until one is signalled or the time is up.
#include <algorithm>

#include "platform/sim/sim.h"
#include "platform/sim/sim_thread.h"
#include "platform/win_base.h"
#include "platform/win_event.h"

namespace sim {
namespace {

struct EventObject : Object {
  bool manualReset;
  bool set;
  EventObject(bool manual, bool initial) : manualReset(manual), set(initial) {}
  const char* Kind() const override { return "event"; }

  // With Lock() held: takes the event when it is set.
  bool Take() {
    if (!set) return false;
    if (!manualReset) set = false;
    return true;
  }

  DWORD Wait(DWORD timeoutMs) override {
    std::optional<uint64_t> deadline;
    if (timeoutMs != INFINITE) deadline = NowMs() + timeoutMs;
    for (;;) {
      std::optional<uint64_t> next;
      {
        std::lock_guard<std::recursive_mutex> guard(Lock());
        if (Take()) return WAIT_OBJECT_0;
        next = RunScheduled(NowMs());
        if (Take()) return WAIT_OBJECT_0;
        if (deadline && *deadline <= NowMs()) return WAIT_TIMEOUT;
      }
      if (IsSimulatedThread()) {
        BlockThread(this, deadline);
        continue;
      }
      std::optional<uint64_t> target = deadline;
      if (next && (!target || *next < *target)) target = next;
      if (!target) throw Stalled{"endless wait for an event that nothing sets"};
      RunScheduled(*target);
    }
  }
};

}  // namespace
}  // namespace sim

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState,
                           LPCSTR name) {
  if (sim::Enter("CreateEventA", sim::Fmt("%p, %d, %d, %s", static_cast<void*>(security),
                                          manualReset, initialState, sim::Str(name).c_str()))) {
    return nullptr;
  }
  return sim::NewHandle(std::make_shared<sim::EventObject>(manualReset != 0, initialState != 0));
}

DWORD WINAPI WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                    DWORD milliseconds) {
  std::string args = sim::Fmt("%u, {", count);
  for (DWORD i = 0; i < count && handles; ++i) args += sim::Fmt(i ? ", %p" : "%p", handles[i]);
  args += sim::Fmt("}, %d, %u", waitAll, milliseconds);
  if (sim::Enter("WaitForMultipleObjects", args)) return WAIT_FAILED;
  std::vector<std::shared_ptr<sim::Object>> objects;
  for (DWORD i = 0; i < count && handles; ++i) {
    std::shared_ptr<sim::Object> object = sim::LookupHandle(handles[i]);
    if (!object) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    objects.push_back(object);
  }
  if (objects.empty() || waitAll || sim::IsSimulatedThread()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  std::optional<uint64_t> deadline;
  if (milliseconds != INFINITE) deadline = sim::NowMs() + milliseconds;
  for (;;) {
    for (size_t i = 0; i < objects.size(); ++i) {
      const DWORD result = objects[i]->Wait(0);
      if (result == WAIT_OBJECT_0) return WAIT_OBJECT_0 + static_cast<DWORD>(i);
      if (result == WAIT_FAILED) return WAIT_FAILED;
    }
    const uint64_t now = sim::NowMs();
    if (deadline && *deadline <= now) return WAIT_TIMEOUT;
    std::optional<uint64_t> target = deadline;
    for (const auto& candidate : {sim::RunScheduled(now), sim::NextThreadWakeMs()}) {
      if (candidate && (!target || *candidate < *target)) target = candidate;
    }
    if (!target) throw sim::Stalled{"endless wait for objects that nothing signals"};
    sim::RunScheduled(std::max(*target, now));
  }
}

BOOL WINAPI SetEvent(HANDLE event) {
  if (sim::Enter("SetEvent", sim::Fmt("%p", event))) return FALSE;
  auto object = sim::Lookup<sim::EventObject>(event);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  {
    std::lock_guard<std::recursive_mutex> guard(sim::Lock());
    object->set = true;
  }
  sim::WakeBlocked(object.get());
  return TRUE;
}

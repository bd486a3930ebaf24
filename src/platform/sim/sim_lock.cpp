// Simulated critical sections (Microsoft, "Critical Section Objects",
// "EnterCriticalSection function": the owning thread may enter again, and
// must leave as many times; another thread waits until then). A simulated
// thread that finds it owned blocks until it is left; a thread that is not
// simulated cannot wait for one that is (nothing would run it), so there the
// wait is a Stalled.
#include <map>
#include <memory>
#include <thread>

#include "platform/sim/sim.h"
#include "platform/sim/sim_thread.h"
#include "platform/win_lock.h"

namespace sim {
namespace {

struct Section {
  std::thread::id owner;
  int count = 0;
};

// By the record's address: initializing one again starts it anew, as a
// program that runs its service more than once in a test does.
std::map<LPCRITICAL_SECTION, std::unique_ptr<Section>>& Sections() {
  static std::map<LPCRITICAL_SECTION, std::unique_ptr<Section>> sections;
  return sections;
}

Section* Of(LPCRITICAL_SECTION section) {
  auto it = Sections().find(section);
  if (it == Sections().end()) throw Stalled{"a critical section used but not initialized"};
  return it->second.get();
}

}  // namespace
}  // namespace sim

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section) {
  sim::Enter("InitializeCriticalSection", sim::Fmt("%p", static_cast<void*>(section)));
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  sim::Sections()[section] = std::make_unique<sim::Section>();
  section->state = nullptr;
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section) {
  sim::Enter("EnterCriticalSection", sim::Fmt("%p", static_cast<void*>(section)));
  for (;;) {
    {
      std::lock_guard<std::recursive_mutex> guard(sim::Lock());
      sim::Section* s = sim::Of(section);
      if (s->count == 0 || s->owner == std::this_thread::get_id()) {
        s->owner = std::this_thread::get_id();
        ++s->count;
        return;
      }
    }
    if (!sim::IsSimulatedThread())
      throw sim::Stalled{"a critical section held by a blocked thread"};
    sim::BlockThread(section, std::nullopt);
  }
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section) {
  sim::Enter("LeaveCriticalSection", sim::Fmt("%p", static_cast<void*>(section)));
  {
    std::lock_guard<std::recursive_mutex> guard(sim::Lock());
    sim::Section* s = sim::Of(section);
    if (s->count == 0 || s->owner != std::this_thread::get_id()) {
      throw sim::Stalled{"a critical section left by a thread that does not own it"};
    }
    if (--s->count > 0) return;
    s->owner = std::thread::id();
  }
  sim::WakeBlocked(section);
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section) {
  sim::Enter("DeleteCriticalSection", sim::Fmt("%p", static_cast<void*>(section)));
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  sim::Sections().erase(section);
}

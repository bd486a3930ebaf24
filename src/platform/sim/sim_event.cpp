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
#include <map>

#include "platform/sim/sim.h"
#include "platform/sim/sim_security.h"
#include "platform/sim/sim_session.h"
#include "platform/sim/sim_thread.h"
#include "platform/win_base.h"
#include "platform/win_event.h"
#include "platform/win_sessions.h"

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

// ---- named events (sim_session.h) ----

// A handle to a named event: the access it was opened with, checked by the
// calls that use it.
struct EventView : Object {
  std::shared_ptr<EventObject> event;
  DWORD access;
  EventView(std::shared_ptr<EventObject> e, DWORD rights) : event(std::move(e)), access(rights) {}
  const char* Kind() const override { return "event"; }
  DWORD Wait(DWORD timeoutMs) override {
    if (!(access & SYNCHRONIZE)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return WAIT_FAILED;
    }
    return event->Wait(timeoutMs);
  }
};

struct NamedEvent {
  std::weak_ptr<EventObject> event;
  // Empty with `everyone` false: nobody; `everyone`: a null list.
  std::vector<std::pair<std::string, DWORD>> allowed;
  bool everyone = false;
  std::string text;
};

std::map<std::string, NamedEvent>& Named() {
  static std::map<std::string, NamedEvent> named;
  return named;
}

ResetHook resetNamed([] { Named().clear(); });

NamedEvent* FindNamed(const std::string& fullName) {
  SettleProcesses();
  auto it = Named().find(fullName);
  if (it == Named().end()) return nullptr;
  if (it->second.event.expired()) {
    Named().erase(it);
    return nullptr;
  }
  return &it->second;
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// The name in the object namespace, or nullopt with the last error set.
std::optional<std::string> FullName(const std::string& name) {
  const Windows played = PlayedWindows();
  if (played == Windows::k98 || played == Windows::kNt4) {
    if (name.find('\\') == std::string::npos) return name;
    SetLastError(played == Windows::k98 ? ERROR_INVALID_NAME : ERROR_PATH_NOT_FOUND);
    return std::nullopt;
  }
  std::string rest = name;
  bool global = Session() == 0;
  if (StartsWith(name, "Global\\")) {
    rest = name.substr(7);
    global = true;
  } else if (StartsWith(name, "Local\\")) {
    rest = name.substr(6);
  }
  if (rest.find('\\') != std::string::npos) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return std::nullopt;
  }
  return global ? "Global\\" + rest : Fmt("Session\\%u\\", Session()) + rest;
}

bool TokenHolds(const std::string& sid) {
  return sid == ProcessAccount() || sid == "S-1-1-0" ||
         (sid == kAdministratorsSid && MayOwn(kAdministratorsSid));
}

bool Grants(const NamedEvent& named, DWORD access) {
  if (PlaysWindows9x() || named.everyone) return true;
  DWORD granted = 0;
  for (const auto& [sid, mask] : named.allowed) {
    if (TokenHolds(sid)) granted |= mask;
  }
  return (granted & access) == access;
}

// The list from the security attributes as SecurityText shows it.
void TakeList(const SECURITY_ATTRIBUTES* attributes, NamedEvent* named) {
  const std::string text = SecurityText(attributes);
  named->text = text;
  const size_t dacl = text.find("dacl=");
  if (text == "null dacl") {
    named->everyone = true;
  } else if (dacl == std::string::npos) {
    named->text = "default";
    named->allowed = {{ProcessAccount(), EVENT_ALL_ACCESS}, {kLocalSystemSid, EVENT_ALL_ACCESS}};
  } else {
    std::string entries = text.substr(dacl + 5) + ",";
    for (size_t start = 0, end; (end = entries.find(',', start)) != std::string::npos;
         start = end + 1) {
      const std::string entry = entries.substr(start, end - start);
      const size_t colon = entry.rfind(':');
      // Entries that do not allow are marked with their type and left out.
      if (colon == std::string::npos || entry.find(' ') != std::string::npos) continue;
      named->allowed.emplace_back(
          entry.substr(0, colon),
          static_cast<DWORD>(std::stoul(entry.substr(colon + 1), nullptr, 16)));
    }
  }
}

HANDLE OpenNamed(const std::string& fullName, DWORD access) {
  NamedEvent* named = FindNamed(fullName);
  if (!named) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  if (!Grants(*named, access)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return NewHandle(std::make_shared<EventView>(named->event.lock(), access));
}

HANDLE CreateNamed(const SECURITY_ATTRIBUTES* attributes, bool manualReset, bool initialState,
                   const std::string& name) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  const std::optional<std::string> fullName = FullName(name);
  if (!fullName) return nullptr;
  if (FindNamed(*fullName)) {
    HANDLE event = OpenNamed(*fullName, EVENT_ALL_ACCESS);
    if (event) SetLastError(ERROR_ALREADY_EXISTS);
    return event;
  }
  auto event = std::make_shared<EventObject>(manualReset, initialState);
  NamedEvent named;
  named.event = event;
  if (!PlaysWindows9x()) TakeList(attributes, &named);
  Named()[*fullName] = named;
  SetLastError(ERROR_SUCCESS);
  return NewHandle(std::make_shared<EventView>(event, EVENT_ALL_ACCESS));
}

}  // namespace

bool NamedEventExists(const std::string& fullName) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return FindNamed(fullName) != nullptr;
}

std::string NamedEventAccess(const std::string& fullName) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  const NamedEvent* named = FindNamed(fullName);
  return named ? named->text : "";
}

const Object* EventBehind(const Object* object) {
  const auto* view = dynamic_cast<const EventView*>(object);
  return view ? view->event.get() : object;
}

}  // namespace sim

HANDLE WINAPI OpenEventA(DWORD access, BOOL inheritHandle, LPCSTR name) {
  if (sim::Enter("OpenEventA",
                 sim::Fmt("0x%X, %d, %s", access, inheritHandle, sim::Str(name).c_str()))) {
    return nullptr;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::optional<std::string> fullName = sim::FullName(name);
  return fullName ? sim::OpenNamed(*fullName, access) : nullptr;
}

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState,
                           LPCSTR name) {
  if (sim::Enter("CreateEventA", sim::Fmt("%p, %d, %d, %s", static_cast<void*>(security),
                                          manualReset, initialState, sim::Str(name).c_str()))) {
    return nullptr;
  }
  if (name) {
    return sim::CreateNamed(security, manualReset != 0, initialState != 0, name);
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
  if (auto view = sim::Lookup<sim::EventView>(event)) {
    if (!(view->access & EVENT_MODIFY_STATE)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    object = view->event;
  }
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  {
    std::lock_guard<std::recursive_mutex> guard(sim::Lock());
    object->set = true;
  }
  sim::WakeBlocked(object.get());
  sim::TellHolders(object.get());
  return TRUE;
}

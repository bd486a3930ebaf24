// Simulated advapi32 event reporting (Microsoft, "RegisterEventSourceA
// function": a handle, or NULL on failure; a source with no registry key
// still gets one, its events then going to the Application log without
// their text; "ReportEventA function": ERROR_INVALID_HANDLE for a handle
// that is not an open source, each string at most 31,839 characters;
// "DeregisterEventSource function": closes the handle).
#include "platform/sim/sim_eventlog.h"

#include <map>

#include "platform/sim/sim.h"
#include "platform/win_base.h"

namespace sim {
namespace {

constexpr size_t kMaxStringLength = 31839;

struct EventLog {
  std::map<uintptr_t, std::string> sources;
  uintptr_t nextHandle = 0xE70000;
  std::vector<ReportedEvent> events;
};

EventLog& L() {
  static EventLog log;
  return log;
}

ResetHook reset([] { L() = EventLog(); });

}  // namespace

std::vector<ReportedEvent> ReportedEvents() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return L().events;
}

size_t OpenEventSources() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return L().sources.size();
}

}  // namespace sim

HANDLE WINAPI RegisterEventSourceA(LPCSTR server, LPCSTR source) {
  if (sim::Enter("RegisterEventSourceA", sim::Str(server) + ", " + sim::Str(source))) {
    return nullptr;
  }
  if (!source || !*source) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  const uintptr_t handle = sim::L().nextHandle++;
  sim::L().sources[handle] = source;
  return reinterpret_cast<HANDLE>(handle);
}

BOOL WINAPI ReportEventA(HANDLE log, WORD type, WORD category, DWORD eventId, PSID user,
                         WORD stringCount, DWORD dataSize, LPCSTR* strings, LPVOID data) {
  std::string args =
      sim::Fmt("%p, %u, %u, %u, %p, %u, {", log, type, category, eventId, user, stringCount);
  for (WORD i = 0; i < stringCount && strings; ++i) {
    if (i) args += ", ";
    args += sim::Str(strings[i]);
  }
  args += sim::Fmt("}, %u, %p", dataSize, data);
  if (sim::Enter("ReportEventA", args)) return FALSE;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  auto it = sim::L().sources.find(reinterpret_cast<uintptr_t>(log));
  if (it == sim::L().sources.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  sim::ReportedEvent event{it->second, type, category, eventId, {}, sim::NowMs()};
  for (WORD i = 0; i < stringCount; ++i) {
    if (!strings || !strings[i] || std::string(strings[i]).size() > sim::kMaxStringLength) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    event.strings.push_back(strings[i]);
  }
  sim::L().events.push_back(event);
  return TRUE;
}

BOOL WINAPI DeregisterEventSource(HANDLE log) {
  if (sim::Enter("DeregisterEventSource", sim::Fmt("%p", log))) return FALSE;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (sim::L().sources.erase(reinterpret_cast<uintptr_t>(log)) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

// Simulated LookupPrivilegeValueA and AdjustTokenPrivileges (Microsoft,
// "AdjustTokenPrivileges function": it needs TOKEN_ADJUST_PRIVILEGES, and
// succeeds with ERROR_NOT_ALL_ASSIGNED as the last error when the token does
// not hold a privilege it was asked to enable; "LookupPrivilegeValueA
// function": an unknown name fails with ERROR_NO_SUCH_PRIVILEGE).
#include "platform/sim/sim_privilege.h"

#include <map>

#include "platform/sim/sim.h"
#include "platform/sim/sim_security.h"
#include "platform/win_base.h"

namespace sim {
namespace {

constexpr DWORD kErrorCallNotImplemented = 120;

struct Privilege {
  DWORD luid;  // the values Windows gives them (winnt.h SE_*_PRIVILEGE)
  bool held;
  bool enabled;
};

std::map<std::string, Privilege> Fresh() {
  return {
      {"SeShutdownPrivilege", {19, true, false}},
      {"SeSystemtimePrivilege", {12, true, false}},
      {"SeChangeNotifyPrivilege", {23, true, true}},
      {"SeTimeZonePrivilege", {34, true, false}},
  };
}

std::map<std::string, Privilege>& P() {
  static std::map<std::string, Privilege> privileges = Fresh();
  return privileges;
}

ResetHook reset([] { P() = Fresh(); });

}  // namespace

void RemovePrivilege(const std::string& name) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  P().at(name).held = false;
  P().at(name).enabled = false;
}

bool HoldsPrivilege(const std::string& name) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  auto it = P().find(name);
  return it != P().end() && it->second.held;
}

bool PrivilegeEnabled(const std::string& name) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  auto it = P().find(name);
  return it != P().end() && it->second.enabled;
}

}  // namespace sim

BOOL WINAPI LookupPrivilegeValueA(LPCSTR systemName, LPCSTR name, PLUID luid) {
  if (sim::Enter("LookupPrivilegeValueA",
                 sim::Fmt("%s, %s", sim::Str(systemName).c_str(), sim::Str(name).c_str()))) {
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (sim::PlaysWindows9x()) {
    SetLastError(sim::kErrorCallNotImplemented);
    return FALSE;
  }
  auto it = name ? sim::P().find(name) : sim::P().end();
  if (it == sim::P().end()) {
    SetLastError(ERROR_NO_SUCH_PRIVILEGE);
    return FALSE;
  }
  luid->LowPart = it->second.luid;
  luid->HighPart = 0;
  return TRUE;
}

BOOL WINAPI AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState,
                                  DWORD bufferLength, PTOKEN_PRIVILEGES previousState,
                                  LPDWORD returnLength) {
  std::string args = sim::Fmt("%p, %d", token, disableAll);
  if (newState) {
    for (DWORD i = 0; i < newState->PrivilegeCount; ++i) {
      args += sim::Fmt(", luid %u attributes 0x%X", newState->Privileges[i].Luid.LowPart,
                       newState->Privileges[i].Attributes);
    }
  }
  args += sim::Fmt(", %u, %s, %s", bufferLength, previousState ? "previous" : "NULL",
                   returnLength ? "length" : "NULL");
  if (sim::Enter("AdjustTokenPrivileges", args)) return FALSE;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (sim::PlaysWindows9x()) {
    SetLastError(sim::kErrorCallNotImplemented);
    return FALSE;
  }
  const DWORD access = sim::TokenAccess(token);
  if (!access) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!(access & TOKEN_ADJUST_PRIVILEGES)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  // Only enabling and disabling named privileges is simulated.
  if (disableAll || !newState || previousState) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  bool allAssigned = true;
  for (DWORD i = 0; i < newState->PrivilegeCount; ++i) {
    const LUID_AND_ATTRIBUTES& asked = newState->Privileges[i];
    bool found = false;
    for (auto& entry : sim::P()) {
      if (entry.second.luid != asked.Luid.LowPart || asked.Luid.HighPart != 0) continue;
      found = entry.second.held;
      if (found) entry.second.enabled = (asked.Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
    allAssigned = allAssigned && found;
  }
  SetLastError(allAssigned ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED);
  return TRUE;
}

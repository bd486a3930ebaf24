// Simulated SetDefaultDllDirectories and SetDllDirectoryA.
#include "platform/sim/sim_dll.h"

#include "platform/sim/sim.h"
#include "platform/sim/sim_security.h"
#include "platform/win_base.h"

namespace sim {
namespace {

struct State {
  DllSearchState search;
  bool update = true;
};

State& S() {
  static State state;
  return state;
}

ResetHook reset([] { S() = State(); });

// "SetDefaultDllDirectories function": exactly the LOAD_LIBRARY_SEARCH_*
// flags, at least one of them.
constexpr DWORD kApplicationDir = 0x00000200;
constexpr DWORD kUserDirs = 0x00000400;
constexpr DWORD kSystem32 = 0x00000800;
constexpr DWORD kDefaultDirs = 0x00001000;

}  // namespace

DllSearchState DllSearch() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return S().search;
}

void SetDllSearchUpdate(bool installed) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  S().update = installed;
}

}  // namespace sim

BOOL WINAPI SetDefaultDllDirectories(DWORD directoryFlags) {
  if (sim::Enter("SetDefaultDllDirectories", sim::Fmt("0x%X", directoryFlags))) return FALSE;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  const sim::Windows version = sim::PlayedWindows();
  if (version < sim::Windows::kVista ||
      (version < sim::Windows::k8 && !(version >= sim::Windows::k7 && sim::S().update))) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return FALSE;
  }
  constexpr DWORD known =
      sim::kApplicationDir | sim::kUserDirs | sim::kSystem32 | sim::kDefaultDirs;
  if (directoryFlags == 0 || (directoryFlags & ~known)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  sim::S().search.defaultDirectories = directoryFlags;
  return TRUE;
}

BOOL WINAPI SetDllDirectoryA(LPCSTR pathName) {
  if (sim::Enter("SetDllDirectoryA", sim::Str(pathName))) return FALSE;
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  if (sim::PlayedWindows() < sim::Windows::kXp) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return FALSE;
  }
  sim::S().search.dllDirectory = pathName ? std::optional<std::string>(pathName) : std::nullopt;
  return TRUE;
}

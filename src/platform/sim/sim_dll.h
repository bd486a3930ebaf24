// Where the simulated LoadLibrary would look for DLLs: what the program set
// with SetDefaultDllDirectories and SetDllDirectoryA.
//
// Both calls are journalled always. SetDllDirectoryA exists from XP on
// (kernel32 exports it from XP SP1, the XP the simulation plays);
// SetDefaultDllDirectories from 8 on and on a 7 with update KB2533623
// ("SetDefaultDllDirectories function"), which the simulation takes 7 to
// have; the Vista it plays has not. Where a call is missing it fails
// with ERROR_PROC_NOT_FOUND, as the program's run-time lookup does.
#pragma once

#include <optional>
#include <string>

#include "platform/win_types.h"

namespace sim {

struct DllSearchState {
  // The flags of the last SetDefaultDllDirectories that succeeded.
  std::optional<DWORD> defaultDirectories;
  // The folder of the last SetDllDirectoryA that succeeded: "" for
  // SetDllDirectoryA("") (the current folder is no longer searched), nullopt
  // before any call or after SetDllDirectoryA(NULL) (the standard order).
  std::optional<std::string> dllDirectory;
};
DllSearchState DllSearch();

// Whether 7 has update KB2533623 (true after a reset): without it,
// SetDefaultDllDirectories is missing there as on Vista.
void SetDllSearchUpdate(bool installed);

}  // namespace sim

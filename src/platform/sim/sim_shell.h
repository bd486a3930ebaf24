// The simulated shell: programs started with ShellExecuteA, and the system's
// error texts that FormatMessageA gives.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/win_shell.h"

namespace sim {

struct ShellExecution {
  std::optional<std::string> verb;
  std::string file;
  std::optional<std::string> parameters;
  std::optional<std::string> directory;
  int showCommand;
  uint64_t timeMs;
  // ShellExecuteExA's fMask; 0 for ShellExecuteA.
  DWORD mask = 0;
};
// Every ShellExecuteA and ShellExecuteExA that got past failure injection,
// in order. ShellExecuteA succeeds (33, as Wine returns) when `file` exists
// in the simulated file system, else it returns ERROR_FILE_NOT_FOUND (2) and
// sets it as the last error. ShellExecuteExA fails the same way; with the
// verb "runas" on Vista and later it first asks for consent (see
// SetConsent). A program it starts runs at once to its end: with
// SEE_MASK_NOCLOSEPROCESS its "process" handle is signalled.
std::vector<ShellExecution> ShellExecutions();

// What the user answers to the consent prompt of "runas": yes (after a
// reset) starts the program elevated; no makes ShellExecuteExA fail with
// ERROR_CANCELLED, starting nothing.
void SetConsent(bool accepts);

// FormatMessageA's text for a system error code it knows (with its
// trailing CR LF), or nullopt.
std::optional<std::string> SystemErrorText(DWORD code);

}  // namespace sim

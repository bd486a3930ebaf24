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
};
// Every ShellExecuteA that got past failure injection, in order. It succeeds
// (33, as Wine returns) when `file` exists in the simulated file system, else
// it returns ERROR_FILE_NOT_FOUND (2) and sets it as the last error.
std::vector<ShellExecution> ShellExecutions();

// FormatMessageA's text for a system error code it knows (with its
// trailing CR LF), or nullopt.
std::optional<std::string> SystemErrorText(DWORD code);

}  // namespace sim

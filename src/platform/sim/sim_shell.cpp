// Simulated shell32 ShellExecuteA and kernel32 FormatMessageA.
#include "platform/sim/sim_shell.h"

#include <cstring>
#include <memory>

#include "platform/sim/sim.h"
#include "platform/sim/sim_file.h"
#include "platform/sim/sim_security.h"
#include "platform/win_base.h"

namespace sim {
namespace {

constexpr DWORD kErrorMessageNotFound = 317;  // ERROR_MR_MID_NOT_FOUND

struct Shell {
  std::vector<ShellExecution> executions;
  bool consents = true;
};

// A program the shell started, already ended.
struct ShellProcess : Object {
  const char* Kind() const override { return "process"; }
  DWORD Wait(DWORD) override { return WAIT_OBJECT_0; }
};

Shell& S() {
  static Shell shell;
  return shell;
}

ResetHook reset([] { S() = Shell(); });

std::optional<std::string> Optional(const char* text) {
  return text ? std::optional<std::string>(text) : std::nullopt;
}

}  // namespace

std::vector<ShellExecution> ShellExecutions() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return S().executions;
}

void SetConsent(bool accepts) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  S().consents = accepts;
}

// The texts of English Windows.
std::optional<std::string> SystemErrorText(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
      return "The system cannot find the file specified.\r\n";
    case ERROR_PATH_NOT_FOUND:
      return "The system cannot find the path specified.\r\n";
    case ERROR_ACCESS_DENIED:
      return "Access is denied.\r\n";
    case ERROR_SHARING_VIOLATION:
      return "The process cannot access the file because it is being used by another "
             "process.\r\n";
    case ERROR_HANDLE_DISK_FULL:
      return "The disk is full.\r\n";
    case ERROR_DISK_FULL:
      return "There is not enough space on the disk.\r\n";
    case ERROR_INSUFFICIENT_BUFFER:
      return "The data area passed to a system call is too small.\r\n";
    case 1053:  // ERROR_SERVICE_REQUEST_TIMEOUT
      return "The service did not respond to the start or control request in a timely "
             "fashion.\r\n";
    case 1072:  // ERROR_SERVICE_MARKED_FOR_DELETE
      return "The specified service has been marked for deletion.\r\n";
    default:
      return std::nullopt;
  }
}

}  // namespace sim

using sim::Enter;
using sim::Fmt;
using sim::Str;

HINSTANCE WINAPI ShellExecuteA(HWND window, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                               LPCSTR directory, int showCommand) {
  if (Enter("ShellExecuteA",
            Fmt("%p, %s, %s, %s, %s, %d", static_cast<void*>(window), Str(verb).c_str(),
                Str(file).c_str(), Str(parameters).c_str(), Str(directory).c_str(), showCommand))) {
    // Failures are reported in the result too, as a value of 32 or less.
    return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(GetLastError()));
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  sim::S().executions.push_back({sim::Optional(verb), file ? file : "", sim::Optional(parameters),
                                 sim::Optional(directory), showCommand, sim::NowMs()});
  if (!file || !sim::FileExists(file)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(ERROR_FILE_NOT_FOUND));
  }
  return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(33));
}

// As the ShellExecuteEx page describes it: FALSE and the last error on
// failure, the process handle with SEE_MASK_NOCLOSEPROCESS. On Vista and
// later "runas" brings up the User Account Control consent prompt; a user
// who declines it is the page's ERROR_CANCELLED ("the function prompted the
// user ..., but the user canceled the request"), and nothing starts.
BOOL WINAPI ShellExecuteExA(SHELLEXECUTEINFOA* info) {
  if (!info) {
    Enter("ShellExecuteExA", "NULL");
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (Enter("ShellExecuteExA", Fmt("%u, 0x%X, %p, %s, %s, %s, %s, %d", info->cbSize, info->fMask,
                                   static_cast<void*>(info->hwnd), Str(info->lpVerb).c_str(),
                                   Str(info->lpFile).c_str(), Str(info->lpParameters).c_str(),
                                   Str(info->lpDirectory).c_str(), info->nShow))) {
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  info->hProcess = nullptr;
  if (info->cbSize != sizeof *info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const bool asksConsent = info->lpVerb && std::string(info->lpVerb) == "runas" &&
                           sim::PlayedWindows() >= sim::Windows::kVista;
  if (asksConsent && !sim::S().consents) {
    SetLastError(ERROR_CANCELLED);
    return FALSE;
  }
  if (!info->lpFile || !sim::FileExists(info->lpFile)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  sim::S().executions.push_back(
      {sim::Optional(info->lpVerb), info->lpFile, sim::Optional(info->lpParameters),
       sim::Optional(info->lpDirectory), info->nShow, sim::NowMs(), info->fMask});
  info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(33));
  if (info->fMask & SEE_MASK_NOCLOSEPROCESS) {
    info->hProcess = sim::NewHandle(std::make_shared<sim::ShellProcess>());
  }
  return TRUE;
}

// Only what the program asks for: a system message into a caller's buffer.
DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                            LPSTR buffer, DWORD size, void* arguments) {
  if (Enter("FormatMessageA", Fmt("0x%X, %p, %u, %u, %u, %s", flags, source, messageId, languageId,
                                  size, arguments ? "args" : "NULL"))) {
    return 0;
  }
  if (flags != (FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS) || !buffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::optional<std::string> text = sim::SystemErrorText(messageId);
  if (!text) {
    SetLastError(sim::kErrorMessageNotFound);
    return 0;
  }
  if (text->size() >= size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  memcpy(buffer, text->c_str(), text->size() + 1);
  return static_cast<DWORD>(text->size());
}

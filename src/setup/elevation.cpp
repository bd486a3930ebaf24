#include "setup/elevation.h"

#include <string>

#include "monitor/command_line.h"
#include "monitor/errors.h"
#include "monitor/module_path.h"
#include "monitor/windows_version.h"
#include "platform/win_base.h"
#include "platform/win_registry.h"
#include "platform/win_shell.h"
#include "platform/win_window.h"
#include "setup/process_token.h"

namespace {

constexpr const char* kPolicyKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";

// A token that cannot be asked is taken as elevated: the role then runs as
// it always has, and what it may not do fails in its usual way.
bool TokenIsElevated() {
  ProcessToken token;
  TOKEN_ELEVATION elevation = {1};
  DWORD size = 0;
  if (!token.Open() ||
      !GetTokenInformation(token.Handle(), TokenElevation, &elevation, sizeof elevation, &size)) {
    return true;
  }
  return elevation.TokenIsElevated != 0;
}

// "User Account Control: Run all administrators in Admin Approval Mode"
// (EnableLUA, on unless set to 0). With it off "runas" raises no token, and
// the copy would start yet another one for ever.
bool AccountControlIsOn() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPolicyKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return true;
  }
  DWORD type = 0;
  DWORD value = 1;
  DWORD size = sizeof value;
  const LSTATUS status =
      RegQueryValueExA(key, "EnableLUA", nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size);
  RegCloseKey(key);
  return status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value || value != 0;
}

}  // namespace

bool HandedToElevatedCopy(const char* caption, const char* declinedText) {
  if (!IsVistaOrLater(GetVersion()) || TokenIsElevated() || !AccountControlIsOn()) return false;

  std::string path;
  if (!ReadModulePath(&path)) {
    const DWORD error = GetLastError();
    RaiseOSError(error ? error : static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  }
  const std::string parameters = ParametersText(GetCommandLineA());
  SHELLEXECUTEINFOA info = {};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpVerb = "runas";
  info.lpFile = path.c_str();
  info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExA(&info)) {
    const DWORD error = GetLastError();
    if (error != ERROR_CANCELLED) RaiseOSError(error);
    MessageBoxA(nullptr, declinedText, caption, MB_ICONEXCLAMATION);
    return true;
  }
  // The copy shows its own boxes; this one ends with it, so that whoever
  // started the role (Add/Remove Programs) waits for the whole of it.
  if (info.hProcess) {
    WaitForSingleObject(info.hProcess, INFINITE);
    CloseHandle(info.hProcess);
  }
  return true;
}

#include "monitor/domain_time.h"

#include "monitor/ascii_case.h"
#include "monitor/event_log.h"
#include "monitor/windows_version.h"
#include "platform/win_base.h"
#include "platform/win_registry.h"

namespace {

constexpr DWORD kServiceDisabled = 4;
constexpr const char* kW32Time = "SYSTEM\\CurrentControlSet\\Services\\W32Time";
constexpr const char* kParameters = "SYSTEM\\CurrentControlSet\\Services\\W32Time\\Parameters";

// A value of `path` under HKEY_LOCAL_MACHINE, read only (the monitor runs as
// whoever logged on): its type and bytes, or false when it is not there.
bool ReadValue(const char* path, const char* name, DWORD* type, BYTE* data, DWORD* size) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return false;
  }
  const bool read = RegQueryValueExA(key, name, nullptr, type, data, size) == ERROR_SUCCESS;
  RegCloseKey(key);
  return read;
}

}  // namespace

bool g_domainLogged;

bool FollowsDomain(const std::optional<std::string>& type, std::optional<DWORD> start) {
  if (!type || (start && *start == kServiceDisabled)) return false;
  return SameIgnoringCase(*type, "NT5DS") || SameIgnoringCase(*type, "AllSync");
}

bool ClockFollowsDomain() {
  if (IsWindows9x(GetVersion())) return false;
  char text[32];
  DWORD size = sizeof text - 1;
  DWORD kind = REG_NONE;
  std::optional<std::string> type;
  if (ReadValue(kParameters, "Type", &kind, reinterpret_cast<BYTE*>(text), &size) &&
      (kind == REG_SZ || kind == REG_EXPAND_SZ)) {
    text[size < sizeof text ? size : sizeof text - 1] = '\0';
    type = std::string(text);
  }
  DWORD value = 0;
  size = sizeof value;
  std::optional<DWORD> start;
  if (ReadValue(kW32Time, "Start", &kind, reinterpret_cast<BYTE*>(&value), &size) &&
      kind == REG_DWORD && size == sizeof value) {
    start = value;
  }
  return FollowsDomain(type, start);
}

bool LeftToTheDomain() {
  if (!ClockFollowsDomain()) return false;
  if (!g_domainLogged && LogEvent(kDomainTimeMessage) == 0) g_domainLogged = true;
  return true;
}

#include "setup/event_source.h"

#include "platform/win_eventlog.h"
#include "platform/win_registry.h"

DWORD AddEventSource(const std::string& program) {
  HKEY key;
  DWORD disposition;
  LSTATUS status =
      RegCreateKeyExA(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &key, &disposition);
  if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);
  const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
  status = RegSetValueExA(key, "EventMessageFile", 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(program.c_str()),
                          static_cast<DWORD>(program.size() + 1));
  if (status == ERROR_SUCCESS) {
    status = RegSetValueExA(key, "TypesSupported", 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&types), sizeof types);
  }
  RegCloseKey(key);
  return static_cast<DWORD>(status);
}

void RemoveEventSource() { RegDeleteKeyA(HKEY_LOCAL_MACHINE, kEventSourceKey); }

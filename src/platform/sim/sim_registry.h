// The simulated registry: what tests set up and inspect.
//
// Two hives, HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER, each a tree of keys
// whose names compare without regard to letter case. Opened keys are handles
// of their own (OpenKeys() counts them) and keep the access they were opened
// with: a call needing a right the handle lacks fails with ERROR_ACCESS_DENIED. After sim::Reset()
// the machine looks like a fresh Wine prefix: HKCU\Software, and under
// HKLM\Software\Microsoft\Windows\CurrentVersion the Uninstall key and
// Explorer\Shell Folders with "Common Startup" (REG_SZ) set to
// kFreshCommonStartup, and the Application log's key,
// HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application.
//
// Paths below are relative to `root` and may name nested keys with
// backslashes; an empty path is the root itself.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/win_registry.h"

namespace sim {

constexpr const char* kFreshCommonStartup =
    "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp";

struct RegValue {
  DWORD type;
  std::string data;  // the stored bytes, exactly as set
};

// Creates the key and any missing keys above it.
void RegAddKey(HKEY root, const std::string& path);
bool RegKeyExists(HKEY root, const std::string& path);
// Removes the key with everything below it (nothing when it is missing).
void RegRemoveKey(HKEY root, const std::string& path);
// Sub key names in enumeration order (case-insensitive alphabetical).
std::vector<std::string> RegSubKeys(HKEY root, const std::string& path);

// Sets a value, creating the key when missing. `data` is stored as given.
void RegPutValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                 const std::string& data);
// A REG_SZ value holding `text` and its terminating zero.
void RegPutText(HKEY root, const std::string& path, const std::string& name,
                const std::string& text);
void RegRemoveValue(HKEY root, const std::string& path, const std::string& name);
std::optional<RegValue> RegGetValue(HKEY root, const std::string& path, const std::string& name);

// Key handles opened and not yet closed.
size_t OpenKeys();

// "HKEY_LOCAL_MACHINE\Software\..." for a key handle (the journal's form),
// or the handle's value when it is none.
std::string KeyName(HKEY key);

}  // namespace sim

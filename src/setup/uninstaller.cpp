#include "setup/uninstaller.h"

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "monitor/errors.h"
#include "monitor/module_path.h"
#include "platform/win_base.h"
#include "platform/win_file.h"
#include "platform/win_process.h"
#include "platform/win_registry.h"
#include "platform/win_shell.h"
#include "platform/win_window.h"
#include "setup/private_access.h"
#include "setup/read_only.h"
#include "setup/registry_section.h"
#include "setup/removal_script.h"
#include "setup/stop_monitor.h"

namespace {

constexpr const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* kEntrySection = "Vorn";
constexpr const char* kStatusCaption = "Uninstall Status";
constexpr const char* kRemovedText = "Vorn Successfully Removed.";
// Pascal's text files report a write that stops short as "Disk full".
constexpr DWORD kShortWriteError = 101;

void DeleteUninstallEntry() {
  RegistrySection registry("Software");
  registry.ReleaseKey();
  // Flushing writes the deletion out at once.
  registry.SetFlushMode(true);
  registry.SelectRoot(HKEY_LOCAL_MACHINE);
  // Without the Uninstall key there is no entry; dropping "Vorn" anyway would
  // hit a key of that name straight under HKEY_LOCAL_MACHINE.
  if (!registry.EnterKey(kUninstallKey)) return;
  registry.DropSection(kEntrySection);
  registry.ReleaseKey();
}

// The 8.3 form of `longPath`, or empty when the system gives none.
std::string ReadShortPath(const std::string& longPath) {
  std::vector<char> buffer(MAX_PATH + 1, '\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD length =
        GetShortPathNameA(longPath.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::string();
    if (length < buffer.size()) return std::string(buffer.data(), length);
    // Too small: the result is the size needed, terminator included.
    buffer.assign(length + 1, '\0');
  }
  return std::string();
}

// `path` as the script's reader sees it: cmd and COMMAND.COM read a batch
// file in the OEM code page, so the ANSI bytes of an accented letter would
// name another file. Nothing when the OEM code page cannot name the file.
std::optional<std::string> OemPath(const std::string& path) {
  std::vector<char> buffer(path.size() + 1, '\0');
  if (!CharToOemA(path.c_str(), buffer.data())) return std::nullopt;
  const std::string oemPath(buffer.data());
  if (!OemPathNamesSameFile(path, oemPath)) return std::nullopt;
  return oemPath;
}

void ShowNotRemoved(const std::string& longPath) {
  const std::string text = "Vorn could not remove its program file:\r\n" + longPath;
  MessageBoxA(nullptr, text.c_str(), kStatusCaption, MB_ICONHAND);
}

// The script is made anew, with an access list of its own on NT: cmd reads a
// batch file a line at a time while it runs, so a file that someone else
// made first, or that others may change, would run their lines with our
// rights.
void WriteRemovalScript(const std::string& path) {
  if (!DeleteFileA(kRemovalScriptPath)) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) RaiseInOutError(error);
  }
  PrivateAccess access;
  // CREATE_NEW: a file of that name made since the deletion is not ours.
  HANDLE file = CreateFileA(kRemovalScriptPath, GENERIC_WRITE, FILE_SHARE_READ, access.Attributes(),
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) RaiseInOutError(GetLastError());
  for (const std::string& line : RemovalScriptLines(path)) {
    const std::string bytes = line + "\r\n";
    const DWORD size = static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), size, &written, nullptr);
    if (!ok || written != size) {
      const DWORD error = ok ? kShortWriteError : GetLastError();
      CloseHandle(file);
      RaiseInOutError(error);
    }
  }
  if (!CloseHandle(file)) RaiseInOutError(GetLastError());
}

}  // namespace

// Nothing is removed until the script is written and its process made: a
// failure before that leaves Vorn installed, its entry there to remove it
// with, and its monitor running.
void RunUninstaller() {
  std::string longPath;
  ReadModulePath(&longPath);
  const std::optional<std::string> scriptPath =
      OemPath(ScriptPath(longPath, ReadShortPath(longPath)));
  // A script naming another file could delete it, and would never delete ours.
  if (!scriptPath) {
    ShowNotRemoved(longPath);
    return;
  }
  WriteRemovalScript(*scriptPath);

  // Suspended, so that it only starts once this process is about to end and
  // the executable is free to be deleted.
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION script;
  memset(&script, 0, sizeof script);
  std::string commandLine = kRemovalScriptPath;
  if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE,
                      CREATE_SUSPENDED | IDLE_PRIORITY_CLASS, nullptr, "c:\\", &startup, &script)) {
    // A script left behind unrun would only puzzle whoever finds it.
    DeleteFileA(kRemovalScriptPath);
    ShowNotRemoved(longPath);
    return;
  }

  // Neither step raises an error, so the script made above always runs.
  DeleteUninstallEntry();
  StopRunningMonitor();
  // A read-only copy (an older install from a CD-ROM) would keep the
  // script's `del` failing for ever.
  ClearReadOnly(longPath);

  MessageBoxA(nullptr, kRemovedText, kStatusCaption, MB_ICONINFORMATION);

  // The script's retry loop gets the processor only after this process, at
  // high priority with a time-critical thread, has ended and let go of the
  // executable.
  SetThreadPriority(script.hThread, THREAD_PRIORITY_IDLE);
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
  SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
  CloseHandle(script.hProcess);
  ResumeThread(script.hThread);
  CloseHandle(script.hThread);
}

#include "setup/uninstaller.h"

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "monitor/errors.h"
#include "monitor/module_path.h"
#include "monitor/windows_version.h"
#include "platform/win_base.h"
#include "platform/win_file.h"
#include "platform/win_folder.h"
#include "platform/win_process.h"
#include "platform/win_registry.h"
#include "platform/win_shell.h"
#include "platform/win_window.h"
#include "setup/elevation.h"
#include "setup/event_source.h"
#include "setup/private_access.h"
#include "setup/read_only.h"
#include "setup/registry_section.h"
#include "setup/removal_place.h"
#include "setup/removal_script.h"
#include "setup/restart_deletion.h"
#include "setup/service_place.h"
#include "setup/service_setup.h"
#include "setup/stop_monitor.h"

namespace {

constexpr const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* kEntrySection = "Vorn";
constexpr const char* kStatusCaption = "Uninstall Status";
constexpr const char* kRemovedText = "Vorn Successfully Removed.";
// A monitor still running (in another user's session, or one that ignores
// being told) keeps the program file in use past the script's retries.
constexpr const char* kRemovedAtRestartText =
    "Vorn Removed. Its program file, still in use, is deleted when Windows restarts.";
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

void ShowStillInUse(const std::string& longPath) {
  const std::string text =
      "Vorn was removed, but its program file is still in use and stays:\r\n" + longPath;
  MessageBoxA(nullptr, text.c_str(), kStatusCaption, MB_ICONEXCLAMATION);
}

void ShowNotRemoved(const std::string& longPath) {
  const std::string text = "Vorn could not remove its program file:\r\n" + longPath;
  MessageBoxA(nullptr, text.c_str(), kStatusCaption, MB_ICONHAND);
}

// A removal script being made: its path, and on NT the folder of its own
// that it lies in (empty on 9x).
struct ScriptFile {
  std::string path;
  std::string folder;

  // What is left of it when it will not run: a script left behind unrun, or
  // its empty folder, would only puzzle whoever finds it. On 9x, with no
  // folder, a script that failed to be written stays as it always has.
  void Discard() const {
    DeleteFileA(path.c_str());
    if (!folder.empty()) RemoveDirectoryA(folder.c_str());
  }
  [[noreturn]] void Fail(DWORD error) const {
    if (!folder.empty()) Discard();
    RaiseInOutError(error);
  }
};

// A folder path from `call` (GetSystemWindowsDirectoryA or its like); false
// with the call's error as the last error when it gives none. The Windows
// folder's path fits MAX_PATH, as the GetWindowsDirectory page sizes it.
bool ReadFolder(UINT(WINAPI* call)(LPSTR, UINT), std::string* folder) {
  char buffer[MAX_PATH + 1];
  const UINT length = call(buffer, sizeof buffer);
  if (length == 0) return false;
  if (length >= sizeof buffer) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  folder->assign(buffer, length);
  return true;
}

// The Windows folder all users share. Under Terminal Server
// GetWindowsDirectoryA gives a folder of the user's own (the
// GetSystemWindowsDirectory page); Windows 9x and NT 4.0 have only that call.
std::string SharedWindowsFolder() {
  std::string folder;
  if (ReadFolder(GetSystemWindowsDirectoryA, &folder)) return folder;
  if (GetLastError() != ERROR_PROC_NOT_FOUND) RaiseInOutError(GetLastError());
  if (!ReadFolder(GetWindowsDirectoryA, &folder)) RaiseInOutError(GetLastError());
  return folder;
}

// On NT: a folder made anew under the Windows folder, with an access list
// that lets only SYSTEM and the Administrators into it. Nobody else can
// delete or rename it from outside either: no default list of NT 4.0 to 11
// gives another account Full Control of the Windows folder (whose "Delete
// Subfolders and Files" would allow that), and the Windows folder itself
// cannot be renamed while Windows runs from it. A folder of the name that
// is already there is passed over, whoever made it.
ScriptFile MakeScriptFolder(const std::string& windows, LPSECURITY_ATTRIBUTES access) {
  for (int attempt = 0; attempt < kRemovalFolderAttempts; ++attempt) {
    const std::string folder = RemovalFolder(windows, attempt);
    if (CreateDirectoryA(folder.c_str(), access)) return {RemovalScriptIn(folder), folder};
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS) RaiseInOutError(error);
  }
  RaiseInOutError(ERROR_ALREADY_EXISTS);
}

// The script is made anew, with an access list of its own on NT: cmd reads a
// batch file a line at a time while it runs, so a file that someone else
// made first, or that others may change, would run their lines with our
// rights.
void WriteRemovalScript(const ScriptFile& script, LPSECURITY_ATTRIBUTES access,
                        const std::string& text) {
  // CREATE_NEW: a file of that name made since the deletion (9x) is not ours.
  HANDLE file = CreateFileA(script.path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, access, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) script.Fail(GetLastError());
  size_t start = 0;
  while (start < text.size()) {
    // A line at a time, as the script has always been written.
    const size_t end = text.find('\n', start) + 1;
    const DWORD size = static_cast<DWORD>(end - start);
    DWORD written = 0;
    const bool ok = WriteFile(file, text.data() + start, size, &written, nullptr);
    if (!ok || written != size) {
      const DWORD error = ok ? kShortWriteError : GetLastError();
      CloseHandle(file);
      script.Fail(error);
    }
    start = end;
  }
  if (!CloseHandle(file)) script.Fail(GetLastError());
}

// The service's program folder when `longPath` lies in it (Vista and
// later), for the script to remove: `target`'s folder, the form the script
// names the program by. Empty elsewhere.
std::string OwnProgramFolder(const std::string& longPath, const std::string& target) {
  if (!LiesInProgramFolder(longPath, ProgramFolder())) return std::string();
  return target.substr(0, target.rfind('\\'));
}

// `path` in double quotes when it holds a blank, as a command line needs.
std::string CommandLineFor(const std::string& path) {
  return path.find(' ') == std::string::npos ? path : "\"" + path + "\"";
}

}  // namespace

// Nothing is removed until the script is written and its process made: a
// failure before that leaves Vorn installed, its entry there to remove it
// with, and its monitor running.
void RunUninstaller() {
  if (HandedToElevatedCopy(kStatusCaption, kUninstallNeedsRightsText)) return;

  std::string longPath;
  ReadModulePath(&longPath);
  const std::optional<std::string> target = OemPath(ScriptPath(longPath, ReadShortPath(longPath)));
  // A script naming another file could delete it, and would never delete ours.
  if (!target) {
    ShowNotRemoved(longPath);
    return;
  }

  const DWORD version = GetVersion();
  PrivateAccess access(version);
  ScriptFile script;
  std::string text;
  std::string directory;
  if (IsWindows9x(version)) {
    if (!DeleteFileA(kRemovalScriptPath)) {
      const DWORD error = GetLastError();
      if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) RaiseInOutError(error);
    }
    script.path = kRemovalScriptPath;
    text = RemovalScriptText(*target);
    directory = "c:\\";
  } else {
    directory = SharedWindowsFolder();
    const std::optional<std::string> oemWindows = OemPath(directory);
    if (!oemWindows) {
      ShowNotRemoved(longPath);
      return;
    }
    script = MakeScriptFolder(directory, access.Attributes());
    // The folder's own name is ASCII, and an OEM form has the ANSI one's length.
    const std::string oemFolder = *oemWindows + script.folder.substr(directory.size());
    text = RemovalScriptText(
        *target, RemovalScriptIn(oemFolder), oemFolder,
        IsVistaOrLater(version) ? OwnProgramFolder(longPath, *target) : std::string());
  }
  WriteRemovalScript(script, access.Attributes(), text);

  // Suspended, so that it only starts once this process is about to end and
  // the executable is free to be deleted. Its current folder is not the
  // script's, which it removes.
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process;
  memset(&process, 0, sizeof process);
  // On NT the interpreter is named in full: a batch file given as the
  // program is run by whatever cmd the search finds, with AutoRun.
  std::string interpreter;
  std::string commandLine = CommandLineFor(script.path);
  if (!IsWindows9x(version)) {
    if (!ReadFolder(GetSystemDirectoryA, &interpreter)) script.Fail(GetLastError());
    interpreter += "\\cmd.exe";
    commandLine = RemovalCommandLine(interpreter, script.path, version);
  }
  if (!CreateProcessA(interpreter.empty() ? nullptr : interpreter.c_str(), &commandLine[0], nullptr,
                      nullptr, FALSE, CREATE_SUSPENDED | IDLE_PRIORITY_CLASS, nullptr,
                      directory.c_str(), &startup, &process)) {
    script.Discard();
    ShowNotRemoved(longPath);
    return;
  }

  // Vista and later: the service goes first, and its program with it stops.
  // Should it refuse, nothing else is removed and the script never runs.
  if (IsVistaOrLater(version)) {
    if (const DWORD error = RemoveVornService()) {
      TerminateProcess(process.hProcess, 1);
      CloseHandle(process.hProcess);
      CloseHandle(process.hThread);
      script.Discard();
      RaiseOSError(error);
    }
    RemoveEventSource();
  }
  // None of these steps raises an error, so the script made above always runs.
  DeleteUninstallEntry();
  const bool monitorsEnded = StopEveryMonitor(version);
  // A read-only copy (an older install from a CD-ROM) would keep the
  // script's `del` failing for ever.
  ClearReadOnly(longPath);

  if (monitorsEnded) {
    MessageBoxA(nullptr, kRemovedText, kStatusCaption, MB_ICONINFORMATION);
  } else {
    // The script may outlive the monitor and delete everything first; if it
    // ends with this user's log-off, the restart does it instead. On 9x
    // WININIT.EXE reads 8.3 names in the OEM code page: the script's own.
    std::vector<std::string> leftOver;
    if (IsWindows9x(version)) {
      leftOver = {*target, kRemovalScriptPath};
    } else {
      leftOver = {longPath, script.path, script.folder};
    }
    if (DeleteAtRestart(version, leftOver)) {
      MessageBoxA(nullptr, kRemovedAtRestartText, kStatusCaption, MB_ICONINFORMATION);
    } else {
      ShowStillInUse(longPath);
    }
  }

  // The script's retry loop gets the processor only after this process, at
  // high priority with a time-critical thread, has ended and let go of the
  // executable.
  SetThreadPriority(process.hThread, THREAD_PRIORITY_IDLE);
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
  SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
  CloseHandle(process.hProcess);
  ResumeThread(process.hThread);
  CloseHandle(process.hThread);
}

// The uninstaller role against the simulated Windows, run as Add/Remove
// Programs starts it: the installed VornMon.exe with -r.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "monitor/entry.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_file.h"
#include "platform/sim/sim_process.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_security.h"
#include "platform/sim/sim_window.h"

namespace {

constexpr const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* kEntryKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vorn";
// Where the script goes on the simulation's default Windows, XP.
constexpr const char* kFolder = "C:\\WINDOWS\\VornRemoval";
constexpr const char* kScript = "C:\\WINDOWS\\VornRemoval\\DelAll.bat";
constexpr const char* kCmd = "C:\\WINDOWS\\system32\\cmd.exe";
const std::string kStartup = sim::kFreshCommonStartup;
const std::string kInstalled = kStartup + "\\VornMon.exe";
constexpr const char* kInstalledShort =
    "C:\\PROG~BDQ\\MICR~ABC\\WIND~XYZ\\STAR~1\\PROG~1\\STAR~2\\VornMon.exe";

// The script for `target` in `folder`; in c:\DelAll.bat (98) without one.
std::string ScriptFor(const std::string& target, const std::string& folder = kFolder) {
  const std::string last = folder.empty()
                               ? "del c:\\DelAll.bat"
                               : "del " + folder + "\\DelAll.bat & rd " + folder + " & exit";
  return ":Repeat\r\ndel " + target + "\r\nif exist " + target + " goto Repeat\r\n" + last + "\r\n";
}

class UninstallerSim : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    Install(kInstalled);
    sim::SetShortPath(kInstalled, kInstalledShort);
  }

  // What an installation leaves: the entry, and the program where it runs from.
  static void Install(const std::string& exePath) {
    sim::RegPutText(HKEY_LOCAL_MACHINE, kEntryKey, "DisplayName", "Vorn (PC Clock Synchronizer)");
    sim::RegPutText(HKEY_LOCAL_MACHINE, kEntryKey, "UninstallString", kInstalled + " -r");
    sim::AddDirectory(exePath.substr(0, exePath.rfind('\\')));
    sim::PutFile(exePath, "MZ");
    sim::SetModulePath(exePath);
    sim::SetCommandLine("\"" + exePath + "\" -r");
  }

  // A fresh machine with the program at `exePath`, whose 8.3 form is
  // `shortForm`; none when empty (volumes without short names).
  static void InstallWithShortForm(const std::string& exePath, const std::string& shortForm) {
    sim::Reset();
    Install(exePath);
    if (shortForm.empty()) {
      sim::FailCall("GetShortPathNameA", ERROR_INVALID_PARAMETER);
    } else {
      sim::SetShortPath(exePath, shortForm);
    }
  }

  static UINT Run() {
    // Should the monitor role be chosen by mistake, its loop still ends.
    sim::QuitAt(3600000);
    try {
      return static_cast<UINT>(VornMain());
    } catch (const sim::ProcessExit& exit) {
      return exit.code;
    }
  }

  static size_t Index(const std::string& name) {
    const std::vector<std::string> names = sim::CallNames();
    for (size_t i = 0; i < names.size(); ++i) {
      if (names[i] == name) return i;
    }
    return names.size();
  }

  static void ExpectRemovedBoxOnly() {
    const std::vector<sim::MessageBoxCall> boxes = sim::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Vorn Successfully Removed.");
    EXPECT_EQ(boxes[0].caption, "Uninstall Status");
    EXPECT_EQ(boxes[0].type, 0x40u);
  }
};

TEST_F(UninstallerSim, RegistryCallsOfANormalUninstallInOrder) {
  EXPECT_EQ(Run(), 1u);
  std::vector<std::string> calls = sim::CallsOf(
      {"RegCreateKeyExA", "RegOpenKeyExA", "RegCloseKey", "RegQueryInfoKeyA", "RegEnumKeyExA",
       "RegDeleteKeyA", "RegFlushKey", "RegQueryValueExA", "RegSetValueExA"});
  // What becomes of the entry's own handle is the registry layer's business.
  const std::string closeEntry = std::string("RegCloseKey(HKEY_LOCAL_MACHINE\\") + kEntryKey;
  calls.erase(
      std::remove_if(calls.begin(), calls.end(),
                     [&](const std::string& call) { return call.rfind(closeEntry, 0) == 0; }),
      calls.end());
  const std::string uninstall = std::string("HKEY_LOCAL_MACHINE\\") + kUninstallKey;
  EXPECT_EQ(
      calls,
      (std::vector<std::string>{
          "RegCreateKeyExA(HKEY_CURRENT_USER, \"Software\", 0, NULL, 0, 0xF003F, NULL)",
          "RegCloseKey(HKEY_CURRENT_USER\\Software)",
          "RegOpenKeyExA(HKEY_LOCAL_MACHINE, \"" + std::string(kUninstallKey) + "\", 0, 0xF003F)",
          "RegOpenKeyExA(" + uninstall + ", \"Vorn\", 0, 0xF003F)",
          "RegQueryInfoKeyA(" + uninstall + "\\Vorn)", "RegDeleteKeyA(" + uninstall + ", \"Vorn\")",
          "RegFlushKey(" + uninstall + ")"}));
  EXPECT_FALSE(sim::RegKeyExists(HKEY_LOCAL_MACHINE, kEntryKey));
  EXPECT_TRUE(sim::RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_TRUE(sim::RegKeyExists(HKEY_CURRENT_USER, "Software"));
}

TEST_F(UninstallerSim, EntryWithSubkeysGoesWhole) {
  sim::RegAddKey(HKEY_LOCAL_MACHINE, std::string(kEntryKey) + "\\A\\Deep");
  sim::RegAddKey(HKEY_LOCAL_MACHINE, std::string(kEntryKey) + "\\B");
  sim::RegAddKey(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "\\Other");
  EXPECT_EQ(Run(), 1u);
  EXPECT_FALSE(sim::RegKeyExists(HKEY_LOCAL_MACHINE, kEntryKey));
  EXPECT_EQ(sim::RegSubKeys(HKEY_LOCAL_MACHINE, kUninstallKey),
            (std::vector<std::string>{"Other"}));
}

// A missing entry or Uninstall key changes nothing in the registry, and the
// rest runs as usual. Without the Uninstall key, no "Vorn" key straight
// under HKEY_LOCAL_MACHINE is touched.
TEST_F(UninstallerSim, MissingEntryOrUninstallKeyGoesUnnoticed) {
  for (const char* missing : {kEntryKey, kUninstallKey}) {
    SetUp();
    sim::RegRemoveKey(HKEY_LOCAL_MACHINE, missing);
    sim::RegPutText(HKEY_LOCAL_MACHINE, "Vorn", "Someone", "else's");
    EXPECT_EQ(Run(), 1u) << missing;
    EXPECT_TRUE(sim::RegKeyExists(HKEY_LOCAL_MACHINE, "Vorn")) << missing;
    EXPECT_EQ(sim::FileBytes(kScript), ScriptFor(kInstalledShort)) << missing;
    ExpectRemovedBoxOnly();
    EXPECT_EQ(sim::CreatedProcesses().size(), 1u) << missing;
  }
}

// Nothing is removed before the script is written and its process made, so
// that a failure on the way leaves Vorn installed; the script runs last.
TEST_F(UninstallerSim, ScriptIsReadyBeforeTheEntryGoesAndTheMonitorStops) {
  const DWORD monitor = sim::AddForeignMonitor("Vorn Titlebar", 50);
  EXPECT_EQ(Run(), 1u);
  EXPECT_FALSE(sim::ForeignProcessRunning(monitor));
  EXPECT_EQ(sim::CallNames({"CreateDirectoryA", "CreateFileA", "WriteFile", "CreateProcessA",
                            "RegDeleteKeyA", "PostMessageA", "WaitForSingleObject", "MessageBoxA",
                            "ResumeThread", "ExitProcess"}),
            (std::vector<std::string>{"CreateDirectoryA", "CreateFileA", "WriteFile", "WriteFile",
                                      "WriteFile", "WriteFile", "CreateProcessA", "RegDeleteKeyA",
                                      "PostMessageA", "WaitForSingleObject", "MessageBoxA",
                                      "ResumeThread", "ExitProcess"}));
  EXPECT_EQ(sim::FileBytes(kScript), ScriptFor(kInstalledShort));
}

TEST_F(UninstallerSim, ScriptNamesTheRunningFileWholeQuotedWhenItHasBlanks) {
  const std::string deep = "C:\\" + std::string(120, 'd') + "\\" + std::string(120, 'e');
  const std::string deepShort = "C:\\" + std::string(100, 'D') + "\\" + std::string(200, 'E');
  struct Case {
    const char* name;
    std::string exe;
    std::string shortForm;  // empty: the system gives none
    std::string target;     // as the script's lines 2 and 3 name it
  } cases[] = {
      {"short form", kInstalled, kInstalledShort, kInstalledShort},
      {"copy outside StartUp", "C:\\Temp\\VornMon.exe", "C:\\Temp\\VornMon.exe",
       "C:\\Temp\\VornMon.exe"},
      {"no short form: long path quoted", kInstalled, "", "\"" + kInstalled + "\""},
      {"long paths not cut", deep + "\\VornMon.exe", deepShort + "\\VORNMON.EXE",
       deepShort + "\\VORNMON.EXE"},
      {"& quoted", "C:\\r&d\\VornMon.exe", "C:\\r&d\\VornMon.exe", "\"C:\\r&d\\VornMon.exe\""},
      // cmd reads the script in the OEM code page (437 here): e-acute 0xE9
      // and E-acute 0xC9 are 0x82 and 0x90 there.
      {"accented short form in OEM", "C:\\WINDOWS\\Menu D\xE9marrer\\D\xE9marrage\\VornMon.exe",
       "C:\\WINDOWS\\MENUD\xC9~1\\D\xC9MARR~1\\VornMon.exe",
       "C:\\WINDOWS\\MENUD\x90~1\\D\x90MARR~1\\VornMon.exe"},
      {"accented long path in OEM, quoted", "C:\\D\xE9marr r&d\\VornMon.exe", "",
       "\"C:\\D\x82marr r&d\\VornMon.exe\""},
  };
  for (const Case& c : cases) {
    InstallWithShortForm(c.exe, c.shortForm);
    EXPECT_EQ(Run(), 1u) << c.name;
    EXPECT_EQ(sim::FileBytes(kScript), ScriptFor(c.target)) << c.name;
  }
}

// On 98, whatever "c:\DelAll.bat" held before (an earlier script, or lines
// another user put there) is deleted, and the script is a file made anew
// with no access list (98 has none, nor any security call but stubs). On
// NT the script lies in a folder made anew under the Windows folder all
// users share; folder and script grant SYSTEM and the Administrators alone,
// and from 2000 on their lists are protected from the parent's inheritable
// entries. A folder of that name already there, whoever made it, is passed
// over and left as it is.
TEST_F(UninstallerSim, ScriptLiesWhereOnlyAdministratorsMayTouchIt) {
  const std::string admins = "dacl=S-1-5-18:001f01ff,S-1-5-32-544:001f01ff";
  const std::string planted = "echo someone else's lines\r\n";
  struct Case {
    const char* name;
    sim::Windows windows;
    std::string taken;   // a folder already there with a script in it, or empty
    std::string folder;  // where the script goes, empty for c:\DelAll.bat
    std::string security;
    std::string directory;  // the script process's current folder
    // The interpreter named as the program (none on 98: COMMAND.COM runs a
    // batch file given as the program) and its switches: /d keeps AutoRun
    // from running, from 2000 on, where cmd has it ("cmd /?").
    std::string interpreter;
    std::string switches;
  } cases[] = {
      {"98", sim::Windows::k98, "", "", "NULL", "c:\\", "", ""},
      {"NT 4.0: merges nothing, needs no protection", sim::Windows::kNt4, "",
       "C:\\WINNT\\VornRemoval", admins, "C:\\WINNT", "C:\\WINNT\\system32\\cmd.exe", " /c"},
      {"2000", sim::Windows::k2000, "", "C:\\WINNT\\VornRemoval", "protected " + admins,
       "C:\\WINNT", "C:\\WINNT\\system32\\cmd.exe", " /d /c"},
      {"XP", sim::Windows::kXp, "", kFolder, "protected " + admins, "C:\\WINDOWS",
       "C:\\WINDOWS\\system32\\cmd.exe", " /d /c"},
      {"XP, someone else's folder there", sim::Windows::kXp, kFolder, "C:\\WINDOWS\\VornRemoval.1",
       "protected " + admins, "C:\\WINDOWS", "C:\\WINDOWS\\system32\\cmd.exe", " /d /c"},
      {"Vista", sim::Windows::kVista, "", "C:\\Windows\\VornRemoval", "protected " + admins,
       "C:\\Windows", "C:\\Windows\\system32\\cmd.exe", " /d /c"},
      {"10", sim::Windows::k10, "", "C:\\Windows\\VornRemoval", "protected " + admins,
       "C:\\Windows", "C:\\Windows\\system32\\cmd.exe", " /d /c"},
  };
  for (const Case& c : cases) {
    SetUp();
    sim::PlayWindows(c.windows);
    sim::PutFile("c:\\DelAll.bat", planted);
    if (!c.taken.empty()) sim::PutFile(c.taken + "\\DelAll.bat", planted);
    EXPECT_EQ(Run(), 1u) << c.name;
    const std::string script = c.folder.empty() ? "c:\\DelAll.bat" : c.folder + "\\DelAll.bat";
    EXPECT_EQ(sim::FileBytes(script), ScriptFor(kInstalledShort, c.folder)) << c.name;
    EXPECT_EQ(sim::SecurityOf(script), c.security) << c.name;
    const std::vector<sim::CreatedProcess> created = sim::CreatedProcesses();
    ASSERT_EQ(created.size(), 1u) << c.name;
    if (c.interpreter.empty()) {
      EXPECT_FALSE(created[0].applicationName) << c.name;
      EXPECT_EQ(created[0].commandLine, script) << c.name;
    } else {
      EXPECT_EQ(created[0].applicationName, c.interpreter) << c.name;
      EXPECT_EQ(created[0].commandLine, c.interpreter + c.switches + " \"" + script + "\"")
          << c.name;
    }
    EXPECT_EQ(created[0].currentDirectory, c.directory) << c.name;
    if (c.folder.empty()) {
      EXPECT_EQ(sim::CallsOf({"DeleteFileA", "CreateFileA"}),
                (std::vector<std::string>{
                    "DeleteFileA(\"c:\\DelAll.bat\")",
                    "CreateFileA(\"c:\\DelAll.bat\", 0x40000000, 0x1, NULL, 1, 0x80, NULL)"}))
          << c.name;
      EXPECT_EQ(sim::CountCalls("CreateDirectoryA"), 0u) << c.name;
      EXPECT_EQ(sim::CountCalls("InitializeAcl"), 0u) << c.name;
    } else {
      EXPECT_EQ(sim::SecurityOf(c.folder), c.security) << c.name;
      // What was there before stays as it was, and nothing but our own is made.
      EXPECT_EQ(sim::FileBytes("c:\\DelAll.bat"), planted) << c.name;
      if (!c.taken.empty()) {
        EXPECT_EQ(sim::FileBytes(c.taken + "\\DelAll.bat"), planted) << c.name;
      }
      EXPECT_EQ(sim::CountCalls("DeleteFileA"), 0u) << c.name;
      EXPECT_EQ(sim::CallsOf({"CreateFileA"}),
                (std::vector<std::string>{"CreateFileA(\"" + script + "\", 0x40000000, 0x1, " +
                                          c.security + ", 1, 0x80, NULL)"}))
          << c.name;
    }
    EXPECT_EQ(sim::OpenHandles(), 0u) << c.name;
    ExpectRemovedBoxOnly();
  }
}

// Under Terminal Server GetWindowsDirectoryA names a Windows folder of the
// user's own, which the user may change: the script goes to the shared one.
TEST_F(UninstallerSim, TerminalServerUsersOwnWindowsFolderIsNotUsed) {
  const std::string own = "C:\\Documents and Settings\\someone\\WINDOWS";
  sim::AddDirectory(own);
  sim::SetUserWindowsDirectory(own);
  EXPECT_EQ(Run(), 1u);
  EXPECT_EQ(sim::FileBytes(kScript), ScriptFor(kInstalledShort));
  EXPECT_FALSE(sim::DirectoryExists(own + "\\VornRemoval"));
}

// A script that cannot be made as it must be is not made: the top-level
// error report names the failure, and Vorn stays installed and running. On
// NT nothing of the script or its folder is left (on 98 a script cut short
// stays, as it always has).
TEST_F(UninstallerSim, ScriptFailuresEndInTheErrorReportWithNothingRemoved) {
  struct Case {
    const char* name;
    bool windows98;
    const char* call;  // made to fail, or null: every folder name is taken
    DWORD error;
    int skip;
    const char* message;
    size_t creates;  // CreateFileA calls: none when the access list failed
  } cases[] = {
      {"every folder name taken", false, nullptr, 0, 0, "I/O error 183.", 0},
      {"98: old script cannot be deleted", true, "DeleteFileA", ERROR_SHARING_VIOLATION, 0,
       "I/O error 32.", 0},
      {"98: a file made since the deletion", true, "CreateFileA", 80, 0, "I/O error 80.", 1},
      {"98: line 2", true, "WriteFile", ERROR_DISK_FULL, 1, "I/O error 112.", 1},
      {"shared Windows folder", false, "GetSystemWindowsDirectoryA", ERROR_NOT_ENOUGH_MEMORY, 0,
       "I/O error 8.", 0},
      {"folder", false, "CreateDirectoryA", ERROR_ACCESS_DENIED, 0, "File access denied.", 0},
      {"folder, path", false, "CreateDirectoryA", ERROR_PATH_NOT_FOUND, 0, "Invalid filename.", 0},
      {"create", false, "CreateFileA", ERROR_ACCESS_DENIED, 0, "File access denied.", 1},
      {"access list", false, "InitializeAcl", ERROR_INVALID_PARAMETER, 0, "I/O error 87.", 0},
      {"Administrators' entry", false, "AddAccessAllowedAce", 1344, 1, "I/O error 1344.", 0},
      {"descriptor", false, "InitializeSecurityDescriptor", 1305, 0, "I/O error 1305.", 0},
      {"list into the descriptor", false, "SetSecurityDescriptorDacl", 1338, 0, "I/O error 1338.",
       0},
      {"protection", false, "SetSecurityDescriptorControl", ERROR_INVALID_PARAMETER, 0,
       "I/O error 87.", 0},
      {"line 1", false, "WriteFile", ERROR_DISK_FULL, 0, "I/O error 112.", 1},
      {"line 3", false, "WriteFile", ERROR_WRITE_FAULT, 2, "I/O error 29.", 1},
      {"line 4", false, "WriteFile", ERROR_HANDLE_DISK_FULL, 3, "I/O error 39.", 1},
      {"close", false, "CloseHandle", ERROR_INVALID_HANDLE, 0, "I/O error 6.", 1},
  };
  for (const Case& c : cases) {
    sim::Reset();
    Install(kInstalled);
    if (c.windows98) sim::PlayWindows98();
    const DWORD monitor = sim::AddForeignMonitor("Vorn Titlebar", 50);
    if (c.call) {
      sim::FailCall(c.call, c.error, c.skip);
    } else {
      for (int attempt = 0; attempt < 100; ++attempt) {
        sim::AddDirectory(kFolder + (attempt ? "." + std::to_string(attempt) : std::string()));
      }
    }
    EXPECT_EQ(Run(), 1u) << c.name;
    const std::vector<sim::MessageBoxCall> boxes = sim::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u) << c.name;
    EXPECT_EQ(boxes[0].caption, "Application Error") << c.name;
    EXPECT_EQ(boxes[0].type, 0x2010u) << c.name;
    const std::string& text = boxes[0].text;
    EXPECT_EQ(text.rfind("Exception InOutError in module VornMon.exe at ", 0), 0u) << text;
    EXPECT_EQ(text.substr(text.find('\n') + 1), c.message) << c.name;
    EXPECT_EQ(sim::CountCalls("CreateFileA"), c.creates) << c.name;
    const bool closeFailed = c.call && std::string(c.call) == "CloseHandle";
    if (!closeFailed) {
      EXPECT_EQ(sim::OpenHandles("file"), 0u) << c.name;
      if (!c.windows98 && c.call) {
        EXPECT_FALSE(sim::DirectoryExists(kFolder)) << c.name;
        EXPECT_EQ(sim::CountCalls("RemoveDirectoryA"), c.creates) << c.name;
      }
    }
    EXPECT_TRUE(sim::CreatedProcesses().empty()) << c.name;
    EXPECT_EQ(sim::CountCalls("SetPriorityClass"), 0u) << c.name;
    EXPECT_TRUE(sim::RegKeyExists(HKEY_LOCAL_MACHINE, kEntryKey)) << c.name;
    EXPECT_EQ(sim::CountCalls("FindWindowA"), 0u) << c.name;
    EXPECT_TRUE(sim::ForeignProcessRunning(monitor)) << c.name;
    EXPECT_TRUE(sim::FileExists(kInstalled)) << c.name;
  }
}

// A script that cannot start, or that would name another file than ours,
// claims no success.
TEST_F(UninstallerSim, ScriptThatCannotRemoveTheProgramClaimsNoSuccess) {
  struct Case {
    const char* name;
    std::string exe;
    std::string shortForm;  // empty: the system gives none
    const char* failing;    // a call made to fail, or null
  } cases[] = {
      {"script cannot start", kInstalled, kInstalledShort, "CreateProcessA"},
      {"no OEM form", kInstalled, kInstalledShort, "CharToOemA"},
      // Code page 437 lacks A-grave: the script would name C:\A voir.
      {"OEM look-alike in the long path", "C:\\\xC0 voir\\VornMon.exe", "", nullptr},
      // The per mille sign would be a %, naming C:\50%.
      {"OEM look-alike in the short form", "C:\\50 \x89\\VornMon.exe", "C:\\50\x89\\VornMon.exe",
       nullptr},
  };
  for (const Case& c : cases) {
    InstallWithShortForm(c.exe, c.shortForm);
    const DWORD monitor = sim::AddForeignMonitor("Vorn Titlebar", 50);
    if (c.failing) sim::FailCall(c.failing, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(Run(), 1u) << c.name;
    // No script or folder is left behind to puzzle anyone; the program, its
    // entry and the running monitor stay.
    EXPECT_FALSE(sim::FileExists(kScript)) << c.name;
    EXPECT_FALSE(sim::DirectoryExists(kFolder)) << c.name;
    EXPECT_TRUE(sim::FileExists(c.exe)) << c.name;
    EXPECT_TRUE(sim::RegKeyExists(HKEY_LOCAL_MACHINE, kEntryKey)) << c.name;
    EXPECT_TRUE(sim::ForeignProcessRunning(monitor)) << c.name;
    const std::vector<sim::MessageBoxCall> boxes = sim::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u) << c.name;
    EXPECT_EQ(boxes[0].caption, "Uninstall Status") << c.name;
    EXPECT_EQ(boxes[0].type, 0x10u) << c.name;
    EXPECT_EQ(boxes[0].text, "Vorn could not remove its program file:\r\n" + c.exe) << c.name;
    for (const char* untouched : {"SetThreadPriority", "SetPriorityClass", "ResumeThread"}) {
      EXPECT_EQ(sim::CountCalls(untouched), 0u) << c.name << ": " << untouched;
    }
    EXPECT_EQ(sim::CallNames().back(), "ExitProcess") << c.name;
  }
}

// An older install from read-only media left the attribute on the program;
// the script's `del` would fail on it for ever.
TEST_F(UninstallerSim, ReadOnlyProgramIsMadeDeletableBeforeTheScriptRuns) {
  constexpr DWORD kArchive = 0x20;
  sim::SetAttributes(kInstalled, FILE_ATTRIBUTE_READONLY | kArchive);
  EXPECT_EQ(Run(), 1u);
  EXPECT_EQ(sim::Attributes(kInstalled), kArchive);
  EXPECT_LT(Index("SetFileAttributesA"), Index("ResumeThread"));
  EXPECT_EQ(sim::CallsOf({"SetFileAttributesA"}),
            (std::vector<std::string>{"SetFileAttributesA(\"" + kInstalled + "\", 0x20)"}));
  ExpectRemovedBoxOnly();
}

TEST_F(UninstallerSim, ScriptStartsHiddenSuspendedAndIsResumedLastAtIdle) {
  EXPECT_EQ(Run(), 1u);
  const std::vector<sim::CreatedProcess> created = sim::CreatedProcesses();
  ASSERT_EQ(created.size(), 1u);
  const sim::CreatedProcess& script = created[0];
  EXPECT_EQ(script.applicationName, std::optional<std::string>(kCmd));
  EXPECT_EQ(script.commandLine,
            std::optional<std::string>(std::string(kCmd) + " /d /c \"" + kScript + "\""));
  EXPECT_FALSE(script.inheritHandles);
  EXPECT_EQ(script.creationFlags, 0x44u);
  EXPECT_FALSE(script.ownEnvironment);
  EXPECT_EQ(script.currentDirectory, std::optional<std::string>("C:\\WINDOWS"));
  STARTUPINFOA hidden;
  memset(&hidden, 0, sizeof hidden);
  hidden.cb = 68;
  hidden.dwFlags = STARTF_USESHOWWINDOW;
  hidden.wShowWindow = 0;
  ASSERT_EQ(sizeof script.startup, 68u);
  EXPECT_EQ(memcmp(&script.startup, &hidden, sizeof hidden), 0);
  EXPECT_EQ(script.suspendCount, 0u);
  EXPECT_EQ(script.threadPriority, THREAD_PRIORITY_IDLE);
  EXPECT_EQ(script.priorityClass, IDLE_PRIORITY_CLASS);
  EXPECT_EQ(sim::OwnThreadPriority(), THREAD_PRIORITY_TIME_CRITICAL);
  EXPECT_EQ(sim::OwnPriorityClass(), HIGH_PRIORITY_CLASS);
  EXPECT_EQ(sim::OpenHandles("process"), 0u);
  EXPECT_EQ(sim::OpenHandles("thread"), 0u);

  const std::string process = sim::Fmt("%p", script.process);
  const std::string thread = sim::Fmt("%p", script.thread);
  std::vector<std::string> calls = sim::CallsOf(
      {"CreateProcessA", "MessageBoxA", "SetThreadPriority", "GetCurrentThread",
       "GetCurrentProcess", "SetPriorityClass", "CloseHandle", "ResumeThread", "ExitProcess"});
  // From the script's start on: the file's and the token's closes come first.
  calls.erase(calls.begin(), std::find_if(calls.begin(), calls.end(), [](const std::string& call) {
                return call.rfind("CreateProcessA", 0) == 0;
              }));
  EXPECT_EQ(calls,
            (std::vector<std::string>{
                "CreateProcessA(\"" + std::string(kCmd) + "\", \"" + kCmd + " /d /c \"" + kScript +
                    "\"\", (nil), (nil), 0, 0x44, (nil), \"C:\\WINDOWS\")",
                "MessageBoxA((nil), \"Vorn Successfully Removed.\", \"Uninstall Status\", 0x40)",
                "SetThreadPriority(" + thread + ", -15)", "GetCurrentThread()",
                "SetThreadPriority(0xfffffffffffffffe, 15)", "GetCurrentProcess()",
                "SetPriorityClass(0xffffffffffffffff, 0x80)", "CloseHandle(" + process + ")",
                "ResumeThread(" + thread + ")", "CloseHandle(" + thread + ")", "ExitProcess(1)"}));
}

}  // namespace

// Installing and removing Vorn as the service "Vorn" on Windows Vista and
// later, against the simulated Windows: what the service manager holds,
// where the program lies, the entry, and what is left after each failure.
#include <gtest/gtest.h>

#include <functional>

#include "monitor/entry.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_file.h"
#include "platform/sim/sim_process.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_security.h"
#include "platform/sim/sim_service_manager.h"
#include "platform/sim/sim_shell.h"
#include "platform/sim/sim_window.h"
#include "setup/install_text.h"
#include "setup/service_setup.h"

namespace {

using Names = std::vector<std::string>;

constexpr const char* kSetupPath = "C:\\Users\\Ann\\Downloads\\Vorn.exe";
constexpr const char* kFolder = "C:\\Program Files\\Vorn";
constexpr const char* kProgram = "C:\\Program Files\\Vorn\\VornMon.exe";
constexpr const char* kCommand = "\"C:\\Program Files\\Vorn\\VornMon.exe\" -service";
constexpr const char* kEntry = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vorn";
constexpr const char* kScriptFolder = "C:\\Windows\\VornRemoval";
const std::string kStartupCopy = std::string(sim::kFreshCommonStartup) + "\\VornMon.exe";
// Inherited by the program, readable and runnable by Users, owned by the
// Administrators, nothing of Program Files' own list merged in.
constexpr const char* kFolderAccess =
    "owner=S-1-5-32-544 protected dacl=type0/flags3 S-1-5-18:001f01ff,"
    "type0/flags3 S-1-5-32-544:001f01ff,type0/flags3 S-1-5-32-545:001200a9";

constexpr const char* kLogFolder = "C:\\ProgramData\\Vorn";
// The log folder: LocalService may change what is in it, Users read.
constexpr const char* kLogFolderAccess =
    "owner=S-1-5-32-544 protected dacl=type0/flags3 S-1-5-18:001f01ff,"
    "type0/flags3 S-1-5-32-544:001f01ff,type0/flags3 S-1-5-19:001301bf,"
    "type0/flags3 S-1-5-32-545:00120089";

std::string SetupBytes() { return std::string("MZ\x90\0 Vorn 2.0", 14); }

std::optional<std::string> EntryText(const char* name) {
  std::optional<sim::RegValue> value = sim::RegGetValue(HKEY_LOCAL_MACHINE, kEntry, name);
  if (!value) return std::nullopt;
  return value->data.substr(0, value->data.find('\0'));
}

UINT RunVorn() {
  sim::QuitAt(3600000);
  try {
    return static_cast<UINT>(VornMain());
  } catch (const sim::ProcessExit& exit) {
    return exit.code;
  }
}

// The only box shown is the error report for `kind` ending in `message`.
void ExpectReport(const std::string& kind, const std::string& module, const std::string& message) {
  ASSERT_EQ(sim::MessageBoxes().size(), 1u);
  const sim::MessageBoxCall box = sim::MessageBoxes()[0];
  EXPECT_EQ(box.caption, "Application Error");
  EXPECT_EQ(box.type, 0x2010u);
  EXPECT_EQ(box.text.rfind("Exception " + kind + " in module " + module + " at ", 0), 0u)
      << box.text;
  EXPECT_EQ(box.text.substr(box.text.find('\n') + 1), message) << box.text;
}

size_t Index(const Names& names, const std::string& name) {
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == name) return i;
  }
  return names.size();
}

// Where in the journal the program's copy was made.
size_t CopyIndex(const std::string& program = kProgram) {
  const std::vector<sim::Call> journal = sim::Journal();
  for (size_t i = 0; i < journal.size(); ++i) {
    if (journal[i].name == "CreateFileA" &&
        journal[i].args.rfind("\"" + program + "\", 0x40000000, 0x0, NULL, 1,", 0) == 0) {
      return i;
    }
  }
  return journal.size();
}

uint64_t TimeOf(const std::string& name) {
  for (const sim::Call& call : sim::Journal()) {
    if (call.name == name) return call.timeMs;
  }
  return UINT64_MAX;
}

class ServiceInstallSim : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    sim::PlayWindows10();
    sim::SetModulePath(kSetupPath);
    sim::SetCommandLine(std::string("\"") + kSetupPath + "\"");
    sim::PutFile(kSetupPath, SetupBytes());
    sim::AddDirectory(sim::kFreshCommonStartup);
  }
  void TearDown() override { sim::Reset(); }

  static void ExpectInstalled(const std::string& folder = kFolder) {
    const std::string program = folder + "\\VornMon.exe";
    const std::optional<sim::InstalledService> vorn = sim::Service("Vorn");
    ASSERT_TRUE(vorn.has_value());
    EXPECT_EQ(vorn->displayName, "Vorn (PC Clock Synchronizer)");
    EXPECT_EQ(vorn->binaryPath, "\"" + program + "\" -service");
    EXPECT_EQ(vorn->serviceType, SERVICE_WIN32_OWN_PROCESS);
    EXPECT_EQ(vorn->startType, SERVICE_AUTO_START);
    EXPECT_EQ(vorn->account, "NT AUTHORITY\\LocalService");
    EXPECT_FALSE(vorn->description.empty());
    EXPECT_TRUE(vorn->failureActions);
    EXPECT_EQ(vorn->state, SERVICE_RUNNING);
    EXPECT_FALSE(vorn->markedForDelete);
    EXPECT_EQ(sim::FileBytes(program), SetupBytes());
    EXPECT_EQ(EntryText("DisplayName"), "Vorn (PC Clock Synchronizer)");
    EXPECT_EQ(EntryText("UninstallString"), "\"" + program + "\" -r");
    EXPECT_FALSE(sim::FileExists(kStartupCopy));
    EXPECT_EQ(sim::CountCalls("ShellExecuteA"), 0u);
    EXPECT_EQ(sim::OpenServiceHandles(), 0u);
    ASSERT_EQ(sim::MessageBoxes().size(), 1u);
    EXPECT_EQ(sim::MessageBoxes()[0].text, kServiceInstallMessage);
    EXPECT_EQ(sim::MessageBoxes()[0].caption, "Installation Status");
    EXPECT_EQ(sim::MessageBoxes()[0].type, 0x40u);
  }

  // Nothing of Vorn anywhere: no service, program, folder or entry. (A
  // failure between the entry's two values leaves its name alone, with
  // nothing to run, as the installer has always done.)
  static void ExpectNothingInstalled() {
    EXPECT_FALSE(sim::Service("Vorn").has_value());
    EXPECT_FALSE(sim::FileExists(kProgram));
    EXPECT_FALSE(sim::DirectoryExists(kFolder));
    EXPECT_FALSE(sim::DirectoryExists(kLogFolder));
    EXPECT_FALSE(EntryText("UninstallString"));
    EXPECT_EQ(sim::OpenServiceHandles(), 0u);
  }
};

TEST_F(ServiceInstallSim, RegistersConfiguresAndStartsTheService) {
  struct Case {
    const char* windows;
    const char* programFiles;
  } cases[] = {{"32-bit", "C:\\Program Files"}, {"64-bit", "C:\\Program Files (x86)"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.windows);
    SetUp();
    sim::SetProgramFilesFolder(c.programFiles);
    EXPECT_EQ(RunVorn(), 1u);
    const std::string folder = std::string(c.programFiles) + "\\Vorn";
    ExpectInstalled(folder);
    const std::optional<sim::InstalledService> vorn = sim::Service("Vorn");
    ASSERT_TRUE(vorn.has_value());
    EXPECT_TRUE(vorn->delayedAutoStart);
    EXPECT_EQ(vorn->requiredPrivileges, "SeSystemtimePrivilege,SeChangeNotifyPrivilege");
    EXPECT_EQ(sim::ObjectSecurity(folder), kFolderAccess);
    EXPECT_EQ(sim::ObjectSecurity(kLogFolder), kLogFolderAccess);
    // Registered and configured before it is started, and listed only then.
    const Names names = sim::CallNames();
    EXPECT_LT(CopyIndex(folder + "\\VornMon.exe"), Index(names, "CreateServiceA"));
    EXPECT_LT(Index(names, "ChangeServiceConfig2A"), Index(names, "StartServiceA"));
    EXPECT_LT(Index(names, "StartServiceA"), Index(names, "RegSetValueExA"));
  }
}

// An earlier install's service is stopped before its program is replaced,
// and the one service is configured anew, whatever it was.
TEST_F(ServiceInstallSim, InstallingAgainReplacesTheProgramAndKeepsOneService) {
  sim::AddDirectory(kFolder);
  sim::PutFile(kProgram, "an older Vorn");
  sim::AddService("Vorn", "C:\\Old\\VornMon.exe", true);
  sim::SetLocked(kProgram, true);
  sim::SetStopDelayMs(1200);
  sim::At(1200, [] { sim::SetLocked(kProgram, false); });
  EXPECT_EQ(RunVorn(), 1u);
  ExpectInstalled();
  EXPECT_EQ(sim::CountCalls("CreateServiceA"), 0u);
  EXPECT_EQ(sim::ObjectSecurity(kFolder), kFolderAccess);
  const Names names = sim::CallNames();
  EXPECT_LT(Index(names, "ControlService"), CopyIndex());
  EXPECT_LT(Index(names, "ChangeServiceConfigA"), Index(names, "StartServiceA"));
}

// A service reports SERVICE_STOPPED before its process has ended: the
// program is replaced only once that process is gone, and an install whose
// old process never ends changes nothing and starts the old service again.
TEST_F(ServiceInstallSim, TheOldProgramIsReplacedOnlyOnceItsProcessHasEnded) {
  struct Case {
    const char* name;
    uint64_t lingerMs;
    bool installed;
  } cases[] = {
      {"process ends 2.5 s after the stop", 2500, true},
      {"process ends just inside the bound", kServiceProcessEndWaitMs - 300, true},
      {"process never ends", 3600000, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    sim::AddDirectory(kFolder);
    sim::PutFile(kProgram, "an older Vorn");
    sim::AddService("Vorn", kCommand, true);
    sim::SetStopDelayMs(700);
    sim::SetProcessLingerMs(c.lingerMs);
    EXPECT_EQ(RunVorn(), 1u);
    if (c.installed) {
      ExpectInstalled();
      const size_t copy = CopyIndex();
      ASSERT_LT(copy, sim::Journal().size());
      EXPECT_GE(sim::Journal()[copy].timeMs, 700 + c.lingerMs);
    } else {
      EXPECT_EQ(sim::FileBytes(kProgram), "an older Vorn");
      ASSERT_TRUE(sim::Service("Vorn").has_value());
      EXPECT_EQ(sim::Service("Vorn")->state, SERVICE_RUNNING);
      EXPECT_EQ(sim::OpenServiceHandles(), 0u);
      ExpectReport("OSError", "Vorn.exe",
                   "System error 1053: The service did not respond to the start or control "
                   "request in a timely fashion.");
    }
    EXPECT_EQ(sim::OpenHandles("process"), 0u);
  }
}

// Installing again soon after an uninstall while Services still holds the
// deleted service open (ERROR_SERVICE_MARKED_FOR_DELETE, "DeleteService
// function"): the installer waits a while for it to go; if it does not,
// the user is told to close Services and nothing is copied or changed.
TEST_F(ServiceInstallSim, AServiceStillBeingDeletedIsWaitedForABoundedTime) {
  struct Case {
    const char* name;
    std::optional<uint64_t> heldUntilMs;
    bool running;  // still running when the install starts
    bool installed;
  } cases[] = {
      {"let go after 3 s", 3000, false, true},
      {"let go just inside the bound", kMarkedServiceWaitMs - 200, false, true},
      {"still running, let go once stopped", 0, true, true},
      {"held for ever", std::nullopt, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    sim::AddService("Vorn", kCommand, c.running);
    sim::MarkForDelete("Vorn");
    sim::HeldElsewhere("Vorn", c.heldUntilMs);
    EXPECT_EQ(RunVorn(), 1u);
    if (c.installed) {
      ExpectInstalled();
      EXPECT_EQ(sim::CountCalls("CreateServiceA"), 1u);
      EXPECT_GE(TimeOf("CreateServiceA"), c.heldUntilMs.value_or(0));
      continue;
    }
    EXPECT_TRUE(sim::Service("Vorn")->markedForDelete);
    EXPECT_FALSE(sim::FileExists(kProgram));
    EXPECT_FALSE(sim::DirectoryExists(kFolder));
    EXPECT_FALSE(sim::DirectoryExists(kLogFolder));
    EXPECT_FALSE(EntryText("UninstallString"));
    EXPECT_EQ(sim::CountCalls("CreateServiceA"), 0u);
    EXPECT_EQ(sim::OpenServiceHandles(), 0u);
    ASSERT_EQ(sim::MessageBoxes().size(), 1u);
    EXPECT_EQ(sim::MessageBoxes()[0].text, kServiceStillGoingMessage);
    EXPECT_EQ(sim::MessageBoxes()[0].caption, "Installation Status");
    EXPECT_EQ(sim::MessageBoxes()[0].type, 0x10u);
    EXPECT_GE(sim::MessageBoxes()[0].timeMs, kMarkedServiceWaitMs);
    EXPECT_LE(sim::MessageBoxes()[0].timeMs, kMarkedServiceWaitMs + 1000);
  }
}

// A PC upgraded from XP: its classic monitor is stopped before anything is
// changed, and its StartUp copy goes once the service runs.
TEST_F(ServiceInstallSim, ClassicMonitorOfAnUpgradedPcIsStoppedAndItsCopyRemoved) {
  const DWORD monitor = sim::AddForeignMonitor("Vorn Titlebar", 40);
  sim::PutFile(kStartupCopy, "the XP monitor");
  sim::RegPutText(HKEY_LOCAL_MACHINE, kEntry, "UninstallString", kStartupCopy + " -r");
  EXPECT_EQ(RunVorn(), 1u);
  EXPECT_FALSE(sim::ForeignProcessRunning(monitor));
  ExpectInstalled();
  const Names names = sim::CallNames();
  EXPECT_LT(Index(names, "PostMessageA"), Index(names, "OpenSCManagerA"));
}

// Each call failing in turn leaves nothing of Vorn behind and is reported as
// the installer reports every failure.
TEST_F(ServiceInstallSim, AnyFailureLeavesNothingHalfInstalled) {
  struct Case {
    const char* call;
    int skip;
    DWORD error;
    const char* kind;     // nullptr: the copy's or the folder's own box
    const char* message;  // nullptr: the copy's box; else the folder in the way
  } cases[] = {
      {"OpenSCManagerA", 0, ERROR_ACCESS_DENIED, "OSError", "System error 5: Access is denied."},
      {"OpenServiceA", 0, ERROR_ACCESS_DENIED, "OSError", "System error 5: Access is denied."},
      {"SHGetFolderPathA", 0, ERROR_FILE_NOT_FOUND, "OSError",
       "System error 2: The system cannot find the file specified."},
      {"CreateDirectoryA", 0, ERROR_ACCESS_DENIED, nullptr, kFolder},
      {"CreateDirectoryA", 1, ERROR_ACCESS_DENIED, nullptr, kLogFolder},
      // The first opens the installer's own file, the second looks for an
      // old copy in use.
      {"CreateFileA", 2, ERROR_DISK_FULL, nullptr, nullptr},
      {"WriteFile", 0, ERROR_DISK_FULL, nullptr, nullptr},
      {"CreateServiceA", 0, ERROR_SERVICE_MARKED_FOR_DELETE, "OSError",
       "System error 1072: The specified service has been marked for deletion."},
      {"ChangeServiceConfig2A", 0, ERROR_ACCESS_DENIED, "OSError",
       "System error 5: Access is denied."},
      {"ChangeServiceConfig2A", 1, ERROR_ACCESS_DENIED, "OSError",
       "System error 5: Access is denied."},
      {"StartServiceA", 0, ERROR_SERVICE_REQUEST_TIMEOUT, "OSError",
       "System error 1053: The service did not respond to the start or control request in a "
       "timely fashion."},
      // The first makes HKEY_CURRENT_USER\Software, as the registry layer always has.
      {"RegCreateKeyExA", 1, ERROR_ACCESS_DENIED, "RegistryError", "Failed to create key Vorn."},
      {"RegSetValueExA", 1, ERROR_ACCESS_DENIED, "RegistryError",
       "Failed to set data for 'UninstallString'."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.call) + " #" + std::to_string(c.skip + 1));
    SetUp();
    sim::PutFile(kStartupCopy, "the XP monitor");
    sim::FailCall(c.call, c.error, c.skip);
    EXPECT_EQ(RunVorn(), 1u);
    ExpectNothingInstalled();
    EXPECT_TRUE(sim::FileExists(kStartupCopy)) << "the classic monitor still works";
    if (c.kind) {
      ExpectReport(c.kind, "Vorn.exe", c.message);
    } else if (c.message) {
      ASSERT_EQ(sim::MessageBoxes().size(), 1u);
      EXPECT_EQ(sim::MessageBoxes()[0].text,
                FolderInTheWayMessage(c.message, c.error, *sim::SystemErrorText(c.error)));
      EXPECT_EQ(sim::MessageBoxes()[0].type, 0x10u);
      EXPECT_EQ(sim::CountCalls("OpenSCManagerA"), 0u) << "nothing else was touched";
    } else {
      ASSERT_EQ(sim::MessageBoxes().size(), 1u);
      EXPECT_EQ(sim::MessageBoxes()[0].text,
                InstallFailedMessage(kProgram, c.error, *sim::SystemErrorText(c.error)));
      EXPECT_EQ(sim::MessageBoxes()[0].type, 0x10u);
    }
  }
}

// Installing again and failing: the earlier install stays whole and runs.
TEST_F(ServiceInstallSim, FailingToInstallAgainLeavesTheEarlierInstallRunning) {
  struct Case {
    const char* call;
    int skip;
    const char* program;  // what the folder then holds
  } cases[] = {
      {"CreateFileA", 2, "an older Vorn"},  // the copy, after the source and the probe
      {"WriteFile", 0, "an older Vorn"},
      // The new program, run by the earlier service; the first call asks
      // whether the service was deleted.
      {"ChangeServiceConfigA", 1, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    SetUp();
    sim::AddDirectory(kFolder);
    sim::PutFile(kProgram, "an older Vorn");
    sim::AddService("Vorn", kCommand, true);
    sim::RegPutText(HKEY_LOCAL_MACHINE, kEntry, "UninstallString", "old");
    sim::FailCall(c.call, ERROR_ACCESS_DENIED, c.skip);
    EXPECT_EQ(RunVorn(), 1u);
    const std::optional<sim::InstalledService> vorn = sim::Service("Vorn");
    ASSERT_TRUE(vorn.has_value());
    EXPECT_EQ(vorn->state, SERVICE_RUNNING);
    EXPECT_EQ(sim::FileBytes(kProgram), c.program ? c.program : SetupBytes());
    EXPECT_FALSE(sim::FileExists(std::string(kProgram) + ".old"));
    EXPECT_EQ(EntryText("UninstallString"), "old");
    EXPECT_EQ(sim::OpenServiceHandles(), 0u);
    ASSERT_EQ(sim::MessageBoxes().size(), 1u);
    EXPECT_NE(sim::MessageBoxes()[0].type, 0x40u);
  }
}

// Delayed start and the required privileges are hardening: where Windows
// refuses them (Wine answers 87), alone or both, the service is installed
// and runs anyway.
TEST_F(ServiceInstallSim, HardeningRefusedStillInstallsAndStarts) {
  struct Case {
    const char* refused;
    int skip;  // description and failure actions come first
    int times;
    const char* privileges;
    bool delayed;
  } cases[] = {
      {"required privileges", 2, 1, "", true},
      {"delayed start", 3, 1, "SeSystemtimePrivilege,SeChangeNotifyPrivilege", false},
      {"both", 2, 2, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.refused);
    SetUp();
    sim::FailCall("ChangeServiceConfig2A", ERROR_INVALID_PARAMETER, c.skip, c.times);
    EXPECT_EQ(RunVorn(), 1u);
    ExpectInstalled();
    EXPECT_EQ(sim::Service("Vorn")->requiredPrivileges, c.privileges);
    EXPECT_EQ(sim::Service("Vorn")->delayedAutoStart, c.delayed);
  }
}

// The classic design stays on every older Windows.
TEST_F(ServiceInstallSim, XpStillInstallsTheClassicMonitor) {
  sim::PlayWindows(sim::Windows::kXp);
  EXPECT_EQ(RunVorn(), 1u);
  EXPECT_EQ(sim::CountCalls("OpenSCManagerA"), 0u);
  EXPECT_EQ(sim::FileBytes(kStartupCopy), SetupBytes());
  EXPECT_FALSE(sim::DirectoryExists(kFolder));
  EXPECT_EQ(sim::ShellExecutions().size(), 1u);
  ASSERT_EQ(sim::MessageBoxes().size(), 1u);
  EXPECT_EQ(sim::MessageBoxes()[0].text, InstallMessage());
}

class ServiceUninstallSim : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    sim::PlayWindows10();
    Install(kProgram);
  }
  void TearDown() override { sim::Reset(); }

  static void Install(const std::string& program) {
    sim::PutFile(program, "MZ");
    sim::RegPutText(HKEY_LOCAL_MACHINE, kEntry, "DisplayName", "Vorn (PC Clock Synchronizer)");
    sim::RegPutText(HKEY_LOCAL_MACHINE, kEntry, "UninstallString", "\"" + program + "\" -r");
    sim::AddService("Vorn", kCommand, true);
    sim::SetModulePath(program);
    sim::SetCommandLine("\"" + program + "\" -r");
  }

  static std::optional<std::string> Script() {
    return sim::FileBytes(std::string(kScriptFolder) + "\\DelAll.bat");
  }
};

TEST_F(ServiceUninstallSim, StopsAndDeletesTheServiceAndTheScriptRemovesTheFolder) {
  sim::SetStopDelayMs(1700);
  EXPECT_EQ(RunVorn(), 1u);
  EXPECT_FALSE(sim::Service("Vorn").has_value());
  EXPECT_FALSE(sim::RegKeyExists(HKEY_LOCAL_MACHINE, kEntry));
  EXPECT_EQ(sim::OpenServiceHandles(), 0u);
  const std::string program = "\"C:\\Program Files\\Vorn\\VornMon.exe\"";
  EXPECT_EQ(Script(), ":Repeat\r\ndel " + program + "\r\nif exist " + program +
                          " goto Repeat\r\nrd \"C:\\Program Files\\Vorn\" & "
                          "del C:\\Windows\\VornRemoval\\DelAll.bat & rd C:\\Windows\\VornRemoval"
                          " & exit\r\n");
  ASSERT_EQ(sim::CreatedProcesses().size(), 1u);
  EXPECT_EQ(sim::CreatedProcesses()[0].suspendCount, 0u);
  ASSERT_EQ(sim::MessageBoxes().size(), 1u);
  EXPECT_EQ(sim::MessageBoxes()[0].text, "Vorn Successfully Removed.");
  // The script is ready before anything goes; the service has stopped
  // before it is deleted and before the entry goes.
  const Names names = sim::CallNames();
  EXPECT_LT(Index(names, "CreateProcessA"), Index(names, "ControlService"));
  EXPECT_LT(Index(names, "ControlService"), Index(names, "DeleteService"));
  EXPECT_LT(Index(names, "DeleteService"), Index(names, "RegDeleteKeyA"));
  for (const sim::Call& call : sim::Journal()) {
    if (call.name == "DeleteService") {
      EXPECT_GE(call.timeMs, 1700u);
    }
  }
}

// The script deletes the program only once the service's process has ended
// (it reports SERVICE_STOPPED before that): it is resumed after.
TEST_F(ServiceUninstallSim, TheScriptRunsOnlyOnceTheServicesProcessHasEnded) {
  sim::SetStopDelayMs(600);
  sim::SetProcessLingerMs(2400);
  EXPECT_EQ(RunVorn(), 1u);
  EXPECT_FALSE(sim::ServiceProcessRunning("Vorn") && sim::Service("Vorn").has_value());
  ASSERT_EQ(sim::MessageBoxes().size(), 1u);
  EXPECT_EQ(sim::MessageBoxes()[0].text, "Vorn Successfully Removed.");
  uint64_t resumed = 0;
  for (const sim::Call& call : sim::Journal()) {
    if (call.name == "ResumeThread") resumed = call.timeMs;
  }
  EXPECT_GE(resumed, 3000u);
}

// The program run from anywhere but its own folder (a classic copy on an
// upgraded PC): no service to stop, and no folder of others removed.
TEST_F(ServiceUninstallSim, ClassicCopyWithoutServiceRemovesNoFolder) {
  sim::Reset();
  sim::PlayWindows10();
  sim::AddDirectory(sim::kFreshCommonStartup);
  Install(kStartupCopy);
  sim::SetShortPath(kStartupCopy, "C:\\PROGRA~2\\STARTUP\\VornMon.exe");
  sim::FailCall("OpenServiceA", ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_EQ(RunVorn(), 1u);
  EXPECT_EQ(Script(),
            ":Repeat\r\ndel C:\\PROGRA~2\\STARTUP\\VornMon.exe\r\nif exist "
            "C:\\PROGRA~2\\STARTUP\\VornMon.exe goto Repeat\r\n"
            "del C:\\Windows\\VornRemoval\\DelAll.bat & rd C:\\Windows\\VornRemoval & exit\r\n");
  EXPECT_FALSE(sim::RegKeyExists(HKEY_LOCAL_MACHINE, kEntry));
  ASSERT_EQ(sim::MessageBoxes().size(), 1u);
  EXPECT_EQ(sim::MessageBoxes()[0].text, "Vorn Successfully Removed.");
}

// A service that cannot be stopped or deleted keeps Vorn installed: the
// entry stays, the script is taken back and its process ended unrun.
TEST_F(ServiceUninstallSim, ServiceThatWillNotGoKeepsVornInstalled) {
  struct Case {
    const char* name;
    std::function<void()> setUp;
    const char* message;
  } cases[] = {
      {"manager refused", [] { sim::FailCall("OpenSCManagerA", ERROR_ACCESS_DENIED); },
       "System error 5: Access is denied."},
      {"service refused", [] { sim::FailCall("OpenServiceA", ERROR_ACCESS_DENIED); },
       "System error 5: Access is denied."},
      {"status unknown", [] { sim::FailCall("QueryServiceStatusEx", ERROR_ACCESS_DENIED); },
       "System error 5: Access is denied."},
      {"stop refused", [] { sim::FailCall("ControlService", ERROR_ACCESS_DENIED); },
       "System error 5: Access is denied."},
      {"never stops", [] { sim::SetStopDelayMs(3600000); },
       "System error 1053: The service did not respond to the start or control request in a "
       "timely fashion."},
      {"its process never ends", [] { sim::SetProcessLingerMs(3600000); },
       "System error 1053: The service did not respond to the start or control request in a "
       "timely fashion."},
      {"delete refused", [] { sim::FailCall("DeleteService", ERROR_ACCESS_DENIED); },
       "System error 5: Access is denied."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    c.setUp();
    EXPECT_EQ(RunVorn(), 1u);
    EXPECT_TRUE(sim::Service("Vorn").has_value());
    EXPECT_TRUE(sim::RegKeyExists(HKEY_LOCAL_MACHINE, kEntry));
    EXPECT_TRUE(sim::FileExists(kProgram));
    EXPECT_FALSE(sim::DirectoryExists(kScriptFolder));
    ASSERT_EQ(sim::CreatedProcesses().size(), 1u);
    EXPECT_EQ(sim::CreatedProcesses()[0].terminatedWith, 1u);
    EXPECT_EQ(sim::CreatedProcesses()[0].suspendCount, 1u);
    EXPECT_EQ(sim::OpenServiceHandles(), 0u);
    ExpectReport("OSError", "VornMon.exe", c.message);
  }
}

}  // namespace

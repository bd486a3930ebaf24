// The installer role, run the way Windows starts it, against the simulated
// Windows.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>

#include "monitor/entry.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_file.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_shell.h"
#include "platform/sim/sim_window.h"
#include "setup/install_text.h"
#include "setup/stop_monitor.h"

namespace {

using Names = std::vector<std::string>;

constexpr const char* kSetupPath = "C:\\Downloads\\Setup.exe";
constexpr const char* kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* kUninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* kVorn = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vorn";

const Names kRegistryCalls = {"RegCreateKeyExA",  "RegOpenKeyExA",    "RegCloseKey",
                              "RegFlushKey",      "RegQueryValueExA", "RegSetValueExA",
                              "RegQueryInfoKeyA", "RegEnumKeyExA",    "RegDeleteKeyA"};

// With a zero inside, as an executable has.
std::string SetupBytes() { return std::string("MZ\x90\0 the installer", 18); }
std::string Folder() { return sim::kFreshCommonStartup; }
std::string Target() { return InstalledPath(Folder()); }

class InstallerSim : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    sim::SetModulePath(kSetupPath);
    sim::SetCommandLine(std::string("\"") + kSetupPath + "\"");
    sim::PutFile(kSetupPath, SetupBytes());
    sim::AddDirectory(Folder());
  }

  static UINT Run() {
    try {
      return static_cast<UINT>(VornMain());
    } catch (const sim::ProcessExit& exit) {
      return exit.code;
    }
  }

  static std::optional<std::string> Text(const std::string& path, const char* name) {
    std::optional<sim::RegValue> value = sim::RegGetValue(HKEY_LOCAL_MACHINE, path, name);
    if (!value) return std::nullopt;
    EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ)) << name;
    return value->data;
  }

  static size_t Index(const Names& names, const std::string& name) {
    for (size_t i = 0; i < names.size(); ++i) {
      if (names[i] == name) return i;
    }
    return names.size();
  }
};

TEST_F(InstallerSim, NormalInstallMakesTheRegistryCallsInOrder) {
  const std::string hklm = "HKEY_LOCAL_MACHINE\\";
  const std::string explorer = hklm + "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
  const std::string shellFolders = explorer + "\\Shell Folders";
  const std::string uninstall = hklm + kUninstall;
  const std::string vorn = uninstall + "\\Vorn";
  const std::string folderSize = std::to_string(strlen(sim::kFreshCommonStartup) + 1);
  const std::string command = UninstallCommand(Folder());
  const std::string commandShown = "\\x22" + Target() + "\\x22 -r\\0";

  EXPECT_EQ(Run(), 1u);

  const Names expected = {
      "RegCreateKeyExA(HKEY_CURRENT_USER, \"Software\", 0, NULL, 0, 0xF003F, NULL)",
      "RegCloseKey(HKEY_CURRENT_USER\\Software)",
      "RegOpenKeyExA(HKEY_LOCAL_MACHINE, \"Software\\Microsoft\\Windows\\CurrentVersion\\"
      "Explorer\", 0, 0xF003F)",
      "RegOpenKeyExA(" + explorer + ", \"Shell Folders\", 0, 0xF003F)",
      "RegQueryValueExA(" + shellFolders + ", \"Common Startup\", NULL, NULL, NULL, NULL)",
      "RegQueryValueExA(" + shellFolders + ", \"Common Startup\", NULL, &type, NULL, &0)",
      "RegQueryValueExA(" + shellFolders + ", \"Common Startup\", NULL, &type, &data, &" +
          folderSize + ")",
      "RegCloseKey(" + shellFolders + ")",
      "RegCloseKey(" + explorer + ")",
      "RegOpenKeyExA(HKEY_LOCAL_MACHINE, \"" + std::string(kUninstall) + "\", 0, 0xF003F)",
      "RegCreateKeyExA(" + uninstall + ", \"Vorn\", 0, NULL, 0, 0xF003F, NULL)",
      "RegCloseKey(" + vorn + ")",  // the created key's own handle
      "RegOpenKeyExA(" + uninstall + ", \"Vorn\", 0, 0xF003F)",
      "RegSetValueExA(" + vorn +
          ", \"DisplayName\", 0, 1, \"Vorn (PC Clock Synchronizer)\\0\", 29)",
      "RegCloseKey(" + vorn + ")",
      "RegCreateKeyExA(" + uninstall + ", \"Vorn\", 0, NULL, 0, 0xF003F, NULL)",
      "RegCloseKey(" + vorn + ")",
      "RegOpenKeyExA(" + uninstall + ", \"Vorn\", 0, 0xF003F)",
      "RegSetValueExA(" + vorn + ", \"UninstallString\", 0, 1, \"" + commandShown + "\", " +
          std::to_string(command.size() + 1) + ")",
      "RegCloseKey(" + vorn + ")",
      "RegCloseKey(" + uninstall + ")",
      // Whether the domain keeps the clock, for the box (read only).
      "RegOpenKeyExA(HKEY_LOCAL_MACHINE, \"SYSTEM\\CurrentControlSet\\Services\\W32Time\\"
      "Parameters\", 0, 0x1)",
      "RegOpenKeyExA(HKEY_LOCAL_MACHINE, \"SYSTEM\\CurrentControlSet\\Services\\W32Time\", 0, 0x1)",
  };
  EXPECT_EQ(sim::CallsOf(kRegistryCalls), expected);
  EXPECT_EQ(sim::OpenKeys(), 0u);

  EXPECT_EQ(Text(kVorn, "DisplayName"), std::string("Vorn (PC Clock Synchronizer)") + '\0');
  EXPECT_EQ(Text(kVorn, "UninstallString"), command + '\0');
  EXPECT_EQ(sim::FileBytes(Target()), SetupBytes());

  // The installer's own file, opened first, for reading, shared for
  // reading only; the copy made as a new file and read from that handle.
  // (Between them, whether an old copy is held by a running program.)
  const Names opens = sim::CallsOf({"CreateFileA"});
  ASSERT_EQ(opens.size(), 3u);
  EXPECT_EQ(opens[0], "CreateFileA(\"" + std::string(kSetupPath) +
                          "\", 0x80000000, 0x1, NULL, 3, 0x80, NULL)");
  EXPECT_EQ(opens[2], "CreateFileA(\"" + Target() + "\", 0x40000000, 0x0, NULL, 1, 0x80, NULL)");
  EXPECT_LT(Index(sim::CallNames(), "CreateFileA"), Index(sim::CallNames(), "FindWindowA"));
  const Names tail = sim::CallsOf({"CreateFileA", "MessageBoxA", "ShellExecuteA"});
  ASSERT_EQ(tail.size(), 5u);
  EXPECT_EQ(tail[4], "ShellExecuteA((nil), NULL, \"" + Target() + "\", NULL, NULL, 1)");
  ASSERT_EQ(sim::MessageBoxes().size(), 1u);
  EXPECT_EQ(sim::MessageBoxes()[0].text, InstallMessage());
  EXPECT_EQ(sim::MessageBoxes()[0].caption, "Installation Status");
  EXPECT_EQ(sim::MessageBoxes()[0].type, 0x40u);
}

TEST_F(InstallerSim, InstallingAgainOverwritesAndLeavesOtherValues) {
  sim::RegPutText(HKEY_LOCAL_MACHINE, kVorn, "DisplayName", "old");
  sim::RegPutText(HKEY_LOCAL_MACHINE, kVorn, "UninstallString", "old -r");
  sim::RegPutText(HKEY_LOCAL_MACHINE, kVorn, "Publisher", "someone");
  sim::PutFile(Target(), "an older monitor");
  EXPECT_EQ(Run(), 1u);
  EXPECT_EQ(Text(kVorn, "DisplayName"), std::string("Vorn (PC Clock Synchronizer)") + '\0');
  EXPECT_EQ(Text(kVorn, "UninstallString"), UninstallCommand(Folder()) + '\0');
  EXPECT_EQ(Text(kVorn, "Publisher"), std::string("someone") + '\0');
  EXPECT_TRUE(sim::RegSubKeys(HKEY_LOCAL_MACHINE, kVorn).empty());
  EXPECT_EQ(sim::FileBytes(Target()), SetupBytes());
}

// The copy is a new file: nothing of the source's attributes or the old
// copy's comes with it. A program copied from read-only media (a CD-ROM) would hand the
// attribute on to the installed copy, which the next install could not
// overwrite nor the removal script delete.
TEST_F(InstallerSim, InstalledCopyIsNeverReadOnly) {
  constexpr DWORD kHidden = 0x2, kArchive = 0x20;
  struct Case {
    const char* name;
    DWORD source;
    std::optional<DWORD> oldTarget;  // an earlier install's copy
    DWORD expected;
  } cases[] = {
      {"read-only source", FILE_ATTRIBUTE_READONLY, std::nullopt, FILE_ATTRIBUTE_NORMAL},
      {"read-only source with other attributes", FILE_ATTRIBUTE_READONLY | kArchive, std::nullopt,
       FILE_ATTRIBUTE_NORMAL},
      {"read-only copy of an earlier install", kArchive, FILE_ATTRIBUTE_READONLY | kHidden,
       FILE_ATTRIBUTE_NORMAL},
      {"nothing read-only", kArchive | kHidden, kArchive, FILE_ATTRIBUTE_NORMAL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    sim::SetAttributes(kSetupPath, c.source);
    if (c.oldTarget) {
      sim::PutFile(Target(), "an older monitor");
      sim::SetAttributes(Target(), *c.oldTarget);
    }
    EXPECT_EQ(Run(), 1u);
    EXPECT_EQ(sim::FileBytes(Target()), SetupBytes());
    EXPECT_EQ(sim::Attributes(Target()), c.expected);
    EXPECT_EQ(sim::Attributes(kSetupPath), c.source);
    ASSERT_EQ(sim::MessageBoxes().size(), 1u);
    EXPECT_EQ(sim::MessageBoxes()[0].text, InstallMessage());
  }
}

TEST_F(InstallerSim, StartupFolderFromTheRegistry) {
  const std::string def = kDefaultStartupFolder;
  struct Case {
    const char* name;
    std::function<void()> setUp;
    std::string folder;
  } cases[] = {
      {"no Shell Folders key", [] { sim::RegRemoveKey(HKEY_LOCAL_MACHINE, kShellFolders); }, def},
      {"no Explorer key",
       [] {
         sim::RegRemoveKey(HKEY_LOCAL_MACHINE,
                           "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer");
       },
       def},
      {"no value", [] { sim::RegRemoveValue(HKEY_LOCAL_MACHINE, kShellFolders, "Common Startup"); },
       def},
      {"empty data",
       [] { sim::RegPutValue(HKEY_LOCAL_MACHINE, kShellFolders, "Common Startup", REG_SZ, ""); },
       ""},
      {"a zero only",
       [] { sim::RegPutText(HKEY_LOCAL_MACHINE, kShellFolders, "Common Startup", ""); }, ""},
      {"dword without data",
       [] { sim::RegPutValue(HKEY_LOCAL_MACHINE, kShellFolders, "Common Startup", REG_DWORD, ""); },
       ""},
      {"expandable, not expanded",
       [] {
         sim::RegPutValue(HKEY_LOCAL_MACHINE, kShellFolders, "Common Startup", REG_EXPAND_SZ,
                          std::string("%ALLUSERSPROFILE%\\StartUp") + '\0');
       },
       "%ALLUSERSPROFILE%\\StartUp"},
      {"trailing backslash",
       [] { sim::RegPutText(HKEY_LOCAL_MACHINE, kShellFolders, "Common Startup", "C:\\Up\\"); },
       "C:\\Up\\"},
      {"unterminated",
       [] {
         sim::RegPutValue(HKEY_LOCAL_MACHINE, kShellFolders, "Common Startup", REG_SZ, "C:\\Up");
       },
       "C:\\Up"},
  };
  for (const Case& c : cases) {
    SetUp();
    c.setUp();
    if (!c.folder.empty()) sim::AddDirectory(c.folder);
    EXPECT_EQ(Run(), 1u) << c.name;
    const Names opens = sim::CallsOf({"CreateFileA"});
    ASSERT_EQ(opens.size(), 3u) << c.name;
    EXPECT_EQ(opens[2].rfind("CreateFileA(\"" + InstalledPath(c.folder) + "\", 0x40000000, ", 0),
              0u)
        << c.name;
    EXPECT_EQ(Text(kVorn, "UninstallString"), UninstallCommand(c.folder) + '\0') << c.name;
    EXPECT_EQ(sim::OpenKeys(), 0u) << c.name;
    if (!c.folder.empty()) {
      ASSERT_EQ(sim::MessageBoxes().size(), 1u) << c.name;
      EXPECT_EQ(sim::MessageBoxes()[0].text, InstallMessage()) << c.name;
    }
  }
}

// Each ends the installer through the top-level report, where it occurs.
TEST_F(InstallerSim, RegistryErrorsEndInTheReport) {
  struct Case {
    const char* name;
    std::function<void()> setUp;
    const char* message;
    bool displayNameWritten;
  } cases[] = {
      {"dword with data",
       [] {
         sim::RegPutValue(HKEY_LOCAL_MACHINE, kShellFolders, "Common Startup", REG_DWORD,
                          std::string("\x01\0\0\0", 4));
       },
       "Invalid data type for 'Common Startup'", false},
      {"multi-string",
       [] {
         sim::RegPutValue(HKEY_LOCAL_MACHINE, kShellFolders, "Common Startup", REG_MULTI_SZ,
                          std::string("C:\\A\0\0", 6));
       },
       "Invalid data type for 'Common Startup'", false},
      {"data query fails", [] { sim::FailCall("RegQueryValueExA", ERROR_ACCESS_DENIED, 2); },
       "Failed to get data for 'Common Startup'", false},
      {"first create fails", [] { sim::FailCall("RegCreateKeyExA", ERROR_ACCESS_DENIED, 1); },
       "Failed to create key Vorn", false},
      {"second create fails", [] { sim::FailCall("RegCreateKeyExA", ERROR_ACCESS_DENIED, 2); },
       "Failed to create key Vorn", true},
      {"Uninstall key missing: Vorn would go straight under the hive",
       [] { sim::RegRemoveKey(HKEY_LOCAL_MACHINE, kUninstall); }, "Failed to create key Vorn",
       false},
      {"first set fails", [] { sim::FailCall("RegSetValueExA", ERROR_ACCESS_DENIED); },
       "Failed to set data for 'DisplayName'", false},
      {"second set fails", [] { sim::FailCall("RegSetValueExA", ERROR_ACCESS_DENIED, 1); },
       "Failed to set data for 'UninstallString'", true},
  };
  for (const Case& c : cases) {
    SetUp();
    c.setUp();
    EXPECT_EQ(Run(), 1u) << c.name;
    ASSERT_EQ(sim::MessageBoxes().size(), 1u) << c.name;
    const sim::MessageBoxCall box = sim::MessageBoxes()[0];
    EXPECT_EQ(box.caption, "Application Error") << c.name;
    EXPECT_EQ(box.type, 0x2010u) << c.name;
    EXPECT_EQ(box.text.rfind("Exception RegistryError in module Setup.exe at ", 0), 0u) << box.text;
    const std::string ending = std::string(".\n") + c.message + ".";
    ASSERT_GT(box.text.size(), ending.size());
    EXPECT_EQ(box.text.substr(box.text.size() - ending.size()), ending) << c.name;
    EXPECT_EQ(Text(kVorn, "DisplayName").has_value(), c.displayNameWritten) << c.name;
    EXPECT_FALSE(Text(kVorn, "UninstallString")) << c.name;
    EXPECT_EQ(sim::CountCalls("CopyFileA"), 0u) << c.name;
    EXPECT_EQ(sim::CountCalls("ShellExecuteA"), 0u) << c.name;
    EXPECT_FALSE(sim::FileExists(Target())) << c.name;
    EXPECT_EQ(sim::OpenKeys(), 0u) << c.name;
  }
}

TEST_F(InstallerSim, VornKeyThatCannotBeOpenedIsSkippedQuietly) {
  // Open Explorer, Shell Folders, Uninstall, then the first open of Vorn.
  sim::FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED, 3);
  EXPECT_EQ(Run(), 1u);
  EXPECT_FALSE(Text(kVorn, "DisplayName"));
  EXPECT_TRUE(Text(kVorn, "UninstallString"));
  ASSERT_EQ(sim::MessageBoxes().size(), 1u);
  EXPECT_EQ(sim::MessageBoxes()[0].text, InstallMessage());
}

TEST_F(InstallerSim, FailedCopyIsReportedAndNothingStarts) {
  struct Case {
    const char* name;
    std::function<void()> setUp;
    DWORD error;
  } cases[] = {
      {"target in use",
       [] {
         sim::PutFile(Target(), "running monitor");
         sim::SetLocked(Target(), true);
       },
       ERROR_SHARING_VIOLATION},
      {"folder missing", [] { sim::DeleteDirectory(Folder()); }, ERROR_PATH_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SetUp();
    c.setUp();
    EXPECT_EQ(Run(), 1u) << c.name;
    ASSERT_EQ(sim::MessageBoxes().size(), 1u) << c.name;
    const sim::MessageBoxCall box = sim::MessageBoxes()[0];
    EXPECT_EQ(box.caption, "Installation Status") << c.name;
    EXPECT_EQ(box.type, 0x10u) << c.name;
    EXPECT_EQ(box.text, InstallFailedMessage(Target(), c.error, *sim::SystemErrorText(c.error)))
        << c.name;
    EXPECT_EQ(sim::CountCalls("ShellExecuteA"), 0u) << c.name;
  }
}

TEST_F(InstallerSim, UnreadablePathIsReportedBeforeAnythingIsCopied) {
  const std::string deep = "C:\\" + std::string(70000, 'd') + "\\Setup.exe";
  sim::SetModulePath(deep);
  sim::SetCommandLine("\"" + deep + "\" /quiet");
  EXPECT_EQ(Run(), 1u);
  ASSERT_EQ(sim::MessageBoxes().size(), 1u);
  const sim::MessageBoxCall box = sim::MessageBoxes()[0];
  EXPECT_EQ(box.caption, "Application Error");
  EXPECT_EQ(box.type, 0x2010u);
  EXPECT_EQ(box.text.rfind("Exception InOutError in module Setup.exe at ", 0), 0u) << box.text;
  EXPECT_EQ(box.text.substr(box.text.find('\n')), "\nI/O error 122.");
  EXPECT_EQ(sim::CountCalls("CopyFileA"), 0u);
  EXPECT_EQ(sim::CountCalls("ShellExecuteA"), 0u);
}

TEST_F(InstallerSim, RunningMonitorIsStoppedBeforeTheRegistryAndTheCopy) {
  const DWORD monitor = sim::AddForeignMonitor("Vorn Titlebar", 300);
  sim::PutFile(Target(), "running monitor");
  sim::SetLocked(Target(), true);
  sim::At(300, [] { sim::SetLocked(Target(), false); });
  EXPECT_EQ(Run(), 1u);
  EXPECT_FALSE(sim::ForeignProcessRunning(monitor));
  const Names names = sim::CallNames();
  EXPECT_LT(Index(names, "CloseHandle"), Index(names, "RegCreateKeyExA"));
  EXPECT_EQ(sim::FileBytes(Target()), SetupBytes());
  ASSERT_EQ(sim::MessageBoxes().size(), 1u);
  EXPECT_EQ(sim::MessageBoxes()[0].text, InstallMessage());
  EXPECT_EQ(sim::ShellExecutions().size(), 1u);
}

TEST_F(InstallerSim, MonitorThatNeverEndsHoldsTheInstallerForTheBoundOnly) {
  const DWORD monitor = sim::AddForeignMonitor("Vorn Titlebar", std::nullopt);
  sim::PutFile(Target(), "running monitor");
  sim::SetLocked(Target(), true);
  EXPECT_EQ(Run(), 1u);
  EXPECT_TRUE(sim::ForeignProcessRunning(monitor));
  for (const sim::Call& call : sim::Journal()) {
    if (call.name == "RegCreateKeyExA") {
      EXPECT_EQ(call.timeMs, kStopMonitorWaitMs);
    }
  }
  // Its file is still in use: the copy fails and is said to.
  ASSERT_EQ(sim::MessageBoxes().size(), 1u);
  EXPECT_EQ(sim::MessageBoxes()[0].type, 0x10u);
  EXPECT_EQ(sim::CountCalls("ShellExecuteA"), 0u);
}

}  // namespace

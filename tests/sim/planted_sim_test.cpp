// What another user of the PC may plant before or beside Vorn (a DLL, a
// file in place of the installer, a folder, a link) is never run or trusted
// with Vorn's rights, against the simulated Windows.
#include <gtest/gtest.h>

#include <functional>

#include "monitor/entry.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_dll.h"
#include "platform/sim/sim_file.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_security.h"
#include "platform/sim/sim_service.h"
#include "platform/sim/sim_service_manager.h"
#include "platform/sim/sim_shell.h"
#include "platform/sim/sim_window.h"
#include "platform/win_service.h"
#include "setup/install_text.h"

namespace {

constexpr const char* kSetup = "C:\\Users\\Ann\\Downloads\\Vorn.exe";
constexpr const char* kFolder = "C:\\Program Files\\Vorn";
constexpr const char* kProgram = "C:\\Program Files\\Vorn\\VornMon.exe";
constexpr const char* kLogFolder = "C:\\ProgramData\\Vorn";
constexpr const char* kEntry = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vorn";
constexpr const char* kUser = "S-1-5-21-1004336348-1177238915-682003330-1001";
constexpr char kSetupText[] = "MZ\x90\0 Vorn 2.0 as downloaded";
const std::string kSetupBytes(kSetupText, sizeof kSetupText - 1);

UINT RunVorn(const std::string& module, const std::string& arguments) {
  sim::SetModulePath(module);
  sim::SetCommandLine("\"" + module + "\"" + arguments);
  try {
    return static_cast<UINT>(VornMain());
  } catch (const sim::ProcessExit& exit) {
    return exit.code;
  }
}

// Every role limits where DLLs come from before its first other call: from
// the system folder only where kernel32 has SetDefaultDllDirectories (8 and
// later, 7 with KB2533623), else at least not from the current folder
// (SetDllDirectoryA, XP SP1 on); older Windows have neither, and the role
// goes on all the same (Microsoft: "Dynamic-Link Library Security",
// SetDefaultDllDirectories and SetDllDirectory pages).
TEST(PlantedSim, EveryRoleLimitsItsDllSearchFirst) {
  struct Version {
    const char* name;
    sim::Windows windows;
    bool update;  // KB2533623 on a 7
    std::optional<DWORD> defaultDirectories;
    std::optional<std::string> dllDirectory;
  } versions[] = {
      {"98", sim::Windows::k98, true, std::nullopt, std::nullopt},
      {"NT 4.0", sim::Windows::kNt4, true, std::nullopt, std::nullopt},
      {"2000", sim::Windows::k2000, true, std::nullopt, std::nullopt},
      {"XP", sim::Windows::kXp, true, std::nullopt, ""},
      {"Vista", sim::Windows::kVista, true, std::nullopt, ""},
      {"7 without KB2533623", sim::Windows::k7, false, std::nullopt, ""},
      {"7", sim::Windows::k7, true, 0x800u, std::nullopt},
      {"8", sim::Windows::k8, true, 0x800u, std::nullopt},
      {"10", sim::Windows::k10, true, 0x800u, std::nullopt},
  };
  struct Role {
    const char* name;
    std::string module;
    std::string arguments;
  } roles[] = {
      {"installer", kSetup, ""},
      {"uninstaller", kProgram, " -r"},
      {"monitor", kProgram, ""},
      {"service", kProgram, " -service"},
  };
  for (const Version& v : versions) {
    for (const Role& r : roles) {
      SCOPED_TRACE(std::string(v.name) + " " + r.name);
      sim::Reset();
      sim::PlayWindows(v.windows);
      sim::SetDllSearchUpdate(v.update);
      sim::PutFile(kSetup, kSetupBytes);
      sim::PutFile(kProgram, kSetupBytes);
      sim::QuitAt(1000);
      if (r.arguments == " -service") {
        sim::StartedAsService();
        sim::SendControlAt(1000, SERVICE_CONTROL_STOP);
      }
      RunVorn(r.module, r.arguments);
      const std::vector<std::string> names = sim::CallNames();
      ASSERT_GE(names.size(), 2u);
      EXPECT_EQ(names[0], "SetDefaultDllDirectories");
      const bool fallback = !v.defaultDirectories;
      EXPECT_EQ(names[1] == "SetDllDirectoryA", fallback) << names[1];
      EXPECT_EQ(sim::DllSearch().defaultDirectories, v.defaultDirectories);
      EXPECT_EQ(sim::DllSearch().dllDirectory, v.dllDirectory);
      EXPECT_EQ(sim::CountCalls("SetDefaultDllDirectories"), 1u);
    }
  }
}

class PlantedInstallSim : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    sim::SetModulePath(kSetup);
    sim::SetCommandLine(std::string("\"") + kSetup + "\"");
    sim::PutFile(kSetup, kSetupBytes);
    sim::AddDirectory(sim::kFreshCommonStartup);
  }
  void TearDown() override { sim::Reset(); }
  static UINT Install() { return RunVorn(kSetup, ""); }
};

// The file installed is the file that was started: renamed, replaced or
// changed while the installer waits for a monitor that will not quit, the
// installer's own file keeps its bytes for the copy. Windows refuses the
// rename and the replacement while the installer holds it shared for reading
// only (CreateFile: dwShareMode); one done underneath that rule (as Wine, or
// a Unix-level rename, can) changes nothing either.
TEST_F(PlantedInstallSim, TheInstalledBytesAreThoseOfTheFileStarted) {
  struct Case {
    const char* name;
    sim::Windows windows;
    std::string target;
  } cases[] = {
      {"XP", sim::Windows::kXp, std::string(sim::kFreshCommonStartup) + "\\VornMon.exe"},
      {"10", sim::Windows::k10, kProgram},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    sim::PlayWindows(c.windows);
    sim::AddForeignMonitor("Vorn Titlebar", std::nullopt);
    DWORD renamed = 0;
    DWORD replaced = 0;
    sim::At(1000, [&] {
      renamed = sim::MoveAsOther(kSetup, "C:\\Users\\Ann\\Downloads\\Vorn.old");
      replaced = sim::ReplaceAsOther(kSetup, "MZ someone else's program");
      sim::ReplaceUnderneath(kSetup, "MZ someone else's program");
    });
    EXPECT_EQ(Install(), 1u);
    EXPECT_EQ(renamed, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(replaced, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(sim::FileBytes(c.target), kSetupBytes);
  }
}

// An old VornMon.exe that is a hard link to another file: that file keeps
// its bytes, and the new VornMon.exe is a file of its own.
TEST_F(PlantedInstallSim, AnOldCopyThatIsAHardLinkIsNotWrittenThrough) {
  for (sim::Windows windows : {sim::Windows::kXp, sim::Windows::k10}) {
    SetUp();
    sim::PlayWindows(windows);
    const std::string target = windows == sim::Windows::kXp
                                   ? std::string(sim::kFreshCommonStartup) + "\\VornMon.exe"
                                   : std::string(kProgram);
    if (windows == sim::Windows::k10) sim::AddDirectory(kFolder);
    sim::PutFile("C:\\Windows\\system.ini", "[drivers]\r\n");
    sim::AddHardLink("C:\\Windows\\system.ini", target);
    EXPECT_EQ(Install(), 1u);
    EXPECT_EQ(sim::FileBytes("C:\\Windows\\system.ini"), "[drivers]\r\n");
    EXPECT_EQ(sim::LinkCount("C:\\Windows\\system.ini"), 1u);
    EXPECT_EQ(sim::FileBytes(target), kSetupBytes);
    EXPECT_FALSE(sim::FileExists(target + ".old"));
  }
}

// Vista and later: a program or log folder found in place that the
// installer did not make is set aside with everything in it, whoever made
// it and whatever it holds, and a new one made; one whose setting aside is
// refused stops the install with nothing changed, saying which folder.
TEST_F(PlantedInstallSim, FoldersSomeoneElseMadeAreSetAsideOrTheInstallRefuses) {
  struct Case {
    const char* name;
    const char* folder;
    std::function<void()> plant;
    const char* kept;  // a file of what was planted, as it is to be found set aside
  } cases[] = {
      {"program folder of another user", kFolder,
       [] {
         sim::AddDirectory(kFolder);
         sim::SetOwner(kFolder, kUser);
       },
       nullptr},
      {"program folder of the Administrators with a DLL planted beside the program", kFolder,
       [] {
         sim::PutFile(std::string(kFolder) + "\\VornMon.exe", "an older Vorn");
         sim::PutFile(std::string(kFolder) + "\\version.dll", "MZ planted");
       },
       "version.dll"},
      {"program folder a junction", kFolder,
       [] { sim::AddJunction(kFolder, "C:\\Users\\Ann\\Mine"); }, nullptr},
      {"log folder of another user with a planted log", kLogFolder,
       [] {
         sim::PutFile(std::string(kLogFolder) + "\\vorn.log", "planted lines\r\n");
         sim::SetOwner(kLogFolder, kUser);
       },
       "vorn.log"},
      {"log folder a junction", kLogFolder,
       [] { sim::AddJunction(kLogFolder, "C:\\Users\\Ann\\Mine"); }, nullptr},
  };
  for (const Case& c : cases) {
    for (bool refused : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (refused ? ", moving refused" : ""));
      SetUp();
      sim::PlayWindows10();
      sim::AddDirectory("C:\\Users\\Ann\\Mine");
      sim::PutFile("C:\\Users\\Ann\\Mine\\keep.txt", "Ann's");
      c.plant();
      const std::string aside = std::string(c.folder) + ".set-aside";
      if (refused) sim::FailCall("MoveFileA", ERROR_SHARING_VIOLATION, 0, -1);
      EXPECT_EQ(Install(), 1u);
      EXPECT_EQ(sim::FileBytes("C:\\Users\\Ann\\Mine\\keep.txt"), "Ann's");
      ASSERT_EQ(sim::MessageBoxes().size(), 1u);
      if (refused) {
        EXPECT_EQ(sim::MessageBoxes()[0].text,
                  FolderInTheWayMessage(c.folder, ERROR_SHARING_VIOLATION,
                                        *sim::SystemErrorText(ERROR_SHARING_VIOLATION)));
        EXPECT_EQ(sim::MessageBoxes()[0].type, 0x10u);
        EXPECT_FALSE(sim::Service("Vorn").has_value());
        EXPECT_FALSE(sim::RegKeyExists(HKEY_LOCAL_MACHINE, kEntry));
        EXPECT_FALSE(sim::DirectoryExists(aside));
        // The other folder is not left made either.
        const char* other = c.folder == kFolder ? kLogFolder : kFolder;
        EXPECT_FALSE(sim::DirectoryExists(other)) << other;
        if (c.kept) {
          EXPECT_TRUE(sim::FileExists(std::string(c.folder) + "\\" + c.kept));
        }
        continue;
      }
      EXPECT_EQ(sim::MessageBoxes()[0].text, kServiceInstallMessage);
      EXPECT_TRUE(sim::DirectoryExists(aside) || sim::IsReparsePoint(aside));
      if (c.kept) {
        EXPECT_TRUE(sim::FileExists(aside + "\\" + c.kept));
      }
      EXPECT_FALSE(sim::IsReparsePoint(c.folder));
      EXPECT_EQ(sim::OwnerOf(c.folder), sim::kAdministratorsSid);
      EXPECT_EQ(sim::ObjectSecurity(c.folder).rfind("owner=S-1-5-32-544 protected dacl=", 0), 0u)
          << sim::ObjectSecurity(c.folder);
      EXPECT_FALSE(sim::FileExists(std::string(kFolder) + "\\version.dll"));
      EXPECT_FALSE(sim::FileExists(std::string(kLogFolder) + "\\vorn.log"));
      EXPECT_EQ(sim::FileBytes(kProgram), kSetupBytes);
      ASSERT_TRUE(sim::Service("Vorn").has_value());
      EXPECT_EQ(sim::Service("Vorn")->state, SERVICE_RUNNING);
    }
  }
}

// What an earlier install of Vorn left is Vorn's: kept, given its list again.
TEST_F(PlantedInstallSim, AnEarlierInstallsFoldersAreKept) {
  sim::PlayWindows10();
  sim::PutFile(kProgram, "an older Vorn");
  sim::PutFile(std::string(kLogFolder) + "\\vorn.log", "the service's lines\r\n");
  EXPECT_EQ(Install(), 1u);
  EXPECT_EQ(sim::CountCalls("MoveFileA"), 1u) << "only the old program, renamed aside";
  EXPECT_EQ(sim::FileBytes(std::string(kLogFolder) + "\\vorn.log"), "the service's lines\r\n");
  EXPECT_EQ(sim::FileBytes(kProgram), kSetupBytes);
  EXPECT_EQ(sim::ObjectSecurity(kLogFolder).rfind("owner=S-1-5-32-544 protected dacl=", 0), 0u);
}

}  // namespace

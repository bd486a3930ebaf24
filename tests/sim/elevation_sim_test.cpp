// The installer and uninstaller under User Account Control, which Wine does
// not have: without an elevated token they hand the work to a copy of
// themselves started with the shell's "runas" verb, before changing anything.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/entry.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_file.h"
#include "platform/sim/sim_process.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_security.h"
#include "platform/sim/sim_shell.h"
#include "platform/sim/sim_window.h"

namespace {

constexpr const char* kEntryKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vorn";
constexpr const char* kPolicyKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const std::string kInstalled = std::string(sim::kFreshCommonStartup) + "\\VornMon.exe";

struct Role {
  const char* name;
  std::string exe;
  std::string commandLine;
  const char* caption;
  const char* declined;  // the box's first line when the user says no
};

const Role kInstaller = {"installer", "C:\\Downloads\\Setup.exe", "\"C:\\Downloads\\Setup.exe\"",
                         "Installation Status", "Installing Vorn requires administrator rights."};
const Role kUninstaller = {"uninstaller", kInstalled, "\"" + kInstalled + "\"  -r",
                           "Uninstall Status", "Removing Vorn requires administrator rights."};

UINT RunRole() {
  sim::QuitAt(3600000);
  try {
    return static_cast<UINT>(VornMain());
  } catch (const sim::ProcessExit& exit) {
    return exit.code;
  }
}

// An installed Vorn with its monitor running, and `role` about to start.
DWORD Prepare(const Role& role, sim::Windows windows, bool elevated) {
  sim::Reset();
  sim::PlayWindows(windows);
  sim::SetElevated(elevated);
  sim::RegPutText(HKEY_LOCAL_MACHINE, kEntryKey, "DisplayName", "Vorn (PC Clock Synchronizer)");
  sim::PutFile(role.exe, "MZ");
  sim::PutFile(kInstalled, "MZ installed");
  sim::SetModulePath(role.exe);
  sim::SetCommandLine(role.commandLine);
  return sim::AddForeignMonitor("Vorn Titlebar", 50);
}

// Nothing of the installed Vorn was touched: entry, program, monitor.
void ExpectNothingChanged(DWORD monitor, const std::string& name) {
  EXPECT_TRUE(sim::RegKeyExists(HKEY_LOCAL_MACHINE, kEntryKey)) << name;
  EXPECT_EQ(sim::FileBytes(kInstalled), "MZ installed") << name;
  EXPECT_TRUE(sim::ForeignProcessRunning(monitor)) << name;
  for (const char* call : {"FindWindowA", "RegCreateKeyExA", "RegSetValueExA", "RegDeleteKeyA",
                           "CopyFileA", "CreateDirectoryA", "CreateProcessA", "DeleteFileA"}) {
    EXPECT_EQ(sim::CountCalls(call), 0u) << name << ": " << call;
  }
  // At most the installer's hold on its own file, for reading only.
  for (const std::string& open : sim::CallsOf({"CreateFileA"})) {
    EXPECT_EQ(open.rfind("CreateFileA(\"C:\\Downloads\\Setup.exe\", 0x80000000, 0x1, ", 0), 0u)
        << name << ": " << open;
  }
  EXPECT_EQ(sim::OpenHandles(), 0u) << name;
  EXPECT_EQ(sim::OpenKeys(), 0u) << name;
}

// Not elevated on Vista and later: one "runas" start of the same file with
// the same parameters, waited for to its end; this process then ends with
// nothing done and no box of its own.
TEST(ElevationSim, UnelevatedRoleRunsAgainElevatedAndWaitsForIt) {
  struct Case {
    const Role& role;
    sim::Windows windows;
    std::string commandLine;
    const char* parameters;  // as handed on, or null for none
  } cases[] = {
      {kInstaller, sim::Windows::kVista, kInstaller.commandLine, nullptr},
      {kInstaller, sim::Windows::k10, kInstaller.commandLine + " /x \"a b\"", "/x \"a b\""},
      {kUninstaller, sim::Windows::kVista, kUninstaller.commandLine, "-r"},
      {kUninstaller, sim::Windows::k10, kUninstaller.commandLine, "-r"},
  };
  for (const Case& c : cases) {
    const std::string name = std::string(c.role.name) + " " + c.commandLine;
    const DWORD monitor = Prepare(c.role, c.windows, false);
    sim::SetCommandLine(c.commandLine);
    EXPECT_EQ(RunRole(), 1u) << name;
    const std::vector<sim::ShellExecution> started = sim::ShellExecutions();
    ASSERT_EQ(started.size(), 1u) << name;
    EXPECT_EQ(started[0].verb, std::optional<std::string>("runas")) << name;
    EXPECT_EQ(started[0].file, c.role.exe) << name;
    EXPECT_EQ(started[0].parameters,
              c.parameters ? std::optional<std::string>(c.parameters) : std::nullopt)
        << name;
    EXPECT_EQ(started[0].mask, static_cast<DWORD>(SEE_MASK_NOCLOSEPROCESS)) << name;
    EXPECT_EQ(started[0].showCommand, SW_SHOWNORMAL) << name;
    // Waited for without a time limit, then let go.
    std::vector<std::string> after =
        sim::CallNames({"ShellExecuteExA", "WaitForSingleObject", "CloseHandle", "ExitProcess"});
    // The installer lets go of its own file last.
    if (&c.role == &kInstaller) after.erase(after.end() - 2);
    EXPECT_EQ(std::vector<std::string>(after.end() - 4, after.end()),
              (std::vector<std::string>{"ShellExecuteExA", "WaitForSingleObject", "CloseHandle",
                                        "ExitProcess"}))
        << name;
    EXPECT_EQ(sim::CallsOf({"WaitForSingleObject"})
                  .back()
                  .substr(sim::CallsOf({"WaitForSingleObject"}).back().rfind(", ")),
              ", 4294967295)")
        << name;
    EXPECT_TRUE(sim::MessageBoxes().empty()) << name;
    ExpectNothingChanged(monitor, name);
  }
}

// The user says no to the consent prompt: one box in the role's caption,
// and nothing changed.
TEST(ElevationSim, DeclinedConsentSaysRightsAreNeededAndChangesNothing) {
  for (const Role* role : {&kInstaller, &kUninstaller}) {
    const DWORD monitor = Prepare(*role, sim::Windows::k10, false);
    sim::SetConsent(false);
    EXPECT_EQ(RunRole(), 1u) << role->name;
    EXPECT_TRUE(sim::ShellExecutions().empty()) << role->name;
    const std::vector<sim::MessageBoxCall> boxes = sim::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u) << role->name;
    EXPECT_EQ(boxes[0].caption, role->caption) << role->name;
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_ICONEXCLAMATION)) << role->name;
    EXPECT_EQ(boxes[0].text.rfind(std::string(role->declined) + "\r\n", 0), 0u) << boxes[0].text;
    ExpectNothingChanged(monitor, role->name);
  }
}

// Any other failure of the new start ends in the top-level error report,
// again before anything is changed.
TEST(ElevationSim, OtherFailureOfTheNewStartIsReported) {
  struct Case {
    DWORD error;
    const char* message;
  } cases[] = {
      {ERROR_FILE_NOT_FOUND, "System error 2: The system cannot find the file specified."},
      {1155, "System error 1155."},
  };
  for (const Role* role : {&kInstaller, &kUninstaller}) {
    for (const Case& c : cases) {
      const std::string name = std::string(role->name) + " " + std::to_string(c.error);
      const DWORD monitor = Prepare(*role, sim::Windows::kVista, false);
      sim::FailCall("ShellExecuteExA", c.error);
      EXPECT_EQ(RunRole(), 1u) << name;
      const std::vector<sim::MessageBoxCall> boxes = sim::MessageBoxes();
      ASSERT_EQ(boxes.size(), 1u) << name;
      EXPECT_EQ(boxes[0].caption, "Application Error") << name;
      EXPECT_EQ(boxes[0].text.rfind("Exception OSError in module ", 0), 0u) << boxes[0].text;
      EXPECT_EQ(boxes[0].text.substr(boxes[0].text.find('\n') + 1), c.message) << name;
      ExpectNothingChanged(monitor, name);
    }
  }
}

// Where there is nothing to ask for, the role runs at once: before Vista
// (no TokenElevation to ask about at all), with an elevated token, and with
// User Account Control turned off, where "runas" would give the copy no more
// rights than this one and it would start another in turn.
TEST(ElevationSim, RoleRunsAtOnceWhereThereIsNothingToAskFor) {
  struct Case {
    const char* name;
    sim::Windows windows;
    bool elevated;
    const char* enableLua;  // the policy value as REG_DWORD bytes, or null
    size_t tokenQueries;
  } cases[] = {
      {"98", sim::Windows::k98, false, nullptr, 0},
      {"NT 4.0", sim::Windows::kNt4, false, nullptr, 0},
      {"XP", sim::Windows::kXp, false, nullptr, 0},
      {"Vista, elevated", sim::Windows::kVista, true, nullptr, 1},
      {"10, elevated", sim::Windows::k10, true, "\x01\0\0\0", 1},
      {"10, User Account Control off", sim::Windows::k10, false, "\0\0\0\0", 1},
  };
  for (const Role* role : {&kInstaller, &kUninstaller}) {
    for (const Case& c : cases) {
      const std::string name = std::string(role->name) + ", " + c.name;
      const DWORD monitor = Prepare(*role, c.windows, c.elevated);
      if (c.enableLua) {
        sim::RegPutValue(HKEY_LOCAL_MACHINE, kPolicyKey, "EnableLUA", REG_DWORD,
                         std::string(c.enableLua, 4));
      }
      EXPECT_EQ(RunRole(), 1u) << name;
      EXPECT_EQ(sim::CountCalls("ShellExecuteExA"), 0u) << name;
      EXPECT_EQ(sim::CountCalls("GetTokenInformation"), c.tokenQueries) << name;
      EXPECT_FALSE(sim::ForeignProcessRunning(monitor)) << name;
      const std::vector<sim::MessageBoxCall> boxes = sim::MessageBoxes();
      ASSERT_FALSE(boxes.empty()) << name;
      EXPECT_EQ(boxes.back().caption, role->caption) << name;
      EXPECT_EQ(boxes.back().type, static_cast<UINT>(MB_ICONINFORMATION)) << name;
    }
  }
}

}  // namespace

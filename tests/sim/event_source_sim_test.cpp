// The event source "Vorn" against the simulated Windows: registered by the
// installer of Vista and later with the installed program as its message
// file, never on the older Windows, not worth a failed install, and removed
// by the uninstaller with the service.
#include <gtest/gtest.h>

#include <cstring>

#include "monitor/entry.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_file.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_security.h"
#include "platform/sim/sim_service_manager.h"
#include "platform/sim/sim_window.h"
#include "setup/event_source.h"

namespace {

constexpr const char* kSetupPath = "C:\\Users\\Ann\\Downloads\\Vorn.exe";
constexpr const char* kProgram = "C:\\Program Files\\Vorn\\VornMon.exe";
constexpr const char* kCommand = "\"C:\\Program Files\\Vorn\\VornMon.exe\" -service";

UINT RunVorn() {
  sim::QuitAt(3600000);
  try {
    return static_cast<UINT>(VornMain());
  } catch (const sim::ProcessExit& exit) {
    return exit.code;
  }
}

std::string Dword(DWORD value) {
  std::string bytes(sizeof value, '\0');
  memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

bool SourceRegistered() { return sim::RegKeyExists(HKEY_LOCAL_MACHINE, kEventSourceKey); }

class EventSourceInstallSim : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    sim::PlayWindows10();
    sim::SetModulePath(kSetupPath);
    sim::SetCommandLine(std::string("\"") + kSetupPath + "\"");
    sim::PutFile(kSetupPath, "MZ Vorn");
    sim::AddDirectory(sim::kFreshCommonStartup);
  }
  void TearDown() override { sim::Reset(); }
};

TEST_F(EventSourceInstallSim, InstallRegistersTheProgramAsMessageFile) {
  EXPECT_EQ(RunVorn(), 1u);
  const std::optional<sim::RegValue> file =
      sim::RegGetValue(HKEY_LOCAL_MACHINE, kEventSourceKey, "EventMessageFile");
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ(file->type, REG_SZ);
  EXPECT_EQ(file->data, std::string(kProgram) + '\0');
  const std::optional<sim::RegValue> types =
      sim::RegGetValue(HKEY_LOCAL_MACHINE, kEventSourceKey, "TypesSupported");
  ASSERT_TRUE(types.has_value());
  EXPECT_EQ(types->type, REG_DWORD);
  EXPECT_EQ(types->data, Dword(7));
  EXPECT_EQ(sim::OpenKeys(), 0u);
}

TEST_F(EventSourceInstallSim, OlderWindowsHaveNoSource) {
  for (void (*play)() : {sim::PlayWindows98, +[] { sim::PlayWindows(sim::Windows::kXp); }}) {
    SetUp();
    play();
    EXPECT_EQ(RunVorn(), 1u);
    EXPECT_TRUE(sim::FileExists(std::string(sim::kFreshCommonStartup) + "\\VornMon.exe"));
    EXPECT_FALSE(SourceRegistered());
  }
}

// Each registry call of the registration refused in turn: the service is
// installed and running all the same, with the one usual box.
TEST_F(EventSourceInstallSim, RefusedRegistrationStillInstalls) {
  EXPECT_EQ(RunVorn(), 1u);
  struct Step {
    const char* call;
    size_t index;  // of the registration's call among all calls of that name
  };
  std::vector<Step> steps;
  size_t created = 0, set = 0;
  for (const sim::Call& call : sim::Journal()) {
    const bool ours = call.args.find("EventLog") != std::string::npos ||
                      call.args.find("EventMessageFile") != std::string::npos ||
                      call.args.find("TypesSupported") != std::string::npos;
    if (call.name == "RegCreateKeyExA") {
      if (ours) steps.push_back({"RegCreateKeyExA", created});
      ++created;
    } else if (call.name == "RegSetValueExA") {
      if (ours) steps.push_back({"RegSetValueExA", set});
      ++set;
    }
  }
  ASSERT_EQ(steps.size(), 3u);
  for (const Step& step : steps) {
    SCOPED_TRACE(std::string(step.call) + " " + std::to_string(step.index));
    SetUp();
    sim::FailCall(step.call, ERROR_ACCESS_DENIED, static_cast<int>(step.index));
    EXPECT_EQ(RunVorn(), 1u);
    const std::optional<sim::InstalledService> vorn = sim::Service("Vorn");
    ASSERT_TRUE(vorn.has_value());
    EXPECT_EQ(vorn->state, SERVICE_RUNNING);
    EXPECT_TRUE(sim::FileExists(kProgram));
    ASSERT_EQ(sim::MessageBoxes().size(), 1u);
    EXPECT_EQ(sim::MessageBoxes()[0].caption, "Installation Status");
    EXPECT_EQ(sim::OpenKeys(), 0u);
  }
}

class EventSourceUninstallSim : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    sim::PlayWindows10();
    sim::PutFile(kProgram, "MZ");
    sim::RegPutText(HKEY_LOCAL_MACHINE,
                    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vorn",
                    "UninstallString", std::string("\"") + kProgram + "\" -r");
    sim::RegPutText(HKEY_LOCAL_MACHINE, kEventSourceKey, "EventMessageFile", kProgram);
    sim::AddService("Vorn", kCommand, true);
    sim::SetModulePath(kProgram);
    sim::SetCommandLine(std::string("\"") + kProgram + "\" -r");
  }
  void TearDown() override { sim::Reset(); }
};

TEST_F(EventSourceUninstallSim, UninstallRemovesTheSourceWithTheService) {
  EXPECT_EQ(RunVorn(), 1u);
  EXPECT_FALSE(sim::Service("Vorn").has_value());
  EXPECT_FALSE(SourceRegistered());
  // The rest of the event log is left alone.
  EXPECT_TRUE(sim::RegKeyExists(HKEY_LOCAL_MACHINE,
                                "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application"));
}

// A service that will not go keeps Vorn installed, its source with it.
TEST_F(EventSourceUninstallSim, ServiceThatWillNotGoKeepsTheSource) {
  sim::FailCall("DeleteService", ERROR_ACCESS_DENIED);
  RunVorn();
  EXPECT_TRUE(sim::Service("Vorn").has_value());
  EXPECT_TRUE(SourceRegistered());
}

}  // namespace

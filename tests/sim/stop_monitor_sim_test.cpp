// Stopping another process's monitor against the simulated Windows.
#include <gtest/gtest.h>

#include "platform/sim/sim.h"
#include "platform/sim/sim_window.h"
#include "platform/win_base.h"
#include "setup/stop_monitor.h"

namespace {

using Names = std::vector<std::string>;

const Names kStopCalls = {"FindWindowA", "PostMessageA",        "GetWindowThreadProcessId",
                          "OpenProcess", "WaitForSingleObject", "CloseHandle"};

class StopMonitorSim : public ::testing::Test {
 protected:
  void SetUp() override { sim::Reset(); }
};

TEST_F(StopMonitorSim, NoMonitorOnlyLooksForTheWindow) {
  StopRunningMonitor();
  EXPECT_EQ(sim::CallsOf(kStopCalls), Names{"FindWindowA(NULL, \"Vorn Titlebar\")"});
  EXPECT_EQ(sim::NowMs(), 0u);
}

TEST_F(StopMonitorSim, TitleMustMatchWhole) {
  for (const char* title : {"Vorn", "Vorn Titlebar ", "Vorn Titlebar2", "Vorn Title"}) {
    sim::Reset();
    const DWORD other = sim::AddForeignMonitor(title, 0);
    StopRunningMonitor();
    EXPECT_EQ(sim::CallNames(kStopCalls), Names{"FindWindowA"}) << title;
    EXPECT_FALSE(sim::ForeignQuitTime(other)) << title;
  }
}

TEST_F(StopMonitorSim, MonitorThatEndsIsWaitedFor) {
  const DWORD monitor = sim::AddForeignMonitor("Vorn Titlebar", 250, "AnyClass");
  StopRunningMonitor();
  const Names calls = sim::CallsOf(kStopCalls);
  ASSERT_EQ(sim::CallNames(kStopCalls), kStopCalls);
  EXPECT_NE(calls[1].find(", 0x12, 0, 0)"), std::string::npos) << calls[1];
  EXPECT_EQ(calls[3], "OpenProcess(0x100000, 0, " + std::to_string(monitor) + ")");
  EXPECT_NE(calls[4].find(", 30000)"), std::string::npos) << calls[4];
  EXPECT_EQ(sim::ForeignQuitTime(monitor), std::optional<uint64_t>(0));
  EXPECT_FALSE(sim::ForeignProcessRunning(monitor));
  EXPECT_EQ(sim::NowMs(), 250u);
  EXPECT_EQ(sim::OpenHandles("process"), 0u);

  // Gone with its window: a second call finds nothing.
  sim::ClearJournal();
  StopRunningMonitor();
  EXPECT_EQ(sim::CallNames(kStopCalls), Names{"FindWindowA"});
}

TEST_F(StopMonitorSim, MonitorThatNeverEndsHoldsTheCallerForTheBoundOnly) {
  const DWORD monitor = sim::AddForeignMonitor("Vorn Titlebar", std::nullopt);
  StopRunningMonitor();
  EXPECT_EQ(sim::CallNames(kStopCalls), kStopCalls);
  EXPECT_EQ(sim::NowMs(), kStopMonitorWaitMs);
  EXPECT_TRUE(sim::ForeignProcessRunning(monitor));
  EXPECT_EQ(sim::OpenHandles("process"), 0u);
}

TEST_F(StopMonitorSim, OnlyTheFirstWindowIsHandled) {
  const DWORD first = sim::AddForeignMonitor("Vorn Titlebar", 10);
  const DWORD second = sim::AddForeignMonitor("Vorn Titlebar", 10);
  StopRunningMonitor();
  EXPECT_FALSE(sim::ForeignProcessRunning(first));
  EXPECT_TRUE(sim::ForeignProcessRunning(second));
  EXPECT_EQ(sim::CountCalls("FindWindowA"), 1u);
}

TEST_F(StopMonitorSim, FailuresEndQuietly) {
  struct Case {
    const char* call;
    Names made;
  } cases[] = {
      // The quit is posted already; the monitor ends on its own.
      {"OpenProcess", {"FindWindowA", "PostMessageA", "GetWindowThreadProcessId", "OpenProcess"}},
      // The handle is closed whatever the wait gave.
      {"WaitForSingleObject", kStopCalls},
      // Results not looked at: everything goes on.
      {"PostMessageA", kStopCalls},
      {"CloseHandle", kStopCalls},
  };
  for (const Case& c : cases) {
    sim::Reset();
    sim::AddForeignMonitor("Vorn Titlebar", 100);
    sim::FailCall(c.call, ERROR_ACCESS_DENIED);
    StopRunningMonitor();
    EXPECT_EQ(sim::CallNames(kStopCalls), c.made) << c.call;
  }
}

}  // namespace

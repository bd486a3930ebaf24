// Start-up of each role against the simulated Windows.
#include <gtest/gtest.h>

#include "monitor/clock_check.h"
#include "monitor/entry.h"
#include "monitor/server_table.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_window.h"

namespace {

constexpr const char* kMonitorPath = "C:\\ProgramData\\Start Menu\\Programs\\StartUp\\VornMon.exe";

class EntrySim : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    sim::SetModulePath(kMonitorPath);
    sim::SetCommandLine(std::string("\"") + kMonitorPath + "\"");
  }

  // Runs the program; the exit code is what VornMain returns or what
  // ExitProcess was given.
  static UINT Run() {
    try {
      return static_cast<UINT>(VornMain());
    } catch (const sim::ProcessExit& exit) {
      return exit.code;
    }
  }

  static size_t Index(const std::vector<std::string>& names, const std::string& name) {
    for (size_t i = 0; i < names.size(); ++i) {
      if (names[i] == name) return i;
    }
    return names.size();
  }
};

TEST_F(EntrySim, MonitorStartsWithTheExactCallsInOrder) {
  sim::QuitAt(1000);
  EXPECT_EQ(Run(), 0u);
  const std::vector<std::string> calls =
      sim::CallsOf({"GetModuleFileNameA", "FindWindowA", "LoadIconA", "LoadCursorA",
                    "GetStockObject", "RegisterClassA", "CreateWindowExA", "SetTimer"});
  ASSERT_EQ(calls.size(), 8u);
  EXPECT_EQ(calls[0], "GetModuleFileNameA((nil), 261)");
  EXPECT_EQ(calls[1], "FindWindowA(NULL, \"Vorn Titlebar\")");
  EXPECT_EQ(calls[2], "LoadIconA((nil), 32512)");
  EXPECT_EQ(calls[3], "LoadCursorA((nil), 32512)");
  EXPECT_EQ(calls[4], "GetStockObject(0)");
  EXPECT_EQ(calls[5],
            "RegisterClassA(style=3, proc=set, cls=0, wnd=0, inst=0x400000, icon=0x10003, "
            "cursor=0x10005, brush=0x1900010, menu=NULL, class=\"Vorn\")");
  EXPECT_EQ(calls[6],
            "CreateWindowExA(0x80, \"Vorn\", \"Vorn Titlebar\", 0xCF0000, 0x80000000, "
            "0x80000000, 0x80000000, 0x80000000, (nil), (nil), 0x400000, (nil))");
  EXPECT_EQ(calls[7], "SetTimer((nil), 0, 120000, proc)");
  ASSERT_EQ(sim::OwnWindows().size(), 1u);
  EXPECT_EQ(sim::OwnWindows()[0].title, "Vorn Titlebar");
  EXPECT_EQ(g_servers.index, 1);
  EXPECT_STREQ(ServerUrl(g_servers.index), "http://time-a-g.nist.gov:13/");
}

TEST_F(EntrySim, LocaleIsLoadedBeforeTheRoleIsChosen) {
  sim::QuitAt(10);
  Run();
  const std::vector<std::string> names = sim::CallNames();
  EXPECT_LT(Index(names, "GetSystemDefaultLCID"), Index(names, "GetModuleFileNameA"));
}

TEST_F(EntrySim, SecondMonitorEndsWithExitCodeOneAndTouchesNothing) {
  const DWORD first = sim::AddForeignMonitor("Vorn Titlebar", std::nullopt);
  EXPECT_EQ(Run(), 1u);
  const std::vector<std::string> names = sim::CallNames();
  EXPECT_EQ(names.back(), "ExitProcess");
  for (const char* untouched : {"PostMessageA", "OpenProcess", "RegisterClassA", "CreateWindowExA",
                                "SetTimer", "GetMessageA"}) {
    EXPECT_EQ(sim::CountCalls(untouched), 0u) << untouched;
  }
  EXPECT_TRUE(sim::ForeignProcessRunning(first));
}

TEST_F(EntrySim, NoCheckBeforeTheFirstInterval) {
  // A check would begin by asking for the connection state.
  sim::QuitAt(119999);
  EXPECT_EQ(Run(), 0u);
  EXPECT_EQ(sim::CountCalls("KillTimer"), 0u);
  EXPECT_EQ(sim::CountCalls("InternetGetConnectedState"), 0u);
}

TEST_F(EntrySim, FirstTickComesAtTheInterval) {
  sim::QuitAt(120001);
  EXPECT_EQ(Run(), 0u);
  ASSERT_EQ(sim::CountCalls("KillTimer"), 1u);
  for (const sim::Call& call : sim::Journal()) {
    if (call.name == "KillTimer") {
      EXPECT_EQ(call.timeMs, 120000u);
    }
  }
}

TEST_F(EntrySim, QuitPostedToTheWindowEndsWithZero) {
  sim::At(5000, [] { PostMessageA(FindWindowA(nullptr, "Vorn Titlebar"), WM_QUIT, 7, 0); });
  EXPECT_EQ(Run(), 0u);
  EXPECT_EQ(sim::CountCalls("ExitProcess"), 0u);
}

TEST_F(EntrySim, DestroyPostsQuitZeroAndOtherMessagesGoToDefault) {
  EXPECT_EQ(MonitorWindowProc(nullptr, WM_CLOSE, 1, 2), 0);
  EXPECT_EQ(sim::CallsOf({"DefWindowProcA"}),
            (std::vector<std::string>{"DefWindowProcA((nil), 0x10, 1, 2)"}));
  EXPECT_EQ(MonitorWindowProc(nullptr, WM_DESTROY, 0, 0), 0);
  EXPECT_EQ(sim::CallsOf({"PostQuitMessage"}), (std::vector<std::string>{"PostQuitMessage(0)"}));
}

// Without the stop event (none could be made, or the wait on it failed) the
// loop is GetMessageA's, whose -1 counts as a message.
TEST_F(EntrySim, FailingGetMessageKeepsTheLoopGoing) {
  for (const char* lost : {"CreateEventA", "MsgWaitForMultipleObjects"}) {
    SetUp();
    sim::FailCall(lost, ERROR_INVALID_PARAMETER);
    sim::FailCall("GetMessageA", ERROR_INVALID_PARAMETER, 0, 3);
    sim::QuitAt(10);
    EXPECT_EQ(Run(), 0u) << lost;
    EXPECT_EQ(sim::CountCalls("DispatchMessageA"), 3u) << lost;
  }
}

TEST_F(EntrySim, SetupRolesRunWhileAMonitorRunsAndExitWithOne) {
  struct Case {
    const char* path;
    const char* commandLine;
  } cases[] = {
      {"C:\\Temp\\Setup.exe", "Setup.exe"},
      {kMonitorPath, "VornMon.exe -r"},
  };
  for (const Case& c : cases) {
    sim::Reset();
    sim::AddForeignMonitor("Vorn Titlebar", 10);
    sim::SetModulePath(c.path);
    sim::SetCommandLine(c.commandLine);
    EXPECT_EQ(Run(), 1u) << c.commandLine;
    EXPECT_EQ(sim::CountCalls("RegisterClassA"), 0u) << c.commandLine;
    EXPECT_EQ(sim::CountCalls("SetTimer"), 0u) << c.commandLine;
  }
}

}  // namespace

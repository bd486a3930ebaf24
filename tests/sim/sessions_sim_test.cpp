// The monitors of every session (Fast User Switching, Terminal Services):
// the stop event they wait on, and the uninstaller that sets it, against the
// simulated Windows with two sessions.
#include <gtest/gtest.h>

#include "monitor/entry.h"
#include "monitor/stop_event.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_file.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_restart.h"
#include "platform/sim/sim_security.h"
#include "platform/sim/sim_session.h"
#include "platform/sim/sim_window.h"
#include "platform/win_base.h"
#include "platform/win_event.h"
#include "platform/win_sessions.h"
#include "setup/stop_monitor.h"

namespace {

using Names = std::vector<std::string>;

// Another account, without administrator rights.
constexpr const char* kOtherUser = "S-1-5-21-1004336348-1177238915-682003330-1003";
constexpr const char* kEntryKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vorn";
constexpr const char* kMonitorAccess =
    "dacl=S-1-5-18:001f0003,S-1-5-32-544:001f0003,S-1-1-0:00100000";
const std::string kInstalled = std::string(sim::kFreshCommonStartup) + "\\VornMon.exe";
constexpr const char* kRemoved = "Vorn Successfully Removed.";
constexpr const char* kRemovedAtRestart =
    "Vorn Removed. Its program file, still in use, is deleted when Windows restarts.";

class SessionsSim : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    sim::SetSession(1);
  }

  // Runs `action` as `account` in `session`, then returns to this process's.
  template <class Action>
  static void As(DWORD session, const std::string& account, Action action) {
    const DWORD ownSession = sim::Session();
    const std::string ownAccount = sim::ProcessAccount();
    sim::SetSession(session);
    sim::SetProcessAccount(account);
    action();
    sim::SetSession(ownSession);
    sim::SetProcessAccount(ownAccount);
  }

  // A monitor of this version in `session`: its window there, and the stop
  // event it made or opened as `account`. After being told to end it does
  // so `endsAfterMs` later (never: nullopt).
  static DWORD MonitorIn(DWORD session, std::optional<uint64_t> endsAfterMs,
                         const std::string& account = kOtherUser) {
    DWORD monitor = 0;
    As(session, account, [&] {
      monitor = sim::AddForeignMonitor(kWindowTitle, endsAfterMs);
      HANDLE event = OpenStopEventToWait(GetVersion());
      ASSERT_NE(event, nullptr);
      sim::HandOver(event, monitor);
    });
    return monitor;
  }

  static UINT RunUninstaller() {
    sim::RegPutText(HKEY_LOCAL_MACHINE, kEntryKey, "UninstallString", kInstalled + " -r");
    sim::AddDirectory(sim::kFreshCommonStartup);
    sim::PutFile(kInstalled, "MZ");
    sim::SetModulePath(kInstalled);
    sim::SetCommandLine("\"" + kInstalled + "\" -r");
    sim::QuitAt(3600000);
    try {
      return static_cast<UINT>(VornMain());
    } catch (const sim::ProcessExit& exit) {
      return exit.code;
    }
  }

  static std::string OnlyBox() {
    const std::vector<sim::MessageBoxCall> boxes = sim::MessageBoxes();
    return boxes.size() == 1 ? boxes[0].text : "(" + std::to_string(boxes.size()) + " boxes)";
  }
};

// The name each Windows gives the event, and its list: 98 and NT 4.0 have
// one namespace (NT 4.0 refuses the global name first), 98 no lists.
TEST_F(SessionsSim, MonitorMakesTheEventWhereEverySessionFindsIt) {
  struct Case {
    sim::Windows windows;
    const char* fullName;
    const char* access;
  } cases[] = {
      {sim::Windows::k98, "VornStop", ""},
      {sim::Windows::kNt4, "VornStop", kMonitorAccess},
      {sim::Windows::k2000, "Global\\VornStop", kMonitorAccess},
      {sim::Windows::kXp, "Global\\VornStop", kMonitorAccess},
  };
  for (const Case& c : cases) {
    SetUp();
    sim::PlayWindows(c.windows);
    HANDLE event = OpenStopEventToWait(GetVersion());
    ASSERT_NE(event, nullptr) << c.fullName;
    EXPECT_TRUE(sim::NamedEventExists(c.fullName)) << c.fullName;
    EXPECT_EQ(sim::NamedEventAccess(c.fullName), c.access) << c.fullName;
    CloseHandle(event);
    EXPECT_FALSE(sim::NamedEventExists(c.fullName)) << c.fullName;
  }
}

// A second user's monitor may wait on the first one's event, but no user
// may set it, so none can end everyone's monitor; an administrator can.
TEST_F(SessionsSim, OnlyAdministratorsMaySetTheEvent) {
  MonitorIn(1, 0);
  HANDLE second = nullptr;
  As(2, kOtherUser + std::string("1"), [&] { second = OpenStopEventToWait(GetVersion()); });
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(sim::CallsOf({"CreateEventA", "OpenEventA"}).back(),
            "OpenEventA(0x100000, 0, \"Global\\VornStop\")");
  struct Case {
    const char* account;
    bool sets;
  } cases[] = {{kOtherUser, false}, {sim::kUserSid, true}, {sim::kLocalSystemSid, true}};
  for (const Case& c : cases) {
    As(2, c.account, [&] {
      HANDLE event = OpenStopEvent(GetVersion(), EVENT_MODIFY_STATE);
      EXPECT_EQ(event != nullptr, c.sets) << c.account;
      if (event) {
        CloseHandle(event);
      } else {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << c.account;
      }
    });
  }
  CloseHandle(second);
}

// The monitor ends (with 0) when the event is set from another session, and
// keeps checking the clock on its timer until then.
TEST_F(SessionsSim, MonitorEndsWhenTheEventIsSet) {
  sim::SetProcessAccount(kOtherUser);
  sim::SetModulePath(kInstalled);
  sim::SetCommandLine("\"" + kInstalled + "\"");
  sim::At(250000, [] {
    As(2, sim::kUserSid, [] {
      HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, kStopEventGlobalName);
      ASSERT_NE(event, nullptr);
      SetEvent(event);
      CloseHandle(event);
    });
  });
  sim::QuitAt(3600000);
  UINT code = 99;
  try {
    code = static_cast<UINT>(VornMain());
  } catch (const sim::ProcessExit& exit) {
    code = exit.code;
  }
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(sim::NowMs(), 250000u);
  // Two ticks, at 120 and 240 seconds.
  EXPECT_EQ(sim::CountCalls("KillTimer"), 2u);
}

// The fault: a monitor in another session, which FindWindowA cannot see,
// kept VornMon.exe in use. Now it ends, and the uninstaller waits for it.
TEST_F(SessionsSim, UninstallerEndsTheMonitorsOfOtherSessions) {
  const DWORD own = MonitorIn(1, 40, sim::kUserSid);
  const DWORD other = MonitorIn(2, 700);
  EXPECT_EQ(RunUninstaller(), 1u);
  EXPECT_FALSE(sim::ForeignProcessRunning(own));
  EXPECT_FALSE(sim::ForeignProcessRunning(other));
  EXPECT_EQ(sim::ForeignQuitTime(other), std::optional<uint64_t>(0));
  EXPECT_FALSE(sim::NamedEventExists("Global\\VornStop"));
  // Found gone at the first look after it ended.
  EXPECT_GE(sim::NowMs(), 700u);
  EXPECT_LT(sim::NowMs(), 700u + kStopEventPollMs + 1);
  EXPECT_EQ(OnlyBox(), kRemoved);
  EXPECT_TRUE(sim::PendingDeletions().empty());
}

// Whatever keeps the program in use past the wait, its file, the script and
// the script's folder go at the next restart, and the box says so; when
// even that cannot be set, the box says the file stays.
TEST_F(SessionsSim, ProgramStillInUseGoesAtTheNextRestart) {
  const Names leftOver = {kInstalled, "C:\\WINDOWS\\VornRemoval\\DelAll.bat",
                          "C:\\WINDOWS\\VornRemoval"};
  struct Case {
    const char* name;
    void (*arrange)();
    uint64_t endsAtMs;
    Names pending;
    std::string box;
  } cases[] = {
      {"another session's monitor that does not end", [] { MonitorIn(2, std::nullopt); },
       kStopMonitorWaitMs, leftOver, kRemovedAtRestart},
      {"this session's monitor that does not end",
       [] { MonitorIn(1, std::nullopt, sim::kUserSid); }, kStopMonitorWaitMs, leftOver,
       kRemovedAtRestart},
      // Someone else's event of that name, which keeps the Administrators
      // out: no telling what holds the file; nothing to wait for either.
      {"an event the Administrators may not set",
       [] {
         As(2, kOtherUser, [] {
           const DWORD squatter = sim::AddForeignMonitor("Not Vorn", std::nullopt);
           sim::HandOver(CreateEventA(nullptr, TRUE, FALSE, kStopEventGlobalName), squatter);
         });
       },
       0, leftOver, kRemovedAtRestart},
      {"no deletion at restart either",
       [] {
         MonitorIn(2, std::nullopt);
         sim::FailCall("MoveFileExA", ERROR_ACCESS_DENIED, 0, -1);
       },
       kStopMonitorWaitMs,
       {},
       "Vorn was removed, but its program file is still in use and stays:\r\n" + kInstalled},
  };
  for (const Case& c : cases) {
    SetUp();
    c.arrange();
    EXPECT_EQ(RunUninstaller(), 1u) << c.name;
    EXPECT_EQ(sim::PendingDeletions(), c.pending) << c.name;
    EXPECT_EQ(OnlyBox(), c.box) << c.name;
    EXPECT_EQ(sim::NowMs(), c.endsAtMs) << c.name;
    // The script runs all the same: it may yet outlive the monitor.
    EXPECT_EQ(sim::CountCalls("ResumeThread"), 1u) << c.name;
  }
}

// 98 has no MoveFileEx: the [rename] section of WININIT.INI gets the 8.3
// names, every line already there kept, duplicate NUL keys included.
TEST_F(SessionsSim, Windows98ListsTheFilesInWininit) {
  sim::PlayWindows98();
  sim::SetSession(0);
  const std::string shortForm = "C:\\WINDOWS\\STARTM~1\\PROGRAMS\\STARTUP\\VORNMON.EXE";
  sim::SetShortPath(kInstalled, shortForm);
  sim::PutFile(sim::WininitPath(),
               "[CombineVxDs]\r\nA=B\r\n[rename]\r\nNUL=C:\\OLD1.TMP\r\nNUL=C:\\OLD2.TMP\r\n"
               "[Other]\r\nC=D\r\n");
  MonitorIn(0, std::nullopt, sim::kUserSid);
  EXPECT_EQ(RunUninstaller(), 1u);
  EXPECT_EQ(sim::FileBytes(sim::WininitPath()),
            "[CombineVxDs]\r\nA=B\r\n[rename]\r\nNUL=C:\\OLD1.TMP\r\nNUL=C:\\OLD2.TMP\r\n"
            "NUL=" +
                shortForm + "\r\nNUL=c:\\DelAll.bat\r\n[Other]\r\nC=D\r\n");
  EXPECT_EQ(OnlyBox(), kRemovedAtRestart);
}

// Windows the other session's window cannot be seen from this one: the
// window path alone (all an older uninstaller had) leaves it running.
TEST_F(SessionsSim, WindowsOfOtherSessionsAreNotSeen) {
  const DWORD other = MonitorIn(2, 0);
  EXPECT_EQ(FindWindowA(nullptr, kWindowTitle), nullptr);
  EXPECT_TRUE(StopRunningMonitor());
  EXPECT_TRUE(sim::ForeignProcessRunning(other));
  EXPECT_TRUE(StopEveryMonitor(GetVersion()));
  EXPECT_FALSE(sim::ForeignProcessRunning(other));
}

}  // namespace

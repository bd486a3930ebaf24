// One clock check and the timer that repeats it, against the simulated
// network, dial-up layer and threads, in virtual time.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "monitor/clock_check.h"
#include "monitor/event_log.h"
#include "monitor/second_opinion.h"
#include "monitor/server_table.h"
#include "monitor/timing.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_file.h"
#include "platform/sim/sim_inet.h"
#include "platform/sim/sim_thread.h"
#include "platform/sim/sim_time.h"
#include "platform/sim/sim_window.h"
#include "platform/win_base.h"

namespace {

// The simulated clock starts at 2026-12-08 12:00:00 UTC (day 61382); this
// server is five minutes ahead of it.
const std::string kAheadReply = "\n61382 26-12-08 12:05:00 00 0 0  50.0 UTC(NIST) * \n";
// The same from a server whose time scale failed (health 4).
const std::string kFailedReply = "\n61382 26-12-08 12:05:00 00 0 4  50.0 UTC(NIST) * \n";

// The simulated Windows lives in C:\WINDOWS.
const char* const kLog = "C:\\WINDOWS\\vorn.log";

std::string Url(int index) { return g_servers.urls[index]; }

// The messages of the log's lines, in order (each line is "timestamp message").
std::vector<std::string> LoggedLines() {
  std::vector<std::string> lines;
  std::optional<std::string> bytes = sim::FileBytes(kLog);
  if (!bytes) return lines;
  size_t start = 0;
  for (size_t end; (end = bytes->find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(bytes->substr(start, end - start));
  }
  EXPECT_EQ(start, bytes->size()) << "the log ends inside a line";
  return lines;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

void ExpectLogged(const std::vector<std::string>& messages) {
  std::vector<std::string> lines = LoggedLines();
  ASSERT_EQ(lines.size(), messages.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_TRUE(EndsWith(lines[i], " " + messages[i])) << lines[i];
  }
}

// Nothing a check opened is left open, and its worker is gone.
void ExpectAllClosed() {
  EXPECT_EQ(sim::OpenHandles(), 0u);
  EXPECT_EQ(sim::OpenInternetHandles(), 0u);
  EXPECT_EQ(sim::LiveThreads(), 0u);
}

void DriveLoopUntil(uint64_t quitAtMs) {
  g_timerId = SetTimer(nullptr, 0, kCheckIntervalMs, CheckTimerProc);
  sim::QuitAt(quitAtMs);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0)) DispatchMessageA(&message);
}

std::vector<uint64_t> CallTimes(const std::string& name) {
  std::vector<uint64_t> times;
  for (const sim::Call& call : sim::Journal()) {
    if (call.name == name) times.push_back(call.timeMs);
  }
  return times;
}

class ClockCheckSim : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    InitServerTable();
    g_timerId = 0;
    g_missingLogged = {};
    g_heldStep = {};
    g_localeFormats = DefaultLocaleFormats();
  }
  // Ends any simulated thread a failing test left behind.
  void TearDown() override { sim::Reset(); }
};

// Scripted machine and network for one check.
void Online() { sim::SetOnline(true); }
void DialUps(int count, DWORD firstState, DWORD othersState) {
  for (int i = 0; i < count; ++i) {
    sim::AddDialUp("dial " + std::to_string(i), i == 0 ? firstState : othersState);
  }
}
void Serve(const std::string& reply, uint64_t delayMs = 0) {
  sim::ServeReply(Url(1), reply, delayMs);
}

struct Row {
  const char* name;
  std::function<void()> setUp;
  const char* logged;          // the one log message, or "" for none
  LONG indexAfter;             // the server index after the check (it starts at 1)
  const char* internetCloses;  // kinds InternetCloseHandle closed, in order
  bool clockSet;
  uint64_t durationMs;  // virtual time the check took
};

const uint64_t kWatchdog = kWatchdogMs;

// clang-format off
const Row kBranches[] = {
  {"offline, no dial-up", [] {}, "", 1, "", false, 0},
  {"enumeration fails",
   [] { sim::FailCall("RasEnumConnectionsA", ERROR_INVALID_PARAMETER); },
   "RasEnumConnections Failed", 1, "", false, 0},
  {"five dial-up connections do not fit",
   [] { DialUps(5, RASCS_Connected, RASCS_Connected); },
   "RasEnumConnections Failed", 1, "", false, 0},
  {"four dial-up connections fit, the first is up",
   [] { DialUps(4, RASCS_Connected, RASCS_Connected); Serve(kAheadReply); },
   "", 1, "url session", true, 0},
  {"only the second dial-up connection is up",
   [] { DialUps(2, 0, RASCS_Connected); Serve(kAheadReply); },
   "", 1, "", false, 0},
  {"dial-up status fails",
   [] { DialUps(1, RASCS_Connected, 0); sim::FailCall("RasGetConnectStatusA", 6); },
   "RasGetConnectStatus Failed", 1, "", false, 0},
  {"session cannot be opened",
   [] { Online(); sim::FailCall("InternetOpenA", 12001); },
   "InternetOpen Failed", 1, "", false, 0},
  {"worker cannot be started",
   [] { Online(); Serve(kAheadReply); sim::FailCall("CreateThread", ERROR_NOT_ENOUGH_MEMORY); },
   "BeginThread failed", 1, "session", false, 0},
  {"silent server: the watchdog closes the session",
   [] { Online(); sim::HangUntilSessionClosed(Url(1)); },
   "", 2, "session", false, kWatchdog},
  {"server answers just inside the watchdog",
   [] { Online(); Serve(kAheadReply, kWatchdog - 1); },
   "", 1, "url session", true, kWatchdog - 1},
  {"server answers just after the watchdog",
   [] { Online(); Serve(kAheadReply, kWatchdog + 1); },
   "", 2, "session", false, kWatchdog},
  {"worker never returns: ended after the grace period",
   [] { Online(); sim::HangForever(Url(1)); },
   "", 2, "session", false, kWatchdog + 500},
  {"refused: the worker returns 0",
   [] { Online(); sim::RefuseOpen(Url(1)); },
   "", 2, "session", false, 0},
  {"exit code unavailable",
   [] { Online(); Serve(kAheadReply); sim::FailCall("GetExitCodeThread", ERROR_INVALID_HANDLE); },
   "GetExitCode Failed", 1, "url session", false, 0},
  {"read fails",
   [] { Online(); Serve(kAheadReply); sim::FailCall("InternetReadFile", 12002); },
   "", 1, "url session", false, 0},
  {"empty reply is rejected",
   [] { Online(); Serve(""); },
   "", 1, "url session", false, 0},
  {"reply in two pieces is judged on the first",
   [] { Online(); sim::ServePieces(Url(1), {kAheadReply.substr(0, 12), kAheadReply.substr(12)}); },
   "", 1, "url session", false, 0},
  {"good reply corrects the clock",
   [] { Online(); Serve(kAheadReply); },
   "", 1, "url session", true, 0},
  {"server says its time is wrong: a failed fetch",
   [] { Online(); Serve(kFailedReply); },
   "", 2, "url session", false, 0},
  // wininet and rasapi32 may be missing; the calls then fail and the check
  // goes the way of that failure.
  {"no wininet: the connection state fails, no dial-up",
   [] { Online(); Serve(kAheadReply); sim::MissingDll("wininet.dll"); },
   "", 1, "", false, 0},
  {"no wininet, dial-up connected",
   [] { DialUps(1, RASCS_Connected, 0); Serve(kAheadReply); sim::MissingDll("wininet.dll"); },
   "InternetOpen Failed", 1, "", false, 0},
  {"no rasapi32, online",
   [] { Online(); Serve(kAheadReply); sim::MissingDll("rasapi32.dll"); },
   "", 1, "url session", true, 0},
  {"no rasapi32, offline",
   [] { sim::MissingDll("rasapi32.dll"); },
   "RasEnumConnections Failed", 1, "", false, 0},
  {"rasapi32 without RasGetConnectStatusA",
   [] { DialUps(1, RASCS_Connected, 0); sim::MissingEntry("RasGetConnectStatusA"); },
   "RasGetConnectStatus Failed", 1, "", false, 0},
  {"wininet without InternetOpenUrlA: a failed fetch",
   [] { Online(); Serve(kAheadReply); sim::MissingEntry("InternetOpenUrlA"); },
   "", 2, "session", false, 0},
};
// clang-format on

std::string Joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : " ") + word;
  return text;
}

TEST_F(ClockCheckSim, EveryBranchLogsRotatesAndClosesAsIntended) {
  for (const Row& row : kBranches) {
    SCOPED_TRACE(row.name);
    SetUp();
    row.setUp();
    ClockCheck();
    ExpectLogged(*row.logged ? std::vector<std::string>{row.logged} : std::vector<std::string>{});
    EXPECT_EQ(g_servers.index, row.indexAfter);
    EXPECT_EQ(Joined(sim::InternetCloses()), row.internetCloses);
    EXPECT_EQ(sim::CountCalls("SetSystemTime"), row.clockSet ? 1u : 0u);
    if (row.clockSet) {
      EXPECT_EQ(sim::UtcNow().wMinute, 5);
    }
    EXPECT_EQ(sim::NowMs(), row.durationMs);
    ExpectAllClosed();
  }
}

// A log that cannot be written ends the check at the log call; the handles
// are closed all the same and the timer is armed again.
TEST_F(ClockCheckSim, FailingLogWriteEndsOnlyTheCheck) {
  for (const Row& row : kBranches) {
    if (!*row.logged) continue;
    SCOPED_TRACE(row.name);
    SetUp();
    row.setUp();
    sim::FailCall("CreateFileA", ERROR_ACCESS_DENIED, 0, -1);
    CheckTimerProc(nullptr, WM_TIMER, 0, 0);
    EXPECT_FALSE(sim::FileExists(kLog));
    EXPECT_EQ(g_servers.index, row.indexAfter);
    EXPECT_EQ(Joined(sim::InternetCloses()), row.internetCloses);
    ExpectAllClosed();
    ASSERT_EQ(sim::Timers().size(), 1u);
    EXPECT_EQ(sim::Timers()[0].id, g_timerId);
    EXPECT_EQ(sim::Timers()[0].elapseMs, kCheckIntervalMs);
  }
}

TEST_F(ClockCheckSim, FullDiskDoesNotStopTheTicks) {
  sim::SetOnline(true);
  sim::FailCall("InternetOpenA", 12001, 0, -1);
  sim::SetDiskLimit(1);
  DriveLoopUntil(3 * kCheckIntervalMs + 500);
  EXPECT_EQ(CallTimes("InternetOpenA"),
            (std::vector<uint64_t>{kCheckIntervalMs, 2 * kCheckIntervalMs, 3 * kCheckIntervalMs}));
  EXPECT_EQ(sim::Timers().size(), 1u);
  ExpectAllClosed();
}

// A DLL or entry point that is missing stays missing while the monitor runs:
// a day of checks logs it once. Any other failure is logged at every check.
TEST_F(ClockCheckSim, MissingDllIsLoggedOnceADay) {
  const uint64_t kDay = 24 * 3600 * 1000;
  const size_t kChecks = kDay / kCheckIntervalMs;
  struct DayRow {
    const char* name;
    std::function<void()> setUp;
    const char* logged;
    size_t lines;
  };
  const DayRow rows[] = {
      {"no rasapi32, offline", [] { sim::MissingDll("rasapi32.dll"); }, "RasEnumConnections Failed",
       1},
      {"rasapi32 without RasEnumConnectionsA", [] { sim::MissingEntry("RasEnumConnectionsA"); },
       "RasEnumConnections Failed", 1},
      {"rasapi32 without RasGetConnectStatusA",
       [] {
         DialUps(1, RASCS_Connected, 0);
         sim::MissingEntry("RasGetConnectStatusA");
       },
       "RasGetConnectStatus Failed", 1},
      {"no wininet, dial-up connected",
       [] {
         DialUps(1, RASCS_Connected, 0);
         sim::MissingDll("wininet.dll");
       },
       "InternetOpen Failed", 1},
      // Not written is not logged: the next check tries again.
      {"no rasapi32, the first line cannot be written",
       [] {
         sim::MissingDll("rasapi32.dll");
         sim::FailCall("CreateFileA", ERROR_SHARING_VIOLATION);
       },
       "RasEnumConnections Failed", 1},
      {"enumeration keeps failing otherwise",
       [] { sim::FailCall("RasEnumConnectionsA", ERROR_INVALID_PARAMETER, 0, -1); },
       "RasEnumConnections Failed", kChecks},
  };
  for (const DayRow& row : rows) {
    SCOPED_TRACE(row.name);
    SetUp();
    row.setUp();
    DriveLoopUntil(kDay + 500);
    ASSERT_EQ(CallTimes("InternetGetConnectedState").size(), kChecks);
    ExpectLogged(std::vector<std::string>(row.lines, row.logged));
  }
}

TEST_F(ClockCheckSim, SuccessfulCheckMakesTheseCallsWithTheseArguments) {
  sim::SetOnline(true);
  sim::ServeReply(Url(1), kAheadReply);
  ClockCheck();
  const std::string session = sim::Fmt("%p", g_servers.session);
  const std::string url = sim::Fmt("%p", g_servers.url);
  const std::vector<std::string> calls =
      sim::CallsOf({"InternetGetConnectedState", "RasEnumConnectionsA", "InternetOpenA",
                    "CreateThread", "InternetOpenUrlA", "WaitForSingleObject", "GetExitCodeThread",
                    "CloseHandle", "InternetReadFile", "InternetCloseHandle", "SetSystemTime"});
  ASSERT_EQ(calls.size(), 11u);
  EXPECT_EQ(calls[0], "InternetGetConnectedState(0)");
  EXPECT_EQ(calls[1], "InternetOpenA(\"Microsoft Internet Explorer\", 0, NULL, NULL, 0x0)");
  EXPECT_EQ(calls[2], "CreateThread((nil), 0, proc, (nil), 0x0)");
  EXPECT_EQ(calls[3],
            "InternetOpenUrlA(" + session + ", \"" + Url(1) + "\", NULL, 0, 0x80000000, 0)");
  EXPECT_TRUE(EndsWith(calls[4], ", 10000)")) << calls[4];
  EXPECT_EQ(calls[5].rfind("GetExitCodeThread(", 0), 0u) << calls[5];
  EXPECT_EQ(calls[6].rfind("CloseHandle(", 0), 0u) << calls[6];
  EXPECT_EQ(calls[7], "InternetReadFile(" + url + ", 256)");
  EXPECT_EQ(calls[8], "InternetCloseHandle(" + url + ")");
  EXPECT_EQ(calls[9], "InternetCloseHandle(" + session + ")");
  EXPECT_EQ(calls[10], "SetSystemTime(2026-12-8 (dow 2) 12:5:0.0)");
}

TEST_F(ClockCheckSim, DialUpPathAsksAboutTheFirstConnectionWithTheProgramsLayout) {
  HRASCONN first = sim::AddDialUp("first", RASCS_Connected);
  sim::AddDialUp("second", 0);
  ClockCheck();
  EXPECT_EQ(sim::CallsOf({"RasEnumConnectionsA", "RasGetConnectStatusA"}),
            (std::vector<std::string>{"RasEnumConnectionsA(1648)",
                                      "RasGetConnectStatusA(" + sim::Fmt("%p", first) + ")"}));
  // Connected: the check goes on to the server.
  EXPECT_EQ(sim::CountCalls("InternetOpenA"), 1u);
}

TEST_F(ClockCheckSim, WorkerThatNeverReturnsIsTerminatedAndTheNextCheckWorks) {
  sim::SetOnline(true);
  sim::HangForever(Url(1));
  sim::ServeReply(Url(2), kAheadReply);
  ClockCheck();
  std::vector<std::string> order = sim::CallNames(
      {"WaitForSingleObject", "InternetCloseHandle", "TerminateThread", "CloseHandle"});
  EXPECT_EQ(order,
            (std::vector<std::string>{"WaitForSingleObject", "InternetCloseHandle",
                                      "WaitForSingleObject", "TerminateThread", "CloseHandle"}));
  EXPECT_EQ(CallTimes("TerminateThread"), (std::vector<uint64_t>{10500}));
  ExpectAllClosed();

  ClockCheck();
  EXPECT_EQ(sim::OpenedUrls(), (std::vector<std::string>{Url(1), Url(2)}));
  EXPECT_EQ(sim::CountCalls("SetSystemTime"), 1u);
  EXPECT_EQ(sim::CountCalls("TerminateThread"), 1u);
  ExpectAllClosed();
}

// A server that says its time is wrong is passed over like one that cannot
// be opened.
TEST_F(ClockCheckSim, FailedFetchesWalkTheServersInOrder) {
  sim::SetOnline(true);
  sim::RefuseOpen(Url(1));
  sim::ServeReply(Url(2), kFailedReply);
  sim::RefuseOpen(Url(3));
  sim::ServeReply(Url(4), "\n61382 26-12-08 12:05:00 00 0 2  50.0 UTC(NIST) * \n");
  for (int i = 0; i < 5; ++i) ClockCheck();
  EXPECT_EQ(sim::OpenedUrls(), (std::vector<std::string>{Url(1), Url(2), Url(3), Url(4), Url(1)}));
  EXPECT_EQ(g_servers.index, 2);
  EXPECT_EQ(sim::CountCalls("SetSystemTime"), 0u);
}

// Server 1 forges a step of three days and server 2 is right: nothing is
// set. Then every server is two hours ahead: the first to say so is not
// believed alone, the next one is.
TEST_F(ClockCheckSim, BigStepWaitsForASecondServer) {
  sim::SetOnline(true);
  sim::ServeReply(Url(1), "\n61385 26-12-11 12:00:00 00 0 0  50.0 UTC(NIST) * \n");
  sim::ServeReply(Url(2), "\n61382 26-12-08 12:00:10 00 0 0  50.0 UTC(NIST) * \n");
  ClockCheck();
  ClockCheck();
  EXPECT_EQ(sim::OpenedUrls(), (std::vector<std::string>{Url(1), Url(2)}));
  EXPECT_EQ(sim::CountCalls("SetSystemTime"), 0u);
  EXPECT_EQ(g_servers.index, 2);

  const std::string twoHours = "\n61382 26-12-08 14:00:00 00 0 0  50.0 UTC(NIST) * \n";
  for (int i = 1; i <= kServerCount; ++i) sim::ServeReply(Url(i), twoHours);
  ClockCheck();
  EXPECT_EQ(sim::CountCalls("SetSystemTime"), 0u);
  ClockCheck();
  EXPECT_EQ(sim::CallsOf({"SetSystemTime"}),
            (std::vector<std::string>{"SetSystemTime(2026-12-8 (dow 2) 14:0:0.0)"}));
  // Now right: asked again, nothing more set.
  ClockCheck();
  EXPECT_EQ(sim::OpenedUrls(), (std::vector<std::string>{Url(1), Url(2), Url(2), Url(3), Url(3)}));
  EXPECT_EQ(sim::CountCalls("SetSystemTime"), 1u);
  ExpectLogged({});
  ExpectAllClosed();
}

// Ticks come one interval after the previous check ended, so a check that
// waits out the watchdog pushes every later tick back.
TEST_F(ClockCheckSim, NextTickIsArmedOneIntervalAfterTheCheckEnds) {
  sim::SetOnline(true);
  sim::HangUntilSessionClosed(Url(1));
  sim::ServeReply(Url(2), kAheadReply);
  const uint64_t first = kCheckIntervalMs;
  const uint64_t second = first + kWatchdogMs + kCheckIntervalMs;
  const uint64_t third = second + kCheckIntervalMs;
  DriveLoopUntil(third + 1000);

  EXPECT_EQ(CallTimes("InternetOpenA"), (std::vector<uint64_t>{first, second, third}));
  EXPECT_EQ(CallTimes("SetTimer"), (std::vector<uint64_t>{0, first + kWatchdogMs, second, third}));
  EXPECT_EQ(sim::CallsOf({"KillTimer"}),
            (std::vector<std::string>{"KillTimer((nil), 1)", "KillTimer((nil), 2)",
                                      "KillTimer((nil), 3)"}));
  for (const std::string& call : sim::CallsOf({"SetTimer"})) {
    EXPECT_EQ(call, "SetTimer((nil), 0, 120000, proc)");
  }
  ASSERT_EQ(sim::Timers().size(), 1u);
  EXPECT_EQ(sim::Timers()[0].id, g_timerId);
  EXPECT_EQ(sim::OpenedUrls(), (std::vector<std::string>{Url(1), Url(2), Url(2)}));
}

}  // namespace

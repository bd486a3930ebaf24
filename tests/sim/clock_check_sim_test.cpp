// One clock check and the timer that repeats it, against the simulated
// network, dial-up layer and threads, in virtual time.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "monitor/clock_check.h"
#include "monitor/domain_time.h"
#include "monitor/event_log.h"
#include "monitor/fetch.h"
#include "monitor/second_opinion.h"
#include "monitor/server_table.h"
#include "monitor/service_check.h"
#include "monitor/timing.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_file.h"
#include "platform/sim/sim_inet.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_security.h"
#include "platform/sim/sim_thread.h"
#include "platform/sim/sim_time.h"
#include "platform/sim/sim_window.h"
#include "platform/win_base.h"
#include "platform/win_event.h"

namespace {

// The simulated clock starts at 2026-12-08 12:00:00 UTC (day 61382); this
// server is five minutes ahead of it.
const std::string kAheadReply = "\n61382 26-12-08 12:05:00 00 0 0  50.0 UTC(NIST) * \n";
// The same from a server whose time scale failed (health 4).
const std::string kFailedReply = "\n61382 26-12-08 12:05:00 00 0 4  50.0 UTC(NIST) * \n";
// A server that finds the clock right (10 s ahead is within the tolerance).
const std::string kRightReply = "\n61382 26-12-08 12:00:10 00 0 0  50.0 UTC(NIST) * \n";
// The step kAheadReply asks for.
constexpr int64_t kAheadStep = 300;

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

// Nothing a check opened is left open, and its worker is gone, but for
// `left` workers that nothing wakes: left behind, never killed.
void ExpectAllClosed(size_t left = 0) {
  EXPECT_EQ(sim::OpenHandles(), 0u);
  EXPECT_EQ(sim::OpenInternetHandles(), 0u);
  EXPECT_EQ(sim::LiveThreads(), left);
  EXPECT_EQ(LiveFetches(), static_cast<LONG>(left));
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
    g_domainLogged = false;
    g_heldStep = {};
    g_localeFormats = DefaultLocaleFormats();
    // The reset unwinds workers an earlier test left blocked.
    ASSERT_EQ(LiveFetches(), 0);
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
// The next server, of another site, asks for the same step as server 1.
void Confirm(const std::string& reply = kAheadReply) { sim::ServeReply(Url(2), reply); }

struct Row {
  const char* name;
  std::function<void()> setUp;
  const char* logged;          // the one log message, or "" for none
  LONG indexAfter;             // the server index after the check (it starts at 1)
  const char* internetCloses;  // kinds InternetCloseHandle closed, in order
  bool clockSet;
  uint64_t durationMs;  // virtual time the check took
  size_t leftBehind;    // workers still blocked after the check
};

const uint64_t kWatchdog = kWatchdogMs;

// clang-format off
const Row kBranches[] = {
  {"offline, no dial-up", [] {}, "", 1, "", false, 0, 0},
  {"enumeration fails",
   [] { sim::FailCall("RasEnumConnectionsA", ERROR_INVALID_PARAMETER); },
   "RasEnumConnections Failed", 1, "", false, 0, 0},
  {"five dial-up connections do not fit",
   [] { DialUps(5, RASCS_Connected, RASCS_Connected); },
   "RasEnumConnections Failed", 1, "", false, 0, 0},
  {"four dial-up connections fit, the first is up",
   [] { DialUps(4, RASCS_Connected, RASCS_Connected); Serve(kAheadReply); Confirm(); },
   "", 2, "url session url session", true, 0, 0},
  {"only the second dial-up connection is up",
   [] { DialUps(2, 0, RASCS_Connected); Serve(kAheadReply); },
   "", 1, "", false, 0, 0},
  {"dial-up status fails",
   [] { DialUps(1, RASCS_Connected, 0); sim::FailCall("RasGetConnectStatusA", 6); },
   "RasGetConnectStatus Failed", 1, "", false, 0, 0},
  {"session cannot be opened",
   [] { Online(); sim::FailCall("InternetOpenA", 12001); },
   "InternetOpen Failed", 1, "", false, 0, 0},
  {"worker cannot be started",
   [] { Online(); Serve(kAheadReply); sim::FailCall("CreateThread", ERROR_NOT_ENOUGH_MEMORY); },
   "BeginThread failed", 1, "session", false, 0, 0},
  {"silent server: the watchdog closes the session",
   [] { Online(); sim::HangUntilSessionClosed(Url(1)); },
   "", 2, "session", false, kWatchdog, 0},
  {"server answers just inside the watchdog",
   [] { Online(); Serve(kAheadReply, kWatchdog - 1); Confirm(); },
   "", 2, "url session url session", true, kWatchdog - 1, 0},
  {"server answers just after the watchdog",
   [] { Online(); Serve(kAheadReply, kWatchdog + 1); },
   "", 2, "session", false, kWatchdog, 0},
  {"server sends its line and keeps the connection: the watchdog closes the session",
   [] { Online(); sim::ServeAndStall(Url(1), kAheadReply, true); },
   "", 2, "session", false, kWatchdog, 0},
  {"open that nothing wakes: left behind, not killed",
   [] { Online(); sim::HangForever(Url(1)); },
   "", 2, "session", false, kWatchdog, 1},
  {"read that nothing wakes: left behind, not killed",
   [] { Online(); sim::ServeAndStall(Url(1), kAheadReply, false); },
   "", 2, "session", false, kWatchdog, 1},
  {"refused: the worker returns 0",
   [] { Online(); sim::RefuseOpen(Url(1)); },
   "", 2, "session", false, 0, 0},
  {"exit code unavailable",
   [] { Online(); Serve(kAheadReply);
        sim::FailCall("GetExitCodeThread", ERROR_INVALID_HANDLE); },
   "GetExitCode Failed", 2, "url session", false, 0, 0},
  {"read fails",
   [] { Online(); Serve(kAheadReply); sim::FailCall("InternetReadFile", 12002); },
   "", 2, "url session", false, 0, 0},
  {"empty reply is rejected",
   [] { Online(); Serve(""); },
   "", 2, "url session", false, 0, 0},
  {"reply in two pieces is judged on the first",
   [] { Online(); sim::ServePieces(Url(1), {kAheadReply.substr(0, 12), kAheadReply.substr(12)});
        },
   "", 2, "url session", false, 0, 0},
  {"a web page, not a DAYTIME line",
   [] { Online(); Serve("HTTP/1.0 403 Forbidden\r\nContent-Type: text/html\r\n\r\n<html>"); },
   "", 2, "url session", false, 0, 0},
  {"a time inside the band around midnight",
   [] { Online(); Serve("\n61382 26-12-08 23:59:00 00 0 0  50.0 UTC(NIST) * \n"); },
   "", 2, "url session", false, 0, 0},
  {"a year before the release",
   [] { Online(); Serve("\n61017 25-12-08 12:00:00 00 0 0  50.0 UTC(NIST) * \n"); },
   "", 2, "url session", false, 0, 0},
  {"server finds the clock right: asked again",
   [] { Online(); Serve(kRightReply); },
   "", 1, "url session", false, 0, 0},
  {"one server alone: its step is put to the next server, which fails",
   [] { Online(); Serve(kAheadReply); sim::RefuseOpen(Url(2)); },
   "", 3, "url session session", false, 0, 0},
  {"the next server finds the clock right: nothing set, that server asked again",
   [] { Online(); Serve(kAheadReply); Confirm(kRightReply); },
   "", 2, "url session url session", false, 0, 0},
  {"the next server asks for another step: nothing set, the one after asked",
   [] { Online(); Serve(kAheadReply);
        Confirm("\n61382 26-12-08 12:06:00 00 0 0  50.0 UTC(NIST) * \n"); },
   "", 3, "url session url session", false, 0, 0},
  {"the next server silent: nothing set, the one after asked",
   [] { Online(); Serve(kAheadReply); sim::HangUntilSessionClosed(Url(2)); },
   "", 3, "url session session", false, kWatchdog, 0},
  {"the next server in the band around midnight: nothing set",
   [] { Online(); Serve(kAheadReply);
        Confirm("\n61382 26-12-08 23:59:00 00 0 0  50.0 UTC(NIST) * \n"); },
   "", 3, "url session url session", false, 0, 0},
  {"no second session: nothing set, the next server asked next",
   [] { Online(); Serve(kAheadReply); Confirm(); sim::FailCall("InternetOpenA", 12001, 1); },
   "InternetOpen Failed", 2, "url session", false, 0, 0},
  {"the next server confirms the step in the same check: set, and asked again",
   [] { Online(); Serve(kAheadReply); Confirm(); },
   "", 2, "url session url session", true, 0, 0},
  {"server says its time is wrong: the next server asked",
   [] { Online(); Serve(kFailedReply); },
   "", 2, "url session", false, 0, 0},
  // wininet and rasapi32 may be missing; the calls then fail and the check
  // goes the way of that failure.
  {"no wininet: the connection state fails, no dial-up",
   [] { Online(); Serve(kAheadReply); sim::MissingDll("wininet.dll"); },
   "", 1, "", false, 0, 0},
  {"no wininet, dial-up connected",
   [] { DialUps(1, RASCS_Connected, 0); Serve(kAheadReply); sim::MissingDll("wininet.dll"); },
   "InternetOpen Failed", 1, "", false, 0, 0},
  {"no rasapi32, online",
   [] { Online(); Serve(kAheadReply); Confirm(); sim::MissingDll("rasapi32.dll"); },
   "", 2, "url session url session", true, 0, 0},
  {"no rasapi32, offline",
   [] { sim::MissingDll("rasapi32.dll"); },
   "RasEnumConnections Failed", 1, "", false, 0, 0},
  {"rasapi32 without RasGetConnectStatusA",
   [] { DialUps(1, RASCS_Connected, 0); sim::MissingEntry("RasGetConnectStatusA"); },
   "RasGetConnectStatus Failed", 1, "", false, 0, 0},
  {"wininet without InternetOpenUrlA: a failed fetch",
   [] { Online(); Serve(kAheadReply); sim::MissingEntry("InternetOpenUrlA"); },
   "", 2, "session", false, 0, 0},
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
    ExpectAllClosed(row.leftBehind);
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
    ExpectAllClosed(row.leftBehind);
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

// The first argument of the first call of `name` in the journal.
std::string FirstArgument(const std::string& name) {
  for (const std::string& call : sim::CallsOf({name})) {
    return call.substr(name.size() + 1, call.find_first_of(",)") - name.size() - 1);
  }
  return "";
}

TEST_F(ClockCheckSim, SuccessfulCheckMakesTheseCallsWithTheseArguments) {
  sim::SetOnline(true);
  sim::ServeReply(Url(1), kAheadReply);
  sim::ServeReply(Url(2), kAheadReply);
  ClockCheck();
  const std::string session = FirstArgument("InternetOpenUrlA");
  const std::string url = FirstArgument("InternetReadFile");
  const std::vector<std::string> calls =
      sim::CallsOf({"InternetGetConnectedState", "RasEnumConnectionsA", "InternetOpenA",
                    "CreateThread", "InternetOpenUrlA", "WaitForSingleObject", "GetExitCodeThread",
                    "CloseHandle", "InternetReadFile", "InternetCloseHandle", "SetSystemTime"});
  // Server 1, then at once server 2 on a session of its own, then the set.
  ASSERT_EQ(calls.size(), 20u);
  EXPECT_EQ(calls[0], "InternetGetConnectedState(0)");
  // Direct (1), whatever proxy the user set.
  EXPECT_EQ(calls[1], "InternetOpenA(\"Microsoft Internet Explorer\", 1, NULL, NULL, 0x0)");
  EXPECT_EQ(calls[2].rfind("CreateThread((nil), 0, proc, 0x", 0), 0u) << calls[2];
  // The worker opens, reads and closes; the check only waits for it.
  EXPECT_EQ(calls[3],
            "InternetOpenUrlA(" + session + ", \"" + Url(1) + "\", NULL, 0, 0x80000000, 0)");
  EXPECT_EQ(calls[4], "InternetReadFile(" + url + ", 256)");
  EXPECT_EQ(calls[5], "InternetCloseHandle(" + url + ")");
  EXPECT_EQ(calls[6], "InternetCloseHandle(" + session + ")");
  EXPECT_TRUE(EndsWith(calls[7], ", 10000)")) << calls[7];
  EXPECT_EQ(calls[8].rfind("GetExitCodeThread(", 0), 0u) << calls[8];
  EXPECT_EQ(calls[9].rfind("CloseHandle(", 0), 0u) << calls[9];
  EXPECT_EQ(calls[10], "InternetOpenA(\"Microsoft Internet Explorer\", 1, NULL, NULL, 0x0)");
  EXPECT_EQ(calls[12].rfind("InternetOpenUrlA(", 0), 0u) << calls[12];
  EXPECT_NE(calls[12].find("\"" + Url(2) + "\""), std::string::npos) << calls[12];
  EXPECT_EQ(calls[18], "SetSystemTime(2026-12-8 (dow 2) 12:5:0.0)");
  EXPECT_EQ(calls[19].rfind("CloseHandle(", 0), 0u) << calls[19];
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

// A worker nothing wakes is left with its own record; the next check asks
// the next server on a session of its own.
TEST_F(ClockCheckSim, WorkerThatNeverReturnsIsLeftBehindAndTheNextCheckWorks) {
  sim::SetOnline(true);
  sim::HangForever(Url(1));
  sim::ServeReply(Url(2), kAheadReply);
  sim::ServeReply(Url(3), kAheadReply);
  ClockCheck();
  EXPECT_EQ(sim::NowMs(), kWatchdog);
  EXPECT_EQ(
      sim::CallNames({"WaitForSingleObject", "InternetCloseHandle", "CloseHandle"}),
      (std::vector<std::string>{"WaitForSingleObject", "InternetCloseHandle", "CloseHandle"}));
  ExpectAllClosed(1);

  ClockCheck();
  EXPECT_EQ(sim::OpenedUrls(), (std::vector<std::string>{Url(1), Url(2), Url(3)}));
  EXPECT_EQ(sim::CountCalls("SetSystemTime"), 1u);
  ExpectAllClosed(1);
}

// Fetches left behind are bounded: with four alive a check asks nobody and
// says nothing, and the index stays for when one has ended.
TEST_F(ClockCheckSim, FetchesLeftBehindAreBounded) {
  sim::SetOnline(true);
  for (int i = 1; i <= kServerCount; ++i) sim::HangForever(Url(i));
  for (int i = 0; i < kMaxLiveFetches; ++i) ClockCheck();
  ExpectAllClosed(kMaxLiveFetches);
  EXPECT_EQ(g_servers.index, 1);
  const uint64_t before = sim::NowMs();
  ClockCheck();
  ClockCheck();
  EXPECT_EQ(sim::CountCalls("InternetOpenA"), static_cast<size_t>(kMaxLiveFetches));
  EXPECT_EQ(sim::NowMs(), before);
  EXPECT_EQ(g_servers.index, 1);
  ExpectLogged({});
}

// Told to quit in the middle of a check, the monitor is gone within the
// watchdog: the check never waits longer, and the loop then ends.
TEST_F(ClockCheckSim, QuitDuringACheckEndsWithinTheWatchdog) {
  sim::SetOnline(true);
  for (int i = 1; i <= kServerCount; ++i) sim::ServeAndStall(Url(i), kAheadReply, false);
  DriveLoopUntil(kCheckIntervalMs + 1000);
  EXPECT_EQ(sim::NowMs(), kCheckIntervalMs + kWatchdog);
  EXPECT_EQ(sim::CountCalls("InternetOpenA"), 1u);
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

// Sequences of checks with servers that lie, babble or agree. Checks run
// back to back in no virtual time, so a fixed reply keeps asking for the
// same step until the clock is set.
struct Sequence {
  const char* name;
  LONG firstIndex;
  const char* replies[kServerCount + 1];  // by server; "" refuses
  int checks;
  std::vector<int> asked;  // servers asked, in order
  const char* set;         // the one SetSystemTime, or "" for none
};

const char* const kAhead999 = "\n61382 26-12-08 12:16:39 00 0 0  50.0 UTC(NIST) * \n";
const char* const kTwoHours = "\n61382 26-12-08 14:00:00 00 0 0  50.0 UTC(NIST) * \n";
const char* const kProse = "\nThe time is now a quarter past twelve.\n";

const char* const kRight = kRightReply.c_str();
const char* const kAhead = kAheadReply.c_str();

// A check puts a step to the next server at once; servers 2 and 4 stand at
// the same site, which the rotation never asks in a row.
const Sequence kSequences[] = {
    {"a lone liar at 1 asking for +999 s at every check moves nothing",
     1,
     {"", kAhead999, kRight, kRight, kRight},
     6,
     {1, 2, 2, 2, 2, 2, 2},
     ""},
    {"a lone liar at 2", 2, {"", kRight, kAhead999, kRight, kRight}, 3, {2, 3, 3, 3}, ""},
    {"a lone liar at 3", 3, {"", kRight, kRight, kAhead999, kRight}, 3, {3, 4, 4, 4}, ""},
    {"a lone liar at 4", 4, {"", kRight, kRight, kRight, kAhead999}, 3, {4, 1, 1, 1}, ""},
    {"a lone liar among silent servers moves nothing",
     1,
     {"", kAhead999, "", "", ""},
     8,
     {1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3},
     ""},
    {"a liar and its same site's twin never confirm each other",
     4,
     {"", "", kTwoHours, "", kTwoHours},
     3,
     {4, 1, 2, 3, 4, 1},
     ""},
    {"a step is outvoted by the next server finding the clock right",
     1,
     {"", kTwoHours, kRight, kTwoHours, kTwoHours},
     3,
     {1, 2, 2, 2},
     ""},
    {"an unusable server 1: corrected in one check once servers 2 and 3 agree",
     1,
     {"", kProse, kAhead, kAhead, kAhead},
     5,
     {1, 2, 3, 3, 3, 3},
     "SetSystemTime(2026-12-8 (dow 2) 12:5:0.0)"},
    {"a right server's step and a liar's: then two servers agree",
     4,
     {"", kAhead999, kTwoHours, kTwoHours, kTwoHours},
     5,
     {4, 1, 2, 3, 3, 3, 3},
     "SetSystemTime(2026-12-8 (dow 2) 14:0:0.0)"},
    {"two servers agree within 30 s",
     1,
     {"", kAhead, "\n61382 26-12-08 12:05:30 00 0 0  50.0 UTC(NIST) * \n", "", ""},
     2,
     {1, 2, 2},
     "SetSystemTime(2026-12-8 (dow 2) 12:5:30.0)"},
    {"two servers 31 s apart do not",
     1,
     {"", kAhead, "\n61382 26-12-08 12:05:31 00 0 0  50.0 UTC(NIST) * \n", "", ""},
     4,
     {1, 2, 3, 4, 1, 2},
     ""},
};

TEST_F(ClockCheckSim, NoServerAloneMovesTheClockAndNoneHoldsTheMonitor) {
  for (const Sequence& sequence : kSequences) {
    SCOPED_TRACE(sequence.name);
    SetUp();
    sim::SetOnline(true);
    g_servers.index = sequence.firstIndex;
    for (int i = 1; i <= kServerCount; ++i) {
      if (*sequence.replies[i]) {
        sim::ServeReply(Url(i), sequence.replies[i]);
      } else {
        sim::RefuseOpen(Url(i));
      }
    }
    for (int i = 0; i < sequence.checks; ++i) ClockCheck();
    std::vector<std::string> asked;
    for (int server : sequence.asked) asked.push_back(Url(server));
    EXPECT_EQ(sim::OpenedUrls(), asked);
    EXPECT_EQ(sim::CallsOf({"SetSystemTime"}),
              *sequence.set ? std::vector<std::string>{sequence.set} : std::vector<std::string>{});
    ExpectLogged({});
    ExpectAllClosed();
  }
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

  // The second check puts server 2's step to server 3 at once.
  EXPECT_EQ(CallTimes("InternetOpenA"), (std::vector<uint64_t>{first, second, second, third}));
  EXPECT_EQ(CallTimes("SetTimer"), (std::vector<uint64_t>{0, first + kWatchdogMs, second, third}));
  EXPECT_EQ(sim::CallsOf({"KillTimer"}),
            (std::vector<std::string>{"KillTimer((nil), 1)", "KillTimer((nil), 2)",
                                      "KillTimer((nil), 3)"}));
  for (const std::string& call : sim::CallsOf({"SetTimer"})) {
    EXPECT_EQ(call, "SetTimer((nil), 0, 120000, proc)");
  }
  ASSERT_EQ(sim::Timers().size(), 1u);
  EXPECT_EQ(sim::Timers()[0].id, g_timerId);
  // Server 3 could not confirm it, so the third check asks 4.
  EXPECT_EQ(sim::OpenedUrls(), (std::vector<std::string>{Url(1), Url(2), Url(3), Url(4)}));
}

// Where the Windows Time service keeps the clock to the domain, the monitor
// and the service ask no server and set nothing, and say so once per start;
// elsewhere, and on 98 whatever its registry holds, they check as ever.
TEST_F(ClockCheckSim, TheDomainsClockIsLeftToTheDomain) {
  constexpr const char* kParameters = "SYSTEM\\CurrentControlSet\\Services\\W32Time\\Parameters";
  constexpr const char* kService = "SYSTEM\\CurrentControlSet\\Services\\W32Time";
  struct Case {
    const char* name;
    sim::Windows windows;
    const char* type;  // null: no value
    std::optional<DWORD> start;
    bool leftAlone;
  } cases[] = {
      {"NT5DS", sim::Windows::kXp, "NT5DS", 3, true},
      {"AllSync", sim::Windows::kXp, "AllSync", 2, true},
      {"NT5DS, the service disabled", sim::Windows::kXp, "NT5DS", 4, false},
      {"NTP", sim::Windows::kXp, "NTP", 3, false},
      {"NoSync", sim::Windows::kXp, "NoSync", 3, false},
      {"no value", sim::Windows::kXp, nullptr, 3, false},
      {"98 has no Windows Time service", sim::Windows::k98, "NT5DS", 3, false},
  };
  for (const Case& c : cases) {
    for (bool service : {false, true}) {
      if (service && c.windows == sim::Windows::k98) continue;
      SCOPED_TRACE(std::string(c.name) + (service ? ", the service" : ", the monitor"));
      SetUp();
      sim::PlayWindows(service ? sim::Windows::k10 : c.windows);
      Online();
      sim::ServeReply(Url(1), kRightReply);
      if (c.type) sim::RegPutText(HKEY_LOCAL_MACHINE, kParameters, "Type", c.type);
      if (c.start) {
        const DWORD start = *c.start;
        sim::RegPutValue(HKEY_LOCAL_MACHINE, kService, "Start", REG_DWORD,
                         std::string(reinterpret_cast<const char*>(&start), sizeof start));
      }
      HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
      for (int check = 0; check < 3; ++check) {
        if (service) {
          ServiceClockCheck(stop);
        } else {
          ClockCheck();
        }
      }
      CloseHandle(stop);
      const size_t asked = sim::CountCalls("InternetOpenA") + sim::CountCalls("gethostbyname");
      EXPECT_EQ(asked, c.leftAlone ? 0u : 3u);
      ExpectLogged(c.leftAlone ? std::vector<std::string>{kDomainTimeMessage}
                               : std::vector<std::string>{});
    }
  }
}

// Whatever the servers answer, a check asks at most two servers, never one
// twice, and no server is asked again within 4 s (NIST's usage rule): a
// long run of checks over random answers, the same every run.
TEST_F(ClockCheckSim, NoServerIsAskedTwiceWithinFourSeconds) {
  Online();
  const std::string stepped = "\n61382 26-12-08 12:09:00 00 0 0  50.0 UTC(NIST) * \n";
  uint32_t seed = 12345;
  auto random = [&seed](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  std::vector<uint64_t> checkStarts;
  for (int check = 0; check < 400; ++check) {
    for (int i = 1; i <= kServerCount; ++i) {
      switch (random(6)) {
        case 0:
          sim::ServeReply(Url(i), kRightReply);
          break;
        case 1:
          sim::ServeReply(Url(i), kAheadReply);
          break;
        case 2:
          sim::ServeReply(Url(i), stepped);
          break;
        case 3:
          sim::RefuseOpen(Url(i));
          break;
        case 4:
          sim::HangUntilSessionClosed(Url(i));
          break;
        default:
          sim::ServeReply(Url(i), "\nnot a time at all\n");
          break;
      }
    }
    checkStarts.push_back(sim::NowMs());
    ClockCheck();
    sim::AdvanceMs(kCheckIntervalMs);
  }
  const std::vector<std::string> urls = sim::OpenedUrls();
  const std::vector<uint64_t> times = CallTimes("InternetOpenUrlA");
  ASSERT_EQ(urls.size(), times.size());
  std::map<std::string, uint64_t> last;
  size_t next = 0;
  for (size_t check = 0; check < checkStarts.size(); ++check) {
    const uint64_t end = check + 1 < checkStarts.size() ? checkStarts[check + 1] : UINT64_MAX;
    std::set<std::string> inCheck;
    for (; next < urls.size() && times[next] < end; ++next) {
      EXPECT_TRUE(inCheck.insert(urls[next]).second) << "asked twice in check " << check;
      if (last.count(urls[next])) {
        EXPECT_GE(times[next] - last[urls[next]], 4000u) << urls[next];
      }
      last[urls[next]] = times[next];
    }
    EXPECT_LE(inCheck.size(), 2u) << check;
  }
  EXPECT_GT(sim::CountCalls("SetSystemTime"), 0u) << "some checks found two servers agreeing";
}

}  // namespace

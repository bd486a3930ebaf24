// The monitor as a service on Windows Vista and later, and its check over
// Windows Sockets, against the simulated service manager, network and
// threads, in virtual time.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "monitor/clock_check.h"
#include "monitor/entry.h"
#include "monitor/event_log.h"
#include "monitor/fetch.h"
#include "monitor/second_opinion.h"
#include "monitor/server_table.h"
#include "monitor/service_check.h"
#include "monitor/service_entry.h"
#include "monitor/timing.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_eventlog.h"
#include "platform/sim/sim_file.h"
#include "platform/sim/sim_privilege.h"
#include "platform/sim/sim_security.h"
#include "platform/sim/sim_service.h"
#include "platform/sim/sim_socket.h"
#include "platform/sim/sim_thread.h"
#include "platform/sim/sim_time.h"
#include "platform/sim/sim_window.h"
#include "platform/win_base.h"
#include "platform/win_event.h"

namespace {

constexpr const char* kMonitorPath = "C:\\Program Files\\Vorn\\VornMon.exe";
constexpr const char* kLogFolder = "C:\\ProgramData\\Vorn";

// The hosts of the server table's four entries.
const char* const kHost[] = {nullptr, "time-a-g.nist.gov", "time-a-wwv.nist.gov",
                             "utcnist.colorado.edu", "time-b-wwv.nist.gov"};

// A NIST line `ahead` seconds ahead of the simulated clock at virtual time
// `atMs` (the clock starts at 2026-12-08 12:00:00 UTC, day 61382).
std::string Line(uint64_t atMs, int ahead) {
  const int64_t second = 12 * 3600 + static_cast<int64_t>(atMs / 1000) + ahead;
  char text[64];
  snprintf(text, sizeof text, "\n61382 26-12-08 %02d:%02d:%02d 00 0 0  50.0 UTC(NIST) * \n",
           static_cast<int>(second / 3600), static_cast<int>(second / 60 % 60),
           static_cast<int>(second % 60));
  return text;
}

constexpr int kAhead = 300;
const uint64_t kWatchdog = kWatchdogMs;
const uint64_t kInterval = kCheckIntervalMs;
const uint64_t kFirst = kFirstCheckDelayMs;

// The virtual times at which checks started (each looks up its server's name).
std::vector<uint64_t> CheckStarts() {
  std::vector<uint64_t> times;
  for (const sim::Call& call : sim::Journal()) {
    if (call.name == "gethostbyname") times.push_back(call.timeMs);
  }
  return times;
}

// The log's lines ("timestamp message"), in order.
std::vector<std::string> LoggedLines() {
  std::vector<std::string> lines;
  std::optional<std::string> bytes = sim::FileBytes(EventLogPath());
  if (!bytes) return lines;
  size_t start = 0;
  for (size_t end; (end = bytes->find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(bytes->substr(start, end - start));
  }
  return lines;
}

void ExpectLogged(const std::vector<std::string>& messages) {
  const std::vector<std::string> lines = LoggedLines();
  ASSERT_EQ(lines.size(), messages.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string tail = " " + messages[i];
    EXPECT_TRUE(lines[i].size() > tail.size() &&
                lines[i].compare(lines[i].size() - tail.size(), tail.size(), tail) == 0)
        << lines[i];
  }
}

uint64_t TimeOfFirst(const std::string& name) {
  for (const sim::Call& call : sim::Journal()) {
    if (call.name == name) return call.timeMs;
  }
  return UINT64_MAX;
}

size_t IndexOfFirst(const std::string& name) {
  const std::vector<std::string> names = sim::CallNames();
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == name) return i;
  }
  return names.size();
}

class ServiceSim : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    InitServerTable();
    g_heldStep = {};
    g_localeFormats = DefaultLocaleFormats();
    g_eventLogFolder.clear();
    ASSERT_EQ(LiveFetches(), 0);
  }
  // The service's log folder lasts while the process runs: the other tests
  // log to the Windows folder.
  void TearDown() override {
    sim::Reset();
    g_eventLogFolder.clear();
    g_logRefusedSet = false;
  }

  // VornMon.exe as the service manager starts it on Windows 10, as
  // LocalService, told to stop at `stopAtMs`; `installed`: its log folder is
  // there as the installer made it.
  static UINT RunService(uint64_t stopAtMs, bool installed = true) {
    sim::PlayWindows10();
    sim::SetProcessAccount(sim::kLocalServiceSid);
    if (installed) sim::AddDirectory(kLogFolder);
    sim::StartedAsService();
    sim::SendControlAt(stopAtMs, SERVICE_CONTROL_STOP);
    return Run(" -service");
  }

  // VornMon.exe with `arguments` after its quoted path.
  static UINT Run(const std::string& arguments = "") {
    sim::SetModulePath(kMonitorPath);
    sim::SetCommandLine(std::string("\"") + kMonitorPath + "\"" + arguments);
    try {
      return static_cast<UINT>(VornMain());
    } catch (const sim::ProcessExit& exit) {
      return exit.code;
    }
  }
};

// ---- the service's life ------------------------------------------------------

TEST_F(ServiceSim, ReportsStartingRunningStoppingStopped) {
  EXPECT_EQ(RunService(kInterval + 10000), 0u);
  const std::vector<sim::StatusReport> reports = sim::StatusReports();
  ASSERT_EQ(reports.size(), 4u);
  EXPECT_EQ(reports[0].state, SERVICE_START_PENDING);
  EXPECT_EQ(reports[0].controlsAccepted, 0u) << "no stop before it runs";
  EXPECT_GT(reports[0].checkPoint, 0u);
  EXPECT_GT(reports[0].waitHint, 0u);
  EXPECT_EQ(reports[1].state, SERVICE_RUNNING);
  EXPECT_EQ(reports[1].controlsAccepted,
            SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_POWEREVENT);
  EXPECT_EQ(reports[1].checkPoint, 0u);
  EXPECT_EQ(reports[1].timeMs, 0u);
  EXPECT_EQ(reports[2].state, SERVICE_STOP_PENDING);
  EXPECT_GT(reports[2].checkPoint, 0u);
  EXPECT_GT(reports[2].waitHint, 0u);
  EXPECT_EQ(reports[3].state, SERVICE_STOPPED);
  EXPECT_EQ(reports[3].exitCode, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(reports[3].timeMs, kInterval + 10000);
  // The service is found by the service manager, not by a window.
  EXPECT_TRUE(sim::OwnWindows().empty());
  EXPECT_EQ(sim::CountCalls("SetTimer"), 0u);
  EXPECT_EQ(sim::CountCalls("FindWindowA"), 0u);
  EXPECT_EQ(sim::CallsOf({"RegisterServiceCtrlHandlerExA"}),
            (std::vector<std::string>{"RegisterServiceCtrlHandlerExA(\"Vorn\")"}));
}

TEST_F(ServiceSim, ChecksEveryIntervalFromTheEndOfTheLast) {
  // Server 1 never answers: each check takes the whole watchdog.
  sim::SilentServer(kHost[1]);
  sim::SilentServer(kHost[2]);
  RunService(kFirst + 2 * kInterval + 2 * kWatchdog + 1);
  EXPECT_LE(kFirst, 15000u) << "the first check soon after the start";
  EXPECT_EQ(CheckStarts(), (std::vector<uint64_t>{kFirst, kFirst + kWatchdog + kInterval,
                                                  kFirst + 2 * (kWatchdog + kInterval)}));
}

TEST_F(ServiceSim, ShutdownStopsItToo) {
  sim::PlayWindows10();
  sim::StartedAsService();
  sim::SendControlAt(5000, SERVICE_CONTROL_INTERROGATE);
  sim::SendControlAt(6000, SERVICE_CONTROL_SHUTDOWN);
  EXPECT_EQ(Run(" -service"), 0u);
  const std::vector<sim::StatusReport> reports = sim::StatusReports();
  // The interrogation is answered by the handler's result alone: the
  // service manager keeps the last status.
  ASSERT_EQ(reports.size(), 4u);
  EXPECT_EQ(sim::HandlerResults(), (std::vector<DWORD>{NO_ERROR, NO_ERROR}));
  EXPECT_EQ(reports[3].state, SERVICE_STOPPED);
  EXPECT_EQ(reports[3].timeMs, 6000u);
}

// The handler runs on a thread of its own: a control the service manager
// passed just before the service reported its stop may be handled while or
// after the service's thread reports it stopped. Nothing is reported after
// SERVICE_STOPPED ("SetServiceStatus function": the process may be ended
// right after it), and an interrogation never reports from the handler.
TEST_F(ServiceSim, NothingIsReportedAfterStopped) {
  struct Case {
    const char* name;
    DWORD state;  // the report during which the handler runs
    DWORD control;
  } cases[] = {
      {"interrogation while stopping", SERVICE_STOP_PENDING, SERVICE_CONTROL_INTERROGATE},
      {"interrogation as it stops", SERVICE_STOPPED, SERVICE_CONTROL_INTERROGATE},
      {"shutdown as it stops", SERVICE_STOPPED, SERVICE_CONTROL_SHUTDOWN},
      {"second stop as it stops", SERVICE_STOPPED, SERVICE_CONTROL_STOP},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Reset();
    InitServerTable();
    sim::SilentServer(kHost[1]);
    sim::SendControlWhenReported(c.state, c.control);
    // In the middle of the first check.
    EXPECT_EQ(RunService(kFirst + 2000), 0u);
    const std::vector<sim::StatusReport> reports = sim::StatusReports();
    ASSERT_EQ(reports.size(), 4u);
    EXPECT_EQ(reports[2].state, SERVICE_STOP_PENDING);
    EXPECT_EQ(reports[3].state, SERVICE_STOPPED);
    EXPECT_EQ(sim::PassedControls().size(), 2u) << "the stop and the late control";
    EXPECT_EQ(sim::HandlerResults(), (std::vector<DWORD>{NO_ERROR, NO_ERROR}));
  }
}

// After the PC wakes (PBT_APMRESUMEAUTOMATIC) a check comes within 15 s, and
// never less than 4 s after the last one ended (NIST: one query to a server
// every 4 seconds at most); a later resume never puts off a check that an
// earlier one brought forward. Each check here is over at once (no name
// resolves) unless a server is silent.
TEST_F(ServiceSim, ChecksSoonAfterTheStartAndAfterEachResume) {
  const DWORD resume = PBT_APMRESUMEAUTOMATIC;
  const DWORD suspend = 0x0004;  // PBT_APMSUSPEND
  const uint64_t kEnd = 400000;
  const uint64_t kResume = kResumeCheckDelayMs;
  // The first check with a silent server ends when its worker gives up.
  const uint64_t kSilentEnd = kFirst + kWatchdog;
  struct Case {
    const char* name;
    std::vector<std::pair<uint64_t, DWORD>> powerEvents;
    bool silentFirst;  // the first check takes the whole watchdog
    std::vector<uint64_t> starts;
  } cases[] = {
      {"no resume", {}, false, {kFirst}},
      {"one resume", {{60000, resume}}, false, {kFirst, 60000 + kResume}},
      {"other power events change nothing", {{60000, suspend}, {61000, 0x000A}}, false, {kFirst}},
      {"resume during a check", {{kFirst + 3000, resume}}, true, {kFirst, kSilentEnd + kResume}},
      {"resume before the first check", {{1000, resume}}, false, {kFirst}},
      {"resume just after a check",
       {{kFirst + 100, resume}},
       false,
       {kFirst, kFirst + 100 + kResume}},
      {"resumes every second for a minute", {}, false, {kFirst}},
  };
  // Each resume after a check's end brings the next forward to kResume after it.
  for (uint64_t at = 20000; at <= 80000; at += 1000) cases[6].powerEvents.push_back({at, resume});
  for (uint64_t start = 20000 + kResume; start <= 80000 + kResume; start += kResume + 1000) {
    cases[6].starts.push_back(start);
  }
  // Then the interval, from the end of each check.
  for (Case& c : cases) {
    while (c.starts.back() + kInterval < kEnd) c.starts.push_back(c.starts.back() + kInterval);
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Reset();
    InitServerTable();
    if (c.silentFirst) sim::SilentServer(kHost[1]);
    for (const auto& event : c.powerEvents) {
      sim::SendControlAt(event.first, SERVICE_CONTROL_POWEREVENT, event.second);
    }
    RunService(kEnd);
    // A check starts with its name lookup and ends with the worker's end
    // (WSACleanup), at once or after the watchdog.
    std::vector<std::pair<uint64_t, uint64_t>> checks;
    for (const sim::Call& call : sim::Journal()) {
      if (call.name == "gethostbyname") checks.push_back({call.timeMs, call.timeMs});
      if (call.name == "WSACleanup" && !checks.empty()) checks.back().second = call.timeMs;
    }
    ASSERT_FALSE(checks.empty());
    EXPECT_LE(checks[0].first, 15000u);
    for (size_t i = 1; i < checks.size(); ++i) {
      EXPECT_GE(checks[i].first, checks[i - 1].second + 4000) << "check " << i;
      EXPECT_LE(checks[i].first, checks[i - 1].second + kInterval) << "check " << i;
    }
    // Within 15 s of each resume a check starts, at or after it.
    for (const auto& event : c.powerEvents) {
      if (event.second != resume) continue;
      bool soon = false;
      for (const auto& check : checks) {
        soon = soon || (check.first >= event.first && check.first <= event.first + 15000);
      }
      // A check that was already due sooner than that, or one underway, counts.
      bool underway = false;
      for (const auto& check : checks) {
        underway = underway || (check.first <= event.first && event.first <= check.second);
      }
      EXPECT_TRUE(soon || underway) << "resume at " << event.first;
    }
    std::vector<uint64_t> starts;
    for (const auto& check : checks) starts.push_back(check.first);
    EXPECT_EQ(starts, c.starts);
  }
}

// A stop request while a check waits for its server: the service is stopped
// at once, whatever holds the worker, and the server is not judged.
TEST_F(ServiceSim, StopInTheMiddleOfACheck) {
  struct Case {
    const char* name;
    std::function<void()> server;
    size_t leftBehind;
  } cases[] = {
      {"silent server", [] { sim::SilentServer(kHost[1]); }, 0},
      {"connection not yet accepted", [] { sim::ServeDaytime(kHost[1], {Line(0, 0)}, 60000); }, 0},
      {"connection never answered", [] { sim::SilentConnect(kHost[1]); }, 0},
      {"name lookup that never returns", [] { sim::HangNameLookup(kHost[1]); }, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Reset();
    InitServerTable();
    c.server();
    const uint64_t stopAt = kFirst + 3000;
    EXPECT_EQ(RunService(stopAt), 0u);
    const std::vector<sim::StatusReport> reports = sim::StatusReports();
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().state, SERVICE_STOPPED);
    EXPECT_LE(reports.back().timeMs, stopAt + 1000);
    EXPECT_EQ(g_servers.index, 1);
    EXPECT_EQ(sim::OpenSockets(), 0u);
    EXPECT_EQ(sim::SocketsClosedWhileInUse(), 0u);
    EXPECT_EQ(sim::LiveThreads(), c.leftBehind);
    EXPECT_EQ(sim::CountCalls("SetSystemTime"), 0u);
  }
}

TEST_F(ServiceSim, EnablesTheRightToChangeTheTimeBeforeSettingTheClock) {
  // Servers 1 and 2, both asked at the first check, agree on +300 s.
  sim::ServeDaytime(kHost[1], {Line(kFirst, kAhead)});
  sim::ServeDaytime(kHost[2], {Line(kFirst, kAhead)});
  RunService(kFirst + 1000);
  const std::vector<std::string> adjusted = sim::CallsOf({"AdjustTokenPrivileges"});
  ASSERT_EQ(adjusted.size(), 1u);
  EXPECT_NE(adjusted[0].find(", 0, luid 12 attributes 0x2, 0, NULL, NULL)"), std::string::npos)
      << adjusted[0];
  ASSERT_EQ(sim::CountCalls("SetSystemTime"), 1u);
  EXPECT_LT(IndexOfFirst("AdjustTokenPrivileges"), IndexOfFirst("SetSystemTime"));
  EXPECT_EQ(TimeOfFirst("SetSystemTime"), kFirst);
  EXPECT_TRUE(sim::PrivilegeEnabled(kSystemTimePrivilege));
  // The clock moved: 5 s and 1 s after 12:00:00, plus the step.
  EXPECT_EQ(sim::UtcNow().wMinute, 5);
  ExpectLogged({});
}

// Event Viewer: the change of the clock with both servers, each log line
// with its number, and the source closed before the service reports STOPPED.
TEST_F(ServiceSim, ReportsEachChangeAndEachLineToTheApplicationLog) {
  sim::RemovePrivilege(kSystemTimePrivilege);
  sim::ServeDaytime(kHost[1], {Line(kFirst, kAhead)});
  sim::ServeDaytime(kHost[2], {Line(kFirst, kAhead)});
  sim::FailCall("SetSystemTime", ERROR_PRIVILEGE_NOT_HELD);
  RunService(kFirst + kInterval + 1000);
  const std::vector<sim::ReportedEvent> events = sim::ReportedEvents();
  std::vector<DWORD> ids;
  for (const sim::ReportedEvent& event : events) ids.push_back(event.id);
  // The missing privilege, then the set refused at the first check.
  ASSERT_EQ(ids, (std::vector<DWORD>{104, 107}));
  EXPECT_EQ(events[0].strings, std::vector<std::string>{"AdjustTokenPrivileges Failed"});
  EXPECT_EQ(sim::OpenEventSources(), 0u);

  SetUp();
  sim::ServeDaytime(kHost[1], {Line(kFirst, kAhead)});
  sim::ServeDaytime(kHost[2], {Line(kFirst, kAhead)});
  RunService(kFirst + 1000);
  const std::vector<sim::ReportedEvent> changes = sim::ReportedEvents();
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].id, 1u);
  EXPECT_EQ(changes[0].type, EVENTLOG_INFORMATION_TYPE);
  ASSERT_EQ(changes[0].strings.size(), 4u);
  EXPECT_EQ(changes[0].strings[0], "2026-12-08 12:00:05");
  EXPECT_EQ(changes[0].strings[1], "2026-12-08 12:05:05");
  EXPECT_NE(changes[0].strings[2].find(kHost[1]), std::string::npos);
  EXPECT_NE(changes[0].strings[3].find(kHost[2]), std::string::npos);
  EXPECT_EQ(sim::OpenEventSources(), 0u);
}

TEST_F(ServiceSim, ATokenWithoutTheRightIsLoggedOnce) {
  sim::RemovePrivilege(kSystemTimePrivilege);
  sim::ServeDaytime(kHost[1], {Line(kFirst, kAhead)});
  sim::ServeDaytime(kHost[2], {Line(kFirst, kAhead)});
  RunService(6 * kInterval);
  // And the set the system then refuses, once.
  ExpectLogged({"AdjustTokenPrivileges Failed", "SetSystemTime Failed"});
  // Tried again whenever two servers agree (their fixed lines do at the
  // first and the fourth check), said once.
  EXPECT_EQ(sim::CountCalls("SetSystemTime"), 2u);
  EXPECT_EQ(sim::UtcNow().wMinute, 12) << "the clock was not moved";
}

TEST_F(ServiceSim, AnOfflineMachineWritesNothing) {
  // No name resolves.
  RunService(kFirst + 29 * kInterval + 1);
  EXPECT_EQ(sim::CountCalls("gethostbyname"), 30u);
  EXPECT_FALSE(sim::FileExists(EventLogPath()));
  EXPECT_EQ(sim::WinsockUsers(), 0);
}

// ---- the service's log -------------------------------------------------------

constexpr const char* kServiceFolder = "C:\\ProgramData\\Vorn";
constexpr const char* kServiceLog = "C:\\ProgramData\\Vorn\\vorn.log";
constexpr const char* kWindowsLog = "C:\\WINDOWS\\vorn.log";

constexpr const char* kOtherUser = "S-1-5-21-1004336348-1177238915-682003330-1001";

// Each line goes to the log only while its folder is one only the
// Administrators (the installer), SYSTEM or the service's own account could
// have made, no reparse point, and the log a plain file with one name;
// otherwise the line is dropped, never written elsewhere, and nothing is
// made or taken over (Microsoft: "Hard Links and Junctions"; CreateFile,
// FILE_FLAG_OPEN_REPARSE_POINT).
TEST_F(ServiceSim, WritesItsLogOnlyWhereOnlyAdministratorsCouldHavePutThings) {
  const std::string earlier = "an earlier line\r\n";
  const std::string other = "someone's file\r\n";
  struct Case {
    const char* name;
    bool installed;
    std::function<void()> before;
    bool written;
  } cases[] = {
      {"the installer's folder: the log is made", true, [] {}, true},
      {"the installer's folder with the log: appended", true,
       [&] { sim::PutFile(kServiceLog, earlier); }, true},
      {"a folder of the service's own account", false,
       [] {
         sim::AddDirectory(kServiceFolder);
         sim::SetOwner(kServiceFolder, sim::kLocalServiceSid);
       },
       true},
      {"no folder: none is made", false, [] {}, false},
      {"a folder another user made", false,
       [] {
         sim::AddDirectory(kServiceFolder);
         sim::SetOwner(kServiceFolder, kOtherUser);
       },
       false},
      {"a junction to a folder of the Administrators", false,
       [] {
         sim::AddDirectory("C:\\Windows\\System32\\config");
         sim::AddJunction(kServiceFolder, "C:\\Windows\\System32\\config");
       },
       false},
      {"the log a hard link to another file", true,
       [&] {
         sim::PutFile("C:\\Windows\\win.ini", other);
         sim::AddHardLink("C:\\Windows\\win.ini", kServiceLog);
       },
       false},
      {"the log a symbolic link to another file", true,
       [&] {
         sim::PutFile("C:\\Windows\\win.ini", other);
         sim::AddFileSymlink(kServiceLog, "C:\\Windows\\win.ini");
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Reset();
    g_eventLogFolder.clear();
    c.before();
    // A token without the right is logged at the start.
    sim::RemovePrivilege(kSystemTimePrivilege);
    RunService(1000, c.installed);
    const std::optional<std::string> log = sim::FileBytes(kServiceLog);
    const std::string line = " AdjustTokenPrivileges Failed\r\n";
    EXPECT_EQ(log && log->find(line) != std::string::npos && !sim::IsReparsePoint(kServiceLog) &&
                  sim::LinkCount(kServiceLog) == 1,
              c.written)
        << (log ? *log : "no log");
    EXPECT_FALSE(sim::FileExists(kWindowsLog));
    EXPECT_EQ(sim::FileBytes("C:\\Windows\\win.ini").value_or(other), other);
    if (!c.installed && !c.written) {
      EXPECT_NE(sim::OwnerOf(kServiceFolder), sim::kLocalServiceSid);
    }
    EXPECT_EQ(sim::CountCalls("CreateDirectoryA"), 0u);
    EXPECT_EQ(sim::CountCalls("SetFileSecurityA"), 0u);
  }
}

TEST_F(ServiceSim, TheMonitorWithAWindowLogsInTheWindowsFolderAsBefore) {
  sim::PlayWindows10();
  sim::FailCall("RasEnumConnectionsA", ERROR_INVALID_PARAMETER);
  sim::QuitAt(kInterval + 1);
  Run(" -service");
  EXPECT_TRUE(sim::FileExists(kWindowsLog));
  EXPECT_FALSE(sim::DirectoryExists(kServiceFolder));
  EXPECT_EQ(sim::CountCalls("SHGetFolderPathA"), 0u);
}

// ---- started any other way: the monitor with a window ------------------------

TEST_F(ServiceSim, StartedByHandItIsTheMonitorWithAWindow) {
  struct Case {
    const char* name;
    std::function<void()> windows;
    const char* arguments;
    size_t dispatcherCalls;
  } cases[] = {
      {"Windows 10, from StartUp: no service is tried", [] { sim::PlayWindows10(); }, "", 0},
      {"Windows 10, the switch given by hand: the dispatcher finds no service manager",
       [] { sim::PlayWindows10(); }, " -service", 1},
      {"Windows XP, the switch: no service is tried", [] {}, " -service", 0},
      {"Windows 98, the switch: no service is tried", [] { sim::PlayWindows98(); }, " -service", 0},
      {"Windows 10 started as a service, but not the switch",
       [] {
         sim::PlayWindows10();
         sim::StartedAsService();
       },
       "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Reset();
    c.windows();
    sim::QuitAt(1000);
    EXPECT_EQ(Run(c.arguments), 0u);
    EXPECT_EQ(sim::CountCalls("StartServiceCtrlDispatcherA"), c.dispatcherCalls);
    EXPECT_EQ(sim::CountCalls("RegisterServiceCtrlHandlerExA"), 0u);
    ASSERT_EQ(sim::OwnWindows().size(), 1u);
    EXPECT_EQ(sim::OwnWindows()[0].title, "Vorn Titlebar");
    EXPECT_EQ(sim::CountCalls("SetTimer"), 1u);
  }
}

// ---- one check over Windows Sockets ------------------------------------------

struct CheckRow {
  const char* name;
  std::function<void()> setUp;
  LONG indexAfter;      // the server index after the check (it starts at 1)
  bool clockSet;        // SetSystemTime was called
  uint64_t durationMs;  // virtual time the check took
  size_t leftBehind;    // workers still blocked after the check
  const char* logged;   // the one log message, or "" for none
};

// Server 2, asked at once for server 1's step, asks for the same.
void Confirmed() { sim::ServeDaytime(kHost[2], {Line(0, kAhead)}); }

// clang-format off
const CheckRow kChecks[] = {
  {"a step the next server confirms at once",
   [] { Confirmed(); sim::ServeDaytime(kHost[1], {Line(0, kAhead)}); }, 2, true, 0, 0, ""},
  {"reply in pieces, read until the server closes",
   [] { Confirmed(); const std::string l = Line(0, kAhead);
        sim::ServeDaytime(kHost[1], {l.substr(0, 9), l.substr(9, 20), l.substr(29)}); },
   2, true, 0, 0, ""},
  {"a step the next server cannot confirm (its name is not found)",
   [] { sim::ServeDaytime(kHost[1], {Line(0, kAhead)}); }, 3, false, 0, 0, ""},
  {"server finds the clock right", [] { sim::ServeDaytime(kHost[1], {Line(0, 5)}); },
   1, false, 0, 0, ""},
  {"connection accepted just inside the watchdog",
   [] { Confirmed(); sim::ServeDaytime(kHost[1], {Line(0, kAhead)}, kWatchdog - 1); },
   2, true, kWatchdog - 1, 0, ""},
  {"connection refused", [] { sim::RefuseConnection(kHost[1]); }, 2, false, 0, 0, ""},
  {"name not found", [] {}, 2, false, 0, 0, ""},
  {"server closes without a word", [] { sim::ServeDaytime(kHost[1], {}); }, 2, false, 0, 0, ""},
  {"silent server: the watchdog closes the socket",
   [] { sim::SilentServer(kHost[1]); }, 2, false, kWatchdog, 0, ""},
  {"line sent, connection kept open: cut, not used",
   [] { Confirmed(); sim::ServeAndStall(kHost[1], {Line(0, kAhead)}); }, 2, false, kWatchdog, 0, ""},
  {"name lookup that never returns: left behind",
   [] { sim::HangNameLookup(kHost[1]); }, 2, false, kWatchdog + kSocketGraceMs, 1, ""},
  {"connection never answered", [] { sim::SilentConnect(kHost[1]); }, 2, false, kWatchdog, 0, ""},
  {"three addresses, the first two refuse: the third answers",
   [] { Confirmed(); sim::RefuseConnection("a"); sim::RefuseConnection("b");
        sim::ServeDaytime("c", {Line(0, kAhead)}); sim::ResolveTo(kHost[1], {"a", "b", "c"}); },
   2, true, 0, 0, ""},
  {"three addresses, the first never answers: no time for the others",
   [] { Confirmed(); sim::SilentConnect("a"); sim::ServeDaytime("b", {Line(0, kAhead)});
        sim::ResolveTo(kHost[1], {"a", "b"}); },
   2, false, kWatchdog, 0, ""},
  {"three addresses, the second accepts late but in time",
   [] { Confirmed(); sim::RefuseConnection("a");
        sim::ServeDaytime("b", {Line(0, kAhead)}, kWatchdog - 300);
        sim::ResolveTo(kHost[1], {"a", "b", "c"}); },
   2, true, kWatchdog - 300, 0, ""},
  {"no wsock32.dll", [] { Confirmed(); sim::ServeDaytime(kHost[1], {Line(0, kAhead)});
                          sim::MissingWinsock(); }, 2, false, 0, 0, ""},
  {"worker cannot be started",
   [] { sim::ServeDaytime(kHost[1], {Line(0, kAhead)});
        sim::FailCall("CreateThread", ERROR_NOT_ENOUGH_MEMORY); },
   1, false, 0, 0, "BeginThread failed"},
};
// clang-format on

TEST_F(ServiceSim, OneCheck) {
  for (const CheckRow& row : kChecks) {
    SCOPED_TRACE(row.name);
    sim::Reset();
    InitServerTable();
    g_heldStep = {};
    g_eventLogFolder.clear();
    row.setUp();
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ServiceClockCheck(stop);
    CloseHandle(stop);
    EXPECT_EQ(g_servers.index, row.indexAfter);
    EXPECT_EQ(sim::CountCalls("SetSystemTime"), row.clockSet ? 1u : 0u);
    EXPECT_EQ(sim::NowMs(), row.durationMs);
    EXPECT_EQ(sim::LiveThreads(), row.leftBehind);
    EXPECT_EQ(LiveFetches(), static_cast<LONG>(row.leftBehind));
    EXPECT_EQ(sim::OpenSockets(), 0u);
    EXPECT_EQ(sim::SocketsClosedWhileInUse(), 0u) << "the worker's socket is its own";
    EXPECT_EQ(sim::OpenHandles(), 0u);
    // A worker left in its lookup still holds Windows Sockets; none other does.
    EXPECT_EQ(sim::WinsockUsers(), static_cast<int>(row.leftBehind));
    if (*row.logged) {
      ExpectLogged({row.logged});
    } else {
      ExpectLogged({});
    }
    // Never through WinINet, and only ever to the DAYTIME port.
    EXPECT_EQ(sim::CountCalls("InternetOpenA"), 0u);
    EXPECT_EQ(sim::CountCalls("InternetGetConnectedState"), 0u);
    for (const std::string& call : sim::CallsOf({"connect"})) {
      EXPECT_NE(call.find(":13)"), std::string::npos) << call;
    }
  }
}

TEST_F(ServiceSim, ReadsAtMostTheReplyBuffer) {
  sim::ServeDaytime(kHost[2], {Line(0, kAhead), std::string(400, ' ')});
  sim::ServeDaytime(kHost[1], {Line(0, kAhead), std::string(400, ' ')});
  HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ServiceClockCheck(stop);
  CloseHandle(stop);
  int asked = 0;
  for (const std::string& call : sim::CallsOf({"recv"})) {
    asked += atoi(call.substr(call.find(", ") + 2).c_str());
  }
  // Each recv asks for what room is left: 256, then 256 less the line.
  // Server 2's line, which confirms it, is read the same way.
  EXPECT_EQ(asked, 4 * static_cast<int>(kReplySize) - 2 * static_cast<int>(Line(0, kAhead).size()));
  EXPECT_EQ(sim::CountCalls("SetSystemTime"), 1u) << "the line is judged on its own";
}

// Fetches stuck in their name lookup are left, never killed; the next check
// asks the next server, until the bound on stuck fetches is reached.
TEST_F(ServiceSim, HungLookupsAreLeftBehindUpToTheBound) {
  for (int server = 1; server <= 4; ++server) sim::HangNameLookup(kHost[server]);
  HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  for (int check = 0; check < 6; ++check) ServiceClockCheck(stop);
  CloseHandle(stop);
  EXPECT_EQ(sim::LookedUpHosts(),
            (std::vector<std::string>{kHost[1], kHost[2], kHost[3], kHost[4]}));
  EXPECT_EQ(sim::LiveThreads(), static_cast<size_t>(kMaxLiveFetches));
  EXPECT_EQ(sim::NowMs(), 4 * (kWatchdog + kSocketGraceMs))
      << "a check at the bound waits for nobody";
  ExpectLogged({});
}

}  // namespace

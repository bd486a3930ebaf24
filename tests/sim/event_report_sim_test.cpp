// The service's events against the simulated Windows: one event per line of
// vorn.log, with its number and type, and one per change of the clock; none
// while the source is not open; a refused source or report changes nothing
// else.
#include <gtest/gtest.h>

#include "monitor/event_log.h"
#include "monitor/event_report.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_eventlog.h"
#include "platform/sim/sim_file.h"
#include "platform/sim/sim_time.h"

namespace {

using Strings = std::vector<std::string>;

const char* const kLog = "C:\\WINDOWS\\vorn.log";

class EventReportSim : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    sim::SetUtcNow(SYSTEMTIME{2026, 12, 3, 9, 10, 4, 5, 0});
  }
  void TearDown() override {
    CloseEventSource();
    EXPECT_EQ(sim::OpenEventSources(), 0u);
    sim::Reset();
  }
};

TEST_F(EventReportSim, EachLogLineIsOneEventOfItsKind) {
  ASSERT_TRUE(OpenEventSource());
  EXPECT_EQ(sim::CallsOf({"RegisterEventSourceA"}),
            Strings{"RegisterEventSourceA(NULL, \"Vorn\")"});
  struct Case {
    const char* line;
    DWORD id;
    WORD type;
  } cases[] = {
      {"AdjustTokenPrivileges Failed", 104, EVENTLOG_ERROR_TYPE},
      {"BeginThread failed", 102, EVENTLOG_ERROR_TYPE},
      {"RasEnumConnections Failed", 105, EVENTLOG_WARNING_TYPE},
      {"A refused step of a kind not yet known", kLogLineEventId, EVENTLOG_ERROR_TYPE},
  };
  for (const Case& c : cases) EXPECT_EQ(LogEvent(c.line), 0u) << c.line;
  const std::vector<sim::ReportedEvent> events = sim::ReportedEvents();
  ASSERT_EQ(events.size(), std::size(cases));
  for (size_t i = 0; i < events.size(); ++i) {
    SCOPED_TRACE(cases[i].line);
    EXPECT_EQ(events[i].source, "Vorn");
    EXPECT_EQ(events[i].id, cases[i].id);
    EXPECT_EQ(events[i].type, cases[i].type);
    EXPECT_EQ(events[i].category, 0u);
    EXPECT_EQ(events[i].strings, Strings{cases[i].line});
  }
  // The log has every line as before.
  const std::string log = sim::FileBytes(kLog).value_or("");
  for (const Case& c : cases) EXPECT_NE(log.find(c.line), std::string::npos) << c.line;
}

TEST_F(EventReportSim, EachClockChangeIsOneInformationEvent) {
  ASSERT_TRUE(OpenEventSource());
  ReportClockChange(SYSTEMTIME{2026, 12, 3, 9, 10, 4, 5, 0},
                    SYSTEMTIME{2026, 12, 3, 9, 10, 4, 47, 0}, "time-a.example",
                    "http://time-b.example:13");
  const std::vector<sim::ReportedEvent> events = sim::ReportedEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].id, kClockChangeEventId);
  EXPECT_EQ(events[0].type, EVENTLOG_INFORMATION_TYPE);
  EXPECT_EQ(events[0].strings, (Strings{"2026-12-09 10:04:05", "2026-12-09 10:04:47",
                                        "time-a.example", "http://time-b.example:13"}));
  EXPECT_FALSE(sim::FileExists(kLog)) << "a change is no failure";
}

// The monitor of the older Windows, and the service before it opened the
// source or after it closed it, report nothing; a source or report that
// Windows refuses leaves the log as it would be.
TEST_F(EventReportSim, NothingIsReportedWithoutAnOpenSource) {
  struct Case {
    const char* name;
    void (*open)();
  } cases[] = {
      {"never opened", [] {}},
      {"refused",
       [] {
         sim::FailCall("RegisterEventSourceA", ERROR_ACCESS_DENIED);
         EXPECT_FALSE(OpenEventSource());
       }},
      {"closed",
       [] {
         EXPECT_TRUE(OpenEventSource());
         CloseEventSource();
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    c.open();
    EXPECT_EQ(LogEvent("InternetOpen Failed"), 0u);
    ReportClockChange(SYSTEMTIME{2026, 12, 3, 9, 10, 4, 5, 0},
                      SYSTEMTIME{2026, 12, 3, 9, 10, 4, 47, 0}, "a", "b");
    EXPECT_EQ(sim::CountCalls("ReportEventA"), 0u);
    EXPECT_TRUE(sim::FileExists(kLog));
  }
}

TEST_F(EventReportSim, RefusedReportLeavesTheLogLineAlone) {
  ASSERT_TRUE(OpenEventSource());
  sim::FailCall("ReportEventA", ERROR_INVALID_PARAMETER);
  EXPECT_EQ(LogEvent("GetExitCode Failed"), 0u);
  EXPECT_TRUE(sim::ReportedEvents().empty());
  EXPECT_NE(sim::FileBytes(kLog).value_or("").find("GetExitCode Failed"), std::string::npos);
  // Only the one report failed.
  EXPECT_EQ(LogEvent("GetExitCode Failed"), 0u);
  EXPECT_EQ(sim::ReportedEvents().size(), 1u);
}

}  // namespace

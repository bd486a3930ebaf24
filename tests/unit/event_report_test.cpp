// The pure parts of the service's events: which number and type a line of
// vorn.log gets, and the strings of a clock change.
#include "monitor/event_report.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(EventKind, EachKindOfLineHasItsOwnNumberAndAnyOtherTheGenericOne) {
  struct Case {
    const char* line;
    DWORD id;
    WORD type;
  } cases[] = {
      {"InternetOpen Failed", 101, EVENTLOG_ERROR_TYPE},
      {"BeginThread failed", 102, EVENTLOG_ERROR_TYPE},
      {"GetExitCode Failed", 103, EVENTLOG_ERROR_TYPE},
      {"AdjustTokenPrivileges Failed", 104, EVENTLOG_ERROR_TYPE},
      {"RasEnumConnections Failed", 105, EVENTLOG_WARNING_TYPE},
      {"RasGetConnectStatus Failed", 106, EVENTLOG_WARNING_TYPE},
      // Lines are matched as LogEvent is given them, not loosely.
      {"internetopen failed", kLogLineEventId, EVENTLOG_ERROR_TYPE},
      {"InternetOpen Failed ", kLogLineEventId, EVENTLOG_ERROR_TYPE},
      {"A line of no kind of its own", kLogLineEventId, EVENTLOG_ERROR_TYPE},
      {"", kLogLineEventId, EVENTLOG_ERROR_TYPE},
      {nullptr, kLogLineEventId, EVENTLOG_ERROR_TYPE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line ? c.line : "(null)");
    const EventKind kind = EventKindOf(c.line);
    EXPECT_EQ(kind.id, c.id);
    EXPECT_EQ(kind.type, c.type);
  }
}

// Event Viewer tells events apart by number: no two kinds share one, and
// none takes the clock change's or the generic line's.
TEST(EventKind, NumbersAreDistinct) {
  std::set<DWORD> ids{kClockChangeEventId, kLogLineEventId};
#define VORN_EVENT_KIND(number, type, line, text) \
  EXPECT_TRUE(ids.insert(number).second) << line; \
  EXPECT_EQ(EventKindOf(line).id, static_cast<DWORD>(number)) << line;
#include "monitor/event_kinds.inc"
#undef VORN_EVENT_KIND
}

TEST(ClockChangeStrings, FromAndToInUtcThenBothServers) {
  struct Case {
    SYSTEMTIME from;
    SYSTEMTIME to;
    std::vector<std::string> strings;
  } cases[] = {
      {{2026, 12, 3, 9, 10, 4, 5, 250},
       {2026, 12, 3, 9, 10, 4, 47, 0},
       {"2026-12-09 10:04:05", "2026-12-09 10:04:47", "time-a.example", "time-b.example"}},
      // A step across midnight and the year, each part padded.
      {{2026, 12, 4, 31, 23, 59, 59, 999},
       {2027, 1, 5, 1, 0, 0, 1, 0},
       {"2026-12-31 23:59:59", "2027-01-01 00:00:01", "time-a.example", "time-b.example"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClockChangeStrings(c.from, c.to, "time-a.example", "time-b.example"), c.strings);
  }
}

}  // namespace

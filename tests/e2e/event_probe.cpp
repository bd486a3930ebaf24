// Reports what the service reports, as the service will: opens the source
// "Vorn", writes two log lines (one kind of its own, one without) and
// reports a clock change, then closes the source. For the end-to-end test
// of what Wine shows of the events (test_events.py).
#include "monitor/event_log.h"
#include "monitor/event_report.h"

int main() {
  if (!OpenEventSource()) return 2;
  LogEvent("InternetOpen Failed");
  LogEvent("A line of no kind of its own");
  ReportClockChange(SYSTEMTIME{2026, 12, 3, 9, 10, 4, 5, 0},
                    SYSTEMTIME{2026, 12, 3, 9, 10, 4, 47, 0}, "time-a.example",
                    "http://time-b.example:13");
  CloseEventSource();
  return 0;
}

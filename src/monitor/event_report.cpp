#include "monitor/event_report.h"

#include <cstring>

#include "monitor/number_text.h"

namespace {

struct KnownLine {
  const char* message;
  EventKind kind;
};

#define VORN_EVENT_KIND(number, type, line, text) {line, {number, type}},
constexpr KnownLine kKnownLines[] = {
#include "monitor/event_kinds.inc"
};
#undef VORN_EVENT_KIND

// Set once by the service before its checks start, cleared after they end.
HANDLE g_eventSource;

std::string TimeText(const SYSTEMTIME& time) {
  return DecimalText(time.wYear, 4) + "-" + DecimalText(time.wMonth, 2) + "-" +
         DecimalText(time.wDay, 2) + " " + DecimalText(time.wHour, 2) + ":" +
         DecimalText(time.wMinute, 2) + ":" + DecimalText(time.wSecond, 2);
}

// A failed report is not worth a log line: that line would be reported too.
void Report(WORD type, DWORD id, const std::vector<std::string>& strings) {
  if (!g_eventSource) return;
  LPCSTR texts[4];
  WORD count = 0;
  for (const std::string& text : strings) {
    if (count == sizeof texts / sizeof texts[0]) break;
    texts[count++] = text.c_str();
  }
  ReportEventA(g_eventSource, type, 0, id, nullptr, count, 0, texts, nullptr);
}

}  // namespace

EventKind EventKindOf(const char* message) {
  for (const KnownLine& line : kKnownLines) {
    // A kind that ends in a blank is the start of lines that go on.
    const size_t length = strlen(line.message);
    if (message && strncmp(line.message, message, length) == 0 &&
        (message[length] == '\0' || line.message[length - 1] == ' ')) {
      return line.kind;
    }
  }
  // Every line of the log tells of a failure.
  return {kLogLineEventId, EVENTLOG_ERROR_TYPE};
}

std::vector<std::string> ClockChangeStrings(const SYSTEMTIME& fromUtc, const SYSTEMTIME& toUtc,
                                            const std::string& server,
                                            const std::string& confirmingServer) {
  return {TimeText(fromUtc), TimeText(toUtc), server, confirmingServer};
}

bool OpenEventSource() {
  if (!g_eventSource) g_eventSource = RegisterEventSourceA(nullptr, kEventSourceName);
  return g_eventSource != nullptr;
}

void CloseEventSource() {
  if (!g_eventSource) return;
  DeregisterEventSource(g_eventSource);
  g_eventSource = nullptr;
}

void ReportLogLine(const char* message) {
  if (!g_eventSource) return;
  const EventKind kind = EventKindOf(message);
  Report(kind.type, kind.id, {message ? message : ""});
}

void ReportClockChange(const SYSTEMTIME& fromUtc, const SYSTEMTIME& toUtc,
                       const std::string& server, const std::string& confirmingServer) {
  Report(EVENTLOG_INFORMATION_TYPE, kClockChangeEventId,
         ClockChangeStrings(fromUtc, toUtc, server, confirmingServer));
}

// The event log: one time-stamped line per failure, appended to a text file,
// with the timestamp rendered in the system default locale's settings.
#pragma once

#include <string>

#include "platform/win_types.h"

constexpr const char* kEventLogPath = "c:\\windows\\vorn.log";

struct LocaleFormats {
  std::string shortDatePicture;
  char dateSeparator;
  char timeSeparator;
  std::string amDesignator;
  std::string pmDesignator;
  std::string longTimePicture;
  std::string monthAbbrev[13];  // [1..12]
  std::string monthFull[13];    // [1..12]
  std::string dayAbbrev[7];     // Sunday first
  std::string dayFull[7];       // Sunday first
};

// Read once at start-up by every role.
extern LocaleFormats g_localeFormats;

LocaleFormats DefaultLocaleFormats();
LocaleFormats LoadLocaleFormats();

// The timestamp of a log line for local time `t`: at most 256 characters.
std::string FormatTimestamp(const SYSTEMTIME& t, const LocaleFormats& formats);

// Appends "timestamp message" and CR LF to the log. A failure leaves it as
// an InOutError carrying the platform's error code.
void LogEvent(const char* message);

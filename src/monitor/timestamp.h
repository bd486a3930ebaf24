// The timestamp of an event-log line: a local date and time rendered with the
// date and time pictures of the system default locale. Platform-free.
#pragma once

#include <cstddef>
#include <string>

#include "platform/win_types.h"

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

// What every field is when its locale item cannot be read.
LocaleFormats DefaultLocaleFormats();

constexpr size_t kMaxTimestampLength = 256;

// The short date, then a blank and the long time unless `t` is exactly
// 00:00:00 (milliseconds do not count); cut to kMaxTimestampLength. The
// weekday is derived from the date, not taken from t.wDayOfWeek.
std::string FormatTimestamp(const SYSTEMTIME& t, const LocaleFormats& formats);

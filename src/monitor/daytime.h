// The DAYTIME reply (one line of text from port 13) and the clock
// correction it may call for.
#pragma once

#include <cstddef>
#include <optional>

#include "platform/win_types.h"

struct DaytimeReply {
  LONG dayNumber;  // Modified Julian Day; used only for the day of week
  LONG year;       // 2000 + the two-digit field
  LONG month;
  LONG day;
  LONG hour;
  LONG minute;
  LONG second;
  LONG dayOfWeek;    // (dayNumber + 3) mod 7, 0 = Sunday
  LONG secondOfDay;  // hour * 3600 + minute * 60 + second
};

// The reply as the server sent it (`count` bytes), or none when it cannot be
// used. Pure.
std::optional<DaytimeReply> ParseDaytimeReply(const char* bytes, size_t count);

// The UTC time to set the clock to, or none when `now` is close enough. Pure.
std::optional<SYSTEMTIME> DecideClockCorrection(const DaytimeReply& reply, const SYSTEMTIME& now);

// Parses the reply and, when the clock is off, sets it. Silent in every case.
void ApplyDaytimeReply(const char* bytes, size_t count);

// SYSTEMTIME records for tests: built in reading order, and shown as text
// in failure messages.
#pragma once

#include <cstdio>
#include <string>

#include "platform/win_types.h"

// Fields in reading order; SYSTEMTIME itself puts the day of week third.
inline SYSTEMTIME T(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second, WORD ms,
                    WORD dayOfWeek = 0) {
  return SYSTEMTIME{year, month, dayOfWeek, day, hour, minute, second, ms};
}

inline std::string Show(const SYSTEMTIME& t) {
  char text[96];
  std::snprintf(text, sizeof text, "%u-%u-%u (dow %u) %u:%u:%u.%u", t.wYear, t.wMonth, t.wDay,
                t.wDayOfWeek, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
  return text;
}

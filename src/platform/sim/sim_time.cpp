// Simulated kernel32 clock calls.
#include "platform/sim/sim_time.h"

#include <stdexcept>

#include "platform/sim/sim.h"
#include "platform/sim/sim_privilege.h"
#include "platform/win_base.h"
#include "platform/win_time.h"

namespace sim {
namespace {

constexpr int64_t kMsPerDay = 86400000;

// Days from 1601-01-01 to the given civil date (proleptic Gregorian).
int64_t DaysFrom1601(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int64_t daysFrom1970 = era * 146097 + doe - 719468;
  return daysFrom1970 + 134774;  // 1601-01-01 .. 1970-01-01
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

struct Clock {
  // UTC in ms since 1601 at virtual time 0.
  int64_t baseMs = ToMs1601(SYSTEMTIME{2026, 12, 2, 8, 12, 0, 0, 0});
  int localOffsetMinutes = 0;
};

Clock& C() {
  static Clock clock;
  return clock;
}

ResetHook reset([] { C() = Clock(); });

int64_t UtcMs() { return C().baseMs + static_cast<int64_t>(NowMs()); }

}  // namespace

bool IsValidSystemTime(const SYSTEMTIME& t) {
  return t.wYear >= 1601 && t.wYear <= 30827 && t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 &&
         t.wDay <= DaysInMonth(t.wYear, t.wMonth) && t.wHour < 24 && t.wMinute < 60 &&
         t.wSecond < 60 && t.wMilliseconds < 1000;
}

int64_t ToMs1601(const SYSTEMTIME& t) {
  return DaysFrom1601(t.wYear, t.wMonth, t.wDay) * kMsPerDay +
         ((t.wHour * 60 + t.wMinute) * 60 + t.wSecond) * int64_t{1000} + t.wMilliseconds;
}

SYSTEMTIME FromMs1601(int64_t ms) {
  int64_t days = ms / kMsPerDay;
  int64_t rest = ms % kMsPerDay;
  // Civil date from days since 1970 (H. Hinnant's algorithm).
  int64_t z = days - 134774 + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = yoe + era * 400 + (m <= 2);
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(y);
  t.wMonth = static_cast<WORD>(m);
  t.wDay = static_cast<WORD>(d);
  t.wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
  t.wHour = static_cast<WORD>(rest / 3600000);
  t.wMinute = static_cast<WORD>(rest / 60000 % 60);
  t.wSecond = static_cast<WORD>(rest / 1000 % 60);
  t.wMilliseconds = static_cast<WORD>(rest % 1000);
  return t;
}

void SetUtcNow(const SYSTEMTIME& utc) {
  // A test that sets an impossible time has a bug of its own; the arithmetic
  // below would quietly carry it into the next field.
  if (!IsValidSystemTime(utc)) throw std::invalid_argument("sim::SetUtcNow: no real date and time");
  std::lock_guard<std::recursive_mutex> guard(Lock());
  C().baseMs = ToMs1601(utc) - static_cast<int64_t>(NowMs());
}

SYSTEMTIME UtcNow() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return FromMs1601(UtcMs());
}

void SetLocalOffsetMinutes(int minutes) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  C().localOffsetMinutes = minutes;
}

}  // namespace sim

void WINAPI GetSystemTime(LPSYSTEMTIME time) {
  sim::Enter("GetSystemTime", "");
  *time = sim::UtcNow();
}

void WINAPI GetLocalTime(LPSYSTEMTIME time) {
  sim::Enter("GetLocalTime", "");
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  *time = sim::FromMs1601(sim::UtcMs() + sim::C().localOffsetMinutes * int64_t{60000});
}

// Refuses, and leaves the clock alone, for any record that names no real
// date and time: nothing overflows into the next field. Like Windows
// (Microsoft, "SetSystemTime function"), it needs "Change the system time"
// in the token, and enables it for the call itself when it is held.
BOOL WINAPI SetSystemTime(const SYSTEMTIME* t) {
  if (t == nullptr) {
    if (sim::Enter("SetSystemTime", "NULL")) return FALSE;
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (sim::Enter("SetSystemTime",
                 sim::Fmt("%u-%u-%u (dow %u) %u:%u:%u.%u", t->wYear, t->wMonth, t->wDay,
                          t->wDayOfWeek, t->wHour, t->wMinute, t->wSecond, t->wMilliseconds))) {
    return FALSE;
  }
  if (!sim::HoldsPrivilege(kSystemTimePrivilege)) {
    SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    return FALSE;
  }
  if (!sim::IsValidSystemTime(*t)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  sim::SetUtcNow(*t);
  return TRUE;
}

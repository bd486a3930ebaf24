#include "monitor/daytime.h"

#include <cstdint>
#include <cstring>

#include "monitor/event_log.h"
#include "monitor/event_report.h"
#include "monitor/far_step.h"
#include "monitor/second_opinion.h"
#include "monitor/server_table.h"
#include "platform/win_time.h"

namespace {

// "JJJJJ YR-MO-DA HH:MM:SS": only the first 23 kept characters carry fields.
constexpr size_t kLineLength = 23;
// NIST's line goes on " TT L H": days to a daylight-saving change, a leap
// second warning and the server's health, the last at the 30th character.
constexpr size_t kNistLength = 30;
// Health 2: off by more than 5 s; 4: failed, time error unknown.
constexpr LONG kFirstUnhealthy = 2;
// Server times this close to midnight are ignored, so that a reply and a
// clock on either side of it never disagree about the date.
constexpr LONG kFirstSecond = 120;
constexpr LONG kLastSecond = 86280;
// A clock this far off, either way, is left alone.
constexpr LONG kToleranceSeconds = 30;
static_assert(kStepAgreementSeconds == kToleranceSeconds, "servers agree as closely as the clock");

constexpr uint64_t kEveryByte = 0x0101010101010101;

inline uint64_t Load8(const unsigned char* p) {
  uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// Whether any of the eight bytes is below 0x20 (exact: a borrow can only
// start at such a byte).
inline bool HasControlByte(uint64_t word) {
  return ((word - kEveryByte * 0x20) & ~word & kEveryByte * 0x80) != 0;
}

inline unsigned DecimalDigit(unsigned char c) { return static_cast<unsigned>(c) - '0'; }

// The field's value by the integer rule: leading blanks, then "+d..", "-d..",
// "$h.." or "d..", digits running to the field's end. Handles every form; the
// plain-digit case is caught before it gets here.
bool ReadFieldAnyForm(const unsigned char* text, size_t width, LONG* value) {
  size_t i = 0;
  while (i < width && text[i] == ' ') ++i;
  if (i == width) return false;
  bool negative = false;
  bool hex = false;
  if (text[i] == '-' || text[i] == '+') {
    negative = text[i] == '-';
    ++i;
  } else if (text[i] == '$') {
    hex = true;
    ++i;
  }
  if (i == width) return false;
  const LONG base = hex ? 16 : 10;
  LONG result = 0;
  for (; i < width; ++i) {
    unsigned digit = DecimalDigit(text[i]);
    if (digit >= 10) {
      const unsigned letter = static_cast<unsigned>(text[i] | 0x20) - 'a';
      if (!hex || letter >= 6) return false;
      digit = letter + 10;
    }
    result = result * base + static_cast<LONG>(digit);
  }
  *value = negative ? -result : result;
  return true;
}

inline bool ReadTwoCharField(const unsigned char* text, LONG* value) {
  const unsigned tens = DecimalDigit(text[0]);
  const unsigned ones = DecimalDigit(text[1]);
  if ((tens < 10) & (ones < 10)) {
    *value = static_cast<LONG>(tens * 10 + ones);
    return true;
  }
  return ReadFieldAnyForm(text, 2, value);
}

inline bool ReadDayNumber(const unsigned char* text, LONG* value) {
  unsigned result = 0;
  bool allDigits = true;
  for (size_t i = 0; i < 5; ++i) {
    const unsigned digit = DecimalDigit(text[i]);
    allDigits &= digit < 10;
    result = result * 10 + digit;
  }
  if (allDigits) {
    *value = static_cast<LONG>(result);
    return true;
  }
  return ReadFieldAnyForm(text, 5, value);
}

// NIST's health digit when the kept text goes on " TT L H" right after the
// time (`length` kept characters at `line`), else -1.
inline LONG NistHealth(const unsigned char* line, size_t length) {
  if (length < kNistLength) return -1;
  const unsigned char* tail = line + kLineLength;
  const unsigned health = DecimalDigit(tail[6]);
  const bool nist = tail[0] == ' ' && DecimalDigit(tail[1]) < 10 && DecimalDigit(tail[2]) < 10 &&
                    tail[3] == ' ' && DecimalDigit(tail[4]) < 10 && tail[5] == ' ' && health < 10;
  return nist ? static_cast<LONG>(health) : -1;
}

inline bool IsLeapYear(LONG year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

inline LONG DaysInMonth(LONG year, LONG month) {
  static const LONG kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// A date and time that can be right: a real one, not before the release
// year. Windows refuses most impossible records itself, but not a year gone
// wrong ("-9" is 1991), and 9x is not known to refuse any.
bool NamesSettableTime(const DaytimeReply& r) {
  return r.year >= kReleaseYear && r.month >= 1 && r.month <= 12 && r.day >= 1 &&
         r.day <= DaysInMonth(r.year, r.month) && r.hour >= 0 && r.hour <= 23 && r.minute >= 0 &&
         r.minute <= 59 && r.second >= 0 && r.second <= 59;
}

}  // namespace

std::optional<DaytimeReply> ParseDaytimeReply(const char* bytes, size_t count) {
  const unsigned char* in = reinterpret_cast<const unsigned char*>(bytes);
  // Servers start the line with a line feed; skip leading control bytes and,
  // when the next 30 bytes hold none, read the fields and NIST's tail in place.
  size_t start = 0;
  while (start < count && in[start] < 0x20) ++start;
  const unsigned char* line = in + start;
  size_t length = kNistLength;
  unsigned char kept[kNistLength];
  bool clean = count - start >= kNistLength;
  if (clean) {
    // Four overlapping 8-byte words cover the 30 bytes.
    clean = !HasControlByte(Load8(line)) && !HasControlByte(Load8(line + 8)) &&
            !HasControlByte(Load8(line + 16)) && !HasControlByte(Load8(line + kNistLength - 8));
  }
  if (!clean) {
    // Control bytes anywhere (a NUL included) are dropped, not line ends.
    size_t n = 0;
    for (size_t i = start; i < count && n < kNistLength; ++i) {
      if (in[i] >= 0x20) kept[n++] = in[i];
    }
    if (n < kLineLength) return std::nullopt;
    line = kept;
    length = n;
  }

  DaytimeReply reply;
  LONG yearField;
  // Separators at 6, 9, 12, 15, 18 and 21 are not looked at.
  if (!ReadDayNumber(line, &reply.dayNumber) || !ReadTwoCharField(line + 6, &yearField) ||
      !ReadTwoCharField(line + 9, &reply.month) || !ReadTwoCharField(line + 12, &reply.day) ||
      !ReadTwoCharField(line + 15, &reply.hour) || !ReadTwoCharField(line + 18, &reply.minute) ||
      !ReadTwoCharField(line + 21, &reply.second)) {
    return std::nullopt;
  }
  reply.year = 2000 + yearField;
  reply.dayOfWeek = (reply.dayNumber + 3) % 7;
  reply.secondOfDay = reply.hour * 3600 + reply.minute * 60 + reply.second;
  if (reply.secondOfDay < kFirstSecond || reply.secondOfDay > kLastSecond) return std::nullopt;
  reply.health = NistHealth(line, length);
  return reply;
}

bool ServerSaysItsTimeIsWrong(const DaytimeReply& reply) { return reply.health >= kFirstUnhealthy; }

std::optional<SYSTEMTIME> DecideClockCorrection(const DaytimeReply& reply, const SYSTEMTIME& now) {
  // Checked before the clock is compared: a record that cannot be right is
  // never set, whatever the platform would make of it.
  if (ServerSaysItsTimeIsWrong(reply) || !NamesSettableTime(reply)) return std::nullopt;
  const bool sameDate = reply.year == static_cast<LONG>(now.wYear) &&
                        reply.month == static_cast<LONG>(now.wMonth) &&
                        reply.day == static_cast<LONG>(now.wDay);
  if (sameDate) {
    const LONG nowSecond = static_cast<LONG>(now.wHour) * 3600 +
                           static_cast<LONG>(now.wMinute) * 60 + static_cast<LONG>(now.wSecond);
    const LONG offset = nowSecond - reply.secondOfDay;
    if (offset >= -kToleranceSeconds && offset <= kToleranceSeconds) return std::nullopt;
  }
  SYSTEMTIME set = now;  // keeps the clock's milliseconds
  set.wYear = static_cast<WORD>(reply.year);
  set.wMonth = static_cast<WORD>(reply.month);
  set.wDayOfWeek = static_cast<WORD>(reply.dayOfWeek);
  set.wDay = static_cast<WORD>(reply.day);
  set.wHour = static_cast<WORD>(reply.hour);
  set.wMinute = static_cast<WORD>(reply.minute);
  set.wSecond = static_cast<WORD>(reply.second);
  return set;
}

ClockLogged g_clockLogged;
bool g_logRefusedSet;

ReplyOutcome ApplyDaytimeReply(const char* bytes, size_t count, LONG server) {
  const std::optional<DaytimeReply> reply = ParseDaytimeReply(bytes, count);
  if (!reply || ServerSaysItsTimeIsWrong(*reply)) return ReplyOutcome::kUnusable;
  SYSTEMTIME now;
  GetSystemTime(&now);
  const std::optional<SYSTEMTIME> set = DecideClockCorrection(*reply, now);
  if (!set) {
    if (!NamesSettableTime(*reply)) return ReplyOutcome::kUnusable;
    // A real time that finds the clock right outvotes a held step.
    ForgetStep(&g_heldStep);
    g_clockLogged.farStep = false;
    return ReplyOutcome::kClockRight;
  }
  const int64_t step = SecondsBetween(now, *set);
  const LONG asker = g_heldStep.server;
  if (!TakeStep(&g_heldStep, server, step)) return ReplyOutcome::kStepHeld;
  if (!MayTakeStep(step, SecondsSince1970(now), g_buildTime)) {
    if (!g_clockLogged.farStep && LogEvent(FarStepMessage(step).c_str()) == 0) {
      g_clockLogged.farStep = true;
    }
    return ReplyOutcome::kStepRefused;
  }
  g_clockLogged.farStep = false;
  // A refused set (no right to set the clock) is said once; the next
  // check tries again.
  if (SetSystemTime(&*set)) {
    g_clockLogged.setRefused = false;
    ReportClockChange(now, *set, ServerUrl(asker), ServerUrl(server));
  } else if (g_logRefusedSet && !g_clockLogged.setRefused &&
             LogEvent("SetSystemTime Failed") == 0) {
    g_clockLogged.setRefused = true;
  }
  return ReplyOutcome::kClockSet;
}

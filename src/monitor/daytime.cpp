#include "monitor/daytime.h"

#include <cstdint>
#include <cstring>

#include "platform/win_time.h"

namespace {

// "JJJJJ YR-MO-DA HH:MM:SS": only the first 23 kept characters carry fields.
constexpr size_t kLineLength = 23;
// Server times this close to midnight are ignored, so that a reply and a
// clock on either side of it never disagree about the date.
constexpr LONG kFirstSecond = 120;
constexpr LONG kLastSecond = 86280;
// A clock this far off, either way, is left alone.
constexpr LONG kToleranceSeconds = 30;

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

}  // namespace

std::optional<DaytimeReply> ParseDaytimeReply(const char* bytes, size_t count) {
  const unsigned char* in = reinterpret_cast<const unsigned char*>(bytes);
  // Servers start the line with a line feed; skip leading control bytes and,
  // when the next 23 bytes hold none, read the fields in place.
  size_t start = 0;
  while (start < count && in[start] < 0x20) ++start;
  const unsigned char* line = in + start;
  unsigned char kept[kLineLength];
  bool clean = count - start >= kLineLength;
  if (clean) {
    // Three overlapping 8-byte words cover the 23 bytes.
    clean = !HasControlByte(Load8(line)) && !HasControlByte(Load8(line + 8)) &&
            !HasControlByte(Load8(line + kLineLength - 8));
  }
  if (!clean) {
    // Control bytes anywhere (a NUL included) are dropped, not line ends.
    size_t n = 0;
    for (size_t i = start; i < count && n < kLineLength; ++i) {
      if (in[i] >= 0x20) kept[n++] = in[i];
    }
    if (n < kLineLength) return std::nullopt;
    line = kept;
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
  return reply;
}

std::optional<SYSTEMTIME> DecideClockCorrection(const DaytimeReply& reply, const SYSTEMTIME& now) {
  // Signed reply values against the clock's unsigned fields, as numbers: a
  // reply month of -5 is not the clock's 65531.
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

void ApplyDaytimeReply(const char* bytes, size_t count) {
  const std::optional<DaytimeReply> reply = ParseDaytimeReply(bytes, count);
  if (!reply) return;
  SYSTEMTIME now;
  GetSystemTime(&now);
  const std::optional<SYSTEMTIME> set = DecideClockCorrection(*reply, now);
  // A refused record (a month of 13, no right to set the clock) waits for the
  // next check; there is nobody to tell.
  if (set) static_cast<void>(SetSystemTime(&*set));
}

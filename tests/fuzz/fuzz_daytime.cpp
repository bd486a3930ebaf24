// Fuzzes the DAYTIME reply parser, the correction decision, the second
// opinion a big step waits for, and their use on the simulated clock. Each input is tried as a
// reply of its own and as edits to a real server line, so that most tries get past the parser.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "monitor/daytime.h"
#include "monitor/far_step.h"
#include "monitor/second_opinion.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_time.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

// One field read the slow, obvious way: strip the leading blanks, take one
// prefix form, and require the rest to be nothing but its digits.
bool ReferenceField(const std::string& field, long* value) {
  const size_t first = field.find_first_not_of(' ');
  if (first == std::string::npos) return false;
  std::string body = field.substr(first);
  long sign = 1;
  int base = 10;
  if (body[0] == '-' || body[0] == '+') {
    sign = body[0] == '-' ? -1 : 1;
    body.erase(0, 1);
  } else if (body[0] == '$') {
    base = 16;
    body.erase(0, 1);
  }
  const char* digits = base == 16 ? "0123456789abcdefABCDEF" : "0123456789";
  if (body.empty() || body.find_first_not_of(digits) != std::string::npos) return false;
  *value = sign * std::stol(body, nullptr, base);
  return true;
}

struct Reference {
  bool accepted = false;
  long fields[7] = {};  // day number, year field, month, day, hour, minute, second
  long health = -1;     // NIST's health digit, when the kept text carries its tail
};

Reference ReferenceParse(const uint8_t* data, size_t size) {
  Reference ref;
  std::string kept;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] >= 0x20) kept.push_back(static_cast<char>(data[i]));
  }
  if (kept.size() < 23) return ref;
  static const size_t kCuts[7][2] = {{0, 5}, {6, 2}, {9, 2}, {12, 2}, {15, 2}, {18, 2}, {21, 2}};
  for (int k = 0; k < 7; ++k) {
    if (!ReferenceField(kept.substr(kCuts[k][0], kCuts[k][1]), &ref.fields[k])) return ref;
  }
  const long second = ref.fields[4] * 3600 + ref.fields[5] * 60 + ref.fields[6];
  ref.accepted = second >= 120 && second <= 86280;
  const auto digit = [&](size_t i) { return kept[i] >= '0' && kept[i] <= '9'; };
  if (kept.size() >= 30 && kept[23] == ' ' && digit(24) && digit(25) && kept[26] == ' ' &&
      digit(27) && kept[28] == ' ' && digit(29)) {
    ref.health = kept[29] - '0';
  }
  return ref;
}

// A record SetSystemTime could take (checked by the simulated Windows' own
// calendar), from the release year on.
bool Settable(const DaytimeReply& r) {
  const bool inRange = r.year >= kReleaseYear && r.month >= 1 && r.month <= 12 && r.day >= 1 &&
                       r.day <= 31 && r.hour >= 0 && r.hour <= 23 && r.minute >= 0 &&
                       r.minute <= 59 && r.second >= 0 && r.second <= 59;
  if (!inRange) return false;
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(r.year);
  t.wMonth = static_cast<WORD>(r.month);
  t.wDay = static_cast<WORD>(r.day);
  t.wHour = static_cast<WORD>(r.hour);
  t.wMinute = static_cast<WORD>(r.minute);
  t.wSecond = static_cast<WORD>(r.second);
  return sim::IsValidSystemTime(t);
}

long SecondOfDay(const SYSTEMTIME& t) { return t.wHour * 3600L + t.wMinute * 60L + t.wSecond; }

void CheckDecision(const DaytimeReply& r, const SYSTEMTIME& now) {
  const std::optional<SYSTEMTIME> set = DecideClockCorrection(r, now);
  const bool sameDate = r.year == now.wYear && r.month == now.wMonth && r.day == now.wDay;
  const long apart = std::labs(SecondOfDay(now) - r.secondOfDay);
  Check(set.has_value() == (r.health < 2 && Settable(r) && !(sameDate && apart <= 30)));
  if (!set) return;
  Check(
      set->wYear == static_cast<WORD>(r.year) && set->wMonth == static_cast<WORD>(r.month) &&
      set->wDay == static_cast<WORD>(r.day) && set->wHour == static_cast<WORD>(r.hour) &&
      set->wMinute == static_cast<WORD>(r.minute) && set->wSecond == static_cast<WORD>(r.second) &&
      set->wDayOfWeek == static_cast<WORD>(r.dayOfWeek) && set->wMilliseconds == now.wMilliseconds);
}

bool SameTime(const SYSTEMTIME& a, const SYSTEMTIME& b) {  // the day of week aside
  return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay && a.wHour == b.wHour &&
         a.wMinute == b.wMinute && a.wSecond == b.wSecond && a.wMilliseconds == b.wMilliseconds;
}

// The reply's date at its time of day moved by `offset` seconds.
SYSTEMTIME Near(const DaytimeReply& r, long offset, WORD ms) {
  const long second = r.secondOfDay + offset;  // stays inside one day
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(r.year);
  t.wMonth = static_cast<WORD>(r.month);
  t.wDay = static_cast<WORD>(r.day);
  t.wHour = static_cast<WORD>(second / 3600);
  t.wMinute = static_cast<WORD>(second / 60 % 60);
  t.wSecond = static_cast<WORD>(second % 60);
  t.wMilliseconds = ms;
  return t;
}

// The step the record asks for, by the simulated Windows' own calendar.
int64_t ReferenceStep(const SYSTEMTIME& from, const SYSTEMTIME& to) {
  return (sim::ToMs1601(to) - sim::ToMs1601(from)) / 1000;
}

void CheckApply(const uint8_t* data, size_t size, const std::optional<DaytimeReply>& reply,
                const SYSTEMTIME& clock) {
  sim::Reset();
  g_heldStep = {};
  g_clockLogged = {};
  if (sim::IsValidSystemTime(clock)) sim::SetUtcNow(clock);
  const SYSTEMTIME before = sim::UtcNow();
  const char* bytes = reinterpret_cast<const char*>(data);
  const ReplyOutcome outcome = ApplyDaytimeReply(bytes, size, 1);
  const std::vector<std::string> calls = sim::CallNames();
  if (!reply || reply->health >= 2) {
    Check(outcome == ReplyOutcome::kUnusable && calls.empty());
    return;
  }
  const std::optional<SYSTEMTIME> set = DecideClockCorrection(*reply, before);
  if (!set) {
    Check(outcome == (Settable(*reply) ? ReplyOutcome::kClockRight : ReplyOutcome::kUnusable));
    Check(calls == std::vector<std::string>{"GetSystemTime"});
    Check(SameTime(sim::UtcNow(), before));
    return;
  }
  Check(sim::IsValidSystemTime(*set));
  const int64_t step = ReferenceStep(before, *set);
  Check(SecondsBetween(before, *set) == step);
  // No step on one server's word, however small: held, and asked of the
  // next. The same server again changes nothing; another one saying the
  // same sets the clock.
  Check(outcome == ReplyOutcome::kStepHeld && calls == std::vector<std::string>{"GetSystemTime"});
  Check(SameTime(sim::UtcNow(), before) && g_heldStep.server == 1 && g_heldStep.seconds == step);
  Check(ApplyDaytimeReply(bytes, size, 1) == ReplyOutcome::kStepHeld &&
        SameTime(sim::UtcNow(), before));
  // Unless the step is too far to take on the network's word.
  if (!MayTakeStep(step, SecondsSince1970(before), g_buildTime)) {
    Check(ApplyDaytimeReply(bytes, size, 2) == ReplyOutcome::kStepRefused &&
          SameTime(sim::UtcNow(), before) && sim::CountCalls("SetSystemTime") == 0);
    return;
  }
  Check(ApplyDaytimeReply(bytes, size, 2) == ReplyOutcome::kClockSet &&
        SameTime(sim::UtcNow(), *set));
  Check(g_heldStep.server == 0 && sim::CountCalls("SetSystemTime") == 1);
}

void RunOne(const uint8_t* data, size_t size, const uint8_t* extra, size_t extraSize) {
  const std::optional<DaytimeReply> reply =
      ParseDaytimeReply(reinterpret_cast<const char*>(data), size);
  const Reference ref = ReferenceParse(data, size);
  Check(reply.has_value() == ref.accepted);
  SYSTEMTIME fromInput{};
  std::memcpy(&fromInput, extra, extraSize < sizeof fromInput ? extraSize : sizeof fromInput);
  if (!reply) {
    CheckApply(data, size, reply, fromInput);
    return;
  }
  const DaytimeReply& r = *reply;
  Check(r.dayNumber == ref.fields[0] && r.year == 2000 + ref.fields[1] &&
        r.month == ref.fields[2] && r.day == ref.fields[3] && r.hour == ref.fields[4] &&
        r.minute == ref.fields[5] && r.second == ref.fields[6] && r.health == ref.health);
  Check(r.secondOfDay >= 120 && r.secondOfDay <= 86280);
  Check(r.secondOfDay == r.hour * 3600 + r.minute * 60 + r.second);
  const long shifted = r.dayNumber + 3;
  Check(r.dayOfWeek == shifted - 7 * (shifted / 7) && r.dayOfWeek > -7 && r.dayOfWeek < 7);

  CheckDecision(r, fromInput);
  for (long offset : {-31L, -30L, -1L, 0L, 1L, 30L, 31L}) {
    CheckDecision(r, Near(r, offset, fromInput.wMilliseconds));
  }
  const long offset = static_cast<long>(fromInput.wSecond % 65) - 32;
  const WORD ms = static_cast<WORD>(fromInput.wMilliseconds % 1000);
  CheckApply(data, size, reply, Near(r, offset, ms));
  // Clocks some 1000 s off either way, and wherever the input says.
  if (Settable(r)) {
    const long step = (fromInput.wMinute % 2 ? 1000L : -1000L) + fromInput.wHour % 41 - 20;
    const int64_t at = sim::ToMs1601(Near(r, 0, ms)) - step * 1000;
    if (at >= 0) CheckApply(data, size, reply, sim::FromMs1601(at));
  }
  CheckApply(data, size, reply, fromInput);
}

const char kNist[] = "\n61382 26-12-08 04:54:38 00 0 0  50.0 UTC(NIST) * \n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RunOne(data, size, data + (size > 16 ? size - 16 : 0), size > 16 ? 16 : size);

  // The input as (position, byte) edits of a real line, a few of them
  // dropping a byte instead.
  std::vector<uint8_t> line(kNist, kNist + sizeof kNist - 1);
  for (size_t i = 0; i + 1 < size && i < 16; i += 2) {
    const size_t at = data[i] % line.size();
    if (data[i] >= 0xF0) {
      line.erase(line.begin() + static_cast<std::ptrdiff_t>(at));
      if (line.empty()) break;
    } else {
      line[at] = data[i + 1];
    }
  }
  RunOne(line.data(), line.size(), data, size);
  return 0;
}

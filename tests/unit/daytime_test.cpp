// The DAYTIME reply parser and the correction decision, as one pipeline from
// reply bytes and a clock reading to "rejected", "no change" or a record.
#include "monitor/daytime.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "monitor/second_opinion.h"

using namespace std::string_literals;
#include "systemtime_text.h"

namespace {

const std::string kNist = "\n61382 26-12-08 04:54:38 00 0 0  50.0 UTC(NIST) * \n";
// A clock on another date: every accepted reply sets it, so the record shows
// what each field was read as.
const SYSTEMTIME kElsewhere = T(2025, 1, 1, 0, 0, 0, 250, 3);

// kUnhealthy: read, and its server says its time is wrong, so no change.
enum Outcome { kRejected, kNoChange, kSet, kUnhealthy };

struct Case {
  const char* name;
  std::string reply;
  SYSTEMTIME now;
  Outcome outcome;
  SYSTEMTIME record;
  size_t count = std::string::npos;  // npos: the whole reply
};

const SYSTEMTIME kNone{};

std::vector<Case> Cases() {
  const SYSTEMTIME nist = T(2026, 12, 8, 4, 54, 38, 250, 2);
  const std::string noon = "61382 26-12-08 12:00:00";
  const SYSTEMTIME noonSet = T(2026, 12, 8, 12, 0, 0, 0, 2);
  auto noonWithMs = [&](WORD ms) {
    SYSTEMTIME t = noonSet;
    t.wMilliseconds = ms;
    return t;
  };
  return {
      // What is kept, and how much of it.
      {"Empty", "", kElsewhere, kRejected, kNone},
      {"NistLine", kNist, kElsewhere, kSet, nist},
      {"NistLineClockRight", kNist, T(2026, 12, 8, 4, 54, 38, 250, 2), kNoChange, kNone},
      {"Exactly23Kept", "61382 26-12-08 04:54:38", kElsewhere, kSet, nist},
      {"CountCutsTo22", "61382 26-12-08 04:54:38", kElsewhere, kRejected, kNone, 22},
      {"ControlBytesLeave22Of24", "\n61382 26-12-08 04:54:3\n", kElsewhere, kRejected, kNone},
      {"ControlBytesAndNulInside",
       "\t6\0"
       "1382 26-\r12-08 04:54\x1f:38\n"s,
       kElsewhere, kSet, nist},
      {"ControlByteBefore23rdKept", "\n61382 26-12-08 04:54:3\r8 00 0 0  50.0 UTC(NIST) * \n",
       kElsewhere, kSet, nist},
      {"CrLfForBlankNothingAfter", "61382 26-12-08\r\n04:54:38", kElsewhere, kRejected, kNone},
      {"CrLfForBlankLineGoesOn", "\n61382 26-12-08\r\n04:54:38 00 0 0  50.0 UTC(NIST) * \n",
       kElsewhere, kRejected, kNone},
      {"OddSeparators", "61382x26/12.08T04-54-38", kElsewhere, kSet, nist},
      {"DelAndHighBitSeparators",
       "61382\x7f"
       "26\xff"
       "12\x80"
       "08\xa0"
       "04\x7f"
       "54\xfe"
       "38",
       kElsewhere, kSet, nist},

      // The integer rule, field by field.
      {"BlankThenDigit", "61382 26-12- 7 04:54:38", kElsewhere, kSet,
       T(2026, 12, 7, 4, 54, 38, 250, 2)},
      {"DigitThenBlank", "61382 26-12-7  04:54:38", kElsewhere, kRejected, kNone},
      {"BlankField", "61382 26-12-08 04:  :38", kElsewhere, kRejected, kNone},
      {"DollarHex", "61382 26-$A-$f 04:54:38", kElsewhere, kSet,
       T(2026, 10, 15, 4, 54, 38, 250, 2)},
      {"DollarWithoutDigit", "61382 26-12-$  04:54:38", kElsewhere, kRejected, kNone},
      {"BlankThenDollar", "61382 26-12- $ 04:54:38", kElsewhere, kRejected, kNone},
      {"DollarNonHexDigit", "61382 26-12-$G 04:54:38", kElsewhere, kRejected, kNone},
      {"EightAndNineAreDecimal", "61382 26-08-09 04:54:38", kElsewhere, kSet,
       T(2026, 8, 9, 4, 54, 38, 250, 2)},
      {"PlusSigns", "61382 26-+8-+9 04:54:38", kElsewhere, kSet, T(2026, 8, 9, 4, 54, 38, 250, 2)},
      {"SignWithoutDigit", "61382 26-12-08 04:- :38", kElsewhere, kRejected, kNone},
      {"TwoSigns", "61382 26-12-08 04:--:38", kElsewhere, kRejected, kNone},
      {"LetterInDecimalField", "61382 26-12-08 04:5A:38", kElsewhere, kRejected, kNone},
      {"HighBitByteInField", "61382 26-12-0\xb8 04:54:38", kElsewhere, kRejected, kNone},

      // Read, but no real date and time from the release year on: not set.
      {"NegativeMinute", "61382 26-12-08 12:-5:00", kElsewhere, kNoChange, kNone},
      {"Month13", "61382 26-13-08 10:00:00", kElsewhere, kNoChange, kNone},
      {"Month0", "61382 26-00-08 10:00:00", kElsewhere, kNoChange, kNone},
      {"Minute60", "61382 26-12-08 10:60:00", kElsewhere, kNoChange, kNone},
      {"Second60", "61382 26-12-08 10:00:60", kElsewhere, kNoChange, kNone},
      {"Day0", "61382 26-12-00 10:00:00", kElsewhere, kNoChange, kNone},
      {"April31", "61382 26-04-31 10:00:00", kElsewhere, kNoChange, kNone},
      {"April30", "61382 26-04-30 10:00:00", kElsewhere, kSet, T(2026, 4, 30, 10, 0, 0, 250, 2)},
      {"February29LeapYear", "61382 28-02-29 10:00:00", kElsewhere, kSet,
       T(2028, 2, 29, 10, 0, 0, 250, 2)},
      {"February29CommonYear", "61382 27-02-29 10:00:00", kElsewhere, kNoChange, kNone},
      {"NegativeYearIs1991", "61382 -9-12-08 04:54:38", kElsewhere, kNoChange, kNone},
      {"HexYearBeforeRelease", "61382 $F-12-08 04:54:38", kElsewhere, kNoChange, kNone},
      {"YearBeforeRelease", "61382 25-12-08 04:54:38", kElsewhere, kNoChange, kNone},
      {"Year00Is2000BeforeRelease", "51544 00-01-01 12:00:00", kElsewhere, kNoChange, kNone},

      // The day number: checked, used only for the day of week.
      {"DayNumberNotANumber", "6138x 26-12-08 04:54:38", kElsewhere, kRejected, kNone},
      {"DayNumberBlankInside", "61 82 26-12-08 04:54:38", kElsewhere, kRejected, kNone},
      {"DayNumberLeadingBlanks", "  544 26-12-08 04:54:38", kElsewhere, kSet,
       T(2026, 12, 8, 4, 54, 38, 250, 1)},
      {"DayNumberHex", "$FFFF 26-12-08 04:54:38", kElsewhere, kSet,
       T(2026, 12, 8, 4, 54, 38, 250, 4)},
      {"DayNumberNegativeTruncates", "  -12 26-12-08 04:54:38", kElsewhere, kSet,
       T(2026, 12, 8, 4, 54, 38, 250, 0xFFFE)},
      {"Day51544IsSaturday", "51544 26-12-08 12:00:00", kElsewhere, kSet,
       T(2026, 12, 8, 12, 0, 0, 250, 6)},
      {"Year99Is2099", "61382 99-12-08 04:54:38", kElsewhere, kSet,
       T(2099, 12, 8, 4, 54, 38, 250, 2)},

      // The accepted window of server times.
      {"At00_01_59", "61382 26-12-08 00:01:59", kElsewhere, kRejected, kNone},
      {"At00_02_00", "61382 26-12-08 00:02:00", kElsewhere, kSet, T(2026, 12, 8, 0, 2, 0, 250, 2)},
      {"At23_58_00", "61382 26-12-08 23:58:00", kElsewhere, kSet,
       T(2026, 12, 8, 23, 58, 0, 250, 2)},
      {"At23_58_01", "61382 26-12-08 23:58:01", kElsewhere, kRejected, kNone},
      {"Hour24", "61382 26-12-08 24:00:00", kElsewhere, kRejected, kNone},

      // The decision against the clock.
      {"Clock30Ahead", noon, T(2026, 12, 8, 12, 0, 30, 0), kNoChange, kNone},
      {"Clock30Behind", noon, T(2026, 12, 8, 11, 59, 30, 0), kNoChange, kNone},
      {"Clock31Ahead", noon, T(2026, 12, 8, 12, 0, 31, 0), kSet, noonSet},
      {"Clock31Behind", noon, T(2026, 12, 8, 11, 59, 29, 0), kSet, noonSet},
      {"MillisecondsTakeNoPart", noon, T(2026, 12, 8, 12, 0, 30, 900), kNoChange, kNone},
      {"MillisecondsKept", noon, T(2026, 12, 8, 12, 0, 31, 900), kSet, noonWithMs(900)},
      {"ClockDayOfWeekTakesNoPart", noon, T(2026, 12, 8, 12, 0, 0, 0, 5), kNoChange, kNone},
      {"YearDiffers", noon, T(2025, 12, 8, 12, 0, 0, 0), kSet, noonSet},
      {"MonthDiffers", noon, T(2026, 11, 8, 12, 0, 0, 0), kSet, noonSet},
      {"DayDiffers", noon, T(2026, 12, 9, 12, 0, 0, 0), kSet, noonSet},
      {"ClockPastMidnight", "61382 26-12-08 23:58:00", T(2026, 12, 9, 0, 0, 10, 40), kSet,
       T(2026, 12, 8, 23, 58, 0, 40, 2)},

      // NIST's health digit, when the line goes on " TT L H" after the time.
      {"Health0", "61382 26-12-08 04:54:38 00 0 0", kElsewhere, kSet, nist},
      {"Health1", "61382 26-12-08 04:54:38 50 1 1", kElsewhere, kSet, nist},
      {"Health2", "61382 26-12-08 04:54:38 00 0 2", kElsewhere, kUnhealthy, kNone},
      {"Health4", "\n61382 26-12-08 04:54:38 00 0 4  50.0 UTC(NIST) * \n", kElsewhere, kUnhealthy,
       kNone},
      {"Health4ClockRight", "61382 26-12-08 04:54:38 00 0 4", T(2026, 12, 8, 4, 54, 38, 250),
       kUnhealthy, kNone},
      {"Health4ControlBytesInTail", "61382 26-12-08 04:54:38 0\r0 0\n 4\n", kElsewhere, kUnhealthy,
       kNone},
      {"Health4CutByCount", "61382 26-12-08 04:54:38 00 0 4", kElsewhere, kSet, nist, 29},
      {"Health4OneDigitTT", "61382 26-12-08 04:54:38 0 0 4", kElsewhere, kSet, nist},
      {"Health4NoBlankBefore", "61382 26-12-08 04:54:38 00 04", kElsewhere, kSet, nist},
      {"Health4LetterForLeap", "61382 26-12-08 04:54:38 00 L 4", kElsewhere, kSet, nist},
      {"Health4NoBlankAfterTime", "61382 26-12-08 04:54:38-00 0 4", kElsewhere, kSet, nist},
      {"HealthNotADigit", "61382 26-12-08 04:54:38 00 0 x", kElsewhere, kSet, nist},
  };
}

TEST(DaytimeReply, Vectors) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    const size_t count = c.count == std::string::npos ? c.reply.size() : c.count;
    const std::optional<DaytimeReply> reply = ParseDaytimeReply(c.reply.data(), count);
    if (c.outcome == kRejected) {
      EXPECT_FALSE(reply.has_value());
      continue;
    }
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(ServerSaysItsTimeIsWrong(*reply), c.outcome == kUnhealthy);
    const std::optional<SYSTEMTIME> set = DecideClockCorrection(*reply, c.now);
    if (c.outcome != kSet) {
      EXPECT_FALSE(set.has_value()) << Show(*set);
    } else {
      ASSERT_TRUE(set.has_value());
      EXPECT_EQ(Show(c.record), Show(*set));
    }
  }
}

// Every step, small or big, waits for a second server: each row is a reply
// from `server` with `held` as the step held before it.
struct StepCase {
  const char* name;
  HeldStep held;
  LONG server;
  std::string reply;
  SYSTEMTIME now;
  bool taken;
  HeldStep heldAfter;
};

std::vector<StepCase> StepCases() {
  const SYSTEMTIME noon = T(2026, 12, 8, 12, 0, 0, 0);
  const HeldStep none{0, 0};
  const LONG threeDays = 3 * 86400;
  const std::string threeDaysOn = "61385 26-12-11 12:00:00";
  return {
      {"Ahead31", none, 1, "61382 26-12-08 12:00:31", noon, false, {1, 31}},
      {"Behind31", none, 2, "61382 26-12-08 11:59:29", noon, false, {2, -31}},
      {"Ahead999", none, 1, "61382 26-12-08 12:16:39", noon, false, {1, 999}},
      {"Behind999", none, 1, "61382 26-12-08 11:43:21", noon, false, {1, -999}},
      {"Ahead1001", none, 1, "61382 26-12-08 12:16:41", noon, false, {1, 1001}},
      {"Behind1001", none, 1, "61382 26-12-08 11:43:19", noon, false, {1, -1001}},
      {"DateOnlyDiffers", none, 1, "61383 26-12-09 12:00:00", noon, false, {1, 86400}},
      // A clock whose battery died, and a server that moves it to 2099.
      {"YearsAhead",
       none,
       3,
       "61382 26-12-08 12:00:00",
       T(2002, 1, 1, 0, 0, 0, 0),
       false,
       {3, 786888000}},
      {"YearsAheadTo2099", none, 1, "88045 99-12-08 12:00:00", noon, false, {1, 2303683200}},
      {"YearsConfirmedByTheNext",
       {3, 786888000},
       4,
       "61382 26-12-08 12:00:00",
       T(2002, 1, 1, 0, 0, 0, 0),
       true,
       none},
      {"SameStepFromTheNextServer", {1, threeDays}, 2, threeDaysOn, noon, true, none},
      {"SameStepFromAnyOtherServer", {4, threeDays}, 1, threeDaysOn, noon, true, none},
      {"SameStepFromTheSameServer", {1, threeDays}, 1, threeDaysOn, noon, false, {1, threeDays}},
      {"Agrees30Later", {1, threeDays}, 2, "61385 26-12-11 12:00:30", noon, true, none},
      {"Agrees30Earlier", {1, threeDays}, 2, "61385 26-12-11 11:59:30", noon, true, none},
      {"Disagrees31",
       {1, threeDays},
       2,
       "61385 26-12-11 12:00:31",
       noon,
       false,
       {2, threeDays + 31}},
      {"DifferentStep", {1, threeDays}, 2, "61382 26-12-08 14:00:00", noon, false, {2, 7200}},
      {"OppositeStep", {1, threeDays}, 2, "61379 26-12-05 12:00:00", noon, false, {2, -threeDays}},
      {"SmallStepReplacesTheHeld",
       {1, threeDays},
       2,
       "61382 26-12-08 12:01:30",
       noon,
       false,
       {2, 90}},
      {"SmallStepFromTheSameServer",
       {1, threeDays},
       1,
       "61382 26-12-08 11:58:30",
       noon,
       false,
       {1, -90}},
      {"SmallStepConfirmed", {3, 90}, 4, "61382 26-12-08 12:01:30", noon, true, none},
      {"SmallStepMeetsItsOpposite", {3, 90}, 4, "61382 26-12-08 11:58:30", noon, false, {4, -90}},
  };
}

TEST(SecondOpinion, EveryStepWaitsForAnotherServer) {
  for (const StepCase& c : StepCases()) {
    SCOPED_TRACE(c.name);
    const std::optional<DaytimeReply> reply = ParseDaytimeReply(c.reply.data(), c.reply.size());
    ASSERT_TRUE(reply.has_value());
    const std::optional<SYSTEMTIME> set = DecideClockCorrection(*reply, c.now);
    ASSERT_TRUE(set.has_value());
    HeldStep held = c.held;
    EXPECT_EQ(TakeStep(&held, c.server, SecondsBetween(c.now, *set)), c.taken);
    EXPECT_EQ(held.server, c.heldAfter.server);
    if (held.server != 0) {
      EXPECT_EQ(held.seconds, c.heldAfter.seconds);
    }
  }
}

TEST(SecondOpinion, DaysFromCivil) {
  EXPECT_EQ(DaysFromCivil(1970, 1, 1), 0);
  EXPECT_EQ(DaysFromCivil(2000, 3, 1), 11017);
  EXPECT_EQ(DaysFromCivil(2026, 12, 8), 20795);
  EXPECT_EQ(DaysFromCivil(1601, 1, 1), -134774);
}

TEST(DaytimeReply, NistLineFields) {
  const std::optional<DaytimeReply> r = ParseDaytimeReply(kNist.data(), kNist.size());
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(61382, r->dayNumber);
  EXPECT_EQ(2026, r->year);
  EXPECT_EQ(12, r->month);
  EXPECT_EQ(8, r->day);
  EXPECT_EQ(4, r->hour);
  EXPECT_EQ(54, r->minute);
  EXPECT_EQ(38, r->second);
  EXPECT_EQ(2, r->dayOfWeek);
  EXPECT_EQ(4 * 3600 + 54 * 60 + 38, r->secondOfDay);
  EXPECT_EQ(0, r->health);
}

}  // namespace

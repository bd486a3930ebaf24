// Applying a DAYTIME reply to the simulated UTC clock, and that clock itself.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "monitor/daytime.h"
#include "monitor/event_log.h"
#include "monitor/far_step.h"
#include "monitor/second_opinion.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_file.h"
#include "platform/sim/sim_time.h"
#include "platform/win_base.h"
#include "platform/win_time.h"
#include "systemtime_text.h"

namespace {

// Every simulated test runs as if Vorn had been built in 1970: the simulated
// clock reads after the build date, whatever the commit's time. Tests of an
// earlier clock set it and put it back.
[[maybe_unused]] const bool kBuiltLongAgo = (g_buildTime = 0, true);

class DaytimeSim : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    sim::SetUtcNow(kClock);
    g_heldStep = {};
    g_clockLogged = {};
    g_logRefusedSet = true;
    g_buildTime = 0;
  }
  void TearDown() override {
    g_buildTime = 0;
    g_logRefusedSet = false;
  }
  ReplyOutcome Apply(const std::string& reply, LONG server = 1) {
    return ApplyDaytimeReply(reply.data(), reply.size(), server);
  }
  // Server 2 asked for a step of `seconds` earlier in the check.
  void HeldByServer2(int64_t seconds) { g_heldStep = {2, seconds}; }
  // The time a reply would set the clock to (the clock itself when it
  // finds the clock right).
  SYSTEMTIME Parsed(const char* reply) const {
    return DecideClockCorrection(*ParseDaytimeReply(reply, strlen(reply)), kClock).value_or(kClock);
  }
  // The log's lines, each cut to the message it ends in when it is one of
  // `messages` (the timestamp before it depends on the locale).
  static std::vector<std::string> Lines(const std::vector<std::string>& messages = {
                                            "SetSystemTime Failed", "Step Of"}) {
    std::vector<std::string> lines;
    const std::optional<std::string> bytes = sim::FileBytes(EventLogPath());
    if (!bytes) return lines;
    size_t start = 0;
    for (size_t end; (end = bytes->find("\r\n", start)) != std::string::npos; start = end + 2) {
      std::string line = bytes->substr(start, end - start);
      for (const std::string& message : messages) {
        const size_t at = line.find(" " + message);
        if (at != std::string::npos) line = line.substr(at + 1);
      }
      lines.push_back(line);
    }
    return lines;
  }

  // The clock the replies are measured against: 2026-12-08 04:54:38.250.
  const SYSTEMTIME kClock = T(2026, 12, 8, 4, 54, 38, 250);
};

TEST_F(DaytimeSim, RejectedReplyDoesNotReadTheClock) {
  for (const char* reply : {"", "61382 26-12-08 04:54:3", "\n61382 26-12-08 23:58:01\n",
                            "\n6138x 26-12-08 04:54:38\n", "\n61382 26-12-08\r\n04:54:38\n"}) {
    SCOPED_TRACE(reply);
    sim::ClearJournal();
    EXPECT_EQ(Apply(reply), ReplyOutcome::kUnusable);
    EXPECT_TRUE(sim::CallNames().empty());
  }
  EXPECT_EQ(Show(T(2026, 12, 8, 4, 54, 38, 250, 2)), Show(sim::UtcNow()));
}

// Health 2 (off by more than 5 s) or 4 (failed): the clock is not even read,
// and the caller is told to move on. 0 and 1 are believed.
TEST_F(DaytimeSim, ServerThatSaysItsTimeIsWrongIsLeft) {
  for (char health = '0'; health <= '9'; ++health) {
    SCOPED_TRACE(health);
    sim::SetUtcNow(kClock);
    sim::ClearJournal();
    HeldByServer2(120);
    const bool believed = health < '2';
    EXPECT_EQ(
        Apply(std::string("\n61382 26-12-08 04:56:38 00 0 ") + health + "  0.0 UTC(NIST) *\n"),
        believed ? ReplyOutcome::kClockSet : ReplyOutcome::kUnusable);
    EXPECT_EQ(sim::CountCalls("GetSystemTime"), believed ? 1u : 0u);
    EXPECT_EQ(sim::CountCalls("SetSystemTime"), believed ? 1u : 0u);
  }
}

TEST_F(DaytimeSim, CorrectReplyReadsButLeavesTheClock) {
  HeldByServer2(30);
  // 30 s ahead of the clock: right, and the held step is forgotten.
  EXPECT_EQ(Apply("\n61382 26-12-08 04:55:08 00 0 0  50.0 UTC(NIST) * \n"),
            ReplyOutcome::kClockRight);
  EXPECT_EQ(g_heldStep.server, 0);
  EXPECT_EQ((std::vector<std::string>{"GetSystemTime"}), sim::CallNames());
  EXPECT_EQ(Show(T(2026, 12, 8, 4, 54, 38, 250, 2)), Show(sim::UtcNow()));
}

TEST_F(DaytimeSim, OffClockIsSetKeepingItsMilliseconds) {
  HeldByServer2(31);
  EXPECT_EQ(Apply("\n61382 26-12-08 04:55:09 00 0 0  50.0 UTC(NIST) * \n"),
            ReplyOutcome::kClockSet);
  EXPECT_EQ((std::vector<std::string>{"GetSystemTime", "SetSystemTime"}), sim::CallNames());
  EXPECT_EQ((std::vector<std::string>{"SetSystemTime(2026-12-8 (dow 2) 4:55:9.250)"}),
            sim::CallsOf({"SetSystemTime"}));
  EXPECT_EQ(Show(T(2026, 12, 8, 4, 55, 9, 250, 2)), Show(sim::UtcNow()));
}

// Not left to SetSystemTime, which on Windows 9x may take them and which no
// Windows refuses for a year gone wrong.
TEST_F(DaytimeSim, ImpossibleRecordIsNeverSet) {
  for (const char* reply : {
           "61382 26-13-08 04:54:38",  // month 13
           "61382 26-12-08 04:60:38",  // minute 60
           "61382 26-12-08 12:-5:00",  // a negative field
           "61382 26-12-00 04:54:38",  // day 0
           "61382 26-11-31 04:54:38",  // past the end of November
           "61382 26-02-29 04:54:38",  // 2026 is no leap year
           "61382 26-12-08 04:55:60",  // second 60
           "61382 -9-12-08 04:54:38",  // 1991
           "61382 $F-12-08 04:54:38",  // 2015
       }) {
    SCOPED_TRACE(reply);
    sim::ClearJournal();
    EXPECT_EQ(Apply(reply), ReplyOutcome::kUnusable);
    EXPECT_EQ((std::vector<std::string>{"GetSystemTime"}), sim::CallNames());
    EXPECT_EQ(Show(T(2026, 12, 8, 4, 54, 38, 250, 2)), Show(sim::UtcNow()));
  }
}

// The service says a set the system refuses (no right to change the time)
// once, and again only after a set has gone through; the monitor of 98 to
// XP, which may run as a user without that right, says nothing.
TEST_F(DaytimeSim, RefusedSetIsLoggedOnceUntilASetSucceeds) {
  g_logRefusedSet = false;
  sim::FailCall("SetSystemTime", ERROR_PRIVILEGE_NOT_HELD);
  HeldByServer2(120);
  EXPECT_EQ(Apply("61382 26-12-08 04:56:38"), ReplyOutcome::kClockSet);
  EXPECT_TRUE(Lines().empty());
  SetUp();
  sim::FailCall("SetSystemTime", ERROR_PRIVILEGE_NOT_HELD, 0, 2);
  const char* const ahead = "61382 26-12-08 04:56:38";
  for (int refused = 0; refused < 2; ++refused) {
    HeldByServer2(120);
    EXPECT_EQ(Apply(ahead), ReplyOutcome::kClockSet);
    EXPECT_EQ(Show(T(2026, 12, 8, 4, 54, 38, 250, 2)), Show(sim::UtcNow()));
  }
  EXPECT_EQ(Lines(), std::vector<std::string>{"SetSystemTime Failed"});
  HeldByServer2(120);
  EXPECT_EQ(Apply(ahead), ReplyOutcome::kClockSet);
  EXPECT_EQ(Show(T(2026, 12, 8, 4, 56, 38, 250, 2)), Show(sim::UtcNow()));
  sim::FailCall("SetSystemTime", ERROR_PRIVILEGE_NOT_HELD);
  HeldByServer2(120);
  Apply("61382 26-12-08 04:58:38");
  EXPECT_EQ(Lines(), (std::vector<std::string>{"SetSystemTime Failed", "SetSystemTime Failed"}));
}

// No step of more than 15 hours either way on the network's word while the
// clock reads after this build's date; one line says so, once until the
// clock is found right or set. A clock before the build date cannot be
// right, and any agreed step is taken.
TEST_F(DaytimeSim, FarStepsAreTakenOnlyFromAClockBeforeTheBuildDate) {
  const int64_t clock = SecondsSince1970(kClock);
  const SYSTEMTIME unchanged = T(2026, 12, 8, 4, 54, 38, 250, 2);
  struct Row {
    const char* name;
    int64_t buildTime;
    const char* reply;
    ReplyOutcome outcome;
    SYSTEMTIME after;
    const char* line;  // logged, or null
  } rows[] = {
      {"14 h 59 min ahead", 0, "61382 26-12-08 19:53:38", ReplyOutcome::kClockSet,
       T(2026, 12, 8, 19, 53, 38, 250, 2), nullptr},
      {"15 h 01 min ahead", 0, "61382 26-12-08 19:55:38", ReplyOutcome::kStepRefused, unchanged,
       "Step Of 15 Hours Not Taken"},
      {"14 h 59 min behind", 0, "61381 26-12-07 13:55:38", ReplyOutcome::kClockSet,
       T(2026, 12, 7, 13, 55, 38, 250, 1), nullptr},
      {"15 h 01 min behind", 0, "61381 26-12-07 13:53:38", ReplyOutcome::kStepRefused, unchanged,
       "Step Of -15 Hours Not Taken"},
      {"20 years ahead, the clock a second after the build", clock - 1, "68687 46-12-08 04:54:38",
       ReplyOutcome::kStepRefused, unchanged, "Step Of 175320 Hours Not Taken"},
      {"20 years ahead of a clock before the build date", clock + 1, "68687 46-12-08 04:54:38",
       ReplyOutcome::kClockSet, T(2046, 12, 8, 4, 54, 38, 250, 6), nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SetUp();
    g_buildTime = row.buildTime;
    for (int check = 0; check < 2; ++check) {
      HeldByServer2(SecondsBetween(kClock, Parsed(row.reply)));
      EXPECT_EQ(Apply(row.reply), row.outcome);
      if (row.outcome == ReplyOutcome::kClockSet) break;
    }
    EXPECT_EQ(Show(row.after), Show(sim::UtcNow()));
    EXPECT_EQ(Lines(), row.line ? std::vector<std::string>{row.line} : std::vector<std::string>{})
        << "logged once over two checks";
  }
  // Logged again only after the clock was found right.
  SetUp();
  for (const char* reply :
       {"61382 26-12-08 20:54:38", "61382 26-12-08 04:54:40", "61382 26-12-08 20:54:38"}) {
    HeldByServer2(SecondsBetween(kClock, Parsed(reply)));
    Apply(reply);
  }
  EXPECT_EQ(Lines(),
            (std::vector<std::string>{"Step Of 16 Hours Not Taken", "Step Of 16 Hours Not Taken"}));
}

// A step of any size is held until another server asks for it; what clears
// the held step. Each row is a sequence of replies (server, reply), what each
// made of the clock, and the clock after each.
TEST_F(DaytimeSim, StepIsTakenOnlyWhenAnotherServerAgrees) {
  const std::string threeDays = "61382 26-12-08 14:54:38";  // 10 hours ahead of the clock
  const std::string ahead31 = "61382 26-12-08 04:55:09";    // the least step there is
  const std::string ahead61 = "61382 26-12-08 04:55:39";
  const std::string right = "61382 26-12-08 04:54:50";
  const SYSTEMTIME unchanged = T(2026, 12, 8, 4, 54, 38, 250, 2);
  const SYSTEMTIME stepped = T(2026, 12, 8, 14, 54, 38, 250, 2);
  const SYSTEMTIME nudged = T(2026, 12, 8, 4, 55, 9, 250, 2);
  const ReplyOutcome kHeld = ReplyOutcome::kStepHeld, kSet = ReplyOutcome::kClockSet,
                     kRight = ReplyOutcome::kClockRight, kUnusable = ReplyOutcome::kUnusable;
  struct Reply {
    LONG server;
    std::string text;
    ReplyOutcome outcome;
    SYSTEMTIME after;
  };
  struct Row {
    const char* name;
    std::vector<Reply> replies;
  };
  const Row rows[] = {
      {"confirmed by the next", {{1, threeDays, kHeld, unchanged}, {2, threeDays, kSet, stepped}}},
      {"a small step too", {{1, ahead31, kHeld, unchanged}, {3, ahead31, kSet, nudged}}},
      {"30 s apart agree", {{1, ahead61, kHeld, unchanged}, {2, ahead31, kSet, nudged}}},
      {"31 s apart do not",
       {{1, "61382 26-12-08 04:55:40", kHeld, unchanged}, {2, ahead31, kHeld, unchanged}}},
      {"the same server twice",
       {{1, threeDays, kHeld, unchanged}, {1, threeDays, kHeld, unchanged}}},
      {"the same site's twin",
       {{2, threeDays, kHeld, unchanged}, {4, threeDays, kHeld, unchanged}}},
      {"a disagreeing step replaces it",
       {{1, threeDays, kHeld, unchanged},
        {2, ahead31, kHeld, unchanged},
        {3, threeDays, kHeld, unchanged},
        {4, ahead31, kHeld, unchanged},
        {1, ahead31, kSet, nudged}}},
      {"a right clock forgets it",
       {{1, threeDays, kHeld, unchanged},
        {2, right, kRight, unchanged},
        {3, threeDays, kHeld, unchanged}}},
      {"an unusable reply keeps it",
       {{1, threeDays, kHeld, unchanged},
        {2, "61382 26-12-08 23:59:00", kUnusable, unchanged},
        {2, "61382 26-13-08 04:54:38", kUnusable, unchanged},
        {2, "61382 24-12-08 04:54:38", kUnusable, unchanged},
        {3, threeDays, kSet, stepped}}},
      {"an unhealthy server keeps it",
       {{1, threeDays, kHeld, unchanged},
        {2, "61382 26-12-08 04:54:38 00 0 4", kUnusable, unchanged},
        {3, threeDays, kSet, stepped}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SetUp();
    for (const Reply& reply : row.replies) {
      SCOPED_TRACE(reply.text);
      EXPECT_EQ(Apply(reply.text, reply.server), reply.outcome);
      EXPECT_EQ(Show(reply.after), Show(sim::UtcNow()));
    }
  }
}

// ---- the simulated clock ------------------------------------------------------

class SimClock : public ::testing::Test {
 protected:
  void SetUp() override { sim::Reset(); }
};

TEST_F(SimClock, SetSystemTimeTakesOnlyRealDatesAndTimes) {
  struct Row {
    SYSTEMTIME time;
    bool taken;
  };
  const Row rows[] = {
      {T(2024, 2, 29, 12, 0, 0, 0), true},       {T(2023, 2, 29, 12, 0, 0, 0), false},
      {T(2000, 2, 29, 12, 0, 0, 0), true},       {T(1900, 2, 29, 12, 0, 0, 0), false},
      {T(2100, 2, 29, 12, 0, 0, 0), false},      {T(2026, 2, 28, 12, 0, 0, 0), true},
      {T(2026, 4, 30, 12, 0, 0, 0), true},       {T(2026, 4, 31, 12, 0, 0, 0), false},
      {T(2026, 1, 31, 12, 0, 0, 0), true},       {T(2026, 1, 32, 12, 0, 0, 0), false},
      {T(2026, 12, 31, 23, 59, 59, 999), true},  {T(2026, 0, 8, 12, 0, 0, 0), false},
      {T(2026, 13, 8, 12, 0, 0, 0), false},      {T(2026, 12, 0, 12, 0, 0, 0), false},
      {T(2026, 12, 8, 24, 0, 0, 0), false},      {T(2026, 12, 8, 12, 60, 0, 0), false},
      {T(2026, 12, 8, 12, 0, 60, 0), false},     {T(2026, 12, 8, 12, 0, 0, 1000), false},
      {T(1600, 12, 31, 23, 59, 59, 999), false}, {T(1601, 1, 1, 0, 0, 0, 0), true},
      {T(30827, 12, 31, 23, 59, 59, 999), true}, {T(30828, 1, 1, 0, 0, 0, 0), false},
      {T(2026, 12, 8, 12, 0, 0, 0, 9), true},  // the day of week is ignored
      {T(2026, 0xFFFB, 8, 12, 0, 0, 0), false},
  };
  const SYSTEMTIME before = T(2026, 6, 15, 8, 30, 0, 125);
  for (const Row& row : rows) {
    SCOPED_TRACE(Show(row.time));
    sim::SetUtcNow(before);
    SetLastError(0);
    const BOOL result = SetSystemTime(&row.time);
    SYSTEMTIME now;
    GetSystemTime(&now);
    if (row.taken) {
      EXPECT_TRUE(result);
      SYSTEMTIME expected = row.time;
      expected.wDayOfWeek = now.wDayOfWeek;
      EXPECT_EQ(Show(expected), Show(now));
    } else {
      EXPECT_FALSE(result);
      EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
      EXPECT_EQ(Show(T(2026, 6, 15, 8, 30, 0, 125, 1)), Show(now));
    }
  }
}

TEST_F(SimClock, SetUtcNowRefusesWhatSetSystemTimeRefuses) {
  EXPECT_THROW(sim::SetUtcNow(T(2026, 2, 30, 0, 0, 0, 0)), std::invalid_argument);
}

TEST_F(SimClock, RunsWithVirtualTimeAcrossDaysAndYears) {
  sim::SetUtcNow(T(2024, 2, 28, 23, 59, 59, 500));
  sim::AdvanceMs(500);
  EXPECT_EQ(Show(T(2024, 2, 29, 0, 0, 0, 0, 4)), Show(sim::UtcNow()));
  sim::AdvanceMs(86400000);
  EXPECT_EQ(Show(T(2024, 3, 1, 0, 0, 0, 0, 5)), Show(sim::UtcNow()));
  sim::SetUtcNow(T(1999, 12, 31, 23, 59, 59, 999));
  sim::AdvanceMs(1);
  EXPECT_EQ(Show(T(2000, 1, 1, 0, 0, 0, 0, 6)), Show(sim::UtcNow()));
}

TEST_F(SimClock, EveryDayFollowsTheOneBefore) {
  // Walks all days 1601..30827 through FromMs1601 and checks each against the
  // calendar rules directly, and that ToMs1601 takes it back.
  const int64_t kDay = 86400000;
  SYSTEMTIME previous = sim::FromMs1601(0);
  ASSERT_EQ(Show(T(1601, 1, 1, 0, 0, 0, 0, 1)), Show(previous));
  for (int64_t days = 1;; ++days) {
    const SYSTEMTIME t = sim::FromMs1601(days * kDay + 43200000);
    const bool newMonth = t.wDay == 1;
    const bool sameYear = t.wYear == previous.wYear;
    const bool ok =
        t.wHour == 12 && t.wMinute == 0 && t.wSecond == 0 &&
        t.wDayOfWeek == (previous.wDayOfWeek + 1) % 7 && sim::IsValidSystemTime(t) &&
        (newMonth ? (sameYear ? t.wMonth == previous.wMonth + 1
                              : t.wYear == previous.wYear + 1 && t.wMonth == 1 &&
                                    previous.wMonth == 12 && previous.wDay == 31)
                  : sameYear && t.wMonth == previous.wMonth && t.wDay == previous.wDay + 1) &&
        sim::ToMs1601(t) == days * kDay + 43200000;
    if (!ok) {
      ADD_FAILURE() << Show(previous) << " then " << Show(t);
      return;
    }
    // Each month ends where IsValidSystemTime says it does.
    if (newMonth) {
      SYSTEMTIME pastEnd = previous;
      pastEnd.wDay = static_cast<WORD>(previous.wDay + 1);
      if (sim::IsValidSystemTime(pastEnd)) {
        ADD_FAILURE() << "month goes on past " << Show(previous);
        return;
      }
    }
    if (t.wYear == 30827 && t.wMonth == 12 && t.wDay == 31) break;
    previous = t;
  }
}

}  // namespace

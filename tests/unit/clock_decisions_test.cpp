// The clock check's platform-free decisions: which servers, which step, and
// when the domain keeps the clock.
#include <gtest/gtest.h>

#include <set>

#include "monitor/domain_time.h"
#include "monitor/far_step.h"
#include "monitor/server_table.h"

namespace {

TEST(ServerTable, FourServersOfThreeSitesNoneTwiceInARow) {
  InitServerTable();
  std::set<LONG> sites;
  for (LONG i = 1; i <= kServerCount; ++i) {
    sites.insert(ServerSite(i));
    EXPECT_NE(ServerSite(i), ServerSite(NextServerIndex(i))) << i;
    EXPECT_EQ(std::string(g_servers.urls[i]).rfind("http://", 0), 0u);
    EXPECT_NE(std::string(g_servers.urls[i]).find(":13/"), std::string::npos);
  }
  EXPECT_GE(sites.size(), 3u);
}

// Where the next check starts once the first server asked for a step.
TEST(ServerAfterHeldStep, TheConfirmingServerOnlyAfterAUsefulAnswer) {
  struct Case {
    LONG first;
    std::optional<ReplyOutcome> second;
    LONG next;
  } cases[] = {
      {1, ReplyOutcome::kClockSet, 2},   {1, ReplyOutcome::kStepRefused, 2},
      {1, ReplyOutcome::kClockRight, 2}, {1, ReplyOutcome::kStepHeld, 3},
      {1, ReplyOutcome::kUnusable, 3},   {1, std::nullopt, 2},
      {3, ReplyOutcome::kUnusable, 1},   {4, ReplyOutcome::kClockSet, 1},
      {4, ReplyOutcome::kStepHeld, 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ServerAfterHeldStep(c.first, c.second), c.next) << c.first;
  }
}

TEST(MayTakeStep, FifteenHoursEitherWayUnlessTheClockIsBeforeTheBuild) {
  constexpr int64_t kBuilt = 1796774400;  // some commit's time
  struct Case {
    int64_t seconds;
    int64_t clock;
    bool taken;
  } cases[] = {
      {15 * 3600, kBuilt, true},
      {15 * 3600 + 1, kBuilt, false},
      {-15 * 3600, kBuilt, true},
      {-15 * 3600 - 1, kBuilt, false},
      {20 * 365 * 86400LL, kBuilt - 1, true},
      {-20 * 365 * 86400LL, kBuilt - 1, true},
      {20 * 365 * 86400LL, kBuilt + 86400, false},
      {0, kBuilt, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MayTakeStep(c.seconds, c.clock, kBuilt), c.taken) << c.seconds << " " << c.clock;
  }
  // A build that cannot be dated lets no far step through.
  EXPECT_FALSE(MayTakeStep(16 * 3600, 0, 0));
}

TEST(FarStepMessage, WholeHoursWithTheirDirection) {
  EXPECT_EQ(FarStepMessage(15 * 3600 + 60), "Step Of 15 Hours Not Taken");
  EXPECT_EQ(FarStepMessage(-(20 * 3600 + 3599)), "Step Of -20 Hours Not Taken");
  EXPECT_EQ(FarStepMessage(175320LL * 3600), "Step Of 175320 Hours Not Taken");
}

TEST(FollowsDomain, NtDsOrAllSyncWhileTheServiceIsNotDisabled) {
  struct Case {
    std::optional<std::string> type;
    std::optional<DWORD> start;
    bool follows;
  } cases[] = {
      {"NT5DS", 2, true},   {"AllSync", 3, true},     {"nt5ds", std::nullopt, true},
      {"NT5DS", 4, false},  {"AllSync", 4, false},    {"NTP", 2, false},
      {"NoSync", 2, false}, {std::nullopt, 2, false}, {"", 2, false},
      {"NT5DS ", 2, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FollowsDomain(c.type, c.start), c.follows) << c.type.value_or("(none)");
  }
}

}  // namespace

// The platform-free decisions of the service: which Windows runs it, and
// where its log folder is, what a folder found in its place is moved to.
#include <gtest/gtest.h>

#include "monitor/log_folder.h"
#include "monitor/well_known_sids.h"
#include "monitor/windows_version.h"
#include "setup/own_folder.h"

namespace {

TEST(IsVistaOrLater, ReadsGetVersion) {
  struct Case {
    uint32_t version;
    bool vista;
    const char* windows;
  } cases[] = {
      {0xC0000A04, false, "98 (4.10, 9x bit)"},
      {0xC0005A04, false, "ME (4.90)"},
      {0x05650004, false, "NT 4.0 (1381)"},
      {0x08930005, false, "2000 (5.0.2195)"},
      {0x0A280105, false, "XP (5.1.2600)"},
      {0x0ECE0205, false, "Server 2003 (5.2.3790)"},
      {0x17700006, true, "Vista (6.0.6000)"},
      {0x1DB10106, true, "7 SP1 (6.1.7601), what Wine reports by default"},
      {0x23F00206, true, "8, or 10 without a manifest (6.2.9200)"},
      {0x4AA5000A, true, "10 (10.0.19045)"},
      {0x8000000A, false, "a 9x bit with a major of 10 is not an NT"},
  };
  for (const Case& c : cases) EXPECT_EQ(IsVistaOrLater(c.version), c.vista) << c.windows;
}

TEST(ServiceLogFolderIn, AddsTheFolderName) {
  EXPECT_EQ(ServiceLogFolderIn("C:\\ProgramData"), "C:\\ProgramData\\Vorn");
  EXPECT_EQ(ServiceLogFolderIn("D:\\"), "D:\\Vorn");
  EXPECT_EQ(ServiceLogFolderIn("C:\\ProgramData\\"), "C:\\ProgramData\\Vorn");
}

TEST(SetAsideName, SaysSoAndCountsOn) {
  EXPECT_EQ(SetAsideName("C:\\ProgramData\\Vorn", 0), "C:\\ProgramData\\Vorn.set-aside");
  EXPECT_EQ(SetAsideName("C:\\ProgramData\\Vorn", 1), "C:\\ProgramData\\Vorn.set-aside.1");
  EXPECT_EQ(SetAsideName("C:\\Program Files\\Vorn", kSetAsideAttempts - 1),
            "C:\\Program Files\\Vorn.set-aside.99");
}

TEST(SameSid, ComparesCountAuthorityAndEverySubAuthority) {
  const WellKnownSid user = {1, 2, {0, 0, 0, 0, 0, 5}, {32, 545}};
  const WellKnownSid otherRid = {1, 2, {0, 0, 0, 0, 0, 5}, {32, 546}};
  const WellKnownSid shorter = {1, 1, {0, 0, 0, 0, 0, 5}, {32, 0}};
  const WellKnownSid authority = {1, 2, {0, 0, 0, 0, 0, 1}, {32, 545}};
  EXPECT_TRUE(SidIs(&user, kUsers));
  EXPECT_FALSE(SidIs(&otherRid, kUsers));
  EXPECT_FALSE(SidIs(&shorter, kUsers));
  EXPECT_FALSE(SidIs(&authority, kUsers));
  EXPECT_FALSE(SidIs(nullptr, kUsers));
  EXPECT_TRUE(SidIs(&kLocalService, kLocalService));
  EXPECT_FALSE(SidIs(&kLocalService, kLocalSystem));
  EXPECT_FALSE(SameSid(&kAdministrators, nullptr));
}

}  // namespace

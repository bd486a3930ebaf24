// Where the removal script goes on NT, and what GetVersion's answer says.
#include "setup/removal_place.h"

#include <gtest/gtest.h>

#include "monitor/windows_version.h"

namespace {

TEST(RemovalFolder, AFolderOfItsOwnInTheWindowsFolder) {
  struct Case {
    const char* windows;
    int attempt;
    const char* folder;
  } cases[] = {
      {"C:\\WINDOWS", 0, "C:\\WINDOWS\\VornRemoval"},
      {"C:\\WINNT", 1, "C:\\WINNT\\VornRemoval.1"},
      {"D:\\Windows", 99, "D:\\Windows\\VornRemoval.99"},
      // Windows installed in a drive's root.
      {"C:\\", 0, "C:\\VornRemoval"},
      {"C:", 2, "C:\\VornRemoval.2"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RemovalFolder(c.windows, c.attempt), c.folder) << c.windows << " " << c.attempt;
    EXPECT_EQ(RemovalScriptIn(c.folder), std::string(c.folder) + "\\DelAll.bat");
  }
}

TEST(WindowsVersion, FromGetVersion) {
  struct Case {
    const char* name;
    uint32_t version;
    bool windows9x;
    bool vistaOrLater;
    bool mergesInherited;
  } cases[] = {
      {"95", 0xC3B60004, true, false, false},
      {"98", 0xC0000A04, true, false, false},
      {"ME", 0xC0005A04, true, false, false},
      {"NT 4.0", 0x05650004, false, false, false},
      {"2000", 0x08930005, false, false, true},
      {"XP", 0x0A280105, false, false, true},
      {"Vista", 0x17700006, false, true, true},
      {"7", 0x1DB10106, false, true, true},
      {"8 and later without a manifest naming them", 0x23F00206, false, true, true},
      {"10 with a manifest naming it", 0x4A65000A, false, true, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsWindows9x(c.version), c.windows9x) << c.name;
    EXPECT_EQ(IsVistaOrLater(c.version), c.vistaOrLater) << c.name;
    EXPECT_EQ(MergesInheritedAccess(c.version), c.mergesInherited) << c.name;
  }
}

}  // namespace

// Where the service's program lies and how the service manager starts it.
#include "setup/service_place.h"

#include <gtest/gtest.h>

namespace {

TEST(ServicePlace, FolderAndCommands) {
  EXPECT_EQ(ProgramFolderIn("C:\\Program Files (x86)"), "C:\\Program Files (x86)\\Vorn");
  EXPECT_EQ(ProgramFolderIn("D:\\"), "D:\\Vorn");
  EXPECT_EQ(ServiceCommand("C:\\Program Files\\Vorn"),
            "\"C:\\Program Files\\Vorn\\VornMon.exe\" -service");
  EXPECT_EQ(UninstallCommand("C:\\Program Files\\Vorn"),
            "\"C:\\Program Files\\Vorn\\VornMon.exe\" -r");
}

// Only the program's own folder is removed after it: not the folder of a
// copy elsewhere, nor one whose name merely begins the same.
TEST(ServicePlace, LiesInProgramFolderOnlyStraightInIt) {
  const std::string folder = "C:\\Program Files\\Vorn";
  struct Case {
    const char* exe;
    bool inside;
  } cases[] = {
      {"C:\\Program Files\\Vorn\\VornMon.exe", true},
      {"c:\\PROGRAM FILES\\vorn\\VORNMON.EXE", true},
      {"C:\\Program Files\\Vorn2\\VornMon.exe", false},
      {"C:\\Program Files\\Vorn\\Old\\VornMon.exe", false},
      {"C:\\Program Files\\VornMon.exe", false},
      {"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp\\VornMon.exe", false},
      {"C:\\Program Files\\Vorn\\", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LiesInProgramFolder(c.exe, folder), c.inside) << c.exe;
  }
  EXPECT_FALSE(LiesInProgramFolder("\\VornMon.exe", "")) << "no Program Files folder";
}

}  // namespace

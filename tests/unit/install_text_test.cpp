// The installer's texts and paths, and how a registry value becomes text.
#include "setup/install_text.h"

#include <gtest/gtest.h>

#include "platform/win_registry.h"

namespace {

TEST(InstallMessage, IsTheElevenLinesByteForByte) {
  const std::string expected =
      "Vorn 2.0 Successfully Installed.\r\n"
      "\r\n"
      "Monitoring and correction of your system clock will be performed\r\n"
      "automatically and transparently.\r\n"
      "\r\n"
      "You can temporarily disable Vorn if needed by following these steps:\r\n"
      "    1)  Use Ctrl-Alt-Del to bring up the running task list.\r\n"
      "    2)  Highlight the \"Vornmon\" entry.\r\n"
      "    3)  Click the \"End Task\" button.\r\n"
      "\r\n"
      "Use the \"Add/Remove Programs\" Control Panel to uninstall Vorn.";
  EXPECT_EQ(InstallMessage(), expected);
  EXPECT_EQ(InstallMessage().size(), 411u);
}

TEST(RegistryValueText, FolderRules) {
  using std::string_literals::operator""s;
  struct Case {
    const char* name;
    uint32_t type;
    std::string data;
    std::optional<std::string> text;
  } cases[] = {
      {"terminated text", REG_SZ, "C:\\Start\0"s, "C:\\Start"},
      {"unterminated text is taken whole", REG_SZ, "C:\\Start"s, "C:\\Start"},
      {"up to the first zero", REG_SZ, "C:\\A\0C:\\B\0"s, "C:\\A"},
      {"expandable text is not expanded", REG_EXPAND_SZ, "%ALLUSERSPROFILE%\\StartUp\0"s,
       "%ALLUSERSPROFILE%\\StartUp"},
      {"trailing backslash kept", REG_SZ, "C:\\Start\\\0"s, "C:\\Start\\"},
      {"blanks kept", REG_SZ, " C:\\Start \0"s, " C:\\Start "},
      {"just a zero is empty", REG_SZ, "\0"s, ""},
      {"no data is empty", REG_SZ, "", ""},
      {"dword without data is empty", REG_DWORD, "", ""},
      {"binary without data is empty", REG_BINARY, "", ""},
      {"dword with data is no text", REG_DWORD, "\x01\0\0\0"s, std::nullopt},
      {"binary with data is no text", REG_BINARY, "C:\\Start\0"s, std::nullopt},
      {"multi-string is no text", REG_MULTI_SZ, "C:\\Start\0\0"s, std::nullopt},
      {"untyped with data is no text", REG_NONE, "x", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RegistryValueText(c.type, c.data), c.text) << c.name;
  }
}

TEST(InstallPaths, BuiltFromTheFolderAsItIs) {
  struct Case {
    const char* folder;
    const char* installed;
    const char* uninstall;
  } cases[] = {
      {kDefaultStartupFolder, "C:\\WINDOWS\\Start Menu\\Programs\\StartUp\\VornMon.exe",
       "\"C:\\WINDOWS\\Start Menu\\Programs\\StartUp\\VornMon.exe\" -r"},
      {"C:\\StartUp\\", "C:\\StartUp\\\\VornMon.exe", "\"C:\\StartUp\\\\VornMon.exe\" -r"},
      {"", "\\VornMon.exe", "\"\\VornMon.exe\" -r"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(InstalledPath(c.folder), c.installed) << c.folder;
    EXPECT_EQ(UninstallCommand(c.folder), c.uninstall) << c.folder;
  }
}

TEST(InstallFailedMessage, NamesTargetErrorAndReason) {
  EXPECT_EQ(
      InstallFailedMessage("C:\\S\\VornMon.exe", 32, "The process cannot access the file.\r\n"),
      "Vorn 2.0 could not be installed.\r\n\r\nIt could not be copied to "
      "\"C:\\S\\VornMon.exe\":\r\nError 32: The process cannot access the file.");
  EXPECT_EQ(InstallFailedMessage("\\VornMon.exe", 1234, ""),
            "Vorn 2.0 could not be installed.\r\n\r\nIt could not be copied to "
            "\"\\VornMon.exe\":\r\nError 1234.");
}

TEST(FolderInTheWayMessage, NamesTheFolderWhyAndWhatToDo) {
  EXPECT_EQ(
      FolderInTheWayMessage("C:\\ProgramData\\Vorn", 32, "The process cannot access the file.\r\n"),
      "Vorn 2.0 could not be installed.\r\n\r\nThe folder \"C:\\ProgramData\\Vorn\" is in "
      "the way: Vorn did not make it, and it could not be moved aside (Error 32: The "
      "process cannot access the file.)\r\n\r\nMove or delete that folder, then run Vorn "
      "again.");
}

}  // namespace

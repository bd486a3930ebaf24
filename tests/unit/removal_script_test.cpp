// The removal script's path choice and text.
#include "setup/removal_script.h"

#include <gtest/gtest.h>

namespace {

TEST(ScriptPath, ShortFormWhenGivenElseLongPath) {
  struct Case {
    const char* name;
    const char* longPath;
    const char* shortPath;
    const char* expected;
  } cases[] = {
      {"short form given", "C:\\Program Files\\Vorn\\VornMon.exe",
       "C:\\PROGRA~1\\Vorn\\VornMon.exe", "C:\\PROGRA~1\\Vorn\\VornMon.exe"},
      {"short form same as long", "C:\\Vorn\\VornMon.exe", "C:\\Vorn\\VornMon.exe",
       "C:\\Vorn\\VornMon.exe"},
      {"no short form", "C:\\Program Files\\Vorn\\VornMon.exe", "",
       "C:\\Program Files\\Vorn\\VornMon.exe"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScriptPath(c.longPath, c.shortPath), c.expected) << c.name;
  }
}

TEST(RemovalScriptText, ByteForByte) {
  const std::string longName(200, 'x');
  struct Case {
    const char* name;
    std::string path;
    std::string text;
  } cases[] = {
      {"short path, unquoted", "C:\\PROG~BDQ\\VORNMON.EXE",
       ":Repeat\r\n"
       "del C:\\PROG~BDQ\\VORNMON.EXE\r\n"
       "if exist C:\\PROG~BDQ\\VORNMON.EXE goto Repeat\r\n"
       "del c:\\DelAll.bat\r\n"},
      {"blank in the path, quoted", "C:\\Program Files\\Vorn\\VornMon.exe",
       ":Repeat\r\n"
       "del \"C:\\Program Files\\Vorn\\VornMon.exe\"\r\n"
       "if exist \"C:\\Program Files\\Vorn\\VornMon.exe\" goto Repeat\r\n"
       "del c:\\DelAll.bat\r\n"},
      {"long path without blanks, not cut", "C:\\" + longName + "\\VornMon.exe",
       ":Repeat\r\ndel C:\\" + longName + "\\VornMon.exe\r\nif exist C:\\" + longName +
           "\\VornMon.exe goto Repeat\r\ndel c:\\DelAll.bat\r\n"},
      // cmd would expand these; %% stands for one %.
      {"a % in the folder", "C:\\100%\\VORNMON.EXE",
       ":Repeat\r\n"
       "del C:\\100%%\\VORNMON.EXE\r\n"
       "if exist C:\\100%%\\VORNMON.EXE goto Repeat\r\n"
       "del c:\\DelAll.bat\r\n"},
      {"two around a word", "C:\\%windir%\\VORNMON.EXE",
       ":Repeat\r\n"
       "del C:\\%%windir%%\\VORNMON.EXE\r\n"
       "if exist C:\\%%windir%%\\VORNMON.EXE goto Repeat\r\n"
       "del c:\\DelAll.bat\r\n"},
      {"a blank and a %", "C:\\Start Up 50%\\VornMon.exe",
       ":Repeat\r\n"
       "del \"C:\\Start Up 50%%\\VornMon.exe\"\r\n"
       "if exist \"C:\\Start Up 50%%\\VornMon.exe\" goto Repeat\r\n"
       "del c:\\DelAll.bat\r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RemovalScriptText(c.path), c.text) << c.name;
  }
}

TEST(RemovalScriptText, SizeIs57PlusTwiceAPathWithoutBlanks) {
  for (const std::string path : {"C:\\V.EXE", "C:\\DOCUME~1\\ALLUSE~1\\STARTM~1\\VornMon.exe"}) {
    EXPECT_EQ(RemovalScriptText(path).size(), 57 + 2 * path.size()) << path;
  }
  // Quotes add two bytes on each of the two lines.
  const std::string blank = "C:\\A B\\VornMon.exe";
  EXPECT_EQ(RemovalScriptText(blank).size(), 57 + 2 * blank.size() + 4);
}

TEST(RemovalScriptText, LongPathFallBackIsQuoted) {
  const std::string longPath = "C:\\users\\Public\\Start Menu\\Programs\\StartUp\\VornMon.exe";
  EXPECT_EQ(RemovalScriptLines(ScriptPath(longPath, "")),
            (std::vector<std::string>{":Repeat", "del \"" + longPath + "\"",
                                      "if exist \"" + longPath + "\" goto Repeat",
                                      "del c:\\DelAll.bat"}));
}

}  // namespace

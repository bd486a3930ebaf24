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

// The script's text around the path as lines 2 and 3 give it.
std::string ScriptFor(const std::string& target) {
  return ":Repeat\r\ndel " + target + "\r\nif exist " + target +
         " goto Repeat\r\ndel c:\\DelAll.bat\r\n";
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
      // Unquoted, cmd would run `del C:\r` and then `d\VornMon.exe`.
      {"&", "C:\\r&d\\VornMon.exe", ScriptFor("\"C:\\r&d\\VornMon.exe\"")},
      {"& and a blank", "C:\\R & D\\VornMon.exe", ScriptFor("\"C:\\R & D\\VornMon.exe\"")},
      {"& and a %", "C:\\r&d%\\VornMon.exe", ScriptFor("\"C:\\r&d%%\\VornMon.exe\"")},
      // Unquoted, ^ would escape the y: `del C:\xy\VornMon.exe`.
      {"^", "C:\\x^y\\VornMon.exe", ScriptFor("\"C:\\x^y\\VornMon.exe\"")},
      {"^ and a blank", "C:\\x ^y\\VornMon.exe", ScriptFor("\"C:\\x ^y\\VornMon.exe\"")},
      {"^ and a %", "C:\\x^y%z%\\VornMon.exe", ScriptFor("\"C:\\x^y%%z%%\\VornMon.exe\"")},
      // , ; = end an argument like a blank.
      {",", "C:\\a,b\\VornMon.exe", ScriptFor("\"C:\\a,b\\VornMon.exe\"")},
      {", and a blank", "C:\\a, b\\VornMon.exe", ScriptFor("\"C:\\a, b\\VornMon.exe\"")},
      {", and a %", "C:\\a,b%\\VornMon.exe", ScriptFor("\"C:\\a,b%%\\VornMon.exe\"")},
      {";", "C:\\a;b\\VornMon.exe", ScriptFor("\"C:\\a;b\\VornMon.exe\"")},
      {"; and a blank", "C:\\a; b\\VornMon.exe", ScriptFor("\"C:\\a; b\\VornMon.exe\"")},
      {"; and a %", "C:\\a;b%\\VornMon.exe", ScriptFor("\"C:\\a;b%%\\VornMon.exe\"")},
      {"=", "C:\\a=b\\VornMon.exe", ScriptFor("\"C:\\a=b\\VornMon.exe\"")},
      {"= and a blank", "C:\\a = b\\VornMon.exe", ScriptFor("\"C:\\a = b\\VornMon.exe\"")},
      {"= and a %", "C:\\a=b%\\VornMon.exe", ScriptFor("\"C:\\a=b%%\\VornMon.exe\"")},
      // ( ) group commands, as in an `if` line.
      {"( )", "C:\\V(2)\\VornMon.exe", ScriptFor("\"C:\\V(2)\\VornMon.exe\"")},
      {"( ) and a blank", "C:\\Program Files (x86)\\VornMon.exe",
       ScriptFor("\"C:\\Program Files (x86)\\VornMon.exe\"")},
      {"( ) and a %", "C:\\V(50%)\\VornMon.exe", ScriptFor("\"C:\\V(50%%)\\VornMon.exe\"")},
      {"a lone (", "C:\\V(\\VornMon.exe", ScriptFor("\"C:\\V(\\VornMon.exe\"")},
      {"a lone )", "C:\\V)\\VornMon.exe", ScriptFor("\"C:\\V)\\VornMon.exe\"")},
      // OEM bytes (0x82 is e-acute in code page 437) are written as given.
      {"OEM bytes", "C:\\D\x82marr\\VornMon.exe", ScriptFor("C:\\D\x82marr\\VornMon.exe")},
      {"OEM bytes and &", "C:\\D\x82marr&Co\\VornMon.exe",
       ScriptFor("\"C:\\D\x82marr&Co\\VornMon.exe\"")},
      // Characters that mean nothing to cmd outside `for` and delayed expansion.
      {"other punctuation unquoted", "C:\\a!b#c$d'e+f@g[h]i`j{k}l~m\\VornMon.exe",
       ScriptFor("C:\\a!b#c$d'e+f@g[h]i`j{k}l~m\\VornMon.exe")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RemovalScriptText(c.path), c.text) << c.name;
  }
}

// Whether CharToOemA's result names the same file: ANSI 1252 to OEM 437 as
// Windows converts.
TEST(OemPathNamesSameFile, OnlyWhenNoCharacterBecameASCIIOrControl) {
  struct Case {
    const char* name;
    std::string ansi;
    std::string oem;
    bool same;
  } cases[] = {
      {"ASCII", "C:\\r&d\\VornMon.exe", "C:\\r&d\\VornMon.exe", true},
      {"e-acute and E-acute, which 437 has", "C:\\D\xE9marr\\MENUD\xC9~1\\VornMon.exe",
       "C:\\D\x82marr\\MENUD\x90~1\\VornMon.exe", true},
      // A code page pair such as 932 and 932 converts nothing.
      {"the same non-ASCII bytes", "C:\\\x83\x5C\\VornMon.exe", "C:\\\x83\x5C\\VornMon.exe", true},
      {"A-grave as A", "C:\\\xC0 voir\\VornMon.exe", "C:\\A voir\\VornMon.exe", false},
      {"per mille as %", "C:\\5\x89\\VornMon.exe", "C:\\5%\\VornMon.exe", false},
      {"single guillemet as <", "C:\\a\x8B\\VornMon.exe", "C:\\a<\\VornMon.exe", false},
      {"section sign as a control byte", "C:\\\xA7 2\\VornMon.exe", "C:\\\x15 2\\VornMon.exe",
       false},
      {"shorter", "C:\\D\xE9marr\\VornMon.exe", "C:\\D\x82marr", false},
      {"an ASCII byte changed", "C:\\a\\VornMon.exe", "C:\\b\\VornMon.exe", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OemPathNamesSameFile(c.ansi, c.oem), c.same) << c.name;
  }
}

// On NT the last line takes the script and its folder away and ends cmd;
// both paths are written as the program's path is.
TEST(RemovalScriptText, InAFolderOfItsOwn) {
  struct Case {
    const char* name;
    std::string script;
    std::string folder;
    std::string last;
  } cases[] = {
      {"plain", "C:\\WINDOWS\\VornRemoval\\DelAll.bat", "C:\\WINDOWS\\VornRemoval",
       "del C:\\WINDOWS\\VornRemoval\\DelAll.bat & rd C:\\WINDOWS\\VornRemoval & exit"},
      {"a blank and a %", "C:\\Win 50%\\VornRemoval.1\\DelAll.bat", "C:\\Win 50%\\VornRemoval.1",
       "del \"C:\\Win 50%%\\VornRemoval.1\\DelAll.bat\" & rd \"C:\\Win 50%%\\VornRemoval.1\" & "
       "exit"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RemovalScriptLines("C:\\PROG~1\\VornMon.exe", c.script, c.folder),
              (std::vector<std::string>{":Repeat", "del C:\\PROG~1\\VornMon.exe",
                                        "if exist C:\\PROG~1\\VornMon.exe goto Repeat", c.last}))
        << c.name;
    EXPECT_EQ(RemovalScriptText("C:\\V.EXE", c.script, c.folder),
              ":Repeat\r\ndel C:\\V.EXE\r\nif exist C:\\V.EXE goto Repeat\r\n" + c.last + "\r\n")
        << c.name;
  }
}

// The service's program folder (Vista and later) goes on the last line,
// after the loop has deleted the program, written as any other path.
TEST(RemovalScriptText, RemovesTheProgramFolderFirstOnTheLastLine) {
  struct Case {
    std::string folder;
    std::string written;
  } cases[] = {
      {"C:\\PROGRA~1\\Vorn", "C:\\PROGRA~1\\Vorn"},
      {"C:\\Program Files (x86)\\Vorn", "\"C:\\Program Files (x86)\\Vorn\""},
      {"D:\\100%\\Vorn", "D:\\100%%\\Vorn"},
  };
  for (const Case& c : cases) {
    const std::vector<std::string> lines =
        RemovalScriptLines(c.folder + "\\VornMon.exe", "C:\\Windows\\VornRemoval\\DelAll.bat",
                           "C:\\Windows\\VornRemoval", c.folder);
    ASSERT_EQ(lines.size(), 4u) << c.folder;
    EXPECT_EQ(lines[3], "rd " + c.written +
                            " & del C:\\Windows\\VornRemoval\\DelAll.bat & rd "
                            "C:\\Windows\\VornRemoval & exit")
        << c.folder;
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

TEST(RemovalCommandLine, NamedInterpreterNoAutoRunFrom2000On) {
  constexpr uint32_t kNt4 = 0x05650004, k2000 = 0x08930005, kXp = 0x0A280105, k10 = 0x4A61000A;
  const std::string script = "C:\\WINNT\\VornRemoval\\DelAll.bat";
  struct Case {
    const char* name;
    const char* cmd;
    uint32_t version;
    std::string line;
  } cases[] = {
      {"NT 4.0 has neither /d nor AutoRun", "C:\\WINNT\\system32\\cmd.exe", kNt4,
       "C:\\WINNT\\system32\\cmd.exe /c \"" + script + "\""},
      {"2000", "C:\\WINNT\\system32\\cmd.exe", k2000,
       "C:\\WINNT\\system32\\cmd.exe /d /c \"" + script + "\""},
      {"XP", "C:\\WINDOWS\\system32\\cmd.exe", kXp,
       "C:\\WINDOWS\\system32\\cmd.exe /d /c \"" + script + "\""},
      {"10, a system folder with a blank is quoted", "D:\\My Windows\\system32\\cmd.exe", k10,
       "\"D:\\My Windows\\system32\\cmd.exe\" /d /c \"" + script + "\""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RemovalCommandLine(c.cmd, script, c.version), c.line) << c.name;
  }
}

}  // namespace

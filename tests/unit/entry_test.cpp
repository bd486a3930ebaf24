// Command-line splitting, role selection and server rotation.
#include "monitor/entry.h"

#include <gtest/gtest.h>

#include "monitor/command_line.h"
#include "monitor/server_table.h"

namespace {

using Words = std::vector<std::string>;

TEST(SplitCommandLine, Table) {
  const std::string longWord(300, 'x');
  struct Case {
    const char* name;
    std::string line;
    Words words;
  } cases[] = {
      {"empty line", "", {}},
      {"blanks only", "   \t ", {}},
      {"program only", "Setup.exe", {"Setup.exe"}},
      {"quoted program and switch",
       "\"C:\\Program Files\\VornMon.exe\" -r",
       {"C:\\Program Files\\VornMon.exe", "-r"}},
      {"quoted run inside a word", "p ab\"c d\"e", {"p", "abc de"}},
      {"quoted switch", "p \"-r\"", {"p", "-r"}},
      {"control bytes separate", "p\x01\x02-r\x1f\x20x", {"p", "-r", "x"}},
      {"empty quotes between words are skipped", "p \"\" -r", {"p", "-r"}},
      {"empty quotes repeated", "p \"\"\"\"  \"\" -r", {"p", "-r"}},
      {"empty quotes inside a word give nothing", "p a\"\"b", {"p", "ab"}},
      {"unclosed quote runs to the end", "p \"a b  c", {"p", "a b  c"}},
      {"quote right after quote closes", "p \"a\"\"b\"", {"p", "ab"}},
      {"high bytes belong to words", "p \xe9t\xe9", {"p", "\xe9t\xe9"}},
      {"long word kept whole", "p " + longWord + " q", {"p", longWord, "q"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SplitCommandLine(c.line.c_str()), c.words) << c.name;
  }
}

// The parameters handed on to another copy of the program: as written, and
// read back by that copy as the same words 1, 2, ...
TEST(ParametersText, WhatFollowsTheProgramAsWritten) {
  struct Case {
    const char* name;
    const char* line;
    const char* parameters;
  } cases[] = {
      {"empty line", "", ""},
      {"program only", "Setup.exe", ""},
      {"blanks after the program", "Setup.exe  \t", ""},
      {"quoted program with a blank", "\"C:\\Program Files\\VornMon.exe\"  -r", "-r"},
      {"quoted run inside the program", "C:\\a\"b c\"\\Vorn.exe -r x", "-r x"},
      {"quotes kept", "p /x \"a  b\" \"\"", "/x \"a  b\" \"\""},
      {"empty quotes before the program", "\"\" p -r", "-r"},
      {"unclosed quote in the program", "\"C:\\a b -r", ""},
      {"control bytes separate", "p\x01\x02-r", "-r"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParametersText(c.line), c.parameters) << c.name;
    Words all = SplitCommandLine(c.line);
    Words handed = SplitCommandLine(("p " + ParametersText(c.line)).c_str());
    if (!all.empty()) all.erase(all.begin());
    handed.erase(handed.begin());
    EXPECT_EQ(handed, all) << c.name;
  }
}

TEST(SplitCommandLine, ParamBeyondLastWordIsEmpty) {
  Words words = SplitCommandLine("VornMon.exe -r");
  EXPECT_EQ(ParamStr(words, 1), "-r");
  EXPECT_EQ(ParamStr(words, 2), "");
  EXPECT_EQ(ParamStr(SplitCommandLine(""), 1), "");
}

TEST(SelectRole, Table) {
  struct Case {
    const char* path;
    const char* commandLine;
    Role role;
  } cases[] = {
      {"C:\\Temp\\Setup.exe", "Setup.exe", Role::Installer},
      {"C:\\Temp\\Setup.exe", "Setup.exe -r", Role::Installer},  // installer test first
      {"C:\\Temp\\VornMon.ex", "x", Role::Installer},
      {"C:\\Startup\\VornMon.exe", "VornMon.exe", Role::Monitor},
      {"C:\\Startup\\vornmon.exe", "vornmon.exe", Role::Monitor},
      {"C:\\Startup\\VORNMON.EXE", "VORNMON.EXE", Role::Monitor},
      {"C:\\VornMon.exe.old\\Setup.exe", "Setup.exe", Role::Monitor},  // plain substring
      {"C:\\Startup\\VornMon.exe", "VornMon.exe -r", Role::Uninstaller},
      {"C:\\Startup\\vOrNmOn.ExE", "x -r", Role::Uninstaller},
      {"C:\\Startup\\VornMon.exe", "VornMon.exe -r more params", Role::Uninstaller},
      {"C:\\Startup\\VornMon.exe", "VornMon.exe \"-r\"", Role::Uninstaller},
      {"C:\\Startup\\VornMon.exe", "VornMon.exe -R", Role::Monitor},
      {"C:\\Startup\\VornMon.exe", "VornMon.exe /r", Role::Monitor},
      {"C:\\Startup\\VornMon.exe", "VornMon.exe x -r", Role::Monitor},  // only word 1 counts
      {"C:\\Startup\\VornMon.exe", "VornMon.exe -rr", Role::Monitor},
      {"C:\\Program Files\\Vorn\\VornMon.exe", "VornMon.exe -service", Role::Service},
      {"C:\\Program Files\\Vorn\\VornMon.exe", "\"C:\\Program Files\\Vorn\\VornMon.exe\" -service",
       Role::Service},
      {"C:\\Startup\\VornMon.exe", "VornMon.exe -service -r", Role::Service},
      {"C:\\Startup\\VornMon.exe", "VornMon.exe -Service", Role::Monitor},
      {"C:\\Startup\\VornMon.exe", "VornMon.exe x -service", Role::Monitor},
      {"C:\\Temp\\Setup.exe", "Setup.exe -service", Role::Installer},
      // Only a..z fold: a Latin-1 letter does not match an ASCII one.
      {"C:\\Startup\\V\xd3RNMON.EXE", "x -r", Role::Installer},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SelectRole(c.path, SplitCommandLine(c.commandLine)), c.role)
        << c.path << " / " << c.commandLine;
  }
}

TEST(ServerTable, RotationVisitsEveryServerInTurn) {
  InitServerTable();
  EXPECT_EQ(g_servers.index, 1);
  EXPECT_STREQ(ServerUrl(g_servers.index), "http://time-a-g.nist.gov:13/");
  std::vector<LONG> visited;
  for (int i = 0; i < 5; ++i) {
    AdvanceServer();
    visited.push_back(g_servers.index);
  }
  EXPECT_EQ(visited, (std::vector<LONG>{2, 3, 4, 1, 2}));
  EXPECT_STREQ(ServerUrl(g_servers.index), "http://time-a-wwv.nist.gov:13/");
}

}  // namespace

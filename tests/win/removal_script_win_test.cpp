// The removal script run by the system's command interpreter, under Wine
// (ANSI code page 1252, OEM code page 437): cmd reads a batch file in the OEM
// code page, so only the path converted with CharToOemA names our file.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "setup/removal_script.h"

namespace {

// An all-users StartUp folder of a French Windows on a volume without short
// names; e-acute is 0xE9 in code page 1252 and 0x82 in 437.
const std::string kMenu = "C:\\Menu D\xE9marrer";
const std::string kFolder = kMenu + "\\D\xE9marrage";
const std::string kProgram = kFolder + "\\VornMon.exe";

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
      written == bytes.size();
  return CloseHandle(file) && ok;
}

// Runs the script with cmd, hidden, as the uninstaller's script runs;
// true when it ended within 30 s (a script that loops is ended here).
bool RunScript(const std::string& script = kRemovalScriptPath) {
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process;
  ZeroMemory(&process, sizeof process);
  std::string commandLine = "cmd /c \"" + script + "\"";
  if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, "c:\\",
                      &startup, &process)) {
    return false;
  }
  const DWORD waited = WaitForSingleObject(process.hProcess, 30000);
  if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return waited == WAIT_OBJECT_0;
}

class RemovalScriptWin : public ::testing::Test {
 protected:
  void SetUp() override {
    TearDown();
    ASSERT_TRUE(CreateDirectoryA(kMenu.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(kFolder.c_str(), nullptr));
  }
  void TearDown() override {
    DeleteFileA(kProgram.c_str());
    RemoveDirectoryA(kFolder.c_str());
    RemoveDirectoryA(kMenu.c_str());
    DeleteFileA(kRemovalScriptPath);
  }
};

TEST_F(RemovalScriptWin, CmdDeletesTheAccentedPathOnlyInTheOemCodePage) {
  char oem[MAX_PATH] = {0};
  ASSERT_TRUE(CharToOemA(kProgram.c_str(), oem));
  ASSERT_EQ(std::string(oem), "C:\\Menu D\x82marrer\\D\x82marrage\\VornMon.exe");
  ASSERT_TRUE(OemPathNamesSameFile(kProgram, oem));
  struct Case {
    const char* name;
    std::string path;  // as lines 2 and 3 are given it
    bool deleted;
  } cases[] = {
      // cmd reads 0xE9 as another letter: `if exist` finds nothing and the
      // script ends with the program still there.
      {"ANSI bytes", kProgram, false},
      {"OEM bytes", oem, true},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteFileBytes(kProgram, "MZ")) << c.name;
    ASSERT_TRUE(WriteFileBytes(kRemovalScriptPath, RemovalScriptText(c.path))) << c.name;
    ASSERT_TRUE(RunScript()) << c.name;
    EXPECT_EQ(Exists(kProgram), !c.deleted) << c.name;
    EXPECT_FALSE(Exists(kRemovalScriptPath)) << c.name;
  }
}

// On NT the script lies in a folder of its own and its last line takes
// script and folder away and ends cmd: nothing after it runs, even where
// cmd still reads the deleted file (Wine's keeps it open; Windows' would
// open by name whatever was put there after the folder went). A blank and a
// % in the folder's path are written as cmd needs them.
TEST_F(RemovalScriptWin, ScriptInAFolderRemovesProgramItselfAndTheFolder) {
  const std::string parent = "C:\\Vorn 50%";
  const std::string folder = parent + "\\VornRemoval";
  const std::string script = folder + "\\DelAll.bat";
  const std::string after = "C:\\after-the-last-line.txt";
  ASSERT_TRUE(CreateDirectoryA(parent.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  char oem[MAX_PATH] = {0};
  ASSERT_TRUE(CharToOemA(kProgram.c_str(), oem));
  ASSERT_TRUE(WriteFileBytes(kProgram, "MZ"));
  ASSERT_TRUE(WriteFileBytes(
      script, RemovalScriptText(oem, script, folder) + "echo ran> " + after + "\r\n"));
  EXPECT_TRUE(RunScript(script));
  EXPECT_FALSE(Exists(kProgram));
  EXPECT_FALSE(Exists(script));
  // Windows' cmd opens a running script anew for every line, so its `rd`
  // finds the folder empty and removes it; Wine's keeps the script open
  // until it ends and is refused. Either way nothing is left in it.
  EXPECT_TRUE(!Exists(folder) || RemoveDirectoryA(folder.c_str()));
  EXPECT_FALSE(Exists(after));
  DeleteFileA(after.c_str());
  DeleteFileA(script.c_str());
  RemoveDirectoryA(folder.c_str());
  RemoveDirectoryA(parent.c_str());
}

}  // namespace

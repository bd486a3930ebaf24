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

// Runs c:\DelAll.bat with cmd, hidden, as the uninstaller's script runs;
// true when it ended within 30 s (a script that loops is ended here).
bool RunScript() {
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process;
  ZeroMemory(&process, sizeof process);
  std::string commandLine = std::string("cmd /c ") + kRemovalScriptPath;
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

}  // namespace

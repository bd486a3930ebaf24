// The simulated Windows' own rules where they are easy to get wrong: sharing
// on delete and rename, handles that outlive their names, reparse points,
// link counts, owners, and the calls only some versions have.
#include "platform/sim/sim.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "monitor/well_known_sids.h"
#include "platform/sim/sim_dll.h"
#include "platform/sim/sim_file.h"
#include "platform/sim/sim_security.h"
#include "platform/win_base.h"
#include "platform/win_file.h"
#include "platform/win_security.h"

namespace {

constexpr DWORD kAllShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kErrorFileExists = 80;
constexpr DWORD kErrorInvalidOwner = 1307;

HANDLE Open(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags = 0,
            LPSECURITY_ATTRIBUTES security = nullptr) {
  return CreateFileA(path, access, share, security, disposition, flags, nullptr);
}

std::string ReadAll(HANDLE file) {
  char buffer[256];
  DWORD read = 0;
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
  return std::string(buffer, read);
}

// 0 or the call's last error.
DWORD ErrorOf(BOOL ok) { return ok ? 0 : GetLastError(); }

BY_HANDLE_FILE_INFORMATION InfoOf(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info;
  EXPECT_TRUE(GetFileInformationByHandle(file, &info));
  return info;
}

class SimFiles : public ::testing::Test {
 protected:
  void SetUp() override { sim::Reset(); }
};

// Deleting or renaming a name opens it for DELETE: every other handle on the
// file, or on a file below a folder being renamed, must share delete. Read
// sharing alone is what a running program's own copy has.
TEST_F(SimFiles, DeleteAndRenameNeedEveryHandleToShareDelete) {
  struct Case {
    const char* name;
    DWORD access;
    DWORD share;
    DWORD deleteError;
    DWORD moveError;
    DWORD moveFolderError;
  } cases[] = {
      {"no handle", 0, 0, 0, 0, 0},
      {"read, share read", GENERIC_READ, FILE_SHARE_READ, ERROR_SHARING_VIOLATION,
       ERROR_SHARING_VIOLATION, ERROR_SHARING_VIOLATION},
      {"write, share read and write", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
       ERROR_SHARING_VIOLATION, ERROR_SHARING_VIOLATION, ERROR_SHARING_VIOLATION},
      {"read, share all", GENERIC_READ, kAllShare, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (int operation = 0; operation < 3; ++operation) {
      sim::Reset();
      sim::PutFile("C:\\Data\\a.txt", "a");
      HANDLE held = INVALID_HANDLE_VALUE;
      if (c.access) held = Open("C:\\Data\\a.txt", c.access, c.share, OPEN_EXISTING);
      if (operation == 0) {
        EXPECT_EQ(ErrorOf(DeleteFileA("C:\\Data\\a.txt")), c.deleteError);
      } else if (operation == 1) {
        EXPECT_EQ(ErrorOf(MoveFileA("C:\\Data\\a.txt", "C:\\Data\\b.txt")), c.moveError);
        EXPECT_EQ(sim::FileExists("C:\\Data\\b.txt"), c.moveError == 0);
      } else {
        EXPECT_EQ(sim::MoveAsOther("C:\\Data", "C:\\Aside"), c.moveFolderError);
        EXPECT_EQ(sim::FileExists("C:\\Aside\\a.txt"), c.moveFolderError == 0);
        EXPECT_NE(sim::DirectoryExists("C:\\Data"), c.moveFolderError == 0);
      }
      if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    }
  }
}

// "DeleteFile function": a file deleted while open with FILE_SHARE_DELETE
// keeps its name until its last handle closes, and cannot be made anew in
// the meantime.
TEST_F(SimFiles, DeletedWhileOpenTheNameWaitsForTheLastHandle) {
  sim::PutFile("C:\\VornMon.exe", "old");
  const int hold = sim::HoldFile("C:\\VornMon.exe", GENERIC_READ, kAllShare);
  ASSERT_TRUE(DeleteFileA("C:\\VornMon.exe"));
  EXPECT_TRUE(sim::FileExists("C:\\VornMon.exe"));
  EXPECT_EQ(Open("C:\\VornMon.exe", GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  sim::ReleaseFile(hold);
  EXPECT_FALSE(sim::FileExists("C:\\VornMon.exe"));
  HANDLE made = Open("C:\\VornMon.exe", GENERIC_WRITE, 0, CREATE_NEW);
  EXPECT_NE(made, INVALID_HANDLE_VALUE);
  CloseHandle(made);
}

// A handle holds the file object, not the name: whatever another process
// does to the name, the handle reads and writes what it opened.
TEST_F(SimFiles, HandleKeepsItsFileWhateverBecomesOfTheName) {
  struct Case {
    const char* name;
    DWORD share;
    std::function<DWORD()> other;
    DWORD otherError;
    const char* nowAtName;  // bytes at the name afterwards
  } cases[] = {
      {"moved away, sharing delete", kAllShare,
       [] { return sim::MoveAsOther("C:\\Vorn\\Setup.exe", "C:\\Vorn\\Old.exe"); }, 0, nullptr},
      {"replaced, sharing delete", kAllShare,
       [] { return sim::ReplaceAsOther("C:\\Vorn\\Setup.exe", "planted"); }, ERROR_ACCESS_DENIED,
       "original"},
      {"replaced without sharing delete", FILE_SHARE_READ,
       [] { return sim::ReplaceAsOther("C:\\Vorn\\Setup.exe", "planted"); },
       ERROR_SHARING_VIOLATION, "original"},
      {"replaced underneath", FILE_SHARE_READ,
       [] {
         sim::ReplaceUnderneath("C:\\Vorn\\Setup.exe", "planted");
         return DWORD{0};
       },
       0, "planted"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Reset();
    sim::PutFile("C:\\Vorn\\Setup.exe", "original");
    HANDLE self = Open("C:\\Vorn\\Setup.exe", GENERIC_READ, c.share, OPEN_EXISTING);
    ASSERT_NE(self, INVALID_HANDLE_VALUE);
    EXPECT_EQ(c.other(), c.otherError);
    EXPECT_EQ(ReadAll(self), "original");
    const std::optional<std::string> atName = sim::FileBytes("C:\\Vorn\\Setup.exe");
    EXPECT_EQ(atName.has_value(), c.nowAtName != nullptr);
    if (atName && c.nowAtName) {
      EXPECT_EQ(*atName, c.nowAtName);
    }
    CloseHandle(self);
  }
}

// Paths go through junctions and file links; the calls that act on a name
// act on the link itself ("Hard Links and Junctions").
TEST_F(SimFiles, ReparsePointsAreFollowedExceptByCallsOnTheNameItself) {
  const auto setUp = [] {
    sim::Reset();
    sim::PutFile("C:\\Target\\inside.txt", "inside");
    sim::AddDirectory("C:\\ProgramData");
    sim::AddJunction("C:\\ProgramData\\Vorn", "C:\\Target");
    sim::AddFileSymlink("C:\\ProgramData\\vorn.log", "C:\\Target\\inside.txt");
  };
  struct Case {
    const char* name;
    std::function<void()> check;
  } cases[] = {
      {"a file made under the junction lands in the target",
       [] {
         HANDLE made = Open("C:\\ProgramData\\Vorn\\new.txt", GENERIC_WRITE, 0, CREATE_NEW);
         ASSERT_NE(made, INVALID_HANDLE_VALUE);
         CloseHandle(made);
         EXPECT_TRUE(sim::FileExists("C:\\Target\\new.txt"));
       }},
      {"attributes are the links' own",
       [] {
         EXPECT_EQ(GetFileAttributesA("C:\\ProgramData\\Vorn"),
                   FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY);
         EXPECT_EQ(GetFileAttributesA("C:\\ProgramData\\vorn.log"), FILE_ATTRIBUTE_REPARSE_POINT);
         EXPECT_EQ(GetFileAttributesA("C:\\ProgramData\\Vorn\\inside.txt"), FILE_ATTRIBUTE_NORMAL);
       }},
      {"FILE_FLAG_OPEN_REPARSE_POINT opens the link, else its target",
       [] {
         HANDLE link = Open("C:\\ProgramData\\vorn.log", GENERIC_READ, FILE_SHARE_READ,
                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT);
         ASSERT_NE(link, INVALID_HANDLE_VALUE);
         EXPECT_EQ(InfoOf(link).dwFileAttributes, FILE_ATTRIBUTE_REPARSE_POINT);
         CloseHandle(link);
         HANDLE target =
             Open("C:\\ProgramData\\vorn.log", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
         ASSERT_NE(target, INVALID_HANDLE_VALUE);
         EXPECT_EQ(InfoOf(target).dwFileAttributes, FILE_ATTRIBUTE_NORMAL);
         EXPECT_EQ(ReadAll(target), "inside");
         CloseHandle(target);
       }},
      {"removing the junction leaves what its target holds",
       [] {
         EXPECT_TRUE(RemoveDirectoryA("C:\\ProgramData\\Vorn"));
         EXPECT_FALSE(sim::IsReparsePoint("C:\\ProgramData\\Vorn"));
         EXPECT_EQ(sim::FileBytes("C:\\Target\\inside.txt"), "inside");
       }},
      {"deleting the file link leaves its target; the junction is no file",
       [] {
         EXPECT_TRUE(DeleteFileA("C:\\ProgramData\\vorn.log"));
         EXPECT_EQ(sim::FileBytes("C:\\Target\\inside.txt"), "inside");
         EXPECT_EQ(ErrorOf(DeleteFileA("C:\\ProgramData\\Vorn")),
                   static_cast<DWORD>(ERROR_ACCESS_DENIED));
       }},
      {"moving the junction moves the link, not the target",
       [] {
         EXPECT_TRUE(MoveFileA("C:\\ProgramData\\Vorn", "C:\\ProgramData\\Vorn.old"));
         EXPECT_TRUE(sim::IsReparsePoint("C:\\ProgramData\\Vorn.old"));
         EXPECT_TRUE(sim::DirectoryExists("C:\\Target"));
         EXPECT_EQ(sim::FileBytes("C:\\ProgramData\\Vorn.old\\inside.txt"), "inside");
       }},
      {"a listing shows the links with their attribute",
       [] {
         WIN32_FIND_DATAA data;
         HANDLE find = FindFirstFileA("C:\\ProgramData\\*", &data);
         ASSERT_NE(find, INVALID_HANDLE_VALUE);
         std::vector<std::pair<std::string, DWORD>> seen;
         do {
           seen.emplace_back(data.cFileName, data.dwFileAttributes);
         } while (FindNextFileA(find, &data));
         EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
         EXPECT_TRUE(FindClose(find));
         EXPECT_EQ(seen, (std::vector<std::pair<std::string, DWORD>>{
                             {".", FILE_ATTRIBUTE_DIRECTORY},
                             {"..", FILE_ATTRIBUTE_DIRECTORY},
                             {"Vorn", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT},
                             {"vorn.log", FILE_ATTRIBUTE_REPARSE_POINT},
                         }));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    setUp();
    c.check();
    EXPECT_EQ(sim::OpenHandles(), 0u);
  }
}

TEST_F(SimFiles, ListingOfAMissingFolderOrNothingMatching) {
  WIN32_FIND_DATAA data;
  EXPECT_EQ(FindFirstFileA("C:\\Missing\\*", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  sim::AddDirectory("C:\\Empty");
  EXPECT_EQ(FindFirstFileA("C:\\Empty\\*.exe", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// Two names, one file: the handle counts both, and either name may go.
TEST_F(SimFiles, HardLinksShareTheBytesAndCountTheNames) {
  sim::PutFile("C:\\Windows\\vorn.log", "log");
  sim::AddHardLink("C:\\Windows\\vorn.log", "C:\\Users\\Public\\mine.txt");
  HANDLE log = Open("C:\\Windows\\vorn.log", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT);
  ASSERT_NE(log, INVALID_HANDLE_VALUE);
  EXPECT_EQ(InfoOf(log).nNumberOfLinks, 2u);
  DWORD written = 0;
  SetFilePointer(log, 0, nullptr, FILE_END);
  ASSERT_TRUE(WriteFile(log, "+", 1, &written, nullptr));
  EXPECT_EQ(sim::FileBytes("C:\\Users\\Public\\mine.txt"), "log+");
  CloseHandle(log);
  ASSERT_TRUE(DeleteFileA("C:\\Windows\\vorn.log"));
  EXPECT_EQ(sim::LinkCount("C:\\Users\\Public\\mine.txt"), 1u);
  EXPECT_EQ(sim::FileBytes("C:\\Users\\Public\\mine.txt"), "log+");
}

// MoveFileA takes a folder with everything in it, and never replaces.
TEST_F(SimFiles, MoveFileErrors) {
  struct Case {
    const char* from;
    const char* to;
    DWORD error;
  } cases[] = {
      {"C:\\Vorn", "C:\\Vorn.1", 0},
      {"C:\\Vorn", "C:\\Other", ERROR_ALREADY_EXISTS},
      {"C:\\Vorn\\a.txt", "C:\\Other\\b.txt", ERROR_ALREADY_EXISTS},
      {"C:\\Nothing", "C:\\Vorn.1", ERROR_FILE_NOT_FOUND},
      {"C:\\Nothing\\a.txt", "C:\\Vorn.1", ERROR_PATH_NOT_FOUND},
      {"C:\\Vorn", "C:\\Nowhere\\Vorn", ERROR_PATH_NOT_FOUND},
      {"C:\\Vorn", "C:\\Vorn\\Inside", ERROR_SHARING_VIOLATION},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.from) + " -> " + c.to);
    sim::Reset();
    sim::PutFile("C:\\Vorn\\a.txt", "a");
    sim::PutFile("C:\\Vorn\\Sub\\b.txt", "b");
    sim::PutFile("C:\\Other\\b.txt", "other");
    EXPECT_EQ(ErrorOf(MoveFileA(c.from, c.to)), c.error);
    if (c.error == 0) {
      EXPECT_EQ(sim::FileBytes("C:\\Vorn.1\\Sub\\b.txt"), "b");
      EXPECT_FALSE(sim::DirectoryExists("C:\\Vorn\\Sub"));
    }
  }
  sim::Reset();
  sim::AddDirectory("C:\\Vorn");
  sim::FailCall("MoveFileA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(ErrorOf(MoveFileA("C:\\Vorn", "C:\\Vorn.1")), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(sim::CallsOf({"MoveFileA"}),
            std::vector<std::string>{"MoveFileA(\"C:\\Vorn\", \"C:\\Vorn.1\")"});
  EXPECT_TRUE(sim::DirectoryExists("C:\\Vorn"));
}

// What the program makes takes its descriptor's owner, else the token's
// default owner; what was there already belongs to Administrators.
TEST_F(SimFiles, OwnersOfWhatIsMade) {
  SECURITY_DESCRIPTOR descriptor;
  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorOwner(&descriptor, const_cast<WellKnownSid*>(&kLocalSystem), FALSE);
  SECURITY_ATTRIBUTES namingSystem = {sizeof(SECURITY_ATTRIBUTES), &descriptor, FALSE};
  struct Case {
    const char* name;
    sim::Windows version;
    bool elevated;
    const char* account;
    LPSECURITY_ATTRIBUTES security;
    const char* owner;  // nullptr: the call fails with ERROR_INVALID_OWNER
  } cases[] = {
      {"XP administrator", sim::Windows::kXp, true, sim::kUserSid, nullptr, sim::kUserSid},
      {"7 elevated", sim::Windows::k7, true, sim::kUserSid, nullptr, sim::kAdministratorsSid},
      {"10, User Account Control off", sim::Windows::k10, false, sim::kUserSid, nullptr,
       sim::kUserSid},
      {"service as LocalService", sim::Windows::k10, true, sim::kLocalServiceSid, nullptr,
       sim::kLocalServiceSid},
      {"service as LocalSystem names itself", sim::Windows::k10, true, sim::kLocalSystemSid,
       &namingSystem, sim::kLocalSystemSid},
      {"a user may not name SYSTEM", sim::Windows::k10, true, sim::kUserSid, &namingSystem,
       nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Reset();
    sim::PlayWindows(c.version);
    sim::SetElevated(c.elevated);
    sim::SetProcessAccount(c.account);
    const BOOL made = CreateDirectoryA("C:\\Made", c.security);
    HANDLE file = Open("C:\\made.txt", GENERIC_WRITE, 0, CREATE_NEW, 0, c.security);
    if (!c.owner) {
      EXPECT_FALSE(made);
      EXPECT_EQ(file, INVALID_HANDLE_VALUE);
      EXPECT_EQ(GetLastError(), kErrorInvalidOwner);
      continue;
    }
    EXPECT_TRUE(made);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_EQ(sim::OwnerOf("C:\\Made"), c.owner);
    EXPECT_EQ(sim::OwnerOf("C:\\made.txt"), c.owner);
  }
  sim::Reset();
  sim::AddDirectory("C:\\Before");
  EXPECT_EQ(sim::OwnerOf("C:\\Before"), sim::kAdministratorsSid);
  EXPECT_EQ(sim::OwnerOf("C:\\Nothing"), "");
}

// GetFileSecurityA's owner is the binary SID a program compares with its own
// records; a buffer too small says how much is needed.
TEST_F(SimFiles, GetFileSecurityGivesTheOwnerSid) {
  sim::AddDirectory("C:\\ProgramData\\Vorn");
  sim::AddJunction("C:\\Link", "C:\\ProgramData\\Vorn");
  struct Case {
    const char* name;
    const char* owner;
    const void* expected;
    size_t size;
  } cases[] = {
      {"Administrators", sim::kAdministratorsSid, &kAdministrators, 16},
      {"SYSTEM", sim::kLocalSystemSid, &kLocalSystem, 12},
      {"the user", sim::kUserSid, nullptr, 28},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SetOwner("C:\\ProgramData\\Vorn", c.owner);
    DWORD needed = 0;
    BYTE small[8];
    EXPECT_FALSE(
        GetFileSecurityA("C:\\Link", OWNER_SECURITY_INFORMATION, small, sizeof small, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, 20 + c.size);
    alignas(8) BYTE buffer[128];
    ASSERT_TRUE(
        GetFileSecurityA("C:\\Link", OWNER_SECURITY_INFORMATION, buffer, sizeof buffer, &needed));
    PSID owner = nullptr;
    BOOL defaulted = TRUE;
    ASSERT_TRUE(GetSecurityDescriptorOwner(buffer, &owner, &defaulted));
    EXPECT_FALSE(defaulted);
    EXPECT_EQ(sim::SidText(owner), c.owner);
    if (c.expected) {
      EXPECT_EQ(memcmp(owner, c.expected, c.size), 0);
    }
  }
  // SetFileSecurityA's owner is what GetFileSecurityA then reads; an object
  // whose owner refuses keeps it.
  SECURITY_DESCRIPTOR descriptor;
  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorOwner(&descriptor, const_cast<WellKnownSid*>(&kAdministrators), FALSE);
  sim::SetOwner("C:\\ProgramData\\Vorn", sim::kUserSid);
  EXPECT_TRUE(SetFileSecurityA("C:\\ProgramData\\Vorn", OWNER_SECURITY_INFORMATION, &descriptor));
  EXPECT_EQ(sim::OwnerOf("C:\\ProgramData\\Vorn"), sim::kAdministratorsSid);
  sim::SetOwner("C:\\ProgramData\\Vorn", sim::kUserSid);
  sim::SetForeignOwner("C:\\ProgramData\\Vorn");
  EXPECT_FALSE(SetFileSecurityA("C:\\ProgramData\\Vorn", OWNER_SECURITY_INFORMATION, &descriptor));
  EXPECT_EQ(sim::OwnerOf("C:\\ProgramData\\Vorn"), sim::kUserSid);
}

// Which versions have the DLL search calls and where their system folder is.
TEST_F(SimFiles, VersionsDecideTheDllSearchCallsAndTheSystemFolder) {
  struct Case {
    const char* name;
    sim::Windows version;
    bool update;
    DWORD defaultDirectoriesError;
    DWORD dllDirectoryError;
    const char* systemFolder;
  } cases[] = {
      {"98", sim::Windows::k98, true, ERROR_PROC_NOT_FOUND, ERROR_PROC_NOT_FOUND,
       "C:\\WINDOWS\\SYSTEM"},
      {"NT 4.0", sim::Windows::kNt4, true, ERROR_PROC_NOT_FOUND, ERROR_PROC_NOT_FOUND,
       "C:\\WINNT\\system32"},
      {"2000", sim::Windows::k2000, true, ERROR_PROC_NOT_FOUND, ERROR_PROC_NOT_FOUND,
       "C:\\WINNT\\system32"},
      {"XP", sim::Windows::kXp, true, ERROR_PROC_NOT_FOUND, 0, "C:\\WINDOWS\\system32"},
      {"Vista", sim::Windows::kVista, true, ERROR_PROC_NOT_FOUND, 0, "C:\\Windows\\system32"},
      {"7 with KB2533623", sim::Windows::k7, true, 0, 0, "C:\\Windows\\system32"},
      {"7 without KB2533623", sim::Windows::k7, false, ERROR_PROC_NOT_FOUND, 0,
       "C:\\Windows\\system32"},
      {"8", sim::Windows::k8, false, 0, 0, "C:\\Windows\\system32"},
      {"10", sim::Windows::k10, true, 0, 0, "C:\\Windows\\system32"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Reset();
    sim::PlayWindows(c.version);
    sim::SetDllSearchUpdate(c.update);
    EXPECT_EQ(ErrorOf(SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)),
              c.defaultDirectoriesError);
    EXPECT_EQ(ErrorOf(SetDllDirectoryA("")), c.dllDirectoryError);
    EXPECT_EQ(sim::CallNames({"SetDefaultDllDirectories", "SetDllDirectoryA"}).size(), 2u);
    const sim::DllSearchState search = sim::DllSearch();
    EXPECT_EQ(search.defaultDirectories.has_value(), c.defaultDirectoriesError == 0);
    EXPECT_EQ(search.dllDirectory.has_value(), c.dllDirectoryError == 0);
    char folder[MAX_PATH];
    ASSERT_EQ(GetSystemDirectoryA(folder, sizeof folder), strlen(c.systemFolder));
    EXPECT_STREQ(folder, c.systemFolder);
    EXPECT_EQ(sim::FileExists(std::string(c.systemFolder) + "\\cmd.exe"),
              c.version != sim::Windows::k98);
  }
}

}  // namespace

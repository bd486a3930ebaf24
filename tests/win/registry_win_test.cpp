// The registry section layer against Wine's real registry.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "monitor/errors.h"
#include "platform/win_registry.h"
#include "setup/registry_section.h"

namespace {

using namespace std::string_literals;

constexpr const char* kBase = "Software\\VornWinTest";

HKEY Open(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  return RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS ? key
                                                                                     : nullptr;
}

bool Exists(HKEY root, const std::string& path) {
  HKEY key = Open(root, path);
  if (key) RegCloseKey(key);
  return key != nullptr;
}

void SetRaw(const std::string& path, const char* name, DWORD type, const std::string& data) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                           static_cast<DWORD>(data.size())),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

// Type and bytes as stored.
std::pair<DWORD, std::string> GetRaw(const std::string& path, const char* name) {
  HKEY key = Open(HKEY_CURRENT_USER, path);
  EXPECT_NE(key, nullptr) << path;
  if (!key) return {REG_NONE, ""};
  DWORD type = REG_NONE;
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, name, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  std::string data(size, '\0');
  if (size) RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size);
  RegCloseKey(key);
  return {type, data};
}

class RegistryWin : public ::testing::Test {
 protected:
  void SetUp() override { RegistrySection("Software").DropSection("VornWinTest"); }
  void TearDown() override { SetUp(); }
};

TEST_F(RegistryWin, CreationOpensOrCreatesTheBaseUnderTheUser) {
  const std::string base = std::string(kBase) + "\\Created";
  ASSERT_FALSE(Exists(HKEY_CURRENT_USER, base));
  {
    RegistrySection section(base.c_str());
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, base));
    // Paths now start at the base.
    section.PutSectionText("Sub", "Name", "value");
  }
  EXPECT_EQ(GetRaw(base + "\\Sub", "Name"),
            std::make_pair(DWORD{REG_SZ}, std::string("value\0", 6)));
  RegistrySection again(base.c_str());
  EXPECT_EQ(again.GetSectionText("Sub", "Name", "default"), "value");
}

TEST_F(RegistryWin, PutTextIsReadBackWithItsTerminatingZero) {
  RegistrySection section(kBase);
  for (const std::string text : {"", "x", "Vorn (PC Clock Synchronizer)",
                                 "\"C:\\Program Files\\Start Menu\\VornMon.exe\" -r"}) {
    section.PutSectionText("Text", "Value", text);
    EXPECT_EQ(GetRaw(std::string(kBase) + "\\Text", "Value"),
              std::make_pair(DWORD{REG_SZ}, text + '\0'))
        << text;
    EXPECT_EQ(section.GetSectionText("Text", "Value", "default"), text) << text;
  }
}

TEST_F(RegistryWin, EachValueType) {
  struct Case {
    const char* name;
    DWORD type;
    std::string data;
    const char* text;  // nullptr: the invalid-type error
  } cases[] = {
      {"text", REG_SZ, "C:\\Up\0"s, "C:\\Up"},
      {"text with a zero inside", REG_SZ, "C:\\A\0C:\\B\0"s, "C:\\A"},
      {"trailing backslash", REG_SZ, "C:\\Up\\\0"s, "C:\\Up\\"},
      {"expandable, not expanded", REG_EXPAND_SZ, "%SystemRoot%\\Up\0"s, "%SystemRoot%\\Up"},
      {"empty text", REG_SZ, "", ""},
      {"dword", REG_DWORD, "\x01\0\0\0"s, nullptr},
      {"dword without data", REG_DWORD, "", ""},
      {"binary", REG_BINARY, "\x01\x02"s, nullptr},
      {"binary without data", REG_BINARY, "", ""},
      {"multi-string", REG_MULTI_SZ, "a\0b\0\0"s, nullptr},
  };
  RegistrySection section(kBase);
  for (const Case& c : cases) {
    SetRaw(std::string(kBase) + "\\Types", c.name, c.type, c.data);
    if (c.text) {
      EXPECT_EQ(section.GetSectionText("Types", c.name, "default"), c.text) << c.name;
    } else {
      std::string error;
      EXPECT_EQ(section.GetSectionText("Types", c.name, "default", &error), "default") << c.name;
      EXPECT_EQ(error, std::string("Invalid data type for '") + c.name + "'");
    }
  }
}

TEST_F(RegistryWin, UnterminatedTextEndsWithItsData) {
  // The byte after the data is not a zero, so the registry cannot add one.
  const char bytes[] = "abcX";
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(kBase) + "\\Raw").c_str(), 0, nullptr,
                            0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes), 3);
  RegCloseKey(key);
  EXPECT_EQ(RegistrySection(kBase).GetSectionText("Raw", "v", "default"), "abc");
}

TEST_F(RegistryWin, MissingKeyOrValueGivesTheDefault) {
  RegistrySection section(kBase);
  section.PutSectionText("Here", "Other", "x");
  EXPECT_EQ(section.GetSectionText("Here", "Missing", "default"), "default");
  EXPECT_EQ(section.GetSectionText("Nowhere", "Missing", "default"), "default");
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, std::string(kBase) + "\\Nowhere"));
}

TEST_F(RegistryWin, DropSectionRemovesNestedKeysDepthFirst) {
  const std::string top = std::string(kBase) + "\\Drop";
  for (const char* path : {"\\A\\B\\C", "\\A\\B\\D", "\\A\\E", "\\A\\A long sibling name"}) {
    SetRaw(top + path, "v", REG_SZ, "x"s);
  }
  SetRaw(top + "\\Keep", "v", REG_SZ, "x"s);
  RegistrySection section(kBase);
  section.DropSection("Drop\\A");
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, top + "\\A"));
  EXPECT_TRUE(Exists(HKEY_CURRENT_USER, top + "\\Keep"));
  // Nothing there: nothing happens, nothing is raised.
  section.DropSection("Drop\\A");
  section.DropSection("Drop");
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, top));
}

TEST_F(RegistryWin, KeysAndRoots) {
  SetRaw(std::string(kBase) + "\\Inner\\Section", "v", REG_SZ, "inner\0"s);
  RegistrySection section(kBase);
  // A missing key is not entered and changes nothing.
  EXPECT_FALSE(section.EnterKey("Missing"));
  EXPECT_EQ(section.GetSectionText("Inner\\Section", "v", "default"), "inner");
  EXPECT_TRUE(section.EnterKey("Inner"));
  EXPECT_EQ(section.GetSectionText("Section", "v", "default"), "inner");
  // Released: paths start at the root again.
  section.ReleaseKey();
  EXPECT_EQ(section.GetSectionText("Software\\VornWinTest\\Inner\\Section", "v", "default"),
            "inner");

  // The all-users StartUp folder of a fresh prefix, the installer's way.
  section.SelectRoot(HKEY_LOCAL_MACHINE);
  section.EnterKey("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer");
  EXPECT_EQ(section.GetSectionText("Shell Folders", "Common Startup", "default"),
            "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp");
}

TEST_F(RegistryWin, FlushModeReleasesTheKeyByFlushingIt) {
  SetRaw(std::string(kBase) + "\\Inner", "v", REG_SZ, "x"s);
  RegistrySection section(kBase);
  section.SetFlushMode(true);
  ASSERT_TRUE(section.EnterKey("Inner"));
  section.PutSectionText("Flushed", "v", "kept");
  section.ReleaseKey();
  // No key is current after the flush: paths start at HKEY_CURRENT_USER.
  EXPECT_EQ(section.GetSectionText("Software\\VornWinTest\\Inner\\Flushed", "v", "default"),
            "kept");
  EXPECT_EQ(GetRaw(std::string(kBase) + "\\Inner\\Flushed", "v").second, "kept\0"s);
}

}  // namespace

#include "setup/registry_section.h"

#include <vector>

#include "monitor/errors.h"
#include "setup/install_text.h"

namespace {

// Deletes `section` under `base` after its subkeys, depth first. Subkeys go
// from the last index down, so deleting one never shifts those still to come.
void DropUnder(HKEY base, const char* section) {
  HKEY key;
  if (RegOpenKeyExA(base, section, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
    DWORD subKeys = 0;
    DWORD longest = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, &longest, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
      std::vector<char> name(longest + 1);
      for (DWORD index = subKeys; index-- > 0;) {
        DWORD size = longest + 1;
        // A name that cannot be read is left alone rather than guessed at.
        if (RegEnumKeyExA(key, index, name.data(), &size, nullptr, nullptr, nullptr, nullptr) ==
            ERROR_SUCCESS) {
          DropUnder(key, name.data());
        }
      }
    }
    RegCloseKey(key);
  }
  RegDeleteKeyA(base, section);
}

}  // namespace

RegistrySection::RegistrySection(const char* basePath)
    : root_(HKEY_CURRENT_USER), current_(nullptr), flush_(false) {
  HKEY key;
  DWORD disposition;
  if (RegCreateKeyExA(root_, basePath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                      &key, &disposition) == ERROR_SUCCESS) {
    current_ = key;
  }
}

RegistrySection::~RegistrySection() { ReleaseKey(); }

void RegistrySection::SetFlushMode(bool flush) { flush_ = flush; }

// In flush mode the handle stays open: that is what the mode is for.
void RegistrySection::ReleaseKey() {
  if (!current_) return;
  if (flush_) {
    RegFlushKey(current_);
  } else {
    RegCloseKey(current_);
  }
  current_ = nullptr;
}

void RegistrySection::SelectRoot(HKEY root) {
  if (root == root_) return;
  root_ = root;
  ReleaseKey();
}

bool RegistrySection::EnterKey(const char* path) {
  HKEY key;
  if (RegOpenKeyExA(Base(), path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return false;
  ReleaseKey();
  current_ = key;
  return true;
}

std::string RegistrySection::GetSectionText(const char* section, const char* ident,
                                            const char* defaultValue, std::string* error) {
  HKEY key;
  if (RegOpenKeyExA(Base(), section, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
    return defaultValue;
  }
  if (RegQueryValueExA(key, ident, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    RegCloseKey(key);
    return defaultValue;
  }
  // A failing size query leaves the size at 0, which reads as no data.
  DWORD type = REG_NONE;
  DWORD size = 0;
  RegQueryValueExA(key, ident, nullptr, &type, nullptr, &size);
  if (size == 0) {
    RegCloseKey(key);
    return std::string();
  }
  std::string data(size, '\0');
  LSTATUS status =
      RegQueryValueExA(key, ident, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size);
  RegCloseKey(key);
  data.resize(size);
  std::optional<std::string> text = RegistryValueText(type, data);
  if (status == ERROR_SUCCESS && text) return *text;
  const std::string message = std::string(status != ERROR_SUCCESS ? "Failed to get data for '"
                                                                  : "Invalid data type for '") +
                              ident + "'";
  if (!error) RaiseRegistryError(message);
  *error = message;
  return defaultValue;
}

void RegistrySection::PutSectionText(const char* section, const char* ident,
                                     const std::string& value) {
  HKEY key;
  DWORD disposition;
  if (RegCreateKeyExA(Base(), section, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                      &key, &disposition) != ERROR_SUCCESS) {
    RaiseRegistryError(std::string("Failed to create key ") + section);
  }
  // Only there to make sure the key exists; the value goes through the key
  // opened next.
  RegCloseKey(key);
  if (RegOpenKeyExA(Base(), section, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  // The size counts the terminating zero, as REG_SZ data must.
  LSTATUS status =
      RegSetValueExA(key, ident, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
  if (status != ERROR_SUCCESS)
    RaiseRegistryError(std::string("Failed to set data for '") + ident + "'");
}

void RegistrySection::DropSection(const char* section) { DropUnder(Base(), section); }

HKEY RegistrySection::Base() const { return current_ ? current_ : root_; }

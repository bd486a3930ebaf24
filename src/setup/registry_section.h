// A section/ident layer over registry keys: a section is a subkey, an ident
// a value name. Paths are looked up under the current key when one is open,
// else under the root key. Every key is opened with KEY_ALL_ACCESS.
#pragma once

#include <string>

#include "platform/win_registry.h"

class RegistrySection {
 public:
  // Root HKEY_CURRENT_USER; opens (creating it if missing) `basePath` under
  // it, which becomes the current key.
  explicit RegistrySection(const char* basePath);
  // End of use: ReleaseKey.
  ~RegistrySection();
  RegistrySection(const RegistrySection&) = delete;
  RegistrySection& operator=(const RegistrySection&) = delete;

  // In flush mode releasing the current key flushes it instead of closing it.
  void SetFlushMode(bool flush);
  void ReleaseKey();
  void SelectRoot(HKEY root);
  // Opens `path` (never creates it); on success it becomes the current key.
  bool EnterKey(const char* path);
  // A value that cannot be read raises a RegistryError, or with `error`
  // gives its message there and `defaultValue` back.
  std::string GetSectionText(const char* section, const char* ident, const char* defaultValue,
                             std::string* error = nullptr);
  void PutSectionText(const char* section, const char* ident, const std::string& value);
  // Deletes `section` with all its subkeys, depth first. Raises nothing.
  void DropSection(const char* section);

 private:
  HKEY Base() const;
  HKEY root_;
  HKEY current_;
  bool flush_;
};

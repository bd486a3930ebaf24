#include "setup/read_only.h"

#include "platform/win_file.h"

void ClearReadOnly(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) return;
  // NORMAL stands for no attribute at all; it is valid only alone.
  const DWORD others = attributes & ~FILE_ATTRIBUTE_READONLY;
  SetFileAttributesA(path.c_str(), others ? others : FILE_ATTRIBUTE_NORMAL);
}

#include "monitor/module_path.h"

#include <vector>

#include "platform/win_base.h"

bool ReadModulePath(std::string* path) {
  path->clear();
  // 32768 characters is the longest path Windows can hand out.
  for (DWORD size = MAX_PATH + 1; size <= 32768 * 2; size *= 2) {
    std::vector<char> buffer(size, '\0');
    DWORD length = GetModuleFileNameA(nullptr, buffer.data(), size);
    if (length == 0) return false;
    // A result of the full size means the path was cut.
    if (length < size) {
      path->assign(buffer.data(), length);
      return true;
    }
  }
  return false;
}

std::string FileNamePart(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

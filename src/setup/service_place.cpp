#include "setup/service_place.h"

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool LiesInProgramFolder(const std::string& exePath, const std::string& programFolder) {
  const size_t length = programFolder.size();
  if (length == 0 || exePath.size() <= length + 1 || exePath[length] != '\\' ||
      exePath.find('\\', length + 1) != std::string::npos) {
    return false;
  }
  for (size_t i = 0; i < length; ++i) {
    if (Upper(exePath[i]) != Upper(programFolder[i])) return false;
  }
  return true;
}

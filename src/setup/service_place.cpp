#include "setup/service_place.h"

#include "monitor/ascii_case.h"

bool LiesInProgramFolder(const std::string& exePath, const std::string& programFolder) {
  const size_t length = programFolder.size();
  if (length == 0 || exePath.size() <= length + 1 || exePath[length] != '\\' ||
      exePath.find('\\', length + 1) != std::string::npos) {
    return false;
  }
  return SameIgnoringCase(exePath.substr(0, length), programFolder);
}

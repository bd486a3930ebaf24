#include "setup/removal_place.h"

#include "monitor/number_text.h"

std::string RemovalFolder(const std::string& windowsFolder, int attempt) {
  std::string folder = windowsFolder;
  // The Windows folder ends with a backslash only when it is a drive's root.
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  folder += "VornRemoval";
  if (attempt > 0) {
    folder += '.';
    folder += DecimalText(attempt);
  }
  return folder;
}

std::string RemovalScriptIn(const std::string& folder) {
  std::string script = folder;
  script += "\\DelAll.bat";
  return script;
}

#include "setup/service_place.h"

#include "monitor/entry.h"

namespace {

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

}  // namespace

std::string ProgramFolderIn(const std::string& programFiles) {
  std::string folder = programFiles;
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder + "Vorn";
}

std::string ServiceCommand(const std::string& installedPath) {
  return "\"" + installedPath + "\" " + kServiceSwitch;
}

bool LiesInProgramFolder(const std::string& exePath, const std::string& programFolder) {
  const size_t slash = exePath.rfind('\\');
  return slash != std::string::npos && !programFolder.empty() &&
         Upper(exePath.substr(0, slash)) == Upper(programFolder);
}

#include "setup/restart_deletion.h"

#include "monitor/windows_version.h"
#include "platform/win_sessions.h"

namespace {

constexpr const char* kRenameSection = "rename";
constexpr const char* kWininit = "WININIT.INI";
// The largest section 9x reads or writes ("GetPrivateProfileSection
// function": 32,767 characters on Windows 95/98/ME).
constexpr DWORD kSectionSize = 32767;

bool DeleteAtRestart9x(const std::vector<std::string>& paths) {
  std::string buffer(kSectionSize, '\0');
  const DWORD length =
      GetPrivateProfileSectionA(kRenameSection, &buffer[0], kSectionSize, kWininit);
  // Cut short: writing it back would lose the lines that did not fit.
  if (length >= kSectionSize - 2) return false;
  std::vector<std::string> lines;
  for (size_t start = 0; start < buffer.size() && buffer[start];) {
    const size_t end = buffer.find('\0', start);
    lines.push_back(buffer.substr(start, end - start));
    start = end + 1;
  }
  for (const std::string& path : paths) {
    // A quoted long path has no 8.3 form WININIT.EXE could read.
    if (path.empty() || path[0] == '"') return false;
    const std::string line = "NUL=" + path;
    bool there = false;
    for (const std::string& old : lines) there = there || old == line;
    if (!there) lines.push_back(line);
  }
  std::string section;
  for (const std::string& line : lines) section += line + '\0';
  section += '\0';
  if (section.size() > kSectionSize) return false;
  return WritePrivateProfileSectionA(kRenameSection, section.data(), kWininit) != FALSE;
}

}  // namespace

bool DeleteAtRestart(uint32_t version, const std::vector<std::string>& paths) {
  if (IsWindows9x(version)) return DeleteAtRestart9x(paths);
  bool all = true;
  for (const std::string& path : paths) {
    if (!MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) all = false;
  }
  return all;
}

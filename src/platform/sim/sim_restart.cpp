// Simulated MoveFileExA ("MoveFileEx function": with
// MOVEFILE_DELAY_UNTIL_REBOOT and no new name the file, or an empty folder,
// is deleted when the system restarts; the entry goes to the registry, which
// only administrators may change, so others fail with ERROR_ACCESS_DENIED;
// Windows 9x does not support the function and fails with
// ERROR_CALL_NOT_IMPLEMENTED) and the profile-section calls on WININIT.INI
// ("GetPrivateProfileSection function", "WritePrivateProfileSection
// function": a file named without a path lies in the Windows folder; a
// section is a list of "key=value" strings, each ended by a NUL, the list by
// one more; writing replaces the section whole, keys repeated or not, and
// makes the file when it is missing). Other profile files, and sections
// beyond the one read or written, are not simulated beyond that text.
#include "platform/sim/sim_restart.h"

#include <cstring>

#include "platform/sim/sim.h"
#include "platform/sim/sim_file.h"
#include "platform/sim/sim_security.h"
#include "platform/win_base.h"
#include "platform/win_sessions.h"

namespace sim {
namespace {

std::vector<std::string>& Pending() {
  static std::vector<std::string> pending;
  return pending;
}

ResetHook reset([] { Pending().clear(); });

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (tolower(static_cast<unsigned char>(a[i])) != tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string ProfilePath(const char* fileName) {
  const std::string name = fileName ? fileName : "";
  return name.find('\\') == std::string::npos
             ? SystemDirectory().substr(0, SystemDirectory().rfind('\\')) + "\\" + name
             : name;
}

// The file's lines: the section's own (between its header and the next), and
// what lies before and after.
struct Split {
  std::vector<std::string> before;
  std::vector<std::string> section;
  std::vector<std::string> after;
  bool found = false;
};

Split SplitProfile(const std::string& text, const std::string& section) {
  Split split;
  int part = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 2;
    const bool header = !line.empty() && line[0] == '[';
    if (header && part == 1) part = 2;
    if (header && part == 0 && SameText(line, "[" + section + "]")) {
      part = 1;
      split.found = true;
      continue;
    }
    (part == 0 ? split.before : part == 1 ? split.section : split.after).push_back(line);
  }
  return split;
}

}  // namespace

std::vector<std::string> PendingDeletions() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return Pending();
}

std::string WininitPath() { return ProfilePath("WININIT.INI"); }

}  // namespace sim

BOOL WINAPI MoveFileExA(LPCSTR existingFileName, LPCSTR newFileName, DWORD flags) {
  if (sim::Enter("MoveFileExA", sim::Fmt("%s, %s, 0x%X", sim::Str(existingFileName).c_str(),
                                         sim::Str(newFileName).c_str(), flags))) {
    return FALSE;
  }
  if (sim::PlaysWindows9x()) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  // Only what the program asks for: a deletion at the next restart.
  if (newFileName || flags != MOVEFILE_DELAY_UNTIL_REBOOT || !existingFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!sim::MayOwn(sim::kAdministratorsSid)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> guard(sim::Lock());
  sim::Pending().push_back(existingFileName);
  return TRUE;
}

// Like Windows: the strings that fit, the result the count of characters
// copied without the last NUL, and size - 2 when the section does not fit.
DWORD WINAPI GetPrivateProfileSectionA(LPCSTR section, LPSTR buffer, DWORD size, LPCSTR fileName) {
  if (sim::Enter("GetPrivateProfileSectionA", sim::Fmt("%s, %u, %s", sim::Str(section).c_str(),
                                                       size, sim::Str(fileName).c_str()))) {
    return 0;
  }
  std::string list;
  if (const auto text = sim::FileBytes(sim::ProfilePath(fileName))) {
    for (const std::string& line : sim::SplitProfile(*text, section).section) {
      if (!line.empty()) list += line + '\0';
    }
  }
  if (size < 2) return 0;
  if (list.size() + 1 > size) {
    memcpy(buffer, list.data(), size - 2);
    buffer[size - 2] = '\0';
    buffer[size - 1] = '\0';
    return size - 2;
  }
  memcpy(buffer, list.data(), list.size());
  buffer[list.size()] = '\0';
  if (list.empty()) buffer[1] = '\0';
  return static_cast<DWORD>(list.size());
}

BOOL WINAPI WritePrivateProfileSectionA(LPCSTR section, LPCSTR text, LPCSTR fileName) {
  std::string list;
  for (const char* p = text; p && *p; p += strlen(p) + 1) list += std::string(p) + "|";
  if (sim::Enter("WritePrivateProfileSectionA",
                 sim::Fmt("%s, %s, %s", sim::Str(section).c_str(), sim::Str(list.c_str()).c_str(),
                          sim::Str(fileName).c_str()))) {
    return FALSE;
  }
  const std::string path = sim::ProfilePath(fileName);
  const sim::Split split = sim::SplitProfile(sim::FileBytes(path).value_or(""), section);
  std::string out;
  for (const std::string& line : split.before) out += line + "\r\n";
  out += "[" + std::string(section) + "]\r\n";
  for (const char* p = text; p && *p; p += strlen(p) + 1) out += std::string(p) + "\r\n";
  for (const std::string& line : split.after) out += line + "\r\n";
  sim::PutFile(path, out);
  return TRUE;
}

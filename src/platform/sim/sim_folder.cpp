// Simulated SHGetFolderPathA (Microsoft, "SHGetFolderPathA function": the
// path of a CSIDL folder in a buffer of MAX_PATH characters, S_OK or an
// error HRESULT). Two folders are known, and, as on Windows, they exist:
// the all-users application data folder, C:\ProgramData on Windows Vista
// and later and "All Users\Application Data" under C:\Documents and
// Settings before, and the Program Files folder (CSIDL_PROGRAM_FILES; a
// 32-bit program on 64-bit Windows gets "Program Files (x86)", "KNOWNFOLDERID"
// page), C:\Program Files unless a test says otherwise.
#include <cstring>

#include "platform/sim/sim.h"
#include "platform/sim/sim_file.h"
#include "platform/sim/sim_security.h"
#include "platform/win_base.h"
#include "platform/win_folder.h"

namespace sim {
namespace {

std::string g_programFiles;
std::string g_commonAppData;
ResetHook reset([] {
  g_programFiles = "C:\\Program Files";
  g_commonAppData.clear();
});

}  // namespace

void SetProgramFilesFolder(const std::string& path) { g_programFiles = path; }
const std::string& ProgramFilesFolder() { return g_programFiles; }

void SetCommonAppDataFolder(const std::string& path) { g_commonAppData = path; }

std::string CommonAppDataFolder() {
  if (!g_commonAppData.empty()) return g_commonAppData;
  return PlaysVistaOrLater() ? "C:\\ProgramData"
                             : "C:\\Documents and Settings\\All Users\\Application Data";
}

}  // namespace sim

namespace {

constexpr HRESULT kInvalidArgument = static_cast<HRESULT>(0x80070057);

}  // namespace

HRESULT WINAPI SHGetFolderPathA(HWND owner, int folder, HANDLE token, DWORD flags, LPSTR path) {
  if (auto error = sim::Enter(
          "SHGetFolderPathA",
          sim::Fmt("%p, 0x%X, %p, %u", static_cast<void*>(owner), folder, token, flags))) {
    return static_cast<HRESULT>(0x80070000u | (*error & 0xFFFFu));
  }
  if ((folder != CSIDL_COMMON_APPDATA && folder != CSIDL_PROGRAM_FILES) || !path) {
    return kInvalidArgument;
  }
  const std::string found =
      folder == CSIDL_PROGRAM_FILES ? sim::ProgramFilesFolder() : sim::CommonAppDataFolder();
  sim::AddDirectory(found);
  std::string text = found;
  memcpy(path, text.c_str(), text.size() + 1);
  return S_OK;
}

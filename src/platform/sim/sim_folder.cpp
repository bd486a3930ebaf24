// Simulated SHGetFolderPathA (Microsoft, "SHGetFolderPathA function": the
// path of a CSIDL folder in a buffer of MAX_PATH characters, S_OK or an
// error HRESULT). Only the all-users application data folder is known: it is
// C:\ProgramData on Windows Vista and later and "All Users\Application Data"
// under C:\Documents and Settings before, and, as on Windows, it exists.
#include <cstring>

#include "platform/sim/sim.h"
#include "platform/sim/sim_file.h"
#include "platform/sim/sim_security.h"
#include "platform/win_base.h"
#include "platform/win_folder.h"

namespace {

constexpr HRESULT kInvalidArgument = static_cast<HRESULT>(0x80070057);

}  // namespace

HRESULT WINAPI SHGetFolderPathA(HWND owner, int folder, HANDLE token, DWORD flags, LPSTR path) {
  if (auto error = sim::Enter(
          "SHGetFolderPathA",
          sim::Fmt("%p, 0x%X, %p, %u", static_cast<void*>(owner), folder, token, flags))) {
    return static_cast<HRESULT>(0x80070000u | (*error & 0xFFFFu));
  }
  if (folder != CSIDL_COMMON_APPDATA || !path) return kInvalidArgument;
  const char* found = sim::PlaysVistaOrLater()
                          ? "C:\\ProgramData"
                          : "C:\\Documents and Settings\\All Users\\Application Data";
  sim::AddDirectory(found);
  std::string text = found;
  memcpy(path, text.c_str(), text.size() + 1);
  return S_OK;
}

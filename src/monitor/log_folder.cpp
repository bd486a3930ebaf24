#include "monitor/log_folder.h"

#include "platform/win_base.h"
#include "platform/win_folder.h"

namespace {

constexpr char kFolderName[] = "Vorn";

}  // namespace

std::string ServiceLogFolderIn(const std::string& commonAppData) {
  std::string folder = commonAppData;
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder + kFolderName;
}

std::string VornFolderOf(int systemFolder) {
  char base[MAX_PATH];
  const HRESULT result = SHGetFolderPathA(nullptr, systemFolder, nullptr, SHGFP_TYPE_CURRENT, base);
  if (result != S_OK) {
    SetLastError(static_cast<DWORD>(result) & 0xFFFF);
    return std::string();
  }
  return ServiceLogFolderIn(base);
}

std::string ServiceLogFolder() { return VornFolderOf(CSIDL_COMMON_APPDATA); }
